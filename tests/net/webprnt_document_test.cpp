// WebPRNT documents read by the Star models: each element as the commands
// the model names, every byte understood, symbols and text decoded back;
// the answer as Star's trader reads it; refused documents.

#include "net/webprnt_document.h"
#include "receipt/command_text.h"
#include "receipt/receipt_printer.h"
#include "tests/receipt/printed_by_model.h"

#include <QXmlStreamReader>

#include <gtest/gtest.h>

namespace ostrel::test {
namespace {

    using namespace receipt;

    // As StarWebPrintTrader posts it: <root> escaped as the text of <Request>.
    QByteArray Posted(const std::string& elements, const std::string& rootAttributes = "")
    {
        QString root
            = QString::fromStdString("<root" + rootAttributes + ">" + elements + "</root>");
        return ("<StarWebPrint xmlns=\"http://www.star-m.jp\" "
                "xmlns:i=\"http://www.w3.org/2001/XMLSchema-instance\">"
                "<Request>"
            + root.toHtmlEscaped() + "</Request></StarWebPrint>")
            .toUtf8();
    }

    std::unique_ptr<Printed> Print(const std::string& commands, const char* model)
    {
        return PrintOn(commands, model);
    }

    struct DocumentCase {
        std::string elements;
        std::vector<std::string> commands; // the model's names, in order
    };

    TEST(WebPrntDocument, EveryElementIsCommandsBothStarLanguagesReadWhole)
    {
        const std::vector<DocumentCase> cases = {
            { "<initialization/>", { "Initialize printer" } },
            { "<alignment position=\"center\"/>", { "Align center" } },
            { "<alignment position=\"right\"/>", { "Align right" } },
            { "<text emphasis=\"true\" invert=\"true\" underline=\"true\">A</text>",
                { "Emphasis on", "White/black inversion on", "Underline on", "\"A\"" } },
            { "<text emphasis=\"false\" invert=\"false\" underline=\"false\"/>",
                { "Emphasis off", "White/black inversion off", "Underline off" } },
            { "<text width=\"2\"/><text height=\"3\"/>",
                { "Expansion 2 wide, 1 high", "Expansion 2 wide, 3 high" } },
            { "<text font=\"font_b\" linespace=\"24\" characterspace=\"3\"/>",
                { "Line spacing 3 mm", "Font B (9 x 24)", "Character spacing 3 dots" } },
            { "<text codepage=\"cp1252\" international=\"uk\"/>",
                { "Code page CP1252", "International character set ISO646-GB" } },
            { "<text>a\\x0a</text>", { "\"a\"", "Line feed" } },
            { "<feed line=\"2\"/><feed unit=\"16\"/>", { "Feed 2 lines", "Feed 16/8 mm" } },
            { "<cutpaper/>", { "Partial cut" } },
            { "<cutpaper type=\"full\" feed=\"true\"/>", { "Feed and full cut" } },
            { "<cutpaper type=\"partial\" feed=\"true\"/>", { "Feed and partial cut" } },
            { "<logo number=\"2\" width=\"double\"/>", { "Print stored logo 2" } },
            { "<peripheral channel=\"1\" on=\"200\" off=\"100\"/>",
                { "Drawer pulse width 200 ms on, 100 ms off", "Drawer pulse, pin 2" } },
            { "<peripheral channel=\"2\"/>",
                { "Drawer pulse width 200 ms on, 200 ms off", "Drawer pulse, pin 5" } },
            { "<sound channel=\"1\" repeat=\"2\"/>", { "Buzzer drive, 2 times" } },
            { "<bitimage width=\"9\" height=\"2\">gAD/gA==</bitimage>",
                { "Raster graphics 16 x 2 dots" } },
            { "<ruledline thickness=\"double_medium\" width=\"100\"/>",
                { "Raster graphics 104 x 6 dots" } },
            { "<barcode symbology=\"Code128\" width=\"width3\" height=\"60\" "
              "hri=\"true\">12345</barcode>",
                { "Barcode CODE128" } },
            { "<qrcode model=\"model2\" level=\"level_m\" cell=\"4\">https://x.example/1</qrcode>",
                { "QR Code model 2", "QR Code error correction level M", "QR Code cell size 4 dots",
                    "Store QR Code data (19 bytes)", "Print QR Code" } },
            { "<pdf417 level=\"level2\" line=\"0\" column=\"4\" module=\"3\" "
              "aspect=\"3\">PDF</pdf417>",
                { "PDF417 error correction level 2", "PDF417 size 0 rows, 4 columns",
                    "PDF417 module width 3 dots", "PDF417 module height 3 times its width",
                    "Store PDF417 data (3 bytes)", "Print PDF417" } },
            { "<rawdata>\n G0\r\nU=\n</rawdata>", { "Emphasis on" } },
            { "<pdf417 line=\"0\" column=\"0\">P</pdf417>",
                { "Store PDF417 data (1 bytes)", "Print PDF417" } },
            { "<holdprint type=\"valid\"/><sound_with_setting volume=\"volume_max\"/>", {} },
        };
        for (const char* model : { "star-tsp100iv", "star-tsp650ii-line", "star-mc-print2" })
            for (const DocumentCase& c : cases) {
                SCOPED_TRACE(std::string(model) + ": " + c.elements);
                std::string error;
                const WebPrntRequest request
                    = ReadWebPrntRequest(Posted(c.elements), *FindPrinterProfile(model), error);
                ASSERT_EQ(error, "");
                EXPECT_FALSE(request.statusOnly);
                const auto printed = Print(request.commands, model);
                EXPECT_EQ(printed->printer.summary().notUnderstoodBytes, 0);
                // Every command the model names, each as the row expects it.
                std::vector<std::string> named;
                for (std::size_t k = 0; k < printed->commands.size(); ++k)
                    named.push_back(
                        k < c.commands.size() && printed->commands[k].rfind(c.commands[k], 0) == 0
                            ? c.commands[k]
                            : printed->commands[k]);
                EXPECT_EQ(named, c.commands);
            }
    }

