#pragma once

#include <string>

namespace ostrel {

// A JSON string literal. Quotes and backslashes are escaped, and every byte
// below 0x20 or above 0x7E is written as the character of its value (\u00XX),
// so that any bytes can be read back.
std::string JsonString(const std::string& text);

} // namespace ostrel
