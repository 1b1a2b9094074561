// The status reply to DLE "R": built from the boxes at the moment of the
// request, sent before the rest of the chunk, never recorded anywhere.

#include "printer/printer_state.h"
#include "printer/status_reply.h"
#include "tests/capture/capture_fixture.h"

#include <gtest/gtest.h>

namespace ostrel::test {
namespace {

    using Strings = std::vector<std::string>;

    // Boxes given as sixteen 0/1 values; any value but 1 counts as unticked.
    class Boxes : public StatusControls {
    public:
        int enable = 1;
        int bits[8] = {};
        int bits2[8] = {};
        int enableStatusBackValue() const override { return enable; }
        int statusBitsValue(int i) const override { return bits[i]; }
        int statusBits2Value(int i) const override { return bits2[i]; }
    };

    TEST(StatusBytes, EachBoxGivesItsBit)
    {
        for (int index = 0; index < 8; ++index) {
            Boxes one;
            one.bits[index] = 1;
            EXPECT_EQ(GetStatusByte1(one), 1 << index);
            EXPECT_EQ(GetStatusByte2(one), 0);
            Boxes two;
            two.bits2[index] = 1;
            EXPECT_EQ(GetStatusByte2(two), 1 << index);
            EXPECT_EQ(GetStatusByte1(two), 0);
        }
        Boxes all;
        for (int i = 0; i < 8; ++i)
            all.bits[i] = all.bits2[i] = 1;
        EXPECT_EQ(GetStatusByte1(all), 255);
        EXPECT_EQ(GetStatusByte2(all), 255);
        Boxes grey;
        grey.bits[0] = 2; // a third state is not "ticked"
        EXPECT_EQ(GetStatusByte1(grey), 0);
    }

    struct ReplyCase {
        const char* name;
        std::uint8_t byte1, byte2;
        bool enabled;
        std::string stream;
        Strings replies;
    };

    class Reply : public ::testing::TestWithParam<ReplyCase> { };

    TEST_P(Reply, SendsExactly)
    {
        Capture c;
        c.status = FixedStatusControls(GetParam().byte1, GetParam().byte2, GetParam().enabled);
        c.feed(GetParam().stream);
        EXPECT_EQ(c.replies, GetParam().replies);
    }

    INSTANTIATE_TEST_SUITE_P(Printer, Reply,
        ::testing::Values(
            ReplyCase { "StartUpBoxes", 0, 8, true, Bytes("10 52"), { Bytes("10 52 00 08") } },
            ReplyCase { "AllTicked", 255, 255, true, Bytes("10 52"), { Bytes("10 52 FF FF") } },
            ReplyCase { "NoneTicked", 0, 0, true, Bytes("10 52"), { Bytes("10 52 00 00") } },
            ReplyCase { "DeliveryJam", 1, 0, true, Bytes("10 52"), { Bytes("10 52 01 00") } },
            ReplyCase { "LowerSpare", 128, 0, true, Bytes("10 52"), { Bytes("10 52 80 00") } },
            ReplyCase {
                "PrintHeadTemperature", 0, 64, true, Bytes("10 52"), { Bytes("10 52 00 40") } },
            ReplyCase { "StatusReturnOff", 0, 8, false, Bytes("10 52"), {} },
            ReplyCase { "TwoRequestsInOrder", 0, 8, true, Bytes("10 52 41 10 52"),
                { Bytes("10 52 00 08"), Bytes("10 52 00 08") } },
            ReplyCase { "EscRIsNoRequest", 0, 8, true, Bytes("1B 52 00"), {} },
            ReplyCase { "OtherDleIsNoRequest", 0, 8, true, Bytes("10 04"), {} },
            ReplyCase { "RequestInsideImageData", 0, 8, true, Bytes("1F 2A 00 02 10 52"), {} },
            ReplyCase { "RequestAsParameter", 0, 8, true, Bytes("1B 21 10 52"), {} }),
        [](const auto& info) { return std::string(info.param.name); });

    TEST(Reply, LogLineReadsTheSameWhetherOrNotAReplyWent)
    {
        Capture on, off;
        off.status = FixedStatusControls(0, 8, false);
        on.feed(Bytes("10 52"));
        off.feed(Bytes("10 52"));
        EXPECT_EQ(Lines(on.log), Lines(off.log));
        EXPECT_EQ(on.log.line(0), Described("10 52", "DLE: Status Request."));
    }

