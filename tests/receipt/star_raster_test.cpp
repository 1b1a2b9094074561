// Star's raster mode: a job built here as Star's raster drivers send it,
// from a picture made here, drawn back dot for dot whatever the chunks.

#include "receipt/command_text.h"
#include "receipt/not_understood_scan.h"
#include "receipt/printer_profile.h"
#include "receipt/receipt_printer.h"
#include "tests/receipt/job_bytes.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

namespace ostrel::test {
namespace {

    using namespace receipt;

    constexpr int FF = 0x0C, EOT = 0x04, NUL = 0;

    // A picture, true for black, and a pattern with diagonals, a checkered
    // block, blank rows and dots at both edges.
    struct Picture {
        int width = 0, height = 0;
        std::vector<bool> dots;
        bool at(int x, int y) const { return dots[static_cast<std::size_t>(y * width + x)]; }
    };

    Picture Pattern(int width, int height, int seed)
    {
        Picture picture { width, height,
            std::vector<bool>(static_cast<std::size_t>(width * height)) };
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const bool blank = y % 16 >= 10 && y % 16 < 13;
                const bool diagonal = (x + y * seed) % 11 == 0;
                const bool checker = y % 16 < 6 && ((x / 3 + y / 2) % 2 == 0) && x > 40;
                const bool edge = x == 0 || x == width - 1;
                picture.dots[static_cast<std::size_t>(y * width + x)]
                    = !blank && (diagonal || checker || edge);
            }
        return picture;
    }

    std::string Digits(int n) { return std::to_string(n) + std::string(1, '\0'); }

    // A row packed 8 dots a byte, the leftmost in bit 7, trailing blank bytes
    // left off as the drivers leave them off.
    std::string Row(const Picture& picture, int y, int fromByte = 0)
    {
        std::string bytes(static_cast<std::size_t>((picture.width + 7) / 8), '\0');
        for (int x = fromByte * 8; x < picture.width; ++x)
            if (picture.at(x, y))
                bytes[static_cast<std::size_t>(x / 8)] |= static_cast<char>(0x80 >> (x % 8));
        while (!bytes.empty() && bytes.back() == '\0')
            bytes.pop_back();
        return bytes;
    }

    std::string Line(char letter, const std::string& data)
    {
        return std::string(1, letter)
            + Bytes({ static_cast<int>(data.size() % 256), static_cast<int>(data.size() / 256) })
            + data;
    }

    // Pages as a raster driver sends them: blank rows skipped with ESC * r Y,
    // every fifth row in two halves (k, then b on the same row), each page
    // ended by one more dot and ESC FF, the next page's NUL making it ESC FF NUL
    // and the job's EOT making the last ESC FF EOT.
    std::string RasterJob(const std::vector<Picture>& pages, int leftMarginBytes)
    {
        std::string job
            = Bytes({ ESC, '@', ESC, 0x1E, 'a', '0', ESC, 0x1E, 'A', 0, ESC, 0x07, 20, 20 });
        job += Bytes({ ESC, '*', 'r', 'R', ESC, '*', 'r', 'A' });
        job += Bytes({ ESC, '*', 'r', 'Q' }) + Digits(0) + Bytes({ ESC, '*', 'r', 'P' })
            + Digits(0);
        job += Bytes({ ESC, '*', 'r', 'm', 'l' }) + Digits(leftMarginBytes)
            + Bytes({ ESC, '*', 'r', 'T' }) + Digits(2);
        job += Bytes({ ESC, '*', 'r', 'F' }) + Digits(13) + Bytes({ ESC, '*', 'r', 'E' })
            + Digits(9);
        for (const Picture& page : pages) {
            job += Bytes({ NUL });
            int blank = 0;
            for (int y = 0; y < page.height; ++y) {
                const std::string row = Row(page, y);
                if (row.empty()) {
                    ++blank;
                    continue;
                }
                if (blank > 0)
                    job += Bytes({ ESC, '*', 'r', 'Y' }) + Digits(blank);
                blank = 0;
                if (y % 5 == 0) {
                    const std::string right = Row(page, y, 6);
                    std::string left = row.substr(0, std::min<std::size_t>(row.size(), 6));
                    job += Line('k', left) + Line('b', right);
                } else {
                    job += Line('b', row);
                }
            }
            job += Bytes({ ESC, '*', 'r', 'Y' }) + Digits(blank + 1) + Bytes({ ESC, FF });
        }
        return job + Bytes({ EOT, ESC, '*', 'r', 'B' });
    }

