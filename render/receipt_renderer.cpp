#include "render/receipt_renderer.h"

#include "receipt/marker_margin.h"
#include "render/dot_canvas.h"
#include "render/symbol_encoder.h"

#include <QBuffer>
#include <QFileInfo>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <climits>

namespace ostrel::render {
namespace {

    using namespace ostrel::receipt;

    constexpr int kCutGap = 24;
    constexpr int kLabelHeight = 21;
    constexpr std::size_t kLabelCharacters = 24;

    // An upright glyph scaled by whole numbers: runs of dots at a time.
    void DrawUprightGlyph(
        DotCanvas& canvas, const Glyph& glyph, int x, int y, int scaleX, int scaleY, bool ink)
    {
        for (const Glyph::Span& span : glyph.spans)
            for (int repeat = 0; repeat < scaleY; ++repeat)
                canvas.span(y + span.row * scaleY + repeat, x + span.left * scaleX,
                    x + span.right * scaleX, ink);
    }

    // A glyph into the cell at (x, y), scaled, turned and mirrored as the style asks.
    void DrawGlyph(DotCanvas& canvas, const Glyph& glyph, int x, int y, int cellWidth,
        int cellHeight, const TextStyle& style)
    {
        if (glyph.blank())
            return;
        if (!style.upsideDown && !style.rotated && cellWidth % glyph.width == 0
            && cellHeight % glyph.height == 0) {
            DrawUprightGlyph(canvas, glyph, x, y, cellWidth / glyph.width,
                cellHeight / glyph.height, !style.reverse);
            return;
        }
        for (int row = 0; row < cellHeight; ++row) {
            for (int column = 0; column < cellWidth; ++column) {
                int u = column, v = row;
                if (style.upsideDown) {
                    u = cellWidth - 1 - u;
                    v = cellHeight - 1 - v;
                }
                int gx, gy;
                if (style.rotated) { // turned clockwise: the glyph's rows become columns
                    gx = v * glyph.width / cellHeight;
                    gy = (cellWidth - 1 - u) * glyph.height / cellWidth;
                } else {
                    gx = u * glyph.width / cellWidth;
                    gy = v * glyph.height / cellHeight;
                }
                if (glyph.dots[static_cast<std::size_t>(gy) * glyph.width + gx])
                    canvas.set(x + column, y + row, !style.reverse);
            }
        }
    }

    void DrawText(DotCanvas& canvas, GlyphCache& glyphs, const TextRun& run, int dy)
    {
        int x = run.x;
        const int y = run.y + dy;
        for (char32_t ch : run.text) {
            const Glyph& glyph = glyphs.glyph(ch, run.style.font, run.style.bold);
            if (run.style.reverse)
                canvas.fill(x, y, run.cellWidth + run.spacing, run.cellHeight);
            DrawGlyph(canvas, glyph, x, y, run.cellWidth, run.cellHeight, run.style);
            if (run.style.underline > 0 && !run.style.rotated) {
                int thickness = run.style.underline;
                int top = run.style.upsideDown ? y : y + run.cellHeight - thickness;
                canvas.fill(x, top, run.cellWidth + run.spacing, thickness, !run.style.reverse);
            }
            if (run.style.upperline > 0 && !run.style.rotated) {
                int thickness = run.style.upperline;
                int top = run.style.upsideDown ? y + run.cellHeight - thickness : y;
                canvas.fill(x, top, run.cellWidth + run.spacing, thickness, !run.style.reverse);
            }
            x += run.cellWidth + run.spacing;
        }
    }

    // Plain text in a font's own cell, for barcode text and marker labels.
    void DrawLabel(
        DotCanvas& canvas, GlyphCache& glyphs, const std::string& text, int x, int y, Font font)
    {
        TextStyle style;
        style.font = font;
        for (unsigned char c : text) {
            const Glyph& glyph = glyphs.glyph(c, font, false);
            DrawGlyph(canvas, glyph, x, y, glyph.width, glyph.height, style);
            x += glyph.width;
        }
    }

