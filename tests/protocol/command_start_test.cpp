#include "protocol/command_set.h"

#include <gtest/gtest.h>

#include <string>

namespace ostrel::test {
namespace {

    // The command starts as the framing states them, byte by byte.
    std::size_t FirstCommandStartByteByByte(const std::string& bytes)
    {
        for (std::size_t at = 0; at < bytes.size(); ++at) {
            const auto b = static_cast<std::uint8_t>(bytes[at]);
            if (b == 7 || b == 9 || b == 10 || b == 12 || b == 13 || b == 16 || b == 27 || b == 29
                || b == 31)
                return at;
        }
        return bytes.size();
    }

    // Every byte value at every place of a word and of the tail after the last
    // whole word, behind text, behind control bytes that start nothing, and
    // behind bytes with the high bit set.
    TEST(FindCommandStart, AgreesWithTheByteByByteRuleForEveryByteAnywhere)
    {
        for (const char filler : { 'x', '\0', '\x1e', '\x80', '\xff', ' ' }) {
            for (std::size_t length : { 1u, 7u, 8u, 9u, 16u, 21u }) {
                for (std::size_t at = 0; at < length; ++at) {
                    for (int b = 0; b < 256; ++b) {
                        std::string bytes(length, filler);
                        bytes[at] = static_cast<char>(b);
                        ASSERT_EQ(FindCommandStart(bytes), FirstCommandStartByteByByte(bytes))
                            << "byte " << b << " at " << at << " of " << length << " among "
                            << int(static_cast<std::uint8_t>(filler));
                    }
                }
            }
        }
        EXPECT_EQ(FindCommandStart(""), 0u);
    }

} // namespace
} // namespace ostrel::test
