#pragma once

// The printer's command language in one place: which bytes start a command,
// how many parameter bytes each command takes, and what each one is called.
// Adding a command is one row here.
//
// The parameter counts are the framing this printer really does, not a list of
// what each named command would take on other printers: ESC "@" or GS "V", say,
// have a name and no parameter bytes.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace ostrel {

enum ControlByte : std::uint8_t {
    BEL = 7,
    HT = 9,
    LF = 10,
    FF = 12,
    CR = 13,
    DLE = 16,
    ESC = 27,
    GS = 29,
    US = 31,
};

// BEL, HT, LF, FF and CR are each a whole command.
constexpr bool IsSingleControlByte(int b)
{
    return b == BEL || b == HT || b == LF || b == FF || b == CR;
}

// DLE, ESC, GS and US open a command that takes at least one more byte.
constexpr bool IsPrefixByte(int b) { return b == DLE || b == ESC || b == GS || b == US; }

constexpr bool IsCommandStart(int b) { return IsSingleControlByte(b) || IsPrefixByte(b); }

// Where the first command-start byte in `bytes` is, or bytes.size(). Text runs
// long between commands, and every command start is a control byte below
// 0x20, so eight bytes at a time are passed over while none of them is one.
inline std::size_t FindCommandStart(std::string_view bytes)
{
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    constexpr std::uint64_t kHighBits = 0x8080808080808080u;
    std::size_t at = 0;
    while (at + 8 <= bytes.size()) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + at, 8);
        // Non-zero exactly when some byte of the eight is below 0x20.
        if (((word - kOnes * 0x20) & ~word & kHighBits) == 0) {
            at += 8;
            continue;
        }
        for (const std::size_t end = at + 8; at < end; ++at)
            if (IsCommandStart(static_cast<std::uint8_t>(bytes[at])))
                return at;
    }
    while (at < bytes.size() && !IsCommandStart(static_cast<std::uint8_t>(bytes[at])))
        ++at;
    return at;
}

struct SingleByteCommand {
    std::uint8_t byte;
    std::string_view name;
};

inline constexpr SingleByteCommand kSingleByteCommands[] = {
    { BEL, "Bell." },
    { HT, "Tab." },
    { LF, "LF." },
    { FF, "Form Feed." },
    { CR, "CR." },
};

struct PrefixCommand {
    std::uint8_t first;
    std::uint8_t second;
    std::uint8_t parameterBytes; // after the two command bytes
    std::string_view name;
};

// Pairs not listed take no parameter bytes and are named ".". US "*" announces
// its bit-image data in its two parameter bytes, high byte first.
inline constexpr PrefixCommand kPrefixCommands[] = {
    { DLE, 'R', 0, "Status Request." },

    { ESC, 30, 0, "Reverse Video ON." },
    { ESC, '!', 1, "Set Print Mode." },
    { ESC, '*', 3, "Bit Image." },
    { ESC, '-', 1, "Underline." },
    { ESC, '2', 0, "Set 1/16 line spacing." },
    { ESC, '3', 1, "Set line spacing." },
    { ESC, '@', 0, "Initialize." },
    { ESC, 'C', 1, "Set Pg Len." },
    { ESC, 'D', 0, "Set Horizontal Tabs." },
    { ESC, 'J', 1, "Feed n dot lines." },
    { ESC, 'K', 0, "Feed Reverse n dot lines." },
    { ESC, 'R', 1, "Select International Char Set." },
    { ESC, 'a', 1, "Set Barcode Justification." },
    { ESC, 'c', 2, "Select Paper Type." },
    { ESC, 't', 1, "Select Page Code." },

    { GS, 12, 0, "Feed to TOF." },
    { GS, '!', 1, "Select Char Size." },
    { GS, 'B', 1, "Reverse Video." },
    { GS, 'E', 1, "Print Quality Setting." },
    { GS, 'H', 1, "HRI Position." },
    { GS, 'L', 2, "Set Left Margin." },
    { GS, 'V', 0, "Paper Cut." },
    { GS, 'W', 2, "Set Right Margin." },
    { GS, 'f', 1, "HRI Font." },
    { GS, 'h', 1, "Barcode Height." },
    { GS, 'k', 2, "Barcode Print." },
    { GS, 'w', 1, "Barcode Magnification." },

    { US, '*', 2, "Bit Image." },
    { US, 'A', 0, "Set Horizontal Print Position." },
    { US, 'C', 2, "Set Pg Len." },
    { US, 'E', 1, "Eject/Retract." },
    { US, 'F', 1, "Set Four Strobe." },
    { US, 'K', 1, "Presenter Purge Timeout." },
    { US, 'S', 1, "IEEE-1284 Status Disable/Enable." },
    { US, 'b', 0, "Windows Begin Doc." },
    { US, 'e', 0, "Windows End Doc." },
    // These two really have no full stop, unlike US "A".
    { US, 'x', 2, "Set Horizontal Print Position" },
    { US, 'y', 2, "Set Vertical Print Position" },
};

// The name for an unknown second byte.
inline constexpr std::string_view kUnknownCommandName = ".";

constexpr const PrefixCommand* FindPrefixCommand(int first, int second)
{
    for (const PrefixCommand& command : kPrefixCommands) {
        if (command.first == first && command.second == second)
            return &command;
    }
    return nullptr;
}

// How many parameter bytes follow the first two bytes of a command.
constexpr int ParameterCountFor(int first, int second)
{
    const PrefixCommand* command = FindPrefixCommand(first, second);
    return command != nullptr ? command->parameterBytes : 0;
}

// Whether the command's two parameter bytes announce data that follows.
constexpr bool AnnouncesBitImageData(int first, int second) { return first == US && second == '*'; }

// The cut modes of GS V in the standard receipt command set: with a feed
// byte after the mode (feed, then cut), and partial rather than full.
constexpr bool CutModeTakesFeed(int mode)
{
    return mode == 65 || mode == 66 || mode == 97 || mode == 98 || mode == 103 || mode == 104;
}
constexpr bool IsCutMode(int mode)
{
    return mode == 0 || mode == 1 || mode == 48 || mode == 49 || CutModeTakesFeed(mode);
}
constexpr bool IsPartialCutMode(int mode)
{
    return mode == 1 || mode == 49 || mode == 66 || mode == 98 || mode == 104;
}

// The family prefix that stands before a name: "DLE: ", "ESC: ", "GS:  ", "US:  ".
constexpr std::string_view FamilyPrefix(int first)
{
    switch (first) {
    case DLE:
        return "DLE: ";
    case ESC:
        return "ESC: ";
    case GS:
        return "GS:  ";
    case US:
        return "US:  ";
    default:
        return "";
    }
}

} // namespace ostrel
