// Save Capture from the window: the two files byte for byte, the dialog and
// the messages, and saves that fail without losing anything.

#include "files/atomic_file.h"
#include "files/qt_common_dialog.h"
#include "tests/capture/capture_fixture.h"
#include "tests/file_helpers.h"
#include "tests/ui/window_test_support.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace ostrel::test {
namespace {

    using Strings = std::vector<std::string>;

    class SaveCapture : public ::testing::Test {
    protected:
        // Presses Save Capture, answering the dialog with `name`.
        void save(const std::string& name)
        {
            w.dialog.answers.push_back(name);
            w.form->cmdSaveCommands->click();
        }
        Strings filesInDir() const
        {
            Strings names;
            for (const auto& entry : fs::directory_iterator(dir))
                names.push_back(entry.path().filename().string());
            std::sort(names.begin(), names.end());
            return names;
        }

        TestFolder folder { "ostrel-save-" };
        const fs::path& dir = folder.path();
        Window w;
        MessageCloser closer;
    };

    TEST_F(SaveCapture, WritesTheLogThenConfirmsThenTheRawCapture)
    {
        w.comm.receive(Bytes("1B 40 0A"));
        const std::string log = (dir / "job1.txt").string();
        closer.whileOpen = [&] {
            // The log is complete before the message; the raw file comes after it.
            EXPECT_TRUE(fs::exists(log));
            EXPECT_FALSE(fs::exists(dir / "job1.bin"));
        };
        save(log);
        EXPECT_EQ(w.dialog.title, "Save Serial Print Commands To A File");
        EXPECT_EQ(w.dialog.filter, "Text Files | *.txt");
        EXPECT_EQ(ReadFile(log),
            Described("1B 40", "ESC: Initialize.") + "\r\n" + Described("0A", "LF.") + "\r\n \r\n")
            << "ends with the fresh line: one blank, CR LF";
        ASSERT_EQ(closer.seen.size(), 1u);
        EXPECT_EQ(closer.seen[0].whole().toStdString(), "Command History Saved as " + log);
        EXPECT_EQ(closer.seen[0].title, "OstrelSerialCapture");
        EXPECT_EQ(closer.seen[0].buttons, QMessageBox::Ok);
        EXPECT_EQ(closer.seen[0].icon, QMessageBox::NoIcon);
        const std::string raw = ReadFile(dir / "job1.bin");
        ASSERT_EQ(raw.size(), 10001u);
        EXPECT_EQ(raw.substr(0, 4), Bytes("00 1B 40 0A"));
        EXPECT_EQ(raw.find_first_not_of('\0', 4), std::string::npos);
        EXPECT_EQ(filesInDir(), (Strings { "job1.bin", "job1.txt" })) << "no temporary files left";
    }

    TEST_F(SaveCapture, CancelledDialogWritesAndShowsNothing)
    {
        w.comm.receive("data");
        save("");
        EXPECT_EQ(w.dialog.shown, 1);
        EXPECT_TRUE(filesInDir().empty());
        EXPECT_TRUE(closer.seen.empty());
    }

    TEST_F(SaveCapture, EmptyLogGivesAnEmptyFileAndStillTheMessageAndRaw)
    {
        save((dir / "empty.txt").string());
        EXPECT_EQ(ReadFile(dir / "empty.txt"), "");
        EXPECT_TRUE(fs::exists(dir / "empty.txt"));
        EXPECT_EQ(closer.seen.size(), 1u);
        EXPECT_EQ(ReadFile(dir / "empty.bin"), std::string(10001, '\0'));
    }

    TEST_F(SaveCapture, ExistingFilesReplacedAndALongerRawFileCut)
    {
        WriteFile(dir / "run.txt", std::string(50000, 'o'));
        WriteFile(dir / "run.bin", std::string(20000, '\x7f'));
        w.comm.receive("AB");
        save((dir / "run.txt").string());
        EXPECT_EQ(ReadFile(dir / "run.txt"), " 41 42\r\n");
        const std::string raw = ReadFile(dir / "run.bin");
        EXPECT_EQ(raw.size(), 10001u) << "no stale bytes of another capture after the dump";
        EXPECT_EQ(raw.substr(0, 3), "\0AB"s);
    }

    TEST_F(SaveCapture, RawHoldsTheLatestCaptureOverTheOlderOne)
    {
        w.comm.receive("ABCDE");
        w.form->cmdClearReceivedData->click();
        w.comm.receive("xy");
        save((dir / "c.txt").string());
        EXPECT_EQ(ReadFile(dir / "c.bin").substr(0, 7), "\0xyCDE\0"s);
    }

    TEST_F(SaveCapture, TenThousandBytesAndMore)
    {
        std::string stream;
        for (int i = 0; i < 12345; ++i)
            stream += static_cast<char>('a' + i % 26);
        w.comm.receive(stream);
        save((dir / "big.txt").string());
        const std::string raw = ReadFile(dir / "big.bin");
        ASSERT_EQ(raw.size(), 10001u);
        EXPECT_EQ(raw.substr(1, 9999), stream.substr(0, 9999));
        EXPECT_EQ(raw[10000], stream.back());
        // 771 full data lines of 48 characters and one of 9 bytes, CR LF each.
        EXPECT_EQ(ReadFile(dir / "big.txt").size(), 771u * 50u + 9u * 3u + 2u);
    }

