#include "serial/port_lock.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <unistd.h>

namespace ostrel {

namespace {

    // "/dev/ttyUSB0" -> "ttyUSB0", "/dev/pts/3" -> "pts_3".
    std::string LockName(const std::string& device)
    {
        std::string name = device.rfind("/dev/", 0) == 0 ? device.substr(5) : device;
        for (char& c : name) {
            if (c == '/')
                c = '_';
        }
        return "LCK.." + name;
    }

} // namespace

std::optional<PortLock> FindPortLock(const std::string& device)
{
    for (const char* folder : { "/run/lock/", "/var/lock/" }) {
        const std::string file = folder + LockName(device);
        std::ifstream in(file);
        if (!in)
            continue;
        PortLock lock;
        lock.file = file;
        in >> lock.pid;
        if (lock.pid > 0)
            lock.holderAlive = ::kill(static_cast<pid_t>(lock.pid), 0) == 0 || errno == EPERM;
        return lock;
    }
    return std::nullopt;
}

bool RemoveStaleLock(const PortLock& lock, std::string& reason)
{
    if (::unlink(lock.file.c_str()) == 0 || errno == ENOENT)
        return true;
    reason = std::strerror(errno);
    return false;
}

std::string HeldPortDescription(const PortLock& lock)
{
    if (lock.pid > 0)
        return "in use by another program, process " + std::to_string(lock.pid);
    return "in use by another program (lock file " + lock.file + ")";
}

} // namespace ostrel
