// The rendered paper, dot for dot: images land exactly, text has ink in its
// cells and none outside, PNG and PDF come out as asked.

#include "receipt/receipt_printer.h"
#include "render/receipt_renderer.h"
#include "render/symbol_encoder.h"
#include "tests/receipt/job_bytes.h"

#include <QBuffer>
#include <QFile>

#include <gtest/gtest.h>

namespace ostrel::test {
namespace {

    using receipt::ReceiptPrinter;

    // A pattern no shift or mirror keeps: dot (x, y) is black when x*y+x is a
    // multiple of 3, within a 16 x 24 block.
    bool PatternDot(int x, int y) { return (x * y + x) % 3 == 0; }

    std::string ColumnBytes24(int columns)
    {
        std::string data;
        for (int x = 0; x < columns; ++x)
            for (int band = 0; band < 3; ++band) {
                int byte = 0;
                for (int bit = 0; bit < 8; ++bit)
                    if (PatternDot(x, band * 8 + bit))
                        byte |= 0x80 >> bit;
                data += static_cast<char>(byte);
            }
        return data;
    }

    std::string RasterBytes(int widthBytes, int height)
    {
        std::string data;
        for (int y = 0; y < height; ++y)
            for (int xb = 0; xb < widthBytes; ++xb) {
                int byte = 0;
                for (int bit = 0; bit < 8; ++bit)
                    if (PatternDot(xb * 8 + bit, y))
                        byte |= 0x80 >> bit;
                data += static_cast<char>(byte);
            }
        return data;
    }

    QImage Render(const std::string& job)
    {
        render::ZintSymbolGeometry geometry;
        ReceiptPrinter printer(geometry);
        printer.feed(job);
        render::ReceiptRenderer renderer;
        return renderer.render(printer.receipts().back(), printer.paperWidth(), { false });
    }

    // Every dot of the 16 x 24 pattern at (left, top), and white around it.
    void ExpectPatternAt(const QImage& paper, int left, int top, int scaleX = 1, int scaleY = 1)
    {
        ASSERT_GE(paper.height(), top + 24 * scaleY);
        for (int y = 0; y < 24 * scaleY; ++y)
            for (int x = 0; x < 16 * scaleX; ++x)
                ASSERT_EQ(
                    paper.pixelIndex(left + x, top + y), PatternDot(x / scaleX, y / scaleY) ? 1 : 0)
                    << "dot " << x << "," << y;
        for (int y = 0; y < 24 * scaleY; ++y) {
            if (left > 0) {
                EXPECT_EQ(paper.pixelIndex(left - 1, top + y), 0);
            }
            if (left + 16 * scaleX < paper.width()) {
                EXPECT_EQ(paper.pixelIndex(left + 16 * scaleX, top + y), 0);
            }
        }
    }

    TEST(PaperImage, BitImageOf24DotColumnsLandsDotForDot)
    {
        QImage paper = Render(
            Bytes({ ESC, '@', ESC, '$', 40, 0, ESC, '*', 33, 16, 0 }) + ColumnBytes24(16) + "\n");
        ExpectPatternAt(paper, 40, 0);
    }

    TEST(PaperImage, SingleDensityBitImageDoublesEveryColumn)
    {
        QImage paper = Render(
            Bytes({ ESC, '@', ESC, '3', 24, ESC, '*', 32, 16, 0 }) + ColumnBytes24(16) + "\n");
        ExpectPatternAt(paper, 0, 0, 2, 1);
    }

    TEST(PaperImage, RasterImageLandsDotForDotAndScales)
    {
        for (int m : { 0, 1, 2, 3, 48, 51 }) {
            const int scaleX = (m & 1) ? 2 : 1, scaleY = (m & 2) ? 2 : 1;
            QImage paper = Render(Bytes({ ESC, '@', GS, 'L', 24, 0, GS, 'v', '0', m, 2, 0, 24, 0 })
                + RasterBytes(2, 24));
            SCOPED_TRACE(m);
            ExpectPatternAt(paper, 24, 0, scaleX, scaleY);
        }
    }

    TEST(PaperImage, StoredGraphicsLandDotForDotAligned)
    {
        const std::string store
            = Graphics(112, Bytes({ 48, 1, 1, 49, 16, 0, 24, 0 }) + RasterBytes(2, 24));
        QImage paper = Render(Bytes({ ESC, '@', ESC, 'a', 2 }) + store + Graphics(50, ""));
        ExpectPatternAt(paper, 576 - 16, 0);
    }

