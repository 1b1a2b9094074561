// Fuzz target for the capture engine. The input is read as a script of steps:
// a step byte, then for a chunk step that many bytes of received data (1-64),
// or Clear All. After every step the engine must keep its invariants, every
// line of the command log must be one of its three kinds, and everything must
// equal what the byte-by-byte reference gives.

#include "printer/command_descriptions.h"
#include "tests/capture/capture_fixture.h"
#include "tests/capture/reference_pipeline.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace ostrel;

[[noreturn]] void Fail(const char* what, const std::string& detail = {})
{
    std::fprintf(stderr, "capture invariant broken: %s %s\n", what, detail.c_str());
    std::abort();
}

bool IsHexPair(const std::string& line, std::size_t at)
{
    const auto hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); };
    return at + 1 < line.size() && hex(line[at]) && hex(line[at + 1]);
}

int PairValue(const std::string& line, std::size_t at)
{
    return std::stoi(line.substr(at, 2), nullptr, 16);
}

// The line's own text: " " (a fresh line), " 41 42 ..." (a data line of 1-16
// bytes), "1B" or "1B 40" (a command line); then, on a command line, its
// annotation: blanks to column 48, ">", and the command's description.
// Clear All between a prefix byte and the byte after it leaves that byte on a
// fresh line of its own, which is then described as the command it ends.
void CheckLogLine(const std::string& line)
{
    const std::size_t marker = line.find('>');
    std::string body = line.substr(0, marker);
    if (marker != std::string::npos) {
        if (marker != 48)
            Fail("annotation column", line);
        body.erase(body.find_last_not_of(' ') + 1);
    }
    const std::string description = marker == std::string::npos ? "" : line.substr(marker + 1);

    if (body.empty() || body == " ") {
        if (!description.empty() || line != " ")
            Fail("fresh line", line);
    } else if (body[0] == ' ') {
        const std::size_t bytes = body.size() / 3;
        if (body.size() % 3 != 0 || bytes < 1 || bytes > 16)
            Fail("data line length", line);
        for (std::size_t i = 0; i < bytes; ++i) {
            if (body[3 * i] != ' ' || !IsHexPair(body, 3 * i + 1))
                Fail("data line", line);
        }
        if (marker != std::string::npos) {
            const int second = PairValue(body, 1);
            bool named = false;
            for (int prefix : { 16, 27, 29, 31 })
                named = named || description == CommandDescription(prefix, second);
            if (bytes != 1 || !named)
                Fail("annotated data line", line);
        }
    } else {
        if (!IsHexPair(body, 0)
            || (body.size() != 2 && !(body.size() == 5 && body[2] == ' ' && IsHexPair(body, 3))))
            Fail("command line", line);
        const int first = PairValue(body, 0);
        const int second = body.size() == 5 ? PairValue(body, 3) : 0;
        if (marker != std::string::npos && description != CommandDescription(first, second))
            Fail("description", line);
    }
}

// A step of at most 64 bytes writes at most two lines a byte, at the end of
// the log (no user picks another line here): those are checked after every
// step, all lines at the end.
void CheckInvariants(const test::Capture& c, bool allLines)
{
    const CaptureState& s = c.state();
    if (s.rowColumn < 0 || s.rowColumn > 7)
        Fail("rowColumn");
    if (s.commandByteIndex < 1 || s.commandByteIndex > 1000)
        Fail("commandByteIndex");
    if (s.paramBytesPending < 0 || s.paramBytesPending > 65535)
        Fail("paramBytesPending");
    if (s.captureIndex < 1 || s.captureIndex > 10000)
        Fail("captureIndex");
    if (s.commandBytes[0] != 0 || s.commandBytes[1000] != 0 || s.captureBuffer[0] != 0)
        Fail("elements that are never written");
    for (const LineView* view : { static_cast<const LineView*>(&c.ascii),
             static_cast<const LineView*>(&c.hex), static_cast<const LineView*>(&c.log) }) {
        if (view->lineCount() > 1000)
            Fail("view longer than 1000 lines");
    }
    for (int i = allLines ? 0 : std::max(0, c.log.lineCount() - 130); i < c.log.lineCount(); ++i)
        CheckLogLine(c.log.line(i));
    if (c.byteCount.text() != "Bytes Received = " + std::to_string(s.captureIndex - 1)
        && c.byteCount.value() < s.captureIndex - 1)
        Fail("byte counter");
}

// The state and the current lines after every step; every line at the end.
bool SameSoFar(const test::Capture& c, const test::ReferenceCapture& r)
{
    const auto sameCurrent = [](const LineView& x, const LineView& y) {
        return x.lineCount() == y.lineCount() && x.currentIndex() == y.currentIndex()
            && x.line(x.currentIndex()) == y.line(y.currentIndex());
    };
    return sameCurrent(c.ascii, r.ascii) && sameCurrent(c.hex, r.hex) && sameCurrent(c.log, r.log);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    test::Capture capture;
    test::ReferenceCapture reference;
    // Half the inputs are looked at only at the end, as a window that is not
    // drawn meanwhile: the data views then write many chunks' rows at once.
    const bool lookAfterEachStep = size == 0 || (data[0] & 1) == 0;
    std::size_t at = 0;
    while (at < size) {
        const std::uint8_t step = data[at++];
        if (step == 0xFF) {
            capture.session.ClearAll();
            reference.pipeline.ClearCapture();
        } else {
            const std::size_t length = std::min<std::size_t>(1 + step % 64, size - at);
            const std::string_view chunk(reinterpret_cast<const char*>(data + at), length);
            at += length;
            capture.session.UpdateData(chunk);
            reference.pipeline.UpdateData(chunk);
        }
        if (!lookAfterEachStep)
            continue;
        CheckInvariants(capture, /*allLines=*/false);
        if (!SameSoFar(capture, reference))
            Fail("engine and byte-by-byte reference differ");
    }
    CheckInvariants(capture, /*allLines=*/true);
    if (!(test::Take(capture) == test::Take(reference)))
        Fail("engine and byte-by-byte reference differ at the end");
    return 0;
}
