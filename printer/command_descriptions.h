#pragma once

#include <string>
#include <string_view>

namespace ostrel {

// What follows the ">" marker on a command's line: the family prefix ("DLE: ",
// "ESC: ", "GS:  ", "US:  ") and the command's name, or "." for a second byte
// the family does not know. Single control bytes have no prefix.
struct CommandName {
    std::string_view prefix;
    std::string_view name;
};
CommandName NameCommand(int firstByte, int secondByte);

// The prefix and name as one text.
std::string CommandDescription(int firstByte, int secondByte);

// What annotating a line of `lineLength` characters appends to it (into
// `tail`, replacing what it held): blanks up to 48 characters, ">" and the
// description. A line of 48 characters or more gets no blanks.
void AnnotationTail(std::size_t lineLength, const CommandName& command, std::string& tail);

// The line with its annotation.
std::string AnnotatedLine(std::string line, std::string_view description);

} // namespace ostrel
