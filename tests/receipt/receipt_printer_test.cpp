// The printer model: command lengths of the standard set, any chunking,
// layout geometry, code pages, bytes it does not understand, and its bounds.

#include "receipt/command_text.h"
#include "receipt/not_understood_scan.h"
#include "receipt/printer_profile.h"
#include "receipt/receipt_printer.h"
#include "receipt/receipt_report.h"
#include "tests/receipt/job_bytes.h"
#include "tests/receipt/whole_command.h"

#include <gtest/gtest.h>

#include <sstream>

namespace ostrel::test {
namespace {

    using namespace receipt;

    struct Model {
        EstimatedSymbolGeometry geometry;
        ReceiptPrinter printer;
        explicit Model(PrinterLimits limits = {})
            : printer(geometry, limits)
        {
        }
        const Receipt& last() const { return printer.receipts().back(); }
        std::vector<TextRun> runs() const
        {
            std::vector<TextRun> found;
            for (const Receipt& receipt : printer.receipts())
                for (const PaperItem& item : receipt.items)
                    if (auto* run = std::get_if<TextRun>(&item.what))
                        found.push_back(*run);
            return found;
        }
    };

    // Everything the model made, as text, to compare two feeds.
    std::string Snapshot(const ReceiptPrinter& printer)
    {
        std::ostringstream out;
        for (const Receipt& receipt : printer.receipts()) {
            out << "receipt " << receipt.height << (receipt.cut ? " cut\n" : "\n");
            for (const ModelCommand& c : receipt.commands)
                out << c.offset << "+" << c.length << " " << c.text << " | " << c.description
                    << " @" << c.y << "\n";
            for (const PaperItem& item : receipt.items) {
                std::visit(
                    [&](const auto& placed) { out << "  item " << placed.x << "," << placed.y; },
                    item.what);
                if (auto* run = std::get_if<TextRun>(&item.what))
                    out << " " << Utf8(run->text);
                if (auto* image = std::get_if<BitImage>(&item.what))
                    out << " image " << image->width << "x" << image->height;
                if (auto* symbol = std::get_if<Symbol>(&item.what))
                    out << " symbol " << symbol->data;
                if (auto* marker = std::get_if<Marker>(&item.what))
                    out << " marker " << marker->label;
                out << " by " << item.command << "\n";
            }
        }
        out << "not understood " << printer.summary().notUnderstoodBytes << "\n";
        return out.str();
    }

    // ---- lengths ----

    // Each command of the standard set with its length as the command reference
    // gives it, written out here by hand; "X" after it must print as text.
    struct LengthCase {
        std::string command;
        std::size_t length;
        const char* profile = nullptr; // the model that reads it, when not the generic one
    };

