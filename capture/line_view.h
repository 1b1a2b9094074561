#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

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
    virtual ~LineView() = default;

    virtual void addLine(std::string text) = 0;
    virtual int lineCount() const = 0;
    virtual void removeLine(int index) = 0;
    virtual const std::string& line(int index) const = 0;
    virtual void replaceLine(int index, std::string text) = 0;
    virtual int currentIndex() const = 0;
    virtual void setCurrentIndex(int index) = 0;
    virtual void clear() = 0;

    // Replaces a line with its text followed by `tail`. The same as reading and
    // replacing it, but the engine does it for nearly every byte, so a view may
    // do it without copying the line.
    virtual void appendToLine(int index, std::string_view tail);

protected:
    static const std::string& noLine();
};

// The plain in-memory view: what the replay tool and the tests use, and what
// the window's list models keep underneath.
class MemoryLineView : public LineView {
public:
    void addLine(std::string text) override;
    int lineCount() const override;
    void removeLine(int index) override;
    const std::string& line(int index) const override;
    void replaceLine(int index, std::string text) override;
    int currentIndex() const override;
    void setCurrentIndex(int index) override;
    void clear() override;
    void appendToLine(int index, std::string_view tail) override;

private:
    bool valid(int index) const { return index >= 0 && index < lineCount(); }

    // A deque, because the engine removes line 1 of a full view for every line
    // it adds: the deque moves only line 0 for that, a vector all 999 others.
    std::deque<std::string> lines_;
    int current_ = -1;
};

} // namespace ostrel