    void DrawSymbol(DotCanvas& canvas, GlyphCache& glyphs, const Symbol& symbol)
    {
        EncodedSymbol encoded;
        if (!EncodeSymbol(symbol, encoded))
            return;
        int module = symbol.moduleWidth;
        if (IsTwoDimensional(symbol.kind)) {
            int rowHeight = (symbol.kind == SymbolKind::Pdf417 ? symbol.barHeight : 1) * module;
            for (int row = 0; row < encoded.rows; ++row)
                for (int column = 0; column < encoded.columns; ++column)
                    if (encoded.module(column, row))
                        canvas.fill(symbol.x + column * module, symbol.y + row * rowHeight, module,
                            rowHeight);
            return;
        }
        int textHeight = BarcodeTextHeight(symbol.textFont);
        bool above = symbol.textPlace == TextPlace::Above || symbol.textPlace == TextPlace::Both;
        bool below = symbol.textPlace == TextPlace::Below || symbol.textPlace == TextPlace::Both;
        int barsTop = symbol.y + (above ? textHeight : 0);
        int barHeight = symbol.barHeight;
        for (int row = 0; row < encoded.rows; ++row) {
            int top = barsTop + barHeight * row / encoded.rows;
            int bottom = barsTop + barHeight * (row + 1) / encoded.rows;
            for (int column = 0; column < encoded.columns; ++column)
                if (encoded.module(column, row))
                    canvas.fill(symbol.x + column * module, top, module, bottom - top);
        }
        int textWidth = static_cast<int>(encoded.text.size()) * FontCellWidth(symbol.textFont);
        int textX = symbol.x + (symbol.width - textWidth) / 2;
        if (above)
            DrawLabel(canvas, glyphs, encoded.text, textX, symbol.y + 2, symbol.textFont);
        if (below)
            DrawLabel(
                canvas, glyphs, encoded.text, textX, barsTop + barHeight + 2, symbol.textFont);
    }

    void DrawImage(DotCanvas& canvas, const BitImage& image, int dy)
    {
        for (int row = 0; row < image.height; ++row) {
            const int y = image.y + dy + row;
            if (y < 0 || y >= canvas.height())
                continue;
            for (int column = 0; column < image.width; ++column)
                if (image.dot(column, row))
                    canvas.set(image.x + column, y);
        }
    }

    void DashedLine(DotCanvas& canvas, int y)
    {
        for (int x = 0; x < canvas.width(); x += 12)
            canvas.fill(x, y, 6, 1);
    }

    // Where a stored logo nothing defined would print: its outline only.
    void DrawStoredImagePlace(DotCanvas& canvas, const Marker& marker)
    {
        for (int x = marker.x; x < marker.x + marker.width; x += 4) {
            canvas.fill(x, marker.y, 2, 1);
            canvas.fill(x, marker.y + marker.height - 1, 2, 1);
        }
        for (int y = marker.y; y < marker.y + marker.height; y += 4) {
            canvas.fill(marker.x, y, 1, 2);
            canvas.fill(marker.x + marker.width - 1, y, 1, 2);
        }
    }

    // The markers' labels in the margin right of the paper (which starts at
    // `paperWidth`), each tied by a line to its row at the paper's edge.
    void DrawMargin(
        DotCanvas& canvas, GlyphCache& glyphs, const Receipt& receipt, int top, int paperWidth)
    {
        canvas.fill(paperWidth, top, 1, ReceiptHeight(receipt, true));
        for (const MarginLabel& label : MarginLabels(receipt, kLabelHeight, kLabelCharacters)) {
            const int anchor = top + label.anchor, middle = top + label.y + kLabelHeight / 2;
            canvas.fill(paperWidth, anchor, 8, 1);
            canvas.fill(paperWidth + 7, std::min(anchor, middle), 1, std::abs(anchor - middle) + 1);
            canvas.fill(paperWidth + 7, middle, 6, 1);
            DrawLabel(canvas, glyphs, label.text, paperWidth + 16, top + label.y + 2, Font::B);
        }
    }

    int ItemBottom(const PaperItem& item)
    {
        return std::visit(
            [](const auto& placed) {
                if constexpr (std::is_same_v<std::decay_t<decltype(placed)>, TextRun>)
                    return placed.y + placed.cellHeight;
                else
                    return placed.y + placed.height;
            },
            item.what);
    }

