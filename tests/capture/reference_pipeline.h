#pragma once

#include "capture/capture_engine.h"
#include "tests/capture/capture_fixture.h"

namespace ostrel::test {

// The byte pipeline exactly as documented, one byte at a time through every
// step in order, with no shortcut. The engine takes whole rows and runs of
// bytes at once; this is what it must agree with.
class ReferencePipeline {
public:
    ReferencePipeline(PlainViews views, CommandDescriber* describer)
        : views_(views)
        , describer_(describer)
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
    PlainViews views_;
    CommandDescriber* describer_;
};

// The reference pipeline with the same surroundings as Capture, so that the
// two can be compared.
struct ReferenceCapture : CaptureSurroundings {
    ReferenceCapture()
        : pipeline(views(), &printer)
    {
    }
    ReferencePipeline pipeline;
};

inline Snapshot Take(const ReferenceCapture& capture)
{
    return Take(capture, capture.pipeline.state());
}

} // namespace ostrel::test
