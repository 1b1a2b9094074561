#include "capture/row_view.h"

#include "capture/hex_byte.h"

#include <algorithm>

namespace ostrel {

namespace {

// Bytes waiting beyond this are cut down to the rows that can still be seen,
// so that a view nobody looks at (a window left minimised) holds no more than
// a view's worth.
constexpr std::size_t kMostTaken = 32 * 1024;

// The newest kMaxLines - 1 rows are all a full view shows after line 0; rows
// before them would be written and dropped again before anyone looked.
constexpr std::size_t kRowsSeen = static_cast<std::size_t>(RowView::kMaxLines - 1) * 8;

} // namespace

void RowView::takeBytes(std::string_view bytes, int column)
{
    if (bytes.empty())
        return;
    if (taken_.empty())
        takenColumn_ = column;
    taken_.append(bytes);
    if (taken_.size() > kMostTaken)
        dropRowsNotSeen();
}

void RowView::writeRow(std::string_view row, int column) const
{
    std::string_view text = row;
    char hexText[8 * 3 + 1];
    if (form_ == Form::Hex) {
        std::size_t length = 0;
        for (const char c : row) {
            PutBlankAndHex(hexText + length, static_cast<std::uint8_t>(c));
            length += 3;
        }
        // A new row has no blank before its first value.
        text = column == 0 ? std::string_view(hexText + 1, length - 1)
                           : std::string_view(hexText, length);
    }
    if (column == 0)
        lines_.addCurrentLine(text, kMaxLines);
    else
        lines_.appendToLine(lines_.currentIndex(), text);
}

bool RowView::rowsCanBeDropped() const
{
    // Line 0 stays once there is one, and the view is no fuller than the
    // engine keeps it.
    return lines_.lineCount() > 0 && lines_.lineCount() <= kMaxLines;
}

void RowView::dropRowsNotSeen()
{
    if (!rowsCanBeDropped()) {
        settle();
        return;
    }
    // The end of the row under way goes to the current line first.
    if (takenColumn_ != 0) {
        const std::size_t rest =
            std::min<std::size_t>(8 - static_cast<std::size_t>(takenColumn_), taken_.size());
        writeRow(std::string_view(taken_).substr(0, rest), takenColumn_);
        taken_.erase(0, rest);
        takenColumn_ = 0;
    }
    if (taken_.empty())
        return;
    const std::size_t lastRowStart = (taken_.size() - 1) / 8 * 8;
    if (lastRowStart + 8 > kRowsSeen)
        taken_.erase(0, lastRowStart + 8 - kRowsSeen);
}

void RowView::settle() const
{
    if (taken_.empty())
        return;
    const std::string_view bytes = taken_;
    int column = takenColumn_;
    const std::size_t firstRowStart = column == 0 ? 0 : 8 - static_cast<std::size_t>(column);
    const std::size_t lastRowStart =
        bytes.size() > firstRowStart ? firstRowStart + (bytes.size() - firstRowStart - 1) / 8 * 8
                                     : firstRowStart;
    const std::size_t seenFrom = lastRowStart + 8 > kRowsSeen ? lastRowStart + 8 - kRowsSeen : 0;
    for (std::size_t at = 0; at < bytes.size(); column = 0) {
        if (column == 0 && at < seenFrom && rowsCanBeDropped()) {
            at = seenFrom;
            continue;
        }
        const std::size_t take =
            std::min<std::size_t>(8 - static_cast<std::size_t>(column), bytes.size() - at);
        writeRow(bytes.substr(at, take), column);
        at += take;
    }
    taken_.clear();
}

void RowView::addLine(std::string_view text)
{
    settle();
    lines_.addLine(text);
}

int RowView::lineCount() const
{
    settle();
    return lines_.lineCount();
}

void RowView::removeLine(int index)
{
    settle();
    lines_.removeLine(index);
}

const std::string& RowView::line(int index) const
{
    settle();
    return lines_.line(index);
}

void RowView::replaceLine(int index, std::string_view text)
{
    settle();
    lines_.replaceLine(index, text);
}

int RowView::currentIndex() const
{
    settle();
    return lines_.currentIndex();
}

void RowView::setCurrentIndex(int index)
{
    settle();
    lines_.setCurrentIndex(index);
}

void RowView::clear()
{
    // What was taken before would have been cleared with the rest.
    taken_.clear();
    lines_.clear();
}

void RowView::appendToLine(int index, std::string_view tail)
{
    settle();
    lines_.appendToLine(index, tail);
}

void RowView::addCurrentLine(std::string_view text, int most)
{
    settle();
    lines_.addCurrentLine(text, most);
}

} // namespace ostrel
