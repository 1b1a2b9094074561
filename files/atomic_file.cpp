#include "files/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel {

namespace {

std::string Reason(const std::string& path, int err)
{
    return path + ": " + std::strerror(err);
}

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

AtomicFileSet::~AtomicFileSet() { discard(); }

bool AtomicFileSet::stage(const std::string& path, std::string_view bytes)
{
    if (std::filesystem::is_directory(path)) {
        error_ = Reason(path, EISDIR);
        return false;
    }
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        error_ = Reason(path, errno);
        return false;
    }
    staged_.push_back({path, temporary});
    const bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
    const int writeError = errno;
    if (::close(fd) != 0 || !ok) {
        error_ = Reason(path, ok ? errno : writeError);
        return false;
    }
    // mkstemp makes the file private; give it the usual permissions.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(temporary.c_str(), 0666 & ~mask);
    return true;
}

bool AtomicFileSet::commit()
{
    while (!staged_.empty()) {
        const Staged& file = staged_.front();
        if (std::rename(file.temporary.c_str(), file.target.c_str()) != 0) {
            error_ = Reason(file.target, errno);
            discard();
            return false;
        }
        staged_.erase(staged_.begin());
    }
    return true;
}

void AtomicFileSet::discard()
{
    for (const Staged& file : staged_)
        std::remove(file.temporary.c_str());
    staged_.clear();
}

} // namespace ostrel