    // The dots a receipt's images drew, from `left` on, as a picture.
    Picture Drawn(const Receipt& receipt, int left, int width)
    {
        Picture drawn { width, receipt.height,
            std::vector<bool>(static_cast<std::size_t>(width * receipt.height)) };
        for (const PaperItem& item : receipt.items)
            if (const auto* image = std::get_if<BitImage>(&item.what))
                for (int y = 0; y < image->height; ++y)
                    for (int x = 0; x < image->width; ++x)
                        if (image->dot(x, y)) {
                            EXPECT_GE(image->x + x, left);
                            if (image->x + x - left < width && image->y + y < receipt.height)
                                drawn.dots[static_cast<std::size_t>(
                                    (image->y + y) * width + image->x + x - left)]
                                    = true;
                        }
        return drawn;
    }

    std::string Commands(const ReceiptPrinter& printer)
    {
        std::ostringstream out;
        for (const Receipt& receipt : printer.receipts()) {
            out << "receipt " << receipt.height << (receipt.cut ? " cut\n" : "\n");
            for (const ModelCommand& c : receipt.commands)
                out << c.offset << "+" << c.length << " " << c.text << " | " << c.description
                    << " @" << c.y << "\n";
            for (const PaperItem& item : receipt.items)
                if (const auto* image = std::get_if<BitImage>(&item.what))
                    out << "image " << image->x << "," << image->y << " " << image->width << "x"
                        << image->height << " by " << item.command << " "
                        << std::string(image->bits.begin(), image->bits.end()) << "\n";
        }
        return out.str();
    }

    struct Model {
        EstimatedSymbolGeometry geometry;
        ReceiptPrinter printer { geometry };
        explicit Model(const char* profile) { printer.setProfile(*FindPrinterProfile(profile)); }
    };

    TEST(StarRaster, ADriversJobDrawsItsPicturesDotForDot)
    {
        const std::vector<Picture> pages = { Pattern(100, 70, 1), Pattern(57, 33, 3) };
        const std::string job = RasterJob(pages, 2);
        for (const char* profile : { "star-tsp100iv", "star-mc-print2", "star-tsp650ii-line" }) {
            SCOPED_TRACE(profile);
            Model model(profile);
            model.printer.feed(job);
            EXPECT_EQ(model.printer.summary().notUnderstoodBytes, 0);
            EXPECT_EQ(model.printer.summary().cutCount, 2);
            ASSERT_EQ(model.printer.receipts().size(), 3u);
            for (std::size_t page = 0; page < pages.size(); ++page) {
                const Receipt& receipt = model.printer.receipts()[page];
                EXPECT_TRUE(receipt.cut);
                ASSERT_EQ(receipt.height, pages[page].height + 1);
                const Picture drawn = Drawn(receipt, 16, pages[page].width);
                for (int y = 0; y < pages[page].height; ++y)
                    for (int x = 0; x < pages[page].width; ++x)
                        ASSERT_EQ(drawn.at(x, y), pages[page].at(x, y))
                            << "page " << page << " at " << x << "," << y;
            }
            EXPECT_FALSE(PaperFed(model.printer.receipts().back()));
        }
        // ESC/POS has no raster mode: read so, the job's language is hinted at.
        Model escPos("star-tsp650ii");
        escPos.printer.feed(job);
        ASSERT_TRUE(escPos.printer.languageHint().has_value());
        EXPECT_EQ(escPos.printer.languageHint()->language, Language::StarLine);
    }

