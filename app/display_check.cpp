#include "app/display_check.h"

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace ostrel {

namespace {

    std::string Env(const char* name)
    {
        const char* value = std::getenv(name);
        return value == nullptr ? std::string() : std::string(value);
    }

    bool ConnectsTo(int fd, const sockaddr* address, socklen_t length)
    {
        // A second at most: a display over the network may be slow, not gone.
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
        if (::connect(fd, address, length) == 0)
            return true;
        if (errno != EINPROGRESS)
            return false;
        pollfd p { fd, POLLOUT, 0 };
        int error = 0;
        socklen_t size = sizeof error;
        return ::poll(&p, 1, 1000) == 1
            && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
    }

    bool UnixSocketAnswers(const std::string& path, bool abstract)
    {
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        const std::size_t offset = abstract ? 1 : 0;
        if (path.size() + offset >= sizeof address.sun_path)
            return false;
        std::memcpy(address.sun_path + offset, path.data(), path.size());
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const auto length
            = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
        const bool answers
            = fd >= 0 && ConnectsTo(fd, reinterpret_cast<sockaddr*>(&address), length);
        if (fd >= 0)
            ::close(fd);
        return answers;
    }

    // DISPLAY is "[host]:number[.screen]"; a host means TCP port 6000 + number.
    bool XServerAnswers(const std::string& display)
    {
        const std::size_t colon = display.rfind(':');
        if (colon == std::string::npos)
            return false;
        const std::string host = display.substr(0, colon);
        const std::string number = display.substr(colon + 1, display.find('.', colon) - colon - 1);
        if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos)
            return false;
        if (host.empty() || host == "unix") {
            const std::string path = "/tmp/.X11-unix/X" + number;
            return UnixSocketAnswers(path, false) || UnixSocketAnswers(path, true);
        }
        addrinfo hints {};
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (::getaddrinfo(host.c_str(), std::to_string(6000 + std::atoi(number.c_str())).c_str(),
                &hints, &found)
            != 0)
            return false;
        bool answers = false;
        for (addrinfo* at = found; at != nullptr && !answers; at = at->ai_next) {
            const int fd = ::socket(at->ai_family, at->ai_socktype | SOCK_CLOEXEC, at->ai_protocol);
            answers = fd >= 0 && ConnectsTo(fd, at->ai_addr, at->ai_addrlen);
            if (fd >= 0)
                ::close(fd);
        }
        ::freeaddrinfo(found);
        return answers;
    }

    bool WaylandAnswers(const std::string& name)
    {
        const std::string path
            = !name.empty() && name[0] == '/' ? name : Env("XDG_RUNTIME_DIR") + "/" + name;
        return UnixSocketAnswers(path, false);
    }

} // namespace

std::string DisplayProblem()
{
    const std::string platform = Env("QT_QPA_PLATFORM");
    const bool x = platform.empty() || platform.rfind("xcb", 0) == 0;
    const bool wayland = platform.empty() || platform.rfind("wayland", 0) == 0;
    if (!x && !wayland)
        return {}; // offscreen, vnc and the like need no display here
    const std::string display = Env("DISPLAY"), waylandDisplay = Env("WAYLAND_DISPLAY");
    if ((x && !display.empty() && XServerAnswers(display))
        || (wayland && !waylandDisplay.empty() && WaylandAnswers(waylandDisplay)))
        return {};
    if ((!x || display.empty()) && (!wayland || waylandDisplay.empty()))
        return "no display to show the window on (DISPLAY is not set)";
    std::string tried;
    if (x && !display.empty())
        tried = "no X server answers on DISPLAY " + display;
    if (wayland && !waylandDisplay.empty())
        tried += (tried.empty() ? "no" : ", nor any") + std::string(" Wayland compositor on ")
            + waylandDisplay;
    return tried;
}

void SetRuntimeDirFallback()
{
    if (const char* set = std::getenv("XDG_RUNTIME_DIR"); set != nullptr && *set != '\0')
        return;
    const passwd* user = ::getpwuid(::getuid());
    if (user == nullptr)
        return;
    const std::string folder = std::string("/tmp/runtime-") + user->pw_name;
    ::mkdir(folder.c_str(), 0700);
    struct stat about { };
    if (::lstat(folder.c_str(), &about) == 0 && S_ISDIR(about.st_mode) && about.st_uid == ::getuid()
        && (about.st_mode & 0777) == 0700)
        ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
}

} // namespace ostrel
