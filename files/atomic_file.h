#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// Files written as a set: every file goes to a temporary file beside its
// target first, and only when all of them are complete are they renamed over
// their targets. A failure leaves no partial file behind and the old files of
// those names untouched.
class AtomicFileSet {
public:
    ~AtomicFileSet();

    // Writes the bytes to a temporary file for `path`. On failure returns false
    // and sets error() to a message naming the file and the reason.
    bool stage(const std::string& path, std::string_view bytes);
    // Renames every staged file over its target.
    bool commit();
    // Removes every staged file that was not committed.
    void discard();

    const std::string& error() const { return error_; }

private:
    struct Staged {
        std::string target;
        std::string temporary;
    };
    std::vector<Staged> staged_;
    std::string error_;
};

} // namespace ostrel
