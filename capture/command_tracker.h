#pragma once

#include "capture/capture_state.h"

#include <cstdint>
#include <string_view>

namespace ostrel {

// The command framing alone, byte by byte, without any view: which bytes
// start commands, which complete a command's head, and how many parameter and
// data bytes follow. It follows the same rules as the engine, from the same
// state, so it can look ahead of the engine (status requests) or split a
// stream where the engine would see a command end (jobs, comparisons).
class CommandTracker {
public:
    enum class Event {
        Data,          // a byte outside any command, or a parameter or data byte
        SingleCommand, // BEL, HT, LF, FF or CR: a whole command
        Prefix,        // DLE, ESC, GS or US: a command begins
        Head,          // the second byte of a command: first() and second() name it
    };

    CommandTracker() = default;
    // Continues from where an engine stands.
    explicit CommandTracker(const CaptureState& state);
    // The same for a tracker already made, which is far cheaper than making
    // one: the state it keeps holds a raw capture.
    void restart(const CaptureState& state);

    Event take(std::uint8_t b);
    // Takes as many of the bytes as raise nothing but Data events and complete
    // nothing (text outside commands, the middle of parameters and image
    // data), at once; returns how many it took.
    std::size_t takePlainRun(std::string_view bytes);

    int first() const { return state_.commandBytes[1]; }
    int second() const { return state_.commandBytes[2]; }
    // Whether the last byte taken completed a command with everything that
    // belongs to it (its parameters and announced data).
    bool commandComplete() const { return complete_; }
    // Whether the last byte taken was the last one counted so far (the engine
    // then closes a line), even where more are announced after it.
    bool countedOut() const { return countedOut_; }
    // Whether a command is still taking bytes.
    bool inCommand() const { return state_.paramBytesPending > 0; }

private:
    CaptureState state_;
    bool complete_ = false;
    bool countedOut_ = false;
};

} // namespace ostrel
