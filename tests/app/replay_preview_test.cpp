// ostrel-replay --preview, --paper and --report, run as a program: the tool
// makes its own offscreen GUI for fonts and PDF, with no display.

#include "tests/file_helpers.h"
#include "tests/receipt/job_bytes.h"

#include <QImage>

#include <gtest/gtest.h>

#include <sys/wait.h>

namespace fs = std::filesystem;

namespace ostrel::test {
namespace {

    class ReplayPreview : public ::testing::Test {
    protected:
        void SetUp() override
        {
            const std::string job = Bytes({ ESC, '@', ESC, 'a', 1 }) + "SHOP\n"
                + Bytes({ GS, 'k', 67, 13 }) + "4006381333931" + TwoDimensional(49, 80, "0hello")
                + TwoDimensional(49, 81, "0") + Bytes({ 0x01, DLE, 'R' })
                + Bytes({ ESC, 'p', 0, 25, 250, GS, 'V', 66, 0 }) + "second\n"
                + Bytes({ GS, 'V', 0 });
            WriteFile(input, job);
        }
        int run(const std::string& options)
        {
            const std::string command = std::string("env -u DISPLAY -u QT_QPA_PLATFORM ")
                + OSTREL_REPLAY_BINARY + " " + options + " " + input.string() + " > "
                + (dir / "stdout").string() + " 2> " + (dir / "stderr").string();
            const int status = std::system(command.c_str());
            err = ReadFile(dir / "stderr");
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }

        TestFolder folder { "ostrel-preview-" };
        const fs::path& dir = folder.path();
        const fs::path input = dir / "job.bin";
        std::string err;
    };

    TEST_F(ReplayPreview, PngHasBothReceiptsAtTheChosenWidth)
    {
        for (const auto& [paper, width] : { std::pair { "80", 576 }, std::pair { "58", 384 } }) {
            ASSERT_EQ(run("--log /dev/null --preview " + (dir / "out.png").string() + " --paper "
                          + paper),
                0)
                << err;
            EXPECT_EQ(err, "");
            QImage image((dir / "out.png").c_str());
            ASSERT_FALSE(image.isNull());
            EXPECT_EQ(image.width(), width);
            EXPECT_GT(image.height(), 100);
        }
    }

    TEST_F(ReplayPreview, PdfHasAPageForEachReceipt)
    {
        ASSERT_EQ(run("--log /dev/null --preview " + (dir / "out.pdf").string()), 0) << err;
        const std::string pdf = ReadFile(dir / "out.pdf");
        EXPECT_EQ(pdf.rfind("%PDF", 0), 0u);
        std::size_t pages = 0;
        for (std::size_t at = pdf.find("/Type /Page"); at != std::string::npos;
             at = pdf.find("/Type /Page", at + 1))
            pages += pdf.compare(at, 12, "/Type /Pages") != 0;
        EXPECT_EQ(pages, 2u);
    }

    TEST_F(ReplayPreview, ReportListsWhatTheJobDid)
    {
        ASSERT_EQ(run("--log /dev/null --report " + (dir / "out.json").string()), 0) << err;
        const std::string json = ReadFile(dir / "out.json");
        for (const char* wanted :
            { "\"receipts\": 2", "\"kind\": \"EAN-13\", \"data\": \"4006381333931\"",
                "\"kind\": \"QR Code\", \"data\": \"hello\"", "\"not_understood\": [{\"offset\": ",
                "\"bytes\": \"01\"", "\"status_replies\": 1", "\"drawer_pulse_count\": 1",
                "\"cut_count\": 2", "\"GS k\": 1", "\"paper_width_dots\": 576" })
            EXPECT_NE(json.find(wanted), std::string::npos) << wanted << " in " << json;
    }

    TEST_F(ReplayPreview, ReportCountsTheWholeJob)
    {
        WriteFile(input, std::string(20000, 'x'));
        ASSERT_EQ(run("--log /dev/null --report " + (dir / "out.json").string()), 0) << err;
        EXPECT_NE(ReadFile(dir / "out.json").find("\"bytes\": 20000,"), std::string::npos)
            << "not the counter's 9,999";
    }

    // 40,000 lines are taller than one image may be: the preview is cut into
    // numbered images, said on standard error, and the report is written too.
    TEST_F(ReplayPreview, ALongJobIsCutIntoImagesAndStillReported)
    {
        std::string job;
        for (int i = 0; i < 40000; ++i)
            job += "line " + std::to_string(i) + "\n";
        WriteFile(input, job);
        ASSERT_EQ(run("--log /dev/null --report " + (dir / "r.json").string() + " --preview "
                      + (dir / "p.png").string()),
            0)
            << err;
        EXPECT_NE(err.find("p-001.png to "), std::string::npos) << err;
        EXPECT_TRUE(fs::exists(dir / "p-002.png"));
        EXPECT_FALSE(fs::exists(dir / "p.png"));
        EXPECT_NE(ReadFile(dir / "r.json").find("\"receipts\": 1"), std::string::npos);
        EXPECT_EQ(run("--log /dev/null --preview " + (dir / "p-%s.png").string()), 2);
        EXPECT_NE(err.find("one number"), std::string::npos) << err;
    }

    TEST_F(ReplayPreview, ExistingOutputsAreUnchangedByTheNewOnes)
    {
        ASSERT_EQ(run("--log " + (dir / "a.txt").string()), 0);
        ASSERT_EQ(run("--log " + (dir / "b.txt").string() + " --report " + (dir / "r.json").string()
                      + " --preview " + (dir / "p.png").string()),
            0);
        EXPECT_EQ(ReadFile(dir / "a.txt"), ReadFile(dir / "b.txt"));
    }

    TEST_F(ReplayPreview, ThePrinterModelIsChosenListedAndNamed)
    {
        ASSERT_EQ(run("--log /dev/null --printer citizen-ct-s310ii --report "
                      + (dir / "out.json").string()),
            0)
            << err;
        EXPECT_NE(ReadFile(dir / "out.json").find("\"printer\": \"citizen-ct-s310ii\""),
            std::string::npos);
        ASSERT_EQ(run("--printer list"), 0);
        const std::string list = ReadFile(dir / "stdout");
        EXPECT_EQ(list.rfind("generic ", 0), 0u) << list;
        EXPECT_NE(list.find("fujitsu-fp1000"), std::string::npos) << list;
        EXPECT_EQ(run("--printer tm-u220 --log /dev/null"), 2);
        EXPECT_NE(err.find("--printer list"), std::string::npos) << err;
    }

    TEST_F(ReplayPreview, BadUsageIsExitTwo)
    {
        EXPECT_EQ(run("--preview " + (dir / "out.jpg").string()), 2);
        EXPECT_NE(err.find(".png or .pdf"), std::string::npos);
        EXPECT_EQ(run("--paper 76 --preview " + (dir / "out.png").string()), 2);
        EXPECT_NE(err.find("--paper: takes 58 or 80"), std::string::npos);
        EXPECT_EQ(
            run("--report " + (dir / "same").string() + " --log " + (dir / "same").string()), 2);
    }

    TEST_F(ReplayPreview, AnUnwritablePlaceIsExitOneAndNamed)
    {
        EXPECT_EQ(
            run("--log /dev/null --preview " + (dir / "no-such-folder" / "out.png").string()), 1);
        EXPECT_NE(err.find("out.png"), std::string::npos) << err;
    }

} // namespace
} // namespace ostrel::test
