#include "receipt/receipt_printer.h"

#include "protocol/command_set.h"
#include "receipt/command_table.h"
#include "receipt/raster_images.h"

#include <deque>
#include <string>

// The printer the command log describes: the standard set where the two
// agree, a bare GS "V" that cuts, and the US family with the command log's
// own lengths and names, from the one table in protocol/command_set.h.
namespace ostrel::receipt {

using namespace length;

namespace {

    // The US family: its parameter bytes, and for US "*" the data its two count
    // bytes announce, high byte first.
    CommandSize UsLength(const unsigned char* b, std::size_t available, long long)
    {
        if (available < 2)
            return Need();
        const PrefixCommand* known = FindPrefixCommand(b[0], b[1]);
        if (known == nullptr)
            return Unknown(2);
        const long long head = 2 + known->parameterBytes;
        if (!AnnouncesBitImageData(b[0], b[1]))
            return Fixed(available, head);
        if (available < 4)
            return Need();
        return Fixed(available, head + 256LL * b[2] + b[3]);
    }

    // The bytes of each US row, kept for as long as the table.
    std::string_view Kept(std::string bytes)
    {
        static std::deque<std::string> kept;
        return kept.emplace_back(std::move(bytes));
    }

} // namespace

// One row a line: clang-format cannot lay out rows whose action is a DOES
// lambda.
// clang-format off
#define DOES [](ReceiptPrinter& p, [[maybe_unused]] const unsigned char* c, [[maybe_unused]] long long length)

std::vector<CommandRow> ReceiptPrinter::CommandLogRows() {
    std::vector<CommandRow> rows = EscPosRows();
    for (CommandRow& row : rows)
        if (row.bytes == "\x1dV") row.length = Bytes<2>;
    rows.push_back({"\x1f", NotUnderstood<2>, "Not understood", nullptr});
    for (const PrefixCommand& command : kPrefixCommands) {
        if (command.first != US) continue;
        const char bytes[] = {static_cast<char>(command.first), static_cast<char>(command.second)};
        CommandRow row{Kept(std::string(bytes, 2)), UsLength, command.name.data(), DOES {
            const PrefixCommand* known = FindPrefixCommand(c[0], c[1]);
            p.knownNotDrawn(c, length, std::string(known != nullptr ? known->name : kUnknownCommandName));
        }};
        // US "*" is a bit image of 8-dot columns, one byte a column with its
        // top dot in the high bit, one dot wide; eject and the presenter are
        // marked beside the paper.
        if (command.second == '*')
            row.action = DOES {
                const int columns = static_cast<int>(length - 4);
                BitImage image = ColumnImage(1, columns, c + 4);
                int at = p.addCommand(c, length, std::string(FindPrefixCommand(c[0], c[1])->name) + " " +
                                                     std::to_string(columns) + " columns of 8 dots",
                                      CommandClass::Drawn);
                if (columns > 0) p.placeInLine(std::move(image), at);
            };
        if (command.second == 'E' || command.second == 'K')
            row.action = DOES {
                int at = p.addCommand(c, length, std::string(FindPrefixCommand(c[0], c[1])->name), CommandClass::KnownNotDrawn);
                p.placeMarker(MarkerKind::NotPrinted, c[1] == 'E' ? "eject/retract" : "presenter purge", at, true);
            };
        rows.push_back(row);
    }
    return rows;
}

#undef DOES
// clang-format on

} // namespace ostrel::receipt
