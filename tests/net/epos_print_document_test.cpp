// ePOS-Print documents read into ESC/POS: each element as the commands the
// printer model names, every byte understood, text and symbols read back;
// the status bits against the printer's states, as Epson's SDK names them;
// refused documents; the answer as the SDK reads it.

#include "net/epos_print_document.h"
#include "receipt/command_text.h"
#include "receipt/receipt_printer.h"
#include "tests/receipt/printed_by_model.h"

#include <QXmlStreamReader>

#include <gtest/gtest.h>

namespace ostrel::test {
namespace {

    using namespace receipt;

    const std::string kOpen
        = "<epos-print xmlns=\"http://www.epson-pos.com/schemas/2011/03/epos-print\">";

    // As Epson's SDK posts it: the document in a SOAP envelope.
    QByteArray Posted(const std::string& elements)
    {
        return QByteArray::fromStdString(
            "<?xml version=\"1.0\" encoding=\"utf-8\"?><s:Envelope "
            "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>"
            + kOpen + elements + "</epos-print></s:Body></s:Envelope>");
    }

    std::unique_ptr<Printed> Print(const std::string& commands)
    {
        return PrintOn(commands, "epson-tm-t88vi");
    }

    struct DocumentCase {
        std::string elements;
        std::vector<std::string> commands; // the model's names, in order
    };

    TEST(EposPrintDocument, EveryElementIsCommandsTheModelReadsWhole)
    {
        const std::vector<DocumentCase> cases = {
            { "<text lang=\"en\" align=\"center\" font=\"font_b\" smooth=\"true\" dw=\"true\" "
              "dh=\"true\"/>",
                { "Align center", "Font B (9 x 17)", "Smoothing on", "Character size 2 x 2" } },
            { "<text width=\"3\" height=\"2\" reverse=\"true\" ul=\"true\" em=\"true\" "
              "color=\"color_2\"/>",
                { "Character size 3 x 2", "Reverse on", "Underline 1 dot", "Bold on",
                    "Print colour 2" } },
            { "<text x=\"40\" linespc=\"50\" rotate=\"true\">B&#10;</text>",
                { "Absolute position 40 dots", "Line spacing 50 dots", "Upside-down on", "\"B\"",
                    "Print and line feed" } },
            { "<text>Caf\xC3\xA9 \xE2\x82\xAC&#10;</text>",
                { "\"Caf\"", "Code page CP437", "\"\xC3\xA9 \"", "Code page CP1252",
                    "\"\xE2\x82\xAC\"", "Print and line feed" } },
            { "<feed/><feed unit=\"20\"/><feed line=\"3\"/><feed linespc=\"40\" line=\"1\"/>",
                { "Print and line feed", "Print and feed 20 dots", "Print and feed 3 lines",
                    "Line spacing 40 dots", "Print and feed 1 lines" } },
            { "<feed pos=\"cutting\"/>", { "Label and black mark control" } },
            { "<image width=\"16\" height=\"2\">//8A\nAA==</image>",
                { "Store graphics 16 x 2 dots", "Print stored graphics" } },
            { "<image width=\"3\" height=\"2\" mode=\"gray16\" align=\"center\">8AAP8A==</image>",
                { "Align center", "Store graphics 3 x 2 dots", "Print stored graphics" } },
            { "<logo key1=\"48\" key2=\"49\"/>", { "Print NV graphics 01" } },
            { "<barcode type=\"ean13\" hri=\"below\" font=\"font_a\" width=\"3\" "
              "height=\"50\">201234567890</barcode>",
                { "Barcode text below", "Barcode text font A", "Barcode module width 3 dots",
                    "Barcode height 50 dots", "Barcode EAN-13 \"201234567890\"" } },
            { "<symbol type=\"qrcode_model_2\" level=\"level_h\" width=\"5\">hi</symbol>",
                { "QR Code model 2", "QR Code module size 5 dots",
                    "QR Code error correction level H", "Store QR Code data (2 bytes)",
                    "Print QR Code \"hi\"" } },
            { "<symbol type=\"pdf417_truncated\" level=\"level_2\" width=\"3\" height=\"3\" "
              "size=\"4\">hi</symbol>",
                { "PDF417 columns 4", "PDF417 module size 3 dots", "PDF417 row height 3",
                    "PDF417 error correction level 2", "PDF417 options 1",
                    "Store PDF417 data (2 bytes)", "Print PDF417 \"hi\"" } },
            { "<symbol type=\"azteccode_compact\" level=\"23\" width=\"4\">hi</symbol>",
                { "Aztec symbol type", "Aztec module size 4 dots", "Aztec error correction 23",
                    "Store Aztec data (2 bytes)", "Print Aztec \"hi\"" } },
            { "<symbol type=\"datamatrix_square\">hi</symbol>",
                { "DataMatrix symbol type", "Store DataMatrix data (2 bytes)",
                    "Print DataMatrix \"hi\"" } },
            { "<symbol type=\"maxicode_mode_4\">hi</symbol>",
                { "MaxiCode function", "MaxiCode function", "MaxiCode function" } },
            { "<hline x1=\"0\" x2=\"100\" style=\"thin_double\"/>",
                { "Align left", "Store graphics 101 x 3 dots", "Print stored graphics" } },
            { "<page><area x=\"0\" y=\"0\" width=\"500\" height=\"300\"/><direction "
              "dir=\"bottom_to_top\"/>"
              "<position x=\"10\" y=\"40\"/><rectangle x1=\"5\" y1=\"5\" x2=\"50\" y2=\"60\" "
              "style=\"thick\"/></page>",
                { "Page mode", "Print area 500 x 300 dots at 0, 0", "Print direction bottom to top",
                    "Absolute position 10 dots", "Vertical position 40 dots",
                    "Absolute position 5 dots", "Vertical position 63 dots",
                    "Store graphics 48 x 58 dots", "Print stored graphics",
                    "Print the page and return to standard mode" } },
            { "<cut/><cut type=\"no_feed\"/><cut type=\"full_cut_feed\"/><cut "
              "type=\"full_cut_reserve\"/>",
                { "Partial cut", "Partial cut", "Full cut", "Full cut" } },
            { "<pulse/><pulse drawer=\"drawer_2\" time=\"pulse_500\"/>",
                { "Drawer pulse, pin 2", "Drawer pulse, pin 5" } },
            { "<sound pattern=\"pattern_a\" repeat=\"2\" cycle=\"500\"/>", { "Beeper" } },
            { "<layout type=\"label\" width=\"580\" height=\"400\"/><recovery/><reset/>",
                { "Real-time request to printer (consumed)", "Initialize printer" } },
            { "<command>1b40 0A</command>", { "Initialize printer", "Print and line feed" } },
        };
        for (const DocumentCase& c : cases) {
            SCOPED_TRACE(c.elements);
            std::string error;
            const EposPrintRequest request
                = ReadEposPrintRequest(Posted(c.elements), error, "epson-tm-t88vi");
            ASSERT_EQ(error, "");
            EXPECT_FALSE(request.statusOnly);
            const auto printed = Print(request.commands);
            EXPECT_EQ(printed->commands, c.commands);
            EXPECT_EQ(printed->printer.summary().notUnderstoodBytes, 0);
        }
    }

