#include "capture/line_view.h"

#include <utility>

namespace ostrel {

void LineView::appendToLine(int index, std::string_view tail)
{
    std::string text = line(index);
    text += tail;
    replaceLine(index, std::move(text));
}

const std::string& LineView::noLine()
{
    static const std::string empty;
    return empty;
}

void MemoryLineView::addLine(std::string text) { lines_.push_back(std::move(text)); }

int MemoryLineView::lineCount() const { return static_cast<int>(lines_.size()); }

void MemoryLineView::removeLine(int index)
{
    if (!valid(index))
        return;
    lines_.erase(lines_.begin() + index);
    if (current_ >= lineCount())
        current_ = lineCount() - 1;
}

const std::string& MemoryLineView::line(int index) const
{
    return valid(index) ? lines_[static_cast<std::size_t>(index)] : noLine();
}

void MemoryLineView::replaceLine(int index, std::string text)
{
    if (valid(index))
        lines_[static_cast<std::size_t>(index)] = std::move(text);
}

int MemoryLineView::currentIndex() const { return current_; }

void MemoryLineView::setCurrentIndex(int index) { current_ = valid(index) ? index : -1; }

void MemoryLineView::clear()
{
    lines_.clear();
    current_ = -1;
}

void MemoryLineView::appendToLine(int index, std::string_view tail)
{
    if (valid(index))
        lines_[static_cast<std::size_t>(index)].append(tail);
}

} // namespace ostrel
