#pragma once

#include "receipt/symbol_geometry.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ostrel::render {

// A symbol as zint encodes it: a grid of modules, rows of a given height in
// modules (1-D codes have one row), and the human-readable text.
struct EncodedSymbol {
    int columns = 0, rows = 0;
    std::vector<std::uint8_t> modules; // row-major, 1 is a bar or dark module
    std::vector<int> rowHeights; // in modules; 0 for a 1-D code's one row
    std::string text;
    bool module(int column, int row) const
    {
        return modules[static_cast<std::size_t>(row) * columns + column] != 0;
    }
};

// Encodes with zint; false (and a reason) when zint refuses the data.
bool EncodeSymbol(
    const receipt::Symbol& symbol, EncodedSymbol& encoded, std::string* error = nullptr);

// Symbol sizes from zint itself, so that the model lays out what is drawn.
class ZintSymbolGeometry : public receipt::SymbolGeometry {
public:
    bool measure(receipt::Symbol& symbol) const override;
};

// Dots from the left edge of the symbol's place to its first bar, and the bar
// area's height: what the renderer and the measure agree on.
int BarAreaHeight(const receipt::Symbol& symbol, const EncodedSymbol& encoded);

} // namespace ostrel::render