    TEST(CommandLengths, EveryKnownCommandIsTakenWholeAndTheNextByteIsText)
    {
        const char* const kLog = "log-printer";
        const char* const kLine = "star-tsp650ii-line";
        const char* const kPrnt = "star-tsp100iv";
        const char* const kEmulation = "star-tsp650ii";
        const std::vector<LengthCase> cases = {
            { Bytes({ LF }), 1 },
            { Bytes({ 0x0D }), 1 },
            { Bytes({ 0x09 }), 1 },
            { Bytes({ 0x0C }), 1 },
            { Bytes({ 0x18 }), 1 },
            { Bytes({ DLE, 0x04, 1 }), 3 },
            { Bytes({ DLE, 0x04, 7, 1 }), 4 },
            { Bytes({ DLE, 0x05, 2 }), 3 },
            { Bytes({ DLE, 0x14, 1, 0, 5 }), 5 },
            { Bytes({ DLE, 0x14, 8, 1, 3, 20, 1, 6, 2, 8 }), 10 },
            { Bytes({ ESC, ' ', 2 }), 3 },
            { Bytes({ ESC, '!', 0x38 }), 3 },
            { Bytes({ ESC, '$', 10, 0 }), 4 },
            { Bytes({ ESC, '%', 1 }), 3 },
            { Bytes({ ESC, '&', 3, 65, 66, 2, 1, 2, 3, 4, 5, 6, 1, 7, 8, 9 }), 16 },
            { Bytes({ ESC, '*', 0, 2, 0, 0xFF, 0x81 }), 7 },
            { Bytes({ ESC, '*', 33, 1, 0, 1, 2, 3 }), 8 },
            { Bytes({ ESC, '-', 1 }), 3 },
            { Bytes({ ESC, '2' }), 2 },
            { Bytes({ ESC, '3', 40 }), 3 },
            { Bytes({ ESC, '=', 1 }), 3 },
            { Bytes({ ESC, '?', 65 }), 3 },
            { Bytes({ ESC, '@' }), 2 },
            { Bytes({ ESC, 'D', 4, 8, 0 }), 5 },
            { Bytes({ ESC, 'E', 1 }), 3 },
            { Bytes({ ESC, 'G', 0 }), 3 },
            { Bytes({ ESC, 'J', 30 }), 3 },
            { Bytes({ ESC, 'L' }), 2 },
            { Bytes({ ESC, 'M', 1 }), 3 },
            { Bytes({ ESC, 'R', 2 }), 3 },
            { Bytes({ ESC, 'S' }), 2 },
            { Bytes({ ESC, 'T', 1 }), 3 },
            { Bytes({ ESC, 'V', 1 }), 3 },
            { Bytes({ ESC, 'W', 0, 0, 0, 0, 64, 2, 0, 2 }), 10 },
            { Bytes({ ESC, '\\', 0xF6, 0xFF }), 4 },
            { Bytes({ ESC, 'a', 1 }), 3 },
            { Bytes({ ESC, 'c', '3', 2 }), 4 },
            { Bytes({ ESC, 'c', '5', 0 }), 4 },
            { Bytes({ ESC, 'd', 2 }), 3 },
            { Bytes({ ESC, 'i' }), 2 },
            { Bytes({ ESC, 'm' }), 2 },
            { Bytes({ ESC, 'p', 0, 25, 250 }), 5 },
            { Bytes({ ESC, 'r', 1 }), 3 },
            { Bytes({ ESC, 't', 16 }), 3 },
            { Bytes({ ESC, 'u', 0 }), 3 },
            { Bytes({ ESC, 'v' }), 2 },
            { Bytes({ ESC, '{', 1 }), 3 },
            { Bytes({ ESC, '(', 'A', 4, 0, 48, 51, 1, 1 }), 9 },
            { Bytes({ FS, '!', 4 }), 3 },
            { Bytes({ FS, '&' }), 2 },
            { Bytes({ FS, '-', 1 }), 3 },
            { Bytes({ FS, '.' }), 2 },
            { Bytes({ FS, 'C', 1 }), 3 },
            { Bytes({ FS, 'S', 1, 2 }), 4 },
            { Bytes({ FS, 'W', 1 }), 3 },
            { Bytes({ FS, 'p', 1, 0 }), 4 },
            { Bytes({ FS, '(', 'A', 2, 0, 48, 0 }), 7 },
            { Bytes({ FS, '?', 0x80, 0x80 }), 4 },
            { Bytes({ FS, 'q', 1, 1, 0, 1, 0 }) + std::string(8, '\x55'), 15 },
            { Bytes({ GS, '!', 0x11 }), 3 },
            { Bytes({ GS, '$', 0, 1 }), 4 },
            { Bytes({ GS, '*', 1, 1 }) + std::string(8, 'A'), 12 },
            { Bytes({ GS, '/', 0 }), 3 },
            { Bytes({ GS, ':' }), 2 },
            { Bytes({ GS, 'B', 1 }), 3 },
            { Bytes({ GS, 'H', 2 }), 3 },
            { Bytes({ GS, 'I', 1 }), 3 },
            { Bytes({ GS, 'L', 8, 0 }), 4 },
            { Bytes({ GS, 'P', 203, 203 }), 4 },
            { Bytes({ GS, 'V', 0 }), 3 },
            { Bytes({ GS, 'V', 66, 3 }), 4 },
            { Bytes({ GS, 'V', 104, 0 }), 4 },
            { Bytes({ GS, 'W', 64, 2 }), 4 },
            { Bytes({ GS, '\\', 10, 0 }), 4 },
            { Bytes({ GS, '^', 1, 0, 0 }), 5 },
            { Bytes({ GS, 'a', 0 }), 3 },
            { Bytes({ GS, 'b', 1 }), 3 },
            { Bytes({ GS, 'f', 1 }), 3 },
            { Bytes({ GS, 'h', 80 }), 3 },
            { Bytes({ GS, 'k', 4, 'A', 'B', 0 }), 6 },
            { Bytes({ GS, 'k', 73, 4, '{', 'B', 'A', 'B' }), 8 },
            { Bytes({ GS, 'r', 1 }), 3 },
            { Bytes({ GS, 'v', '0', 0, 1, 0, 2, 0, 0xAA, 0x55 }), 10 },
            { Bytes({ GS, 'w', 2 }), 3 },
            { Bytes({ GS, 'g', '0', 0, 20, 0 }), 6 },
            { Bytes({ GS, '(', 'k', 4, 0, 49, 65, 50, 0 }), 9 },
            { Bytes({ GS, '(', 'K', 2, 0, 48, 1 }), 7 },
            { Bytes({ GS, '(', 'E', 3, 0, 1, 73, 78 }), 8 },
            { Bytes({ GS, '8', 'L', 6, 0, 0, 0, 48, 69, 65, 65, 1, 1 }), 13 },
            // The command log's own printer: a bare GS V, the US family.
            { Bytes({ GS, 'V' }), 2, kLog },
            { Bytes({ 0x1F, '*', 0, 3, ESC, GS, LF }), 7, kLog },
            { Bytes({ 0x1F, 'C', 1, 2 }), 4, kLog },
            { Bytes({ 0x1F, 'E', 1 }), 3, kLog },
            { Bytes({ 0x1F, 'F', 1 }), 3, kLog },
            { Bytes({ 0x1F, 'K', 9 }), 3, kLog },
            { Bytes({ 0x1F, 'S', 0 }), 3, kLog },
            { Bytes({ 0x1F, 'x', 0, 9 }), 4, kLog },
            { Bytes({ 0x1F, 'y', 0, 9 }), 4, kLog },
            { Bytes({ 0x1F, 'A' }), 2, kLog },
            { Bytes({ 0x1F, 'b' }), 2, kLog },
            { Bytes({ 0x1F, 'e' }), 2, kLog },
            { Bytes({ GS, 'k', 69, 2, 'A', 'B' }), 6, kLog },
            // Star Line mode, from Star's Line Mode command specifications.
            { Bytes({ ESC, '@' }), 2, kLine },
            { Bytes({ ESC, 'E' }), 2, kLine },
            { Bytes({ ESC, 'F' }), 2, kLine },
            { Bytes({ ESC, '-', '1' }), 3, kLine },
            { Bytes({ ESC, '_', 1 }), 3, kLine },
            { Bytes({ ESC, '4' }), 2, kLine },
            { Bytes({ ESC, '5' }), 2, kLine },
            { Bytes({ ESC, 'i', 1, 1 }), 4, kLine },
            { Bytes({ ESC, 'W', 2 }), 3, kLine },
            { Bytes({ ESC, 'h', 2 }), 3, kLine },
            { Bytes({ 0x0E }), 1, kLine },
            { Bytes({ 0x14 }), 1, kLine },
            { Bytes({ ESC, 0x0E }), 2, kLine },
            { Bytes({ ESC, 0x14 }), 2, kLine },
            { Bytes({ ESC, 0x1E, 'F', 1 }), 4, kLine },
            { Bytes({ ESC, ' ', 2 }), 3, kLine },
            { Bytes({ ESC, 's', '0', '0' }), 4, kLine },
            { Bytes({ ESC, 'R', 2 }), 3, kLine },
            { Bytes({ ESC, GS, 't', 32 }), 4, kLine },
            { Bytes({ ESC, GS, 'a', 1 }), 4, kLine },
            { Bytes({ ESC, GS, 'A', 10, 1 }), 5, kLine },
            { Bytes({ ESC, GS, 'R', 0xF6, 0xFF }), 5, kLine },
            { Bytes({ ESC, 'l', 2 }), 3, kLine },
            { Bytes({ ESC, 'Q', 40 }), 3, kLine },
            { Bytes({ ESC, '0' }), 2, kLine },
            { Bytes({ ESC, 'z', 1 }), 3, kLine },
            { Bytes({ ESC, 'a', 2 }), 3, kLine },
            { Bytes({ ESC, 'J', 8 }), 3, kLine },
            { Bytes({ ESC, 'd', '3' }), 3, kLine },
            { Bytes({ ESC, 0x07, 20, 20 }), 4, kLine },
            { Bytes({ 0x07 }), 1, kLine },
            { Bytes({ 0x1A }), 1, kLine },
            { Bytes({ 0x0F }), 1, kLine },
            { Bytes({ 0x12 }), 1, kLine },
            { Bytes({ 0x18 }), 1, kLine },
            { Bytes({ ESC, 'b', '3', '2', '1', 60 }) + "4006381333931" + Bytes({ 0x1E }), 20,
                kLine },
            { Bytes({ ESC, GS, 'y', 'S', '0', 2 }), 6, kLine },
            { Bytes({ ESC, GS, 'y', 'S', '1', 1 }), 6, kLine },
            { Bytes({ ESC, GS, 'y', 'S', '2', 4 }), 6, kLine },
            { Bytes({ ESC, GS, 'y', 'D', '1', 0, 3, 0, 'a', 'b', 'c' }), 11, kLine },
            { Bytes({ ESC, GS, 'y', 'P' }), 4, kLine },
            { Bytes({ ESC, GS, 'x', 'S', '0', 1, 3, 4 }), 8, kLine },
            { Bytes({ ESC, GS, 'x', 'S', '1', 2 }), 6, kLine },
            { Bytes({ ESC, GS, 'x', 'D', 2, 0, 'a', 'b' }), 8, kLine },
            { Bytes({ ESC, GS, 'x', 'P' }), 4, kLine },
            { Bytes({ ESC, GS, 'S', 1, 2, 0, 1, 0, 0, ESC, GS }), 11, kLine },
            { Bytes({ ESC, 'k', 1, 0 }) + std::string(24, '\x1B'), 28, kLine },
            { Bytes({ ESC, 'X', 2, 0, ESC, GS, 'V', 1, 2, 3 }), 10, kLine },
            { Bytes({ ESC, 'K', 2, 0, 1, 2 }), 6, kLine },
            { Bytes({ ESC, 'L', 2, 0, 1, 2 }), 6, kLine },
            { Bytes({ ESC, FS, 'p', 1, 0 }), 5, kLine },
            { Bytes({ ESC, FS, 'q', 1, 1, 0, 1, 0 }) + std::string(8, '\x55'), 16, kLine },
            { Bytes({ ESC, 0x06, 0x01 }), 3, kLine },
            { Bytes({ ESC, 0x1E, 'a', 1 }), 4, kLine },
            { Bytes({ ESC, 0x1E, 'E', 0 }), 4, kLine },
            { Bytes({ 0x05 }), 1, kLine },
            { Bytes({ 0x04 }), 1, kLine },
            { Bytes({ 0x17 }), 1, kLine },
            { Bytes({ ESC, GS, 0x03, 1, 0, 0 }), 6, kLine },
            // StarPRNT: Line mode's commands, and its page mode switched on and off.
            { Bytes({ ESC, GS, 'P', '0' }), 4, kPrnt },
            { Bytes({ ESC, GS, 'P', '1' }), 4, kPrnt },
            { Bytes({ ESC, GS, 'y', 'P' }), 4, kPrnt },
            { Bytes({ 0x0E }), 1, kPrnt },
            // Star's ESC/POS emulation: ESC/POS, and Star's QR Code commands.
            { Bytes({ ESC, GS, 'y', 'S', '0', 2 }), 6, kEmulation },
            { Bytes({ ESC, GS, 'y', 'S', '2', 6 }), 6, kEmulation },
            { Bytes({ ESC, GS, 'y', 'D', '1', 0, 3, 0, 'a', ESC, 'b' }), 11, kEmulation },
            { Bytes({ ESC, GS, 'y', 'P' }), 4, kEmulation },
            { Bytes({ GS, '(', 'k', 3, 0, 49, 81, 48 }), 8, kEmulation },
        };
        for (const LengthCase& c : cases) {
            Model model;
            if (c.profile != nullptr)
                model.printer.setProfile(*FindPrinterProfile(c.profile));
            model.printer.feed(c.command + "X\n");
            const auto& commands = model.last().commands.empty()
                ? model.printer.receipts().front().commands
                : model.last().commands;
            SCOPED_TRACE(HexBytes(
                reinterpret_cast<const unsigned char*>(c.command.data()), c.command.size()));
            EXPECT_EQ(model.printer.summary().notUnderstoodBytes, 0);
            bool textFound = false;
            for (const Receipt& receipt : model.printer.receipts())
                for (const ModelCommand& command : receipt.commands) {
                    if (command.offset == 0) {
                        EXPECT_EQ(command.length, static_cast<long long>(c.length));
                    }
                    if (command.kind == "Text") {
                        EXPECT_EQ(command.offset, static_cast<long long>(c.length));
                        EXPECT_EQ(command.description, "\"X\"");
                        textFound = true;
                    }
                }
            EXPECT_TRUE(textFound || commands.empty());
        }
    }

