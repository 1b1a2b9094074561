#include "render/receipt_renderer.h"

#include "render/dot_canvas.h"
#include "render/symbol_encoder.h"

#include <QFileInfo>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QBuffer>

#include <algorithm>
#include <climits>

namespace ostrel::render {
namespace {

using namespace ostrel::receipt;

constexpr int kCutGap = 24;

// An upright glyph scaled by whole numbers: runs of dots at a time.
void DrawUprightGlyph(DotCanvas& canvas, const Glyph& glyph, int x, int y, int scaleX, int scaleY, bool ink) {
    for (const Glyph::Span& span : glyph.spans)
        for (int repeat = 0; repeat < scaleY; ++repeat)
            canvas.span(y + span.row * scaleY + repeat, x + span.left * scaleX, x + span.right * scaleX, ink);
}

// A glyph into the cell at (x, y), scaled, turned and mirrored as the style asks.
void DrawGlyph(DotCanvas& canvas, const Glyph& glyph, int x, int y, int cellWidth, int cellHeight, const TextStyle& style) {
    if (glyph.blank()) return;
    if (!style.upsideDown && !style.rotated && cellWidth % glyph.width == 0 && cellHeight % glyph.height == 0) {
        DrawUprightGlyph(canvas, glyph, x, y, cellWidth / glyph.width, cellHeight / glyph.height, !style.reverse);
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
            if (glyph.dots[static_cast<std::size_t>(gy) * glyph.width + gx]) canvas.set(x + column, y + row, !style.reverse);
        }
    }
}

void DrawText(DotCanvas& canvas, GlyphCache& glyphs, const TextRun& run, int dy) {
    int x = run.x;
    const int y = run.y + dy;
    for (char32_t ch : run.text) {
        const Glyph& glyph = glyphs.glyph(ch, run.style.font, run.style.bold);
        if (run.style.reverse) canvas.fill(x, y, run.cellWidth + run.spacing, run.cellHeight);
        DrawGlyph(canvas, glyph, x, y, run.cellWidth, run.cellHeight, run.style);
        if (run.style.underline > 0 && !run.style.rotated) {
            int thickness = run.style.underline;
            int top = run.style.upsideDown ? y : y + run.cellHeight - thickness;
            canvas.fill(x, top, run.cellWidth + run.spacing, thickness, !run.style.reverse);
        }
        x += run.cellWidth + run.spacing;
    }
}

// Plain text in a font's own cell, for barcode text and marker labels.
void DrawLabel(DotCanvas& canvas, GlyphCache& glyphs, const std::string& text, int x, int y, Font font) {
    TextStyle style;
    style.font = font;
    for (unsigned char c : text) {
        const Glyph& glyph = glyphs.glyph(c, font, false);
        DrawGlyph(canvas, glyph, x, y, glyph.width, glyph.height, style);
        x += glyph.width;
    }
}

void DrawSymbol(DotCanvas& canvas, GlyphCache& glyphs, const Symbol& symbol) {
    EncodedSymbol encoded;
    if (!EncodeSymbol(symbol, encoded)) return;
    int module = symbol.moduleWidth;
    if (IsTwoDimensional(symbol.kind)) {
        int rowHeight = (symbol.kind == SymbolKind::Pdf417 ? symbol.barHeight : 1) * module;
        for (int row = 0; row < encoded.rows; ++row)
            for (int column = 0; column < encoded.columns; ++column)
                if (encoded.module(column, row))
                    canvas.fill(symbol.x + column * module, symbol.y + row * rowHeight, module, rowHeight);
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
            if (encoded.module(column, row)) canvas.fill(symbol.x + column * module, top, module, bottom - top);
    }
    int textWidth = static_cast<int>(encoded.text.size()) * FontCellWidth(symbol.textFont);
    int textX = symbol.x + (symbol.width - textWidth) / 2;
    if (above) DrawLabel(canvas, glyphs, encoded.text, textX, symbol.y + 2, symbol.textFont);
    if (below) DrawLabel(canvas, glyphs, encoded.text, textX, barsTop + barHeight + 2, symbol.textFont);
}

void DrawImage(DotCanvas& canvas, const BitImage& image, int dy) {
    for (int row = 0; row < image.height; ++row) {
        const int y = image.y + dy + row;
        if (y < 0 || y >= canvas.height()) continue;
        for (int column = 0; column < image.width; ++column)
            if (image.dot(column, row)) canvas.set(image.x + column, y);
    }
}

void DashedLine(DotCanvas& canvas, int y) {
    for (int x = 0; x < canvas.width(); x += 12) canvas.fill(x, y, 6, 1);
}

void DrawMarker(DotCanvas& canvas, GlyphCache& glyphs, const Marker& marker) {
    switch (marker.kind) {
    case MarkerKind::Cut:
    case MarkerKind::PartialCut: {
        DashedLine(canvas, marker.y);
        int width = static_cast<int>(marker.label.size()) * 9 + 8;
        int x = canvas.width() - width;
        canvas.fill(x, marker.y - 10, width, 21);
        canvas.invert(x, marker.y - 10, width, 21);
        DrawLabel(canvas, glyphs, marker.label, x + 4, marker.y - 8, Font::B);
        canvas.invert(x, marker.y - 10, width, 21);
        return;
    }
    case MarkerKind::StoredImage: {
        canvas.fill(marker.x, marker.y, marker.width, marker.height);
        canvas.fill(marker.x + 2, marker.y + 2, marker.width - 4, marker.height - 4, false);
        DrawLabel(canvas, glyphs, marker.label, marker.x + 8, marker.y + (marker.height - 17) / 2, Font::B);
        return;
    }
    default: { // a label white on black, so it cannot be taken for print
        int width = static_cast<int>(marker.label.size()) * 9 + 8;
        canvas.fill(marker.x, marker.y, width, marker.height);
        TextStyle style;
        style.font = Font::B;
        style.reverse = true;
        int x = marker.x + 4;
        for (unsigned char c : marker.label) {
            DrawGlyph(canvas, glyphs.glyph(c, Font::B, false), x, marker.y + 2, 9, 17, style);
            x += 9;
        }
        return;
    }
    }
}

int ItemBottom(const PaperItem& item) {
    return std::visit([](const auto& placed) {
        if constexpr (std::is_same_v<std::decay_t<decltype(placed)>, TextRun>)
            return placed.y + placed.cellHeight;
        else
            return placed.y + placed.height;
    }, item.what);
}

// The items that reach into rows [from, to) of the receipt, drawn `top` rows
// lower on the canvas.
void DrawReceipt(DotCanvas& canvas, GlyphCache& glyphs, const Receipt& receipt, int top, RenderOptions options,
                 int from = INT_MIN, int to = INT_MAX) {
    for (const PaperItem& item : receipt.items) {
        const int itemTop = std::visit([](const auto& placed) { return placed.y; }, item.what);
        // Cut markers draw their label a little above their line.
        if (itemTop - 12 >= to || ItemBottom(item) + 12 <= from) continue;
        std::visit([&](const auto& placed) {
            using T = std::decay_t<decltype(placed)>;
            if constexpr (std::is_same_v<T, TextRun>) {
                DrawText(canvas, glyphs, placed, top);
            } else if constexpr (std::is_same_v<T, BitImage>) {
                DrawImage(canvas, placed, top);
            } else {
                auto moved = placed;
                moved.y += top;
                if constexpr (std::is_same_v<T, Symbol>) DrawSymbol(canvas, glyphs, moved);
                else if (options.markers) DrawMarker(canvas, glyphs, moved);
            }
        }, item.what);
    }
}

} // namespace

