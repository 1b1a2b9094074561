#include "capture/line_view.h"

#include <utility>

namespace ostrel {

void LineView::appendToLine(int index, std::string_view tail)
{
    std::string text = line(index);
    text += tail;
    replaceLine(index, text);
}

void LineView::addCurrentLine(std::string_view text, int most)
{
    addLine(text);
    if (lineCount() > most)
        removeLine(1);
    setCurrentIndex(lineCount() - 1);
}

const std::string& LineView::noLine()
{
    static const std::string empty;
    return empty;
}

void MemoryLineView::addLine(std::string_view text)
{
    if (count_ == 0) {
        head_.assign(text);
        count_ = 1;
        return;
    }
    if (count_ - 1 == slots_.size()) {
        std::vector<std::string> grown(slots_.size() * 2);
        for (std::size_t i = 1; i < count_; ++i)
            grown[i - 1] = std::move(slot(i));
        slots_ = std::move(grown);
        first_ = 0;
    }
    slot(count_++).assign(text);
}

void MemoryLineView::addCurrentLine(std::string_view text, int most)
{
    if (most >= 2 && count_ == static_cast<std::size_t>(most)) {
        // Full: the ring moves on by one slot, and the slot line 1 leaves
        // becomes the new last line.
        first_ = (first_ + 1) & (slots_.size() - 1);
        slot(count_ - 1).assign(text);
    } else {
        addLine(text);
        if (lineCount() > most)
            removeLine(1);
    }
    current_ = lineCount() - 1;
}

void MemoryLineView::removeLine(int index)
{
    if (!valid(index))
        return;
    auto at = static_cast<std::size_t>(index);
    if (at == 0) {
        if (count_ > 1)
            head_.swap(slot(1));
        at = 1;
    }
    // Move whichever side of the ring is shorter; the removed line's string
    // ends up in a spare slot, buffer and all.
    if (at < count_) {
        if (at - 1 < (count_ - 1) / 2) {
            for (std::size_t i = at; i > 1; --i)
                slot(i).swap(slot(i - 1));
            first_ = (first_ + 1) & (slots_.size() - 1);
        } else {
            for (std::size_t i = at; i + 1 < count_; ++i)
                slot(i).swap(slot(i + 1));
        }
    }
    --count_;
    if (current_ >= lineCount())
        current_ = lineCount() - 1;
}

const std::string& MemoryLineView::line(int index) const
{
    return valid(index) ? at(static_cast<std::size_t>(index)) : noLine();
}

void MemoryLineView::replaceLine(int index, std::string_view text)
{
    if (valid(index))
        at(static_cast<std::size_t>(index)).assign(text);
}

void MemoryLineView::setCurrentIndex(int index) { current_ = valid(index) ? index : -1; }

void MemoryLineView::clear()
{
    count_ = 0;
    first_ = 0;
    current_ = -1;
}

void MemoryLineView::appendToLine(int index, std::string_view tail)
{
    if (valid(index))
        at(static_cast<std::size_t>(index)).append(tail);
}

} // namespace ostrel
