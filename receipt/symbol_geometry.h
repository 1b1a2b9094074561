#pragma once

#include "receipt/paper.h"

namespace ostrel::receipt {

// Tells the printer model how big a symbol prints. The renderer answers from
// the symbol library itself; the estimate serves where nothing is drawn.
class SymbolGeometry {
public:
    virtual ~SymbolGeometry() = default;
    // Sets symbol.width and symbol.height; false when the data cannot make
    // this kind of symbol (the printer then prints nothing for it).
    virtual bool measure(Symbol& symbol) const = 0;
};

// A size from the data length alone: right for layouts that need no dots.
class EstimatedSymbolGeometry : public SymbolGeometry {
public:
    bool measure(Symbol& symbol) const override;
};

// The cell of a font, before scaling.
inline int FontCellWidth(Font font) { return font == Font::A ? 12 : 9; }
inline int FontCellHeight(Font font) { return font == Font::A ? 24 : 17; }

// The height of a barcode's human-readable line, gap included.
inline int BarcodeTextHeight(Font font) { return FontCellHeight(font) + 4; }

} // namespace ostrel::receipt
