#include "receipt/symbol_geometry.h"

#include <algorithm>

namespace ostrel::receipt {

bool EstimatedSymbolGeometry::measure(Symbol& symbol) const
{
    if (symbol.data.empty())
        return false;
    int length = static_cast<int>(symbol.data.size());
    if (IsTwoDimensional(symbol.kind)) {
        int modules = 21 + 4 * std::min(36, length / 16);
        symbol.width = symbol.height = modules * symbol.moduleWidth;
        return true;
    }
    symbol.width = (35 + 11 * length) * symbol.moduleWidth;
    symbol.height = symbol.barHeight;
    if (symbol.textPlace == TextPlace::Above || symbol.textPlace == TextPlace::Both)
        symbol.height += BarcodeTextHeight(symbol.textFont);
    if (symbol.textPlace == TextPlace::Below || symbol.textPlace == TextPlace::Both)
        symbol.height += BarcodeTextHeight(symbol.textFont);
    return true;
}

namespace {

    // The GS1 mod-10 check digit: digits weighted 3, 1, 3... from the right.
    char CheckDigit(const std::string& digits)
    {
        int sum = 0;
        for (std::size_t i = 0; i < digits.size(); ++i)
            sum += (digits[digits.size() - 1 - i] - '0') * (i % 2 == 0 ? 3 : 1);
        return static_cast<char>('0' + (10 - sum % 10) % 10);
    }

} // namespace

std::string PrintedText(SymbolKind kind, const std::string& data)
{
    const bool digits = !data.empty() && data.find_first_not_of("0123456789") == std::string::npos;
    const std::size_t without = kind == SymbolKind::UpcA ? 11
        : kind == SymbolKind::Ean13                      ? 12
        : kind == SymbolKind::Ean8                       ? 7
                                                         : 0;
    if (digits && without != 0 && data.size() == without)
        return data + CheckDigit(data);
    return data;
}

const char* SymbolKindName(SymbolKind kind)
{
    switch (kind) {
    case SymbolKind::UpcA:
        return "UPC-A";
    case SymbolKind::UpcE:
        return "UPC-E";
    case SymbolKind::Ean13:
        return "EAN-13";
    case SymbolKind::Ean8:
        return "EAN-8";
    case SymbolKind::Code39:
        return "CODE39";
    case SymbolKind::Itf:
        return "ITF";
    case SymbolKind::Codabar:
        return "CODABAR";
    case SymbolKind::Code93:
        return "CODE93";
    case SymbolKind::Code128:
        return "CODE128";
    case SymbolKind::Gs1_128:
        return "GS1-128";
    case SymbolKind::DataBarOmni:
        return "GS1 DataBar Omnidirectional";
    case SymbolKind::DataBarTruncated:
        return "GS1 DataBar Truncated";
    case SymbolKind::DataBarLimited:
        return "GS1 DataBar Limited";
    case SymbolKind::DataBarExpanded:
        return "GS1 DataBar Expanded";
    case SymbolKind::QrCode:
        return "QR Code";
    case SymbolKind::Pdf417:
        return "PDF417";
    case SymbolKind::DataMatrix:
        return "DataMatrix";
    case SymbolKind::Aztec:
        return "Aztec";
    }
    return "?";
}

} // namespace ostrel::receipt
