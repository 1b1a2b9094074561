#pragma once

#include "printer/printer_state.h"
#include "printer/real_time_scan.h"
#include "printer/status_request_scan.h"
#include "session/byte_source.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrel {

// Where every source hands what it receives, on whatever thread it reads:
// the one way bytes reach the capture. The status requests among them are
// answered there and then, by the engine's framing rules and with the status
// last published, so a reply never waits for the session's thread; the
// caller sends the replies to its peer itself, so a port has one writer.
// The session takes the bytes, with the replies already sent for them, later.
//
// Clear All is handed over here too, in its place among the bytes, so the
// session takes every change to the capture in the order it was made.
// The lock is held only while handing over, never while the bytes are shown.
class ArrivalInbox {
public:
    // What arrived from one source, or a Clear All, in order.
    struct Arrival {
        ByteSource* from = nullptr; // null for bytes from no source
        std::string bytes;
        int requests = 0; // status requests among them
        std::vector<std::string> replies; // the replies sent for them, in order
        bool clearAll = false; // Clear All here, instead of bytes
    };

    // What the receiving thread does with a chunk.
    struct Received {
        std::string replies; // send these to the source now, in one write
        bool callSession = false; // the session has not been called since it last looked
    };

    // Any thread: keeps the chunk and answers its requests.
    Received receive(ByteSource* from, std::string_view chunk);
    // Clear All, after everything handed over so far.
    void clearAll();

    // Session thread: everything waiting, oldest first; the session will be
    // called again for the next chunk only after it says so with hangUp.
    std::vector<Arrival> take();
    // Whether anything is waiting, and how many bytes.
    bool waiting() const;
    std::size_t waitingBytes() const;
    // The session stops looking, unless something came meanwhile: then nothing
    // changes and this returns false.
    bool hangUp();

    // The status the replies carry from now on: "Enable Status Return" and the
    // two status bytes.
    void publishStatus(bool enabled, std::uint8_t byte1, std::uint8_t byte2);
    // The printer state the real-time replies carry from now on. Gives the
    // automatic status to send to each peer that asked for it with GS a and
    // whose enabled groups changed.
    std::vector<std::pair<ByteSource*, std::string>> publishPrinterState(const PrinterState& state);
    // The source is gone: it asked for nothing any more.
    void forget(ByteSource* source);
    // A peer begins: a network one takes over the automatic status the last
    // connection left on, as the printer keeps it from one to the next.
    void adopt(ByteSource* source);
    // The printer's language: which requests it answers, and how.
    void setLanguage(receipt::Language language);
    // A printer in time answers GS r and counts Star's ETB only once the
    // paper before them has printed: they are left to answerPrinted(). One
    // that prints at once leaves it every request, so that each answer sees
    // the paper before it printed.
    void setAnswersAfterPrinting(bool after, bool everyRequest = false);
    // Printing reached such a request of `from`: the reply, if any.
    std::string answerPrinted(ByteSource* from, const RealTimeRequest& request);
    static bool WaitsOnPrinting(const RealTimeRequest& request);
    // What the printer keeps from one connection to the next: Star's ETB
    // count, and automatic status, which stays on until it is turned off,
    // the printer is initialized or it is switched off.
    struct Kept {
        int counter = 0;
        bool executed = false;
        std::uint8_t automatic = 0; // GS a's groups (Star: 0x0F) on; 0: off
    };
    Kept kept() const;
    // `peer` is who the printer is connected to now.
    void setKept(Kept kept, ByteSource* peer);

private:
    void answerStatusRequests(
        Arrival& arrival, Received& received, std::string_view part, bool standIn);
    std::string answer(ByteSource* from, const RealTimeRequest& request);
    std::string automaticStatus(const PrinterState& state, const ByteSource* to);
    std::string starStatusByte(const ByteSource* to, std::string_view type, std::uint8_t status);
    void adoptLocked(ByteSource* source);
    void setAutomatic(ByteSource* from, std::uint8_t groups);
    mutable std::mutex mutex_;
    // From the engine's start values on, the scan sees every byte in the
    // engine's order, so it never needs to be set again.
    StatusRequestScan scan_;
    RealTimeScan realTime_;
    PrinterState state_;
    std::map<ByteSource*, std::uint8_t> automatic_; // GS a's groups (Star: all), by peer
    std::uint8_t networkAutomatic_ = 0; // what the last network peer left on
    std::set<ByteSource*> adopted_; // network peers that took it over
    bool star_ = false;
    int etbCounter_ = 0; // Star's ETB count, 0-31
    bool etbExecuted_ = false; // an ETB counted and not yet told
    std::vector<Arrival> arrivals_;
    std::size_t waitingBytes_ = 0;
    bool sessionCalled_ = false;
    bool statusEnabled_ = true;
    bool afterPrinting_ = false;
    bool everyRequestAfterPrinting_ = false;
    std::uint8_t byte1_ = 0;
    std::uint8_t byte2_ = 0;
};

} // namespace ostrel
