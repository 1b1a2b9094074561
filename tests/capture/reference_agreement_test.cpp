// The engine against the byte-by-byte reference: random print streams, random
// chunk sizes, Clear All and the user's selection at random points.

#include "tests/capture/capture_fixture.h"
#include "tests/capture/reference_pipeline.h"

#include <gtest/gtest.h>

namespace ostrel::test {
namespace {

    TEST(ReferenceAgreement, RandomStreamsChunksClearAllAndSelections)
    {
        std::mt19937 random(20261207);
        for (int round = 0; round < 300; ++round) {
            SCOPED_TRACE(round);
            Capture engine;
            engine.status = FixedStatusControls(0x5A, 0xA5);
            ReferenceCapture reference;
            reference.status = FixedStatusControls(0x5A, 0xA5);
            const std::string stream = RandomStream(random, 1 + random() % 3000);
            for (std::size_t at = 0; at < stream.size();) {
                const std::size_t chunk = 1 + random() % 80;
                const std::string piece = stream.substr(at, chunk);
                engine.feed(piece);
                reference.pipeline.UpdateData(piece);
                at += chunk;
                const unsigned event = random() % 40;
                if (event == 0) {
                    engine.session.ClearAll();
                    reference.pipeline.ClearCapture();
                } else if (event < 4) {
                    // The user picks a line, or (ctrl-click) none, in one view.
                    LineView* views[][2] = { { &engine.ascii, &reference.ascii },
                        { &engine.hex, &reference.hex }, { &engine.log, &reference.log } };
                    auto& pair = views[random() % 3];
                    const int line = static_cast<int>(random() % (pair[0]->lineCount() + 1)) - 1;
                    pair[0]->setCurrentIndex(line);
                    pair[1]->setCurrentIndex(line);
                }
                ASSERT_EQ(Take(engine), Take(reference)) << "after byte " << at;
            }
        }
    }

    TEST(ReferenceAgreement, LongRunsOfEveryKind)
    {
        // Long images, long data runs and full views, in chunks of every size.
        const std::string stream = Bytes("1F 2A 07 00") + std::string(1800, '\x1b')
            + std::string(9000, 'A') + Bytes("1B 2A 01 02 03") + std::string(17, '\x10');
        for (std::size_t chunk : { 1u, 7u, 16u, 48u, 1000u, 20000u }) {
            SCOPED_TRACE(chunk);
            Capture engine;
            ReferenceCapture reference;
            reference.status = FixedStatusControls(0, 8);
            for (std::size_t at = 0; at < stream.size(); at += chunk) {
                engine.feed(stream.substr(at, chunk));
                reference.pipeline.UpdateData(stream.substr(at, chunk));
            }
            EXPECT_EQ(Take(engine), Take(reference));
        }
    }

} // namespace
} // namespace ostrel::test

namespace ostrel::test {
namespace {

    // Status requests are answered ahead of the chunk; these are the places where
    // whether one is answered at all depends on the command log being empty.
    TEST(AnsweredAhead, ClearAllAtEveryPointOfAShortJob)
    {
        const std::string job = Bytes("41 1B 21 08 10 52 42 1F 2A 00 02 10 52 10 52 0A 10 52");
        for (std::size_t cut = 0; cut <= job.size(); ++cut) {
            for (std::size_t lead = 0; lead < 8; ++lead) {
                SCOPED_TRACE(::testing::Message() << "lead " << lead << " cut " << cut);
                Capture engine;
                ReferenceCapture reference;
                const std::string before = std::string(lead, 'x') + job.substr(0, cut);
                engine.feed(before);
                reference.pipeline.UpdateData(before);
                engine.session.ClearAll();
                reference.pipeline.ClearCapture();
                engine.feed(job.substr(cut));
                reference.pipeline.UpdateData(job.substr(cut));
                EXPECT_EQ(engine.replies, reference.replies);
            }
        }
    }

} // namespace
} // namespace ostrel::test
