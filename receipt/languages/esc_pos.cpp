#include "receipt/receipt_printer.h"

#include "protocol/command_set.h"
#include "receipt/command_bytes.h"
#include "receipt/command_table.h"
#include "receipt/raster_images.h"

#include <algorithm>

// The standard receipt command set (ESC/POS), one row a command. Lengths are
// Epson's; a row whose bytes are only a prefix stands for every command of
// that family no other row names.
namespace ostrel::receipt {

using namespace bytes;
using namespace length;

namespace {

    const char* AlignmentName(int n)
    {
        return n == 1 ? "Align center" : n == 2 ? "Align right" : "Align left";
    }

    // DLE EOT n [a]: n 7 and 8 take one more byte.
    CommandSize RealTimeStatusLength(const unsigned char* b, std::size_t available, long long)
    {
        if (available < 3)
            return Need();
        return Fixed(available, b[2] == 7 || b[2] == 8 ? 4 : 3);
    }

    // ESC * m nL nH: nL + nH*256 columns of one byte (m 0, 1) or three (m 32, 33).
    CommandSize BitImageLength(const unsigned char* b, std::size_t available, long long)
    {
        if (available < 5)
            return Need();
        long long columns = b[3] + 256LL * b[4];
        if (b[2] == 0 || b[2] == 1)
            return Fixed(available, 5 + columns);
        if (b[2] == 32 || b[2] == 33)
            return Fixed(available, 5 + 3 * columns);
        return Unknown(2);
    }

    // ESC & y c1 c2 then, for each character, x and y*x bytes.
    CommandSize UserCharactersLength(const unsigned char* b, std::size_t available, long long cap)
    {
        if (available < 5)
            return Need();
        int y = b[2];
        long long at = 5;
        for (int c = b[3]; c <= b[4]; ++c) {
            if (static_cast<long long>(available) <= at)
                return { Framing::NeedMore, at + 1 };
            at += 1 + static_cast<long long>(y) * b[at];
            if (at > cap)
                return { Framing::NeedMore, at };
        }
        return Fixed(available, at);
    }

    // GS 8 L p1 p2 p3 p4 and p bytes.
    CommandSize LongGraphicsLength(const unsigned char* b, std::size_t available, long long)
    {
        if (available < 7)
            return Need();
        long long length = b[3] + (static_cast<long long>(b[4]) << 8)
            + (static_cast<long long>(b[5]) << 16) + (static_cast<long long>(b[6]) << 24);
        return Fixed(available, 7 + length);
    }

    // GS * x y and x*y*8 bytes.
    CommandSize DownloadedImageLength(const unsigned char* b, std::size_t available, long long)
    {
        if (available < 4)
            return Need();
        return Fixed(available, 4 + 8LL * b[2] * b[3]);
    }

    // GS V m [n]: the modes that feed first take n.
    CommandSize CutLength(const unsigned char* b, std::size_t available, long long)
    {
        if (available < 3)
            return Need();
        if (CutModeTakesFeed(b[2]))
            return Fixed(available, 4);
        return IsCutMode(b[2]) ? Whole(3) : Unknown(2);
    }

    // GS k m: NUL-terminated data (m 0-6) or n bytes of it (m 65-79).
    CommandSize BarcodeLength(const unsigned char* b, std::size_t available, long long cap)
    {
        if (available < 3)
            return Need();
        if (b[2] <= 6)
            return Terminated<3, 0>(b, available, cap);
        if (b[2] >= 65 && b[2] <= 79) {
            if (available < 4)
                return Need();
            return Fixed(available, 4 + b[3]);
        }
        return Unknown(2);
    }

