#include "tests/capture/reference_pipeline.h"

#include <cstdio>

namespace ostrel::test {

void ReferencePipeline::UpdateData(std::string_view chunk)
{
    for (char c : chunk)
        byte(static_cast<std::uint8_t>(c));
}

void ReferencePipeline::ClearCapture()
{
    views_.listDataReceived.clear();
    views_.listDataReceivedHEX.clear();
    views_.listCommands.clear();
    state_.captureIndex = 1;
}

void ReferencePipeline::byte(std::uint8_t b)
{
    // Step 2: the byte's texts.
    const std::string c(1, static_cast<char>(b));
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", b);
    const std::string h = digits;

    // Step 3: raw capture.
    state_.captureBuffer[state_.captureIndex] = b;
    if (state_.captureIndex < 10000)
        ++state_.captureIndex;
    // Step 4: byte counter.
    views_.lblByteCount.set(state_.captureIndex - 1);

    // Step 5: data views.
    LineView& ascii = views_.listDataReceived;
    LineView& hex = views_.listDataReceivedHEX;
    LineView& log = views_.listCommands;
    // A view without a current line (after Clear All) starts one.
    if (state_.rowColumn == 0 || ascii.currentIndex() == -1)
        addLineCapped(ascii, c);
    else
        ascii.replaceLine(ascii.currentIndex(), ascii.line(ascii.currentIndex()) + c);
    if (state_.rowColumn == 0 || hex.currentIndex() == -1)
        addLineCapped(hex, h);
    else
        hex.replaceLine(hex.currentIndex(), hex.line(hex.currentIndex()) + " " + h);

    if (log.currentIndex() == -1) {
        log.addLine(" ");
        log.setCurrentIndex(log.lineCount() - 1);
    }

    // Step 6: command framer.
    const bool single = b == 7 || b == 9 || b == 10 || b == 12 || b == 13;
    const bool prefix = b == 16 || b == 27 || b == 29 || b == 31;
    if (state_.paramBytesPending == 0 && (single || prefix)) {
        ++state_.commandCount;
        views_.lblCmdCount.set(state_.commandCount);
        state_.commandBytes[1] = b;
        state_.commandByteIndex = 2;
        if (log.line(log.currentIndex()).size() > 1)
            addLineCapped(log, h);
        else
            log.replaceLine(log.currentIndex(), h);
        if (single) {
            describe();
            StartNewCommandLine();
            state_.paramBytesPending = 0;
        } else {
            state_.paramBytesPending = 1;
        }
    } else {
        const std::string current = log.line(log.currentIndex());
        const std::string written = current.size() > 1 ? current + " " + h : " " + h;
        log.replaceLine(log.currentIndex(), written);
        if (written.size() > 46)
            StartNewCommandLine();
        if (state_.commandByteIndex < 1000) {
            state_.commandBytes[state_.commandByteIndex] = b;
            ++state_.commandByteIndex;
        }
        if (state_.paramBytesPending > 0) {
            --state_.paramBytesPending;
            if (state_.paramBytesPending == 0) {
                if (state_.commandByteIndex == 3)
                    describe();
                StartNewCommandLine();
                SetParameterCount();
            }
        }
    }

    // Step 7.
    ++state_.rowColumn;
    if (state_.rowColumn == 8)
        state_.rowColumn = 0;
}

void ReferencePipeline::addLineCapped(LineView& view, std::string text)
{
    view.addLine(text);
    if (view.lineCount() > 1000)
        view.removeLine(1);
    view.setCurrentIndex(view.lineCount() - 1);
}

void ReferencePipeline::StartNewCommandLine() { addLineCapped(views_.listCommands, " "); }

void ReferencePipeline::describe()
{
    if (describer_ != nullptr)
        describer_->DescribeCommand(state_, views_.listCommands);
}

void ReferencePipeline::SetParameterCount()
{
    // The documented table, written out again rather than shared.
    CaptureState& s = state_;
    if (s.commandByteIndex == 3) {
        static const struct {
            int first;
            int second;
            int count;
        } table[] = {
            { 27, 33, 1 },
            { 27, 42, 3 },
            { 27, 45, 1 },
            { 27, 51, 1 },
            { 27, 67, 1 },
            { 27, 74, 1 },
            { 27, 82, 1 },
            { 27, 97, 1 },
            { 27, 99, 2 },
            { 27, 116, 1 },
            { 29, 33, 1 },
            { 29, 66, 1 },
            { 29, 69, 1 },
            { 29, 72, 1 },
            { 29, 76, 2 },
            { 29, 87, 2 },
            { 29, 102, 1 },
            { 29, 104, 1 },
            { 29, 107, 2 },
            { 29, 119, 1 },
            { 31, 42, 2 },
            { 31, 67, 2 },
            { 31, 69, 1 },
            { 31, 70, 1 },
            { 31, 75, 1 },
            { 31, 83, 1 },
            { 31, 120, 2 },
            { 31, 121, 2 },
        };
        for (const auto& row : table) {
            if (row.first == s.commandBytes[1] && row.second == s.commandBytes[2])
                s.paramBytesPending = row.count;
        }
    } else if (s.commandByteIndex == 5 && s.commandBytes[1] == 31 && s.commandBytes[2] == 42) {
        s.paramBytesPending = s.commandBytes[3] * 256 + s.commandBytes[4];
    }
}

} // namespace ostrel::test
