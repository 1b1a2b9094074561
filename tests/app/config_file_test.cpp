// The shop's file: sections, keys, quoted values and comments read; each
// fault said with its line.

#include "app/config_file.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

    TEST(ConfigFile, ReadsSectionsKeysAndQuotedValues)
    {
        std::vector<ConfigSection> sections;
        std::string error;
        ASSERT_TRUE(
            ReadConfigText("; a shop\n[kitchen]\nlisten = 0.0.0.0:9101\n  # a note\n\n[till]\r\n"
                           "settings = \"9600,N,8,1\"\nout=\"a \\\"b\\\"\"\nempty =\n",
                sections, error))
            << error;
        ASSERT_EQ(sections.size(), 2u);
        EXPECT_EQ(sections[0].name, "kitchen");
        EXPECT_EQ(sections[0].line, 2);
        ASSERT_EQ(sections[0].entries.size(), 1u);
        EXPECT_EQ(sections[0].entries[0].value, "0.0.0.0:9101");
        ASSERT_EQ(sections[1].entries.size(), 3u);
        EXPECT_EQ(sections[1].entries[0].value, "9600,N,8,1");
        EXPECT_EQ(sections[1].entries[0].line, 7);
        EXPECT_EQ(sections[1].entries[1].value, "a \"b\"");
        EXPECT_EQ(sections[1].entries[2].value, "");
    }

    TEST(ConfigFile, RefusesWithTheLine)
    {
        const std::pair<const char*, const char*> rows[] = {
            { "", "no printer in it" },
            { "listen = 1\n", "line 1: a key comes after the [NAME]" },
            { "[a]\n[a]\n", "line 2: the printer \"a\" is named already on line 1" },
            { "[a]\nout = 1\nout = 2\n", "line 3: out is given already on line 2" },
            { "[a b]\n", "line 1: a printer's name is" },
            { "[..]\n",
                "line 1: a printer's name is 1 to 64 letters, digits, -, _ or . (not dots alone), "
                "not \"..\"" },
            { "[a\n", "line 1: a section is written [NAME]" },
            { "[a]\njust words\n", "line 2: expected [NAME] or KEY = VALUE" },
            { "[a]\nout = \"open\n", "line 2: out: a quoted value ends with its closing quote" },
            { "[a]\nout = \"a\" b\n", "line 2: out: a quoted value ends" },
            { "[a]\n= 1\n", "line 2: \"\" is not a key" },
        };
        for (const auto& [text, says] : rows) {
            std::vector<ConfigSection> sections;
            std::string error;
            EXPECT_FALSE(ReadConfigText(text, sections, error)) << text;
            EXPECT_NE(error.find(says), std::string::npos) << text << " said: " << error;
        }
    }

} // namespace
} // namespace ostrel
