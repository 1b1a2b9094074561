#include "receipt/kept_bytes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ostrel::test {
namespace {

    using receipt::KeptBytes;

    // What the store holds after appending each chunk in turn: everything while
    // it fits, and past the limit the newest half of the limit.
    struct KeptCase {
        const char* name;
        std::size_t limit;
        std::vector<std::string> chunks;
        std::string kept;
        bool lastDropped;
    };

    class KeptBytesCases : public ::testing::TestWithParam<KeptCase> { };

    TEST_P(KeptBytesCases, KeepsTheNewestBytes)
    {
        const KeptCase& c = GetParam();
        KeptBytes store(c.limit);
        bool dropped = false;
        for (const std::string& chunk : c.chunks)
            dropped = store.append(chunk);
        EXPECT_EQ(store.bytes(), c.kept);
        EXPECT_EQ(store.size(), c.kept.size());
        EXPECT_EQ(dropped, c.lastDropped);
    }

    INSTANTIATE_TEST_SUITE_P(Appends, KeptBytesCases,
        ::testing::Values(KeptCase { "nothing", 8, {}, "", false },
            KeptCase { "empty_chunks", 8, { "", "" }, "", false },
            KeptCase { "all_while_it_fits", 8, { "abc", "defgh" }, "abcdefgh", false },
            KeptCase { "every_byte_value", 8, { std::string("\0\x10R\xff", 4) },
                std::string("\0\x10R\xff", 4), false },
            KeptCase { "one_over_keeps_the_newest_half", 8, { "abcdefgh", "i" }, "fghi", true },
            KeptCase { "half_from_old_and_new", 8, { "abcdef", "ghi" }, "fghi", true },
            KeptCase { "a_chunk_over_half_alone", 8, { "ab", "0123456789" }, "6789", true },
            KeptCase { "goes_on_after_dropping", 8, { "abcdefgh", "i", "jk" }, "fghijk", false }),
        [](const ::testing::TestParamInfo<KeptCase>& info) {
            return std::string(info.param.name);
        });

    TEST(KeptBytes, ClearEmptiesAndKeepsWorking)
    {
        KeptBytes store(1u << 20);
        const std::string chunk(4096, 'x');
        for (int i = 0; i < 300; ++i)
            store.append(chunk);
        EXPECT_GE(store.size(), 512u << 10) << "at least the newest half of the limit";
        EXPECT_LE(store.size(), 1u << 20);
        store.clear();
        EXPECT_TRUE(store.empty());
        store.append("after");
        EXPECT_EQ(store.bytes(), "after");
    }

} // namespace
} // namespace ostrel::test
