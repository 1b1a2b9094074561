#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace ostrel {

// What framing carries from byte to byte: the bytes of the command being
// framed and how many more belong to it. The arrays are used from index 1;
// element 0 (and element 1000) is never written, and the index stops at the
// last element instead of wrapping.
struct FramingState {
    static constexpr int kCommandBytesLast = 1000;

    // The bytes of the command being framed, from index 1.
    std::array<std::int16_t, kCommandBytesLast + 1> commandBytes {};
    // Where the next command byte is stored, 1 to 1000.
    std::int16_t commandByteIndex = 1;
    // Bytes that still belong to the open command; 0 means no command is open.
    // Wider than the other counters so that a bit-image length announced with
    // a high count byte of 128 or more keeps its full value (up to 65535).
    std::int32_t paramBytesPending = 0;
};

// Decides how many more bytes belong to the command being framed, from the
// command bytes collected so far. Called with paramBytesPending at 0, each time
// a command's counted bytes have run out. After the first two bytes it looks up
// the parameter count; after the two count bytes of US "*" it sets the length
// of the bit-image data they announce, high byte first.
void SetParameterCount(FramingState& state);

// The command framing, the only one there is: which bytes start commands,
// which complete a command's head, and how many parameter and data bytes
// follow. The command log, the status request scan, the job splitter and the
// comparison all drive it. It works on a state of its own, or on one that a
// caller keeps (the engine's capture state).
class CommandFramer {
public:
    enum class Event {
        Data, // a byte outside any command, or a parameter or data byte
        SingleCommand, // BEL, HT, LF, FF or CR: a whole command
        Prefix, // DLE, ESC, GS or US: a command begins
        Head, // the second byte of a command: first() and second() name it
    };

    CommandFramer()
        : state_(&own_)
    {
    }
    explicit CommandFramer(FramingState& shared)
        : state_(&shared)
    {
    }
    CommandFramer(const CommandFramer&) = delete;
    CommandFramer& operator=(const CommandFramer&) = delete;

    // Continues from where another framing stands. Framing reads no command
    // byte past the fourth (the count bytes of US "*").
    void restart(const FramingState& from);

    // Takes one byte, whatever it is.
    Event take(std::uint8_t b);

    // Whether `b` opens a command here: a command-start byte while none is open.
    bool opensCommand(std::uint8_t b) const;
    // Takes a byte for which opensCommand holds: SingleCommand or Prefix.
    Event open(std::uint8_t b);
    // How many bytes at the front of `bytes` are data: while a command is open
    // up to its count, otherwise up to the next command-start byte.
    std::size_t dataRun(std::string_view bytes) const;
    // Takes data bytes (at most dataRun's), storing them while there is room.
    // When they use up the count, the next count is set at once; the result
    // is Head when that completed a command's second byte, else Data.
    Event takeData(std::string_view run);

    int first() const { return state_->commandBytes[1]; }
    int second() const { return state_->commandBytes[2]; }
    // Whether the last byte taken completed a command with everything that
    // belongs to it (its parameters and announced data).
    bool commandComplete() const { return complete_; }
    // Whether the last byte taken was the last one counted so far (the log
    // then closes a line), even where more are announced after it.
    bool countedOut() const { return countedOut_; }
    // Whether a command is still taking bytes.
    bool inCommand() const { return state_->paramBytesPending > 0; }
    const FramingState& state() const { return *state_; }

private:
    FramingState own_;
    FramingState* state_;
    bool complete_ = false;
    bool countedOut_ = false;
};

} // namespace ostrel
