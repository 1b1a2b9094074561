#include "capture/capture_engine.h"

#include "protocol/command_set.h"
#include "protocol/hex_byte.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

namespace ostrel {

CaptureEngine::CaptureEngine(CaptureViews views, CommandDescriber* describer)
    : views_(views)
    , describer_(describer)
{
}

void CaptureEngine::UpdateData(std::string_view chunk)
{
    if (chunk.empty())
        return;
    // Each byte goes to the raw capture, then the data views, then the framer.
    // The first two depend on nothing but the bytes and the row column, and
    // nothing looks at them until the chunk is done, so each takes the whole
    // chunk in one go (the data views write their rows when next read); the
    // framer then walks the bytes. The result is the same as taking every
    // byte through all three in turn.
    const int firstColumn = state_.rowColumn;
    storeRawCapture(chunk);
    if (dataViewsKept_) {
        views_.listDataReceived.takeBytes(chunk, firstColumn);
        views_.listDataReceivedHEX.takeBytes(chunk, firstColumn);
    }
    frameCommands(chunk);
    state_.rowColumn = static_cast<std::int16_t>((firstColumn + chunk.size()) % 8);
}

void CaptureEngine::storeRawCapture(std::string_view chunk)
{
    // Bytes are stored at captureIndex, which stops at the last element: once
    // there, every further byte overwrites it.
    auto& buffer = state_.captureBuffer;
    const std::size_t advancing
        = std::min<std::size_t>(chunk.size(), CaptureState::kCaptureLast - state_.captureIndex);
    std::memcpy(&buffer[static_cast<std::size_t>(state_.captureIndex)], chunk.data(), advancing);
    state_.captureIndex = static_cast<std::int16_t>(state_.captureIndex + advancing);
    if (advancing < chunk.size())
        buffer[CaptureState::kCaptureLast] = static_cast<std::uint8_t>(chunk.back());
    views_.lblByteCount.set(state_.captureIndex - 1);
}

void CaptureEngine::frameCommands(std::string_view chunk)
{
    LineView& log = views_.listCommands;
    for (std::size_t at = 0; at < chunk.size();) {
        // A log without a current line (after Clear All) gets a fresh one
        // before the framer writes, wherever the row stands, so that no byte
        // goes unlisted: the one line added without the 1000-line check.
        if (log.currentIndex() == -1) {
            log.addLine(" ");
            log.setCurrentIndex(log.lineCount() - 1);
        }
        const auto b = static_cast<std::uint8_t>(chunk[at]);
        if (framer_.opensCommand(b)) {
            openCommand(b, HexByte(b));
            ++at;
        } else {
            at += appendToCommandLog(chunk.substr(at));
        }
    }
}

void CaptureEngine::openCommand(std::uint8_t b, std::string_view hex)
{
    if (state_.commandCount < std::numeric_limits<std::int32_t>::max())
        ++state_.commandCount;
    views_.lblCmdCount.set(state_.commandCount);
    const CommandFramer::Event event = framer_.open(b);

    LineView& log = views_.listCommands;
    // A command always starts a line of its own; a fresh line (" ") is taken over.
    if (log.line(log.currentIndex()).size() > 1)
        addLineCapped(log, hex);
    else
        log.replaceLine(log.currentIndex(), hex);

    if (event == CommandFramer::Event::SingleCommand) {
        describe();
        StartNewCommandLine();
    }
}

std::size_t CaptureEngine::appendToCommandLog(std::string_view bytes)
{
    // Bytes outside a command, or belonging to the open one, are written as
    // " h" to the current line. A run of them is written at once, cut where
    // anything but writing happens: at the byte that closes the line, at the
    // last counted byte, or before a byte that would open a command.
    LineView& log = views_.listCommands;
    const int current = log.currentIndex();
    const std::size_t lineLength = log.line(current).size();
    // A fresh line (" ") is replaced, any longer line extended.
    const std::size_t base = lineLength > 1 ? lineLength : 0;

    std::size_t run = 1; // without a current line each byte needs the row-start check
    if (current != -1) {
        const std::size_t untilClose = base > kDataLineClose ? 1 : (kDataLineClose - base) / 3 + 1;
        run = framer_.dataRun(bytes.substr(0, std::min(bytes.size(), untilClose)));
    }

    char text[16 * 3];
    for (std::size_t i = 0; i < run; ++i)
        PutBlankAndHex(text + 3 * i, static_cast<std::uint8_t>(bytes[i]));
    if (base > 0)
        log.appendToLine(current, { text, 3 * run });
    else
        log.replaceLine(current, { text, 3 * run });
    // A data line closes at its 16th byte, 48 characters.
    if (base + 3 * run > kDataLineClose)
        StartNewCommandLine();

    if (framer_.takeData(bytes.substr(0, run)) == CommandFramer::Event::Head)
        describe(); // on the command's own line; its parameter bytes begin on a fresh line
    if (framer_.countedOut())
        StartNewCommandLine();
    return run;
}

void CaptureEngine::describe()
{
    if (describer_ != nullptr)
        describer_->DescribeCommand(state_, views_.listCommands);
}

void CaptureEngine::addLineCapped(LineView& view, std::string_view text)
{
    // The first line stays; the oldest of the others goes.
    view.addCurrentLine(text, kMaxViewLines);
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
