#pragma once

#include "receipt/receipt_document.h"
#include "render/receipt_renderer.h"

#include <QImage>
#include <QWidget>

#include <utility>
#include <vector>

namespace ostrel {

// One receipt of a document on paper at the chosen zoom, its markers
// labelled in a margin beside it, and the place of the selected command
// marked. It draws only the rows in view, and tells of a click on the paper or
// on a label by the command that printed there.
class PaperView : public QWidget {
    Q_OBJECT
public:
    explicit PaperView(const receipt::ReceiptDocument& document, QWidget* parent = nullptr);

    // Shows receipt `index`, drawn again when the paper changed.
    void showReceipt(int index);
    int shownReceipt() const { return shown_; }
    void setZoom(int percent);
    int zoom() const { return zoom_; }
    void setMarked(receipt::DotRect place);
    // A printer in time: the paper from row `y` down waits in its buffer,
    // not yet printed; -1 when all of it has printed.
    void setWaitingFrom(int y);
    receipt::DotRect marked() const { return marked_; }
    // The shown receipt's size in dots, and the whole of it drawn.
    QSize paperSize() const { return paperSize_; }
    QImage paperImage();
    QRect widgetRect(receipt::DotRect dots) const;

signals:
    void commandClicked(int command);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    // At least rows [from, from + rows), starting at row `origin`; kept until
    // the paper changes.
    const QImage& paperRows(int from, int rows, int& origin);
    void drawMarkers(QPainter& painter);
    long long paperKey() const;
    // A label's height in dots at the zoom.
    int labelRows() const;

    // The margin right of the paper where markers are labelled, and a label's
    // height, in screen pixels.
    static constexpr int kMarginPixels = 170;
    static constexpr int kLabelPixels = 16;

    const receipt::ReceiptDocument& document_;
    std::vector<std::pair<QRect, int>> labelBoxes_; // a label, and its command
    render::ReceiptRenderer renderer_;
    int shown_ = 0;
    int zoom_ = 100;
    receipt::DotRect marked_;
    int waitingFrom_ = -1;
    QSize paperSize_;
    QImage rows_;
    int rowsFrom_ = -1;
    long long rowsKey_ = -1;
};

} // namespace ostrel