    // A job cut at every point, fed in two pieces or a byte at a time, makes the
    // same paper as the job fed whole.
    TEST(CommandLengths, AnyChunkingMakesTheSamePaper)
    {
        const std::string job = Bytes({ ESC, '@', ESC, 'a', 1, GS, '!', 0x11 }) + "TITLE\n"
            + Bytes({ GS, '!', 0 }) + Bytes({ ESC, '*', 33, 2, 0, 1, 2, 3, 4, 5, 6 }) + "\n"
            + Bytes({ GS, 'v', '0', 0, 1, 0, 2, 0, 0x1F, 0x2A })
            + Bytes({ GS, 'k', 73, 4, '{', 'B', 'O', 'K' }) + TwoDimensional(49, 80, "0hello")
            + TwoDimensional(49, 81, "0") + Bytes({ 0x01, ESC, 0x7F }) + "tail\n"
            + Bytes({ DLE, 'R', GS, 'V', 66, 5 }) + "next\n" +
            // a mode no bit image has: known for one only once its head is whole
            Bytes({ ESC, '*', 0xFF, '3', 'A', ESC, '*', 7, 1, 0 }) + "end\n" +
            // a page: upright, then turned
            Bytes({ ESC, 'L', ESC, 'W', 0, 0, 0, 0, 0x40, 2, 200, 0, GS, '$', 40, 0 }) + "UP"
            + Bytes({ ESC, 'T', 3, ESC, '$', 20, 0 }) + "TURN" + Bytes({ 0x0C }) + "after\n";
        Model whole;
        whole.printer.feed(job);
        const std::string expected = Snapshot(whole.printer);
        for (std::size_t cut = 1; cut < job.size(); ++cut) {
            Model split;
            split.printer.feed(std::string_view(job).substr(0, cut));
            split.printer.feed(std::string_view(job).substr(cut));
            ASSERT_EQ(Snapshot(split.printer), expected) << "cut at " << cut;
        }
        Model bytewise;
        for (char c : job)
            bytewise.printer.feed(std::string_view(&c, 1));
        EXPECT_EQ(Snapshot(bytewise.printer), expected);
    }

    // Image data that looks like commands stays image data; what follows is read
    // in its place and its status requests counted.
    TEST(CommandLengths, ImageDataNeverReadsAsCommands)
    {
        std::string image = Bytes({ 0x1F, 0x2A, 0x2D, 0xE0, DLE, 'R', ESC, '@', GS, 'V', 0, LF });
        image.resize(72 * 4, '\x1F');
        Model model;
        model.printer.feed(Bytes({ GS, 'v', '0', 0, 72, 0, 4, 0 }) + image + "after\n"
            + Bytes({ DLE, 'R' }) + "next\n");
        EXPECT_EQ(model.printer.summary().notUnderstoodBytes, 0);
        EXPECT_EQ(model.printer.summary().statusRequests, 1);
        EXPECT_EQ(model.printer.summary().cutCount, 0);
        auto runs = model.runs();
        ASSERT_EQ(runs.size(), 2u);
        EXPECT_EQ(Utf8(runs[0].text), "after");
        EXPECT_EQ(runs[0].y, 4);
    }

    TEST(CommandLengths, BytesNotUnderstoodAreMarkedCountedAndListedWithOffsets)
    {
        Model model;
        model.printer.feed("ab" + Bytes({ 0x01 }) + "cd" + Bytes({ ESC, 0x7F }) + "ef"
            + Bytes({ GS, 0x02 }) + "\n");
        const PrinterSummary& summary = model.printer.summary();
        EXPECT_EQ(summary.notUnderstoodBytes, 5);
        ASSERT_EQ(summary.notUnderstood.size(), 3u);
        EXPECT_EQ(summary.notUnderstood[0].offset, 2);
        EXPECT_EQ(summary.notUnderstood[0].what, "01");
        EXPECT_EQ(summary.notUnderstood[1].offset, 5);
        EXPECT_EQ(summary.notUnderstood[1].what, "1B 7F");
        EXPECT_EQ(summary.notUnderstood[2].offset, 9);
        int markers = 0;
        for (const PaperItem& item : model.last().items)
            if (auto* marker = std::get_if<Marker>(&item.what)) {
                EXPECT_EQ(marker->kind, MarkerKind::NotUnderstood);
                ++markers;
            }
        EXPECT_EQ(markers, 3);
        EXPECT_EQ(
            Utf8(model.runs()[0].text) + Utf8(model.runs()[1].text) + Utf8(model.runs()[2].text),
            "abcdef");
    }

