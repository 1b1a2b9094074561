#include "printer/command_listing.h"

#include "printer/command_descriptions.h"
#include "protocol/command_framer.h"
#include "protocol/command_set.h"
#include "protocol/hex_byte.h"

namespace ostrel {

namespace {

    std::string Hex(std::string_view bytes, std::size_t most)
    {
        std::string text;
        for (std::size_t i = 0; i < bytes.size() && i < most; ++i) {
            if (i > 0)
                text += ' ';
            text += HexByte(static_cast<std::uint8_t>(bytes[i]));
        }
        if (bytes.size() > most)
            text += " ... (" + std::to_string(bytes.size()) + " bytes)";
        return text;
    }

    std::string_view ControlName(int b)
    {
        switch (b) {
        case BEL:
            return "BEL";
        case HT:
            return "HT";
        case LF:
            return "LF";
        case FF:
            return "FF";
        case CR:
            return "CR";
        case DLE:
            return "DLE";
        case ESC:
            return "ESC";
        case GS:
            return "GS";
        case US:
            return "US";
        default:
            return "";
        }
    }

} // namespace

std::vector<FramedPiece> SplitIntoCommands(std::string_view stream)
{
    std::vector<FramedPiece> pieces;
    CommandFramer tracker;
    for (std::size_t at = 0; at < stream.size(); ++at) {
        const auto b = static_cast<std::uint8_t>(stream[at]);
        const bool inCommand = tracker.inCommand();
        const CommandFramer::Event event = tracker.take(b);
        if (event == CommandFramer::Event::SingleCommand || event == CommandFramer::Event::Prefix)
            pieces.push_back({ at, "", true, true });
        else if (!inCommand && (pieces.empty() || pieces.back().command))
            pieces.push_back({ at, "", false, true });
        FramedPiece& piece = pieces.back();
        piece.bytes += static_cast<char>(b);
        if (piece.command)
            piece.complete = !tracker.inCommand();
    }
    return pieces;
}

std::string CommandKind(std::string_view bytes)
{
    if (bytes.empty())
        return "";
    const int first = static_cast<std::uint8_t>(bytes[0]);
    std::string kind(ControlName(first));
    if (IsPrefixByte(first) && bytes.size() > 1) {
        const int second = static_cast<std::uint8_t>(bytes[1]);
        kind += ' ';
        if (second > 0x20 && second < 0x7F)
            kind += static_cast<char>(second);
        else
            kind += HexByte(static_cast<std::uint8_t>(second));
    }
    return kind;
}

std::string DescribePiece(const FramedPiece& piece)
{
    if (!piece.command) {
        std::string text;
        for (const char c : piece.bytes.substr(0, 40))
            text += (c >= 0x20 && c < 0x7F) ? c : '.';
        return "text \"" + text + (piece.bytes.size() > 40 ? "...\"" : "\"") + " ("
            + std::to_string(piece.bytes.size()) + (piece.bytes.size() == 1 ? " byte)" : " bytes)");
    }
    const int first = static_cast<std::uint8_t>(piece.bytes[0]);
    const int second = piece.bytes.size() > 1 ? static_cast<std::uint8_t>(piece.bytes[1]) : -1;
    std::string text = CommandKind(piece.bytes);
    if (second >= 0 || IsSingleControlByte(first))
        text += " (" + std::string(NameCommand(first, second).name) + ")";
    text += " " + Hex(piece.bytes, 24);
    if (!piece.complete)
        text += " (cut short)";
    return text;
}

std::map<std::string, long long> NamedCommandKinds(const CommandKindCounts& counts)
{
    std::map<std::string, long long> kinds;
    for (std::size_t at = 0; at < counts.size(); ++at) {
        if (counts[at] == 0)
            continue;
        const char pair[2] = { static_cast<char>(at / 256), static_cast<char>(at % 256) };
        kinds[CommandKind({ pair, IsSingleControlByte(pair[0]) ? 1u : 2u })] = counts[at];
    }
    return kinds;
}

} // namespace ostrel