    TEST(WebPrntDocument, SymbolsAndTextReadBackAsTheTillSentThem)
    {
        std::string error;
        // The builder's escapes: \xNN a byte, \\ a backslash; characters in
        // the table the text element chose.
        const WebPrntRequest request = ReadWebPrntRequest(
            Posted("<text codepage=\"cp858\">caf\xC3\xA9 \\\\ \\x41&amp;</text>"
                   "<barcode symbology=\"JAN13\">490123456789</barcode>"
                   "<qrcode>Q\\x26R</qrcode><pdf417>P417</pdf417>"),
            *FindPrinterProfile("star-tsp100iv"), error);
        ASSERT_EQ(error, "");
        const auto printed = Print(request.commands, "star-tsp100iv");
        EXPECT_EQ(printed->text, "caf\xC3\xA9 \\ A&");
        std::vector<std::pair<std::string, std::string>> symbols;
        for (const auto& seen : printed->printer.summary().symbols)
            symbols.emplace_back(SymbolKindName(seen.kind), seen.data);
        const std::vector<std::pair<std::string, std::string>> sent
            = { { SymbolKindName(SymbolKind::Ean13), "490123456789" },
                  { SymbolKindName(SymbolKind::QrCode), "Q&R" },
                  { SymbolKindName(SymbolKind::Pdf417), "P417" } };
        EXPECT_EQ(symbols, sent);
    }

    TEST(WebPrntDocument, AnEmptyRequestOnlyAsksForTheStatus)
    {
        for (const QByteArray& body :
            { QByteArray(), QByteArray("  \n"), Posted(""), QByteArray("<root/>"),
                QByteArray("<StarWebPrint "
                           "xmlns=\"http://www.star-m.jp\"><Request></Request></StarWebPrint>") }) {
            SCOPED_TRACE(body.toStdString());
            std::string error;
            const WebPrntRequest request
                = ReadWebPrntRequest(body, *FindPrinterProfile("star-tsp100iv"), error);
            EXPECT_EQ(error, "");
            EXPECT_TRUE(request.statusOnly);
            EXPECT_EQ(request.commands, "");
        }
    }

    TEST(WebPrntDocument, ABadDocumentIsRefusedNamingWhatIsWrong)
    {
        const std::vector<std::pair<QByteArray, std::string>> cases = {
            { "<!DOCTYPE root [<!ENTITY x \"y\">]><root><text>&x;</text></root>", "DOCTYPE" },
            { Posted("<text>a</text>").replace("</Request>", ""), "not well-formed" },
            { "<print/>", "neither <StarWebPrint> nor <root>" },
            { Posted("<page/>"), "<page> is no WebPRNT element" },
            { Posted("<text><b>x</b></text>"), "<text> holds <b>" },
            { Posted("<text emphasis=\"yes\"/>"), "emphasis=yes is none of false, true" },
            { Posted("<text width=\"7\"/>"), "width=7 is not a number from 1 to 6" },
            { Posted("<text codepage=\"cp3001\"/>"), "the model has no such table" },
            { Posted("<text>\\xZ1</text>"), "two hex digits" },
            { Posted("<bitimage width=\"8\" height=\"2\">!!</bitimage>"), "not base64" },
            { Posted("<bitimage width=\"8\" height=\"3\">gAA=</bitimage>"),
                "holds 2 bytes for 8 x 3 dots, which take 3" },
            { Posted("<bitimage width=\"600\" height=\"1\"></bitimage>"),
                "wider than the 576 dots" },
            { Posted("<barcode>1</barcode>"), "needs a symbology" },
            { Posted("<feed/>"), "needs line or unit" },
            { Posted("<pdf417>" + std::string(1025, 'p') + "</pdf417>"), "more than the 1024" },
            { Posted("<text/>", " papertype=\"roll\""), "papertype" },
            { QByteArray(kWebPrntMaxDocumentBytes + 1, ' '), "more than the" },
            { Posted("<" + std::string(3000, 'n') + "/>"), "nnn...> is no WebPRNT element" },
        };
        for (const auto& [body, reason] : cases) {
            SCOPED_TRACE(body.left(200).toStdString());
            std::string error;
            const WebPrntRequest request
                = ReadWebPrntRequest(body, *FindPrinterProfile("star-tsp100iv"), error);
            EXPECT_NE(error.find(reason), std::string::npos) << error;
            EXPECT_LT(error.size(), 300u); // a peer's names are shown cut short
            EXPECT_EQ(request.commands, "");
            EXPECT_FALSE(request.statusOnly);
        }
    }