    // ---- layout ----

    struct LayoutCase {
        const char* name;
        std::string job;
        int x, y, cellWidth, cellHeight;
        std::string text;
    };

    class Layout : public testing::TestWithParam<LayoutCase> { };

    TEST_P(Layout, PlacesTheRunOfTheText)
    {
        const LayoutCase& c = GetParam();
        Model model;
        model.printer.feed(Bytes({ ESC, '@' }) + c.job);
        auto runs = model.runs();
        const TextRun* last = nullptr;
        for (const TextRun& run : runs)
            if (Utf8(run.text) == c.text)
                last = &run;
        ASSERT_NE(last, nullptr) << c.text;
        EXPECT_EQ(last->x, c.x);
        EXPECT_EQ(last->y, c.y);
        EXPECT_EQ(last->cellWidth, c.cellWidth);
        EXPECT_EQ(last->cellHeight, c.cellHeight);
        EXPECT_EQ(Utf8(last->text), c.text);
    }

    const std::string k48(48, 'a');
    INSTANTIATE_TEST_SUITE_P(Text, Layout,
        testing::Values(LayoutCase { "left", "abc\n", 0, 0, 12, 24, "abc" },
            LayoutCase {
                "centre", Bytes({ ESC, 'a', 1 }) + "abcd\n", (576 - 48) / 2, 0, 12, 24, "abcd" },
            LayoutCase { "right", Bytes({ ESC, 'a', 50 }) + "abcd\n", 576 - 48, 0, 12, 24, "abcd" },
            LayoutCase { "second line at the default spacing", "a\nb\n", 0, 30, 12, 24, "b" },
            LayoutCase {
                "line spacing set", Bytes({ ESC, '3', 50 }) + "a\nb\n", 0, 50, 12, 24, "b" },
            LayoutCase { "spacing smaller than the line", Bytes({ ESC, '3', 10 }) + "a\nb\n", 0, 24,
                12, 24, "b" },
            LayoutCase { "feed dots", "a" + Bytes({ ESC, 'J', 100 }) + "b\n", 0, 100, 12, 24, "b" },
            LayoutCase { "feed lines", "a" + Bytes({ ESC, 'd', 3 }) + "b\n", 0, 90, 12, 24, "b" },
            LayoutCase {
                "double width and height", Bytes({ GS, '!', 0x11 }) + "ab\n", 0, 0, 24, 48, "ab" },
            LayoutCase { "eight times", Bytes({ GS, '!', 0x77 }) + "W\n", 0, 0, 96, 192, "W" },
            LayoutCase {
                "print mode double", Bytes({ ESC, '!', 0x30 }) + "ab\n", 0, 0, 24, 48, "ab" },
            LayoutCase { "font B", Bytes({ ESC, 'M', 1 }) + "ab\n", 0, 0, 9, 17, "ab" },
            LayoutCase { "small and tall on one line", "a" + Bytes({ GS, '!', 0x01 }) + "B\n", 0,
                24, 12, 24, "a" },
            LayoutCase { "left margin", Bytes({ GS, 'L', 40, 0 }) + "ab\n", 40, 0, 12, 24, "ab" },
            LayoutCase { "margin and centre",
                Bytes({ GS, 'L', 40, 0, GS, 'W', 200, 0, ESC, 'a', 1 }) + "ab\n",
                40 + (200 - 24) / 2, 0, 12, 24, "ab" },
            LayoutCase { "wraps at 48 characters", k48 + "b\n", 0, 30, 12, 24, "b" },
            LayoutCase { "wraps at 64 in font B",
                Bytes({ ESC, 'M', 1 }) + std::string(64, 'a') + "b\n", 0, 30, 9, 17, "b" },
            LayoutCase { "wraps at the print area", Bytes({ GS, 'W', 120, 0 }) + "abcdefghijk\n", 0,
                30, 12, 24, "k" },
            LayoutCase { "double width wraps at 24",
                std::string(1, '\x1D') + "!" + std::string(1, '\x10') + std::string(24, 'a')
                    + "b\n",
                0, 30, 24, 24, "b" },
            LayoutCase { "character spacing",
                Bytes({ ESC, ' ', 4 }) + "ab" + Bytes({ ESC, '$', 0, 0 }) + "c\n", 0, 0, 12, 24,
                "c" },
            LayoutCase { "default tab", "a\tb\n", 0, 0, 12, 24, "a" },
            LayoutCase {
                "absolute position", Bytes({ ESC, '$', 100, 0 }) + "x\n", 100, 0, 12, 24, "x" },
            LayoutCase { "upside down: the line turned", Bytes({ ESC, '{', 1 }) + "abcd\n",
                576 - 48, 0, 12, 24, "dcba" },
            LayoutCase { "upside down, right: on the left",
                Bytes({ ESC, 'a', 2, ESC, '{', 1 }) + "abcd\n", 0, 0, 12, 24, "dcba" },
            LayoutCase { "upside down in the print area",
                Bytes({ GS, 'L', 40, 0, GS, 'W', 200, 0, ESC, '{', 1 }) + "ab\n", 40 + 200 - 24, 0,
                12, 24, "ba" },
            LayoutCase { "upside down hangs from the top",
                Bytes({ ESC, '{', 1 }) + "a" + Bytes({ GS, '!', 0x01 }) + "B\n", 576 - 12, 0, 12,
                24, "a" },
            LayoutCase { "relative position back",
                "abcd" + Bytes({ ESC, '\\', 0xE8, 0xFF }) + "x\n", 0, 0, 12, 24, "abcd" }),
        [](const testing::TestParamInfo<LayoutCase>& info) { return TestName(info.param.name); });

    TEST(Layout, TabsGoToTheDefaultAndSetStops)
    {
        Model model;
        model.printer.feed("a\tb\n" + Bytes({ ESC, 'D', 3, 20, 0 }) + "a\tb\tc\td\n");
        auto runs = model.runs();
        ASSERT_GE(runs.size(), 6u);
        EXPECT_EQ(runs[1].x, 8 * 12);
        EXPECT_EQ(runs[3].x, 3 * 12);
        EXPECT_EQ(runs[4].x, 20 * 12);
        EXPECT_EQ(runs[5].x, 20 * 12 + 12); // no stop left: HT does nothing
    }

