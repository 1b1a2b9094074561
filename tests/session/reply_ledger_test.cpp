// Which replies a job lists as sent: only those the source says it wrote;
// the rest apart, with the source's reason, whether they failed at once, while
// waiting or at the end.

#include "session/reply_ledger.h"

#include <gtest/gtest.h>

namespace ostrel::test {
namespace {

    TEST(ReplyLedger, ListsAsSentOnlyWhatTheSourceWrote)
    {
        using Delivery = ByteSource::ReplyDelivery;
        struct Row {
            const char* what;
            std::vector<Delivery> asTold; // the source's word as each reply is told
            Delivery atTheEnd;
            long long sent;
            long long notSent;
            const char* why;
        };
        // Three replies of two bytes each: 10 04 ... ends at 2, 4 and 6.
        const Row rows[] = {
            { "a source that cannot tell", { {}, {}, {} }, {}, 3, 0, "" },
            { "all written at once", { { 2, "" }, { 4, "" }, { 6, "" } }, { 6, "" }, 3, 0, "" },
            { "the last waits, then goes", { { 2, "" }, { 4, "" }, { 4, "" } }, { 6, "" }, 3, 0,
                "" },
            { "the last never taken", { { 2, "" }, { 4, "" }, { 4, "" } }, { 4, "" }, 2, 1,
                "not written by the end of the job" },
            { "half of one is not one", { { 2, "" }, { 3, "" }, { 3, "" } }, { 5, "" }, 2, 1,
                "not written by the end of the job" },
            { "cut off after the first", { { 2, "" }, { 2, "cut off" }, { 2, "cut off" } },
                { 2, "cut off" }, 1, 2, "cut off" },
            { "gone before any", { { 0, "reset" }, { 0, "reset" }, { 0, "reset" } }, { 0, "reset" },
                0, 3, "reset" },
        };
        for (const Row& row : rows) {
            SCOPED_TRACE(row.what);
            ReplyLedger ledger(2);
            const char* replies[] = { "\x12\x01", "\x12\x02", "\x12\x03" };
            for (std::size_t i = 0; i < 3; ++i)
                ledger.told(std::string_view(replies[i], 2), row.asTold[i]);
            ledger.settle(row.atTheEnd);
            EXPECT_EQ(ledger.sent(), row.sent);
            EXPECT_EQ(ledger.notSent(), row.notSent);
            EXPECT_EQ(ledger.failure(), row.why);
            EXPECT_EQ(ledger.sentListed().size(),
                static_cast<std::size_t>(std::min<long long>(row.sent, 2)));
            if (row.sent > 0) {
                EXPECT_EQ(ledger.sentListed()[0], "12 01");
            }
            if (row.notSent > 0) {
                EXPECT_EQ(ledger.notSentListed().front(), "12 0" + std::to_string(row.sent + 1));
            }
        }
    }

} // namespace
} // namespace ostrel::test
