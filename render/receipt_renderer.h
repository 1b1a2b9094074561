#pragma once

#include "receipt/paper.h"
#include "render/glyph_cache.h"

#include <QImage>
#include <QString>

#include <deque>
#include <vector>

namespace ostrel::render {

struct RenderOptions {
    // Markers (cuts, drawer pulses, bytes not understood) labelled in a
    // margin right of the paper, never over it; without them, the paper as
    // printed.
    bool markers = false;
};

// The margin's width in dots, and the most rows one image holds: image
// tools refuse taller ones under their default limits.
constexpr int kMarginWidth = 240;
constexpr int kSheetRows = 16384;

// Rows [from, from + rows) of receipt `receipt`: one image of a saved preview.
struct Sheet {
    int receipt = 0;
    int from = 0;
    int rows = 0;
};
std::vector<Sheet> Sheets(const std::deque<receipt::Receipt>& receipts, RenderOptions options);
// The PNG text a sheet's file carries: the row where it goes among the
// receipts stacked as one (as ReceiptTops places them).
inline constexpr const char* kSheetTopKey = "Top";

struct EncodedFile {
    QString name;
    QByteArray bytes;
};

// The name of sheet `number` by a pattern holding one %d (or %03d, ...):
// false with `error` set for a pattern without one, or with another %.
bool SheetFileName(const QString& pattern, int number, QString& name, QString& error);

// Draws receipts dot for dot as the printer prints them, as 1-bit images.
class ReceiptRenderer {
public:
    QImage render(const receipt::Receipt& receipt, int paperWidth, RenderOptions options = {});
    // Only rows [from, from + rows) of the receipt: what a window shows of a
    // long one.
    QImage renderRows(const receipt::Receipt& receipt, int paperWidth, int from, int rows,
        RenderOptions options = {});
    // Receipts one under the other, a dashed cut line between them.
    QImage renderAll(
        const std::deque<receipt::Receipt>& receipts, int paperWidth, RenderOptions options = {});

    // The files of a PNG with every receipt, or of a PDF with a page a
    // receipt (at 203 dpi), by the file name's ending. A name holding a %d
    // gives a PNG a receipt. A receipt taller than a sheet takes one page or
    // PNG a sheet, and receipts too tall together for one PNG are written as
    // NAME-001.png, NAME-002.png... False with `error` set for any other
    // ending, or a name with a % that is not one %d.
    bool encode(const std::deque<receipt::Receipt>& receipts, int paperWidth,
        const QString& fileName, RenderOptions options, std::vector<EncodedFile>& files,
        QString& error);

    // Whether the fonts have a glyph for the character.
    bool covers(char32_t ch) { return glyphs_.covers(ch); }

private:
    bool encodePdf(const std::deque<receipt::Receipt>& receipts, const std::vector<Sheet>& sheets,
        int paperWidth, RenderOptions options, QByteArray& bytes, QString& error);

    GlyphCache glyphs_;
};

// Rows of paper the receipt needs for everything drawn on it, not only as far
// as the paper was fed.
// With `withLabels`, as far as the margin's labels reach too.
int ReceiptHeight(const receipt::Receipt& receipt, bool withLabels = false);

// Receipts that have something on them: a cut-off empty receipt at the end
// (the paper after the last cut) is left out.
std::deque<receipt::Receipt> ReceiptsWithContent(const std::deque<receipt::Receipt>& receipts);
// Where each receipt begins in renderAll's image, in rows.
std::vector<int> ReceiptTops(const std::deque<receipt::Receipt>& receipts, bool markers = false);

} // namespace ostrel::render
