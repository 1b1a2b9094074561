// How many bytes belong to each command. Each case is checked through the
// pipeline: a command followed by its parameters, then LF; the LF must start
// a command of its own exactly when the parameters are used up.

#include "protocol/command_framer.h"
#include "protocol/command_set.h"
#include "tests/capture/capture_fixture.h"

#include <gtest/gtest.h>

namespace ostrel::test {
namespace {

    struct CountCase {
        int first;
        char second;
        int parameterBytes;
    };

    // The printer's parameter table as documented, written out independently.
    const CountCase kDocumentedCounts[] = {
        { 27, '!', 1 },
        { 27, '*', 3 },
        { 27, '-', 1 },
        { 27, '3', 1 },
        { 27, 'C', 1 },
        { 27, 'J', 1 },
        { 27, 'R', 1 },
        { 27, 'a', 1 },
        { 27, 'c', 2 },
        { 27, 't', 1 },
        { 29, '!', 1 },
        { 29, 'B', 1 },
        { 29, 'E', 1 },
        { 29, 'H', 1 },
        { 29, 'L', 2 },
        { 29, 'W', 2 },
        { 29, 'f', 1 },
        { 29, 'h', 1 },
        { 29, 'k', 2 },
        { 29, 'w', 1 },
        { 31, 'C', 2 },
        { 31, 'E', 1 },
        { 31, 'F', 1 },
        { 31, 'K', 1 },
        { 31, 'S', 1 },
        { 31, 'x', 2 },
        { 31, 'y', 2 },
        // Named commands that take no parameters; the byte after them is looked at again.
        { 27, 30, 0 },
        { 27, '2', 0 },
        { 27, '@', 0 },
        { 27, 'D', 0 },
        { 27, 'K', 0 },
        { 29, 12, 0 },
        { 29, 'V', 0 },
        { 31, 'A', 0 },
        { 31, 'b', 0 },
        { 31, 'e', 0 },
        { 16, 'R', 0 },
        { 16, 4, 0 },
        { 27, 'Z', 0 },
        { 29, 'q', 0 },
        { 31, 'q', 0 },
    };

    class ParameterCount : public ::testing::TestWithParam<CountCase> { };

    TEST_P(ParameterCount, ParametersThenTheNextCommand)
    {
        const CountCase& cc = GetParam();
        for (int given = 0; given <= 3; ++given) {
            Capture c;
            std::string bytes { static_cast<char>(cc.first), cc.second };
            bytes += std::string(static_cast<std::size_t>(given), '\n');
            bytes += '\n';
            c.feed(bytes);
            // Each LF past the parameters is a command: counted and described.
            const int lfCommands = given + 1 - std::min(given + 1, cc.parameterBytes);
            EXPECT_EQ(c.state().commandCount, 1 + lfCommands)
                << "first " << cc.first << " second " << int(cc.second) << " followed by " << given
                << " LF as parameters";
        }
    }

    INSTANTIATE_TEST_SUITE_P(Documented, ParameterCount, ::testing::ValuesIn(kDocumentedCounts));

    TEST(ParameterCount, EveryUnlistedPairTakesNothing)
    {
        int listed = 0;
        for (int first : { 16, 27, 29, 31 }) {
            for (int second = 0; second < 256; ++second) {
                const int count = ParameterCountFor(first, second);
                const bool documented = std::any_of(std::begin(kDocumentedCounts),
                    std::end(kDocumentedCounts),
                    [&](const CountCase& cc) { return cc.first == first && cc.second == second; });
                if (count != 0)
                    ++listed;
                if (!documented) {
                    EXPECT_EQ(count, first == 31 && second == '*' ? 2 : 0)
                        << first << " " << second;
                }
            }
        }
        EXPECT_EQ(listed, 28);
    }

    struct BitImageCase {
        const char* name;
        std::string bytes;
        int pendingAfter;
        int commandCount;
    };

    class BitImage : public ::testing::TestWithParam<BitImageCase> { };

    TEST_P(BitImage, CountBytesAnnounceTheData)
    {
        Capture c;
        c.feed(GetParam().bytes);
        EXPECT_EQ(c.state().paramBytesPending, GetParam().pendingAfter);
        EXPECT_EQ(c.state().commandCount, GetParam().commandCount);
    }

    INSTANTIATE_TEST_SUITE_P(Framing, BitImage,
        ::testing::Values(BitImageCase { "OneZeroAnnounces256", Bytes("1F 2A 01 00"), 256, 1 },
            BitImageCase { "ZeroZeroEndsWithTheCounts", Bytes("1F 2A 00 00"), 0, 1 },
            BitImageCase { "ZeroZeroThenCommand", Bytes("1F 2A 00 00 0A"), 0, 2 },
            BitImageCase { "CommandsInsideImageAreData", Bytes("1F 2A 00 03 1B 40 0A"), 0, 1 },
            BitImageCase {
                "AfterTheImageCommandsCountAgain", Bytes("1F 2A 00 03 1B 40 0A 0A"), 0, 2 },
            BitImageCase { "HighCountByteKeepsItsFullValue", Bytes("1F 2A 80 00"), 32768, 1 },
            BitImageCase { "LargestLength", Bytes("1F 2A FF FF"), 65535, 1 },
            BitImageCase { "UsCNoDataLength", Bytes("1F 43 01 00 0A"), 0, 2 },
            BitImageCase { "UsXNoDataLength", Bytes("1F 78 01 00 0A"), 0, 2 },
            BitImageCase { "EscKThenDataByte", Bytes("1B 4B 05"), 0, 1 },
            BitImageCase { "EscBitImageTakesThree", Bytes("1B 2A 0A 0A 0A"), 0, 1 },
            BitImageCase { "DleRTakesNothing", Bytes("10 52 0A"), 0, 2 }),
        [](const auto& info) { return std::string(info.param.name); });

    TEST(BitImage, LongImageSaturatesCommandByteIndexAtTheLastElement)
    {
        Capture c;
        c.feed(Bytes("1F 2A 10 00") + std::string(4096, '\x1b'));
        const CaptureState& s = c.state();
        EXPECT_EQ(s.paramBytesPending, 0);
        EXPECT_EQ(s.commandByteIndex, 1000);
        EXPECT_EQ(s.commandBytes[999], 27);
        EXPECT_EQ(s.commandBytes[1000], 0);
        EXPECT_EQ(s.commandBytes[0], 0);
        EXPECT_EQ(s.commandCount, 1) << "the image's ESC bytes are data";
        c.feed(Bytes("0A"));
        EXPECT_EQ(c.state().commandCount, 2);
        EXPECT_EQ(c.state().commandByteIndex, 2);
    }

} // namespace
} // namespace ostrel::test
