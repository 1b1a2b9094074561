#pragma once

#include "capture/capture_engine.h"
#include "printer/command_listing.h"
#include "printer/status_reply.h"

#include <string>

namespace ostrel {

// The printer's side of the capture: names each framed command on its log line
// and answers status requests (DLE "R") through the given output.
class PrinterEmulator : public CommandDescriber {
public:
    PrinterEmulator(const StatusControls& controls, ReplyOutput& output)
        : controls_(controls)
        , output_(output)
    {
    }

    void DescribeCommand(const CaptureState& state, LineView& listCommands) override;

    // The next `count` status requests were answered ahead of the chunk (see
    // StatusRequestScan): name them, but send nothing again.
    void answeredAhead(int count) { answeredAhead_ = count; }
    // Requests announced as answered ahead that never came; 0 unless the scan
    // and the engine disagree.
    int answeredAheadLeft() const { return answeredAhead_; }
    // Every command named so far, by kind, for reports.
    const CommandKindCounts& commandKinds() const { return kinds_; }

private:
    const StatusControls& controls_;
    ReplyOutput& output_;
    std::string annotation_; // reused, so naming a command allocates nothing
    CommandKindCounts kinds_ = NoCommandKinds();
    int answeredAhead_ = 0;
};

} // namespace ostrel
