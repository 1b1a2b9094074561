// The Receipt Preview beside the window: how it opens, that it follows the
// capture, links commands and paper both ways, and leaves the window alone.

#include "tests/file_helpers.h"
#include "tests/receipt/job_bytes.h"
#include "tests/serial/pseudo_terminal.h"
#include "tests/ui/window_test_support.h"
#include "ui/receipt_preview.h"
#include "ui/window_placement.h"

#include <QAction>
#include <QSignalSpy>
#include <QTest>

#include "service/printer_in_time.h"
#include "ui/printer_state_window.h"

#include <QAccessible>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>

#include <gtest/gtest.h>

namespace ostrel::test {
namespace {

    const std::string kJob = Bytes({ ESC, '@', ESC, 'a', 1 }) + "FIRST RECEIPT\n"
        + Bytes({ GS, 'V', 0 }) + "Bold" + Bytes({ ESC, 'E', 1 }) + " line\n"
        + Bytes({ GS, 'k', 73, 6, '{', 'B', 'A', 'B', 'C', 'D' })
        + "last line of text that is long enough to wrap on a narrower paper\n";

    struct PreviewWindow : Window {
        PreviewWindow()
        {
            form->showReceiptPreview = [this] { preview.showBeside(form.get()); };
        }
        ReceiptPreview preview { session };
        int commandIndex(const std::string& text) const
        {
            const auto& commands = preview.printer().receipts()[preview.shownReceipt()].commands;
            for (std::size_t i = 0; i < commands.size(); ++i)
                if (commands[i].description.find(text) != std::string::npos)
                    return static_cast<int>(i);
            return -1;
        }
    };

