#include "ui/line_list_box.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include <algorithm>

namespace ostrel {

namespace {

    // 0x80-0x9F are control codes in Latin-1; draw them as the Windows-1252
    // characters print jobs use there, and the five unassigned ones as U+FFFD.
    constexpr char16_t kHighControls[32] = {
        0x20AC,
        0xFFFD,
        0x201A,
        0x0192,
        0x201E,
        0x2026,
        0x2020,
        0x2021,
        0x02C6,
        0x2030,
        0x0160,
        0x2039,
        0x0152,
        0xFFFD,
        0x017D,
        0xFFFD,
        0xFFFD,
        0x2018,
        0x2019,
        0x201C,
        0x201D,
        0x2022,
        0x2013,
        0x2014,
        0x02DC,
        0x2122,
        0x0161,
        0x203A,
        0x0153,
        0xFFFD,
        0x017E,
        0x0178,
    };

    constexpr int kTextMargin = 2;

} // namespace

QString DisplayText(const std::string& line, bool controlPictures)
{
    constexpr char16_t kNoPicture = 0x25AB;
    QString text(static_cast<qsizetype>(line.size()), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char c : line) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20)
            *out++ = QChar(controlPictures ? char16_t(0x2400 + b) : kNoPicture);
        else if (b == 0x7F)
            *out++ = QChar(controlPictures ? char16_t(0x2421) : kNoPicture);
        else if (b >= 0x80 && b < 0xA0)
            *out++ = QChar(kHighControls[b - 0x80]);
        else if (b == 0xAD) // the soft hyphen draws as nothing
            *out++ = QChar(0x2010);
        else
            *out++ = QChar(b);
    }
    return text;
}

LineListBox::LineListBox(LineView& lines, QWidget* parent)
    : QAbstractScrollArea(parent)
    , lines_(lines)
{
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    verticalScrollBar()->setSingleStep(1);
}

QString LineListBox::displayText(int index) const
{
    return DisplayText(lines_.line(index), controlPictures_);
}

int LineListBox::rowHeight() const { return fontMetrics().height() + 1; }

int LineListBox::firstVisibleRow() const { return verticalScrollBar()->value(); }

int LineListBox::visibleRows() const { return std::max(1, viewport()->height() / rowHeight()); }

void LineListBox::refresh()
{
    updateScrollRanges();
    viewport()->update();
}

// The vertical range, the current line brought into view, then the sideways
// range for the lines that are now in view.
void LineListBox::updateScrollRanges()
{
    const int count = lines_.lineCount();
    QScrollBar* vertical = verticalScrollBar();
    vertical->setPageStep(visibleRows());
    vertical->setRange(0, std::max(0, count - visibleRows()));
    keepInView(lines_.currentIndex());

    // The font is fixed-pitch, so the widest line is the longest one. Looking
    // only at the lines in view keeps this cheap; the range only ever grows.
    const int first = firstVisibleRow();
    for (int row = first; row < std::min(count, first + visibleRows() + 1); ++row)
        widestLine_ = std::max(widestLine_, static_cast<int>(lines_.line(row).size()));
    if (count == 0)
        widestLine_ = 0;
    const int textWidth = widestLine_ * fontMetrics().horizontalAdvance(QLatin1Char('0'));
    QScrollBar* horizontal = horizontalScrollBar();
    horizontal->setPageStep(viewport()->width());
    horizontal->setRange(0, std::max(0, textWidth + 2 * kTextMargin - viewport()->width()));
}

void LineListBox::keepInView(int row)
{
    if (row < 0)
        return;
    QScrollBar* vertical = verticalScrollBar();
    if (row < vertical->value())
        vertical->setValue(row);
    else if (row >= vertical->value() + visibleRows())
        vertical->setValue(row - visibleRows() + 1);
}

void LineListBox::choose(int row)
{
    if (row < 0 || row >= lines_.lineCount())
        return;
    lines_.setCurrentIndex(row);
    keepInView(row);
    viewport()->update();
}

void LineListBox::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    painter.setFont(font());
    const int height = rowHeight();
    const int first = firstVisibleRow();
    const int count = lines_.lineCount();
    const int current = lines_.currentIndex();
    const int left = kTextMargin - horizontalScrollBar()->value();
    const int ascent = fontMetrics().ascent();
    const int width = viewport()->width();
    const QPalette& colours = palette();
    for (int row = first, y = 0; row < count && y < viewport()->height(); ++row, y += height) {
        if (row == current) {
            painter.fillRect(0, y, width, height, colours.brush(QPalette::Highlight));
            painter.setPen(colours.color(QPalette::HighlightedText));
        } else {
            painter.setPen(colours.color(QPalette::Text));
        }
        painter.drawText(left, y + ascent, displayText(row));
    }
    // Where the keys act: the current line, or the top of an empty list.
    if (hasFocus()) {
        const int focusRow = current >= first ? current - first : 0;
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = QRect(0, focusRow * height, width, height);
        focus.backgroundColor = colours.color(current >= 0 ? QPalette::Highlight : QPalette::Base);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}

void LineListBox::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void LineListBox::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void LineListBox::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    choose(firstVisibleRow() + static_cast<int>(event->position().y()) / rowHeight());
    event->accept();
}

void LineListBox::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        // The chosen line as it is drawn, one byte one character.
        const int current = lines_.currentIndex();
        if (current >= 0 && current < lines_.lineCount())
            QGuiApplication::clipboard()->setText(displayText(current));
        event->accept();
        return;
    }
    const int current = lines_.currentIndex();
    const int last = lines_.lineCount() - 1;
    switch (event->key()) {
    case Qt::Key_Up:
        choose(std::max(0, current - 1));
        break;
    case Qt::Key_Down:
        choose(current < 0 ? 0 : std::min(last, current + 1));
        break;
    case Qt::Key_PageUp:
        choose(std::max(0, current - visibleRows()));
        break;
    case Qt::Key_PageDown:
        choose(std::min(last, std::max(0, current) + visibleRows()));
        break;
    case Qt::Key_Home:
        choose(0);
        break;
    case Qt::Key_End:
        choose(last);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void LineListBox::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRanges();
}

void LineListBox::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateScrollRanges();
}

} // namespace ostrel
