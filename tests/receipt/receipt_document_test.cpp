// The Qt-free document a receipt viewer reads: bytes read a slice at a time
// make the same paper as read at once, a flood starts it again from the
// newest part, and the margin's labels never cover each other.

#include "receipt/marker_margin.h"
#include "receipt/receipt_document.h"

#include "tests/receipt/job_bytes.h"

#include <gtest/gtest.h>

namespace ostrel::test {
namespace {

    using namespace receipt;

    const std::string kJob = Bytes({ ESC, '@' }) + "one\n"
        + Bytes({ ESC, 'p', 0, 9, 9, 0x1B, 0x7F }) + "two\n" + Bytes({ GS, 'V', 0 }) + "three\n";

    TEST(ReceiptDocument, ReadsInSlicesAsAtOnceAndAnswersPlaces)
    {
        EstimatedSymbolGeometry geometry;
        for (std::size_t slice : { 1u, 3u, 1000u }) {
            ReceiptDocument document(geometry);
            document.arrive(kJob.substr(0, 10));
            document.arrive(kJob.substr(10));
            std::size_t reads = 0;
            while (document.readSome(slice))
                ++reads;
            EXPECT_FALSE(document.waiting());
            EXPECT_EQ(reads + 1, (kJob.size() + slice - 1) / slice) << slice;
            ASSERT_EQ(document.receipts().size(), 2u);
            EXPECT_EQ(document.newestShown(), 1);
            const Receipt& first = document.receipts()[0];
            const int text = document.commandAt(0, 1, 1);
            ASSERT_GE(text, 0);
            EXPECT_EQ(first.commands[text].kind, "Text");
            const DotRect place = document.placeOf(0, text);
            EXPECT_TRUE(place.contains(1, 1));
            EXPECT_EQ(document.commandAt(0, 575, 1), -1);
        }
    }

    TEST(ReceiptDocument, AFloodStartsAgainFromTheNewestPart)
    {
        EstimatedSymbolGeometry geometry;
        ReceiptDocument document(geometry);
        document.arrive("old\n");
        document.arrive(std::string(ReceiptDocument::kHistoryKept, 'x'));
        EXPECT_EQ(document.restarts(), 1);
        EXPECT_TRUE(document.historyCut());
        document.readAll();
        document.clear();
        EXPECT_TRUE(document.nothingPrinted());
        EXPECT_FALSE(document.historyCut());
    }

    TEST(MarginLabels, StackTopToBottomWithoutCoveringEachOther)
    {
        EstimatedSymbolGeometry geometry;
        ReceiptPrinter printer(geometry);
        // Three markers on one line, and a cut right under it.
        printer.feed("a" + Bytes({ 0x1B, 0x7F, ESC, 'p', 0, 9, 9, 0x1B, 0x7E }) + "\n"
            + Bytes({ GS, 'V', 0 }));
        const auto labels = MarginLabels(printer.receipts().front(), 21, 8);
        ASSERT_EQ(labels.size(), 4u);
        for (std::size_t i = 1; i < labels.size(); ++i) {
            EXPECT_GE(labels[i].y, labels[i - 1].y + 21);
            EXPECT_GE(labels[i].anchor, labels[i - 1].anchor);
        }
        for (const auto& label : labels)
            EXPECT_LE(label.text.size(), 8u);
    }

} // namespace
} // namespace ostrel::test