    TEST(EposPrintDocument, AReceiptReadsBackAsItsTextAndSymbols)
    {
        std::string error;
        const EposPrintRequest request = ReadEposPrintRequest(
            Posted("<text align=\"center\">Caf\xC3\xA9 \xC3\x91o\xC3\xB1o&#10;</text><text>Total "
                   "12,50 \xE2\x82\xAC&#10;</text>"
                   "<barcode type=\"code39\" hri=\"below\">ABC123</barcode>"
                   "<symbol type=\"qrcode_model_2\">https://example.com/\\x41\\\\</symbol><cut/>"),
            error);
        ASSERT_EQ(error, "");
        const auto printed = Print(request.commands);
        EXPECT_EQ(printed->text, "Caf\xC3\xA9 \xC3\x91o\xC3\xB1oTotal 12,50 \xE2\x82\xAC");
        const auto& symbols = printed->printer.summary().symbols;
        ASSERT_EQ(symbols.size(), 2u);
        EXPECT_EQ(symbols[0].data, "ABC123");
        EXPECT_EQ(symbols[1].data, "https://example.com/A\\"); // the SDK's escapes undone
        EXPECT_EQ(printed->printer.summary().cutCount, 1);
    }

    TEST(EposPrintDocument, AnEmptyDocumentAsksForTheStatusOnly)
    {
        for (const std::string& body : { kOpen + "</epos-print>", kOpen + " \n </epos-print>",
                 std::string("<epos-print "
                             "xmlns=\"http://www.epson-pos.com/schemas/2011/03/epos-print\"/>") }) {
            std::string error;
            const EposPrintRequest request
                = ReadEposPrintRequest(QByteArray::fromStdString(body), error);
            EXPECT_EQ(error, "") << body;
            EXPECT_TRUE(request.statusOnly) << body;
            EXPECT_EQ(request.commands, "");
        }
    }