int ReceiptHeight(const Receipt& receipt) {
    int height = receipt.height;
    for (const PaperItem& item : receipt.items) height = std::max(height, ItemBottom(item));
    return std::max(1, height);
}

QImage ReceiptRenderer::renderRows(const Receipt& receipt, int paperWidth, int from, int rows, RenderOptions options) {
    DotCanvas canvas(paperWidth, std::max(1, rows));
    DrawReceipt(canvas, glyphs_, receipt, -from, options, from, from + rows);
    return canvas.toImage();
}

std::deque<Receipt> ReceiptsWithContent(const std::deque<Receipt>& receipts) {
    std::deque<Receipt> shown;
    for (const Receipt& receipt : receipts)
        if (PaperFed(receipt)) shown.push_back(receipt);
    return shown;
}

QImage ReceiptRenderer::render(const Receipt& receipt, int paperWidth, RenderOptions options) {
    DotCanvas canvas(paperWidth, ReceiptHeight(receipt));
    DrawReceipt(canvas, glyphs_, receipt, 0, options);
    return canvas.toImage();
}

QImage ReceiptRenderer::renderAll(const std::deque<Receipt>& receipts, int paperWidth, RenderOptions options) {
    int total = 0;
    for (const Receipt& receipt : receipts) total += ReceiptHeight(receipt) + kCutGap;
    DotCanvas canvas(paperWidth, std::max(1, total));
    int top = 0;
    for (const Receipt& receipt : receipts) {
        DrawReceipt(canvas, glyphs_, receipt, top, options);
        top += ReceiptHeight(receipt) + kCutGap;
        if (&receipt != &receipts.back()) DashedLine(canvas, top - kCutGap / 2);
    }
    return canvas.toImage();
}

bool ReceiptRenderer::encode(const std::deque<Receipt>& receipts, int paperWidth, const QString& fileName,
                             QByteArray& bytes, QString& error) {
    bool pdf = fileName.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive);
    bool png = fileName.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive);
    if (!pdf && !png) {
        error = QStringLiteral("the name must end in .png or .pdf");
        return false;
    }
    bytes.clear();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (png) {
        if (!renderAll(receipts, paperWidth).save(&buffer, "PNG")) {
            error = QStringLiteral("the image could not be encoded");
            return false;
        }
        return true;
    }
    QPdfWriter writer(&buffer);
    writer.setResolution(203);
    writer.setCreator(QStringLiteral("Ostrel Serial Print Command Capture"));
    QPainter painter;
    const std::deque<Receipt> pages = receipts.empty() ? std::deque<Receipt>(1) : receipts;
    for (const Receipt& receipt : pages) {
        QImage image = render(receipt, paperWidth);
        writer.setPageSize(QPageSize(QSizeF(paperWidth * 25.4 / 203, image.height() * 25.4 / 203), QPageSize::Millimeter));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        if (&receipt == &pages.front()) {
            if (!painter.begin(&writer)) {
                error = QStringLiteral("the PDF could not be started");
                return false;
            }
        } else {
            writer.newPage();
        }
        painter.drawImage(QRect(0, 0, image.width(), image.height()), image);
    }
    painter.end();
    return true;
}

} // namespace ostrel::render
