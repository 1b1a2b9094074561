#include "receipt/receipt_printer.h"

#include "receipt/command_bytes.h"

#include <algorithm>

// The printer model's barcode (GS k) and 2-D code (GS ( k) commands.
namespace ostrel::receipt {
namespace {

    // CODE128 data as a job sends it: "{A", "{B", "{C" choose the code set, "{1"
    // is FNC1, "{{" a brace; in set C every byte is two digits.
    std::string Code128Text(std::string_view data)
    {
        std::string text;
        char set = 'B';
        for (std::size_t i = 0; i < data.size(); ++i) {
            char c = data[i];
            if (c == '{' && i + 1 < data.size()) {
                char next = data[++i];
                if (next == 'A' || next == 'B' || next == 'C')
                    set = next;
                else if (next == '{')
                    text += '{';
                continue; // FNC1..4 and SHIFT leave no character
            }
            if (set == 'C') {
                int value = static_cast<unsigned char>(c);
                text += static_cast<char>('0' + value / 10 % 10);
                text += static_cast<char>('0' + value % 10);
            } else {
                text += c;
            }
        }
        return text;
    }

    // A 2-D code's error correction as the job asked for it: QR's level letter
    // (48-51: L, M, Q, H), PDF417's level (m 48) or ratio in tens of percent
    // (m 49), the others' own number.
    std::string ErrorCorrectionText(int cn, const unsigned char* c, long long length)
    {
        const int n = length > 7 ? c[7] : 0;
        if (cn == 49 && n >= 48 && n <= 51)
            return std::string("level ") + "LMQH"[n - 48];
        if (cn == 48 && length > 8)
            return c[7] == 48 ? "level " + std::to_string(c[8] - 48)
                              : "ratio " + std::to_string(c[8] * 10) + "%";
        return std::to_string(n);
    }

} // namespace

void ReceiptPrinter::runBarcode(const unsigned char* c, long long length)
{
    int m = c[2];
    std::string data;
    if (m <= 6) {
        long long end = length;
        if (end > 3 && c[end - 1] == 0)
            --end;
        data.assign(
            reinterpret_cast<const char*>(c + 3), static_cast<std::size_t>(std::max(0LL, end - 3)));
    } else {
        data.assign(reinterpret_cast<const char*>(c + 4), c[3]);
    }
    static const SymbolKind kinds[] = { SymbolKind::UpcA, SymbolKind::UpcE, SymbolKind::Ean13,
        SymbolKind::Ean8, SymbolKind::Code39, SymbolKind::Itf, SymbolKind::Codabar,
        SymbolKind::Code93, SymbolKind::Code128, SymbolKind::Gs1_128, SymbolKind::DataBarOmni,
        SymbolKind::DataBarTruncated, SymbolKind::DataBarLimited, SymbolKind::DataBarExpanded,
        SymbolKind::Code128 };
    Symbol symbol;
    symbol.kind = kinds[m <= 6 ? m : m - 65];
    symbol.data = m == 73 ? Code128Text(data) : data;
    symbol.moduleWidth = settings_.barModule;
    symbol.barHeight = settings_.barHeight;
    symbol.textPlace = settings_.barText;
    symbol.textFont = settings_.barFont;
    // A printer leaves out a barcode that does not fit the print area.
    const std::string what = std::string("Barcode ") + SymbolKindName(symbol.kind);
    printSymbol(std::move(symbol), c, length, what);
}

// Measures a barcode or 2-D code and places it, or a marker where the printer
// leaves it out: data it cannot hold, or wider than the print area.
void ReceiptPrinter::printSymbol(
    Symbol symbol, const unsigned char* c, long long length, const std::string& what)
{
    if (!modelKnows(SymbolKindName(symbol.kind))) {
        addCommand(c, length, what + ": not known by this printer model, nothing printed",
            CommandClass::KnownNotDrawn);
        placeMarker(MarkerKind::NotPrinted,
            std::string(SymbolKindName(symbol.kind)) + " not known by the model",
            static_cast<int>(current().commands.size()) - 1, false);
        return;
    }
    const bool printed = geometry_.measure(symbol) && symbol.width <= area();
    int command = addCommand(c, length,
        what + " \"" + symbol.data.substr(0, kShownTextLength) + "\""
            + (printed ? "" : ": data not valid or too wide, nothing printed"),
        CommandClass::Drawn);
    ++summary_.symbolCount;
    // Listed while the list's data stays small: a job printing one long
    // symbol over and over must not make a report of hundreds of megabytes.
    if (summary_.symbols.size() < limits_.listedEvents
        && listedSymbolBytes_ + static_cast<long long>(symbol.data.size())
            <= limits_.listedSymbolBytes) {
        listedSymbolBytes_ += static_cast<long long>(symbol.data.size());
        summary_.symbols.push_back(
            { current().commands[command].offset, symbol.kind, symbol.data, printed });
    }
    if (printed) {
        int width = symbol.width, height = symbol.height;
        placeBlock({ std::move(symbol), command }, width, height);
    } else {
        placeMarker(MarkerKind::NotPrinted,
            std::string(SymbolKindName(symbol.kind)) + " not printed", command, false);
    }
}

// The 2-D code stored under `cn` (GS ( k numbers: 48 PDF417, 49 QR Code...).
void ReceiptPrinter::printStored(
    const unsigned char* c, long long length, int cn, const std::string& what)
{
    static const std::map<int, SymbolKind> kinds = { { 49, SymbolKind::QrCode },
        { 48, SymbolKind::Pdf417 }, { 54, SymbolKind::DataMatrix }, { 53, SymbolKind::Aztec } };
    const StoredSymbol& stored = symbols_[cn];
    Symbol symbol;
    symbol.kind = kinds.at(cn);
    symbol.data = stored.data;
    symbol.moduleWidth = stored.moduleSize;
    symbol.errorCorrection = stored.errorCorrection;
    symbol.columns = stored.columns;
    symbol.rows = stored.rows;
    symbol.barHeight = stored.rowHeight;
    printSymbol(std::move(symbol), c, length, what);
}

// Star's ESC b n1 n2 n3 n4 data RS: n1 the symbology, n2 whether the text
// prints under the bars (2, 4), n3 the module width mode, n4 the height.
void ReceiptPrinter::starBarcode(const unsigned char* c, long long length)
{
    const int type = bytes::Digit(c[2]), text = bytes::Digit(c[3]), mode = bytes::Digit(c[4]);
    static const SymbolKind kinds[] = { SymbolKind::UpcE, SymbolKind::UpcA, SymbolKind::Ean8,
        SymbolKind::Ean13, SymbolKind::Code39, SymbolKind::Itf, SymbolKind::Code128,
        SymbolKind::Code93, SymbolKind::Codabar, SymbolKind::Gs1_128, SymbolKind::DataBarOmni,
        SymbolKind::DataBarTruncated, SymbolKind::DataBarLimited, SymbolKind::DataBarExpanded };
    if (type > 13) {
        knownNotDrawn(
            c, length, "Barcode of type " + std::to_string(c[2]) + ", not a type this printer has");
        return;
    }
    long long end = length;
    if (end > 6 && c[end - 1] == 0x1E)
        --end;
    Symbol symbol;
    symbol.kind = kinds[type];
    symbol.data.assign(
        reinterpret_cast<const char*>(c + 6), static_cast<std::size_t>(std::max(0LL, end - 6)));
    // Code 39, ITF and NW-7 take a narrow:wide ratio in threes; the others a module of 2 to 4 dots.
    const bool ratio = symbol.kind == SymbolKind::Code39 || symbol.kind == SymbolKind::Itf
        || symbol.kind == SymbolKind::Codabar;
    symbol.moduleWidth = ratio ? (std::clamp(mode, 1, 9) - 1) % 3 + 2 : std::clamp(mode, 1, 3) + 1;
    symbol.barHeight = std::max(1, static_cast<int>(c[5]));
    symbol.textPlace = text == 2 || text == 4 ? TextPlace::Below : TextPlace::None;
    symbol.textFont = Font::A;
    printSymbol(
        std::move(symbol), c, length, std::string("Barcode ") + SymbolKindName(kinds[type]));
}

// GS ( k pL pH cn fn [parameters]
void ReceiptPrinter::runTwoDimensional(const unsigned char* c, long long length)
{
    if (length < 7) {
        knownNotDrawn(c, length, "2-D code function");
        return;
    }
    int cn = c[5], fn = c[6];
    int n = length > 7 ? c[7] : 0;
    struct Family {
        int cn;
        SymbolKind kind;
    };
    static const Family families[] = { { 49, SymbolKind::QrCode }, { 48, SymbolKind::Pdf417 },
        { 54, SymbolKind::DataMatrix }, { 53, SymbolKind::Aztec } };
    const Family* family = nullptr;
    for (const Family& f : families)
        if (f.cn == cn)
            family = &f;
    if (!family) {
        knownNotDrawn(c, length,
            cn == 50       ? "MaxiCode function"
                : cn == 51 ? "2-D GS1 DataBar function"
                : cn == 52 ? "Composite symbol function"
                           : "2-D code function");
        return;
    }
    std::string name = SymbolKindName(family->kind);
    StoredSymbol& stored = symbols_[cn];
    switch (fn) {
    case 65:
        if (cn == 48)
            stored.columns = n;
        // QR Code's model byte is 49, 50 or 51: model 1, model 2, Micro QR.
        setting(c, length,
            name
                + (cn == 48        ? " columns " + std::to_string(n)
                        : cn == 49 ? (n == 51 ? " Micro QR" : " model " + std::to_string(n - 48))
                                   : " model " + std::to_string(n)));
        return;
    case 66:
        if (cn == 48)
            stored.rows = n;
        if (cn == 54 && length > 9) {
            stored.columns = c[8];
            stored.rows = c[9];
        }
        setting(c, length, name + (cn == 48 ? " rows " + std::to_string(n) : " symbol type"));
        return;
    case 67:
        stored.moduleSize = std::clamp(n, 1, 16);
        setting(c, length, name + " module size " + std::to_string(n) + " dots");
        return;
    case 68:
        stored.rowHeight = std::clamp(n, 2, 8);
        setting(c, length, name + " row height " + std::to_string(n));
        return;
    case 69:
        stored.errorCorrection = cn == 48 && length > 8 ? (c[7] == 48 ? c[8] - 48 : -c[8]) : n;
        setting(c, length, name + " error correction " + ErrorCorrectionText(cn, c, length));
        return;
    case 70:
        setting(c, length, name + " options " + std::to_string(n));
        return;
    case 80:
        stored.data.assign(reinterpret_cast<const char*>(c + 8),
            static_cast<std::size_t>(std::max(0LL, length - 8)));
        setting(c, length,
            "Store " + name + " data (" + std::to_string(stored.data.size()) + " bytes)");
        return;
    case 81:
        printStored(c, length, cn, "Print " + name);
        return;
    case 82:
        addCommand(c, length, name + " size information (consumed)", CommandClass::Status);
        return;
    default:
        knownNotDrawn(c, length, name + " function " + std::to_string(fn));
        return;
    }
}

} // namespace ostrel::receipt
