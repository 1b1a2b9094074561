#include "files/state_file.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel {

StateFileRead ReadStateFile(const std::string& path)
{
    StateFileRead read;
    // O_NONBLOCK: opening a FIFO would otherwise wait for a writer, and with
    // it every reply of the printer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        read.kind = errno == ENOENT ? StateFileRead::Missing : StateFileRead::Unusable;
        read.problem = std::strerror(errno);
        return read;
    }
    struct stat about {};
    if (::fstat(fd, &about) != 0 || !S_ISREG(about.st_mode)) {
        read.kind = StateFileRead::Unusable;
        read.problem = S_ISDIR(about.st_mode) ? "it is a folder" : "it is not a regular file";
        ::close(fd);
        return read;
    }
    read.kind = StateFileRead::Text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            read.kind = StateFileRead::Unusable;
            read.problem = std::strerror(errno);
            break;
        }
        if (got == 0)
            break;
        read.text.append(buffer, static_cast<std::size_t>(got));
        if (static_cast<long long>(read.text.size()) > kMostStateFileBytes) {
            read.kind = StateFileRead::Unusable;
            read.problem = "it is larger than " + std::to_string(kMostStateFileBytes / 1024) + " KiB";
            break;
        }
    }
    ::close(fd);
    if (read.kind != StateFileRead::Text)
        read.text.clear();
    return read;
}

} // namespace ostrel
