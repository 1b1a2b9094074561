#pragma once

#include <string>
#include <string_view>

namespace ostrel {

// The length of the well-formed UTF-8 character at `at` (shortest form, no
// surrogate, at most U+10FFFF), with its code point; 0 where there is none.
std::size_t Utf8CharacterAt(std::string_view text, std::size_t at, char32_t& code);

// Text from a file or a peer, made safe to print in a message on a terminal:
// unchanged when it is printable UTF-8, else quoted as the shell and ls quote
// it ($'n\xFF.bin', $'\e]0;title\a'), so that no control byte reaches the
// terminal and the bytes can still be read off.
std::string QuotedForMessage(std::string_view text);

} // namespace ostrel
