#pragma once

#include "receipt/command_lengths.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace ostrel::receipt {

class ReceiptPrinter;

// What a command is for the rest of the program, beside what it draws.
enum class Role {
    None,
    Cut, // ends a receipt: a serial job ends with it
    // What the printer keeps between jobs (printer_memory.h reads these):
    Initializes, // ESC @: clears what is kept only until then
    Graphics, // GS ( L, GS 8 L: defines or deletes graphics by its function
    StoresLogos, // FS q, ESC FS q: the NV bit images (logos), numbered from 1
    StoresImage, // GS *: the downloaded bit image
    StoresCharacters, // ESC &: user-defined characters
    DeletesCharacter, // ESC ?: one user-defined character
    // Requests the printer answers at once, whatever it is printing
    // (printer/real_time_scan.h reads these; ESC @ ends automatic status):
    RealTimeStatus, // DLE EOT n
    TransmitStatus, // GS r n: answered once what comes before it is printed
    AutomaticStatus, // GS a n: sets automatic status back
    PrinterId, // GS I n
    StarEnq, // ENQ: one status byte
    StarEot, // EOT: one status byte
    StarStatusRequest, // ESC ACK SOH: the automatic status, once
    StarAutomaticSetting, // ESC RS a n: automatic status on or off
    StarEtb, // ETB: counts a job done
    StarEtbReset, // ESC RS E n, CAN: the ETB count back to 0
    // What else a reader may look for:
    DrawerPulse, // opens a cash drawer
    PageStart, // enters page mode
    PageEnd, // prints the page and leaves page mode (or prints it and stays)
    PrintsLogo, // prints what an earlier command stored
};

// The roles printer_memory.h reads: what the printer keeps between jobs.
constexpr bool KeepsMemory(Role role)
{
    return role >= Role::Initializes && role <= Role::DeletesCharacter;
}

// One command of a printer language: the bytes that name it, how its length
// is found, what it is called, and what it does to the paper. A language is a
// list of these; a new command is a new row.
struct CommandRow {
    // How long the command starting at b[0] is, from the `available` bytes
    // seen so far; `cap` as for MeasureCommand.
    using Length = CommandSize (*)(const unsigned char* b, std::size_t available, long long cap);
    using Action = void (*)(ReceiptPrinter& printer, const unsigned char* c, long long length);

    std::string_view bytes; // "\x1b" "E"; a row of just a prefix is what no other row of it matches
    Length length;
    const char* name; // "Bold", as the preview lists it
    Action action;
    Role role = Role::None;
    // The table the bytes after it are read with, when it changes: ESC * r A
    // into raster mode, ESC * r B out of it.
    std::optional<TableMode> then = std::nullopt;
};

// The rows of one language, looked up by the bytes a command starts with: the
// longest row whose bytes begin the command is its row.
class CommandTable {
public:
    // `text`: bytes from 0x20 up that no row starts are text; in a table
    // without text (raster mode) they are commands or not understood.
    explicit CommandTable(std::vector<CommandRow> rows, bool text = true);

    struct Found {
        Framing framing = Framing::NeedMore; // NeedMore: too few bytes to tell
        const CommandRow* row = nullptr; // null: no row; the byte is not understood
    };
    Found find(const unsigned char* bytes, std::size_t available) const;
    CommandSize measure(const unsigned char* bytes, std::size_t available, long long cap) const;
    const std::vector<CommandRow>& rows() const { return rows_; }
    bool readsText() const { return text_; }

private:
    Found findLonger(const unsigned char* bytes, std::size_t available) const;

    std::vector<CommandRow> rows_;
    bool text_;
    // By first byte: the one-byte rows (a command, or a family's row for
    // what no other row of it names); and by first and second byte the
    // longer rows, longest bytes first, so a lookup reads only its own.
    using BySecond = std::array<std::vector<const CommandRow*>, 256>;
    std::array<const CommandRow*, 256> single_ {};
    std::array<int, 256> prefix_; // index into bySecond_, -1 for a byte no longer row starts with
    std::vector<BySecond> bySecond_; // one for each prefix byte
};

// Length rules the tables share.
namespace length {

    inline CommandSize Need() { return { Framing::NeedMore, 0 }; }
    inline CommandSize Whole(long long n) { return { Framing::Whole, n }; }
    inline CommandSize Unknown(long long n) { return { Framing::Unknown, n }; }
    // A fixed length, once that many bytes are here.
    inline CommandSize Fixed(std::size_t available, long long n)
    {
        if (static_cast<long long>(available) >= n)
            return Whole(n);
        return { Framing::NeedMore, n };
    }
    template <int N> CommandSize Bytes(const unsigned char*, std::size_t available, long long)
    {
        return Fixed(available, N);
    }
    // A prefix that no row of its family follows: its bytes are not understood.
    template <int N> CommandSize NotUnderstood(const unsigned char*, std::size_t, long long)
    {
        return Unknown(N);
    }
    // `Head` bytes, the last two a little-endian count of the data after them.
    template <int Head>
    CommandSize CountedLowHigh(const unsigned char* b, std::size_t available, long long)
    {
        if (available < static_cast<std::size_t>(Head))
            return Need();
        return Fixed(available, Head + b[Head - 2] + 256LL * b[Head - 1]);
    }
    // `Head` bytes, the last the number of images n, then n images of xL xH yL
    // yH and x * y * 8 bytes (FS q, Star's ESC FS q).
    template <int Head>
    CommandSize BitImages(const unsigned char* b, std::size_t available, long long cap)
    {
        if (available < static_cast<std::size_t>(Head))
            return Need();
        long long at = Head;
        for (int image = 0; image < b[Head - 1]; ++image) {
            if (static_cast<long long>(available) < at + 4)
                return { Framing::NeedMore, at + 4 };
            at += 4 + 8LL * (b[at] + 256LL * b[at + 1]) * (b[at + 2] + 256LL * b[at + 3]);
            if (at > cap)
                return { Framing::NeedMore, at };
        }
        return Fixed(available, at);
    }
    // Data from byte `Start` up to and with a terminating byte, at most
    // kMaxTerminatedLength bytes of it.
    template <int Start, unsigned char End>
    CommandSize Terminated(const unsigned char* b, std::size_t available, long long)
    {
        for (std::size_t i = Start; i < available; ++i) {
            if (b[i] == End)
                return Whole(static_cast<long long>(i) + 1);
            if (i - Start + 1 >= kMaxTerminatedLength)
                return Whole(static_cast<long long>(i) + 1);
        }
        return Need();
    }

} // namespace length

enum class Language;
// The table of a language, in the mode it reads (raster mode only for Star
// Line and StarPRNT, whose rows enter it).
const CommandTable& TableOf(Language language, TableMode mode = TableMode::Normal);

} // namespace ostrel::receipt
