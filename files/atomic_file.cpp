#include "files/atomic_file.h"

#include "protocol/message_text.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel {

namespace {

    constexpr FileWriterCalls kRealCalls { ::write, ::fsync, ::close, ::rename };

    FileWriterCalls gCalls = kRealCalls;

    std::string Reason(const std::string& path, int err)
    {
        return QuotedForMessage(path) + ": " + std::strerror(err);
    }

    std::string FolderOf(const std::string& path)
    {
        const std::size_t slash = path.rfind('/');
        if (slash == std::string::npos)
            return ".";
        return slash == 0 ? "/" : path.substr(0, slash);
    }

    std::string NameOf(const std::string& path)
    {
        const std::size_t slash = path.rfind('/');
        return slash == std::string::npos ? path : path.substr(slash + 1);
    }

    // Follows a chain of links to the name that is not a link (which may not
    // exist yet), as writing through the link would.
    bool FollowLinks(const std::string& path, std::string& resolved, int& err)
    {
        resolved = path;
        for (int hops = 0; hops < 40; ++hops) {
            struct stat info { };
            if (::lstat(resolved.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
                return true;
            std::string target(PATH_MAX, '\0');
            const ssize_t length = ::readlink(resolved.c_str(), target.data(), target.size());
            if (length < 0) {
                err = errno;
                return false;
            }
            target.resize(static_cast<std::size_t>(length));
            resolved = target[0] == '/' ? target : FolderOf(resolved) + "/" + target;
        }
        err = ELOOP;
        return false;
    }

    bool WriteAll(int fd, std::string_view bytes)
    {
        while (!bytes.empty()) {
            const ssize_t written = gCalls.write(fd, bytes.data(), bytes.size());
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            if (written == 0) {
                errno = EIO;
                return false;
            }
            bytes.remove_prefix(static_cast<std::size_t>(written));
        }
        return true;
    }

    // Writes into an output that is not a regular file.
    bool WriteDirect(const OutputPlace& place, std::string_view bytes, std::string& error)
    {
        const int fd = ::open(place.resolved.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            error = Reason(place.name, errno);
            return false;
        }
        const bool written = WriteAll(fd, bytes);
        const int writeError = errno;
        if (gCalls.close(fd) != 0 || !written) {
            error = Reason(place.name, written ? errno : writeError);
            return false;
        }
        return true;
    }

} // namespace

FileWriterCalls& WriterCalls() { return gCalls; }

void ResetWriterCalls() { gCalls = kRealCalls; }

bool FindOutputPlace(const std::string& path, OutputPlace& place, std::string& error)
{
    place = {};
    place.name = path;
    if (path.empty()) {
        error = "no file name given";
        return false;
    }
    struct stat info { };
    if (::stat(path.c_str(), &info) == 0) {
        place.exists = true;
        place.mode = info.st_mode;
        place.owner = info.st_uid;
        place.group = info.st_gid;
        if (S_ISDIR(info.st_mode)) {
            error = Reason(path, EISDIR);
            return false;
        }
        place.direct = !S_ISREG(info.st_mode);
        const bool userMayWrite = ::access(path.c_str(), W_OK) == 0;
        const int accessError = errno;
        // Replacing a read-only file would make it writable: refuse, even
        // where (as root) the system would allow it.
        if (!userMayWrite || (!place.direct && (info.st_mode & 0222) == 0)) {
            error = Reason(path, userMayWrite ? EACCES : accessError) + " (the file is read-only)";
            return false;
        }
        if (place.direct) {
            // Devices, FIFOs, terminals, /dev/stdout: opened by the name given.
            place.resolved = path;
            return true;
        }
        char* real = ::realpath(path.c_str(), nullptr);
        if (real == nullptr) {
            error = Reason(path, errno);
            return false;
        }
        place.resolved = real;
        std::free(real);
    } else if (errno != ENOENT) {
        error = Reason(path, errno);
        return false;
    } else {
        // A new file, or the missing target of a link.
        int err = 0;
        if (!FollowLinks(path, place.resolved, err)) {
            error = Reason(path, err);
            return false;
        }
    }
    // A new or replaced file is written beside its target, so its folder must
    // take new files and its name must fit.
    const std::string folder = FolderOf(place.resolved);
    struct stat folderInfo { };
    if (::stat(folder.c_str(), &folderInfo) != 0) {
        error = Reason(path, errno) + " (the folder " + folder + " is missing)";
        return false;
    }
    if (!S_ISDIR(folderInfo.st_mode)) {
        error = Reason(path, ENOTDIR);
        return false;
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        error = Reason(path, errno) + " (the folder " + folder + " cannot be written)";
        return false;
    }
    const long longest = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    if (longest > 0 && NameOf(place.resolved).size() > static_cast<std::size_t>(longest)) {
        error = Reason(path, ENAMETOOLONG);
        return false;
    }
    return true;
}

AtomicFileSet::~AtomicFileSet() { discard(); }

bool AtomicFileSet::stage(const std::string& path, std::string_view bytes)
{
    OutputPlace place;
    if (!FindOutputPlace(path, place, error_))
        return false;
    if (place.direct) {
        staged_.push_back({ place, "", std::string(bytes) });
        return true;
    }
    // A short name of its own, so that any name that fits the folder works,
    // with the writer's process in it, so that one left by a killed writer
    // can be told from one being written.
    std::string temporary
        = FolderOf(place.resolved) + "/.ostrel-" + std::to_string(::getpid()) + "-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        error_ = Reason(path, errno);
        return false;
    }
    staged_.push_back({ place, temporary, "" });
    mode_t mode = place.mode & 07777;
    if (!place.exists) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    } else if (::geteuid() == 0 && ::fchown(fd, place.owner, place.group) != 0) {
        // Root replacing someone's file leaves it theirs where it can; the
        // contents matter more than the owner, so the save goes on.
    }
    const bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, bytes) && gCalls.fsync(fd) == 0;
    const int writeError = errno;
    if (gCalls.close(fd) != 0 || !ok) {
        error_ = Reason(path, ok ? errno : writeError);
        discard();
        return false;
    }
    return true;
}

