#pragma once

#include "capture/capture_engine.h"
#include "tests/capture/capture_fixture.h"

namespace ostrel::test {

// The byte pipeline exactly as documented, one byte at a time through every
// step in order, with no shortcut. The engine takes whole rows and runs of
// bytes at once; this is what it must agree with.
class ReferencePipeline {
public:
    ReferencePipeline(CaptureViews views, CommandDescriber* describer)
        : views_(views), describer_(describer)
    {
    }
    void UpdateData(std::string_view chunk);
    void ClearCapture();
    const CaptureState& state() const { return state_; }

private:
    void byte(std::uint8_t b);
    void addLineCapped(LineView& view, std::string text);
    void StartNewCommandLine();
    void SetParameterCount();
    void describe();

    CaptureState state_;
    CaptureViews views_;
    CommandDescriber* describer_;
};

// Everything around the reference pipeline that Capture holds around the
// engine, with the same status boxes, so that the two can be compared.
struct ReferenceCapture : ReplyOutput {
    ReferenceCapture()
        : printer(status, *this), pipeline({ascii, hex, log, byteCount, commandCount}, &printer)
    {
    }
    void Output(std::string_view bytes) override { replies.emplace_back(bytes); }

    MemoryLineView ascii, hex, log;
    CounterCaption byteCount{"Bytes Received = "};
    CounterCaption commandCount{"Command Count = "};
    FixedStatusControls status{0, 8};
    std::vector<std::string> replies;
    PrinterEmulator printer;
    ReferencePipeline pipeline;
};

Snapshot Take(const ReferenceCapture& capture);

} // namespace ostrel::test
