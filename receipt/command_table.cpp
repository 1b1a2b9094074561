#include "receipt/command_table.h"

#include <algorithm>
#include <cstring>

namespace ostrel::receipt {

CommandTable::CommandTable(std::vector<CommandRow> rows) : rows_(std::move(rows)) {
    for (const CommandRow& row : rows_) byFirst_[static_cast<unsigned char>(row.bytes[0])].push_back(&row);
    for (auto& list : byFirst_)
        std::stable_sort(list.begin(), list.end(),
                         [](const CommandRow* a, const CommandRow* b) { return a->bytes.size() > b->bytes.size(); });
}

CommandTable::Found CommandTable::find(const unsigned char* bytes, std::size_t available) const {
    if (available == 0) return {};
    for (const CommandRow* row : byFirst_[bytes[0]]) {
        const std::size_t named = row->bytes.size();
        const std::size_t seen = std::min(named, available);
        if (std::memcmp(row->bytes.data(), bytes, seen) != 0) continue;
        // A longer row still fits what has arrived: wait to tell them apart.
        if (seen < named) return {Framing::NeedMore, nullptr};
        return {Framing::Whole, row};
    }
    return {Framing::Unknown, nullptr};
}

CommandSize CommandTable::measure(const unsigned char* bytes, std::size_t available, long long cap) const {
    const Found found = find(bytes, available);
    if (found.framing == Framing::NeedMore) return length::Need();
    if (found.row == nullptr) return length::Unknown(1);
    return found.row->length(bytes, available, cap);
}

} // namespace ostrel::receipt