    TEST(Reply, NeverEntersTheCaptureViewsOrCounters)
    {
        Capture c;
        c.feed(Bytes("10 52"));
        ASSERT_EQ(c.replies.size(), 1u);
        EXPECT_EQ(c.byteCount.text(), "Bytes Received = 2");
        EXPECT_EQ(c.commandCount.text(), "Command Count = 1");
        EXPECT_EQ(Lines(c.hex), Strings { "10 52" });
        EXPECT_EQ(c.state().captureIndex, 3);
    }

    TEST(Reply, ARequestRightAfterClearAllMidRowIsListedAndAnswered)
    {
        Capture c;
        c.feed("A"); // mid-row, so Clear All leaves the log without lines
        c.session.ClearAll();
        c.feed(Bytes("10 52"));
        EXPECT_EQ(c.replies, Strings { Bytes("10 52 00 08") });
        EXPECT_EQ(Lines(c.log), (Strings { Described("10 52", "DLE: Status Request."), " " }));
    }

    // The boxes are read when each request arrives: a reply step that cached them
    // would answer the second request with the first one's bytes.
    class CountingOutput : public ReplyOutput {
    public:
        explicit CountingOutput(Boxes& boxes)
            : boxes_(boxes)
        {
        }
        void Output(std::string_view bytes) override
        {
            sent.emplace_back(bytes);
            boxes_.bits[0] = 1; // the user ticks "Delivery Jam" after the first reply
        }
        Strings sent;

    private:
        Boxes& boxes_;
    };

    TEST(Reply, BoxesAreReadAtEveryRequest)
    {
        Boxes boxes;
        CountingOutput output(boxes);
        SendStatusReply(boxes, output);
        SendStatusReply(boxes, output);
        EXPECT_EQ(output.sent, (Strings { Bytes("10 52 00 00"), Bytes("10 52 01 00") }));
    }

    // Written from the command reference's bit layouts: DLE EOT 1-4 always have
    // bits 1 and 4 set; GS r gives the paper sensor's two bit pairs and the
    // drawer pin; automatic status byte 1 has bit 4 set.
    TEST(PrinterState, RepliesByTheStandardBitLayouts)
    {
        struct Row {
            const char* state;
            const char* dleEot1to4;
            const char* gsR1and2;
            const char* automatic;
        };
        const Row rows[] = {
            { "", "12 12 12 12", "00 00", "10 00 00 00" },
            { "paper-near-end", "12 12 12 1E", "03 00", "10 00 03 00" },
            { "paper-out", "1A 32 12 72", "0C 00", "18 00 0C 00" },
            { "paper-near-end,paper-out", "1A 32 12 7E", "0F 00", "18 00 0F 00" },
            { "cover-open", "1A 16 12 12", "00 00", "38 00 00 00" },
            { "offline", "1A 12 12 12", "00 00", "18 00 00 00" },
            { "drawer-open", "16 12 12 12", "00 01", "14 00 00 00" },
            { "error", "3A 52 16 12", "00 00", "18 04 00 00" },
            { "unrecoverable-error", "1A 52 32 12", "00 00", "18 20 00 00" },
            { "cutter-error", "1A 52 1A 12", "00 00", "18 08 00 00" },
            { "feed-button", "5A 1A 12 12", "00 00", "58 00 00 00" },
        };
        for (const Row& row : rows) {
            SCOPED_TRACE(row.state);
            PrinterState state;
            std::string error;
            ASSERT_TRUE(ParsePrinterState(row.state, state, error)) << error;
            EXPECT_EQ(PrinterStateList(state), row.state);
            std::string realTime, transmitted;
            for (int n = 1; n <= 4; ++n)
                realTime += static_cast<char>(RealTimeStatus(state, n));
            for (int n : { 1, 2 })
                transmitted += static_cast<char>(TransmittedStatus(state, n));
            EXPECT_EQ(realTime, Bytes(row.dleEot1to4));
            EXPECT_EQ(transmitted, Bytes(row.gsR1and2));
            EXPECT_EQ(AutomaticStatus(state), Bytes(row.automatic));
        }
        PrinterState state;
        std::string error;
        EXPECT_FALSE(ParsePrinterState("paper-out,jammed", state, error));
        EXPECT_NE(error.find("\"jammed\""), std::string::npos) << error;
        // GS I 66 and 67: the maker and model of the printer model chosen.
        state.maker = "Citizen";
        state.model = "CT-S310II";
        EXPECT_EQ(PrinterIdReply(66, state), std::string("_Citizen") + '\0');
        EXPECT_EQ(PrinterIdReply(67, state), std::string("_CT-S310II") + '\0');
        EXPECT_EQ(PrinterIdReply(67), std::string("_Ostrel Serial Print Command Capture") + '\0');
    }

} // namespace
} // namespace ostrel::test
