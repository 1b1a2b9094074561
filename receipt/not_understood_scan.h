#pragma once

#include "receipt/command_stream.h"
#include "receipt/command_table.h"
#include "receipt/command_text.h"

#include <string>
#include <utility>
#include <vector>

namespace ostrel::receipt {

// The bytes of a stream that no command of the standard receipt command set
// explains, found as the printer model finds them but without laying out any
// paper: for a recorder that only reports them.
class NotUnderstoodScan : private CommandStream::Reader {
public:
    // Commands are only passed over here, so a long one (an image) is never
    // gathered up: anything longer than a parameter list is skipped as it comes.
    explicit NotUnderstoodScan(std::size_t listed = 1000, Language language = Language::EscPos)
        : listed_(listed)
        , language_(language)
        , stream_(*this, kLongestKept)
    {
        stream_.setLanguage(language);
    }

    void feed(std::string_view bytes) { stream_.feed(bytes); }
    // Offset and bytes in hex, the first `listed` of them.
    const std::vector<std::pair<long long, std::string>>& found() const { return found_; }
    long long bytes() const { return bytes_; }
    // Commands as the printer model counts them: a run of text is one.
    long long commands() const { return commands_ + (inText_ ? 1 : 0); }
    // The cuts, as the language's table names them (Star's ESC d, which
    // the command log does not know, among them).
    long long cuts() const { return cuts_; }

private:
    static constexpr long long kLongestKept = 300;

    void text(const unsigned char*, std::size_t, long long) override { inText_ = true; }
    void command(const CommandRow& row, const unsigned char*, long long, long long) override
    {
        counted();
        if (row.role == Role::Cut)
            ++cuts_;
    }
    void tooLong(
        const CommandRow&, const unsigned char*, std::size_t, long long, long long) override
    {
        counted();
    }
    void notUnderstood(const unsigned char* bytes, long long length, long long offset) override
    {
        counted();
        bytes_ += length;
        if (found_.size() < listed_)
            found_.emplace_back(offset, HexBytes(bytes, static_cast<std::size_t>(length)));
    }

    void counted()
    {
        commands_ += 1 + (inText_ ? 1 : 0);
        inText_ = false;
    }

    std::size_t listed_;
    Language language_;
    long long cuts_ = 0;
    long long commands_ = 0;
    bool inText_ = false; // a run of text waits to be counted
    CommandStream stream_;
    std::vector<std::pair<long long, std::string>> found_;
    long long bytes_ = 0;
};

} // namespace ostrel::receipt
