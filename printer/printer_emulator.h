#pragma once

#include "capture/capture_engine.h"
#include "printer/status_reply.h"

#include <string>

namespace ostrel {

// The printer's side of the capture: names each framed command on its log line
// and answers status requests (DLE "R") through the given output.
class PrinterEmulator : public CommandDescriber {
public:
    PrinterEmulator(const StatusControls& controls, ReplyOutput& output)
        : controls_(controls), output_(output)
    {
    }

    void DescribeCommand(const CaptureState& state, LineView& listCommands) override;

private:
    const StatusControls& controls_;
    ReplyOutput& output_;
    std::string annotation_; // reused, so naming a command allocates nothing
};

} // namespace ostrel