    // The items that reach into rows [from, to) of the receipt, drawn `top` rows
    // lower on the canvas.
    void DrawReceipt(DotCanvas& canvas, GlyphCache& glyphs, const Receipt& receipt, int top,
        RenderOptions options, int from = INT_MIN, int to = INT_MAX)
    {
        for (const PaperItem& item : receipt.items) {
            const int itemTop = std::visit([](const auto& placed) { return placed.y; }, item.what);
            // Cut markers draw their label a little above their line.
            if (itemTop - 12 >= to || ItemBottom(item) + 12 <= from)
                continue;
            std::visit(
                [&](const auto& placed) {
                    using T = std::decay_t<decltype(placed)>;
                    if constexpr (std::is_same_v<T, TextRun>) {
                        DrawText(canvas, glyphs, placed, top);
                    } else if constexpr (std::is_same_v<T, BitImage>) {
                        DrawImage(canvas, placed, top);
                    } else {
                        auto moved = placed;
                        moved.y += top;
                        if constexpr (std::is_same_v<T, Symbol>)
                            DrawSymbol(canvas, glyphs, moved);
                        else if (options.markers && moved.kind == MarkerKind::StoredImage)
                            DrawStoredImagePlace(canvas, moved);
                    }
                },
                item.what);
        }
    }

} // namespace

int ReceiptHeight(const Receipt& receipt, bool withLabels)
{
    int height = receipt.height;
    for (const PaperItem& item : receipt.items)
        height = std::max(height, ItemBottom(item));
    if (withLabels)
        for (const MarginLabel& label : MarginLabels(receipt, kLabelHeight, kLabelCharacters))
            height = std::max(height, label.y + kLabelHeight);
    return std::max(1, height);
}

int ImageWidth(int paperWidth, RenderOptions options)
{
    return paperWidth + (options.markers ? kMarginWidth : 0);
}

QImage ReceiptRenderer::renderRows(
    const Receipt& receipt, int paperWidth, int from, int rows, RenderOptions options)
{
    DotCanvas canvas(ImageWidth(paperWidth, options), std::max(1, rows));
    DrawReceipt(canvas, glyphs_, receipt, -from, options, from, from + rows);
    if (options.markers)
        DrawMargin(canvas, glyphs_, receipt, -from, paperWidth);
    return canvas.toImage();
}

std::deque<Receipt> ReceiptsWithContent(const std::deque<Receipt>& receipts)
{
    std::deque<Receipt> shown;
    for (const Receipt& receipt : receipts)
        if (PaperFed(receipt))
            shown.push_back(receipt);
    return shown;
}

QImage ReceiptRenderer::render(const Receipt& receipt, int paperWidth, RenderOptions options)
{
    return renderRows(receipt, paperWidth, 0, ReceiptHeight(receipt, options.markers), options);
}

QImage ReceiptRenderer::renderAll(
    const std::deque<Receipt>& receipts, int paperWidth, RenderOptions options)
{
    long long total = 0;
    for (const Receipt& receipt : receipts)
        total += ReceiptHeight(receipt, options.markers) + kCutGap;
    DotCanvas canvas(ImageWidth(paperWidth, options),
        static_cast<int>(std::clamp<long long>(total, 1, kSheetRows)));
    int top = 0;
    for (const Receipt& receipt : receipts) {
        DrawReceipt(canvas, glyphs_, receipt, top, options);
        if (options.markers)
            DrawMargin(canvas, glyphs_, receipt, top, paperWidth);
        top += ReceiptHeight(receipt, options.markers) + kCutGap;
        if (&receipt != &receipts.back())
            DashedLine(canvas, top - kCutGap / 2);
    }
    return canvas.toImage();
}

std::vector<Sheet> Sheets(const std::deque<Receipt>& receipts, RenderOptions options)
{
    std::vector<Sheet> sheets;
    for (std::size_t i = 0; i < receipts.size(); ++i) {
        const int height = ReceiptHeight(receipts[i], options.markers);
        for (int from = 0; from < height; from += kSheetRows)
            sheets.push_back({ static_cast<int>(i), from, std::min(kSheetRows, height - from) });
    }
    return sheets;
}

bool SheetFileName(const QString& pattern, int number, QString& name, QString& error)
{
    name.clear();
    bool numbered = false;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != QLatin1Char('%')) {
            name += pattern[i];
            continue;
        }
        if (i + 1 < pattern.size() && pattern[i + 1] == QLatin1Char('%')) {
            name += QLatin1Char('%');
            ++i;
            continue;
        }
        qsizetype end = i + 1;
        const bool zeros = end < pattern.size() && pattern[end] == QLatin1Char('0');
        qsizetype digitsStart = end;
        while (end < pattern.size() && pattern[end].isDigit())
            ++end;
        const int width = pattern.mid(digitsStart, end - digitsStart).toInt();
        if (end >= pattern.size() || pattern[end] != QLatin1Char('d') || numbered || width > 9) {
            error = QStringLiteral("a name may hold one number, as %d or %03d, and no other %");
            return false;
        }
        name += QStringLiteral("%1").arg(number, width, 10, QLatin1Char(zeros ? '0' : ' '));
        numbered = true;
        i = end;
    }
    if (!numbered) {
        error = QStringLiteral("the name holds no %d");
        return false;
    }
    return true;
}

namespace {

    bool EncodePng(const QImage& image, QByteArray& bytes, QString& error)
    {
        bytes.clear();
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (image.save(&buffer, "PNG"))
            return true;
        error = QStringLiteral("the image could not be encoded");
        return false;
    }

