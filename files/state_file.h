#pragma once

#include <string>

namespace ostrel {

// The printer state file as it stands now, read without ever waiting (a FIFO
// or a device in its place is refused, not opened for reading) and only
// whole: a file larger than kMostStateFileBytes is refused, not cut short.
struct StateFileRead {
    enum Kind {
        Missing, // no file: the default state
        Text, // `text` holds the whole file
        Unusable, // `problem` says why (not a regular file, unreadable, too large)
    } kind
        = Missing;
    std::string text;
    std::string problem;
};
inline constexpr long long kMostStateFileBytes = 64 * 1024;
StateFileRead ReadStateFile(const std::string& path);

// A secret (the page's token) read the same way, and refused, as ssh refuses
// a private key, when its mode gives its group or others any access: the
// problem then says to chmod 600 it.
StateFileRead ReadSecretFile(const std::string& path);

} // namespace ostrel
