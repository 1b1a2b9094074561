#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <variant>
#include <vector>

namespace ostrel::receipt {

// Dots are the printer's: 203 per inch, x from the paper's left edge, y from
// the top of the receipt.
constexpr int kPaperWidth80 = 576;
constexpr int kPaperWidth58 = 384;

enum class Font { A, B };

struct TextStyle {
    Font font = Font::A;
    int widthScale = 1; // GS ! and ESC !: 1 to 8
    int heightScale = 1;
    bool bold = false;
    int underline = 0; // dots: 0, 1 or 2
    int upperline = 0; // Star's line over the characters, in dots
    bool reverse = false; // GS B: white on black
    bool upsideDown = false;
    bool rotated = false; // ESC V: turned 90 degrees clockwise

    bool operator==(const TextStyle&) const = default;
};

// Characters side by side, each in a cell of cellWidth x cellHeight dots
// (the font's cell times the scales) followed by `spacing` dots.
struct TextRun {
    int x = 0, y = 0;
    int cellWidth = 0, cellHeight = 0, spacing = 0;
    std::u32string text;
    TextStyle style;

    int width() const { return static_cast<int>(text.size()) * (cellWidth + spacing); }
};

// A picture, dot for dot as it prints: one bit a dot, 1 is black, in rows
// of whole bytes with the leftmost dot in bit 7, as the printer takes them.
struct BitImage {
    int x = 0, y = 0, width = 0, height = 0;
    std::vector<std::uint8_t> bits;

    std::size_t stride() const { return (static_cast<std::size_t>(width) + 7) / 8; }
    void resize(int w, int h)
    {
        width = w;
        height = h;
        bits.assign(stride() * static_cast<std::size_t>(h), 0);
    }
    bool dot(int column, int row) const
    {
        return (bits[static_cast<std::size_t>(row) * stride() + column / 8]
                   & (0x80 >> (column % 8)))
            != 0;
    }
    void set(int column, int row)
    {
        bits[static_cast<std::size_t>(row) * stride() + column / 8] |= 0x80 >> (column % 8);
    }
    // Turned half a turn, as upside-down printing prints it.
    BitImage turned() const
    {
        BitImage out = *this;
        out.resize(width, height);
        for (int row = 0; row < height; ++row)
            for (int column = 0; column < width; ++column)
                if (dot(column, row))
                    out.set(width - 1 - column, height - 1 - row);
        return out;
    }
};

enum class SymbolKind {
    UpcA,
    UpcE,
    Ean13,
    Ean8,
    Code39,
    Itf,
    Codabar,
    Code93,
    Code128,
    Gs1_128,
    DataBarOmni,
    DataBarTruncated,
    DataBarLimited,
    DataBarExpanded,
    QrCode,
    Pdf417,
    DataMatrix,
    Aztec,
};
const char* SymbolKindName(SymbolKind kind);
// The text a symbol prints under its bars: the data as sent, with the check
// digit the printer adds to UPC and EAN data sent without one.
std::string PrintedText(SymbolKind kind, const std::string& data);
inline bool IsTwoDimensional(SymbolKind kind) { return kind >= SymbolKind::QrCode; }

// Where the human-readable text of a barcode goes (GS H).
enum class TextPlace { None = 0, Above = 1, Below = 2, Both = 3 };

// A barcode or 2-D code with the settings the job gave; the renderer encodes
// it. width and height are the whole symbol's, text included.
struct Symbol {
    SymbolKind kind = SymbolKind::Code128;
    std::string data; // what the symbol holds, as a reader returns it
    int x = 0, y = 0, width = 0, height = 0;
    int moduleWidth = 3; // 1-D: GS w; 2-D: dots a module
    int barHeight = 162; // 1-D: GS h; PDF417: row height in modules
    TextPlace textPlace = TextPlace::None;
    Font textFont = Font::A;
    int errorCorrection = 48; // the job's own value: QR 48..51, PDF417 level or ratio
    int columns = 0, rows = 0; // PDF417 and DataMatrix, 0 for automatic
};

enum class MarkerKind { Cut, PartialCut, DrawerPulse, StoredImage, NotUnderstood, NotPrinted };

// Something on the paper that is not ink: where the paper was cut, where the
// drawer was kicked, bytes the printer did not understand.
struct Marker {
    MarkerKind kind = MarkerKind::Cut;
    int x = 0, y = 0, width = 0, height = 0;
    std::string label;
};

struct PaperItem {
    std::variant<TextRun, BitImage, Symbol, Marker> what;
    int command = -1; // index into the receipt's commands: what drew it
};

// How the printer took one command.
enum class CommandClass { Text, Drawn, Setting, KnownNotDrawn, NotUnderstood, Status };

struct ModelCommand {
    long long offset = 0; // of the first byte in the received stream
    long long length = 0;
    std::string text; // "ESC E 1"
    std::string description; // "Bold on"
    std::string kind; // what the report counts it as: "ESC E"
    CommandClass commandClass = CommandClass::Setting;
    int y = 0; // where the paper was when it came
    std::uint64_t hash = kEmptyHash; // of its bytes, to compare jobs by

    static constexpr std::uint64_t kEmptyHash = 14695981039346656037ull; // FNV-1a
    void hashByte(unsigned char byte) { hash = (hash ^ byte) * 1099511628211ull; }
};

struct Receipt {
    std::vector<PaperItem> items;
    std::vector<ModelCommand> commands;
    int height = 0;
    bool cut = false; // ended by a cut, not still printing
    long long weight = 0; // the memory it holds, roughly
};

// Whether paper was fed for it: a line, an image, a symbol or a feed. A drawer
// pulse or status requests after the last cut feed none: that is no receipt.
inline bool PaperFed(const Receipt& receipt)
{
    if (receipt.height > 0)
        return true;
    for (const PaperItem& item : receipt.items)
        if (!std::holds_alternative<Marker>(item.what))
            return true;
    return false;
}

} // namespace ostrel::receipt
