// Text from files and peers, quoted before it reaches a terminal.

#include "protocol/message_text.h"

#include <gtest/gtest.h>

namespace ostrel::test {
namespace {

    TEST(QuotedForMessage, PrintableTextStaysAndTheRestIsQuotedAsTheShellDoes)
    {
        const struct {
            std::string text;
            const char* quoted;
        } rows[] = {
            { "job-0001.bin", "job-0001.bin" },
            { "Grüße €.bin", "Grüße €.bin" },
            { "n\xff.bin", "$'n\\xFF.bin'" },
            { "\x1b]0;title\a", "$'\\e]0;title\\a'" },
            { "two\nlines\tand 'quotes'", "$'two\\nlines\\tand \\'quotes\\''" },
            { "\xc2\x9b"
              "CSI",
                "$'\\xC2\\x9BCSI'" }, // a C1 control in UTF-8
            { "\xe0\x80\xaf", "$'\\xE0\\x80\\xAF'" }, // an overlong slash
            { std::string("nul\0", 4), "$'nul\\x00'" },
        };
        for (const auto& row : rows)
            EXPECT_EQ(QuotedForMessage(row.text), row.quoted) << row.quoted;
    }

} // namespace
} // namespace ostrel::test
