#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace ostrel {

// The system calls the file writer makes. Tests swap in failing ones, to try
// a full disk or a failing close where no small file system can be had.
struct FileWriterCalls {
    ssize_t (*write)(int fd, const void* bytes, size_t count);
    int (*fsync)(int fd);
    int (*close)(int fd);
    int (*rename)(const char* from, const char* to);
};
FileWriterCalls& WriterCalls();
// Puts back the real calls.
void ResetWriterCalls();

// Where a named output really goes: links are followed to their target, and
// the target is a regular file to replace or something else (a device, a
// FIFO, a terminal) to write into directly.
struct OutputPlace {
    std::string name; // as the user gave it
    std::string resolved; // after links
    bool direct = false; // not a regular file: written into, never replaced
    bool exists = false;
    mode_t mode = 0;
    uid_t owner = 0;
    gid_t group = 0;
};

// Where `path` goes, or false with `error` naming it and the reason: a
// folder, a folder that is missing or cannot be written, a name longer than
// the file system allows, an existing file its user may not write.
bool FindOutputPlace(const std::string& path, OutputPlace& place, std::string& error);

// Files written as a set. A regular file goes to a temporary file beside its
// target first (keeping the old file's permissions), and only when every file
// is complete on disk is each renamed over its target; a failure leaves no
// partial file behind and the old files of those names as they were. Outputs
// that are not regular files are written directly, in order, when the set is
// committed.
class AtomicFileSet {
public:
    ~AtomicFileSet();

    // Writes the bytes to a temporary file for `path`. On failure returns
    // false and sets error() to a message naming the file and the reason.
    bool stage(const std::string& path, std::string_view bytes);
    // Puts every staged file in place.
    bool commit();
    // Removes every staged file that was not committed.
    void discard();

    const std::string& error() const { return error_; }

private:
    struct Staged {
        OutputPlace place;
        std::string temporary; // empty for a direct output
        std::string bytes; // kept for a direct output only
    };
    std::vector<Staged> staged_;
    std::string error_;
};

// One file, whole or not at all.
bool WriteWholeFile(const std::string& path, std::string_view bytes, std::string& error);

// Removes the temporary files a killed writer left in the folder: those of
// this writer's naming whose process is gone. Gives the paths removed.
std::vector<std::string> RemoveStaleTemporaries(const std::string& folder);

} // namespace ostrel
