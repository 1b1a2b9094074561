// The demo host and the window together, as `scripts/run --demo` runs them.

#include "app/sample_print_job.h"
#include "receipt/receipt_printer.h"
#include "serial/qt_serial_control.h"
#include "tests/serial/pseudo_terminal.h"
#include "tests/ui/window_test_support.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <filesystem>

namespace ostrel::test {
namespace {

    using namespace std::chrono_literals;

    TEST(DemoHost, SampleReceiptCapturedAndItsStatusRequestAnswered)
    {
        PortLinks links;
        QProcess host;
        host.setProcessChannelMode(QProcess::MergedChannels);
        host.start(QStringLiteral(OSTREL_DEMO_HOST_BINARY), { "--port", "9", "--once" });
        ASSERT_TRUE(host.waitForStarted());
        ASSERT_TRUE(WaitUntil([&] { return host.readAll().contains("Demo host ready"); }));

        QtSerialControl comm;
        FakeDialog dialog;
        CaptureSession session;
        Form1 form(session, comm, dialog);
        form.comboSerialPort->setEditText("9");
        form.chkEnableSerialPort->click();
        ASSERT_TRUE(comm.PortOpen());

        QByteArray said;
        ASSERT_TRUE(WaitUntil(
            [&] {
                said += host.readAll();
                return host.state() == QProcess::NotRunning;
            },
            10s));
        said += host.readAll();
        EXPECT_EQ(host.exitCode(), 0) << said.toStdString();
        // Two requests: the one inside the receipt and the one after it.
        EXPECT_EQ(said.count("Status reply: 10 52 00 08"), 2) << said.toStdString();

        const std::vector<std::string> log = ListTexts(form.listCommands);
        const auto has = [&](const std::string& text) {
            return std::any_of(log.begin(), log.end(),
                [&](const std::string& line) { return line.find(text) != std::string::npos; });
        };
        EXPECT_TRUE(has(">ESC: Initialize."));
        EXPECT_TRUE(has(">US:  Bit Image."));
        EXPECT_TRUE(has(">GS:  Barcode Print."));
        EXPECT_TRUE(has(">GS:  Paper Cut."));
        EXPECT_TRUE(has(">DLE: Status Request."));
        EXPECT_FALSE(std::filesystem::exists(links.folder() + "/ostrel-serial-capture/com9"))
            << "the demo removes its link";
    }

    TEST(DemoHost, LeavesAUsersOwnLinkAlone)
    {
        PortLinks links;
        links.link(2, "/dev/ttyUSB0");
        QProcess host;
        host.setProcessChannelMode(QProcess::MergedChannels);
        host.start(QStringLiteral(OSTREL_DEMO_HOST_BINARY), { "--port", "2" });
        ASSERT_TRUE(host.waitForFinished(5000));
        EXPECT_EQ(host.exitCode(), 1);
        EXPECT_TRUE(host.readAll().contains("already links to /dev/ttyUSB0"));
        EXPECT_EQ(std::filesystem::read_symlink(links.folder() + "/ostrel-serial-capture/com2"),
            "/dev/ttyUSB0");
    }

} // namespace
} // namespace ostrel::test

namespace ostrel::test {
namespace {

    // What a newcomer sees first: the demo receipt, under the profile of the
    // printer the command log describes, prints whole: nothing not understood,
    // its US "*" bit image drawn, its bare GS "V" a labelled cut.
    TEST(DemoHost, TheSampleReceiptPrintsWholeUnderTheCommandLogsPrinter)
    {
        receipt::EstimatedSymbolGeometry geometry;
        receipt::ReceiptPrinter printer(geometry);
        printer.setProfile(*receipt::FindPrinterProfile("log-printer"));
        printer.feed(SampleReceipt());
        printer.finish();
        const receipt::PrinterSummary& summary = printer.summary();
        EXPECT_EQ(summary.notUnderstoodBytes, 0)
            << (summary.notUnderstood.empty() ? "" : summary.notUnderstood[0].what);
        EXPECT_FALSE(printer.unfinished().has_value());
        EXPECT_EQ(summary.cutCount, 1);
        EXPECT_EQ(summary.receipts, 1);
        EXPECT_EQ(summary.symbolCount, 1) << "the CODE39 barcode";
        int images = 0, widest = 0;
        for (const receipt::Receipt& paper : printer.receipts())
            for (const receipt::PaperItem& item : paper.items)
                if (const auto* image = std::get_if<receipt::BitImage>(&item.what)) {
                    ++images;
                    widest = std::max(widest, image->width);
                }
        EXPECT_EQ(images, 2) << "US * and ESC *";
        EXPECT_EQ(widest, 32) << "US * 00 20: 32 columns";
        // The standard set reads the same job with bytes it does not understand.
        receipt::ReceiptPrinter standard(geometry);
        standard.feed(SampleReceipt());
        EXPECT_GT(standard.summary().notUnderstoodBytes, 0);
    }

} // namespace
} // namespace ostrel::test
