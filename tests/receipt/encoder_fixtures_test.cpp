// Jobs made by widely used receipt encoders (fixtures/, made by
// fixtures/make_fixtures.mjs with the tools and versions named there) are
// understood whole: no byte left over, the text and symbols they asked for.

#include "receipt/command_text.h"
#include "receipt/not_understood_scan.h"
#include "receipt/printer_profile.h"
#include "receipt/receipt_printer.h"

#include "tests/receipt/job_bytes.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <tuple>

namespace ostrel::test {
namespace {

    using namespace receipt;

    std::string Fixture(const std::string& name)
    {
        std::ifstream file(std::string(OSTREL_FIXTURES) + "/" + name, std::ios::binary);
        std::stringstream bytes;
        bytes << file.rdbuf();
        return bytes.str();
    }

    std::string AllText(const ReceiptPrinter& printer)
    {
        std::string text;
        for (const Receipt& receipt : printer.receipts())
            for (const PaperItem& item : receipt.items)
                if (auto* run = std::get_if<TextRun>(&item.what))
                    text += Utf8(run->text) + "|";
        return text;
    }

    struct FixtureCase {
        const char* file;
        std::vector<std::string> texts;
        std::vector<std::pair<SymbolKind, std::string>> symbols;
        int cuts;
        int drawerPulses;
        int images;
        const char* profile = "generic";
    };

    class EncoderFixtures : public testing::TestWithParam<FixtureCase> { };

    TEST_P(EncoderFixtures, AreUnderstoodWholeAndPrintWhatTheyAsk)
    {
        const FixtureCase& c = GetParam();
        const std::string job = Fixture(c.file);
        ASSERT_FALSE(job.empty()) << c.file;
        EstimatedSymbolGeometry geometry;
        ReceiptPrinter printer(geometry);
        const PrinterProfile& profile = *FindPrinterProfile(c.profile);
        printer.setProfile(profile);
        printer.feed(job);
        EXPECT_FALSE(printer.languageHint()) << printer.languageHint()->text;
        const PrinterSummary& summary = printer.summary();
        EXPECT_EQ(summary.notUnderstoodBytes, 0)
            << (summary.notUnderstood.empty() ? "" : summary.notUnderstood[0].what);
        EXPECT_EQ(summary.unmappedBytes, 0) << "a byte whose page has no character";
        const std::string text = AllText(printer);
        for (const std::string& wanted : c.texts)
            EXPECT_NE(text.find(wanted), std::string::npos) << wanted << " in " << text;
        ASSERT_EQ(summary.symbols.size(), c.symbols.size());
        for (std::size_t i = 0; i < c.symbols.size(); ++i) {
            EXPECT_EQ(summary.symbols[i].kind, c.symbols[i].first);
            EXPECT_EQ(summary.symbols[i].data, c.symbols[i].second);
        }
        EXPECT_EQ(summary.cutCount, c.cuts);
        EXPECT_EQ(summary.drawerPulseCount, c.drawerPulses);
        // The job line's count of the model's commands, without the model.
        NotUnderstoodScan scan(1000, profile.language);
        scan.feed(job);
        long long commands = 0;
        for (const auto& [kind, count] : summary.commandsByKind)
            commands += count;
        EXPECT_EQ(scan.commands(), commands);
        int images = 0;
        for (const Receipt& receipt : printer.receipts())
            for (const PaperItem& item : receipt.items)
                images += std::holds_alternative<BitImage>(item.what);
        EXPECT_EQ(images, c.images);
    }

    const std::vector<std::string> kEncoderTexts = { "OSTREL CAFE", "12 Harbour Road", "Espresso",
        "2.40", "Croissant", "3.10", "TOTAL 5.50", "Thank you" };