    TEST_F(SaveCapture, RawNameFollowsTheRuleAndTheMessageNamesTheLog)
    {
        fs::create_directories(dir / "run.2");
        const struct {
            const char* log;
            const char* raw;
        } cases[] = {
            { "job1.text", "job1.bint" },
            { "job.one.txt", "job.bin.txt" },
            { "job1", "job1.bin" },
            { "run.2/job1.txt", "run.2/job1.bin" },
            { "job2.bin", "job2.bin.bin" },
        };
        w.comm.receive("Q");
        for (const auto& c : cases) {
            SCOPED_TRACE(c.log);
            closer.seen.clear();
            save((dir / c.log).string());
            EXPECT_EQ(ReadFile(dir / c.log), " 51\r\n");
            EXPECT_EQ(ReadFile(dir / c.raw).size(), 10001u);
            ASSERT_EQ(closer.seen.size(), 1u);
            EXPECT_EQ(closer.seen[0].whole().toStdString(),
                "Command History Saved as " + (dir / c.log).string());
        }
    }

    TEST_F(SaveCapture, FailuresNameTheFileLoseNothingAndASecondSaveWorks)
    {
        w.comm.receive(Bytes("1B 40 0A"));
        WriteFile(dir / "old.txt", "old log");
        fs::create_directories(dir / "folder.txt");
        const struct {
            std::string log;
            const char* reason;
        } cases[] = {
            { (dir / "missing" / "job.txt").string(), "missing folder" },
            { (dir / "folder.txt").string(), "a name that is a folder" },
            // Not writable even for root.
            { "/proc/ostrel-capture.txt", "read-only folder" },
        };
        const Strings before = filesInDir();
        for (const auto& c : cases) {
            SCOPED_TRACE(c.reason);
            closer.seen.clear();
            save(c.log);
            ASSERT_EQ(closer.seen.size(), 1u) << "one failure message, no confirmation";
            const std::string text = closer.seen[0].whole().toStdString();
            EXPECT_NE(text.find("Could not save " + c.log), std::string::npos) << text;
            EXPECT_EQ(closer.seen[0].title, "OstrelSerialCapture");
            EXPECT_EQ(filesInDir(), before) << "no raw file and no temporary file";
            EXPECT_EQ(ReadFile(dir / "old.txt"), "old log");
        }
        EXPECT_EQ(ListTexts(w.form->listCommands).size(), 3u) << "the capture is untouched";
        closer.seen.clear();
        save((dir / "old.txt").string());
        EXPECT_EQ(closer.seen.at(0).whole().toStdString(),
            "Command History Saved as " + (dir / "old.txt").string());
        EXPECT_NE(ReadFile(dir / "old.txt"), "old log");
    }

    TEST_F(SaveCapture, RawFileThatCannotBeWrittenIsReportedBeforeTheLogIsTouched)
    {
        const std::string longName(252, 'n'); // the raw name gets 4 more: too long
        struct Row {
            std::string log;
            std::string raw;
            std::function<void()> prepare;
        };
        const Row rows[] = {
            { (dir / "taken.txt").string(), (dir / "taken.bin").string(),
                [&] { fs::create_directories(dir / "taken.bin"); } },
            { (dir / longName).string(), (dir / (longName + ".bin")).string(), [] {} },
        };
        for (const Row& row : rows) {
            SCOPED_TRACE(row.raw);
            row.prepare();
            if (row.log.size() - dir.string().size() < 255)
                WriteFile(row.log, "older log");
            closer.seen.clear();
            w.comm.receive("A");
            save(row.log);
            ASSERT_EQ(closer.seen.size(), 1u) << "no confirmation";
            const SeenMessage& box = closer.seen[0];
            const QString whole = box.whole();
            EXPECT_NE(whole.indexOf("Could not save " + QString::fromStdString(row.raw)), -1)
                << whole.toStdString();
            EXPECT_EQ(ReadFile(row.log), "older log");
        }
    }

    TEST_F(SaveCapture, RawFileFailingWhileWrittenIsReportedAfterTheLog)
    {
        // The raw file is the second file written; its bytes meet a full disk.
        static int writes;
        writes = 0;
        WriterCalls().write = [](int fd, const void* bytes, size_t count) -> ssize_t {
            if (++writes == 2) {
                errno = ENOSPC;
                return -1;
            }
            return ::write(fd, bytes, count);
        };
        WriteFile(dir / "full.bin", "older raw");
        w.comm.receive("A");
        save((dir / "full.txt").string());
        ResetWriterCalls();
        ASSERT_EQ(closer.seen.size(), 2u);
        EXPECT_EQ(closer.seen[0].whole().toStdString(),
            "Command History Saved as " + (dir / "full.txt").string());
        EXPECT_NE(closer.seen[1].whole().indexOf("No space left on device"), -1);
        EXPECT_EQ(ReadFile(dir / "full.bin"), "older raw");
        EXPECT_EQ(filesInDir(), (Strings { "full.bin", "full.txt" })) << "no temporary file left";
    }

