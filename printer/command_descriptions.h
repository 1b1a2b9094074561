#pragma once

#include <string>
#include <string_view>

namespace ostrel {

// The text that follows the ">" marker on a command's line: the family prefix
// ("DLE: ", "ESC: ", "GS:  ", "US:  ") and the command's name, or "." for a
// second byte the family does not know. Single control bytes have no prefix.
std::string CommandDescription(int firstByte, int secondByte);

// The line padded with blanks to 48 characters, then ">" and the description.
// A line of 48 characters or more gets no blanks.
std::string AnnotatedLine(std::string line, std::string_view description);

} // namespace ostrel
