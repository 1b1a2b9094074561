// Every barcode and 2-D code the printer model draws, read back from the
// rendered paper by an independent reader (ZXing-C++).

#define ZX_USE_UTF8
#include "receipt/receipt_printer.h"
#include "render/receipt_renderer.h"
#include "render/symbol_encoder.h"
#include "tests/receipt/job_bytes.h"

#include <ZXing/ReadBarcode.h>

#include <QGuiApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace ostrel::test {
namespace {

    using receipt::ReceiptPrinter;

    std::string Decode(const QImage& paper, ZXing::BarcodeFormat format)
    {
        // A margin of white all round, as the reader wants its quiet zone.
        QImage gray(paper.width() + 80, paper.height() + 80, QImage::Format_Grayscale8);
        gray.fill(255);
        QImage plain = paper.convertToFormat(QImage::Format_Grayscale8);
        for (int y = 0; y < plain.height(); ++y)
            std::copy_n(plain.constScanLine(y), plain.width(), gray.scanLine(y + 40) + 40);
        ZXing::ImageView view(gray.constBits(), gray.width(), gray.height(),
            ZXing::ImageFormat::Lum, static_cast<int>(gray.bytesPerLine()));
        ZXing::DecodeHints hints;
        hints.setFormats(format);
        hints.setTryHarder(true);
        ZXing::Result result = ZXing::ReadBarcode(view, hints);
        return result.isValid() ? result.text()
                                : std::string("(not read: ") + ToString(result.error()) + ")";
    }

    std::string WithoutParentheses(std::string text)
    {
        text.erase(
            std::remove_if(text.begin(), text.end(), [](char c) { return c == '(' || c == ')'; }),
            text.end());
        return text;
    }

    struct SymbolCase {
        const char* name;
        std::string job; // after ESC @ and centring
        ZXing::BarcodeFormat format;
        std::string expected; // what the reader returns
    };

    std::string Counted(int m, std::string_view data)
    {
        return Bytes({ GS, 'k', m, static_cast<int>(data.size()) }) + std::string(data);
    }

    std::string Stored(int cn, std::string_view data, std::string settings = {})
    {
        return settings + TwoDimensional(cn, 80, "0" + std::string(data))
            + TwoDimensional(cn, 81, "0");
    }

    class SymbolsDecodeBack : public testing::TestWithParam<SymbolCase> { };

    TEST_P(SymbolsDecodeBack, AsTheJobAskedAtEveryModuleWidth)
    {
        const SymbolCase& c = GetParam();
        for (int module : { 2, 3 }) {
            render::ZintSymbolGeometry geometry;
            ReceiptPrinter printer(geometry);
            std::string settings = Bytes({ ESC, '@', ESC, 'a', 1, GS, 'h', 80, GS, 'w', module });
            settings += TwoDimensional(49, 67, std::string(1, static_cast<char>(module + 2)));
            settings += TwoDimensional(54, 67, std::string(1, static_cast<char>(module + 2)));
            settings += TwoDimensional(53, 67, std::string(1, static_cast<char>(module + 2)));
            printer.feed(settings + c.job + "\n");
            ASSERT_EQ(printer.summary().symbolCount, 1);
            ASSERT_TRUE(printer.summary().symbols.front().printed) << c.name;
            render::ReceiptRenderer renderer;
            QImage paper = renderer.render(printer.receipts().back(), printer.paperWidth());
            std::string read = Decode(paper, c.format);
            if (c.format == ZXing::BarcodeFormat::DataBar
                || c.format == ZXing::BarcodeFormat::DataBarExpanded
                || c.expected.rfind("01", 0) == 0)
                read = WithoutParentheses(read);
            EXPECT_EQ(read, c.expected) << c.name << " at module width " << module;
        }
    }