    TEST_F(SaveCapture, FullDiskNeverSaysSavedAndKeepsTheOlderFiles)
    {
        std::string receipt;
        for (int line = 0; line < 120; ++line)
            receipt += Bytes("1B 21 08") + "Item " + std::to_string(line) + "      2.50"
                + Bytes("0D 0A");
        const auto saveOnto = [&](const fs::path& place) {
            WriteFile(place / "cap.txt", "older log");
            WriteFile(place / "cap.bin", "older raw");
            w.comm.receive(receipt);
            closer.seen.clear();
            save((place / "cap.txt").string());
            ASSERT_EQ(closer.seen.size(), 1u);
            EXPECT_EQ(closer.seen[0].whole().indexOf("Command History Saved"), -1);
            EXPECT_NE(closer.seen[0].whole().indexOf("No space left on device"), -1)
                << closer.seen[0].whole().toStdString();
            EXPECT_EQ(ReadFile(place / "cap.txt"), "older log");
            EXPECT_EQ(ReadFile(place / "cap.bin"), "older raw");
        };
        // Through the write path's seam, anywhere...
        WriterCalls().fsync = [](int) {
            errno = ENOSPC;
            return -1;
        };
        saveOnto(dir);
        ResetWriterCalls();
        // ...and on a real small file system filled up, where one can be mounted.
        for (const std::size_t leave : { std::size_t { 0 }, std::size_t { 8192 } }) {
            SmallFileSystem small(dir / "small", "64k");
            if (!small.mounted())
                GTEST_SKIP() << small.whyNot();
            WriteFile(dir / "small" / "cap.txt", "older log");
            WriteFile(dir / "small" / "cap.bin", "older raw");
            small.fill(leave);
            saveOnto(dir / "small");
        }
    }

    TEST_F(SaveCapture, ReceptionGoesOnDuringTheDialogAndTheMessage)
    {
        w.comm.receive("A");
        w.dialog.duringShow = [&] { w.comm.receive("B"); };
        closer.whileOpen = [&] { w.comm.receive("C"); };
        save((dir / "live.txt").string());
        EXPECT_EQ(ReadFile(dir / "live.txt"), " 41 42\r\n") << "the log as it stood when written";
        EXPECT_EQ(ReadFile(dir / "live.bin").substr(0, 4), "\0ABC"s)
            << "the raw file, written last";
        EXPECT_EQ(ListTexts(w.form->listDataReceived), Strings { "ABC" });
    }

    // Shows the real save dialog as the window sets it up, and lets `user` act
    // on it once it is open; the user then accepts it.
    std::string ShowRealDialog(const std::function<void(QFileDialog&)>& user)
    {
        QtCommonDialog dialog;
        dialog.setDialogTitle("Save Serial Print Commands To A File");
        dialog.setFilter("Text Files | *.txt");
        QTimer timer;
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            auto* shown = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (shown == nullptr)
                return;
            timer.stop();
            user(*shown);
            QMetaObject::invokeMethod(shown, "accept");
        });
        timer.start();
        dialog.ShowSave();
        return dialog.FileName();
    }

    TEST(SaveDialog, TitleFilterAndNoQuestionBeforeReplacing)
    {
        const fs::path file
            = fs::temp_directory_path() / ("ostrel-dialog-" + std::to_string(::getpid()) + ".txt");
        WriteFile(file, "exists");
        QString title, filter;
        bool confirms = true;
        const std::string chosen = ShowRealDialog([&](QFileDialog& shown) {
            title = shown.windowTitle();
            filter = shown.nameFilters().join(";;");
            confirms = !shown.testOption(QFileDialog::DontConfirmOverwrite);
            shown.selectFile(QString::fromStdString(file.string()));
        });
        EXPECT_EQ(title, "Save Serial Print Commands To A File");
        EXPECT_EQ(filter, "Text Files (*.txt)");
        EXPECT_FALSE(confirms);
        EXPECT_EQ(chosen, file.string());
        fs::remove(file);
    }

    TEST(SaveDialog, NameWithAQuoteIsKeptAsTyped)
    {
        const fs::path folder = fs::temp_directory_path();
        const std::string chosen = ShowRealDialog([&](QFileDialog& shown) {
            shown.setDirectory(QString::fromStdString(folder.string()));
            auto* edit = shown.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(edit, nullptr);
            edit->setText(QStringLiteral("we\"ird.txt"));
        });
        EXPECT_EQ(chosen, (folder / "we\"ird.txt").string());
    }

    TEST(SaveDialog, FilterTextInQtsWords)
    {
        EXPECT_EQ(QtNameFilter("Text Files | *.txt"), "Text Files (*.txt)");
        EXPECT_EQ(QtNameFilter("Text|*.txt|All|*.*"), "Text (*.txt);;All (*.*)");
    }

} // namespace
} // namespace ostrel::test