    // Upside down, the line turned half a turn is the same line printed upright,
    // whatever its alignment: the paper turned back reads right.
    TEST(PaperImage, UpsideDownLineTurnedBackReadsAsPrintedUpright)
    {
        for (char align : { '0', '1', '2' }) {
            const std::string line
                = Bytes({ ESC, '3', 24, ESC, 'a', static_cast<unsigned char>(align), ESC, 'E', 1 })
                + "CAFE" + Bytes({ ESC, 'E', 0, ESC, '-', 1 }) + " OSTREL"
                + Bytes({ ESC, '*', 33, 16, 0 }) + ColumnBytes24(16) + "\n";
            const QImage upright = Render(line);
            const QImage turned = Render(Bytes({ ESC, '{', 1 }) + line);
            ASSERT_EQ(turned.size(), upright.size());
            EXPECT_EQ(turned.mirrored(true, true).convertToFormat(QImage::Format_Mono),
                upright.convertToFormat(QImage::Format_Mono))
                << "ESC a " << align;
        }
    }

    // The line pieces of the Katakana page, which receipt designers draw table
    // rules with, meet from cell to cell: a rule is one unbroken line, and a
    // column rule runs down through lines set 24 dots apart.
    TEST(PaperImage, RulesOfLinePiecesAreUnbroken)
    {
        const QImage paper
            = Render(Bytes({ ESC, '3', 24, ESC, 't', 1, 0x98 }) + std::string(10, '\x95')
                + Bytes({ 0x99, '\n', 0x96 }) + std::string(10, ' ') + Bytes({ 0x96, '\n' }));
        const auto unbrokenRow = [&](int from, int to) {
            for (int y = 0; y < 24; ++y) {
                int x = from;
                while (x < to && paper.pixelIndex(x, y) == 1)
                    ++x;
                if (x == to)
                    return true;
            }
            return false;
        };
        EXPECT_TRUE(unbrokenRow(12, 12 * 11)) << "the rule";
        const auto unbrokenColumn = [&](int x0) {
            for (int x = x0; x < x0 + 12; ++x) {
                int y = 12;
                while (y < 48 && paper.pixelIndex(x, y) == 1)
                    ++y;
                if (y == 48)
                    return true;
            }
            return false;
        };
        EXPECT_TRUE(unbrokenColumn(0)) << "the left side";
        EXPECT_TRUE(unbrokenColumn(12 * 11)) << "the right side";
    }

    TEST(PaperImage, TextInksItsCellsOnly)
    {
        QImage paper = Render(Bytes({ ESC, '@' }) + "HHHH\n" + Bytes({ GS, '!', 0x11 }) + "H\n");
        auto inkIn = [&](int left, int top, int width, int height) {
            int ink = 0;
            for (int y = top; y < top + height; ++y)
                for (int x = left; x < left + width; ++x)
                    ink += paper.pixelIndex(x, y);
            return ink;
        };
        for (int i = 0; i < 4; ++i)
            EXPECT_GT(inkIn(i * 12, 0, 12, 24), 20) << "character " << i;
        EXPECT_EQ(inkIn(48, 0, 576 - 48, 30), 0);
        // Double size: four times the ink of the same letter, in a 24 x 48 cell.
        EXPECT_EQ(inkIn(0, 30, 24, 48), 4 * inkIn(0, 0, 12, 24));
        EXPECT_EQ(inkIn(24, 30, 552, 48), 0);
    }

    // Markers are labelled beside the paper: with them, the paper is dot for dot
    // what it is without them, and their labels are in the margin.
    TEST(PaperImage, MarkersNeverCoverThePrint)
    {
        render::ZintSymbolGeometry geometry;
        ReceiptPrinter printer(geometry);
        printer.feed(Bytes({ ESC, '4', 1 }) + "Cash in drawer"
            + Bytes({ ESC, 'p', 0, 50, 50, ESC, '5' }) + " 100.00\n"
            + Bytes({ ESC, 'a', 2, 0x1B, 0x7F }) + "right\n" + Bytes({ GS, 'V', 66, 0 }));
        render::ReceiptRenderer renderer;
        const auto& receipt = printer.receipts().front();
        const QImage paper = renderer.render(receipt, 576);
        const QImage marked = renderer.render(receipt, 576, { .markers = true });
        ASSERT_EQ(marked.width(), 576 + render::kMarginWidth);
        EXPECT_EQ(marked.copy(0, 0, 576, paper.height()), paper);
        int labelInk = 0;
        for (int y = 0; y < marked.height(); ++y)
            for (int x = 576 + 16; x < marked.width(); ++x)
                labelInk += marked.pixelIndex(x, y);
        EXPECT_GT(labelInk, 4 * 50) << "four labels";
    }

