#pragma once

#include "capture/line_view.h"

#include <QAbstractListModel>
#include <QString>

namespace ostrel {

// One of the window's three lists as the engine sees it (a LineView) and as a
// QListView sees it (a list model). The engine changes the lines for every
// byte; the list learns of the changes only when publishChanges() is called,
// once per received chunk, so a fast line costs no repaint per byte.
class LineListModel : public QAbstractListModel, public LineView {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    void addLine(std::string_view text) override;
    int lineCount() const override;
    void removeLine(int index) override;
    const std::string& line(int index) const override;
    void replaceLine(int index, std::string_view text) override;
    int currentIndex() const override;
    void setCurrentIndex(int index) override;
    void clear() override;
    void appendToLine(int index, std::string_view tail) override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // Tells the attached lists about every change since the last call.
    void publishChanges();

    // Whether control bytes are drawn as the Unicode control pictures; only
    // where the list's font has them, else they would show as empty boxes.
    void setControlPictures(bool pictures) { controlPictures_ = pictures; }

private:
    void markChanged(int index);

    MemoryLineView lines_;
    int publishedCount_ = 0;
    bool structureChanged_ = false;
    int firstChanged_ = -1;
    int lastChanged_ = -1;
    bool controlPictures_ = true;
};

// How a line's bytes are drawn: printable characters as themselves, control
// bytes as the Unicode control pictures (NUL as U+2400, DEL as U+2421) or,
// without them, as U+25AB, which no byte is drawn as otherwise, and bytes
// above 127 as Windows-1252/Latin-1, so every byte stays one visible character.
QString DisplayText(const std::string& line, bool controlPictures = true);

} // namespace ostrel
