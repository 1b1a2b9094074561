#pragma once

#include <cstddef>

#include "receipt/command_lengths.h"
#include "receipt/printer_profile.h"
#include <string>
#include <string_view>

namespace ostrel::receipt {

struct CommandRow;

// Cuts the received bytes into the commands of the standard receipt command
// set, text runs and bytes no command starts with, whatever the chunks are.
// A command still arriving waits; one longer than `longestKept` is reported
// by its first bytes and the rest is skipped as it arrives. (Of a command whose
// length builds up as it arrives, only what is known to be part of it is
// skipped: stored logos of over `longestKept` bytes are read on as data.)
class CommandStream {
public:
    class Reader {
    public:
        virtual ~Reader() = default;
        // Printable bytes (0x20 and up), `count` of them.
        virtual void text(const unsigned char* bytes, std::size_t count, long long offset) = 0;
        // A whole command, and the row of the language's table that names it.
        virtual void command(
            const CommandRow& row, const unsigned char* bytes, long long length, long long offset)
            = 0;
        virtual void notUnderstood(const unsigned char* bytes, long long length, long long offset)
            = 0;
        virtual void tooLong(const CommandRow& row, const unsigned char* head, std::size_t shown,
            long long length, long long offset)
            = 0;
    };

    CommandStream(Reader& reader, long long longestKept)
        : reader_(reader)
        , longestKept_(longestKept)
    {
    }

    void feed(std::string_view bytes);
    // How the bytes are cut into commands; from a new stream on.
    void setLanguage(Language language)
    {
        language_ = language;
        mode_ = TableMode::Normal;
    }

    // A command begun and not finished when the bytes stopped: its first
    // bytes (none for one too long to keep, passed over as it arrives),
    // where it began, and how many more it needs (-1 when its length is not
    // known yet).
    struct Unfinished {
        bool any = false;
        std::string head;
        long long offset = 0;
        long long missing = -1;
    };
    Unfinished unfinished() const;
    // Forgets a command still arriving; offsets start again at 0.
    void clear();

private:
    // How many of the `available` bytes one step takes; 0 when the command
    // there is not whole yet.
    std::size_t step(const unsigned char* bytes, std::size_t available);
    // Passes over bytes of a command too long to keep.
    void skip(const unsigned char*& data, std::size_t& size);

    Reader& reader_;
    long long longestKept_;
    std::string pending_; // an unfinished command
    long long offset_ = 0; // of the next byte taken
    long long skipLeft_ = 0; // of a command too long to keep
    Language language_ = Language::EscPos;
    TableMode mode_ = TableMode::Normal; // as the last command that changed it left it
};

} // namespace ostrel::receipt