    TEST(EposPrintDocument, ServerDirectPrintsWrapperGivesItsDeviceAndTimeout)
    {
        const std::string body
            = "<PrintRequestInfo><ePOSPrint><Parameter><devid>local_printer</devid>"
              "<timeout>10000</timeout><printjobid>7</printjobid></Parameter><PrintData>"
            + kOpen + "<feed/></epos-print></PrintData></ePOSPrint></PrintRequestInfo>";
        std::string error;
        const EposPrintRequest request
            = ReadEposPrintRequest(QByteArray::fromStdString(body), error);
        EXPECT_EQ(error, "");
        EXPECT_EQ(request.devid, "local_printer");
        EXPECT_EQ(request.timeoutMs, 10000);
        EXPECT_EQ(request.commands, "\n");
    }

    TEST(EposPrintDocument, ABadDocumentIsRefusedWithNothingToPrint)
    {
        std::string nested = "<a>";
        for (int i = 0; i < kEposMaxDepth; ++i)
            nested = "<a>" + nested + "</a>";
        const std::vector<std::pair<std::string, std::string>> cases = {
            { "<!DOCTYPE epos-print [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" + kOpen
                    + "<text>&x;</text></epos-print>",
                "DOCTYPE" },
            { "<s:Envelope xmlns:s=\"s\">" + nested + kOpen + "</epos-print></s:Envelope>",
                "deeper" },
            { kOpen + "<page><page/></page></epos-print>", "<page> inside <page>" },
            { kOpen + "<paper/></epos-print>", "unknown element <paper>" },
            { kOpen + "<text size=\"2\">x</text></epos-print>", "no attribute size" },
            { kOpen + "<text width=\"9\">x</text></epos-print>", "from 1 to 8" },
            { kOpen + "<text align=\"middle\">x</text></epos-print>",
                "not one of left, center, right" },
            { kOpen + "<text em=\"yes\"/></epos-print>", "not true or false" },
            { kOpen + "<image width=\"8\" height=\"1\">*A==</image></epos-print>", "not base64" },
            { kOpen + "<image width=\"8\" height=\"2\">AA==</image></epos-print>",
                "takes 2 bytes, not 1" },
            { kOpen + "<image width=\"577\" height=\"1\">AA==</image></epos-print>",
                "wider than the paper's 576" },
            { kOpen + "<hline x1=\"0\" x2=\"600\"/></epos-print>", "past the paper" },
            { kOpen + "<barcode type=\"code39\">A\\q</barcode></epos-print>", "backslash" },
            { kOpen + "<barcode>1</barcode></epos-print>", "needs a type" },
            { kOpen + "<symbol type=\"pdf417_standard\" level=\"level_h\">x</symbol></epos-print>",
                "not a PDF417 level" },
            { kOpen + "<command>1b4</command></epos-print>", "odd number" },
            { kOpen + "<command>zz</command></epos-print>", "not hex" },
            { kOpen + "<area x=\"0\" y=\"0\" width=\"1\" height=\"1\"/></epos-print>",
                "belongs inside <page>" },
            { kOpen + "loose</epos-print>", "text outside" },
            { kOpen + "<text>a<b/></text></epos-print>", "holds an element" },
            { kOpen + "<feed>x</feed></epos-print>", "holds text" },
            { kOpen + "<text>", "not well-formed" },
            { "<epos-print><text>x</text></epos-print>", "no <epos-print> element" },
            { "<epos-print xmlns=\"http://www.epson-pos.com/schemas/2011/03/epos-print\"><x:text "
              "xmlns:x=\"y\"/></epos-print>",
                "not of the ePOS-Print namespace" },
        };
        for (const auto& [body, why] : cases) {
            std::string error;
            const EposPrintRequest request
                = ReadEposPrintRequest(QByteArray::fromStdString(body), error);
            EXPECT_NE(error.find(why), std::string::npos) << body << "\n said: " << error;
            EXPECT_EQ(request.commands, "") << body;
            EXPECT_FALSE(request.statusOnly) << body;
        }
        std::string error;
        QByteArray large = QByteArray::fromStdString(kOpen + "<text>");
        large += QByteArray(kEposMaxDocumentBytes, 'a') + "</text></epos-print>";
        EXPECT_EQ(ReadEposPrintRequest(large, error).commands, "");
        EXPECT_NE(error.find("larger than"), std::string::npos);

        // Small elements that each draw a large raster.
        std::string rectangles = "<page>";
        for (int i = 0; i < 140; ++i)
            rectangles += "<rectangle x1=\"0\" y1=\"0\" x2=\"570\" y2=\"7000\"/>";
        EXPECT_EQ(ReadEposPrintRequest(Posted(rectangles + "</page>"), error).commands, "");
        EXPECT_NE(error.find("bytes of commands"), std::string::npos) << error;
    }

