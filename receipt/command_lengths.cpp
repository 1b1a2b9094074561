#include "receipt/command_lengths.h"

#include "receipt/command_table.h"

namespace ostrel::receipt {

CommandSize MeasureCommand(const unsigned char* bytes, std::size_t available, long long cap,
    Language language, TableMode mode)
{
    if (available == 0)
        return length::Need();
    return TableOf(language, mode).measure(bytes, available, cap);
}

} // namespace ostrel::receipt
