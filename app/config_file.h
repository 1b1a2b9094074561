#pragma once

#include <string>
#include <vector>

namespace ostrel {

// An INI file of printers: "[name]" starts a section, "key = value" lines
// follow, a value may be quoted ("9600,N,8,1", with \" and \\ inside), and
// lines starting with # or ; are comments.
struct ConfigEntry {
    int line = 0;
    std::string key, value;
};
struct ConfigSection {
    int line = 0;
    std::string name;
    std::vector<ConfigEntry> entries;
};

// False, with "FILE line N: why", for a file that cannot be read or is not
// written as above; a name or key given twice is refused too.
bool ReadConfigFile(
    const std::string& path, std::vector<ConfigSection>& sections, std::string& error);
bool ReadConfigText(
    const std::string& text, std::vector<ConfigSection>& sections, std::string& error);

} // namespace ostrel
