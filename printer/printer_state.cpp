#include "printer/printer_state.h"

#include "protocol/message_text.h"

namespace ostrel {

namespace {

    // Every real-time status byte has bit 1 and bit 4 set, bits 0 and 7 clear,
    // so a host can tell it from other data.
    constexpr std::uint8_t kRealTimeFixed = 0x12;

    std::uint8_t Bit(bool on, int bit) { return on ? static_cast<std::uint8_t>(1u << bit) : 0; }

    // GS r 1 and automatic status: near end on bits 0-1, the end on bits 2-3.
    std::uint8_t PaperBits(const PrinterState& s)
    {
        return static_cast<std::uint8_t>(Bit(s.paperNearEnd, 0) | Bit(s.paperNearEnd, 1)
            | Bit(s.paperOut, 2) | Bit(s.paperOut, 3));
    }

} // namespace

const std::vector<PrinterStateName>& PrinterStateNames()
{
    static const std::vector<PrinterStateName> names = {
        { "offline", &PrinterState::offline, "Offline" },
        { "cover-open", &PrinterState::coverOpen, "Cover open" },
        { "paper-near-end", &PrinterState::paperNearEnd, "Paper near end" },
        { "paper-out", &PrinterState::paperOut, "Paper out" },
        { "drawer-open", &PrinterState::drawerOpen, "Cash drawer open" },
        { "error", &PrinterState::recoverableError, "Recoverable error" },
        { "unrecoverable-error", &PrinterState::unrecoverableError, "Unrecoverable error" },
        { "cutter-error", &PrinterState::autocutterError, "Autocutter error" },
        { "feed-button", &PrinterState::feedButton, "Paper feed button held" },
    };
    return names;
}

bool ParsePrinterState(std::string_view list, PrinterState& state, std::string& error)
{
    state = {};
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        std::string_view word = list.substr(0, comma);
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
        while (!word.empty() && word.front() == ' ')
            word.remove_prefix(1);
        while (!word.empty() && word.back() == ' ')
            word.remove_suffix(1);
        // "clear": nothing set, the default state, so that a file can say it.
        if (word.empty() || word == "clear")
            continue;
        bool found = false;
        for (const PrinterStateName& name : PrinterStateNames()) {
            if (word == name.name) {
                state.*name.field = true;
                found = true;
            }
        }
        if (!found) {
            error = "unknown printer state " + QuotedForMessage("\"" + std::string(word) + "\"")
                + "; the states are ";
            for (const PrinterStateName& name : PrinterStateNames())
                error += std::string(&name == &PrinterStateNames().front() ? "" : ", ") + name.name;
            error += ", and clear for none";
            return false;
        }
    }
    return true;
}

std::string PrinterStateList(const PrinterState& state)
{
    std::string list;
    for (const PrinterStateName& name : PrinterStateNames())
        if (state.*name.field)
            list += (list.empty() ? "" : ",") + std::string(name.name);
    return list;
}

std::uint8_t RealTimeStatus(const PrinterState& s, int n)
{
    switch (n) {
    case 1: // printer
        return kRealTimeFixed | Bit(s.drawerOpen, 2) | Bit(s.isOffline(), 3)
            | Bit(s.recoverableError, 5) | Bit(s.feedButton, 6);
    case 2: // offline cause
        return kRealTimeFixed | Bit(s.coverOpen, 2) | Bit(s.feedButton, 3) | Bit(s.paperOut, 5)
            | Bit(s.anyError(), 6);
    case 3: // error cause
        return kRealTimeFixed | Bit(s.recoverableError, 2) | Bit(s.autocutterError, 3)
            | Bit(s.unrecoverableError, 5);
    case 4: // paper roll sensor: near end on bits 2-3, the end on 5-6, past fixed bit 4
        return kRealTimeFixed | Bit(s.paperNearEnd, 2) | Bit(s.paperNearEnd, 3) | Bit(s.paperOut, 5)
            | Bit(s.paperOut, 6);
    default:
        return 0;
    }
}

std::uint8_t TransmittedStatus(const PrinterState& s, int n)
{
    if (n == 1 || n == 49)
        return PaperBits(s);
    if (n == 2 || n == 50)
        return Bit(s.drawerOpen, 0);
    return 0;
}

std::string AutomaticStatus(const PrinterState& s)
{
    const std::uint8_t bytes[4] = {
        static_cast<std::uint8_t>(0x10 | Bit(s.drawerOpen, 2) | Bit(s.isOffline(), 3)
            | Bit(s.coverOpen, 5) | Bit(s.feedButton, 6)),
        static_cast<std::uint8_t>(
            Bit(s.recoverableError, 2) | Bit(s.autocutterError, 3) | Bit(s.unrecoverableError, 5)),
        PaperBits(s),
        0,
    };
    return std::string(reinterpret_cast<const char*>(bytes), 4);
}

std::uint8_t ChangedStatusGroups(const PrinterState& before, const PrinterState& after)
{
    // The groups are the automatic status's own bits: the drawer bit, the
    // online bits of its first byte, its error byte and its paper byte.
    const std::string was = AutomaticStatus(before), is = AutomaticStatus(after);
    const auto differs
        = [&](int byte, unsigned mask) { return ((was[byte] ^ is[byte]) & mask) != 0; };
    return static_cast<std::uint8_t>(Bit(differs(0, 0x04), 0) | Bit(differs(0, 0x68), 1)
        | Bit(differs(1, 0xFF), 2) | Bit(differs(2, 0xFF), 3));
}

std::string PrinterIdReply(int n, const PrinterState& state)
{
    const auto text = [](const std::string& value) { return "_" + value + std::string(1, '\0'); };
    switch (n) {
    case 1:
    case 49:
        return std::string(1, '\0'); // model: none of a maker's
    case 2:
    case 50:
        return std::string(1, '\x02'); // type: an autocutter, one-byte codes
    case 3:
    case 51:
        return std::string(1, '\x01'); // ROM version
    case 65:
        return text(OSTREL_PRINTER_VERSION);
    case 66:
        return text(state.maker.empty() ? "Ostrel" : state.maker);
    case 67:
        return text(state.model.empty() ? "Ostrel Serial Print Command Capture" : state.model);
    case 68:
        return text("0");
    case 69:
        return text("");
    default:
        return {};
    }
}

void SetModel(PrinterState& state, const receipt::PrinterProfile& profile)
{
    const bool generic = &profile == &receipt::GenericProfile();
    state.maker = generic ? std::string() : profile.vendor;
    state.model = generic ? std::string() : profile.model;
}

} // namespace ostrel
