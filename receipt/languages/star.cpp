#include "receipt/receipt_printer.h"

#include "receipt/command_bytes.h"
#include "receipt/command_table.h"
#include "receipt/raster_images.h"

#include <algorithm>

// Star's own languages, Star Line mode and StarPRNT, one row a command, as
// Star's command specifications give them. StarPRNT is Line mode's rows and
// a few of its own; Star's ESC/POS emulation is ESC/POS's rows and Star's QR
// Code commands. Numbers come as a byte or an ASCII digit: Digit() reads both.
namespace ostrel::receipt {

using namespace bytes;
using namespace length;

namespace {

    // ESC b n1 n2 n3 n4, data, RS.
    CommandSize StarBarcodeLength(const unsigned char* b, std::size_t available, long long cap)
    {
        return Terminated<6, 0x1E>(b, available, cap);
    }

    // ESC GS S m xL xH yL yH n, then x*y bytes.
    CommandSize StarRasterLength(const unsigned char* b, std::size_t available, long long)
    {
        if (available < 9)
            return Need();
        return Fixed(available, 9 + (b[4] + 256LL * b[5]) * (b[6] + 256LL * b[7]));
    }

    // ESC k n1 n2, then 24 rows of n1 + n2*256 bytes.
    CommandSize StarRasterBandLength(const unsigned char* b, std::size_t available, long long)
    {
        if (available < 4)
            return Need();
        return Fixed(available, 4 + 24LL * (b[2] + 256LL * b[3]));
    }

    // ESC X, ESC K, ESC L n1 n2 and n1 + n2*256 columns of `Bytes` bytes each.
    template <int Bytes>
    CommandSize StarColumnsLength(const unsigned char* b, std::size_t available, long long)
    {
        if (available < 4)
            return Need();
        return Fixed(available, 4 + Bytes * (b[2] + 256LL * b[3]));
    }