    TEST(Layout, StylesAndUpsideDownLines)
    {
        Model model;
        model.printer.feed(Bytes({ ESC, 'E', 1, ESC, '-', 2, GS, 'B', 1 }) + "a"
            + Bytes({ ESC, 'E', 0, ESC, '-', 0, GS, 'B', 0 }) + "b\n" + Bytes({ ESC, '{', 1 })
            + "ab\n");
        auto runs = model.runs();
        ASSERT_EQ(runs.size(), 3u);
        EXPECT_TRUE(runs[0].style.bold);
        EXPECT_EQ(runs[0].style.underline, 2);
        EXPECT_TRUE(runs[0].style.reverse);
        EXPECT_FALSE(runs[1].style.bold);
        EXPECT_TRUE(runs[2].style.upsideDown);
        EXPECT_EQ(runs[2].x, 576 - 24); // a line of its own, turned in the print area
    }

    // Star Line mode's styles, as its manual names them: emphasis, underline,
    // upperline, inversion, expansion (ESC i height then width), alignment and
    // upside-down lines (SI, DC2).
    TEST(Layout, StarStylesAlignmentAndUpsideDown)
    {
        Model model;
        model.printer.setProfile(*FindPrinterProfile("star-tsp650ii-line"));
        model.printer.feed(Bytes({ ESC, 'E', ESC, '-', '1', ESC, '_', 1, ESC, '4', ESC, 'i', 1, 2 })
            + "a" + Bytes({ ESC, 'F', ESC, '-', '0', ESC, '_', 0, ESC, '5', ESC, 'i', 0, 0 })
            + "b\n" + Bytes({ ESC, GS, 'a', '2' }) + "r\n" + Bytes({ ESC, GS, 'a', 0, 0x0F })
            + "ab\n" + Bytes({ 0x12 }) + "c\n");
        const auto runs = model.runs();
        ASSERT_EQ(runs.size(), 5u);
        EXPECT_TRUE(runs[0].style.bold);
        EXPECT_EQ(runs[0].style.underline, 1);
        EXPECT_EQ(runs[0].style.upperline, 1);
        EXPECT_TRUE(runs[0].style.reverse);
        EXPECT_EQ(runs[0].cellWidth, 36); // three times as wide, twice as high
        EXPECT_EQ(runs[0].cellHeight, 48);
        EXPECT_EQ(runs[1].style, TextStyle {});
        EXPECT_EQ(runs[2].x, 576 - 12); // right-aligned
        EXPECT_TRUE(runs[3].style.upsideDown);
        EXPECT_FALSE(runs[4].style.upsideDown);
    }

    TEST(Layout, FiftyEightMillimetrePaperWrapsAt32)
    {
        Model model(PrinterLimits { .paperWidth = kPaperWidth58 });
        model.printer.feed(std::string(32, 'a') + "b\n");
        auto runs = model.runs();
        EXPECT_EQ(runs.back().y, 30);
        EXPECT_EQ(Utf8(runs.back().text), "b");
    }

    TEST(Layout, ImagesAndSymbolsTakeTheirHeight)
    {
        Model model;
        model.printer.feed(Bytes({ GS, 'v', '0', 0, 1, 0, 40, 0 }) + std::string(40, '\xFF')
            + Bytes({ GS, 'h', 50, GS, 'H', 2 }) + Bytes({ GS, 'k', 73, 4, '{', 'B', 'O', 'K' })
            + "after\n");
        auto runs = model.runs();
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(runs[0].y, 40 + 50 + 28);
    }

    // ---- characters ----

    struct CharacterCase {
        std::string select;
        unsigned char byte;
        char32_t expected;
    };

    TEST(Characters, ComeFromTheSelectedCodePageAndInternationalSet)
    {
        const std::vector<CharacterCase> cases = {
            { "", 0x9B, U'\u00A2' }, // PC437 cent
            { Bytes({ ESC, 't', 2 }), 0x9B, U'\u00F8' }, // PC850 o slash
            { Bytes({ ESC, 't', 3 }), 0x86, U'\u00C1' }, // PC860 A acute
            { Bytes({ ESC, 't', 4 }), 0x86, U'\u00B6' }, // PC863 pilcrow
            { Bytes({ ESC, 't', 5 }), 0x9B, U'\u00F8' }, // PC865 o slash
            { Bytes({ ESC, 't', 16 }), 0x80, U'\u20AC' }, // WPC1252 euro
            { Bytes({ ESC, 't', 17 }), 0x80, U'\u0410' }, // PC866 Cyrillic A
            { Bytes({ ESC, 't', 18 }), 0x9F, U'\u010D' }, // PC852 c caron
            { Bytes({ ESC, 't', 19 }), 0xD5, U'\u20AC' }, // PC858 euro
            { Bytes({ ESC, 't', 13 }), 0xD5, U'\u20AC' }, // PC857 as printers have it: euro
            { Bytes({ ESC, 't', 46 }), 0xC0, U'\u0410' }, // WPC1251 Cyrillic A
            { Bytes({ ESC, 't', 1 }), 0xB1, U'\uFF71' }, // Katakana A
            { Bytes({ ESC, 't', 1 }), 0x95, U'\u2500' }, // Katakana page: horizontal line
            { Bytes({ ESC, 't', 1 }), 0x96, U'\u2502' }, // vertical line
            { Bytes({ ESC, 't', 1 }), 0x9C, U'\u256D' }, // rounded corner
            { Bytes({ ESC, 't', 1 }), 0xF1, U'\u5186' }, // yen word
            { Bytes({ ESC, 't', 0 }), 0xC4, U'\u2500' }, // PC437 box drawing
            { Bytes({ ESC, 't', 2 }), 0xB3, U'\u2502' }, // PC850 box drawing
            { Bytes({ ESC, 't', 99 }), 0x9B, U'\u00A2' }, // unknown table: kept
            { Bytes({ ESC, 'R', 1 }), '@', U'\u00E0' }, // France
            { Bytes({ ESC, 'R', 2 }), '@', U'\u00A7' }, // Germany
            { Bytes({ ESC, 'R', 3 }), '#', U'\u00A3' }, // UK
            { Bytes({ ESC, 'R', 5 }), '[', U'\u00C4' }, // Sweden
            { Bytes({ ESC, 'R', 8 }), '\\', U'\u00A5' }, // Japan
            { Bytes({ ESC, 'R', 9 }), '|', U'\u00F8' }, // Norway
            { Bytes({ ESC, 'R', 2, ESC, 'R', 0 }), '@', U'@' }, // back to USA
            { Bytes({ ESC, 't', 16, ESC, '@' }), 0x80, U'\u00C7' }, // reset to PC437
        };
        for (const CharacterCase& c : cases) {
            Model model;
            model.printer.feed(c.select + std::string(1, static_cast<char>(c.byte)) + "\n");
            auto runs = model.runs();
            ASSERT_EQ(runs.size(), 1u);
            EXPECT_EQ(
                static_cast<std::uint32_t>(runs[0].text[0]), static_cast<std::uint32_t>(c.expected))
                << "byte " << int(c.byte) << " after "
                << HexBytes(
                       reinterpret_cast<const unsigned char*>(c.select.data()), c.select.size());
        }
    }

