#include "receipt/memory_reader.h"

namespace ostrel::receipt {

// Definitions are kept whole, up to the most the memory could hold; a longer
// one is passed over as it arrives and refused.
MemoryReader::MemoryReader(PrinterMemory& memory, Language language)
    : memory_(memory)
    , language_(language)
    , stream_(*this, memory.longestDefinition())
{
    stream_.setLanguage(language);
}

void MemoryReader::feed(std::string_view bytes) { stream_.feed(bytes); }

void MemoryReader::restart()
{
    stream_.clear();
    changes_.clear();
    refused_.clear();
    changed_ = false;
}

void MemoryReader::command(
    const CommandRow& row, const unsigned char* bytes, long long length, long long)
{
    if (KeepsMemory(row.role))
        said(memory_.take(row, bytes, static_cast<std::size_t>(length)));
}

void MemoryReader::tooLong(const CommandRow& row, const unsigned char* head, std::size_t shown,
    long long length, long long)
{
    if (KeepsMemory(row.role))
        said(memory_.tooLong(row, head, shown, length));
}

void MemoryReader::said(const PrinterMemory::Change& change)
{
    if (change.what == PrinterMemory::Change::Nothing)
        return;
    if (change.what == PrinterMemory::Change::Refused) {
        if (refused_.size() < kSaid)
            refused_.push_back(change.message);
        return;
    }
    changed_ = true;
    if (changes_.size() < kSaid)
        changes_.push_back(change.message);
}

} // namespace ostrel::receipt