    using F = ZXing::BarcodeFormat;
    INSTANTIATE_TEST_SUITE_P(EveryKind, SymbolsDecodeBack,
        testing::Values(SymbolCase { "UPC-A", Bytes({ GS, 'k', 0 }) + "01234567890" + Bytes({ 0 }),
                            F::UPCA, "012345678905" },
            SymbolCase { "UPC-A counted", Counted(65, "01234567890"), F::UPCA, "012345678905" },
            SymbolCase { "UPC-E", Counted(66, "0123456"), F::UPCE, "01234565" },
            SymbolCase { "EAN-13", Bytes({ GS, 'k', 2 }) + "400638133393" + Bytes({ 0 }), F::EAN13,
                "4006381333931" },
            SymbolCase { "EAN-13 with check digit", Counted(67, "4006381333931"), F::EAN13,
                "4006381333931" },
            SymbolCase { "EAN-8", Counted(68, "9638507"), F::EAN8, "96385074" },
            SymbolCase {
                "CODE39", Bytes({ GS, 'k', 4 }) + "ABC-123" + Bytes({ 0 }), F::Code39, "ABC-123" },
            SymbolCase { "CODE39 counted", Counted(69, "OSTREL 42"), F::Code39, "OSTREL 42" },
            SymbolCase { "ITF", Counted(70, "12345678"), F::ITF, "12345678" },
            SymbolCase { "CODABAR", Counted(71, "A40156B"), F::Codabar, "40156" },
            SymbolCase { "CODE93", Counted(72, "CODE93"), F::Code93, "CODE93" },
            SymbolCase { "CODE128 set B", Counted(73, "{BOstrel-42"), F::Code128, "Ostrel-42" },
            SymbolCase {
                "CODE128 set C", Counted(73, "{C" + Bytes({ 12, 34, 56 })), F::Code128, "123456" },
            SymbolCase { "CODE128 sets B then C", Counted(73, "{BNo{C" + Bytes({ 20, 26 })),
                F::Code128, "No2026" },
            SymbolCase {
                "GS1-128", Counted(74, "(01)09501101530003"), F::Code128, "0109501101530003" },
            SymbolCase { "GS1-128 bare element strings",
                Bytes({ GS, 'w', 2 }) + Counted(74, "01095011015300031726123110AB-123"), F::Code128,
                "01095011015300031726123110AB-123" },
            SymbolCase { "GS1 DataBar Omnidirectional", Counted(75, "0950110153000"), F::DataBar,
                "09501101530003" },
            SymbolCase { "GS1 DataBar Truncated", Counted(76, "0950110153000"), F::DataBar,
                "09501101530003" },
            SymbolCase {
                "GS1 DataBar Expanded", Counted(78, "(10)ABC123"), F::DataBarExpanded, "10ABC123" },
            SymbolCase { "QR Code",
                Stored(49, "https://example.com/ostrel?id=42", TwoDimensional(49, 69, "1")),
                F::QRCode, "https://example.com/ostrel?id=42" },
            SymbolCase { "PDF417", Stored(48, "Ostrel PDF417 test 12345"), F::PDF417,
                "Ostrel PDF417 test 12345" },
            SymbolCase { "DataMatrix", Stored(54, "Ostrel DataMatrix 2026"), F::DataMatrix,
                "Ostrel DataMatrix 2026" },
            SymbolCase { "Aztec", Stored(53, "Ostrel Aztec"), F::Aztec, "Ostrel Aztec" }),
        [](const testing::TestParamInfo<SymbolCase>& info) { return TestName(info.param.name); });

    TEST(SymbolsDecodeBack, ASymbolWiderThanThePrintAreaIsNotPrinted)
    {
        render::ZintSymbolGeometry geometry;
        ReceiptPrinter printer(geometry);
        printer.feed(
            Bytes({ ESC, '@', GS, 'w', 6 }) + Counted(73, "{B" + std::string(40, 'W')) + "\n");
        ASSERT_EQ(printer.summary().symbolCount, 1);
        EXPECT_FALSE(printer.summary().symbols.front().printed);
    }