    // receiptline's Star Graphic mode (the README beside the fixture): its
    // pictures come back dot for dot where it centred them, a cut after each.
    TEST(StarRaster, ReceiptlinesPicturesComeBackDotForDot)
    {
        std::ifstream in(
            std::string(OSTREL_FIXTURES) + "/receiptline-stargraphic.bin", std::ios::binary);
        const std::string job(
            (std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_FALSE(job.empty());
        Model model("star-tsp100iv");
        model.printer.feed(job);
        EXPECT_EQ(model.printer.summary().notUnderstoodBytes, 0);
        EXPECT_EQ(model.printer.summary().cutCount, 2);
        const std::vector<Picture> pages = { Pattern(120, 50, 1), Pattern(64, 20, 3) };
        ASSERT_EQ(model.printer.receipts().size(), 3u);
        for (std::size_t page = 0; page < pages.size(); ++page) {
            const Picture& picture = pages[page];
            const Picture drawn
                = Drawn(model.printer.receipts()[page], (576 - picture.width) / 2, picture.width);
            ASSERT_GE(drawn.height, picture.height);
            for (int y = 0; y < picture.height; ++y)
                for (int x = 0; x < picture.width; ++x)
                    ASSERT_EQ(drawn.at(x, y), picture.at(x, y))
                        << "page " << page << " at " << x << "," << y;
        }
    }

    TEST(StarRaster, EveryChunkingGivesTheSameCommandsAndScan)
    {
        const std::string job = RasterJob({ Pattern(40, 24, 2), Pattern(9, 5, 1) }, 0) + "after";
        Model whole("star-tsp100iv");
        whole.printer.feed(job);
        const std::string expected = Commands(whole.printer);
        EXPECT_NE(expected.find("| Quit raster mode"), std::string::npos);
        for (std::size_t cut = 1; cut < job.size(); ++cut) {
            Model split("star-tsp100iv");
            split.printer.feed(std::string_view(job).substr(0, cut));
            split.printer.feed(std::string_view(job).substr(cut));
            ASSERT_EQ(Commands(split.printer), expected) << "cut at " << cut;
            NotUnderstoodScan scan(10, Language::StarPrnt);
            scan.feed(std::string_view(job).substr(0, cut));
            scan.feed(std::string_view(job).substr(cut));
            ASSERT_EQ(scan.cuts(), 1) << "cut at " << cut;
            ASSERT_EQ(scan.bytes(), 0);
        }
        Model bytewise("star-tsp100iv");
        for (char c : job)
            bytewise.printer.feed(std::string_view(&c, 1));
        EXPECT_EQ(Commands(bytewise.printer), expected);
    }

    // Each raster mode command as the manuals give it, then a one-byte line.
    TEST(StarRaster, EachCommandIsTakenWholeAndTheLineAfterItDrawn)
    {
        const std::vector<std::pair<std::string, std::size_t>> cases = {
            { Bytes({ ESC, '*', 'r', 'R' }), 4 },
            { Bytes({ ESC, '*', 'r', 'A' }), 4 },
            { Bytes({ ESC, '*', 'r', 'C' }), 4 },
            { Bytes({ ESC, '*', 'r', 'D' }) + Digits(1), 6 },
            { Bytes({ ESC, '*', 'r', 'E' }) + Digits(13), 7 },
            { Bytes({ ESC, '*', 'r', 'F' }) + Digits(9), 6 },
            { Bytes({ ESC, '*', 'r', 'K' }) + Digits(0), 6 },
            { Bytes({ ESC, '*', 'r', 'P' }) + Digits(400), 8 },
            { Bytes({ ESC, '*', 'r', 'Q' }) + Digits(2), 6 },
            { Bytes({ ESC, '*', 'r', 'T' }) + Digits(1), 6 },
            { Bytes({ ESC, '*', 'r', 'Y' }) + Digits(100), 8 },
            { Bytes({ ESC, '*', 'r', 'm', 'l' }) + Digits(10), 8 },
            { Bytes({ ESC, '*', 'r', 'm', 'r' }) + Digits(0), 7 },
            { Bytes({ ESC, '*', 'r', 'N' }) + Digits(3) + Bytes({ 'b', 0, 0 }), 9 },
            { Bytes({ ESC, FF, NUL }), 3 },
            { Bytes({ 'k', 2, 0, ESC, FF }), 5 },
            { Bytes({ 'b', 0, 0 }), 3 },
            { Bytes({ NUL }), 1 },
            { Bytes({ 0x07 }), 1 },
            { Bytes({ 0x05 }), 1 },
            { Bytes({ ESC, 0x06, 0x01 }), 3 },
            { Bytes({ ESC, 0x1E, 'a', 1 }), 4 },
            { Bytes({ ESC, 0x07, 20, 20 }), 4 },
            { Bytes({ ESC, 0x1E, 'A', 1 }), 4 },
            { Bytes({ ESC, 0x1E, 'd', '3' }), 4 },
            { Bytes({ ESC, 0x1E, 'r', 0 }), 4 },
            { Bytes({ ESC, GS, 0x19, 0x11, '1', 1, 1 }), 7 },
            { Bytes({ ESC, GS, 0x19, 0x12, '1', 2, 0 }), 7 },
            // A number that never ends is cut off after 255 digits.
            { Bytes({ ESC, '*', 'r', 'Q' }) + std::string(255, '0'), 259 },
        };
        for (const auto& [command, size] : cases) {
            SCOPED_TRACE(HexBytes(reinterpret_cast<const unsigned char*>(command.data()),
                std::min<std::size_t>(command.size(), 12)));
            Model model("star-tsp100iv");
            model.printer.feed(
                Bytes({ ESC, '*', 'r', 'A' }) + command + Bytes({ 'b', 1, 0, 0x80 }));
            EXPECT_EQ(model.printer.summary().notUnderstoodBytes, 0);
            std::vector<ModelCommand> commands;
            for (const Receipt& receipt : model.printer.receipts())
                commands.insert(commands.end(), receipt.commands.begin(), receipt.commands.end());
            ASSERT_GE(commands.size(), 3u);
            EXPECT_EQ(commands[1].offset, 4);
            EXPECT_EQ(commands[1].length, static_cast<long long>(size));
            EXPECT_EQ(commands.back().offset, static_cast<long long>(4 + size));
            EXPECT_EQ(commands.back().description, "Raster line, 8 dots");
        }
    }

    struct PageCase {
        const char* what;
        std::string settings;
        std::string end;
        long long cuts;
        int firstHeight;
    };

    class RasterPageEnd : public testing::TestWithParam<PageCase> { };

    // Three rows, then the page executed as the modes and the page length say.
    TEST_P(RasterPageEnd, FeedsAndCutsAsTheModesSay)
    {
        const PageCase& c = GetParam();
        Model model("star-tsp100iv");
        model.printer.feed(Bytes({ ESC, '*', 'r', 'A' }) + c.settings + Line('b', "\xFF")
            + Line('b', "\x01") + Line('b', "") + c.end + Bytes({ ESC, '*', 'r', 'B' }));
        EXPECT_EQ(model.printer.summary().cutCount, c.cuts);
        EXPECT_EQ(model.printer.receipts().front().height, c.firstHeight);
        EXPECT_EQ(model.printer.summary().notUnderstoodBytes, 0);
    }

    INSTANTIATE_TEST_SUITE_P(Modes, RasterPageEnd,
        testing::Values(
            PageCase { "EOT mode's initial partial cut", "", Bytes({ ESC, FF, EOT }), 1, 3 },
            PageCase { "EOT mode 1 feeds without a cut", Bytes({ ESC, '*', 'r', 'E' }) + Digits(1),
                Bytes({ ESC, FF, EOT }), 0, 3 },
            PageCase { "FF mode 8 cuts in full", Bytes({ ESC, '*', 'r', 'F' }) + Digits(8),
                Bytes({ ESC, FF, NUL }), 1, 3 },
            PageCase { "FF mode 3 is a tear bar", Bytes({ ESC, '*', 'r', 'F' }) + Digits(3),
                Bytes({ ESC, FF, NUL }), 0, 3 },
            PageCase { "EOT mode 36 cuts for the presenter",
                Bytes({ ESC, '*', 'r', 'E' }) + Digits(36), Bytes({ ESC, FF, EOT }), 1, 3 },
            PageCase { "a page length feeds the page to it",
                Bytes({ ESC, '*', 'r', 'P' }) + Digits(50), Bytes({ ESC, FF, EOT }), 1, 50 },
            PageCase { "quitting with rows left runs EOT mode", "", "", 1, 3 },
            PageCase { "cleared rows are dropped", "", Bytes({ ESC, '*', 'r', 'C' }), 0, 0 }),
        [](const testing::TestParamInfo<PageCase>& info) { return TestName(info.param.what); });

    // Margins come in bytes of 8 dots; what passes the right margin is dropped.
    TEST(StarRaster, MarginsPlaceAndClipTheLines)
    {
        Model model("star-mc-print2");
        model.printer.feed(Bytes({ ESC, '*', 'r', 'A', ESC, '*', 'r', 'm', 'l' }) + Digits(3)
            + Bytes({ ESC, '*', 'r', 'm', 'r' }) + Digits(44) + Bytes({ ESC, '*', 'r', 'm', 'l' })
            + Digits(5) + Line('b', std::string(48, '\xFF')));
        const Receipt& receipt = model.printer.receipts().back();
        ASSERT_EQ(receipt.items.size(), 1u);
        const auto& image = std::get<BitImage>(receipt.items[0].what);
        EXPECT_EQ(image.x, 24);
        EXPECT_EQ(image.width, 384 - 24 - 352);
        for (int x = 0; x < image.width; ++x)
            EXPECT_TRUE(image.dot(x, 0));
        EXPECT_NE(receipt.commands[3].description.find("ignored"), std::string::npos);
    }

} // namespace
} // namespace ostrel::test
