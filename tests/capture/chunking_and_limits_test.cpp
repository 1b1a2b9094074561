// Where chunks are cut must not matter, every byte value must go through, and
// the capture must stay bounded however long it runs.

#include "tests/capture/capture_fixture.h"

#include <gtest/gtest.h>

namespace ostrel::test {
namespace {

    using Strings = std::vector<std::string>;

    // Text, commands with parameters, a US "*" image holding command bytes and a
    // DLE "R" pair, three status requests and arbitrary bytes.
    std::string MixedStream()
    {
        return Bytes("1B 40") + "Total 12.50" + Bytes("0D 0A 1B 21 08 1D 6B 02 07")
            + Bytes("1F 2A 00 06 10 52 1B 40 0A 00 10 52") + "cut" + Bytes("1D 56 10 52 FF 00 80")
            + Bytes("10 52 1F 43 01 02 0C 41 09");
    }

    TEST(Chunking, EveryCutPointGivesTheSameCapture)
    {
        const std::string stream = MixedStream();
        Capture whole;
        whole.feed(stream);
        // GS "V" takes no parameter, so the DLE "R" after it is a request too.
        ASSERT_EQ(whole.replies.size(), 3u) << "three requests outside the image";
        const Snapshot expected = Take(whole);
        for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
            for (std::size_t cut2 = cut; cut2 <= stream.size(); cut2 += 3) {
                Capture split;
                split.feed(stream.substr(0, cut));
                split.feed(stream.substr(cut, cut2 - cut));
                split.feed(stream.substr(cut2));
                ASSERT_EQ(Take(split), expected) << "cut at " << cut << " and " << cut2;
            }
        }
        Capture bytewise;
        bytewise.feedBytewise(stream);
        EXPECT_EQ(Take(bytewise), expected);
    }

    TEST(ByteValues, EachValueAloneAfterStartUp)
    {
        for (int value = 0; value < 256; ++value) {
            SCOPED_TRACE(value);
            Capture c;
            const char b = static_cast<char>(value);
            c.feed(std::string(1, b));
            const char* digits = "0123456789ABCDEF";
            const std::string hex { digits[value >> 4], digits[value & 15] };
            EXPECT_EQ(Lines(c.ascii), Strings { std::string(1, b) });
            EXPECT_EQ(Lines(c.hex), Strings { hex });
            EXPECT_EQ(c.state().captureBuffer[1], value);
            EXPECT_EQ(c.byteCount.text(), "Bytes Received = 1");
            const bool single
                = value == 7 || value == 9 || value == 10 || value == 12 || value == 13;
            const bool prefix = value == 16 || value == 27 || value == 29 || value == 31;
            EXPECT_EQ(c.state().commandCount, single || prefix ? 1 : 0);
            EXPECT_EQ(c.state().paramBytesPending, prefix ? 1 : 0);
            if (single)
                EXPECT_EQ(Lines(c.log).size(), 2u);
            else if (prefix)
                EXPECT_EQ(Lines(c.log), Strings { hex });
            else
                EXPECT_EQ(Lines(c.log), Strings { " " + hex });
        }
    }

    TEST(ByteValues, EachValueInsideParameterDataIsData)
    {
        for (int value = 0; value < 256; ++value) {
            SCOPED_TRACE(value);
            Capture c;
            c.feed(Bytes("1B 2A") + std::string(3, static_cast<char>(value)));
            EXPECT_EQ(c.state().commandCount, 1);
            EXPECT_EQ(c.state().paramBytesPending, 0);
            EXPECT_TRUE(c.replies.empty());
            const char* digits = "0123456789ABCDEF";
            const std::string h = std::string(" ") + digits[value >> 4] + digits[value & 15];
            EXPECT_EQ(c.log.line(1), h + h + h);
        }
    }

    TEST(Limits, EveryViewKeepsAtMost1000LinesAndItsFirstLine)
    {
        Capture c;
        // 8 bytes a data row and 16 a log line: 16,000 bytes give 2000 rows.
        std::string stream;
        for (int i = 0; i < 16000; ++i)
            stream += static_cast<char>('A' + i % 26);
        c.feed(stream);
        EXPECT_EQ(c.ascii.lineCount(), 1000);
        EXPECT_EQ(c.hex.lineCount(), 1000);
        EXPECT_EQ(c.log.lineCount(), 1000);
        EXPECT_EQ(c.ascii.line(0), "ABCDEFGH") << "line 0 is never the one removed";
        EXPECT_EQ(c.ascii.line(1), stream.substr(8 * 1001, 8));
        EXPECT_EQ(c.ascii.line(999), stream.substr(stream.size() - 8));
        EXPECT_EQ(c.ascii.currentIndex(), 999);
        EXPECT_EQ(c.log.currentIndex(), 999);
        EXPECT_EQ(c.log.line(999), " ") << "16,000 bytes end a log line exactly";
    }

    TEST(Limits, The1001stLineRemovesLineOne)
    {
        Capture c;
        std::string stream;
        for (int row = 0; row < 1000; ++row)
            stream += "row" + std::string(1, static_cast<char>('0' + row % 10)) + "....";
        c.feed(stream);
        ASSERT_EQ(c.ascii.lineCount(), 1000);
        const std::string second = c.ascii.line(2);
        c.feed("NEW");
        EXPECT_EQ(c.ascii.lineCount(), 1000);
        EXPECT_EQ(c.ascii.line(0), "row0....");
        EXPECT_EQ(c.ascii.line(1), second);
        EXPECT_EQ(c.ascii.line(999), "NEW");
    }

    TEST(Limits, RawCaptureSaturatesAtElement10000)
    {
        Capture c;
        std::string stream;
        for (int i = 0; i < 10005; ++i)
            stream += static_cast<char>(i % 251);
        c.feed(stream.substr(0, 9998));
        EXPECT_EQ(c.byteCount.text(), "Bytes Received = 9998");
        c.feed(stream.substr(9998, 1));
        EXPECT_EQ(c.byteCount.text(), "Bytes Received = 9999");
        c.feed(stream.substr(9999));
        EXPECT_EQ(c.byteCount.text(), "Bytes Received = 9999");
        const CaptureState& s = c.state();
        EXPECT_EQ(s.captureIndex, 10000);
        EXPECT_EQ(s.captureBuffer[9999], static_cast<std::uint8_t>(stream[9998]));
        EXPECT_EQ(s.captureBuffer[10000], static_cast<std::uint8_t>(stream.back()));
        EXPECT_EQ(s.captureBuffer[0], 0);
    }

    TEST(Limits, ChunkLongerThan32766BytesIsProcessedWhole)
    {
        Capture whole, pieces;
        const std::string stream = std::string(40000, 'x') + Bytes("1B 40 0A");
        whole.feed(stream);
        pieces.feed(stream.substr(0, 32766));
        pieces.feed(stream.substr(32766));
        EXPECT_EQ(Take(whole), Take(pieces));
        EXPECT_EQ(whole.state().commandCount, 2);
    }

} // namespace
} // namespace ostrel::test