    TEST(ReceiptPreview, OpensFromTheCommandLogMenuAndF6WithoutChangingTheWindow)
    {
        PreviewWindow w;
        const auto childrenBefore = w.form->findChildren<QWidget*>().size();
        EXPECT_EQ(w.form->listCommands->contextMenuPolicy(), Qt::ActionsContextMenu);
        ASSERT_EQ(w.form->listCommands->actions().size(), 2);
        EXPECT_EQ(w.form->listCommands->actions().front()->text(), "Receipt Preview");
        EXPECT_EQ(w.form->listCommands->actions().back()->text(), "Printer State");
        PrinterStateWindow state(
            w.session, [&](bool answer) { w.form->setSerialRealTimeReplies(answer); });
        w.form->showPrinterState = [&] { state.showBeside(w.form.get()); };
        w.form->show();
        QApplication::setActiveWindow(w.form.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.form.get()));
        QTest::keyClick(w.form.get(), Qt::Key_F7);
        EXPECT_TRUE(state.isVisible());
        state.stateBoxes[3]->setChecked(true); // paper out
        EXPECT_TRUE(w.session.printerState().paperOut);
        state.close();
        QApplication::setActiveWindow(w.form.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.form.get()));
        QTest::keyClick(w.form.get(), Qt::Key_F6);
        EXPECT_TRUE(w.preview.isVisible());
        EXPECT_EQ(w.preview.windowTitle(), "Receipt Preview");
        const QRect screen = w.form->screen()->availableGeometry();
        EXPECT_TRUE(screen.contains(w.preview.frameGeometry())) << "wholly on the screen";
        w.preview.close();
        w.form->move(screen.right() - w.form->width() / 2, screen.top()); // no room beside it
        w.form->listCommands->actions().front()->trigger();
        EXPECT_TRUE(w.preview.isVisible());
        EXPECT_TRUE(screen.contains(w.preview.frameGeometry())) << "still wholly on the screen";
        EXPECT_EQ(w.form->findChildren<QWidget*>().size(), childrenBefore);
        EXPECT_EQ(w.preview.parentWidget(), nullptr);
        QApplication::setActiveWindow(&w.preview);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w.preview));
        QTest::keyClick(&w.preview, Qt::Key_Escape);
        EXPECT_FALSE(w.preview.isVisible()) << "a key closes it";
        // Every control that takes the focus has a name a screen reader says.
        for (QWidget* window : { static_cast<QWidget*>(w.form.get()),
                 static_cast<QWidget*>(&w.preview), static_cast<QWidget*>(&state) }) {
            for (QWidget* control : window->findChildren<QWidget*>()) {
                if (control->focusPolicy() == Qt::NoFocus || !control->isVisibleTo(window)
                    || qobject_cast<QScrollBar*>(control) != nullptr
                    || control->parentWidget()->inherits("QAbstractScrollArea"))
                    continue;
                QAccessibleInterface* described = QAccessible::queryAccessibleInterface(control);
                ASSERT_NE(described, nullptr);
                EXPECT_FALSE(described->text(QAccessible::Name).isEmpty())
                    << control->metaObject()->className() << " "
                    << control->objectName().toStdString() << " in "
                    << control->parentWidget()->objectName().toStdString();
            }
        }
    }

    // The two windows beside the main one, as real screens have room for them:
    // on the screen, over neither the main window nor each other.
    // A printer in time in the window: the roll runs out, the Printer State
    // window says so live, and Load Paper prints the rest; the boxes still
    // set what the printer reports.
    TEST(PrinterStateWindow, ShowsThePrintingAndLoadsPaper)
    {
        Window w;
        PrinterInTime printer({ .rollMetres = 0.05, .nearEndMetres = 0.01 },
            receipt::GenericProfile(), {}, w.session.printerState());
        printer.stateChanged = [&](const PrinterState& state) { w.session.setPrinterState(state); };
        PacedSession paced(w.session, printer);
        PrinterStateWindow window(w.session, {});
        window.stateChosen = [&](const PrinterState& state) { printer.setState(state); };
        window.showPrinting([&] { return QString::fromStdString(DescribePrinting(printer)); },
            [&] { printer.loadPaper(); });
        window.show();
        w.session.UpdateData(Bytes({ ESC, 'J', 200, ESC, 'J', 200 }) + "end\n",
            &w.form->serialSource()); // 50 mm, then a line: its LF waits
        EXPECT_TRUE(w.session.printerState().paperOut);
        ASSERT_TRUE(WaitUntil([&] {
            return window.printingLabel->text().contains(QStringLiteral("the roll ran out"));
        }));
        EXPECT_TRUE(window.printingLabel->text().startsWith(
            QStringLiteral("0.00 m of paper left, 1 bytes waiting")))
            << window.printingLabel->text().toStdString();
        QTest::mouseClick(window.loadPaperButton, Qt::LeftButton);
        EXPECT_FALSE(w.session.printerState().paperOut);
        EXPECT_EQ(printer.pace().waiting(), 0);
        window.stateBoxes[1]->setChecked(true); // cover open
        EXPECT_TRUE(w.session.printerState().coverOpen);
    }

    // What a printer in time has not printed yet is greyed in the list, from the
    // first command not wholly printed on, and follows the printing.
    TEST(ReceiptPreview, GreysWhatStillWaitsInThePrintersBuffer)
    {
        PreviewWindow w;
        long long printed = 0;
        w.preview.followPrinting([&printed] { return printed; });
        w.preview.show();
        w.session.UpdateData("before\n");
        w.form->cmdClearReceivedData_Click(); // the counts go on past a Clear All
        w.session.UpdateData("one\ntwo\n");
        w.preview.refresh();
        const auto greyed = [&] {
            QString marks;
            for (int i = 0; i < w.preview.commandList->count(); ++i)
                marks
                    += w.preview.commandList->item(i)->foreground().color() == QColor(130, 130, 130)
                    ? 'w'
                    : 'p';
            return marks.toStdString();
        };
        EXPECT_EQ(greyed(), "wwww");
        printed = 7 + 4; // "before\n" and "one\n"
        EXPECT_TRUE(WaitUntil([&] { return greyed() == "ppww"; })) << greyed();
        printed = 7 + 8;
        EXPECT_TRUE(WaitUntil([&] { return greyed() == "pppp"; })) << greyed();
        // More comes while printing goes on: the list is drawn again, and what
        // printed meanwhile is not left grey.
        w.session.UpdateData("three\n");
        w.preview.refresh();
        EXPECT_TRUE(WaitUntil([&] { return greyed() == "ppppww"; })) << greyed();
        printed = 7 + 14;
        w.session.UpdateData("four\n");
        w.preview.refresh();
        EXPECT_TRUE(WaitUntil([&] { return greyed() == "ppppppww"; })) << greyed();
    }

    TEST(WindowPlacement, BesideTheMainWindowOnTheScreenAndNeverOverAnother)
    {
        const QSize main(726, 592), preview(1180, 760), state(211, 306);
        for (const QSize screen :
            { QSize(1280, 800), QSize(1920, 1080), QSize(1024, 768), QSize(800, 600) }) {
            SCOPED_TRACE(screen.width());
            const QRect area(QPoint(0, 0), screen), mainFrame(QPoint(0, 0), main.boundedTo(screen));
            const PlacesBesideMain places = PlaceBesideMain(mainFrame, area, preview, state);
            for (const QRect& place : { places.preview, places.printerState }) {
                EXPECT_TRUE(area.contains(place))
                    << place.x() << "," << place.y() << " " << place.width();
                EXPECT_FALSE(place.intersects(mainFrame));
            }
            EXPECT_FALSE(places.preview.intersects(places.printerState));
        }
        const QList<QRect> screens { QRect(0, 0, 1280, 800) };
        const QRect mainFrame(0, 0, 726, 592);
        EXPECT_TRUE(MayComeBackAt(QRect(734, 0, 500, 400), screens, mainFrame));
        EXPECT_FALSE(MayComeBackAt(QRect(0, 20, 1180, 760), screens, mainFrame))
            << "over the main window";
        EXPECT_FALSE(MayComeBackAt(QRect(2000, 0, 300, 300), screens, mainFrame)) << "on no screen";
    }

    TEST(ReceiptPreview, RemembersItsSizeZoomPrinterAndPaper)
    {
        TestFolder dir("ostrel-settings-");
        QSettings settings(
            QString::fromStdString((dir.path() / "kept.ini").string()), QSettings::IniFormat);
        {
            PreviewWindow w;
            w.preview.showBeside(nullptr); // a window never shown keeps no place
            w.preview.resize(640, 480);
            w.preview.setZoom(150);
            w.preview.printerChoice->setCurrentIndex(w.preview.printerChoice->findData("hp-a779"));
            EXPECT_EQ(w.preview.printer().paperWidth(), 528); // the model's print width
            w.preview.setPaperWidth(receipt::kPaperWidth58);
            w.preview.saveSettings(settings);
        }
        PreviewWindow again;
        std::string chosen;
        again.preview.printerChosen
            = [&](const receipt::PrinterProfile& model) { chosen = model.id; };
        again.preview.restoreSettings(settings);
        EXPECT_EQ(again.preview.size(), QSize(640, 480));
        EXPECT_EQ(again.preview.zoomChoice->currentData().toInt(), 150);
        EXPECT_EQ(again.preview.printer().paperWidth(), receipt::kPaperWidth58);
        EXPECT_EQ(again.preview.printer().profile().id, "hp-a779");
        EXPECT_EQ(chosen, "hp-a779");
    }

    // A zoom the user chose comes back; without one the preview fits the
    // paper's width. The older key held 100% whether chosen or not.
    TEST(ReceiptPreview, OpensAtTheZoomChosenElseFitsThePapersWidth)
    {
        constexpr int kFit = ReceiptPreview::kFitWidth;
        const struct {
            const char* kept;
            int zoom;
        } rows[] = {
            { "", kFit }, { "zoom=150", 150 }, { "zoom=0", kFit },
            { "zoom=100\nzoomPercent=75", 100 }, { "zoomPercent=100", kFit },
            { "zoomPercent=75", 75 }, { "zoom=42", kFit }, // not offered
        };
        for (const auto& row : rows) {
            SCOPED_TRACE(row.kept);
            TestFolder dir("ostrel-zoom-");
            WriteFile(dir.path() / "kept.ini", std::string("[preview]\n") + row.kept + "\n");
            QSettings settings(
                QString::fromStdString((dir.path() / "kept.ini").string()), QSettings::IniFormat);
            PreviewWindow w;
            w.preview.restoreSettings(settings);
            EXPECT_EQ(w.preview.zoomChoice->currentData().toInt(), row.zoom);
            w.preview.saveSettings(settings);
            EXPECT_EQ(settings.value("preview/zoom").toInt(), row.zoom);
            EXPECT_FALSE(settings.contains("preview/zoomPercent"));
        }
    }

    // As beside the main window on a 1280 x 800 screen: the whole width of the
    // paper in view, dot for dot at most, and a zoom chosen stays as it is.
    TEST(ReceiptPreview, FitsThePapersWidthAsTheViewChanges)
    {
        PreviewWindow w;
        w.session.UpdateData(kJob);
        w.preview.resize(546, 486);
        w.preview.show();
        w.preview.refresh();
        const QWidget* view = w.preview.findChild<QScrollArea*>("paperScroll")->viewport();
        const auto fits = [&](int dots) {
            QCoreApplication::processEvents();
            return w.preview.shownZoom() * dots / 100 <= view->width()
                && w.preview.shownZoom() < 100;
        };
        EXPECT_TRUE(fits(576)) << w.preview.shownZoom() << "% in " << view->width();
        const int zoom80 = w.preview.shownZoom();
        EXPECT_GE(zoom80, 50);
        w.preview.paperChoice->setCurrentIndex(1);
        EXPECT_TRUE(fits(384));
        EXPECT_GT(w.preview.shownZoom(), zoom80);
        w.preview.resize(1600, 700);
        QCoreApplication::processEvents();
        EXPECT_EQ(w.preview.shownZoom(), 100) << "no larger than dot for dot";
        w.preview.zoomChoice->setCurrentIndex(w.preview.zoomChoice->findData(75));
        w.preview.resize(546, 486);
        QCoreApplication::processEvents();
        EXPECT_EQ(w.preview.shownZoom(), 75);
    }

    TEST(ReceiptPreview, FollowsTheCaptureLiveAndShowsTheNewestReceipt)
    {
        PreviewWindow w;
        w.preview.show();
        w.session.UpdateData(kJob);
        ASSERT_TRUE(WaitUntil([&] {
            return w.preview.printer().summary().bytes == static_cast<long long>(kJob.size())
                && w.preview.commandList->count() > 0;
        }));
        EXPECT_EQ(w.preview.shownReceipt(), 1);
        EXPECT_EQ(w.preview.receiptLabel->text(), "Receipt 2 of 2");
        EXPECT_EQ(w.preview.paperImage().width(), 576);
        const auto& commands = w.preview.printer().receipts()[1].commands;
        ASSERT_EQ(w.preview.commandList->count(), static_cast<int>(commands.size()));
        EXPECT_EQ(w.preview.commandList->item(1)->text().toStdString(), "ESC E 1  Bold on");
        w.preview.showReceipt(0);
        EXPECT_EQ(w.preview.receiptLabel->text(), "Receipt 1 of 2");
        EXPECT_FALSE(w.preview.previousButton->isEnabled());
    }

    TEST(ReceiptPreview, ACommandShowsItsPlaceAndThePaperSelectsItsCommand)
    {
        PreviewWindow w;
        w.session.UpdateData(kJob);
        w.preview.show();
        w.preview.refresh();
        const int barcode = w.commandIndex("Barcode CODE128");
        ASSERT_GE(barcode, 0);
        w.preview.commandList->setCurrentRow(barcode);
        EXPECT_EQ(w.preview.selectedCommand(), barcode);
        const QRect place = w.preview.markedPlace();
        ASSERT_FALSE(place.isNull());
        EXPECT_EQ(w.preview.commandAt(place.center().x(), place.center().y()), barcode);

        // Clicking the paper on the bold text selects the text command that drew it.
        const int text = w.commandIndex("\" line\"");
        ASSERT_GE(text, 0);
        w.preview.selectCommand(text);
        const QPoint onText = w.preview.markedPlace().center();
        w.preview.selectCommand(barcode);
        auto* paper = w.preview.findChild<QWidget*>("paperView");
        ASSERT_NE(paper, nullptr);
        QTest::mouseClick(paper, Qt::LeftButton, {}, onText);
        EXPECT_EQ(w.preview.selectedCommand(), text);
        EXPECT_EQ(w.preview.commandList->currentRow(), text);
    }

    // A forwarded job's answers are listed beside the requests that asked for
    // them, wherever the capture was cleared or read again since.
    TEST(ReceiptPreview, APrintersAnswerIsListedBesideItsRequest)
    {
        PreviewWindow w;
        w.preview.show();
        w.session.UpdateData("before the clear\n");
        w.preview.refresh();
        w.form->cmdClearReceivedData_Click();
        ByteSource& serial = w.form->serialSource();
        w.session.UpdateData("ab\n", &serial);
        w.session.UpdateData(Bytes({ DLE, 0x04, 4 }) + "x\n", &serial);
        w.preview.refresh();
        w.preview.showPrinterAnswer(
            serial, 6, QStringLiteral("DLE EOT 4: 72 after 1.5 ms, paper out"));
        w.preview.setPaperWidth(receipt::kPaperWidth58);
        w.preview.refresh();
        QStringList answered;
        for (int i = 0; i < w.preview.commandList->count(); ++i)
            if (w.preview.commandList->item(i)->text().contains(QStringLiteral("answered")))
                answered << w.preview.commandList->item(i)->text();
        ASSERT_EQ(answered.size(), 1) << answered.join('|').toStdString();
        EXPECT_TRUE(answered[0].startsWith(
            QStringLiteral("DLE EOT 4  [the printer answered 72 after 1.5 ms, paper out]  ")))
            << answered[0].toStdString();
    }

    TEST(ReceiptPreview, ClearAllClearsThePreviewToo)
    {
        PreviewWindow w;
        w.session.UpdateData(kJob);
        w.preview.show();
        w.preview.refresh();
        w.form->cmdClearReceivedData_Click();
        w.preview.refresh();
        ASSERT_EQ(w.preview.printer().receipts().size(), 1u);
        EXPECT_TRUE(w.preview.printer().receipts()[0].commands.empty());
        EXPECT_EQ(w.preview.commandList->count(), 0);
        EXPECT_EQ(w.preview.receiptLabel->text(), "Nothing printed yet");
    }

    TEST(ReceiptPreview, PaperWidthAndZoomRedrawWhatWasCaptured)
    {
        PreviewWindow w;
        w.session.UpdateData(kJob);
        w.preview.show();
        w.preview.refresh();
        const int height80 = w.preview.paperImage().height();
        w.preview.paperChoice->setCurrentIndex(1);
        EXPECT_EQ(w.preview.printer().paperWidth(), 384);
        EXPECT_EQ(w.preview.paperImage().width(), 384);
        EXPECT_GT(w.preview.paperImage().height(), height80); // the long line wraps once more
        w.preview.setZoom(200);
        EXPECT_EQ(w.preview.findChild<QWidget*>("paperView")->height(),
            2 * w.preview.paperSize().height());
    }

    TEST(ReceiptPreview, SavesPngAndPdfAndNamesAFailure)
    {
        PreviewWindow w;
        w.session.UpdateData(kJob);
        TestFolder folder { "ostrel-preview-save-" };
        QString error;
        const QString png = QString::fromStdString((folder.path() / "r.png").string());
        ASSERT_TRUE(w.preview.saveTo(png, error)) << error.toStdString();
        EXPECT_FALSE(QImage(png).isNull());
        const QString pdf = QString::fromStdString((folder.path() / "r.pdf").string());
        ASSERT_TRUE(w.preview.saveTo(pdf, error));
        EXPECT_EQ(ReadFile(pdf.toStdString()).rfind("%PDF", 0), 0u);
        EXPECT_FALSE(w.preview.saveTo(
            QString::fromStdString((folder.path() / "none" / "r.png").string()), error));
        EXPECT_FALSE(error.isEmpty());

        MessageCloser closer;
        w.preview.askFileName
            = [&] { return QString::fromStdString((folder.path() / "none" / "x.png").string()); };
        w.preview.saveButton->click();
        ASSERT_EQ(closer.seen.size(), 1u);
        EXPECT_TRUE(closer.seen[0].whole().contains("x.png"));
    }

} // namespace
} // namespace ostrel::test

