#include "capture/row_view.h"

#include "protocol/hex_byte.h"

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
    // A row goes on on the current line; after Clear All there is none, and
    // the rest of the row begins a line of its own rather than go nowhere.
    const bool freshLine = column == 0 || lines_.currentIndex() == -1;
    std::string_view text = row;
    char hexText[8 * 3];
    if (form_ == Form::Hex) {
        std::size_t length = 0;
        for (const char c : row) {
            PutBlankAndHex(hexText + length, static_cast<std::uint8_t>(c));
            length += 3;
        }
        // A line has no blank before its first value.
        text = freshLine ? std::string_view(hexText + 1, length - 1)
                         : std::string_view(hexText, length);
    }
    if (freshLine)
        lines_.addCurrentLine(text, kMaxLines);
    else
        lines_.appendToLine(lines_.currentIndex(), text);
}

void RowView::dropRowsNotSeen() const
{
    // The end of the row under way goes to the current line, and a view
    // without lines takes its line 0 from the first row.
    while (!taken_.empty() && (takenColumn_ != 0 || lines_.lineCount() == 0)) {
        const std::size_t take
            = std::min<std::size_t>(8 - static_cast<std::size_t>(takenColumn_), taken_.size());
        writeRow(std::string_view(taken_).substr(0, take), takenColumn_);
        taken_.erase(0, take);
        takenColumn_ = static_cast<int>((static_cast<std::size_t>(takenColumn_) + take) % 8);
    }
    // Line 0 stays; past it a view the engine keeps full shows only the
    // newest rows.
    if (taken_.empty() || lines_.lineCount() > kMaxLines)
        return;
    const std::size_t lastRowStart = (taken_.size() - 1) / 8 * 8;
    if (lastRowStart + 8 > kRowsSeen)
        taken_.erase(0, lastRowStart + 8 - kRowsSeen);
}

void RowView::settle() const
{
    if (taken_.empty())
        return;
    dropRowsNotSeen();
    const std::string_view bytes = taken_;
    for (std::size_t at = 0; at < bytes.size(); at += 8)
        writeRow(bytes.substr(at, 8), 0);
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
