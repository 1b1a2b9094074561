#pragma once

#include "receipt/symbol_geometry.h"

#include <QRawFont>

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace ostrel::render {

// A character drawn in its font's cell, unscaled: one byte a dot.
struct Glyph {
    int width = 0, height = 0;
    std::vector<std::uint8_t> dots;
    // The same ink as runs of dots in a row: [left, right) of row `row`.
    struct Span {
        int row, left, right;
    };
    std::vector<Span> spans;
    bool blank() const { return spans.empty(); }
};

// The printer's two fonts as bitmap fonts of their own cell sizes: Terminus
// 12 x 24 for font A (fonts-terminus-otb) and the X11 misc-fixed 9 x 18 cut to
// 9 x 17 for font B (xfonts-base). A character a font lacks comes from DejaVu
// Sans Mono fitted to the cell, and line pieces, blocks and characters DejaVu
// lacks from GNU Unifont (fonts-unifont) stretched over the cell.
//
// The font files are read at the first glyph, not when the cache is made: a
// window that never shows a receipt pays nothing for them at start-up.
class GlyphCache {
public:
    const Glyph& glyph(char32_t ch, receipt::Font font, bool bold);
    // Whether any of the fonts has a glyph for the character.
    bool covers(char32_t ch);

private:
    struct Face {
        QRawFont font;
        int baselineShift = 0; // rows dropped from the top to fit the cell
    };
    void loadFaces();
    Glyph draw(char32_t ch, receipt::Font font, bool bold);
    QImage unifontCell(char32_t ch, int width, int height) const;
    static void toDots(const QImage& cell, Glyph& glyph, bool embolden);

    bool facesLoaded_ = false;

    Face faces_[2][2]; // [font][bold]
    QRawFont fallback_[2];
    QRawFont unifont_;
    std::unordered_map<std::uint64_t, Glyph> glyphs_;
};

} // namespace ostrel::render
