#include "app/config_file.h"

#include "files/state_file.h"
#include "protocol/message_text.h"

#include <algorithm>
#include <cctype>

namespace ostrel {
namespace {

    constexpr std::size_t kMostNameLength = 64;

    std::string Trimmed(const std::string& text)
    {
        const std::size_t first = text.find_first_not_of(" \t\r");
        if (first == std::string::npos)
            return {};
        return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
    }

    // A name is a path segment of the page's API (/api/printers/NAME/): "." and
    // ".." would be taken for the folder itself or the one above.
    bool IsName(const std::string& name)
    {
        return !name.empty() && name.size() <= kMostNameLength
            && name.find_first_not_of('.') != std::string::npos
            && std::all_of(name.begin(), name.end(), [](unsigned char c) {
                   return std::isalnum(c) || c == '-' || c == '_' || c == '.';
               });
    }

    // A quoted value without its quotes; false for one not closed.
    bool Unquoted(const std::string& value, std::string& plain)
    {
        plain.clear();
        for (std::size_t i = 1; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size()) {
                plain += value[++i];
            } else if (value[i] == '"') {
                return i + 1 == value.size();
            } else {
                plain += value[i];
            }
        }
        return false;
    }

} // namespace

bool ReadConfigText(
    const std::string& text, std::vector<ConfigSection>& sections, std::string& error)
{
    sections.clear();
    int number = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string line = Trimmed(text.substr(at, end - at));
        at = end + 1;
        ++number;
        const auto fail = [&](const std::string& why) {
            error = "line " + std::to_string(number) + ": " + why;
            return false;
        };
        if (line.empty() || line.front() == '#' || line.front() == ';')
            continue;
        if (line.front() == '[') {
            if (line.back() != ']')
                return fail("a section is written [NAME]");
            const std::string name = Trimmed(line.substr(1, line.size() - 2));
            if (!IsName(name))
                return fail("a printer's name is 1 to 64 letters, digits, -, _ or . (not dots "
                            "alone), not \""
                    + QuotedForMessage(name) + "\"");
            for (const ConfigSection& earlier : sections)
                if (earlier.name == name)
                    return fail("the printer \"" + name + "\" is named already on line "
                        + std::to_string(earlier.line));
            sections.push_back({ number, name, {} });
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos)
            return fail("expected [NAME] or KEY = VALUE, not \"" + QuotedForMessage(line) + "\"");
        if (sections.empty())
            return fail("a key comes after the [NAME] of its printer");
        const std::string key = Trimmed(line.substr(0, equals));
        std::string value = Trimmed(line.substr(equals + 1));
        if (!IsName(key))
            return fail("\"" + QuotedForMessage(key) + "\" is not a key");
        if (!value.empty() && value.front() == '"') {
            std::string plain;
            if (!Unquoted(value, plain))
                return fail(key + ": a quoted value ends with its closing quote");
            value = plain;
        }
        for (const ConfigEntry& earlier : sections.back().entries)
            if (earlier.key == key)
                return fail(key + " is given already on line " + std::to_string(earlier.line));
        sections.back().entries.push_back({ number, key, value });
    }
    if (sections.empty()) {
        error = "no printer in it: each printer is a section, [NAME]";
        return false;
    }
    return true;
}

bool ReadConfigFile(
    const std::string& path, std::vector<ConfigSection>& sections, std::string& error)
{
    // Never waits on a FIFO, never reads without bound.
    const StateFileRead read = ReadStateFile(path);
    if (read.kind != StateFileRead::Text) {
        error = QuotedForMessage(path) + ": "
            + (read.kind == StateFileRead::Missing ? std::string("no such file") : read.problem);
        return false;
    }
    if (!ReadConfigText(read.text, sections, error)) {
        error = QuotedForMessage(path) + " " + error;
        return false;
    }
    return true;
}

} // namespace ostrel
