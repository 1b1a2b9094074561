#include "net/lpd_conversation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ostrel {
namespace {

    using namespace std::string_literals;

    const LpdLimits kLimits { 100, 64, 256 };

    // What CUPS's lpd backend sends (backend/lpd.c): the control file's H, P, J,
    // then the print line 'l', U and N, each data file named "dfA" + a number
    // + the host.
    const std::string kControl
        = "Htill\nPcashier\nJreceipt 7\nldfA042till\nUdfA042till\nNreceipt 7\n";
    const std::string kControlFile
        = "\x02" + std::to_string(kControl.size()) + " cfA042till\n" + kControl + '\0';
    const std::string kData = "\x1b@hello\n\x1dV\x00"s;
    const std::string kDataFile
        = "\x03" + std::to_string(kData.size()) + " dfA042till\n" + kData + '\0';

    // Everything a conversation did, in one text to compare.
    struct Transcript {
        std::string replies;
        std::vector<LpdJob> jobs;
        std::vector<std::string> problems;
        bool over = false;
        std::string text() const
        {
            std::string all = "replies " + replies + "|over " + std::to_string(over);
            for (const LpdJob& job : jobs)
                all += "|job " + job.queue + " " + job.fileName + " " + job.bytes + " "
                    + job.control.jobName + " " + job.incomplete;
            for (const std::string& problem : problems)
                all += "|problem " + problem;
            return all;
        }
    };

    struct Row {
        const char* name;
        std::string sent;
        bool closedByPeer = true; // else idle timeout
        std::string replies;
        std::vector<std::string> jobBytes;
        std::string jobName; // of every job
        std::string incomplete; // found in every job's mark; "" for none
        std::string problem; // found in the one problem said; "" for none
    };

    Transcript Converse(const Row& row, const std::vector<std::string>& chunks)
    {
        Transcript seen;
        LpdConversation conversation(kLimits);
        conversation.reply = [&](std::string_view bytes) { seen.replies.append(bytes); };
        conversation.job = [&](LpdJob job) { seen.jobs.push_back(std::move(job)); };
        conversation.answer = [](const LpdQuery& query) {
            return "state " + std::to_string(query.kind) + " of " + query.queue + " for "
                + query.operands + "\n";
        };
        conversation.problem = [&](const std::string& why) { seen.problems.push_back(why); };
        for (const std::string& chunk : chunks)
            conversation.take(chunk);
        seen.over = conversation.over();
        conversation.end(row.closedByPeer, "idle timeout");
        return seen;
    }

    const std::string kAck(1, '\0');
    std::string Acks(std::size_t count) { return std::string(count, '\0'); }

    const std::vector<Row> kRows = {
        { "control then data, as CUPS sends", "\x02raw\n" + kControlFile + kDataFile, true, Acks(5),
            { kData }, "receipt 7", "", "" },
        { "data then control", "\x02raw\n" + kDataFile + kControlFile, true, Acks(5), { kData },
            "receipt 7", "", "" },
        { "two data files, one job each", "\x02raw\n" + kControlFile + kDataFile + kDataFile, true,
            Acks(7), { kData, kData }, "receipt 7", "", "" },
        { "aborted before the control file", "\x02raw\n" + kDataFile + "\x01\n", true, Acks(4), {},
            "", "", "aborted" },
        { "aborted after printing", "\x02raw\n" + kControlFile + kDataFile + "\x01\n", true,
            Acks(6), { kData }, "receipt 7", "", "" },
        { "CUPS's stream mode",
            "\x02raw\n" + kControlFile
                + "\x03"
                  "999999999999 dfA042till\n"
                + kData,
            true, Acks(4), { kData }, "receipt 7", "", "" },
        { "a stream announced as 0 bytes",
            "\x02raw\n" + kControlFile
                + "\x03"
                  "0 dfA042till\n"
                + kData,
            true, Acks(4), { kData }, "receipt 7", "", "" },
        { "a stream cut by the idle timeout",
            "\x02raw\n" + kControlFile
                + "\x03"
                  "0 dfA042till\n"
                + kData,
            false, Acks(4), { kData }, "receipt 7", "stream cut: idle timeout", "cut after" },
        { "a stream longer than a job may be",
            "\x02raw\n" + kControlFile
                + "\x03"
                  "0 d\n"
                + std::string(150, 'x'),
            true, Acks(4) + "\x01", { std::string(100, 'x') }, "receipt 7",
            "longer than the 100 bytes", "its first bytes are kept" },
        { "short queue state", "\x03raw\n", true, "state 3 of raw for \n", {}, "", "", "" },
        { "long queue state for users", "\x04raw alice bob\n", true,
            "state 4 of raw for alice bob\n", {}, "", "", "" },
        { "remove jobs", "\x05raw root 12\n", true, "state 5 of raw for root 12\n", {}, "", "",
            "" },
        { "print any waiting jobs", "\x01raw\n", true, kAck, {}, "", "", "" },
        { "a data file larger than a job may be",
            "\x02raw\n\x03"
            "101 dfA\n",
            true, kAck + "\x01", {}, "", "", "a data file of 101 bytes, more than the 100" },
        { "data files waiting beyond a job's size",
            "\x02raw\n" + kDataFile
                + "\x03"
                  "95 dfB\n",
            true, Acks(3) + "\x01", { kData }, "", "no control file",
            "bytes waiting for their control file" },
        { "a control file too large",
            "\x02raw\n\x02"
            "257 cfA\n",
            true, kAck + "\x01", {}, "", "", "control file of 257 bytes" },
        { "a data file cut short",
            "\x02raw\n" + kControlFile
                + "\x03"
                  "10 dfA\nabcd",
            true, Acks(4), { "abcd" }, "receipt 7", "ended after 4 of 10 bytes: closed by the peer",
            "ended after 4 of 10 bytes" },
        { "a data file without its zero byte",
            "\x02raw\n" + kControlFile + kDataFile.substr(0, kDataFile.size() - 1), true, Acks(4),
            { kData }, "receipt 7", "", "" },
        { "a file followed by another byte",
            "\x02raw\n" + kControlFile + kDataFile.substr(0, kDataFile.size() - 1) + "!", true,
            Acks(4) + "\x01", { kData }, "receipt 7", "", "followed by 0x21" },
        { "no control file came", "\x02raw\n" + kDataFile, true, Acks(3), { kData }, "",
            "no control file", "without a control file" },
        { "a control file cut short",
            "\x02raw\n" + kDataFile
                + "\x02"
                  "100 cfA\nJcut\nPus",
            true, std::string(4, '\0'), { kData }, "cut", "",
            "control file \"cfA\" ended after 8 of 100 bytes" },
        { "an unknown command", "\x07raw\n", true, "\x01", {}, "", "", "unknown command 0x07" },
        { "an unknown subcommand", "\x02raw\n\x09\n", true, kAck + "\x01", {}, "", "",
            "unknown subcommand 0x09" },
        { "a malformed count",
            "\x02raw\n\x03"
            "12a dfA\n",
            true, kAck + "\x01", {}, "", "", "malformed subcommand" },
        { "a command line too long", "\x02" + std::string(70, 'q') + "\n", true, "\x01", {}, "", "",
            "longer than 64 bytes" },
        { "a command line cut short", "\x02ra", true, "", {}, "", "", "middle of a command line" },
    };

