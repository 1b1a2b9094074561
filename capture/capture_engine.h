#pragma once

#include "capture/capture_state.h"
#include "capture/counter_caption.h"
#include "capture/line_view.h"
#include "capture/row_view.h"
#include "protocol/command_framer.h"

#include <cstdint>
#include <string_view>

namespace ostrel {

// The three lists and the two counters that the engine shows. They belong to
// whoever shows them (the window, the replay tool, a test); the engine only
// writes through them.
struct CaptureViews {
    RowView& listDataReceived; // ASCII data view, 8 bytes a row
    RowView& listDataReceivedHEX; // hex data view, the same rows
    LineView& listCommands; // command log
    CounterCaption& lblByteCount; // "Bytes Received = "
    CounterCaption& lblCmdCount; // "Command Count = "
};

// Names a framed command on its line of the command log (and answers a status
// request). Called right after a single control byte, or right after the second
// byte of a DLE, ESC, GS or US command, with that command's line current. It
// reads commandBytes; the raw capture and the data views may already hold the
// rest of the chunk.
class CommandDescriber {
public:
    virtual ~CommandDescriber() = default;
    virtual void DescribeCommand(const CaptureState& state, LineView& listCommands) = 0;
};

// Takes received chunks apart byte by byte into the raw capture, the data
// views and the command log, framing printer commands as it goes.
class CaptureEngine {
public:
    static constexpr int kMaxViewLines = LineView::kMaxLines;
    // A data line of the command log closes once it is longer than this: at
    // its 16th byte, 48 characters.
    static constexpr std::size_t kDataLineClose = 46;

    // `describer` may be null: command lines then stay undescribed.
    CaptureEngine(CaptureViews views, CommandDescriber* describer);

    // Processes every byte of the chunk, in order, before it returns.
    void UpdateData(std::string_view chunk);

    // Opens a fresh line " " at the end of the command log and makes it current.
    void StartNewCommandLine();

    // The start-up values of the counters and indexes (the window's load).
    void ResetToStartValues();

    // What Clear All does to the capture: the three views emptied, in this
    // order, and the raw capture written from element 1 again. Everything else,
    // the framing of an open command among it, carries on.
    void ClearCapture();

    // Without anyone to show them (a headless capture keeps only the command
    // log), the two data views can be left unfilled; the log, the counters and
    // the raw capture are the same either way.
    void setDataViewsKept(bool kept) { dataViewsKept_ = kept; }

    // Null leaves command lines undescribed.
    void setDescriber(CommandDescriber* describer) { describer_ = describer; }
    const CommandDescriber* describer() const { return describer_; }

    const CaptureState& state() const { return state_; }
    const CaptureViews& views() const { return views_; }

private:
    void storeRawCapture(std::string_view chunk);
    void frameCommands(std::string_view chunk);
    void addLineCapped(LineView& view, std::string_view text);
    void openCommand(std::uint8_t b, std::string_view hex);
    std::size_t appendToCommandLog(std::string_view bytes);
    void describe();

    CaptureState state_;
    CommandFramer framer_ { state_ };
    CaptureViews views_;
    CommandDescriber* describer_;
    bool dataViewsKept_ = true;
};

} // namespace ostrel