    // A byte the page leaves empty, or whose character no font has, is listed by
    // offset, page and byte; ASCII and covered characters are not.
    TEST(Characters, BytesThatPrintNothingAreListed)
    {
        Model model;
        model.printer.setGlyphCoverage([](char32_t ch) { return ch != U'\u2500'; });
        model.printer.feed(
            "ab" + Bytes({ ESC, 't', 16, 0x80, 0x81, ESC, 't', 1, 0x95, 0xB1 }) + "\n");
        const auto& unmapped = model.printer.summary().unmapped;
        ASSERT_EQ(model.printer.summary().unmappedBytes, 2);
        EXPECT_EQ(unmapped[0].offset, 6);
        EXPECT_EQ(unmapped[0].page, 16);
        EXPECT_EQ(unmapped[0].byte, 0x81);
        EXPECT_EQ(unmapped[1].offset, 10);
        EXPECT_EQ(unmapped[1].page, 1);
    }

    // A model prints nothing for what it does not know, and says so: PDF417 on
    // an HP A779, a cut on a Sunmi without a cutter (the paper is torn off), a
    // second drawer on a printer with none.
    TEST(Characters, AModelLeavesOutWhatItDoesNotKnow)
    {
        const struct {
            const char* model;
            std::string job;
            const char* notKnown;
        } cases[] = {
            { "hp-a779", TwoDimensional(48, 80, "0PDF") + TwoDimensional(48, 81, "0"), "PDF417" },
            { "fujitsu-fp1000", Bytes({ GS, 'k', 74, 4 }) + "0101", "GS1-128" },
            { "sunmi", "a\n" + Bytes({ GS, 'V', 0 }), "GS V" },
            { "sunmi", Bytes({ ESC, 'p', 0, 50, 50 }), "drawer pin 2" },
        };
        for (const auto& c : cases) {
            Model model;
            model.printer.setProfile(*FindPrinterProfile(c.model));
            model.printer.feed(c.job);
            EXPECT_EQ(model.printer.summary().notKnownByModel.count(c.notKnown), 1u)
                << c.model << " " << c.notKnown;
            EXPECT_EQ(model.printer.summary().symbolCount + model.printer.summary().cutCount
                    + model.printer.summary().drawerPulseCount,
                0)
                << c.model;
        }
        Model generic;
        generic.printer.feed(TwoDimensional(48, 80, "0PDF") + TwoDimensional(48, 81, "0"));
        EXPECT_TRUE(generic.printer.summary().notKnownByModel.empty());
    }

    // ---- paper and device ----

    TEST(PaperAndDevice, CutsSplitReceiptsAndMarkersShowPulses)
    {
        Model model;
        model.printer.feed("one\n" + Bytes({ ESC, 'p', 0, 50, 250 }) + Bytes({ GS, 'V', 66, 20 })
            + "two\n" + Bytes({ DLE, 0x14, 1, 1, 3 }) + Bytes({ ESC, 'i' }) + "three");
        const auto& receipts = model.printer.receipts();
        ASSERT_EQ(receipts.size(), 3u);
        EXPECT_TRUE(receipts[0].cut);
        EXPECT_EQ(receipts[0].height, 30 + 20); // fed 20 dots before the cut
        EXPECT_EQ(model.printer.summary().cutCount, 2);
        ASSERT_EQ(model.printer.summary().drawerPulses.size(), 2u);
        EXPECT_EQ(model.printer.summary().drawerPulses[0].what, "pin 2");
        EXPECT_EQ(model.printer.summary().drawerPulses[1].what, "pin 5");
        EXPECT_EQ(model.printer.summary().cuts[0].what, "partial");
        EXPECT_EQ(model.printer.summary().cuts[1].what, "full");
        EXPECT_TRUE(receipts[2].items.empty()); // "three" waits for its line feed
        EXPECT_EQ(model.printer.summary().receipts, 2);
    }

    // The list names a 2-D code's settings as the command reference does, not by
    // their raw parameter bytes.
    TEST(PaperAndDevice, TwoDimensionalSettingsReadAsTheReferenceNamesThem)
    {
        Model model;
        model.printer.feed(TwoDimensional(49, 65, "2\0") + TwoDimensional(49, 69, "1")
            + TwoDimensional(48, 69, "04") + TwoDimensional(48, 69, "1\x05"));
        std::vector<std::string> described;
        for (const ModelCommand& command : model.printer.receipts().back().commands)
            described.push_back(command.description);
        EXPECT_EQ(described,
            (std::vector<std::string> { "QR Code model 2", "QR Code error correction level M",
                "PDF417 error correction level 4", "PDF417 error correction ratio 50%" }));
    }

    // What a barcode prints under its bars, check digit included, from the
    // command reference's examples and the GS1 check digit rule.
    TEST(PaperAndDevice, PrintedTextCarriesTheCheckDigit)
    {
        EXPECT_EQ(PrintedText(SymbolKind::Ean13, "400638133393"), "4006381333931");
        EXPECT_EQ(PrintedText(SymbolKind::Ean13, "4006381333931"), "4006381333931");
        EXPECT_EQ(PrintedText(SymbolKind::UpcA, "01234567890"), "012345678905");
        EXPECT_EQ(PrintedText(SymbolKind::Ean8, "9638507"), "96385074");
        EXPECT_EQ(PrintedText(SymbolKind::Code39, "ABC-123"), "ABC-123");
    }

    // A job that stops inside a command says so: which, where, and what it lacks.
    TEST(PaperAndDevice, AJobEndingInsideACommandSaysSo)
    {
        struct Row {
            std::string job;
            const char* unfinished;
        };
        const Row rows[] = {
            { "ok\n" + Bytes({ GS, 'k', 73 }),
                "{\"offset\": 3, \"command\": \"GS k\", \"bytes_missing\": null}" },
            { "ok\n" + Bytes({ ESC, 'p', 0 }),
                "{\"offset\": 3, \"command\": \"ESC p\", \"bytes_missing\": 2}" },
            { "ok\n", "null" },
        };
        for (const Row& row : rows) {
            Model model;
            model.printer.feed(row.job);
            EXPECT_NE(ReceiptReportJson(model.printer, {})
                          .find(std::string("\"unfinished_command\": ") + row.unfinished),
                std::string::npos)
                << ReceiptReportJson(model.printer, {});
        }
    }

    // A drawer pulse or status requests after the last cut, or a second cut, feed
    // no paper: that is no receipt, in the report or in the preview.
    // Page mode: text lands where ESC $ and GS $ place it, turned by ESC T, and
    // the page prints at FF as tall as its print area; CAN empties it.
    TEST(PaperAndDevice, APageHoldsTextWhereItIsPlacedTurnedByTheDirection)
    {
        Model model;
        model.printer.feed(
            Bytes({ ESC, '@', ESC, 'L', ESC, 'W', 0, 0, 0, 0, 0x40, 2, 0x90, 1, GS, '$', 60, 0 })
            + "UP" + Bytes({ ESC, 'T', 3, ESC, '$', 20, 0, GS, '$', 40, 0 }) + "TURNED"
            + Bytes({ ESC, 0x0C, 0x18 }) + "GONE" + Bytes({ 0x18, 0x0C }) + "after\n");
        const std::vector<TextRun> runs = model.runs();
        ASSERT_EQ(runs.size(), 2u + 6u + 1u);
        EXPECT_EQ(Utf8(runs[0].text), "U");
        EXPECT_EQ(runs[0].x, 0);
        EXPECT_EQ(runs[0].y, 60 - 24); // standing on the base line at 60
        EXPECT_FALSE(runs[0].style.rotated);
        // Top to bottom, from the right edge: each character turned clockwise,
        // 24 dots wide and 12 high, going down from 20.
        EXPECT_TRUE(runs[2].style.rotated);
        EXPECT_FALSE(runs[2].style.upsideDown);
        EXPECT_EQ(runs[2].x, 576 - (40 - 24) - 24);
        EXPECT_EQ(runs[2].y, 20);
        EXPECT_EQ(runs[3].y, 20 + 12);
        EXPECT_EQ(runs[2].cellWidth, 24);
        // ESC FF printed the page, CAN emptied it and dropped "GONE", FF printed
        // it empty: 400 dots each.
        EXPECT_EQ(Utf8(runs.back().text), "after");
        EXPECT_EQ(runs.back().y, 800);
        EXPECT_EQ(model.printer.summary().notUnderstoodBytes, 0);
    }

