// Requests answered on a receiving thread, in an inbox, ahead of the session:
// the same replies as the byte-by-byte reference, whenever the session takes
// the bytes and whatever else changes the capture meanwhile.

#include "tests/capture/capture_fixture.h"
#include "tests/capture/reference_pipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace ostrel::test {
namespace {

    // Records the replies sent to it in `sent`.
    struct RecordingSource : ByteSource {
        explicit RecordingSource(std::string& sent)
            : sent_(sent)
        {
        }
        std::string sourceName() const override { return "test"; }
        void sendReply(std::string_view bytes) override { sent_ += bytes; }
        // Off, as on the serial port at start-up, unless a test turns it on.
        bool realTimeReplies() const override { return realTime; }
        bool network() const override { return onNetwork; }
        std::string& sent_;
        bool realTime = false;
        bool onNetwork = false;
    };

    // A capture whose bytes arrive through the inbox, as from a port's own thread.
    struct InboxCapture : Capture {
        // What the receiving side does with a chunk: keep it, send the replies.
        void receive(std::string_view chunk) { sent += inbox.receive(&port, chunk).replies; }

        std::string sent; // by the inbox and by the other source, in order
        RecordingSource port { sent };
        RecordingSource peer { sent };
        ArrivalInbox& inbox = session.inbox();
    };

    std::string Joined(const std::vector<std::string>& parts)
    {
        std::string all;
        for (const std::string& part : parts)
            all += part;
        return all;
    }

    TEST(ArrivalInbox, AnswersAsTheReferenceWhenTheSessionLagsAndTheCaptureChanges)
    {
        std::mt19937 random(71207);
        for (int round = 0; round < 300; ++round) {
            SCOPED_TRACE(round);
            InboxCapture capture;
            ReferenceCapture reference;
            const std::string job = RandomStream(random, 1 + random() % 1500);
            for (std::size_t at = 0; at < job.size();) {
                const std::string piece = job.substr(at, 1 + random() % 60);
                at += piece.size();
                const unsigned event = random() % 12;
                // Mostly from the port; now and then from another source (a
                // network peer), which the session takes after what waits.
                if (event == 0)
                    capture.session.UpdateData(piece, &capture.peer);
                else
                    capture.receive(piece);
                reference.pipeline.UpdateData(piece);
                if (event == 1) {
                    capture.session.ClearAll();
                    reference.pipeline.ClearCapture();
                } else if (event < 5) {
                    capture.session.takeArrived(); // otherwise the session lags
                }
            }
            capture.session.takeArrived();
            ASSERT_EQ(capture.sent, Joined(reference.replies));
            ASSERT_EQ(Take(capture), Take(reference));
        }
    }

    TEST(ArrivalInbox, AnswersAJobCutAtEveryPointAfterAClearAll)
    {
        // Whether a request is answered at all depends on the log being empty,
        // which Clear All makes it again.
        const std::string job = Bytes("41 1B 21 08 10 52 42 1F 2A 00 02 10 52 10 52 0A 10 52");
        for (std::size_t cut = 0; cut <= job.size(); ++cut) {
            for (std::size_t lead : { 0u, 3u, 7u }) {
                SCOPED_TRACE(::testing::Message() << "lead " << lead << " cut " << cut);
                InboxCapture capture;
                ReferenceCapture reference;
                const std::string before = std::string(lead, 'x') + job.substr(0, cut);
                capture.receive(before);
                reference.pipeline.UpdateData(before);
                capture.session.ClearAll();
                reference.pipeline.ClearCapture();
                for (char byte : job.substr(cut))
                    capture.receive(std::string(1, byte));
                reference.pipeline.UpdateData(job.substr(cut));
                EXPECT_EQ(capture.sent, Joined(reference.replies));
                capture.session.takeArrived();
                EXPECT_EQ(Take(capture), Take(reference));
            }
        }
    }

    TEST(ArrivalInbox, RepliesCarryTheStatusLastPublished)
    {
        InboxCapture capture;
        capture.receive(Bytes("10 52"));
        capture.status = FixedStatusControls(0x12, 0x34);
        capture.receive(Bytes("10 52"));
        capture.session.statusControlsChanged();
        capture.receive(Bytes("10 52"));
        capture.status = FixedStatusControls(0xFF, 0xFF, /*enabled=*/false);
        capture.session.statusControlsChanged();
        capture.receive(Bytes("10 52"));
        EXPECT_EQ(capture.sent, Bytes("10 52 00 08  10 52 00 08  10 52 12 34"))
            << "the boxes reach the inbox when the window says they changed";
        const std::vector<ArrivalInbox::Arrival> arrived = capture.inbox.take();
        ASSERT_EQ(arrived.size(), 1u) << "one source's bytes wait as one";
        EXPECT_EQ(arrived[0].requests, 4) << "an unanswered request is still one";
        EXPECT_EQ(arrived[0].replies.size(), 3u);
    }

