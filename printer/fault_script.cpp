#include "printer/fault_script.h"

#include <charconv>
#include <cmath>

namespace ostrel {
namespace {

    std::string_view Trimmed(std::string_view text)
    {
        const auto first = text.find_first_not_of(" \t\r");
        if (first == std::string_view::npos)
            return {};
        const auto last = text.find_last_not_of(" \t\r");
        return text.substr(first, last - first + 1);
    }

    struct UnitName {
        std::string_view name;
        FaultLine::Unit unit;
        double scale;
    };
    constexpr UnitName kUnits[] = {
        { "s", FaultLine::Unit::Seconds, 1 },
        { "ms", FaultLine::Unit::Seconds, 0.001 },
        { "mm", FaultLine::Unit::Millimetres, 1 },
        { "m", FaultLine::Unit::Millimetres, 1000 },
        { "byte", FaultLine::Unit::Bytes, 1 },
        { "bytes", FaultLine::Unit::Bytes, 1 },
        { "receipt", FaultLine::Unit::Receipts, 1 },
        { "receipts", FaultLine::Unit::Receipts, 1 },
    };

    // "2 s", "500 mm", "40000 bytes", "receipt 3", "3 receipts".
    bool ReadTrigger(std::string_view text, FaultLine& line, std::string& why)
    {
        std::string_view number = text, unit;
        if (text.starts_with("receipt ")) {
            number = Trimmed(text.substr(8));
            unit = "receipt";
        } else {
            const auto space = text.find_first_of(" \t");
            if (space == std::string_view::npos) {
                why = "a trigger is a number and a unit, as in \"after 2 s\" or \"after receipt "
                      "3\"";
                return false;
            }
            number = text.substr(0, space);
            unit = Trimmed(text.substr(space));
        }
        double amount = 0;
        const auto [end, failed]
            = std::from_chars(number.data(), number.data() + number.size(), amount);
        if (failed != std::errc() || end != number.data() + number.size() || !std::isfinite(amount)
            || amount < 0) {
            why = "\"" + std::string(number) + "\" is not a number of 0 or more";
            return false;
        }
        for (const UnitName& known : kUnits)
            if (known.name == unit) {
                line.unit = known.unit;
                line.amount = amount * known.scale;
                if (line.unit == FaultLine::Unit::Receipts || line.unit == FaultLine::Unit::Bytes)
                    line.amount = std::floor(line.amount);
                return true;
            }
        why = "\"" + std::string(unit) + "\" is not one of the units s, ms, mm, m, bytes, receipts";
        return false;
    }

} // namespace

bool ParseFaultScript(std::string_view text, std::vector<FaultLine>& lines, std::string& error)
{
    int number = 0;
    while (!text.empty()) {
        const auto newline = text.find('\n');
        const std::string_view raw = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
        ++number;
        const std::string_view body = Trimmed(raw.substr(0, raw.find('#')));
        if (body.empty())
            continue;
        FaultLine line;
        line.number = number;
        std::string why;
        const auto colon = body.find(':');
        std::string_view trigger = Trimmed(body.substr(0, colon));
        if (colon == std::string_view::npos) {
            why = "a line is a trigger, a colon and a state, as in \"after 2 s: paper-out\"";
        } else if (trigger.starts_with("after ") || trigger.starts_with("at ")) {
            line.fromStart = trigger.starts_with("at ");
            trigger = Trimmed(trigger.substr(line.fromStart ? 3 : 6));
            line.stateText = std::string(Trimmed(body.substr(colon + 1)));
            if (ReadTrigger(trigger, line, why)) {
                if (line.stateText.empty())
                    why = "no state after the colon (\"clear\" is the default state)";
                else if (!ParsePrinterState(
                             line.stateText == "clear" ? "" : line.stateText, line.state, why))
                    why = "the state: " + why;
            }
        } else {
            why = "a line begins with \"after\" (counted from the line before) or \"at\" (from the "
                  "start)";
        }
        if (!why.empty()) {
            error = "line " + std::to_string(number) + ": \"" + std::string(body) + "\": " + why;
            return false;
        }
        lines.push_back(std::move(line));
    }
    return true;
}

std::optional<FaultLine> FaultScript::due(const Counts& now)
{
    if (done())
        return std::nullopt;
    const FaultLine& line = lines_[next_];
    const Counts from = line.fromStart ? Counts {} : since_;
    bool reached = false;
    switch (line.unit) {
    case FaultLine::Unit::Seconds:
        reached = now.seconds - from.seconds >= line.amount;
        break;
    case FaultLine::Unit::Receipts:
        reached = static_cast<double>(now.receipts - from.receipts) >= line.amount;
        break;
    case FaultLine::Unit::Millimetres:
        reached = now.millimetres - from.millimetres >= line.amount;
        break;
    case FaultLine::Unit::Bytes:
        reached = static_cast<double>(now.bytes - from.bytes) >= line.amount;
        break;
    }
    if (!reached)
        return std::nullopt;
    since_ = now;
    return lines_[next_++];
}

} // namespace ostrel