    bool Blank(const QImage& image)
    {
        const qsizetype bytesPerLine = (image.width() + 7) / 8;
        for (int y = 0; y < image.height(); ++y) {
            const uchar* line = image.constScanLine(y);
            if (std::any_of(line, line + bytesPerLine, [](uchar byte) { return byte != 0; }))
                return false;
        }
        return true;
    }

    // "out.png" holds "out-%03d.png" when it has to be cut into sheets.
    QString SheetPattern(const QString& fileName)
    {
        QString escaped = fileName;
        escaped.replace(QLatin1Char('%'), QStringLiteral("%%"));
        return escaped.left(escaped.size() - 4) + QStringLiteral("-%03d") + escaped.right(4);
    }

} // namespace

bool ReceiptRenderer::encode(const std::deque<Receipt>& receipts, int paperWidth,
    const QString& fileName, RenderOptions options, std::vector<EncodedFile>& files, QString& error)
{
    files.clear();
    const bool pdf = fileName.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive);
    const bool png = fileName.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive);
    if (!pdf && !png) {
        error = QStringLiteral("the name must end in .png or .pdf");
        return false;
    }
    const std::deque<Receipt> some = receipts.empty() ? std::deque<Receipt>(1) : receipts;
    const std::vector<Sheet> sheets = Sheets(some, options);
    if (pdf) {
        files.push_back({ fileName, {} });
        return encodePdf(some, sheets, paperWidth, options, files.back().bytes, error);
    }
    const bool numbered = fileName.contains(QLatin1Char('%'));
    long long total = 0;
    for (const Receipt& receipt : some)
        total += ReceiptHeight(receipt, options.markers) + kCutGap;
    if (!numbered && total - kCutGap <= kSheetRows) {
        files.push_back({ fileName, {} });
        return EncodePng(renderAll(some, paperWidth, options), files.back().bytes, error);
    }
    // A file a receipt, or a sheet of a receipt too long for one image.
    const QString pattern = numbered ? fileName : SheetPattern(fileName);
    const std::vector<int> tops = ReceiptTops(some, options.markers);
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        EncodedFile file;
        if (!SheetFileName(pattern, static_cast<int>(i) + 1, file.name, error))
            return false;
        const Sheet& sheet = sheets[i];
        QImage image = renderRows(some[sheet.receipt], paperWidth, sheet.from, sheet.rows, options);
        // Where the sheet goes among the receipts stacked as one, as the
        // commands' rectangles are placed: what stacks the sheets reads it.
        image.setText(
            QString::fromLatin1(kSheetTopKey), QString::number(tops[sheet.receipt] + sheet.from));
        if (!EncodePng(image, file.bytes, error))
            return false;
        files.push_back(std::move(file));
    }
    return true;
}

bool ReceiptRenderer::encodePdf(const std::deque<Receipt>& receipts,
    const std::vector<Sheet>& sheets, int paperWidth, RenderOptions options, QByteArray& bytes,
    QString& error)
{
    bytes.clear();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(203);
    writer.setCreator(QStringLiteral("Ostrel Serial Print Command Capture"));
    QPainter painter;
    const int width = ImageWidth(paperWidth, options);
    // A page a sheet, drawn in strips: a painter holds what it draws in
    // colour, and a whole receipt at a time would take many times its size.
    constexpr int kStripRows = 1024;
    for (const Sheet& sheet : sheets) {
        writer.setPageSize(
            QPageSize(QSizeF(width * 25.4 / 203, sheet.rows * 25.4 / 203), QPageSize::Millimeter));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        if (&sheet == &sheets.front()) {
            if (!painter.begin(&writer)) {
                error = QStringLiteral("the PDF could not be started");
                return false;
            }
            painter.setRenderHint(QPainter::LosslessImageRendering);
        } else {
            writer.newPage();
        }
        for (int row = 0; row < sheet.rows; row += kStripRows) {
            const int rows = std::min(kStripRows, sheet.rows - row);
            QImage strip
                = renderRows(receipts[sheet.receipt], paperWidth, sheet.from + row, rows, options);
            if (Blank(strip))
                continue; // the page is white
            // As black on index 0 the PDF keeps it a 1-bit mask, compressed
            // without loss, instead of a colour JPEG.
            strip.invertPixels();
            strip.setColorTable({ qRgb(0, 0, 0), qRgb(255, 255, 255) });
            painter.drawImage(QRect(0, row, strip.width(), rows), strip);
        }
    }
    painter.end();
    return true;
}

std::vector<int> ReceiptTops(const std::deque<Receipt>& receipts, bool markers)
{
    std::vector<int> tops;
    int top = 0;
    for (const Receipt& receipt : receipts) {
        tops.push_back(top);
        top += ReceiptHeight(receipt, markers) + kCutGap;
    }
    return tops;
}

} // namespace ostrel::render
