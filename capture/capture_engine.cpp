#include "capture/capture_engine.h"

#include "capture/command_framing.h"
#include "capture/control_bytes.h"

#include <limits>
#include <utility>

namespace ostrel {

CaptureEngine::CaptureEngine(CaptureViews views, CommandDescriber* describer)
    : views_(views), describer_(describer)
{
}

void CaptureEngine::UpdateData(std::string_view chunk)
{
    for (char c : chunk)
        processByte(static_cast<std::uint8_t>(c));
}

// The order of the steps is behaviour: raw capture and byte counter first, then
// the data views (so that at a row start an empty command log gets its fresh
// line before the framer writes into it), then the framer.
void CaptureEngine::processByte(std::uint8_t b)
{
    const std::string_view hex = HexByte(b);

    state_.captureBuffer[static_cast<std::size_t>(state_.captureIndex)] = b;
    if (state_.captureIndex < CaptureState::kCaptureLast)
        ++state_.captureIndex;
    views_.lblByteCount.set(state_.captureIndex - 1);

    LineView& log = views_.listCommands;
    if (state_.rowColumn == 0) {
        addLineCapped(views_.listDataReceived, std::string(1, static_cast<char>(b)));
        addLineCapped(views_.listDataReceivedHEX, std::string(hex));
        // The one line added without the 1000-line check.
        if (log.currentIndex() == -1) {
            log.addLine(" ");
            log.setCurrentIndex(log.lineCount() - 1);
        }
    } else {
        const char c = static_cast<char>(b);
        views_.listDataReceived.appendToLine(views_.listDataReceived.currentIndex(), {&c, 1});
        const char spaced[3] = {' ', hex[0], hex[1]};
        views_.listDataReceivedHEX.appendToLine(views_.listDataReceivedHEX.currentIndex(),
                                                {spaced, 3});
    }

    if (state_.paramBytesPending == 0 && IsCommandStart(b))
        openCommand(b, hex);
    else
        appendToCommandLog(b, hex);

    if (++state_.rowColumn == 8)
        state_.rowColumn = 0;
}

void CaptureEngine::openCommand(std::uint8_t b, std::string_view hex)
{
    if (state_.commandCount < std::numeric_limits<std::int32_t>::max())
        ++state_.commandCount;
    views_.lblCmdCount.set(state_.commandCount);
    state_.commandBytes[1] = b;
    state_.commandByteIndex = 2;

    LineView& log = views_.listCommands;
    // A command always starts a line of its own; a fresh line (" ") is taken over.
    if (log.line(log.currentIndex()).size() > 1)
        addLineCapped(log, std::string(hex));
    else
        log.replaceLine(log.currentIndex(), std::string(hex));

    if (IsSingleControlByte(b)) {
        describe();
        StartNewCommandLine();
        state_.paramBytesPending = 0;
    } else {
        state_.paramBytesPending = 1;
    }
}

void CaptureEngine::appendToCommandLog(std::uint8_t b, std::string_view hex)
{
    LineView& log = views_.listCommands;
    const int current = log.currentIndex();
    const char spaced[3] = {' ', hex[0], hex[1]};
    std::size_t written;
    if (log.line(current).size() > 1) {
        written = log.line(current).size() + 3;
        log.appendToLine(current, {spaced, 3});
    } else {
        written = 3;
        log.replaceLine(current, std::string(spaced, 3));
    }
    if (written > kDataLineClose)
        StartNewCommandLine();

    if (state_.commandByteIndex < CaptureState::kCommandBytesLast) {
        state_.commandBytes[static_cast<std::size_t>(state_.commandByteIndex)] = b;
        ++state_.commandByteIndex;
    }

    if (state_.paramBytesPending > 0 && --state_.paramBytesPending == 0) {
        // The description lands on the command's own line; its parameter bytes
        // then begin on a fresh line.
        if (state_.commandByteIndex == 3)
            describe();
        StartNewCommandLine();
        SetParameterCount(state_);
    }
}

void CaptureEngine::describe()
{
    if (describer_ != nullptr)
        describer_->DescribeCommand(state_, views_.listCommands);
}

void CaptureEngine::addLineCapped(LineView& view, std::string text)
{
    view.addLine(std::move(text));
    // The first line stays; the oldest of the others goes.
    if (view.lineCount() > kMaxViewLines)
        view.removeLine(1);
    view.setCurrentIndex(view.lineCount() - 1);
}

void CaptureEngine::StartNewCommandLine() { addLineCapped(views_.listCommands, " "); }

void CaptureEngine::ResetToStartValues()
{
    state_.commandCount = 0;
    state_.rowColumn = 0;
    state_.commandByteIndex = 1;
    state_.paramBytesPending = 0;
    state_.captureIndex = 1;
}

void CaptureEngine::ClearCapture()
{
    views_.listDataReceived.clear();
    views_.listDataReceivedHEX.clear();
    views_.listCommands.clear();
    state_.captureIndex = 1;
}

} // namespace ostrel
