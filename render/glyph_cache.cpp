#include "render/glyph_cache.h"

#include <QFile>
#include <QFont>
#include <QGlyphRun>
#include <QImage>
#include <QPainter>

namespace ostrel::render {
namespace {

    QRawFont LoadFont(const char* path, qreal pixelSize)
    {
        QFile file(QString::fromUtf8(path));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QRawFont font(file.readAll(), pixelSize, QFont::PreferNoHinting);
        return font.isValid() ? font : QRawFont {};
    }

    // Box drawing, block elements and the corner triangles fill their cell and
    // meet the next one; drawn from a font that lacks them they must be
    // stretched to the whole cell, not fitted inside it.
    bool FillsCell(char32_t ch)
    {
        return (ch >= 0x2500 && ch <= 0x259F) || (ch >= 0x25E2 && ch <= 0x25E5);
    }

    int CellWidth(receipt::Font font) { return receipt::FontCellWidth(font); }
    int CellHeight(receipt::Font font) { return receipt::FontCellHeight(font); }

} // namespace

void GlyphCache::loadFaces()
{
    using receipt::Font;
    const int a = static_cast<int>(Font::A), b = static_cast<int>(Font::B);
    faces_[a][0].font = LoadFont("/usr/share/fonts/opentype/terminus/terminus-normal.otb", 24);
    faces_[a][1].font = LoadFont("/usr/share/fonts/opentype/terminus/terminus-bold.otb", 24);
    faces_[b][0].font = LoadFont("/usr/share/fonts/X11/misc/9x18.pcf.gz", 18);
    faces_[b][1].font = LoadFont("/usr/share/fonts/X11/misc/9x18B.pcf.gz", 18);
    faces_[b][0].baselineShift = faces_[b][1].baselineShift = 1;
    // GNU Unifont: a bitmap glyph for every character, 8 or 16 x 16 dots.
    unifont_ = LoadFont("/usr/share/fonts/opentype/unifont/unifont.otf", 16);
    for (int font : { a, b }) {
        QFont mono(QStringLiteral("DejaVu Sans Mono"));
        mono.setStyleHint(QFont::Monospace);
        QRawFont raw = QRawFont::fromFont(mono);
        raw.setPixelSize(CellHeight(static_cast<Font>(font)) * 0.8);
        fallback_[font] = raw;
    }
    facesLoaded_ = true;
}

bool GlyphCache::covers(char32_t ch)
{
    if (!facesLoaded_)
        loadFaces();
    if (ch == U' ')
        return true;
    for (const auto& font : faces_)
        for (const Face& face : font)
            if (face.font.isValid() && face.font.supportsCharacter(ch))
                return true;
    if (unifont_.isValid() && unifont_.supportsCharacter(ch))
        return true;
    for (const QRawFont& fallback : fallback_)
        if (fallback.isValid() && fallback.supportsCharacter(ch))
            return true;
    return false;
}

// A Unifont glyph stretched dot for dot over the whole cell.
QImage GlyphCache::unifontCell(char32_t ch, int width, int height) const
{
    const QList<quint32> indexes = unifont_.glyphIndexesForString(QString::fromUcs4(&ch, 1));
    if (indexes.isEmpty() || indexes.first() == 0)
        return {};
    const QList<QPointF> advances
        = unifont_.advancesForGlyphIndexes(QList<quint32> { indexes.first() });
    const int advance = advances.isEmpty() ? 8 : std::clamp(qRound(advances.first().x()), 8, 16);
    QImage bitmap(advance, 16, QImage::Format_Grayscale8);
    bitmap.fill(255);
    QPainter painter(&bitmap);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    QGlyphRun run;
    run.setRawFont(unifont_);
    run.setGlyphIndexes({ indexes.first() });
    run.setPositions({ QPointF(0, qRound(unifont_.ascent())) });
    painter.setPen(Qt::black);
    painter.drawGlyphRun(QPointF(0, 0), run);
    painter.end();
    return bitmap.scaled(width, height, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

const Glyph& GlyphCache::glyph(char32_t ch, receipt::Font font, bool bold)
{
    std::uint64_t key
        = static_cast<std::uint64_t>(ch) << 2 | static_cast<int>(font) << 1 | (bold ? 1 : 0);
    auto found = glyphs_.find(key);
    if (found == glyphs_.end()) {
        if (!facesLoaded_)
            loadFaces();
        found = glyphs_.emplace(key, draw(ch, font, bold)).first;
    }
    return found->second;
}

Glyph GlyphCache::draw(char32_t ch, receipt::Font font, bool bold)
{
    Glyph glyph;
    glyph.width = CellWidth(font);
    glyph.height = CellHeight(font);
    glyph.dots.assign(static_cast<std::size_t>(glyph.width) * glyph.height, 0);
    if (ch == U' ')
        return glyph;

    const Face& face = faces_[static_cast<int>(font)][bold ? 1 : 0];
    const Face& plain = faces_[static_cast<int>(font)][0];
    QString text = QString::fromUcs4(&ch, 1);
    const QRawFont* raw = nullptr;
    int shift = 0;
    for (const Face* candidate : { &face, &plain }) {
        if (candidate->font.isValid() && candidate->font.supportsCharacter(ch)) {
            raw = &candidate->font;
            shift = candidate->baselineShift;
            break;
        }
    }
    bool fitted = raw == nullptr;
    if (fitted)
        raw = &fallback_[static_cast<int>(font)];
    QList<quint32> indexes = raw->glyphIndexesForString(text);
    const bool fallbackLacks = indexes.isEmpty() || (fitted && indexes.first() == 0);
    // Lines and blocks meet across cells only when stretched; characters no
    // other font has (half-width Katakana, kanji) come from Unifont too.
    if (fitted && unifont_.isValid() && unifont_.supportsCharacter(ch)
        && (FillsCell(ch) || fallbackLacks)) {
        QImage cell = unifontCell(ch, glyph.width, glyph.height);
        if (!cell.isNull()) {
            toDots(cell, glyph, bold);
            return glyph;
        }
    }
    if (fallbackLacks)
        return glyph;

    QImage cell(glyph.width, glyph.height, QImage::Format_Grayscale8);
    cell.fill(255);
    QPainter painter(&cell);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    QGlyphRun run;
    run.setRawFont(*raw);
    run.setGlyphIndexes({ indexes.first() });
    qreal x = 0;
    if (fitted) {
        QList<QPointF> advances = raw->advancesForGlyphIndexes(QList<quint32> { indexes.first() });
        x = (glyph.width - (advances.isEmpty() ? 0 : advances.first().x())) / 2;
    }
    run.setPositions({ QPointF(x, raw->ascent() - shift) });
    painter.setPen(Qt::black);
    painter.drawGlyphRun(QPointF(0, 0), run);
    if (fitted && bold)
        painter.drawGlyphRun(QPointF(1, 0), run);
    painter.end();
    toDots(cell, glyph, false);
    return glyph;
}

// The dark dots of a cell-sized grey image, and their runs a row; `embolden`
// widens every run by a dot, as a printer's emphasis does.
void GlyphCache::toDots(const QImage& cell, Glyph& glyph, bool embolden)
{
    for (int y = 0; y < glyph.height; ++y) {
        const uchar* line = cell.constScanLine(y);
        for (int column = 0; column < glyph.width; ++column)
            glyph.dots[static_cast<std::size_t>(y) * glyph.width + column] = line[column] < 128;
    }
    if (embolden)
        for (int y = 0; y < glyph.height; ++y)
            for (int x = glyph.width - 1; x > 0; --x)
                if (glyph.dots[static_cast<std::size_t>(y) * glyph.width + x - 1])
                    glyph.dots[static_cast<std::size_t>(y) * glyph.width + x] = 1;
    for (int y = 0; y < glyph.height; ++y)
        for (int x = 0; x < glyph.width; ++x) {
            if (!glyph.dots[static_cast<std::size_t>(y) * glyph.width + x])
                continue;
            int end = x;
            while (end < glyph.width && glyph.dots[static_cast<std::size_t>(y) * glyph.width + end])
                ++end;
            glyph.spans.push_back({ y, x, end });
            x = end;
        }
}

} // namespace ostrel::render
