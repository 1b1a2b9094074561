#include "ui/line_list_model.h"

#include <algorithm>

namespace ostrel {

void LineListModel::addLine(std::string_view text)
{
    lines_.addLine(text);
    structureChanged_ = true;
}

int LineListModel::lineCount() const { return lines_.lineCount(); }

void LineListModel::removeLine(int index)
{
    lines_.removeLine(index);
    structureChanged_ = true;
}

const std::string& LineListModel::line(int index) const { return lines_.line(index); }

void LineListModel::replaceLine(int index, std::string_view text)
{
    lines_.replaceLine(index, text);
    markChanged(index);
}

int LineListModel::currentIndex() const { return lines_.currentIndex(); }

void LineListModel::setCurrentIndex(int index) { lines_.setCurrentIndex(index); }

void LineListModel::clear()
{
    lines_.clear();
    structureChanged_ = true;
}

void LineListModel::appendToLine(int index, std::string_view tail)
{
    lines_.appendToLine(index, tail);
    markChanged(index);
}

void LineListModel::markChanged(int index)
{
    if (index < 0 || index >= lines_.lineCount())
        return;
    firstChanged_ = firstChanged_ < 0 ? index : std::min(firstChanged_, index);
    lastChanged_ = std::max(lastChanged_, index);
}

int LineListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : publishedCount_;
}

QVariant LineListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= publishedCount_)
        return {};
    return DisplayText(lines_.line(index.row()), controlPictures_);
}

void LineListModel::publishChanges()
{
    if (structureChanged_) {
        // Lines were added, removed or cleared: with at most 1000 short lines
        // a reset is cheaper than replaying every insertion and removal.
        beginResetModel();
        publishedCount_ = lines_.lineCount();
        endResetModel();
    } else if (firstChanged_ >= 0) {
        emit dataChanged(index(firstChanged_), index(lastChanged_), {Qt::DisplayRole});
    }
    structureChanged_ = false;
    firstChanged_ = lastChanged_ = -1;
}

namespace {

// 0x80-0x9F are control codes in Latin-1; draw them as the Windows-1252
// characters print jobs use there, and the five unassigned ones as U+FFFD.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

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

} // namespace ostrel
