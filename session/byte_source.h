#pragma once

#include <atomic>
#include <functional>
#include <limits>
#include <string>
#include <string_view>

namespace ostrel {

// Where received bytes come from and where the replies to them go back: a
// serial port, a network connection. A source hands each chunk it receives to
// the capture session, and tells the session when it has gone away.
class ByteSource {
public:
    virtual ~ByteSource() = default;

    // For messages and reports: "serial /dev/ttyUSB0", "tcp 127.0.0.1:50312".
    virtual std::string sourceName() const = 0;

    // Sends bytes back to the peer now, not when the event loop next runs.
    virtual void sendReply(std::string_view bytes) = 0;

    // How the bytes handed to sendReply have fared: replies go out in order,
    // so the first `written` of them reached the peer and, once `failure`
    // says why, none after them will. A source that cannot tell counts
    // every reply as written.
    struct ReplyDelivery {
        long long written = std::numeric_limits<long long>::max();
        std::string failure;
    };
    virtual ReplyDelivery replyDelivery() const { return {}; }

    // Hands over whatever has arrived and not been handed over yet, without
    // waiting for more. Called before slow work (drawing) so that a request
    // already waiting is answered first.
    virtual void deliverPending() { }

    // Whether the real-time requests (DLE EOT, GS r, GS a, GS I) from this
    // peer are answered. Read on the thread that hands the bytes over.
    virtual bool realTimeReplies() const { return true; }

    // Whether the peer reaches the printer over a network (TCP): Star's
    // printers answer it in their Ethernet interface's status format.
    virtual bool network() const { return false; }

    // Whether this tool answers the peer at all: not while a real printer
    // the peer's bytes are forwarded to answers it instead.
    // Set on the window's thread, read on the one that hands the bytes over.
    bool standInAnswers() const { return standInAnswers_.load(std::memory_order_relaxed); }
    void setStandInAnswers(bool answers)
    {
        standInAnswers_.store(answers, std::memory_order_relaxed);
    }

private:
    std::atomic<bool> standInAnswers_ { true };
};

// Where a source hands what it receives: the capture session, or one job of
// the service without a window. A source is wired to a sink once, however
// many consumers there are.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // A peer connected (a network job begins).
    virtual void sourceStarted(ByteSource&) { }
    virtual void bytesArrived(std::string_view chunk, ByteSource& from) = 0;
    // The peer has ended its job. A sink with more to say to it (a printer
    // it forwards to, answering the last requests) keeps the connection open:
    // it says true and calls `release` once done; sourceStopped comes then.
    virtual bool keepsEnded(ByteSource&, std::function<void()> /*release*/) { return false; }
    // The source has gone; every byte it received was handed over first.
    virtual void sourceStopped(ByteSource&, const std::string& /*why*/) { }
};

} // namespace ostrel