    // However long the paper, no image is taller than a sheet, and the sheets
    // together are the whole paper.
    TEST(PaperImage, LongPaperIsCutIntoSheets)
    {
        render::ZintSymbolGeometry geometry;
        ReceiptPrinter printer(geometry);
        std::string feeds = "top\n";
        for (int i = 0; i < 20; ++i)
            feeds += Bytes({ ESC, 'J', 255 }); // 5100 rows
        printer.feed(feeds + "mid\n" + feeds + feeds + feeds + "end\n" + Bytes({ GS, 'V', 0 }));
        auto receipts = render::ReceiptsWithContent(printer.receipts());
        render::ReceiptRenderer renderer;
        std::vector<render::EncodedFile> files;
        QString error;
        for (const char* name : { "long.png", "long-%d.png" }) {
            ASSERT_TRUE(renderer.encode(receipts, 576, name, {}, files, error))
                << error.toStdString();
            ASSERT_EQ(files.size(), 2u) << name;
            EXPECT_EQ(files[0].name, QString(name).contains('%') ? "long-1.png" : "long-001.png");
            int rows = 0;
            for (const auto& file : files) {
                const QImage sheet = QImage::fromData(file.bytes, "PNG");
                EXPECT_LE(sheet.height(), render::kSheetRows);
                EXPECT_EQ(sheet.text(render::kSheetTopKey), QString::number(rows))
                    << "where it goes on the paper";
                rows += sheet.height();
            }
            EXPECT_EQ(rows, render::ReceiptHeight(receipts[0]));
        }
    }

    TEST(PaperImage, PngHasEveryReceiptAndPdfAPageEach)
    {
        render::ZintSymbolGeometry geometry;
        ReceiptPrinter printer(geometry);
        printer.feed(Bytes({ ESC, '@' }) + "one\n" + Bytes({ GS, 'V', 0 }) + "two\n"
            + Bytes({ GS, 'V', 1 }));
        auto receipts = render::ReceiptsWithContent(printer.receipts());
        ASSERT_EQ(receipts.size(), 2u);
        render::ReceiptRenderer renderer;
        std::vector<render::EncodedFile> files;
        QString error;
        ASSERT_TRUE(renderer.encode(receipts, 576, "out.png", {}, files, error));
        ASSERT_EQ(files.size(), 1u);
        QImage image = QImage::fromData(files[0].bytes, "PNG");
        EXPECT_EQ(image.width(), 576);
        EXPECT_GT(image.height(), 2 * 30);
        ASSERT_TRUE(renderer.encode(receipts, 576, "out.png", { .markers = true }, files, error));
        EXPECT_EQ(QImage::fromData(files[0].bytes, "PNG").width(), 576 + render::kMarginWidth);
        ASSERT_TRUE(renderer.encode(receipts, 576, "out-%03d.png", {}, files, error));
        ASSERT_EQ(files.size(), 2u);
        EXPECT_EQ(files[1].name, "out-002.png");
        ASSERT_TRUE(renderer.encode(receipts, 576, "out.PDF", {}, files, error));
        const QByteArray pdf = files[0].bytes;
        EXPECT_TRUE(pdf.startsWith("%PDF"));
        EXPECT_FALSE(pdf.contains("/DCTDecode")) << "the paper is a 1-bit image, never a JPEG";
        EXPECT_EQ(pdf.count("/Type /Page\n") + pdf.count("/Type /Page "), 2)
            << pdf.left(0).toStdString();
        for (const char* bad : { "out.jpg", "out-%s.png", "out-%d-%d.png" })
            EXPECT_FALSE(renderer.encode(receipts, 576, bad, {}, files, error)) << bad;
        EXPECT_TRUE(error.contains("one number"));
        EXPECT_FALSE(renderer.encode(receipts, 576, "out.jpg", {}, files, error));
        EXPECT_TRUE(error.contains(".png or .pdf"));
    }

} // namespace
} // namespace ostrel::test

namespace ostrel::test {
namespace {

    // What a window shows of a long receipt is the same as that part of the whole.
    TEST(PaperImage, RowsOfAReceiptAreThoseRowsOfTheWhole)
    {
        render::ZintSymbolGeometry geometry;
        receipt::ReceiptPrinter printer(geometry);
        std::string job = Bytes({ ESC, '@', GS, 'h', 40 });
        for (int i = 0; i < 30; ++i)
            job += "line " + std::to_string(i) + "\n"
                + (i % 7 == 0 ? Bytes({ GS, 'k', 73, 4, '{', 'B', 'O', 'K' }) : "");
        printer.feed(job + Bytes({ 0x01 }) + "\n");
        render::ReceiptRenderer renderer;
        const auto& receipt = printer.receipts().back();
        const QImage whole = renderer.render(receipt, 576);
        for (const auto& [from, rows] :
            { std::pair { 0, 50 }, { 37, 101 }, { 200, 300 }, { whole.height() - 40, 40 } }) {
            const QImage part = renderer.renderRows(receipt, 576, from, rows);
            ASSERT_EQ(part.height(), rows);
            EXPECT_EQ(part, whole.copy(0, from, 576, rows)) << "rows from " << from;
        }
    }

} // namespace
} // namespace ostrel::test
