#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// One of the three text lists the capture engine writes into: the ASCII data
// view, the hex data view and the command log. Lines keep the order they were
// added in; the current index is shared between the engine and the user's
// selection, -1 when no line is current.
//
// Reading a line that does not exist gives an empty text and writing one is
// dropped: after Clear All the engine may append to a view that has no current
// line, and that must never fail.
class LineView {
public:
    // The most lines the engine lets a view hold.
    static constexpr int kMaxLines = 1000;

    virtual ~LineView() = default;

    virtual void addLine(std::string_view text) = 0;
    virtual int lineCount() const = 0;
    virtual void removeLine(int index) = 0;
    virtual const std::string& line(int index) const = 0;
    virtual void replaceLine(int index, std::string_view text) = 0;
    virtual int currentIndex() const = 0;
    virtual void setCurrentIndex(int index) = 0;
    virtual void clear() = 0;

    // Replaces a line with its text followed by `tail`. The same as reading and
    // replacing it, but the engine does it for nearly every byte, so a view may
    // do it without copying the line.
    virtual void appendToLine(int index, std::string_view tail);

    // Adds a line and makes it current; past `most` lines the line at index 1
    // goes, so the first line stays. The same as those steps one by one, but
    // the engine does it for every data row and command line.
    virtual void addCurrentLine(std::string_view text, int most);

protected:
    static const std::string& noLine();
};

// The plain in-memory view: what the replay tool and the tests use, and what
// the window's list models keep underneath.
class MemoryLineView final : public LineView {
public:
    void addLine(std::string_view text) override;
    int lineCount() const override { return static_cast<int>(count_); }
    void removeLine(int index) override;
    const std::string& line(int index) const override;
    void replaceLine(int index, std::string_view text) override;
    int currentIndex() const override { return current_; }
    void setCurrentIndex(int index) override;
    void clear() override;
    void appendToLine(int index, std::string_view tail) override;
    void addCurrentLine(std::string_view text, int most) override;

private:
    bool valid(int index) const { return index >= 0 && static_cast<std::size_t>(index) < count_; }
    // Line `index` (1 or more) in the ring.
    std::string& slot(std::size_t index)
    {
        return slots_[(first_ + index - 1) & (slots_.size() - 1)];
    }
    const std::string& slot(std::size_t index) const
    {
        return slots_[(first_ + index - 1) & (slots_.size() - 1)];
    }
    std::string& at(std::size_t index) { return index == 0 ? head_ : slot(index); }
    const std::string& at(std::size_t index) const { return index == 0 ? head_ : slot(index); }

    // Line 0 on its own, the others in a ring. A full view loses line 1 for
    // every line added, which the ring does by moving its start one slot on:
    // nothing is copied, and the strings stay in their slots with their
    // buffers, so a new line reuses the buffer of an old one instead of
    // allocating. The slot count is a power of 2.
    std::string head_;
    std::vector<std::string> slots_ = std::vector<std::string>(16);
    std::size_t first_ = 0;
    std::size_t count_ = 0; // lines, line 0 among them
    int current_ = -1;
};

} // namespace ostrel
