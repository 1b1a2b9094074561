#pragma once

#include "capture/capture_engine.h"
#include "printer/printer_emulator.h"

#include <string>
#include <vector>

namespace ostrel::test {

// Everything a window would own around a byte pipeline, in memory: the three
// views, both counters, the status boxes, the printer and a recorder standing
// for the port.
struct CaptureSurroundings : ReplyOutput {
    CaptureSurroundings() : printer(status, *this) {}
    void Output(std::string_view bytes) override { replies.emplace_back(bytes); }
    CaptureViews views() { return {ascii, hex, log, byteCount, commandCount}; }

    MemoryLineView ascii, hex, log;
    CounterCaption byteCount{"Bytes Received = "};
    CounterCaption commandCount{"Command Count = "};
    FixedStatusControls status{0, 8};
    std::vector<std::string> replies;
    PrinterEmulator printer;
};

// The engine with its surroundings.
struct Capture : CaptureSurroundings {
    explicit Capture(bool describe = true) : engine(views(), describe ? &printer : nullptr)
    {
        engine.ResetToStartValues();
    }

    void feed(const std::string& bytes) { engine.UpdateData(bytes); }
    void feedBytewise(const std::string& bytes)
    {
        for (char c : bytes)
            engine.UpdateData(std::string(1, c));
    }
    const CaptureState& state() const { return engine.state(); }

    CaptureEngine engine;
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
inline Snapshot Take(const Capture& capture) { return Take(capture, capture.state()); }

// A command line as the log shows it once described: padded to 48, ">", text.
std::string Described(const std::string& line, const std::string& description);

// Bytes written as hex pairs, "1B 40 0A".
std::string Bytes(const std::string& hexPairs);

} // namespace ostrel::test