    // Epson's status bits, as its SDK for JavaScript names them.
    enum : std::uint32_t {
        ASB_NO_RESPONSE = 0x1,
        ASB_PRINT_SUCCESS = 0x2,
        ASB_DRAWER_KICK = 0x4,
        ASB_OFF_LINE = 0x8,
        ASB_COVER_OPEN = 0x20,
        ASB_PAPER_FEED = 0x40,
        ASB_MECHANICAL_ERR = 0x400,
        ASB_AUTOCUTTER_ERR = 0x800,
        ASB_UNRECOVER_ERR = 0x2000,
        ASB_RECEIPT_NEAR_END = 0x20000,
        ASB_RECEIPT_END = 0x80000,
    };

    TEST(EposPrintDocument, StatusBitsAndCodesFollowThePrintersState)
    {
        struct StateCase {
            const char* state;
            std::uint32_t set, clear;
            const char* code;
        };
        const std::vector<StateCase> cases = {
            { "", 0,
                ASB_OFF_LINE | ASB_COVER_OPEN | ASB_RECEIPT_END | ASB_RECEIPT_NEAR_END
                    | ASB_DRAWER_KICK,
                "" },
            { "paper-out", ASB_RECEIPT_END | ASB_OFF_LINE, ASB_COVER_OPEN, "EPTR_REC_EMPTY" },
            { "paper-near-end", ASB_RECEIPT_NEAR_END, ASB_RECEIPT_END | ASB_OFF_LINE, "" },
            { "cover-open", ASB_COVER_OPEN | ASB_OFF_LINE, ASB_RECEIPT_END, "EPTR_COVER_OPEN" },
            { "cover-open,paper-out", ASB_COVER_OPEN | ASB_RECEIPT_END | ASB_OFF_LINE, 0,
                "EPTR_COVER_OPEN" },
            { "drawer-open", ASB_DRAWER_KICK, ASB_OFF_LINE, "" },
            { "feed-button", ASB_PAPER_FEED | ASB_OFF_LINE, 0, "EX_TIMEOUT" },
            { "offline", ASB_OFF_LINE, ASB_COVER_OPEN, "EX_TIMEOUT" },
            { "cutter-error", ASB_AUTOCUTTER_ERR | ASB_OFF_LINE, ASB_UNRECOVER_ERR, "EPTR_CUTTER" },
            { "unrecoverable-error", ASB_UNRECOVER_ERR | ASB_OFF_LINE, ASB_AUTOCUTTER_ERR,
                "EPTR_UNRECOVERABLE" },
            { "error", ASB_MECHANICAL_ERR | ASB_OFF_LINE, 0, "EPTR_MECHANICAL" },
        };
        for (const StateCase& c : cases) {
            SCOPED_TRACE(c.state);
            PrinterState state;
            std::string error;
            ASSERT_TRUE(ParsePrinterState(c.state, state, error)) << error;
            const std::uint32_t status = EposStatus(state);
            EXPECT_EQ(status & c.set, c.set);
            EXPECT_EQ(status & c.clear, 0u);
            // The service's own bits are the answer's, never the state's.
            EXPECT_EQ(status & (ASB_NO_RESPONSE | ASB_PRINT_SUCCESS), 0u);
            EXPECT_EQ(EposErrorCode(state), c.code);
        }
    }

    TEST(EposPrintDocument, TheAnswerReadsAsTheSdkReadsIt)
    {
        const QByteArray answer
            = EposPrintResponse(false, "EPTR_REC_EMPTY\"/><x", ASB_RECEIPT_END | ASB_OFF_LINE);
        QXmlStreamReader xml(answer);
        bool found = false;
        while (!xml.atEnd())
            if (xml.readNext() == QXmlStreamReader::StartElement
                && xml.name() == QLatin1String("response")) {
                found = true;
                EXPECT_EQ(xml.namespaceUri().toString().toStdString(),
                    "http://www.epson-pos.com/schemas/2011/03/epos-print");
                EXPECT_EQ(xml.attributes().value("success").toString(), "false");
                EXPECT_EQ(xml.attributes().value("code").toString(),
                    "EPTR_REC_EMPTYx"); // nothing of the markup
                EXPECT_EQ(xml.attributes().value("status").toString().toULong(),
                    (ASB_RECEIPT_END | ASB_OFF_LINE));
                EXPECT_EQ(xml.attributes().value("battery").toString(), "0");
            }
        EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
        EXPECT_TRUE(found);
    }

} // namespace
} // namespace ostrel::test
