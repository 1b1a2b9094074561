#pragma once

#include "receipt/command_stream.h"
#include "receipt/printer_memory.h"

#include <string>
#include <string_view>
#include <vector>

namespace ostrel::receipt {

// Reads a job's bytes as its printer's language frames them and keeps its
// definitions in a printer's memory, as the printer would: what each stored,
// deleted or refused is said, the first few of them.
class MemoryReader : private CommandStream::Reader {
public:
    MemoryReader(PrinterMemory& memory, Language language);

    void feed(std::string_view bytes);
    // Ready for another job: a command left unfinished is dropped.
    void restart();

    // What the job did to the memory, in order; at most kSaid of each.
    const std::vector<std::string>& changes() const { return changes_; }
    const std::vector<std::string>& refused() const { return refused_; }
    bool changed() const { return changed_; }
    static constexpr std::size_t kSaid = 100;

private:
    void text(const unsigned char*, std::size_t, long long) override { }
    void command(const CommandRow& row, const unsigned char* bytes, long long length,
        long long offset) override;
    void notUnderstood(const unsigned char*, long long, long long) override { }
    void tooLong(const CommandRow& row, const unsigned char* head, std::size_t shown,
        long long length, long long offset) override;
    void said(const PrinterMemory::Change& change);

    PrinterMemory& memory_;
    Language language_;
    CommandStream stream_;
    std::vector<std::string> changes_, refused_;
    bool changed_ = false;
};

} // namespace ostrel::receipt
