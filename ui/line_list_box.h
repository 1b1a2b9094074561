#pragma once

#include "capture/line_view.h"

#include <QAbstractScrollArea>
#include <QString>

namespace ostrel {

// A single-selection list box that draws the lines of a LineView directly:
// rows of one fixed height, the current line highlighted, the lines the
// viewport shows painted and no others. The engine changes the lines for every
// byte; the box learns of it through refresh(), once per received chunk, which
// costs a scroll-range update and a repaint request, however many lines there
// are. A line the user clicks, or moves to with the keys, becomes the current
// line, where the engine appends next.
class LineListBox : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit LineListBox(LineView& lines, QWidget* parent = nullptr);

    // Shows the lines as they are now, with the current line in view.
    void refresh();

    // Whether control bytes are drawn as the Unicode control pictures; only
    // where the font has them, else they would show as empty boxes.
    void setControlPictures(bool pictures) { controlPictures_ = pictures; }

    const LineView& lines() const { return lines_; }
    // A line as the box draws it.
    QString displayText(int index) const;
    int rowHeight() const;
    int firstVisibleRow() const;
    int visibleRows() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void updateScrollRanges();
    void keepInView(int row);
    void choose(int row);

    LineView& lines_;
    bool controlPictures_ = true;
    int widestLine_ = 0; // characters
};

// How a line's bytes are drawn: printable characters as themselves, control
// bytes as the Unicode control pictures (NUL as U+2400, DEL as U+2421) or,
// without them, as U+25AB, which no byte is drawn as otherwise, and bytes
// above 127 as Windows-1252/Latin-1, so every byte stays one visible character.
QString DisplayText(const std::string& line, bool controlPictures = true);

} // namespace ostrel
