#include "files/capture_opening.h"

#include "files/capture_file_format.h"
#include "protocol/message_text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel {

SavedCaptureReader::~SavedCaptureReader()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool SavedCaptureReader::open(const std::string& path, long long limit, std::string& error)
{
    path_ = path;
    limit_ = limit;
    // Never waits: a FIFO with no writer opens at once and reads as ended.
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat about { };
    if (fd_ < 0 || ::fstat(fd_, &about) != 0) {
        error = "cannot read " + QuotedForMessage(path) + ": " + std::strerror(errno);
        return false;
    }
    if (S_ISDIR(about.st_mode)) {
        error = "cannot read " + QuotedForMessage(path) + ": it is a folder";
        return false;
    }
    // A raw capture file: element 0 is no received byte.
    constexpr auto kRawFileSize = static_cast<off_t>(CaptureState::kCaptureLast + 1);
    char first = 1;
    if (S_ISREG(about.st_mode) && about.st_size == kRawFileSize && ::pread(fd_, &first, 1, 0) == 1
        && first == 0) {
        ::lseek(fd_, 1, SEEK_SET);
        std::string received(CaptureState::kCaptureLast, '\0');
        if (::pread(fd_, received.data(), received.size(), 1)
            != static_cast<ssize_t>(received.size()))
            return true;
        const std::size_t zeros = received.size() - (received.find_last_not_of('\0') + 1);
        if (zeros == 0)
            return true;
        // Its command log says how much was received, when it matches.
        if (path.ends_with(".bin")) {
            const std::string logPath = path.substr(0, path.size() - 4) + ".txt";
            // A log of 10,000 bytes is a few hundred KiB; a larger file is no match.
            constexpr std::uintmax_t kLargestLog = 4 << 20;
            std::error_code unknown;
            const std::uintmax_t size = std::filesystem::file_size(logPath, unknown);
            std::string log(
                unknown || size > kLargestLog ? 0 : static_cast<std::size_t>(size), '\0');
            std::ifstream logFile(logPath, std::ios::binary);
            logFile.read(log.data(), static_cast<std::streamsize>(log.size()));
            log.resize(static_cast<std::size_t>(std::max<std::streamsize>(0, logFile.gcount())));
            if (const auto length = ReceivedLengthFromLog(log, received)) {
                end_ = *length;
                lengthFrom_ = logPath;
                return true;
            }
        }
        unsureZeros_ = static_cast<long long>(zeros);
    }
    return true;
}

void SavedCaptureReader::dropUnsureZeros()
{
    end_ = CaptureState::kCaptureLast - unsureZeros_;
    unsureZeros_ = 0;
}

SavedCaptureReader::Step SavedCaptureReader::step(CaptureSession& session, std::string& message)
{
    if (taken_ >= end_)
        return Step::Done;
    if (taken_ >= limit_) {
        message = "took the first " + std::to_string(taken_) + " bytes of "
            + QuotedForMessage(path_)
            + " and left the rest: that is the most opened at once (--open-limit)";
        return Step::Stopped;
    }
    buffer_.resize(static_cast<std::size_t>(
        std::min({ static_cast<long long>(kSlice), limit_ - taken_, end_ - taken_ })));
    const ssize_t got = ::read(fd_, buffer_.data(), buffer_.size());
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return Step::Waiting;
    if (got < 0) {
        message = "cannot read " + QuotedForMessage(path_) + ": " + std::strerror(errno);
        return Step::Failed;
    }
    if (got == 0)
        return Step::Done;
    taken_ += got;
    session.UpdateData(std::string_view(buffer_.data(), static_cast<std::size_t>(got)));
    return Step::More;
}

bool OpenSavedCapture(
    CaptureSession& session, const std::string& path, std::string& error, long long limit)
{
    SavedCaptureReader reader;
    if (!reader.open(path, limit, error))
        return false;
    for (;;) {
        switch (reader.step(session, error)) {
        case SavedCaptureReader::Step::More:
            continue;
        case SavedCaptureReader::Step::Waiting:
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        case SavedCaptureReader::Step::Failed:
            return false;
        case SavedCaptureReader::Step::Done:
        case SavedCaptureReader::Step::Stopped:
            return true;
        }
    }
}

} // namespace ostrel