    // ZXing-C++ 1.4 has no reader for GS1 DataBar Limited; the model still places
    // it and the renderer still draws bars for it.
    TEST(SymbolsDecodeBack, DataBarLimitedIsDrawn)
    {
        render::ZintSymbolGeometry geometry;
        ReceiptPrinter printer(geometry);
        printer.feed(Bytes({ ESC, '@', GS, 'h', 60 }) + Counted(77, "0950110153000") + "\n");
        ASSERT_EQ(printer.summary().symbolCount, 1);
        EXPECT_TRUE(printer.summary().symbols.front().printed);
        render::ReceiptRenderer renderer;
        QImage paper = renderer.render(printer.receipts().back(), printer.paperWidth());
        int black = 0;
        for (int x = 0; x < paper.width(); ++x)
            black += paper.pixelIndex(x, 30);
        EXPECT_GT(black, 20);
    }

    // Star jobs from the encoders, drawn under their Star models (the ESC/POS
    // emulation's too): each symbol, and a QR Code the job drew as images, read
    // back band by band.
    TEST(SymbolsDecodeBack, StarJobsFromTheEncoders)
    {
        struct StarJob {
            const char* file;
            const char* model;
            std::vector<std::string> expected;
        };
        const std::vector<StarJob> jobs = {
            { "star-line-tsp650ii.bin", "star-tsp650ii-line",
                { "4006381333931", "RL-0042", "https://example.com/r/1234", "OSTREL 1234" } },
            { "star-prnt-tsp100iv.bin", "star-tsp100iv",
                { "4006381333931", "RL-0042", "https://example.com/r/1234", "OSTREL 1234" } },
            { "receiptline-starsbcs.bin", "star-tsp100iv",
                { "1234567890128", "RL-0042", "https://example.com/receiptline" } },
            { "receiptline-starlinesbcs.bin", "star-tsp650ii-line",
                { "1234567890128", "RL-0042", "https://example.com/receiptline" } },
            { "react-thermal-printer-star.bin", "star-tsp650ii", { "https://example.com/r/1234" } },
        };
        for (const StarJob& job : jobs) {
            std::ifstream file(std::string(OSTREL_FIXTURES) + "/" + job.file, std::ios::binary);
            const std::string bytes(
                (std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            render::ZintSymbolGeometry geometry;
            ReceiptPrinter printer(geometry);
            printer.setProfile(*receipt::FindPrinterProfile(job.model));
            printer.feed(bytes);
            std::vector<std::string> read;
            render::ReceiptRenderer renderer;
            for (const receipt::Receipt& receipt : printer.receipts()) {
                const QImage paper = renderer.render(receipt, printer.paperWidth());
                int imagesFrom = -1, imagesTo = -1; // the rows the images cover, read as one
                for (const receipt::PaperItem& item : receipt.items) {
                    if (const auto* symbol = std::get_if<receipt::Symbol>(&item.what))
                        read.push_back(Decode(
                            paper.copy(0, symbol->y, paper.width(), symbol->height + 40), F::Any));
                    if (const auto* image = std::get_if<receipt::BitImage>(&item.what)) {
                        imagesFrom = imagesFrom < 0 ? image->y : std::min(imagesFrom, image->y);
                        imagesTo = std::max(imagesTo, image->y + image->height);
                    }
                }
                if (imagesFrom >= 0) {
                    const std::string qr = Decode(
                        paper.copy(0, imagesFrom, paper.width(), imagesTo - imagesFrom), F::QRCode);
                    if (qr.rfind("(not read", 0) != 0)
                        read.push_back(qr);
                }
            }
            for (const std::string& wanted : job.expected)
                EXPECT_NE(std::find(read.begin(), read.end(), wanted), read.end())
                    << wanted << " from " << job.file;
        }
    }

    TEST(SymbolsDecodeBack, DataTheSymbolCannotHoldPrintsNothingAndSaysSo)
    {
        render::ZintSymbolGeometry geometry;
        ReceiptPrinter printer(geometry);
        printer.feed(Bytes({ ESC, '@' }) + Counted(67, "12AB") + "after\n");
        ASSERT_EQ(printer.summary().symbolCount, 1);
        EXPECT_FALSE(printer.summary().symbols.front().printed);
        const auto& commands = printer.receipts().back().commands;
        EXPECT_NE(commands[1].description.find("nothing printed"), std::string::npos);
        EXPECT_EQ(commands[2].kind, "Text");
    }

} // namespace
} // namespace ostrel::test

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
