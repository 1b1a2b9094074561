#pragma once

#include "capture/capture_state.h"
#include "printer/status_request_scan.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// Where a source that reads on a thread of its own leaves what it receives.
// The status requests in it are answered there and then, by the same framing
// rules as the engine and with the status last published, so a reply never
// waits for the session's thread. The session takes the bytes, with the
// replies already sent for them, later and all at once.
//
// The scan runs ahead of the engine, so whatever changes the engine's state
// other than these bytes must happen while holding mutex(), after the bytes
// waiting here were taken, and be followed by restart().
class ArrivalInbox {
public:
    // What arrived since the last take, in order.
    struct Arrived {
        std::string bytes;
        int requests = 0;                 // status requests among them
        std::vector<std::string> replies; // the replies sent for them, in order
    };

    // What the receiving thread does with a chunk.
    struct Received {
        std::string replies;  // send these now, in one write
        bool callSession = false; // the session has not been called since it last looked
    };

    // Receiving thread: keeps the chunk and answers its requests.
    Received receive(std::string_view chunk);

    // Session thread: everything waiting; the session will be called again
    // for the next chunk only after it says so with hangUp.
    Arrived take();
    // Whether anything is waiting, and how many bytes.
    bool waiting() const;
    std::size_t waitingBytes() const;
    // The session stops looking, unless something came meanwhile: then nothing
    // changes and this returns false.
    bool hangUp();

    // The status the replies carry from now on: "Enable Status Return" and the
    // two status bytes.
    void publishStatus(bool enabled, std::uint8_t byte1, std::uint8_t byte2);
    // The scan continues from where the engine stands, after a change made
    // while holding mutex().
    void restart(const CaptureState& state, bool commandLogEmpty);

    std::recursive_mutex& mutex() const { return mutex_; }

private:
    mutable std::recursive_mutex mutex_;
    StatusRequestScan scan_;
    Arrived arrived_;
    bool sessionCalled_ = false;
    bool statusEnabled_ = true;
    std::uint8_t byte1_ = 0;
    std::uint8_t byte2_ = 0;
};

} // namespace ostrel
