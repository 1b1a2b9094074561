#pragma once

#include <optional>
#include <string>

namespace ostrel {

// The lock file another program (or an earlier run) holds on a serial device,
// in the UUCP style the serial layer uses: /run/lock/LCK..ttyUSB0, with the
// holder's process number on its first line.
struct PortLock {
    std::string file;
    long pid = 0; // 0 when the file names none
    bool holderAlive = false;
};

// The lock on `device`, if there is one.
std::optional<PortLock> FindPortLock(const std::string& device);

// Removes a lock whose process has ended. Returns false, with the reason, when
// the file stays (another user's file in a sticky folder, say).
bool RemoveStaleLock(const PortLock& lock, std::string& reason);

// "in use by another program, process 1234" for a lock whose holder lives.
std::string HeldPortDescription(const PortLock& lock);

} // namespace ostrel