    TEST(ArrivalInbox, CallsTheSessionOnlyAfterAPause)
    {
        ArrivalInbox inbox;
        struct Step {
            const char* what;
            bool result; // callSession for receive, the answer for hangUp
        };
        const Step steps[] = {
            { "receive", true },
            { "receive", false },
            { "take", false },
            { "receive", false },
            { "hangUp", false },
            { "take", false },
            { "hangUp", true },
            { "hangUp", true },
            { "receive", true },
            { "take", false },
            { "hangUp", true },
            { "receive", true },
        };
        int index = 0;
        for (const Step& step : steps) {
            SCOPED_TRACE(::testing::Message() << "step " << index++ << " " << step.what);
            const std::string what = step.what;
            if (what == "receive")
                EXPECT_EQ(inbox.receive(nullptr, "x").callSession, step.result);
            else if (what == "hangUp")
                EXPECT_EQ(inbox.hangUp(), step.result);
            else
                inbox.take();
        }
    }

    TEST(ArrivalInbox, AThreadReceivingWhileTheSessionTakesAndClears)
    {
        // Clear All falls wherever the threads meet; the reference then clears at
        // the same byte, and every reply must match it.
        std::mt19937 random(1207);
        for (int round = 0; round < 20; ++round) {
            SCOPED_TRACE(round);
            InboxCapture capture;
            struct Counter : CaptureListener {
                void chunkTaken(std::string_view chunk, ByteSource*) override
                {
                    taken += chunk.size();
                }
                void captureCleared() override { clears.push_back(taken); }
                std::size_t taken = 0;
                std::vector<std::size_t> clears; // where each Clear All fell
            } counter;
            capture.session.addListener(counter);
            const std::string job = RandomStream(random, 20000);
            std::atomic<bool> done { false };
            std::thread port([&] {
                std::mt19937 cuts(round);
                for (std::size_t at = 0; at < job.size();) {
                    const std::string piece = job.substr(at, 1 + cuts() % 200);
                    capture.receive(piece);
                    at += piece.size();
                }
                done = true;
            });
            while (!done) {
                capture.session.takeArrived();
                if (random() % 8 == 0)
                    capture.session.ClearAll();
            }
            port.join();
            capture.session.takeArrived();
            capture.session.removeListener(counter);

            ReferenceCapture reference;
            std::size_t at = 0;
            for (std::size_t clear : counter.clears) {
                reference.pipeline.UpdateData(job.substr(at, clear - at));
                reference.pipeline.ClearCapture();
                at = clear;
            }
            reference.pipeline.UpdateData(job.substr(at));
            ASSERT_EQ(capture.sent, Joined(reference.replies));
            ASSERT_EQ(Take(capture), Take(reference));
        }
    }

    TEST(ArrivalInbox, RealTimeRequestsAnsweredInOrderAndOnlyWhereTheyAreCommands)
    {
        struct Row {
            const char* job;
            const char* replies;
            bool star = false; // a StarPRNT model's printer
            bool network = false; // the peer on TCP
        };
        // Default state: online, paper, cover closed, drawer low. Star's replies
        // as its Line mode and StarPRNT specifications lay them out: ENQ's buffer
        // empty bit, EOT's fixed bit 4, the nine-byte automatic status with its
        // length in the header and ETB's count spread over bits 1-3, 5 and 6. On
        // a network each reply is that automatic status with bit 7 of its second
        // byte set and the length of the status data after it: "01" or "02",
        // ":B", its length 1 and the byte, ";".
        const Row rows[] = {
            { "10 04 01 10 04 02 10 04 03 10 04 04", "12 12 12 12" },
            { "41 10 52 10 04 04 10 52", "10 52 00 08 12 10 52 00 08" },
            { "1D 72 01 1D 72 32 1D 49 42", "00 00 5F 4F 73 74 72 65 6C 00" },
            { "1B 2A 00 03 00 10 04 01", "" }, // inside bit image data
            { "1D 76 30 00 01 00 03 00 10 04 01", "" }, // inside raster data
            { "1D 6B 04 31 10 04 01 00", "" }, // inside barcode data
            { "1D 61 0F 1B 40 1D 61 02", "10 00 00 00 10 00 00 00" }, // ESC @ ends it; GS a again
            { "05 04 17 1B 06 01", "" }, // Star's requests, to an ESC/POS model
            { "05 04 1B 06 01", "20 10 23 06 00 00 00 00 00 00 00", true },
            { "17 17 1B 06 01 1B 06 01", "23 06 02 00 00 00 00 04 00 23 06 00 00 00 00 00 04 00",
                true },
            { "1B 1E 61 01 17 1B 1E 45 00 1B 06 01",
                "23 06 00 00 00 00 00 00 00 23 06 02 00 00 00 00 02 00 23 06 00 00 00 00 00 00 00",
                true },
            { "10 04 01 1D 72 01 1D 61 0F", "10", true }, // ESC/POS's, to a Star model: EOT alone
            { "1B 62 33 32 32 3C 05 04 1E", "", true }, // inside barcode data
            { "10 04 02 1B 06 01 1B 40", // a client that tells the two kinds of printer apart
                "23 86 00 00 00 00 00 00 00 00 08 30 32 3A 42 00 01 10 3B 23 86 00 00 00 00 00 00 "
                "00 00 00",
                true, true },
            { "05 1B 1E 61 01 17",
                "23 86 00 00 00 00 00 00 00 00 08 30 31 3A 42 00 01 20 3B 23 86 00 00 00 00 00 00 "
                "00 00 00 "
                "23 86 02 00 00 00 00 02 00 00 00",
                true, true },
            { "10 04 02 1D 61 0F", "12 10 00 00 00", false,
                true }, // ESC/POS's replies are the same on a network
        };
        for (const Row& row : rows) {
            SCOPED_TRACE(row.job);
            InboxCapture capture;
            capture.port.realTime = true;
            capture.port.onNetwork = row.network;
            if (row.star)
                capture.session.setPrinterLanguage(receipt::Language::StarPrnt);
            capture.receive(Bytes("41")); // a line in the log, so DLE R is answered
            const std::string job = Bytes(row.job);
            for (char byte : job)
                capture.receive(std::string(1, byte)); // cut at every point
            EXPECT_EQ(capture.sent, Bytes(row.replies));
            capture.port.realTime = false;
            capture.sent.clear();
            capture.receive(job);
            for (std::size_t at;
                 (at = capture.sent.find(Bytes("10 52 00 08"))) != std::string::npos;)
                capture.sent.erase(at, 4);
            EXPECT_EQ(capture.sent, "") << "only DLE R on a port that answers no real-time request";
        }
    }

