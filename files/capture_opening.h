#pragma once

#include "session/capture_session.h"

#include <limits>
#include <string>

namespace ostrel {

// Takes a saved capture or job file into the session as if its bytes had
// just been received (a raw capture file without its element 0): the lists,
// counters and listeners see them; nothing is sent back. It reads a slice a
// step, without ever waiting, so that whoever drives it keeps its event loop
// turning: a huge file, /dev/zero or a FIFO with no writer cannot hold the
// window. It stops at a size limit and says so.
class SavedCaptureReader {
public:
    SavedCaptureReader() = default;
    ~SavedCaptureReader();
    SavedCaptureReader(const SavedCaptureReader&) = delete;
    SavedCaptureReader& operator=(const SavedCaptureReader&) = delete;

    // False with a reason naming the file when it cannot be opened.
    bool open(const std::string& path, long long limit, std::string& error);

    enum class Step {
        More, // a slice was taken; step again
        Waiting, // nothing to read yet (a FIFO whose writer is slow)
        Done, // the whole file was taken
        Stopped, // the limit was reached: `message` says so
        Failed, // `message` names the file and the reason
    };
    Step step(CaptureSession& session, std::string& message);
    long long bytesTaken() const { return taken_; }

    // A raw capture file holds 10,000 bytes whatever was received, the rest
    // zeros. Where the command log saved beside it (NAME.txt for NAME.bin)
    // matches, only the bytes it lists are taken; where it does not, the
    // zeros at the end cannot be told from NULs received, and are counted
    // here for the user to choose.
    long long unsureZeros() const { return unsureZeros_; }
    void dropUnsureZeros();
    // Where the number of bytes received was read from, if it was.
    const std::string& lengthFrom() const { return lengthFrom_; }

    static constexpr std::size_t kSlice = 64 * 1024;

private:
    int fd_ = -1;
    std::string path_;
    long long limit_ = 0;
    long long taken_ = 0;
    long long end_ = std::numeric_limits<long long>::max(); // the bytes of the file to take
    long long unsureZeros_ = 0;
    std::string lengthFrom_;
    std::string buffer_;
};

// The whole file at once, up to `limit` bytes (for tests and small files);
// false with a reason naming the file, and the session untouched, when it
// cannot be opened.
bool OpenSavedCapture(CaptureSession& session, const std::string& path, std::string& error,
    long long limit = 64LL << 20);

} // namespace ostrel