    // What the trader reads from the answer: the text of <Response>, and in it
    // success, code and status, as its isCoverOpen... read the status's bytes.
    struct TraderView {
        std::string success, code, status;
        int byte(int n) const { return std::stoi(status.substr(2 * n, 2), nullptr, 16); }
    };

    TraderView Read(const QByteArray& answer)
    {
        QXmlStreamReader xml(answer);
        QString response;
        while (!xml.atEnd())
            if (xml.readNext() == QXmlStreamReader::StartElement
                && xml.name() == QLatin1String("Response"))
                response = xml.readElementText();
        EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
        const std::string text = response.toStdString();
        auto between = [&](const std::string& tag) {
            const auto start = text.find("<" + tag + ">") + tag.size() + 2;
            return text.substr(start, text.find("</" + tag + ">") - start);
        };
        return { between("success"), between("code"), between("status") };
    }

    TEST(WebPrntAnswer, TheStatusTellsTheTraderWhatTheStateIs)
    {
        struct StateCase {
            const char* state;
            const char* code;
            bool coverOpen, offline, paperEnd, nearEnd, nonRecoverable, cutter;
        };
        const std::vector<StateCase> cases = {
            { "", "0", false, false, false, false, false, false },
            { "cover-open", "1100", true, true, false, false, false, false },
            { "paper-out", "1100", false, true, true, false, false, false },
            { "paper-near-end", "0", false, false, false, true, false, false },
            { "offline", "1100", false, true, false, false, false, false },
            { "unrecoverable-error", "1100", false, true, false, false, true, false },
            { "cutter-error", "1100", false, true, false, false, false, true },
        };
        for (const StateCase& c : cases) {
            SCOPED_TRACE(c.state);
            PrinterState state;
            std::string error;
            ASSERT_TRUE(ParsePrinterState(c.state, state, error)) << error;
            EXPECT_EQ(WebPrntCode(state), c.code);
            const TraderView view
                = Read(WebPrntResponse(state, WebPrntCode(state) == "0", WebPrntCode(state)));
            EXPECT_EQ(view.success, std::string(c.code) == "0" ? "true" : "false");
            EXPECT_EQ(view.code, c.code);
            ASSERT_EQ(
                view.status.size(), 22u); // nine bytes and two of length, as the manual's example
            EXPECT_EQ((view.byte(2) & 0x20) != 0, c.coverOpen);
            EXPECT_EQ((view.byte(2) & 0x08) != 0, c.offline);
            EXPECT_EQ((view.byte(5) & 0x08) != 0, c.paperEnd);
            EXPECT_EQ((view.byte(5) & 0x04) != 0, c.nearEnd);
            EXPECT_EQ((view.byte(3) & 0x20) != 0, c.nonRecoverable);
            EXPECT_EQ((view.byte(3) & 0x08) != 0, c.cutter);
        }
        EXPECT_EQ(
            Read(WebPrntResponse(PrinterState {}, true, "0")).status, "2386000000000000000000");
    }

    TEST(WebPrntAnswer, OnlyStarsOwnLanguagesSpeakIt)
    {
        EXPECT_TRUE(SpeaksWebPrnt(*FindPrinterProfile("star-tsp100iv")));
        EXPECT_TRUE(SpeaksWebPrnt(*FindPrinterProfile("star-tsp650ii-line")));
        EXPECT_FALSE(SpeaksWebPrnt(*FindPrinterProfile("star-tsp650ii")));
        EXPECT_FALSE(SpeaksWebPrnt(*FindPrinterProfile("epson-tm-t88vi")));
    }

} // namespace
} // namespace ostrel::test