    TEST(PaperAndDevice, PaperNeverFedIsNoReceipt)
    {
        Model model;
        model.printer.feed("one\n" + Bytes({ GS, 'V', 0 }) + Bytes({ GS, 'V', 0 })
            + Bytes({ ESC, 'p', 0, 50, 250 }) + Bytes({ DLE, 0x04, 1, DLE, 'R' }));
        const auto& receipts = model.printer.receipts();
        ASSERT_EQ(receipts.size(), 3u);
        EXPECT_TRUE(PaperFed(receipts[0]));
        EXPECT_FALSE(PaperFed(receipts[1])) << "only a cut";
        EXPECT_FALSE(PaperFed(receipts[2])) << "only a pulse and requests";
        EXPECT_NE(ReceiptReportJson(model.printer, {}).find("\"receipts\": 1,"), std::string::npos);
    }

    TEST(PaperAndDevice, StatusQueriesAreConsumedAndKnownCommandsListed)
    {
        Model model;
        model.printer.feed(
            Bytes({ DLE, 0x04, 1, GS, 'r', 1, DLE, 'R', ESC, 'r', 1, FS, 'S', 0, 0, GS, 'I', 67 })
            + Bytes({ GS, '(', 'K', 2, 0, 48, 1 }) + "x\n");
        const PrinterSummary& summary = model.printer.summary();
        EXPECT_EQ(summary.notUnderstoodBytes, 0);
        EXPECT_EQ(summary.statusRequests, 1);
        for (const char* kind : { "ESC r", "FS S", "GS I", "GS ( K" })
            EXPECT_EQ(summary.knownNotDrawn.count(kind), 1u) << kind;
        EXPECT_EQ(summary.knownNotDrawn.count("GS r"), 0u);
        EXPECT_EQ(Utf8(model.runs()[0].text), "x");
    }

    TEST(PaperAndDevice, StoredLogosAndGraphicsByKey)
    {
        Model model;
        const std::string define
            = Graphics(67, Bytes({ 48, 'A', '1', 1, 8, 0, 2, 0, 49, 0xFF, 0x81 }));
        model.printer.feed(Bytes({ FS, 'p', 1, 0 }) + define + Graphics(69, "A1" + Bytes({ 1, 1 }))
            + Graphics(69, "ZZ" + Bytes({ 1, 1 })));
        int images = 0, stored = 0;
        for (const PaperItem& item : model.last().items) {
            images += std::holds_alternative<BitImage>(item.what);
            if (auto* marker = std::get_if<Marker>(&item.what))
                stored += marker->kind == MarkerKind::StoredImage;
        }
        EXPECT_EQ(images, 1);
        EXPECT_EQ(stored, 2); // the logo and the graphics never defined here
    }

    // ---- bounds ----

    TEST(Bounds, OldestReceiptsAreDroppedAndCounted)
    {
        Model model(PrinterLimits { .keptReceipts = 3 });
        for (int i = 0; i < 10; ++i)
            model.printer.feed("receipt " + std::to_string(i) + "\n" + Bytes({ GS, 'V', 0 }));
        EXPECT_EQ(model.printer.receipts().size(), 3u);
        EXPECT_EQ(model.printer.droppedReceipts(), 8);
        EXPECT_EQ(model.printer.summary().cutCount, 10);
        EXPECT_EQ(Utf8(model.runs().back().text), "receipt 9");
        // Feeds make rows without memory: the rows kept are bounded too.
        Model fed(PrinterLimits { .keptRows = 5000 });
        for (int i = 0; i < 10; ++i)
            fed.printer.feed(Bytes({ ESC, 'J', 255, ESC, 'd', 100, GS, 'V', 0 }));
        long long rows = 0;
        for (const Receipt& receipt : fed.printer.receipts())
            rows += receipt.height;
        EXPECT_LE(rows, 5000);
        EXPECT_GT(fed.printer.droppedReceipts(), 0);
    }

    TEST(Bounds, AReceiptWithoutCutsGoesOnInANewOne)
    {
        Model model(PrinterLimits { .receiptHeight = 3000 });
        for (int i = 0; i < 300; ++i)
            model.printer.feed("line\n");
        for (std::size_t i = 0; i + 1 < model.printer.receipts().size(); ++i) {
            EXPECT_LE(model.printer.receipts()[i].height, 3000 + 30);
            EXPECT_FALSE(model.printer.receipts()[i].cut);
        }
        EXPECT_GE(model.printer.receipts().size(), 3u);
    }

    TEST(Bounds, ACommandTooLongToKeepIsSkippedWholeAndNotDrawn)
    {
        Model model(PrinterLimits { .commandBytes = 1000 });
        // 100 x 100 bytes of raster announced, sent in pieces.
        model.printer.feed(Bytes({ GS, 'v', '0', 0, 100, 0, 100, 0 }));
        for (int i = 0; i < 100; ++i)
            model.printer.feed(std::string(100, '\x1D'));
        model.printer.feed("after\n");
        EXPECT_EQ(model.printer.summary().notUnderstoodBytes, 0);
        auto runs = model.runs();
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(Utf8(runs[0].text), "after");
        EXPECT_EQ(model.last().commands[0].length, 8 + 10000);
        EXPECT_NE(model.last().commands[0].description.find("too long"), std::string::npos);
    }

    TEST(Bounds, ClearStartsANewPrinter)
    {
        Model model;
        model.printer.feed(Bytes({ GS, '!', 0x11 }) + "big\n" + Bytes({ GS, 'v', '0' }));
        model.printer.clear(kPaperWidth58);
        model.printer.feed("small\n");
        auto runs = model.runs();
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(runs[0].cellWidth, 12);
        EXPECT_EQ(model.printer.paperWidth(), kPaperWidth58);
        EXPECT_EQ(model.last().commands[0].offset, 0);
    }

} // namespace
} // namespace ostrel::test

namespace ostrel::test {
namespace {