    TEST(ArrivalInbox, AutomaticStatusFollowsTheStateForThePeerThatAskedForIt)
    {
        InboxCapture capture;
        capture.port.realTime = true;
        capture.session.attachSource(capture.port);
        capture.receive(Bytes("1D 61 08")); // paper sensor group only
        EXPECT_EQ(capture.sent, Bytes("10 00 00 00"));
        PrinterState state;
        state.drawerOpen = true;
        capture.session.setPrinterState(state);
        EXPECT_EQ(capture.sent, Bytes("10 00 00 00")) << "the drawer group was not asked for";
        state.paperOut = true;
        capture.session.setPrinterState(state);
        EXPECT_EQ(capture.sent, Bytes("10 00 00 00 1C 00 0C 00"));
        capture.session.detachSource(capture.port);
        state.paperOut = false;
        capture.session.setPrinterState(state);
        EXPECT_EQ(capture.sent.size(), 8u) << "a peer gone asks for nothing";
    }

    // A printer in time: GS r and Star's ETB are left for printing to reach;
    // the real-time requests beside them are answered at once, as ever.
    TEST(ArrivalInbox, RequestsThatWaitOnPrintingAreLeftToAnswerPrinted)
    {
        const struct {
            receipt::Language language;
            const char* job;
            const char* atOnce;
            RealTimeRequest printed;
            const char* afterPrinting;
        } rows[] = {
            { receipt::Language::EscPos, "1D 72 01 10 04 01", "12",
                { RealTimeRequest::Kind::TransmitStatus, 1 }, "00" },
            { receipt::Language::EscPos, "1D 72 02 10 04 04", "12",
                { RealTimeRequest::Kind::TransmitStatus, 2 }, "00" },
            { receipt::Language::StarLine, "1B 1E 61 01 17", "23 06 00 00 00 00 00 00 00",
                { RealTimeRequest::Kind::StarEtb }, "" },
        };
        for (const auto& row : rows) {
            SCOPED_TRACE(row.job);
            InboxCapture capture;
            capture.port.realTime = true;
            capture.session.setPrinterLanguage(row.language);
            capture.session.setAnswersAfterPrinting(true);
            capture.session.attachSource(capture.port);
            capture.receive(Bytes(row.job));
            EXPECT_EQ(capture.sent.substr(0, Bytes(row.atOnce).size()), Bytes(row.atOnce));
            const std::size_t before = capture.sent.size();
            capture.session.answerPrinted(capture.port, row.printed);
            if (row.language == receipt::Language::StarLine) {
                // Star's automatic status, on: it now tells of one ETB done.
                ASSERT_EQ(capture.sent.size(), before + 9);
                EXPECT_EQ(static_cast<unsigned char>(capture.sent[before + 7]) & 0x3E, 1 << 1)
                    << "ETB counter 1";
            } else {
                EXPECT_EQ(capture.sent.substr(before), Bytes(row.afterPrinting));
            }
        }
    }

} // namespace
} // namespace ostrel::test
