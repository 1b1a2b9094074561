#pragma once

#include "receipt/paper.h"
#include "render/glyph_cache.h"

#include <QImage>
#include <QString>

#include <deque>

namespace ostrel::render {

struct RenderOptions {
    // Markers (cuts, drawer pulses, bytes not understood) drawn over the paper.
    bool markers = true;
};

// Draws receipts dot for dot as the printer prints them, as 1-bit images.
class ReceiptRenderer {
public:
    QImage render(const receipt::Receipt& receipt, int paperWidth, RenderOptions options = {});
    // Only rows [from, from + rows) of the receipt: what a window shows of a
    // long one.
    QImage renderRows(const receipt::Receipt& receipt, int paperWidth, int from, int rows, RenderOptions options = {});
    // Receipts one under the other, a dashed cut line between them.
    QImage renderAll(const std::deque<receipt::Receipt>& receipts, int paperWidth, RenderOptions options = {});

    // The bytes of a PNG with every receipt, or of a PDF with a page a
    // receipt (at 203 dpi), by the file name's ending. False with `error` set
    // for any other ending.
    bool encode(const std::deque<receipt::Receipt>& receipts, int paperWidth, const QString& fileName,
                QByteArray& bytes, QString& error);

    // Whether the fonts have a glyph for the character.
    bool covers(char32_t ch) { return glyphs_.covers(ch); }

private:
    GlyphCache glyphs_;
};

// Rows of paper the receipt needs for everything drawn on it, not only as far
// as the paper was fed.
int ReceiptHeight(const receipt::Receipt& receipt);

// Receipts that have something on them: a cut-off empty receipt at the end
// (the paper after the last cut) is left out.
std::deque<receipt::Receipt> ReceiptsWithContent(const std::deque<receipt::Receipt>& receipts);

} // namespace ostrel::render