    std::vector<std::string> StarTexts()
    {
        std::vector<std::string> texts = kEncoderTexts;
        texts.insert(texts.end(), { "PAID", "Small print in font B" });
        return texts;
    }
    const std::vector<std::string> kStarTexts = StarTexts();
    const std::vector<std::pair<SymbolKind, std::string>> kStarSymbols
        = { { SymbolKind::Ean13, "4006381333931" }, { SymbolKind::Code128, "RL-0042" },
              { SymbolKind::QrCode, "https://example.com/r/1234" },
              { SymbolKind::Pdf417, "OSTREL 1234" } };
    const std::vector<std::string> kReceiptlineTexts = { "RECEIPTLINE", "Item", "1.00",
        "Second item", "22.50", "Underlined", "bold", "Total", "5.50" };
    const std::vector<std::pair<SymbolKind, std::string>> kReceiptlineSymbols
        = { { SymbolKind::Ean13, "1234567890128" }, { SymbolKind::Code128, "RL-0042" } };

    INSTANTIATE_TEST_SUITE_P(Jobs, EncoderFixtures,
        testing::Values(
            // Column images come as 24-dot stripes of ESC *: two stripes for 48 rows.
            FixtureCase { "encoder-column-image.bin", kEncoderTexts,
                { { SymbolKind::Ean13, "4006381333931" },
                    { SymbolKind::QrCode, "https://example.com/r/1234" } },
                1, 1, 2 },
            FixtureCase { "encoder-raster-image.bin", kEncoderTexts,
                { { SymbolKind::Ean13, "4006381333931" },
                    { SymbolKind::QrCode, "https://example.com/r/1234" } },
                1, 1, 1 },
            // receiptline draws its QR code as a raster image of its own.
            FixtureCase { "receiptline.bin",
                { "RECEIPTLINE", "Item", "1.00", "Second item", "22.50", "Underlined", "bold" },
                { { SymbolKind::Ean13, "123456789012" }, { SymbolKind::Code128, "RL-0042" } }, 2, 0,
                1 },
            // Its table rules are the line pieces of code page 1.
            FixtureCase { "receiptline-table.bin",
                { "CAFE OSTREL", "Item", "Price", "Espresso", "2.40", "TOTAL", "5.50", "╭───",
                    "─┬─", "│", "├", "─┼─", "┤", "─╯" },
                {}, 1, 0, 0 },
            // Upside down, each line holds its characters in the order they
            // print, right to left: turned, the paper reads "CAFE OSTREL".
            FixtureCase {
                "receiptline-upside-down.bin", { "LERTSO EFAC", "enil dnoceS" }, {}, 1, 0, 0 },
            // The same receipt in Star's languages: 24-dot column images, three
            // stripes for 48 rows; receiptline draws its QR code as raster graphics.
            FixtureCase {
                "star-line-tsp650ii.bin", kStarTexts, kStarSymbols, 1, 1, 2, "star-tsp650ii-line" },
            FixtureCase {
                "star-prnt-tsp100iv.bin", kStarTexts, kStarSymbols, 1, 1, 2, "star-tsp100iv" },
            FixtureCase { "receiptline-starsbcs.bin", kReceiptlineTexts, kReceiptlineSymbols, 2, 0,
                1, "star-tsp100iv" },
            FixtureCase { "receiptline-starmbcs.bin", kReceiptlineTexts, kReceiptlineSymbols, 2, 0,
                1, "star-tsp100iv" },
            FixtureCase { "receiptline-starlinesbcs.bin", kReceiptlineTexts, kReceiptlineSymbols, 2,
                0, 6, "star-tsp650ii-line" },
            // ESC/POS, with Star's QR Code commands, as Star's ESC/POS emulation reads them.
            FixtureCase { "react-thermal-printer-star.bin", { "OSTREL CAFE" },
                { { SymbolKind::QrCode, "https://example.com/r/1234" } }, 1, 0, 0,
                "star-tsp650ii" }),
        [](const testing::TestParamInfo<FixtureCase>& info) { return TestName(info.param.file); });

    // Each model's job, made by an encoder that numbers code pages as that model
    // does, prints its accents and euro sign right under the model's profile:
    // checked by code point, what the model says each byte prints.
    class ProfileFixtures : public testing::TestWithParam<const PrinterProfile*> { };

