#include "tests/capture/capture_fixture.h"

#include <random>
#include <sstream>

namespace ostrel::test {

std::vector<std::string> Lines(const LineView& view)
{
    std::vector<std::string> lines;
    for (int i = 0; i < view.lineCount(); ++i)
        lines.push_back(view.line(i));
    return lines;
}

namespace {

    bool SameState(const CaptureState& a, const CaptureState& b)
    {
        return a.rowColumn == b.rowColumn && a.commandBytes == b.commandBytes
            && a.commandByteIndex == b.commandByteIndex
            && a.paramBytesPending == b.paramBytesPending && a.commandCount == b.commandCount
            && a.captureBuffer == b.captureBuffer && a.captureIndex == b.captureIndex;
    }

} // namespace

bool Snapshot::operator==(const Snapshot& o) const
{
    return ascii == o.ascii && hex == o.hex && log == o.log && asciiCurrent == o.asciiCurrent
        && hexCurrent == o.hexCurrent && logCurrent == o.logCurrent && byteCaption == o.byteCaption
        && commandCaption == o.commandCaption && SameState(state, o.state) && replies == o.replies;
}

Snapshot Take(const CaptureSurroundings& c, const CaptureState& state)
{
    return { Lines(c.ascii), Lines(c.hex), Lines(c.log), c.ascii.currentIndex(),
        c.hex.currentIndex(), c.log.currentIndex(), c.byteCount.text(), c.commandCount.text(),
        state, c.replies };
}

Snapshot Take(const Capture& c)
{
    return { Lines(c.ascii), Lines(c.hex), Lines(c.log), c.ascii.currentIndex(),
        c.hex.currentIndex(), c.log.currentIndex(), c.byteCount.text(), c.commandCount.text(),
        c.state(), c.replies };
}

std::string Described(const std::string& line, const std::string& description)
{
    std::string text = line;
    while (text.size() < 48)
        text += ' ';
    return text + ">" + description;
}

std::string RandomStream(std::mt19937& random, std::size_t length)
{
    static const unsigned char interesting[]
        = { 7, 9, 10, 12, 13, 16, 27, 29, 31, 'R', '*', '!', 'C', 'x', '@', 'k', 0, 1, 2, 0xFF };
    std::string stream;
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned pick = random() % 100;
        if (pick < 45)
            stream += static_cast<char>(interesting[random() % std::size(interesting)]);
        else
            stream += static_cast<char>(random() % 256);
    }
    return stream;
}

std::string Bytes(const std::string& hexPairs)
{
    std::istringstream in(hexPairs);
    std::string bytes;
    std::string pair;
    while (in >> pair)
        bytes += static_cast<char>(std::stoi(pair, nullptr, 16));
    return bytes;
}

} // namespace ostrel::test