namespace ostrel::test {
namespace {

    // Closed, the preview only keeps the bytes; it reads them when it opens.
    TEST(ReceiptPreview, ReadsNothingWhileClosedAndEverythingWhenOpened)
    {
        PreviewWindow w;
        w.session.UpdateData(kJob);
        QTest::qWait(50);
        EXPECT_EQ(w.preview.printer().summary().bytes, 0);
        w.preview.showBeside(w.form.get());
        EXPECT_EQ(w.preview.printer().summary().bytes, static_cast<long long>(kJob.size()));
        EXPECT_EQ(w.preview.receiptLabel->text(), "Receipt 2 of 2");
    }

} // namespace
} // namespace ostrel::test

namespace ostrel::test {
namespace {

    // A long capture while closed keeps a bounded part for the preview, and says so.
    TEST(ReceiptPreview, KeepsABoundedPartOfALongCaptureWhileClosed)
    {
        PreviewWindow w;
        const std::string megabyte = [] {
            std::string lines;
            while (lines.size() < (1u << 20))
                lines += "a line of a long capture\n";
            return lines;
        }();
        for (int i = 0; i < 20; ++i)
            w.session.UpdateData(megabyte);
        EXPECT_EQ(w.preview.printer().summary().bytes, 0);
        w.preview.showBeside(w.form.get());
        EXPECT_GT(w.preview.printer().summary().bytes, 4LL << 20);
        EXPECT_LE(w.preview.printer().summary().bytes, 16LL << 20);
        EXPECT_TRUE(w.preview.noteLabel->text().contains("newest"))
            << w.preview.noteLabel->text().toStdString();
    }

} // namespace
} // namespace ostrel::test