bool AtomicFileSet::commit()
{
    while (!staged_.empty()) {
        Staged& file = staged_.front();
        if (file.temporary.empty()) {
            if (!WriteDirect(file.place, file.bytes, error_)) {
                discard();
                return false;
            }
        } else if (gCalls.rename(file.temporary.c_str(), file.place.resolved.c_str()) != 0) {
            error_ = Reason(file.place.name, errno);
            discard();
            return false;
        }
        staged_.erase(staged_.begin());
    }
    return true;
}

void AtomicFileSet::discard()
{
    for (const Staged& file : staged_) {
        if (!file.temporary.empty())
            std::remove(file.temporary.c_str());
    }
    staged_.clear();
}

bool WriteWholeFile(const std::string& path, std::string_view bytes, std::string& error)
{
    AtomicFileSet file;
    const bool written = file.stage(path, bytes) && file.commit();
    if (!written)
        error = file.error();
    return written;
}

std::vector<std::string> RemoveStaleTemporaries(const std::string& folder)
{
    std::vector<std::string> removed;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        long pid = 0;
        char rest[16] = {};
        // Only names this writer makes: ".ostrel-PID-XXXXXX".
        if (std::sscanf(name.c_str(), ".ostrel-%ld-%15s", &pid, rest) != 2 || pid <= 0
            || std::strlen(rest) != 6 || !entry.is_regular_file(error))
            continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
            continue; // its writer lives (or may: not ours to tell)
        std::error_code gone;
        if (std::filesystem::remove(entry.path(), gone))
            removed.push_back(entry.path().string());
    }
    return removed;
}

} // namespace ostrel
