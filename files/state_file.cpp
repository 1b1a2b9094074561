#include "files/state_file.h"

#include "protocol/message_text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel {

namespace {

    StateFileRead ReadWithoutWaiting(const std::string& path, long long mostBytes, bool secret)
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
        struct stat about { };
        if (::fstat(fd, &about) != 0 || !S_ISREG(about.st_mode)) {
            read.kind = StateFileRead::Unusable;
            read.problem = S_ISDIR(about.st_mode) ? "it is a folder" : "it is not a regular file";
            ::close(fd);
            return read;
        }
        if (secret && (about.st_mode & 077) != 0) {
            char mode[8];
            std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(about.st_mode & 07777));
            read.kind = StateFileRead::Unusable;
            read.problem = std::string("its mode is ") + mode
                + ", open to others than its owner: chmod 600 " + QuotedForMessage(path);
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
            if (static_cast<long long>(read.text.size()) > mostBytes) {
                read.kind = StateFileRead::Unusable;
                read.problem = "it is larger than " + std::to_string(mostBytes / 1024) + " KiB";
                break;
            }
        }
        ::close(fd);
        if (read.kind != StateFileRead::Text)
            read.text.clear();
        return read;
    }

} // namespace

StateFileRead ReadStateFile(const std::string& path)
{
    return ReadWithoutWaiting(path, kMostStateFileBytes, false);
}

StateFileRead ReadSecretFile(const std::string& path)
{
    return ReadWithoutWaiting(path, 4 * 1024, true);
}

} // namespace ostrel
