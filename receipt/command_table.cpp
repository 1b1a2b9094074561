#include "receipt/command_table.h"

#include <algorithm>
#include <cstring>

namespace ostrel::receipt {

CommandTable::CommandTable(std::vector<CommandRow> rows, bool text)
    : rows_(std::move(rows))
    , text_(text)
{
    prefix_.fill(-1);
    for (const CommandRow& row : rows_) {
        const auto first = static_cast<unsigned char>(row.bytes[0]);
        if (row.bytes.size() == 1) {
            single_[first] = &row;
            continue;
        }
        if (prefix_[first] < 0) {
            prefix_[first] = static_cast<int>(bySecond_.size());
            bySecond_.emplace_back();
        }
        bySecond_[static_cast<std::size_t>(prefix_[first])]
                 [static_cast<unsigned char>(row.bytes[1])]
                     .push_back(&row);
    }
    for (BySecond& family : bySecond_)
        for (auto& list : family)
            std::stable_sort(
                list.begin(), list.end(), [](const CommandRow* a, const CommandRow* b) {
                    return a->bytes.size() > b->bytes.size();
                });
}

CommandTable::Found CommandTable::find(const unsigned char* bytes, std::size_t available) const
{
    if (available == 0)
        return {};
    if (prefix_[bytes[0]] >= 0) {
        // A prefix: which of its rows it is shows from the second byte on.
        if (available < 2)
            return { Framing::NeedMore, nullptr };
        if (const Found found = findLonger(bytes, available); found.framing != Framing::Unknown)
            return found;
    }
    if (single_[bytes[0]] != nullptr)
        return { Framing::Whole, single_[bytes[0]] };
    return { Framing::Unknown, nullptr };
}

CommandTable::Found CommandTable::findLonger(
    const unsigned char* bytes, std::size_t available) const
{
    for (const CommandRow* row : bySecond_[static_cast<std::size_t>(prefix_[bytes[0]])][bytes[1]]) {
        const std::size_t named = row->bytes.size();
        const std::size_t seen = std::min(named, available);
        if (std::memcmp(row->bytes.data(), bytes, seen) != 0)
            continue;
        // A longer row still fits what has arrived: wait to tell them apart.
        if (seen < named)
            return { Framing::NeedMore, nullptr };
        return { Framing::Whole, row };
    }
    return { Framing::Unknown, nullptr };
}

CommandSize CommandTable::measure(
    const unsigned char* bytes, std::size_t available, long long cap) const
{
    const Found found = find(bytes, available);
    if (found.framing == Framing::NeedMore)
        return length::Need();
    if (found.row == nullptr)
        return length::Unknown(1);
    return found.row->length(bytes, available, cap);
}

} // namespace ostrel::receipt