    TEST_P(ProfileFixtures, PrintAccentsAndTheEuroSignUnderTheirModel)
    {
        const PrinterProfile& profile = *GetParam();
        const std::string job = Fixture("profile-" + profile.id + ".bin");
        ASSERT_FALSE(job.empty()) << profile.id;
        EstimatedSymbolGeometry geometry;
        ReceiptPrinter printer(geometry);
        printer.setProfile(profile);
        printer.feed(job);
        EXPECT_EQ(printer.summary().notUnderstoodBytes, 0);
        EXPECT_EQ(printer.summary().unmappedBytes, 0);
        EXPECT_EQ(printer.paperWidth(), profile.printDots);
        const std::string text = AllText(printer);
        for (const char* line : { "Grüße € 12,50", "Café crème brûlée 4,20 €", "Ñandú señor año",
                 "Smörgåsbord Æble Øl" }) {
            std::string glued; // a line may come as several runs, one a code page
            for (char ch : text)
                if (ch != '|')
                    glued += ch;
            EXPECT_NE(glued.find(line), std::string::npos) << line << " in " << text;
        }
    }

    // The models an encoder writes for, in ESC/POS or Star's languages: not the
    // generic one, nor the printer the command log describes, which no encoder knows.
    std::vector<const PrinterProfile*> EncodedModels()
    {
        std::vector<const PrinterProfile*> models;
        for (const PrinterProfile* profile : PrinterProfiles())
            if (profile != &GenericProfile() && profile->language != Language::CommandLog)
                models.push_back(profile);
        return models;
    }

    INSTANTIATE_TEST_SUITE_P(Models, ProfileFixtures, testing::ValuesIn(EncodedModels()),
        [](const testing::TestParamInfo<const PrinterProfile*>& info) {
            return TestName(info.param->id);
        });

    // The generic profile is the printer as it was: every job of the other
    // models that needs no page past the standard numbering reads the same.
    // A job read under a model of the wrong language names the model to try;
    // under its own, or a job that reads the same either way, nothing.
    TEST(ProfileFixtures, AJobInAnotherLanguageNamesTheModelToTry)
    {
        const std::vector<std::tuple<const char*, const char*, const char*>> rows = {
            { "star-line-tsp650ii.bin", "generic", "star-tsp650ii-line" },
            { "receiptline-starsbcs.bin", "star-tsp650ii", "star-tsp650ii-line" },
            { "encoder-raster-image.bin", "star-tsp100iv", "generic" },
            { "star-prnt-tsp100iv.bin", "star-tsp100iv", nullptr },
            { "star-prnt-tsp100iv.bin", "star-tsp650ii-line", nullptr },
            { "profile-epson-tm-t88vi.bin", "star-tsp100iv",
                "generic" }, // ESC t and ESC M are not Star's
        };
        EstimatedSymbolGeometry geometry;
        ReceiptPrinter printer(geometry);
        for (const auto& [file, model, hinted] : rows) {
            printer.setProfile(*FindPrinterProfile(model));
            printer.feed(Fixture(file));
            const auto hint = printer.languageHint();
            EXPECT_EQ(hint ? hint->profile : std::string("none"), hinted ? hinted : "none")
                << file << " as " << model;
        }
    }

    TEST(ProfileFixtures, TheGenericProfileKeepsTheStandardNumbering)
    {
        EstimatedSymbolGeometry geometry;
        ReceiptPrinter plain(geometry), generic(geometry);
        generic.setProfile(GenericProfile());
        for (const char* file :
            { "profile-epson-tm-t88vi.bin", "receiptline-table.bin", "encoder-raster-image.bin" }) {
            plain.clear();
            generic.clear();
            plain.feed(Fixture(file));
            generic.feed(Fixture(file));
            EXPECT_EQ(AllText(plain), AllText(generic)) << file;
        }
        // Citizen's page 2 holds the euro sign where PC850 holds a dotless i.
        generic.clear();
        generic.feed(Fixture("profile-citizen-ct-s310ii.bin"));
        EXPECT_NE(AllText(generic).find("ı"), std::string::npos);
    }

} // namespace
} // namespace ostrel::test
