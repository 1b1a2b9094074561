#pragma once

#include "capture/line_view.h"

#include <string>
#include <string_view>

namespace ostrel {

// A data view: received bytes in rows of eight, as characters (the ASCII view)
// or as two hex digits each with blanks between (the hex view).
//
// The engine hands it the bytes of each chunk; it writes them into its lines
// when the view is next read or changed, through any of its operations, which
// is when a window draws it or a file is saved, at most once a screen refresh.
// Nothing can see the difference, and a chunk costs the receive path, where
// the next status request may be waiting, no more than a copy. The lines are
// written by the engine's steps: a row start adds a line (past kMaxLines,
// line 1 goes) and makes it current, and the rest of a row is appended to the
// current line.
class RowView final : public LineView {
public:
    enum class Form { Characters, Hex };

    explicit RowView(Form form = Form::Characters)
        : form_(form)
    {
    }

    // Received bytes, the first at `column` (0-7) of its row; bytes taken
    // again before a look carry on where the last ones ended.
    void takeBytes(std::string_view bytes, int column);

    void addLine(std::string_view text) override;
    int lineCount() const override;
    void removeLine(int index) override;
    const std::string& line(int index) const override;
    void replaceLine(int index, std::string_view text) override;
    int currentIndex() const override;
    void setCurrentIndex(int index) override;
    void clear() override;
    void appendToLine(int index, std::string_view tail) override;
    void addCurrentLine(std::string_view text, int most) override;

private:
    // Writes the bytes taken into the lines.
    void settle() const;
    // Writes one row, or the rest of one from `column` on.
    void writeRow(std::string_view row, int column) const;
    // Writes the end of the row under way (and line 0, if there is none
    // yet), then drops the rows a full view would add and drop again.
    void dropRowsNotSeen() const;

    Form form_;
    mutable MemoryLineView lines_;
    mutable std::string taken_;
    mutable int takenColumn_ = 0;
};

} // namespace ostrel