    void Check(const Row& row, const Transcript& seen)
    {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(seen.replies, row.replies);
        ASSERT_EQ(seen.jobs.size(), row.jobBytes.size());
        for (std::size_t i = 0; i < seen.jobs.size(); ++i) {
            EXPECT_EQ(seen.jobs[i].bytes, row.jobBytes[i]);
            EXPECT_EQ(seen.jobs[i].queue, "raw");
            EXPECT_EQ(seen.jobs[i].control.jobName, row.jobName);
            if (row.incomplete.empty())
                EXPECT_EQ(seen.jobs[i].incomplete, "");
            else
                EXPECT_NE(seen.jobs[i].incomplete.find(row.incomplete), std::string::npos)
                    << seen.jobs[i].incomplete;
        }
        if (row.problem.empty())
            EXPECT_TRUE(seen.problems.empty()) << seen.text();
        else
            EXPECT_NE(seen.text().find(row.problem), std::string::npos) << seen.text();
    }

    TEST(LpdConversation, EveryConversationOfTheTable)
    {
        for (const Row& row : kRows)
            Check(row, Converse(row, { row.sent }));
    }

    // The same outcome wherever the bytes are cut, and a byte at a time.
    TEST(LpdConversation, EveryCutGivesTheSameOutcome)
    {
        for (const Row& row : kRows) {
            const std::string whole = Converse(row, { row.sent }).text();
            for (std::size_t cut = 0; cut <= row.sent.size(); ++cut)
                ASSERT_EQ(
                    Converse(row, { row.sent.substr(0, cut), row.sent.substr(cut) }).text(), whole)
                    << row.name << ", cut at " << cut;
            std::vector<std::string> bytes;
            for (const char byte : row.sent)
                bytes.emplace_back(1, byte);
            EXPECT_EQ(Converse(row, bytes).text(), whole) << row.name << ", a byte at a time";
        }
    }

    // A conversation the printer ended (an answer, a refusal) reads nothing more,
    // and one still receiving is not over until the peer closes.
    TEST(LpdConversation, OverOnlyOnceNothingMoreIsRead)
    {
        const Row& query = kRows[9];
        ASSERT_STREQ(query.name, "short queue state");
        const Transcript answered = Converse(query, { query.sent + "\x02more\n" });
        EXPECT_TRUE(answered.over);
        EXPECT_EQ(answered.replies, query.replies);
        EXPECT_FALSE(Converse(kRows[0], { kRows[0].sent }).over);
    }

    TEST(LpdConversation, ControlFileFields)
    {
        const LpdControlFile control
            = ParseLpdControlFile("Hhost\nPuser\nJjob\nCclass\nTtitle\nLbanner\nNfirst\nNsecond\nld"
                                  "fA1\nldfA1\nodfB2\nUdfA1\nX?\n\nlast");
        EXPECT_EQ(control.host, "host");
        EXPECT_EQ(control.user, "user");
        EXPECT_EQ(control.jobName, "job");
        EXPECT_EQ(control.className, "class");
        EXPECT_EQ(control.title, "title");
        EXPECT_EQ(control.banner, "banner");
        EXPECT_EQ(control.sourceName, "first");
        const std::vector<std::pair<std::string, char>> formats { { "dfA1", 'l' }, { "dfB2", 'o' },
            { "ast", 'l' } };
        EXPECT_EQ(control.formats, formats);
    }

} // namespace
} // namespace ostrel