    TEST(CommandText, NamesCommandsAndSumsUpLongData)
    {
        const std::vector<std::pair<std::string, std::string>> cases = {
            { Bytes({ ESC, 'E', 1 }), "ESC E 1" },
            { Bytes({ ESC, ' ', 2 }), "ESC SP 2" },
            { Bytes({ GS, '(', 'k', 3, 0, 49, 81, 48 }), "GS ( k 3 0 49 81 48" },
            { Bytes({ GS, 'v', '0', 0, 1, 0, 2, 0, 7, 7 }), "GS v 0 0 1 0 2 0 7 7" },
            { Bytes({ GS, 'v', '0', 0, 1, 0, 3, 0, 7, 7, 7, 7 }), "GS v 0 0 1 0 3 0 7 7 +2 bytes" },
            { Bytes({ DLE, 0x04, 1 }), "DLE EOT 1" },
            { Bytes({ ESC, GS, 'a', 1 }), "ESC GS a 1" },
            { Bytes({ ESC, 0x1E, 'F', 1 }), "ESC RS F 1" },
            { Bytes({ LF }), "LF" },
            { "", "" },
        };
        for (const auto& [bytes, text] : cases)
            EXPECT_EQ(receipt::CommandText(
                          reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()),
                text);
    }

} // namespace
} // namespace ostrel::test

namespace ostrel::test {
namespace {

    // Runs of bytes that feed no paper are held as bounded as paper is: each
    // kind alone, and those not understood, whose markers wait in one line.
    TEST(Bounds, RunsOfBytesThatFeedNoPaperAreBounded)
    {
        for (const std::string& unit : { Bytes({ 0x00 }), Bytes({ 0x07 }), Bytes({ 0x0D }),
                 Bytes({ 0x09 }), Bytes({ ESC, '@' }), Bytes({ 0x1C, 0x7F }) }) {
            SCOPED_TRACE(
                HexBytes(reinterpret_cast<const unsigned char*>(unit.data()), unit.size()));
            Model model(PrinterLimits { .keptBytes = 1 << 20, .receiptBytes = 256 << 10 });
            std::string run;
            for (int i = 0; i < 4096; ++i)
                run += unit;
            for (int i = 0; i < 40; ++i)
                model.printer.feed(run);
            std::size_t commands = 0, items = 0;
            for (const Receipt& receipt : model.printer.receipts()) {
                commands += receipt.commands.size();
                items += receipt.items.size();
            }
            EXPECT_LT(commands, 40u * 4096 / 4) << "of " << 40 * 4096;
            EXPECT_LT(items, 4096u);
        }
    }

    // Commands account for every byte: each starts where the one before ended,
    // also when text goes on in a new receipt because the last one was full.
    TEST(Bounds, CommandsFollowEachOtherAcrossReceiptsThatFilledUp)
    {
        Model model(PrinterLimits { .receiptHeight = 100 });
        model.printer.feed(std::string(48 * 10, 'a') + Bytes({ ESC, 'E', 1 }) + "b\n");
        long long end = 0;
        ASSERT_GT(model.printer.receipts().size(), 2u);
        for (const Receipt& receipt : model.printer.receipts())
            for (const ModelCommand& command : receipt.commands) {
                EXPECT_EQ(command.offset, end) << command.text;
                end = command.offset + command.length;
            }
        EXPECT_EQ(end, 48 * 10 + 5);
    }

} // namespace
} // namespace ostrel::test

namespace ostrel::test {
namespace {

    // The scan finds what the model finds, without the paper.
    TEST(NotUnderstoodScan, AgreesWithTheModelWhateverTheChunks)
    {
        const std::string job = "ab" + Bytes({ 0x01 })
            + Bytes({ GS, 'v', '0', 0, 1, 0, 2, 0, 0x01, 0x1F }) + Bytes({ ESC, 0x7F }) + "x"
            + Bytes({ GS, 0x02, DLE, 'R', 0x1F });
        Model model;
        model.printer.feed(job);
        for (std::size_t chunk : { std::size_t { 1 }, std::size_t { 3 }, job.size() }) {
            receipt::NotUnderstoodScan scan;
            for (std::size_t at = 0; at < job.size(); at += chunk)
                scan.feed(std::string_view(job).substr(at, chunk));
            EXPECT_EQ(scan.bytes(), model.printer.summary().notUnderstoodBytes);
            long long commands = 0;
            for (const auto& [kind, count] : model.printer.summary().commandsByKind)
                commands += count;
            EXPECT_EQ(scan.commands(), commands);
            ASSERT_EQ(scan.found().size(), model.printer.summary().notUnderstood.size());
            for (std::size_t i = 0; i < scan.found().size(); ++i) {
                EXPECT_EQ(scan.found()[i].first, model.printer.summary().notUnderstood[i].offset);
                EXPECT_EQ(scan.found()[i].second, model.printer.summary().notUnderstood[i].what);
            }
        }
    }

} // namespace
} // namespace ostrel::test

namespace ostrel::test {
namespace {

    // Stored logos too long to keep are passed over whole, wherever the chunks end.
    TEST(Bounds, LogosTooLongToKeepArePassedOverAlikeForAnyChunking)
    {
        const std::string job = Bytes({ FS, 'q', 2, 1, 0, 1, 0 }) + std::string(8, '\x1B')
            + Bytes({ 2, 0, 10, 0 }) + std::string(160, '\x1D') + "after\n";
        Model whole(PrinterLimits { .commandBytes = 100 });
        whole.printer.feed(job);
        ASSERT_EQ(whole.runs().size(), 1u);
        EXPECT_EQ(Utf8(whole.runs()[0].text), "after");
        EXPECT_EQ(whole.printer.summary().notUnderstoodBytes, 0);
        const std::string expected = Snapshot(whole.printer);
        for (std::size_t cut = 1; cut < job.size(); ++cut) {
            Model split(PrinterLimits { .commandBytes = 100 });
            split.printer.feed(std::string_view(job).substr(0, cut));
            split.printer.feed(std::string_view(job).substr(cut));
            ASSERT_EQ(Snapshot(split.printer), expected) << "cut at " << cut;
        }
    }

} // namespace
} // namespace ostrel::test

namespace ostrel::test {
namespace {

    std::string Lower(std::string text)
    {
        for (char& c : text)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    }

    // The row's name is the text the preview shows for its command, with what
    // its parameters say.
    TEST(CommandTables, EachCommandIsListedByItsRowsName)
    {
        int rows = 0;
        std::string wrong;
        for (const char* id : { "epson-tm-t88vi", "star-tsp650ii-line", "star-tsp100iv" }) {
            const receipt::PrinterProfile* profile = receipt::FindPrinterProfile(id);
            ASSERT_NE(profile, nullptr);
            for (const receipt::CommandRow& row : receipt::TableOf(profile->language).rows()) {
                const std::string command = WholeCommandOf(row);
                if (command.empty() || row.action == nullptr)
                    continue;
                Model model;
                model.printer.setProfile(*profile);
                model.printer.feed(command);
                model.printer.finish();
                for (const receipt::Receipt& receipt : model.printer.receipts())
                    for (const receipt::ModelCommand& listed : receipt.commands)
                        if (listed.offset == 0) {
                            ++rows;
                            if (Lower(listed.description).find(Lower(row.name))
                                == std::string::npos)
                                wrong += std::string(id) + ": " + row.name + " | "
                                    + listed.description + "\n";
                        }
            }
        }
        EXPECT_GT(rows, 100);
        EXPECT_EQ(wrong, "");
    }

} // namespace
} // namespace ostrel::test
