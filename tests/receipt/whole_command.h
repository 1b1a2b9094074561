#pragma once

#include "receipt/command_table.h"

#include <string>

namespace ostrel::test {

// A whole command of the row: its bytes, then parameters of 1 until its
// length is known; empty when it takes more than a short command does.
inline std::string WholeCommandOf(const receipt::CommandRow& row)
{
    std::string command(row.bytes);
    while (command.size() < 32) {
        const auto* b = reinterpret_cast<const unsigned char*>(command.data());
        const receipt::CommandSize size = row.length(b, command.size(), 1 << 20);
        if (size.framing == receipt::Framing::Whole
            && size.length <= static_cast<long long>(command.size()))
            return command.substr(0, static_cast<std::size_t>(size.length));
        if (size.framing == receipt::Framing::Unknown)
            return {};
        command += '\x01';
    }
    return {};
}

} // namespace ostrel::test