    // GS v 0 m xL xH yL yH and x*y bytes.
    CommandSize RasterImageLength(const unsigned char* b, std::size_t available, long long)
    {
        if (available < 8)
            return Need();
        return Fixed(available, 8 + (b[4] + 256LL * b[5]) * (b[6] + 256LL * b[7]));
    }

} // namespace

// One row a line: clang-format cannot lay out rows whose action is a DOES
// lambda.
// clang-format off
#define DOES [](ReceiptPrinter& p, [[maybe_unused]] const unsigned char* c, [[maybe_unused]] long long length)

std::vector<CommandRow> ReceiptPrinter::EscPosRows() {
    return {
        // Single bytes.
        {std::string_view("\0", 1), Bytes<1>, "Null byte, ignored", DOES { p.knownNotDrawn(c, length, "Null byte, ignored"); }},
        {"\x09", Bytes<1>, "Horizontal tab", DOES { p.horizontalTab(c, length); }},
        {"\x0a", Bytes<1>, "Print and line feed", DOES {
             p.addCommand(c, length, "Print and line feed", CommandClass::Drawn);
             if (p.page_) p.pageLineFeed(p.settings_.lineSpacing);
             else p.printLine(p.settings_.lineSpacing);
         }},
        {"\x0c", Bytes<1>, "Print and return to standard mode", DOES {
             if (p.page_) return p.pageMode(c, length);
             p.addCommand(c, length, "Print and return to standard mode", CommandClass::Drawn);
             if (!p.line_.items.empty()) p.printLine(p.settings_.lineSpacing);
         }, Role::PageEnd},
        {"\x0d", Bytes<1>, "Carriage return", DOES { p.setting(c, length, "Carriage return"); }},
        {"\x18", Bytes<1>, "Cancel print data in page mode", DOES { p.pageMode(c, length); }},

        // DLE: real-time commands.
        {"\x10", NotUnderstood<2>, "Not understood", nullptr},
        {"\x10\x04", RealTimeStatusLength, "Real-time status transmission (consumed)", DOES {
             p.addCommand(c, length, "Real-time status transmission (consumed)", CommandClass::Status);
         }, Role::RealTimeStatus},
        {"\x10\x05", Bytes<3>, "Real-time request to printer (consumed)", DOES {
             p.addCommand(c, length, "Real-time request to printer (consumed)", CommandClass::Status);
         }},
        {"\x10R", Bytes<2>, "Status request, answered by this tool", DOES {
             ++p.summary_.statusRequests;
             p.addCommand(c, length, "Status request, answered by this tool", CommandClass::Status);
         }},
        {"\x10\x14", NotUnderstood<3>, "Not understood", nullptr},
        {"\x10\x14\x01", Bytes<5>, "Drawer pulse", DOES { p.drawerPulse(c, length, c[3] != 0); }, Role::DrawerPulse},
        {"\x10\x14\x02", Bytes<5>, "Power off sequence", DOES { p.knownNotDrawn(c, length, "Power off sequence"); }},
        {"\x10\x14\x07", Bytes<4>, "Buzzer", DOES { p.knownNotDrawn(c, length, "Buzzer"); }},
        {"\x10\x14\x08", Bytes<10>, "Clear buffers", DOES { p.knownNotDrawn(c, length, "Clear buffers"); }},

        // ESC
        {"\x1b", NotUnderstood<2>, "Not understood", nullptr},
        {"\x1b@", Bytes<2>, "Initialize printer", DOES {
             p.setting(c, length, "Initialize printer");
             p.resetSettings();
         }, Role::Initializes},
        {"\x1b!", Bytes<3>, "Print mode", DOES {
             const unsigned char n = c[2];
             TextStyle& style = p.settings_.style;
             style.font = (n & 1) ? Font::B : Font::A;
             style.bold = (n & 8) != 0;
             style.heightScale = (n & 16) ? 2 : 1;
             style.widthScale = (n & 32) ? 2 : 1;
             style.underline = (n & 128) ? 1 : 0;
             std::string what = std::string("Print mode: font ") + ((n & 1) ? "B" : "A");
             if (n & 8) what += ", bold";
             if (n & 16) what += ", double height";
             if (n & 32) what += ", double width";
             if (n & 128) what += ", underline";
             p.setting(c, length, what);
         }},
        {"\x1b" "E", Bytes<3>, "Bold", DOES { p.settings_.style.bold = On(c[2]); p.setting(c, length, OnOff("Bold", c[2])); }},
        {"\x1bG", Bytes<3>, "Double-strike", DOES { p.settings_.style.bold = On(c[2]); p.setting(c, length, OnOff("Double-strike", c[2])); }},
        {"\x1b-", Bytes<3>, "Underline", DOES {
             const unsigned char n = c[2];
             int dots = n == 1 || n == 49 ? 1 : n == 2 || n == 50 ? 2 : 0;
             p.settings_.style.underline = dots;
             p.setting(c, length, dots ? "Underline " + std::to_string(dots) + (dots == 1 ? " dot" : " dots") : "Underline off");
         }},
        {"\x1bM", Bytes<3>, "Font", DOES {
             TextStyle& style = p.settings_.style;
             style.font = c[2] == 0 || c[2] == 48 ? Font::A : Font::B;
             p.setting(c, length, std::string("Font ") + (style.font == Font::A ? "A (12 x 24)" : "B (9 x 17)"));
         }},
        {"\x1b" "a", Bytes<3>, "Align", DOES {
             const unsigned char n = c[2];
             p.settings_.alignment = n >= 48 ? n - 48 : n;
             if (p.settings_.alignment > 2) p.settings_.alignment = 0;
             p.setting(c, length, AlignmentName(p.settings_.alignment));
         }},
        {"\x1b" "2", Bytes<2>, "Default line spacing", DOES { p.settings_.lineSpacing = 30; p.setting(c, length, "Default line spacing"); }},
        {"\x1b" "3", Bytes<3>, "Line spacing", DOES {
             p.settings_.lineSpacing = c[2];
             p.setting(c, length, "Line spacing " + std::to_string(c[2]) + " dots");
         }},
        {"\x1bJ", Bytes<3>, "Print and feed", DOES {
             p.addCommand(c, length, "Print and feed " + std::to_string(c[2]) + " dots", CommandClass::Drawn);
             if (p.page_) p.pageLineFeed(c[2]);
             else p.printLine(c[2]);
         }},
        {"\x1b" "d", Bytes<3>, "Print and feed", DOES {
             const unsigned char n = c[2];
             p.addCommand(c, length, "Print and feed " + std::to_string(n) + " lines", CommandClass::Drawn);
             if (p.page_) return p.pageLineFeed(n * p.settings_.lineSpacing);
             p.printLine(n == 0 ? 0 : p.settings_.lineSpacing);
             if (n > 1) p.current().height += (n - 1) * p.settings_.lineSpacing;
         }},
        {"\x1b ", Bytes<3>, "Character spacing", DOES {
             p.settings_.rightSpacing = c[2];
             p.setting(c, length, "Character spacing " + std::to_string(c[2]) + " dots");
         }},
        {"\x1b$", Bytes<4>, "Absolute position", DOES { p.absolutePosition(c, length); }},
        {"\x1b\\", Bytes<4>, "Relative position", DOES {
             int delta = static_cast<short>(Word(c + 2));
             int& at = p.page_ ? p.page_->x : p.line_.x;
             int x = at + delta;
             if (x >= 0 && (p.page_ || x < p.area())) at = x;
             p.setting(c, length, "Relative position " + std::to_string(delta) + " dots");
         }},
        {"\x1b{", Bytes<3>, "Upside-down", DOES { p.settings_.upsideDown = On(c[2]); p.setting(c, length, OnOff("Upside-down", c[2])); }},
        {"\x1bV", Bytes<3>, "Turn 90 degrees", DOES {
             const unsigned char n = c[2];
             p.settings_.style.rotated = n == 1 || n == 2 || n == 49 || n == 50;
             p.setting(c, length, OnOff("Turn 90 degrees", p.settings_.style.rotated));
         }},
        {"\x1bt", Bytes<3>, "Code page", DOES { p.selectCodePage(c, length, c[2]); }},
        {"\x1bR", Bytes<3>, "International set", DOES {
             const unsigned char n = c[2];
             bool known = p.tables_.selectInternational(n);
             p.setting(c, length, known ? "International set " + CharacterTables::internationalName(n)
                                        : "International set " + std::to_string(n) + " (not available, kept)");
         }},
        {"\x1b" "D", Terminated<2, 0>, "Tab stops", DOES { p.tabStops(c, length, "Tab stops"); }},
        {"\x1b*", BitImageLength, "Bit image", DOES {
             int columns = Word(c + 3);
             BitImage image = ColumnImage(c[2], columns, c + 5);
             int command = p.addCommand(c, length, "Bit image, " + std::to_string(columns) + " columns (mode " +
                                        std::to_string(c[2]) + ")", CommandClass::Drawn);
             p.placeInLine(std::move(image), command);
         }},
        {"\x1bp", Bytes<5>, "Drawer pulse", DOES { p.drawerPulse(c, length, (c[2] & 1) != 0); }, Role::DrawerPulse},
        {"\x1bi", Bytes<2>, "Full cut", DOES { p.cut(MarkerKind::Cut, c, length, "Full cut"); }, Role::Cut},
        {"\x1bm", Bytes<2>, "Partial cut", DOES { p.cut(MarkerKind::PartialCut, c, length, "Partial cut"); }, Role::Cut},
        {"\x1br", Bytes<3>, "Print colour", DOES { p.knownNotDrawn(c, length, "Print colour " + std::to_string(c[2] & 1 ? 2 : 1)); }},
        {"\x1bv", Bytes<2>, "Status transmission (consumed)", DOES { p.addCommand(c, length, "Status transmission (consumed)", CommandClass::Status); }},
        {"\x1bu", Bytes<3>, "Status transmission (consumed)", DOES { p.addCommand(c, length, "Status transmission (consumed)", CommandClass::Status); }},
        {"\x1b(", CountedLowHigh<5>, "Extended setting", DOES { p.knownNotDrawn(c, length, c[2] == 'A' ? "Beeper" : "Extended setting"); }},
        {"\x1b%", Bytes<3>, "User-defined characters", DOES {
             p.userCharacters_ = On(c[2]);
             p.setting(c, length, OnOff("User-defined characters", c[2]));
         }},
        {"\x1b&", UserCharactersLength, "Define user-defined characters", DOES { p.definition(c, length, "Define user-defined characters"); }, Role::StoresCharacters},
        {"\x1b?", Bytes<3>, "Cancel user-defined character", DOES { p.setting(c, length, "Cancel user-defined character"); }, Role::DeletesCharacter},
        {"\x1b=", Bytes<3>, "Select peripheral device", DOES { p.knownNotDrawn(c, length, "Select peripheral device"); }},
        {"\x1b" "c3", Bytes<4>, "Paper sensor or panel setting", DOES { p.knownNotDrawn(c, length, "Paper sensor or panel setting"); }},
        {"\x1b" "c4", Bytes<4>, "Paper sensor or panel setting", DOES { p.knownNotDrawn(c, length, "Paper sensor or panel setting"); }},
        {"\x1b" "c5", Bytes<4>, "Paper sensor or panel setting", DOES { p.knownNotDrawn(c, length, "Paper sensor or panel setting"); }},
        {"\x1bU", Bytes<3>, "Unidirectional printing", DOES { p.knownNotDrawn(c, length, OnOff("Unidirectional printing", c[2])); }},
        {"\x1bL", Bytes<2>, "Page mode", DOES { p.pageMode(c, length); }, Role::PageStart},
        {"\x1bS", Bytes<2>, "Standard mode", DOES { p.pageMode(c, length); }},
        {"\x1bT", Bytes<3>, "Print direction in page mode", DOES { p.pageMode(c, length); }},
        {"\x1bW", Bytes<10>, "Print area in page mode", DOES { p.pageMode(c, length); }},
        {"\x1b\x0c", Bytes<2>, "Print data in page mode", DOES { p.pageMode(c, length); }, Role::PageEnd},
        {"\x1bK", Bytes<3>, "Reverse feed", DOES { p.knownNotDrawn(c, length, "Reverse feed"); }},
        {"\x1b" "e", Bytes<3>, "Reverse feed", DOES { p.knownNotDrawn(c, length, "Reverse feed"); }},
        {"\x1b<", Bytes<2>, "Return home", DOES { p.knownNotDrawn(c, length, "Return home"); }},

        // FS
        {"\x1c", NotUnderstood<2>, "Not understood", nullptr},
        {"\x1cp", Bytes<4>, "Print stored logo", DOES { p.storedLogo(c, length, StoredKind::NvBitImages, c[2], c[3]); }, Role::PrintsLogo},
        {"\x1cq", BitImages<3>, "Define stored logos", DOES { p.definition(c, length, "Define stored logos"); }, Role::StoresLogos},
        {"\x1c(", CountedLowHigh<5>, "Kanji or code conversion setting", DOES { p.knownNotDrawn(c, length, "Kanji or code conversion setting"); }},
        {"\x1c(L", CountedLowHigh<5>, "Label and black mark control", DOES { p.knownNotDrawn(c, length, "Label and black mark control"); }},
        {"\x1c&", Bytes<2>, "Kanji mode setting", DOES { p.knownNotDrawn(c, length, "Kanji mode setting"); }},
        {"\x1c.", Bytes<2>, "Kanji mode setting", DOES { p.knownNotDrawn(c, length, "Kanji mode setting"); }},
        {"\x1c!", Bytes<3>, "Kanji mode setting", DOES { p.knownNotDrawn(c, length, "Kanji mode setting"); }},
        {"\x1c-", Bytes<3>, "Kanji mode setting", DOES { p.knownNotDrawn(c, length, "Kanji mode setting"); }},
        {"\x1c" "C", Bytes<3>, "Kanji mode setting", DOES { p.knownNotDrawn(c, length, "Kanji mode setting"); }},
        {"\x1cW", Bytes<3>, "Kanji mode setting", DOES { p.knownNotDrawn(c, length, "Kanji mode setting"); }},
        {"\x1cS", Bytes<4>, "Kanji mode setting", DOES { p.knownNotDrawn(c, length, "Kanji mode setting"); }},
        {"\x1c?", Bytes<4>, "Kanji mode setting", DOES { p.knownNotDrawn(c, length, "Kanji mode setting"); }},
        {"\x1c" "2", Bytes<76>, "Kanji mode setting", DOES { p.knownNotDrawn(c, length, "Kanji mode setting"); }},

        // GS
        {"\x1d", NotUnderstood<2>, "Not understood", nullptr},
        {"\x1d!", Bytes<3>, "Character size", DOES {
             const unsigned char n = c[2];
             p.settings_.style.widthScale = ((n >> 4) & 7) + 1;
             p.settings_.style.heightScale = (n & 7) + 1;
             p.setting(c, length, "Character size " + std::to_string(p.settings_.style.widthScale) + " x " +
                                      std::to_string(p.settings_.style.heightScale));
         }},
        {"\x1d" "B", Bytes<3>, "Reverse", DOES { p.settings_.style.reverse = On(c[2]); p.setting(c, length, OnOff("Reverse", c[2])); }},
        {"\x1dL", Bytes<4>, "Left margin", DOES {
             p.settings_.leftMargin = Word(c + 2);
             p.setting(c, length, "Left margin " + std::to_string(p.settings_.leftMargin) + " dots");
         }},
        {"\x1dW", Bytes<4>, "Print area width", DOES {
             p.settings_.areaWidth = Word(c + 2);
             p.setting(c, length, "Print area width " + std::to_string(p.settings_.areaWidth) + " dots");
         }},
        {"\x1dh", Bytes<3>, "Barcode height", DOES {
             p.settings_.barHeight = std::max<int>(1, c[2]);
             p.setting(c, length, "Barcode height " + std::to_string(c[2]) + " dots");
         }},
        {"\x1dw", Bytes<3>, "Barcode module width", DOES {
             p.settings_.barModule = std::clamp<int>(c[2], 1, 6);
             p.setting(c, length, "Barcode module width " + std::to_string(c[2]) + " dots");
         }},
        {"\x1dH", Bytes<3>, "Barcode text", DOES {
             const unsigned char n = c[2];
             p.settings_.barText = static_cast<TextPlace>(n >= 48 ? (n - 48) & 3 : n & 3);
             static const char* places[] = {"none", "above", "below", "above and below"};
             p.setting(c, length, std::string("Barcode text ") + places[static_cast<int>(p.settings_.barText)]);
         }},
        {"\x1d" "f", Bytes<3>, "Barcode text font", DOES {
             p.settings_.barFont = c[2] == 1 || c[2] == 49 ? Font::B : Font::A;
             p.setting(c, length, std::string("Barcode text font ") + (p.settings_.barFont == Font::A ? "A" : "B"));
         }},
        {"\x1dk", BarcodeLength, "Barcode", DOES { p.runBarcode(c, length); }},
        {"\x1dv0", RasterImageLength, "Raster image", DOES {
             int m = c[3] >= 48 ? c[3] - 48 : c[3];
             int widthBytes = Word(c + 4), height = Word(c + 6);
             int command = p.addCommand(c, length, "Raster image " + std::to_string(widthBytes * 8) + " x " +
                                        std::to_string(height) + " dots", CommandClass::Drawn);
             p.placeImage(RasterImage(c + 8, widthBytes, height, (m & 1) ? 2 : 1, (m & 2) ? 2 : 1), command);
         }},
        {"\x1d(", CountedLowHigh<5>, "Extended function", DOES { p.knownNotDrawn(c, length, "Extended function"); }},
        {"\x1d(k", CountedLowHigh<5>, "2-D code", DOES { p.runTwoDimensional(c, length); }},
        {"\x1d(L", CountedLowHigh<5>, "Graphics", DOES { p.runGraphics(c, length, 5); }, Role::Graphics},
        {"\x1d(K", CountedLowHigh<5>, "Print control setting", DOES { p.knownNotDrawn(c, length, "Print control setting"); }},
        {"\x1d(E", CountedLowHigh<5>, "User setting", DOES { p.knownNotDrawn(c, length, "User setting"); }},
        {"\x1d" "8L", LongGraphicsLength, "Graphics", DOES { p.runGraphics(c, length, 7); }, Role::Graphics},
        {"\x1dV", CutLength, "Cut", DOES { p.cutByMode(c, length); }, Role::Cut},
        {"\x1dr", Bytes<3>, "Status transmission (consumed)", DOES { p.addCommand(c, length, "Status transmission (consumed)", CommandClass::Status); }, Role::TransmitStatus},
        {"\x1d" "a", Bytes<3>, "Automatic status back (consumed)", DOES { p.addCommand(c, length, "Automatic status back (consumed)", CommandClass::Status); }, Role::AutomaticStatus},
        {"\x1dI", Bytes<3>, "Printer ID transmission (consumed)", DOES { p.addCommand(c, length, "Printer ID transmission (consumed)", CommandClass::KnownNotDrawn); }, Role::PrinterId},
        {"\x1d*", DownloadedImageLength, "Define downloaded bit image", DOES { p.definition(c, length, "Define downloaded bit image"); }, Role::StoresImage},
        {"\x1d/", Bytes<3>, "Print downloaded bit image", DOES { p.downloadedImage(c, length); }, Role::PrintsLogo},
        {"\x1dP", Bytes<4>, "Motion units", DOES { p.knownNotDrawn(c, length, "Motion units"); }},
        {"\x1d" "b", Bytes<3>, "Smoothing", DOES { p.knownNotDrawn(c, length, OnOff("Smoothing", c[2])); }},
        {"\x1d$", Bytes<4>, "Absolute vertical position in page mode", DOES { p.pageMode(c, length); }},
        {"\x1d\\", Bytes<4>, "Relative vertical position in page mode", DOES { p.pageMode(c, length); }},
        {"\x1d:", Bytes<2>, "Setting", DOES { p.knownNotDrawn(c, length, "Setting"); }},
        {"\x1d" "c", Bytes<2>, "Setting", DOES { p.knownNotDrawn(c, length, "Setting"); }},
        {"\x1d" "E", Bytes<3>, "Setting", DOES { p.knownNotDrawn(c, length, "Setting"); }},
        {"\x1dT", Bytes<3>, "Setting", DOES { p.knownNotDrawn(c, length, "Setting"); }},
        {"\x1dj", Bytes<3>, "Setting", DOES { p.knownNotDrawn(c, length, "Setting"); }},
        {"\x1d^", Bytes<5>, "Setting", DOES { p.knownNotDrawn(c, length, "Setting"); }},
        {"\x1dz", Bytes<5>, "Setting", DOES { p.knownNotDrawn(c, length, "Setting"); }},
        {"\x1dg0", Bytes<6>, "Setting", DOES { p.knownNotDrawn(c, length, "Setting"); }},
        {"\x1dg2", Bytes<6>, "Setting", DOES { p.knownNotDrawn(c, length, "Setting"); }},
    };
}

#undef DOES
// clang-format on

} // namespace ostrel::receipt