    // ESC GS y D 1 m nL nH and n bytes of QR Code data.
    CommandSize StarQrDataLength(const unsigned char* b, std::size_t available, long long)
    {
        if (available < 8)
            return Need();
        return Fixed(available, 8 + b[6] + 256LL * b[7]);
    }

} // namespace

// One row a line: clang-format cannot lay out rows whose action is a DOES
// lambda.
// clang-format off
#define DOES [](ReceiptPrinter& p, [[maybe_unused]] const unsigned char* c, [[maybe_unused]] long long length)

// Star's QR Code commands, the same in Line mode, StarPRNT and the ESC/POS
// emulation. They share the stored symbol of GS ( k's QR Code.
std::vector<CommandRow> ReceiptPrinter::StarQrRows() {
    return {
        {"\x1b\x1dy", NotUnderstood<3>, "QR Code", nullptr},
        {"\x1b\x1dyS0", Bytes<6>, "QR Code model", DOES { p.setting(c, length, "QR Code model " + std::to_string(Digit(c[5]))); }},
        {"\x1b\x1dyS1", Bytes<6>, "QR Code error correction", DOES {
             const int n = std::clamp(Digit(c[5]), 0, 3);
             p.symbols_[49].errorCorrection = 48 + n;
             p.setting(c, length, std::string("QR Code error correction level ") + "LMQH"[n]);
         }},
        {"\x1b\x1dyS2", Bytes<6>, "QR Code cell size", DOES {
             p.symbols_[49].moduleSize = std::clamp(Digit(c[5]), 1, 16);
             p.setting(c, length, "QR Code cell size " + std::to_string(Digit(c[5])) + " dots");
         }},
        {"\x1b\x1dyD1", StarQrDataLength, "Store QR Code data", DOES {
             p.symbols_[49].data.assign(reinterpret_cast<const char*>(c + 8), static_cast<std::size_t>(length - 8));
             p.setting(c, length, "Store QR Code data (" + std::to_string(length - 8) + " bytes)");
         }},
        {"\x1b\x1dyP", Bytes<4>, "Print QR Code", DOES { p.printStored(c, length, 49, "Print QR Code"); }},
        {"\x1b\x1dyI", Bytes<4>, "QR Code information (consumed)", DOES { p.addCommand(c, length, "QR Code information (consumed)", CommandClass::Status); }},
    };
}

std::vector<CommandRow> ReceiptPrinter::StarLineRows() {
    std::vector<CommandRow> rows = {
        // Single bytes.
        {std::string_view("\0", 1), Bytes<1>, "Null byte, ignored", DOES { p.knownNotDrawn(c, length, "Null byte, ignored"); }},
        {"\x09", Bytes<1>, "Horizontal tab", DOES { p.horizontalTab(c, length); }},
        {"\x0a", Bytes<1>, "Line feed", DOES {
             p.addCommand(c, length, "Line feed", CommandClass::Drawn);
             p.printLine(p.settings_.lineSpacing);
         }},
        {"\x0d", Bytes<1>, "Carriage return", DOES { p.setting(c, length, "Carriage return"); }},
        {"\x0c", Bytes<1>, "Form feed", DOES {
             p.addCommand(c, length, "Form feed", CommandClass::Drawn);
             p.printLine(p.settings_.lineSpacing);
         }},
        {"\x0b", Bytes<1>, "Vertical tab", DOES {
             p.addCommand(c, length, "Vertical tab", CommandClass::Drawn);
             p.printLine(p.settings_.lineSpacing);
         }},
        {"\x0e", Bytes<1>, "Double width on", DOES { p.settings_.style.widthScale = 2; p.setting(c, length, "Double width on"); }},
        {"\x14", Bytes<1>, "Double width off", DOES { p.settings_.style.widthScale = 1; p.setting(c, length, "Double width off"); }},
        {"\x0f", Bytes<1>, "Upside-down printing on", DOES { p.settings_.upsideDown = true; p.setting(c, length, "Upside-down printing on"); }},
        {"\x12", Bytes<1>, "Upside-down printing off", DOES { p.settings_.upsideDown = false; p.setting(c, length, "Upside-down printing off"); }},
        {"\x18", Bytes<1>, "Cancel print data", DOES {
             p.knownNotDrawn(c, length, "Cancel print data (the line waiting is dropped)");
             p.line_ = PendingLine{};
         }, Role::StarEtbReset},
        {"\x07", Bytes<1>, "Drawer pulse", DOES { p.drawerPulse(c, length, false); }, Role::DrawerPulse},
        {"\x1a", Bytes<1>, "Drawer pulse", DOES { p.drawerPulse(c, length, true); }, Role::DrawerPulse},
        {"\x1c", Bytes<1>, "Drawer pulse", DOES { p.drawerPulse(c, length, true); }, Role::DrawerPulse},
        {"\x05", Bytes<1>, "ENQ status request", DOES { p.starStatus(c, length, "ENQ status request (answered at once)"); }, Role::StarEnq},
        {"\x04", Bytes<1>, "EOT status request", DOES { p.starStatus(c, length, "EOT status request (answered at once)"); }, Role::StarEot},
        {"\x17", Bytes<1>, "ETB: count a finished job", DOES { p.starStatus(c, length, "ETB: count a finished job"); }, Role::StarEtb},

        {"\x1b", NotUnderstood<2>, "Not understood", nullptr},
        {"\x1b\x1d", NotUnderstood<3>, "Not understood", nullptr},
        {"\x1b\x1e", NotUnderstood<3>, "Not understood", nullptr},
        {"\x1b@", Bytes<2>, "Initialize printer", DOES {
             p.setting(c, length, "Initialize printer");
             p.resetSettings();
             p.settings_.lineSpacing = 32;
         }, Role::Initializes},
        // Character styles.
        {"\x1b" "E", Bytes<2>, "Emphasis on", DOES { p.settings_.style.bold = true; p.setting(c, length, "Emphasis on"); }},
        {"\x1b" "F", Bytes<2>, "Emphasis off", DOES { p.settings_.style.bold = false; p.setting(c, length, "Emphasis off"); }},
        {"\x1b-", Bytes<3>, "Underline", DOES {
             p.settings_.style.underline = Digit(c[2]) == 0 ? 0 : Digit(c[2]) == 2 ? 2 : 1;
             p.setting(c, length, Digit(c[2]) ? "Underline on" : "Underline off");
         }},
        {"\x1b_", Bytes<3>, "Upperline", DOES {
             p.settings_.style.upperline = Digit(c[2]) == 0 ? 0 : 1;
             p.setting(c, length, Digit(c[2]) ? "Upperline on" : "Upperline off");
         }},
        {"\x1b" "4", Bytes<2>, "White/black inversion on", DOES { p.settings_.style.reverse = true; p.setting(c, length, "White/black inversion on"); }},
        {"\x1b" "5", Bytes<2>, "White/black inversion off", DOES { p.settings_.style.reverse = false; p.setting(c, length, "White/black inversion off"); }},
        {"\x1bi", Bytes<4>, "Expansion", DOES {
             TextStyle& style = p.settings_.style;
             style.heightScale = std::clamp(Digit(c[2]), 0, 5) + 1;
             style.widthScale = std::clamp(Digit(c[3]), 0, 5) + 1;
             p.setting(c, length, "Expansion " + std::to_string(style.widthScale) + " wide, " +
                                      std::to_string(style.heightScale) + " high");
         }},
        {"\x1bW", Bytes<3>, "Width expansion", DOES {
             p.settings_.style.widthScale = std::clamp(Digit(c[2]), 0, 5) + 1;
             p.setting(c, length, "Width expansion " + std::to_string(p.settings_.style.widthScale));
         }},
        {"\x1bh", Bytes<3>, "Height expansion", DOES {
             p.settings_.style.heightScale = std::clamp(Digit(c[2]), 0, 5) + 1;
             p.setting(c, length, "Height expansion " + std::to_string(p.settings_.style.heightScale));
         }},
        {"\x1b\x0e", Bytes<2>, "Double height on", DOES { p.settings_.style.heightScale = 2; p.setting(c, length, "Double height on"); }},
        {"\x1b\x14", Bytes<2>, "Double height off", DOES { p.settings_.style.heightScale = 1; p.setting(c, length, "Double height off"); }},
        {"\x1b\x1e" "F", Bytes<4>, "Font", DOES {
             const int n = Digit(c[3]);
             p.settings_.style.font = n == 0 ? Font::A : Font::B;
             p.setting(c, length, n == 0 ? "Font A (12 x 24)" : n == 1 ? "Font B (9 x 24)" : "Font C (9 x 17)");
         }},
        {"\x1b ", Bytes<3>, "Character spacing", DOES {
             // 0 to 15 dots; Star ignores larger values.
             if (c[2] <= 15) p.settings_.rightSpacing = c[2];
             p.setting(c, length, "Character spacing " + std::to_string(p.settings_.rightSpacing) + " dots");
         }},
        {"\x1bs", Bytes<4>, "Kanji character spacing", DOES { p.setting(c, length, "Kanji character spacing"); }},
        {"\x1bR", Bytes<3>, "International character set", DOES {
             const int n = c[2];
             bool known = p.tables_.selectInternational(n);
             p.setting(c, length, known ? "International character set " + CharacterTables::internationalName(n)
                                        : "International character set " + std::to_string(n) + " (not available, kept)");
         }},
        {"\x1b\x1dt", Bytes<4>, "Code page", DOES { p.selectCodePage(c, length, c[3]); }},
        {"\x1b$", Bytes<3>, "Kanji mode", DOES { p.setting(c, length, Digit(c[2]) ? "Shift JIS Kanji mode" : "JIS Kanji mode"); }},
        {"\x1bp", Bytes<2>, "Kanji mode on", DOES { p.setting(c, length, "Kanji mode on"); }},
        {"\x1bq", Bytes<2>, "Kanji mode off", DOES { p.setting(c, length, "Kanji mode off"); }},
        {"\x1b/", Bytes<3>, "Slashed zero", DOES { p.setting(c, length, Digit(c[2]) ? "Slashed zero on" : "Slashed zero off"); }},
        {"\x1b" "6", Bytes<2>, "Character set 2", DOES { p.setting(c, length, "Character set 2"); }},
        {"\x1b" "7", Bytes<2>, "Character set 1", DOES { p.setting(c, length, "Character set 1"); }},

        // Layout and feeds.
        {"\x1b\x1d" "a", Bytes<4>, "Align", DOES {
             const int n = Digit(c[3]);
             p.settings_.alignment = n >= 0 && n <= 2 ? n : 0;
             p.setting(c, length, n == 1 ? "Align center" : n == 2 ? "Align right" : "Align left");
         }},
        {"\x1b\x1d" "A", Bytes<5>, "Absolute position", DOES {
             int x = Word(c + 3);
             if (x < p.area()) p.line_.x = x;
             p.setting(c, length, "Absolute position " + std::to_string(x) + " dots");
         }},
        {"\x1b\x1dR", Bytes<5>, "Relative position", DOES {
             int delta = static_cast<short>(Word(c + 3));
             int x = p.line_.x + delta;
             if (x >= 0 && x < p.area()) p.line_.x = x;
             p.setting(c, length, "Relative position " + std::to_string(delta) + " dots");
         }},
        {"\x1bl", Bytes<3>, "Left margin", DOES {
             const int left = c[2] * FontCellWidth(p.settings_.style.font);
             const int right = p.settings_.leftMargin + p.area();
             p.settings_.leftMargin = std::min(left, p.limits_.paperWidth - 1);
             p.settings_.areaWidth = std::max(1, right - p.settings_.leftMargin);
             p.setting(c, length, "Left margin " + std::to_string(c[2]) + " characters");
         }},
        {"\x1bQ", Bytes<3>, "Right margin", DOES {
             const int right = c[2] * FontCellWidth(p.settings_.style.font);
             p.settings_.areaWidth = std::max(1, right - p.settings_.leftMargin);
             p.setting(c, length, "Right margin at character " + std::to_string(c[2]));
         }},
        {"\x1b" "0", Bytes<2>, "Line spacing 3 mm", DOES { p.settings_.lineSpacing = 24; p.setting(c, length, "Line spacing 3 mm"); }},
        {"\x1bz", Bytes<3>, "Line spacing", DOES {
             p.settings_.lineSpacing = Digit(c[2]) == 0 ? 24 : 32;
             p.setting(c, length, Digit(c[2]) == 0 ? "Line spacing 3 mm" : "Line spacing 4 mm");
         }},
        {"\x1b" "a", Bytes<3>, "Feed", DOES {
             const int n = c[2];
             p.addCommand(c, length, "Feed " + std::to_string(n) + " lines", CommandClass::Drawn);
             p.printLine(n == 0 ? 0 : p.settings_.lineSpacing);
             if (n > 1) p.current().height += (n - 1) * p.settings_.lineSpacing;
         }},
        {"\x1bJ", Bytes<3>, "Feed", DOES {
             p.addCommand(c, length, "Feed " + std::to_string(c[2]) + "/4 mm", CommandClass::Drawn);
             p.printLine(2 * c[2]);
         }},
        {"\x1bI", Bytes<3>, "Feed", DOES {
             p.addCommand(c, length, "Feed " + std::to_string(c[2]) + "/8 mm", CommandClass::Drawn);
             p.printLine(c[2]);
         }},
        {"\x1b" "D", Terminated<2, 0>, "Horizontal tab stops", DOES { p.tabStops(c, length, "Horizontal tab stops"); }},
        {"\x1b" "B", Terminated<2, 0>, "Vertical tab stops", DOES { p.setting(c, length, "Vertical tab stops"); }},
        {"\x1b" "C", Bytes<3>, "Page length", DOES { p.setting(c, length, "Page length " + std::to_string(c[2]) + " lines"); }},

        // Cuts and drawers.
        {"\x1b" "d", Bytes<3>, "Cut", DOES {
             const int n = Digit(c[2]);
             const bool partial = n == 1 || n == 3;
             const char* what = n == 0 ? "Full cut" : n == 1 ? "Partial cut" : n == 2 ? "Feed and full cut" : "Feed and partial cut";
             p.cut(partial ? MarkerKind::PartialCut : MarkerKind::Cut, c, length, what);
         }, Role::Cut},
        {"\x1b\x07", Bytes<4>, "Drawer pulse width", DOES {
             p.setting(c, length, "Drawer pulse width " + std::to_string(c[2] * 10) + " ms on, " + std::to_string(c[3] * 10) + " ms off");
         }},

        // Barcodes and 2-D codes.
        {"\x1b" "b", StarBarcodeLength, "Barcode", DOES { p.starBarcode(c, length); }},
        {"\x1b\x1dx", NotUnderstood<3>, "PDF417", nullptr},
        {"\x1b\x1dxS0", Bytes<8>, "PDF417 size", DOES {
             StoredSymbol& pdf = p.symbols_[48];
             pdf.rows = Digit(c[5]) == 0 ? 0 : c[6];
             pdf.columns = Digit(c[5]) == 0 ? 0 : c[7];
             p.setting(c, length, "PDF417 size " + std::to_string(pdf.rows) + " rows, " + std::to_string(pdf.columns) + " columns");
         }},
        {"\x1b\x1dxS1", Bytes<6>, "PDF417 error correction", DOES {
             p.symbols_[48].errorCorrection = std::clamp(Digit(c[5]), 0, 8);
             p.setting(c, length, "PDF417 error correction level " + std::to_string(Digit(c[5])));
         }},
        {"\x1b\x1dxS2", Bytes<6>, "PDF417 module width", DOES {
             p.symbols_[48].moduleSize = std::clamp(Digit(c[5]), 1, 10);
             p.setting(c, length, "PDF417 module width " + std::to_string(Digit(c[5])) + " dots");
         }},
        {"\x1b\x1dxS3", Bytes<6>, "PDF417 module height", DOES {
             p.symbols_[48].rowHeight = std::clamp(Digit(c[5]), 2, 8);
             p.setting(c, length, "PDF417 module height " + std::to_string(Digit(c[5])) + " times its width");
         }},
        {"\x1b\x1dxD", CountedLowHigh<6>, "Store PDF417 data", DOES {
             p.symbols_[48].data.assign(reinterpret_cast<const char*>(c + 6), static_cast<std::size_t>(length - 6));
             p.setting(c, length, "Store PDF417 data (" + std::to_string(length - 6) + " bytes)");
         }},
        {"\x1b\x1dxP", Bytes<4>, "Print PDF417", DOES { p.printStored(c, length, 48, "Print PDF417"); }},
        {"\x1b\x1dxI", Bytes<4>, "PDF417 information (consumed)", DOES { p.addCommand(c, length, "PDF417 information (consumed)", CommandClass::Status); }},

        // Images and logos.
        {"\x1b\x1dS", StarRasterLength, "Raster graphics", DOES {
             const int widthBytes = Word(c + 4), height = Word(c + 6);
             int at = p.addCommand(c, length, "Raster graphics " + std::to_string(widthBytes * 8) + " x " +
                                                  std::to_string(height) + " dots", CommandClass::Drawn);
             p.placeImage(RasterImage(c + 9, widthBytes, height, 1, 1), at);
         }},
        {"\x1bk", StarRasterBandLength, "Raster band of 24 dots", DOES {
             const int widthBytes = Word(c + 2);
             int at = p.addCommand(c, length, "Raster band " + std::to_string(widthBytes * 8) + " x 24 dots", CommandClass::Drawn);
             p.placeInLine(RasterImage(c + 4, widthBytes, 24, 1, 1), at);
         }},
        {"\x1bX", StarColumnsLength<3>, "Bit image, 24-dot columns", DOES {
             const int columns = Word(c + 2);
             int at = p.addCommand(c, length, "Bit image, " + std::to_string(columns) + " columns of 24 dots", CommandClass::Drawn);
             p.placeInLine(ColumnImage(33, columns, c + 4), at);
         }},
        {"\x1bK", StarColumnsLength<1>, "Bit image, 8-dot columns, normal density", DOES {
             const int columns = Word(c + 2);
             int at = p.addCommand(c, length, "Bit image, " + std::to_string(columns) + " columns of 8 dots, normal density", CommandClass::Drawn);
             p.placeInLine(ColumnImage(0, columns, c + 4), at);
         }},
        {"\x1bL", StarColumnsLength<1>, "Bit image, 8-dot columns, high density", DOES {
             const int columns = Word(c + 2);
             int at = p.addCommand(c, length, "Bit image, " + std::to_string(columns) + " columns of 8 dots, high density", CommandClass::Drawn);
             p.placeInLine(ColumnImage(1, columns, c + 4), at);
         }},
        {"\x1b\x1cp", Bytes<5>, "Print stored logo", DOES { p.storedLogo(c, length, StoredKind::StarLogos, c[3], c[4]); }, Role::PrintsLogo},
        {"\x1b\x1cq", BitImages<4>, "Register logos", DOES { p.definition(c, length, "Register logos"); }, Role::StoresLogos},

        // Status and printing control.
        {"\x1b\x06\x01", Bytes<3>, "Automatic status request", DOES { p.starStatus(c, length, "Automatic status request (answered at once)"); }, Role::StarStatusRequest},
        {"\x1b\x1e" "a", Bytes<4>, "Automatic status", DOES {
             p.starStatus(c, length, Digit(c[3]) ? "Automatic status on" : "Automatic status off");
         }, Role::StarAutomaticSetting},
        {"\x1b\x1e" "E", Bytes<4>, "Initialize ETB counter", DOES { p.starStatus(c, length, "Initialize ETB counter"); }, Role::StarEtbReset},
        {"\x1b\x1d\x03", Bytes<6>, "Print start control", DOES { p.setting(c, length, "Print start control"); }},
        {"\x1b\x1e" "R", Bytes<4>, "Character code set", DOES { p.setting(c, length, "Character code set " + std::to_string(c[3])); }},
        {"\x1b\x1e" "B", Bytes<4>, "Buzzer", DOES { p.knownNotDrawn(c, length, "Buzzer"); }},
        {"\x1b\x1d#", Bytes<17>, "Memory switch", DOES { p.knownNotDrawn(c, length, "Memory switch setting"); }},
        // Settings Star's raster drivers send around a job (Star's Graphic
        // mode manual lists them with Line mode's).
        {"\x1b\x1e" "A", Bytes<4>, "Printable width", DOES { p.knownNotDrawn(c, length, "Printable width setting " + std::to_string(c[3])); }},
        {"\x1b\x1e" "d", Bytes<4>, "Print density", DOES { p.setting(c, length, "Print density " + std::to_string(Digit(c[3]))); }},
        {"\x1b\x1e" "r", Bytes<4>, "Print speed", DOES { p.setting(c, length, "Print speed " + std::to_string(Digit(c[3]))); }},
        {"\x1b\x1d\x19\x11", Bytes<7>, "Buzzer drive condition", DOES { p.setting(c, length, "Buzzer drive condition"); }},
        {"\x1b\x1d\x19\x12", Bytes<7>, "Buzzer drive", DOES { p.knownNotDrawn(c, length, "Buzzer drive, " + std::to_string(c[5]) + " times"); }},
    };
    for (CommandRow& row : StarQrRows())
        rows.push_back(row);
    for (CommandRow& row : StarRasterEntryRows())
        rows.push_back(row);
    return rows;
}

std::vector<CommandRow> ReceiptPrinter::StarPrntRows() {
    std::vector<CommandRow> rows = StarLineRows();
    // StarPRNT's page mode, which encoders switch on and off to print what waits.
    rows.push_back({"\x1b\x1dP", NotUnderstood<3>, "Page mode", nullptr});
    rows.push_back({"\x1b\x1dP0", Bytes<4>, "Page mode on", DOES {
                        p.addCommand(c, length, "Page mode on (what waits is printed)", CommandClass::Drawn);
                        if (!p.line_.items.empty()) p.printLine(p.settings_.lineSpacing);
                    }});
    rows.push_back({"\x1b\x1dP1", Bytes<4>, "Page mode off", DOES { p.setting(c, length, "Page mode off"); }});
    rows.push_back({"\x1b\x1dP2", Bytes<5>, "Page mode print direction", DOES { p.knownNotDrawn(c, length, "Page mode print direction"); }});
    rows.push_back({"\x1b\x1dP3", Bytes<12>, "Page mode print area", DOES { p.knownNotDrawn(c, length, "Page mode print area"); }});
    return rows;
}

// Star's ESC/POS mode command specifications list Star's QR Code commands
// beside ESC/POS's own GS ( k, and Star's client libraries send them.
std::vector<CommandRow> ReceiptPrinter::StarEscPosRows() {
    std::vector<CommandRow> rows = EscPosRows();
    for (CommandRow& row : StarQrRows())
        rows.push_back(row);
    return rows;
}

#undef DOES
    // clang-format on

    } // namespace ostrel::receipt
