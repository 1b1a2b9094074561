#pragma once

#include "capture/capture_engine.h"
#include "printer/printer_emulator.h"
#include "session/capture_session.h"

#include <random>
#include <string>
#include <vector>

namespace ostrel::test {

// The views and counters a byte pipeline writes, as plain lists of lines.
struct PlainViews {
    LineView& listDataReceived;
    LineView& listDataReceivedHEX;
    LineView& listCommands;
    CounterCaption& lblByteCount;
    CounterCaption& lblCmdCount;
};

// Everything a window would own around a byte pipeline, in memory: the three
// views, both counters, the status boxes, the printer and a recorder standing
// for the port.
struct CaptureSurroundings : ReplyOutput {
    CaptureSurroundings()
        : printer(status, *this)
    {
    }
    void Output(std::string_view bytes) override { replies.emplace_back(bytes); }
    PlainViews views() { return { ascii, hex, log, byteCount, commandCount }; }

    MemoryLineView ascii, hex, log;
    CounterCaption byteCount { "Bytes Received = " };
    CounterCaption commandCount { "Command Count = " };
    FixedStatusControls status { 0, 8 };
    std::vector<std::string> replies;
    PrinterEmulator printer;
};

// The capture under test: the session that the window and the tools use, with
// its status boxes fixed and its replies recorded.
struct Capture : CaptureListener {
    explicit Capture(bool describe = true)
    {
        session.setStatusControls(status);
        session.addListener(*this);
        if (!describe)
            engine.setDescriber(nullptr);
    }
    ~Capture() override { session.removeListener(*this); }
    void chunkTaken(std::string_view, ByteSource*) override { }
    void replySent(std::string_view bytes, ByteSource*) override { replies.emplace_back(bytes); }

    void feed(const std::string& bytes) { session.UpdateData(bytes); }
    void feedBytewise(const std::string& bytes)
    {
        for (char c : bytes)
            session.UpdateData(std::string(1, c));
    }
    const CaptureState& state() const { return session.state(); }

    CaptureSession session;
    CaptureEngine& engine = session.engine();
    RowView& ascii = session.listDataReceived();
    RowView& hex = session.listDataReceivedHEX();
    MemoryLineView& log = session.listCommands();
    const CounterCaption& byteCount = session.lblByteCount();
    const CounterCaption& commandCount = session.lblCmdCount();
    FixedStatusControls status { 0, 8 };
    std::vector<std::string> replies;
};

std::vector<std::string> Lines(const LineView& view);

// Everything observable after a capture: views with current indexes, captions,
// state and the replies sent; equal snapshots mean indistinguishable captures.
struct Snapshot {
    std::vector<std::string> ascii, hex, log;
    int asciiCurrent, hexCurrent, logCurrent;
    std::string byteCaption, commandCaption;
    CaptureState state;
    std::vector<std::string> replies;
    bool operator==(const Snapshot& other) const;
};

Snapshot Take(const CaptureSurroundings& surroundings, const CaptureState& state);
Snapshot Take(const Capture& capture);

// A command line as the log shows it once described: padded to 48, ">", text.
std::string Described(const std::string& line, const std::string& description);

// A byte mix rich in command starts (DLE "R" among them), the bytes that
// follow them, and counts.
std::string RandomStream(std::mt19937& random, std::size_t length);

// Bytes written as hex pairs, "1B 40 0A".
std::string Bytes(const std::string& hexPairs);

} // namespace ostrel::test
