#include "ui/paper_view.h"

#include "receipt/marker_margin.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace ostrel {

PaperView::PaperView(const receipt::ReceiptDocument& document, QWidget* parent)
    : QWidget(parent)
    , document_(document)
{
    setObjectName(QStringLiteral("paperView"));
    setAccessibleName(QStringLiteral("The receipt as printed"));
}

int PaperView::labelRows() const { return (kLabelPixels * 100 + zoom_ - 1) / zoom_; }

long long PaperView::paperKey() const
{
    return document_.printer().paperRevision() * 1024 + shown_;
}

void PaperView::showReceipt(int index)
{
    shown_ = index;
    const auto& receipts = document_.receipts();
    const int height
        = index < static_cast<int>(receipts.size()) ? render::ReceiptHeight(receipts[index]) : 1;
    paperSize_ = QSize(document_.printer().paperWidth(), height);
    // Tall enough for the last label too, which may hang below the paper.
    int labelsEnd = 0;
    if (index < static_cast<int>(receipts.size())) {
        const auto labels = receipt::MarginLabels(receipts[index], labelRows(), 21);
        if (!labels.empty())
            labelsEnd = (labels.back().y + labelRows()) * zoom_ / 100;
    }
    setFixedSize(paperSize_.width() * zoom_ / 100 + kMarginPixels,
        std::max(paperSize_.height() * zoom_ / 100, labelsEnd));
    update();
}

void PaperView::setZoom(int percent)
{
    zoom_ = percent;
    showReceipt(shown_);
}

void PaperView::setMarked(receipt::DotRect place)
{
    marked_ = place;
    update();
}

QRect PaperView::widgetRect(receipt::DotRect dots) const
{
    return QRect(dots.x * zoom_ / 100, dots.y * zoom_ / 100, std::max(1, dots.width * zoom_ / 100),
        std::max(2, dots.height * zoom_ / 100));
}

QImage PaperView::paperImage()
{
    return renderer_.render(
        document_.receipts()[shown_], document_.printer().paperWidth(), { .markers = false });
}

const QImage& PaperView::paperRows(int from, int rows, int& origin)
{
    // Markers are drawn over the paper in colour by the view, so that the
    // print under them stays visible; saved images carry them in black.
    if (rowsKey_ != paperKey() || from < rowsFrom_ || from + rows > rowsFrom_ + rows_.height()) {
        // A little more than asked, so that scrolling a line needs no new drawing.
        const int margin = 256;
        rowsFrom_ = std::max(0, from - margin);
        const int count = std::min(paperSize_.height() - rowsFrom_, rows + 2 * margin);
        rows_ = renderer_.renderRows(document_.receipts()[shown_], document_.printer().paperWidth(),
            rowsFrom_, std::max(1, count), { .markers = false });
        rowsKey_ = paperKey();
    }
    origin = rowsFrom_;
    return rows_;
}

void PaperView::setWaitingFrom(int y)
{
    if (y == waitingFrom_)
        return;
    waitingFrom_ = y;
    update();
}

void PaperView::paintEvent(QPaintEvent* event)
{
    if (shown_ >= static_cast<int>(document_.receipts().size()))
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, zoom_ < 100);
    // Only the rows in view are drawn: a long receipt costs no more than a
    // short one.
    const QRect exposed = event->rect();
    const int from = std::max(0, exposed.top() * 100 / zoom_ - 2);
    const int rows = std::min(paperSize_.height() - from, exposed.height() * 100 / zoom_ + 4);
    if (rows > 0) {
        int origin = 0;
        const QImage& part = paperRows(from, rows, origin);
        const QRect source(
            0, from - origin, part.width(), std::min(rows, part.height() - (from - origin)));
        const QRect target(
            0, from * zoom_ / 100, paperSize_.width() * zoom_ / 100, source.height() * zoom_ / 100);
        painter.drawImage(target, part, source);
    }
    drawMarkers(painter);
    if (waitingFrom_ >= 0 && waitingFrom_ < paperSize_.height()) {
        // What still waits is veiled, so that what has printed stands out.
        const int top = waitingFrom_ * zoom_ / 100;
        const int width = paperSize_.width() * zoom_ / 100;
        painter.fillRect(QRect(0, top, width, paperSize_.height() * zoom_ / 100 - top),
            QColor(120, 120, 120, 110));
        painter.setPen(QPen(QColor(40, 90, 200), 2, Qt::DashLine));
        painter.drawLine(0, top, width, top);
        painter.drawText(QPoint(width + 6, top + 12), QStringLiteral("not printed yet"));
    }
    if (!marked_.empty()) {
        painter.setPen(QPen(QColor(220, 40, 40), 2));
        painter.setBrush(QColor(220, 40, 40, 40));
        painter.drawRect(widgetRect(marked_).adjusted(-2, -2, 2, 2));
    }
}

void PaperView::mousePressEvent(QMouseEvent* event)
{
    for (const auto& [box, command] : labelBoxes_)
        if (box.contains(event->position().toPoint())) {
            emit commandClicked(command);
            return;
        }
    const QPoint dot = event->position().toPoint() * 100 / zoom_;
    const int command = document_.commandAt(shown_, dot.x(), dot.y());
    if (command >= 0)
        emit commandClicked(command);
}

// Markers are labelled in the margin right of the paper, each tied by a line
// to its place at the paper's edge: nothing of them covers the print. Only a
// stored logo printed by a key nothing defined is outlined where it prints.
void PaperView::drawMarkers(QPainter& painter)
{
    QFont small(QStringLiteral("DejaVu Sans Mono"));
    small.setPixelSize(11);
    painter.setFont(small);
    const int edge = paperSize_.width() * zoom_ / 100;
    painter.fillRect(QRect(edge, 0, kMarginPixels, height()), palette().window());
    painter.setPen(QPen(palette().mid().color(), 1));
    painter.drawLine(edge, 0, edge, height());
    labelBoxes_.clear();
    for (const receipt::MarginLabel& label :
        receipt::MarginLabels(document_.receipts()[shown_], labelRows(), 21)) {
        const receipt::Marker& marker = *label.marker;
        const bool cut = marker.kind == receipt::MarkerKind::Cut
            || marker.kind == receipt::MarkerKind::PartialCut;
        const QColor colour = cut ? QColor(30, 90, 200) : QColor(200, 30, 30);
        if (marker.kind == receipt::MarkerKind::StoredImage) {
            painter.setPen(QPen(colour, 1, Qt::DashLine));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(widgetRect({ marker.x, marker.y, marker.width, marker.height }));
        }
        const int anchor = label.anchor * zoom_ / 100;
        const QRect box(edge + 16, label.y * zoom_ / 100, kMarginPixels - 20, kLabelPixels - 2);
        painter.setPen(QPen(colour, 1));
        painter.drawPolyline(QPolygon({ QPoint(edge, anchor), QPoint(edge + 8, anchor),
            QPoint(edge + 8, box.center().y()), QPoint(edge + 14, box.center().y()) }));
        painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(label.text));
        labelBoxes_.push_back({ box, label.command });
    }
}

} // namespace ostrel
