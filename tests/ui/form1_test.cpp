// The window: its controls and start-up state, Clear All and Exit, and the
// capture as the three lists and two labels show it.

#include "tests/capture/capture_fixture.h"
#include "tests/ui/window_test_support.h"
#include "ui/window_style.h"

#include <QApplication>
#include <QFontInfo>
#include <QSignalSpy>
#include <QTest>

#include <QClipboard>
#include <QGuiApplication>

#include <gtest/gtest.h>

namespace ostrel::test {
namespace {

    using Strings = std::vector<std::string>;

    struct ControlRow {
        const char* name;
        const char* container;
        QRect geometry;
        const char* text; // caption, or nullptr for none
        int tab; // place in the keyboard order; labels and groups hold one too
    };

    // The window's layout: name, container, Left/Top/Width/Height, caption, and
    // place in the keyboard order.
    const ControlRow kControls[] = {
        { "frameSerialCommands", "Form1", { 208, 8, 289, 89 }, "Serial Port Settings", 0 },
        { "Label2", "frameSerialCommands", { 96, 16, 73, 17 }, "Serial Port", 4 },
        { "chkEnableSerialPort", "frameSerialCommands", { 16, 24, 81, 33 }, "Open Serial Port", 3 },
        { "comboSerialPort", "frameSerialCommands", { 104, 32, 41, 21 }, nullptr, 2 },
        { "ComboSerialBaudRate", "frameSerialCommands", { 152, 32, 113, 21 }, nullptr, 1 },
        { "chkHWhandshake", "frameSerialCommands", { 152, 56, 97, 17 }, "HW Handshake", 10 },
        { "cmdClearReceivedData", "Form1", { 504, 16, 81, 33 }, "Clear All", 6 },
        { "cmdSaveCommands", "Form1", { 504, 56, 81, 33 }, "Save Capture", 11 },
        { "Label1", "Form1", { 8, 104, 705, 17 }, "Commands Received", 12 },
        { "listCommands", "Form1", { 8, 120, 705, 199 }, nullptr, 5 },
        { "Label3", "Form1", { 32, 328, 353, 17 }, "Data Received", 8 },
        { "Label5", "Form1", { 32, 344, 217, 17 }, "HEX", 14 },
        { "Label4", "Form1", { 256, 344, 129, 17 }, "ASCII", 13 },
        { "listDataReceivedHEX", "Form1", { 32, 360, 217, 173 }, nullptr, 9 },
        { "listDataReceived", "Form1", { 256, 360, 129, 173 }, nullptr, 7 },
        { "Frame1", "Form1", { 416, 328, 297, 209 }, "Status Bits", 16 },
        { "chkEnableStatusBack", "Frame1", { 96, 16, 137, 17 }, "Enable Status Return", 35 },
        { "Label6", "Frame1", { 8, 48, 113, 17 }, "Byte 1", 25 },
        { "Label7", "Frame1", { 136, 48, 121, 17 }, "Byte 2", 27 },
        { "chkStatusBits_0", "Frame1", { 8, 72, 81, 17 }, "Delivery Jam", 17 },
        { "chkStatusBits_1", "Frame1", { 8, 88, 113, 17 }, "Receipt Dropped", 18 },
        { "chkStatusBits_2", "Frame1", { 8, 104, 105, 17 }, "Receipt Taken", 19 },
        { "chkStatusBits_3", "Frame1", { 8, 120, 81, 17 }, "Receipt Jam", 20 },
        { "chkStatusBits_4", "Frame1", { 8, 136, 81, 17 }, "Printer Busy", 21 },
        { "chkStatusBits_5", "Frame1", { 8, 152, 81, 17 }, "Cutter Error", 22 },
        { "chkStatusBits_6", "Frame1", { 8, 168, 81, 17 }, "Spare", 23 },
        { "chkStatusBits_7", "Frame1", { 8, 184, 81, 17 }, "Spare", 24 },
        { "chkStatusBits2_0", "Frame1", { 144, 72, 129, 17 }, "Head Up", 26 },
        { "chkStatusBits2_1", "Frame1", { 144, 88, 129, 17 }, "Paper Out", 28 },
        { "chkStatusBits2_2", "Frame1", { 144, 104, 129, 17 }, "Paper at Delivery", 29 },
        { "chkStatusBits2_3", "Frame1", { 144, 120, 129, 17 }, "Cutter Home", 30 },
        { "chkStatusBits2_4", "Frame1", { 144, 136, 129, 17 }, "Paper Low", 31 },
        { "chkStatusBits2_5", "Frame1", { 144, 152, 129, 17 }, "Spare", 32 },
        { "chkStatusBits2_6", "Frame1", { 144, 168, 145, 17 }, "Print Head Temperature", 33 },
        { "chkStatusBits2_7", "Frame1", { 144, 184, 129, 17 }, "Spare", 34 },
        { "lblByteCount", "Form1", { 8, 544, 169, 17 }, "Bytes Received = 0", 36 },
        { "lblCmdCount", "Form1", { 8, 560, 169, 17 }, "Command Count = 0", 37 },
        { "cmdExit", "Form1", { 632, 552, 81, 33 }, "Exit", 15 },
    };

    QString Caption(QWidget* widget)
    {
        if (auto* button = qobject_cast<QAbstractButton*>(widget))
            return button->text();
        if (auto* label = qobject_cast<QLabel*>(widget))
            return label->text();
        if (auto* group = qobject_cast<QGroupBox*>(widget))
            return group->title();
        return {};
    }

    TEST(Window, EveryControlWhereAndAsTheLayoutSays)
    {
        Window w;
        EXPECT_EQ(w.form->windowTitle(), "Ostrel Serial Print Command Capture");
        EXPECT_EQ(w.form->size(), QSize(726, 592));
        EXPECT_FALSE(w.form->windowIcon().isNull());
        EXPECT_EQ(w.form->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly).size()
                + w.form->frameSerialCommands
                      ->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)
                      .size()
                + w.form->Frame1->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)
                      .size(),
            std::size(kControls));
        for (const ControlRow& row : kControls) {
            SCOPED_TRACE(row.name);
            auto* widget = w.form->findChild<QWidget*>(QString::fromLatin1(row.name));
            ASSERT_NE(widget, nullptr);
            EXPECT_EQ(widget->parentWidget()->objectName(), row.container);
            EXPECT_EQ(widget->geometry(), row.geometry);
            if (row.text != nullptr) {
                EXPECT_EQ(Caption(widget), row.text);
            }
            EXPECT_TRUE(widget->isEnabled());
        }
    }

    TEST(Window, KeyboardOrderAndFirstFocus)
    {
        Window w;
        Form1& f = *w.form;
        // The controls that take the focus, in the order of their places.
        std::vector<const ControlRow*> rows;
        for (const ControlRow& row : kControls)
            rows.push_back(&row);
        std::sort(rows.begin(), rows.end(), [](auto* a, auto* b) { return a->tab < b->tab; });
        std::vector<QWidget*> expected;
        for (const ControlRow* row : rows) {
            auto* widget = f.findChild<QWidget*>(QString::fromLatin1(row->name));
            if (qobject_cast<QLabel*>(widget) != nullptr
                || qobject_cast<QGroupBox*>(widget) != nullptr)
                EXPECT_EQ(widget->focusPolicy(), Qt::NoFocus) << row->name;
            else
                expected.push_back(widget);
        }
        ASSERT_EQ(expected.size(), 27u);

        f.show();
        QApplication::setActiveWindow(&f);
        QApplication::processEvents();
        // The first stop holds the focus when the window opens; Tab walks the rest.
        for (std::size_t i = 0; i < expected.size(); ++i) {
            QWidget* focus = QApplication::focusWidget();
            ASSERT_NE(focus, nullptr);
            EXPECT_TRUE(focus == expected[i] || expected[i]->isAncestorOf(focus))
                << "stop " << i << " is " << focus->objectName().toStdString() << ", not "
                << expected[i]->objectName().toStdString();
            QTest::keyClick(focus, Qt::Key_Tab);
        }
        EXPECT_TRUE(QApplication::focusWidget() == expected[0]
            || expected[0]->isAncestorOf(QApplication::focusWidget()))
            << "and round again";
    }

    TEST(Window, StartUpState)
    {
        Window w;
        Form1& f = *w.form;
        Strings entries;
        for (int i = 0; i < f.ComboSerialBaudRate->count(); ++i)
            entries.push_back(f.ComboSerialBaudRate->itemText(i).toStdString());
        EXPECT_EQ(entries,
            (Strings { "600, N, 8, 1", "2400, N, 8, 1", "4800, N, 8, 1", "9600, N, 8, 1",
                "19200, N, 8, 1", "38400, N, 8, 1", "56000, N, 8, 1", "128000, N, 8, 1",
                "460800, N, 8, 1", "115200, N, 7, 2", "115200, N, 8, 1" }));
        EXPECT_EQ(f.ComboSerialBaudRate->currentText(), "115200, N, 8, 1");
        EXPECT_TRUE(f.ComboSerialBaudRate->isEditable());
        EXPECT_EQ(f.comboSerialPort->currentText(), "1");
        EXPECT_EQ(f.comboSerialPort->count(), 8);
        EXPECT_EQ(f.comboSerialPort->itemText(7), "8");
        EXPECT_TRUE(f.comboSerialPort->isEditable());
        EXPECT_TRUE(f.chkEnableSerialPort->isCheckable());
        EXPECT_FALSE(f.chkEnableSerialPort->isChecked());
        EXPECT_FALSE(f.chkHWhandshake->isChecked());
        EXPECT_TRUE(f.chkEnableStatusBack->isChecked());
        for (int i = 0; i < 8; ++i) {
            EXPECT_FALSE(f.chkStatusBits[i]->isChecked()) << i;
            EXPECT_EQ(f.chkStatusBits2[i]->isChecked(), i == 3) << i;
        }
        for (LineListBox* list : { f.listCommands, f.listDataReceived, f.listDataReceivedHEX }) {
            EXPECT_EQ(list->lines().lineCount(), 0);
            EXPECT_EQ(SelectedRow(list), -1);
            EXPECT_TRUE(QFontInfo(list->font()).fixedPitch()) << list->objectName().toStdString();
            EXPECT_DOUBLE_EQ(list->font().pointSizeF(), 9.75);
        }
        for (QLabel* title : { f.Label1, f.Label3, f.Label4, f.Label5 }) {
            EXPECT_TRUE(title->font().bold());
            EXPECT_DOUBLE_EQ(title->font().pointSizeF(), 8.25);
        }
        EXPECT_FALSE(f.Label2->font().bold());
        EXPECT_DOUBLE_EQ(f.font().pointSizeF(), 8.25);
        // The serial control got its defaults, and was not opened.
        EXPECT_EQ(w.comm.calls, (Strings { "CommPort=1", "Settings=19200,N,8,1" }));
    }

    const std::string kEscInit = Described("1B 40", "ESC: Initialize.");
    const std::string kLf = Described("0A", "LF.");

    TEST(Window, WorkedExampleShownInTheListsAndLabels)
    {
        Window w;
        Form1& f = *w.form;
        w.comm.receive(Bytes("1B 40 41"));
        w.comm.receive(Bytes("42 0A"));
        EXPECT_EQ(ListTexts(f.listCommands), (Strings { kEscInit, " 41 42", kLf, " " }));
        EXPECT_EQ(ListTexts(f.listDataReceivedHEX), Strings { "1B 40 41 42 0A" });
        const std::string esc
            = HasControlPictures(f.listDataReceived->font()) ? "\u241B" : "\u25AB";
        const std::string lf = HasControlPictures(f.listDataReceived->font()) ? "\u240A" : "\u25AB";
        EXPECT_EQ(ListTexts(f.listDataReceived), Strings { esc + "@AB" + lf });
        EXPECT_EQ(f.lblByteCount->text(), "Bytes Received = 5");
        EXPECT_EQ(f.lblCmdCount->text(), "Command Count = 2");
        EXPECT_EQ(SelectedRow(f.listCommands), 3);
        EXPECT_EQ(SelectedRow(f.listDataReceived), 0);
        EXPECT_EQ(SelectedRow(f.listDataReceivedHEX), 0);
        // The engine keeps one character per byte; only the drawing differs.
        EXPECT_EQ(f.engine().views().listDataReceived.line(0), Bytes("1B 40 41 42 0A"));
    }

    TEST(Window, EveryByteValueIsDrawnVisibly)
    {
        Window w;
        std::string all;
        for (int b = 0; b < 256; ++b)
            all += static_cast<char>(b);
        w.form->UpdateData(all);
        const Strings rows = ListTexts(w.form->listDataReceived);
        ASSERT_EQ(rows.size(), 32u);
        for (int row = 0; row < 32; ++row) {
            const QString text = w.form->listDataReceived->displayText(row);
            ASSERT_EQ(text.size(), 8) << "one character per byte";
            for (int i = 0; i < 8; ++i) {
                const QChar c = text[i];
                EXPECT_TRUE(c.isPrint()) << "byte " << row * 8 + i;
            }
        }
    }

    TEST(Window, ClearAllOnEmptyAndFullLists)
    {
        Window w;
        Form1& f = *w.form;
        f.cmdClearReceivedData->click();
        EXPECT_EQ(f.listCommands->lines().lineCount(), 0);
        EXPECT_EQ(f.lblByteCount->text(), "Bytes Received = 0");
        EXPECT_EQ(f.engine().state().captureIndex, 1);

        w.comm.receive(std::string(20000, 'A'));
        ASSERT_EQ(f.listDataReceived->lines().lineCount(), 1000);
        f.cmdClearReceivedData->click();
        for (LineListBox* list : { f.listCommands, f.listDataReceived, f.listDataReceivedHEX }) {
            EXPECT_EQ(list->lines().lineCount(), 0);
            EXPECT_EQ(SelectedRow(list), -1);
        }
        EXPECT_EQ(f.lblByteCount->text(), "Bytes Received = 9999") << "kept until the next byte";
        w.comm.receive("B");
        EXPECT_EQ(f.lblByteCount->text(), "Bytes Received = 1");
        EXPECT_EQ(ListTexts(f.listDataReceived), Strings { "B" });
    }

    TEST(Window, ClearAllMidRowAndMidCommandCarriesTheFramingOn)
    {
        Window w;
        Form1& f = *w.form;
        w.comm.receive(Bytes("41 42 1B 21")); // a parameter byte is pending, row at column 4
        f.cmdClearReceivedData->click();
        EXPECT_EQ(f.lblCmdCount->text(), "Command Count = 1");
        w.comm.receive(Bytes("0A 43 44 45 0A"));
        // The first LF is ESC "!"'s parameter; the rest of the row goes on, on a
        // fresh line in each list, and the second LF is a command again.
        EXPECT_EQ(ListTexts(f.listDataReceivedHEX), (Strings { "0A 43 44 45", "0A" }));
        EXPECT_EQ(ListTexts(f.listCommands), (Strings { " 0A", " 43 44 45", kLf, " " }));
        EXPECT_EQ(f.lblCmdCount->text(), "Command Count = 2");
        EXPECT_EQ(f.lblByteCount->text(), "Bytes Received = 5");
    }

    TEST(Window, UsersSelectionTakesTheRestOfTheRow)
    {
        Window w;
        Form1& f = *w.form;
        w.comm.receive("ABCDEFGHIJ");
        f.show();
        QTest::mouseClick(f.listDataReceived->viewport(), Qt::LeftButton, {},
            QPoint(10, f.listDataReceived->rowHeight() / 2));
        ASSERT_EQ(SelectedRow(f.listDataReceived), 0);
        w.comm.receive("K");
        EXPECT_EQ(ListTexts(f.listDataReceived), (Strings { "ABCDEFGHK", "IJ" }));
        EXPECT_EQ(SelectedRow(f.listDataReceived), 0) << "the engine's current line stays shown";
        EXPECT_EQ(
            ListTexts(f.listDataReceivedHEX), (Strings { "41 42 43 44 45 46 47 48", "49 4A 4B" }));
        QTest::keySequence(f.listDataReceived, QKeySequence::Copy);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), "ABCDEFGHK") << "the chosen line, as drawn";
    }

    TEST(Window, The1001stLineDropsLineOneAndStaysInView)
    {
        Window w;
        Form1& f = *w.form;
        f.show();
        std::string rows;
        for (int i = 0; i < 1000; ++i)
            rows += "row" + std::to_string(1000 + i).substr(1) + "..";
        w.comm.receive(rows);
        w.comm.receive("last");
        const Strings texts = ListTexts(f.listDataReceived);
        ASSERT_EQ(texts.size(), 1000u);
        EXPECT_EQ(texts[0], "row000..");
        EXPECT_EQ(texts[1], "row002..");
        EXPECT_EQ(texts[999], "last");
        EXPECT_EQ(SelectedRow(f.listDataReceived), 999);
        EXPECT_TRUE(RowInView(f.listDataReceived, 999)) << "kept in view";
        EXPECT_FALSE(RowInView(f.listDataReceived, 0));
    }

    TEST(Window, ExitEndsTheProgramWithoutClosingThePort)
    {
        Window w;
        int ended = 0;
        w.form->endProgram = [&] { ++ended; };
        w.comm.calls.clear();
        w.form->cmdExit->click();
        EXPECT_EQ(ended, 1);
        EXPECT_TRUE(w.comm.calls.empty());
    }

    TEST(Window, StatusBoxesAreReadWhenTheRequestArrives)
    {
        Window w;
        Form1& f = *w.form;
        w.comm.receive(Bytes("10 52"));
        f.chkStatusBits[0]->setChecked(true);
        f.chkStatusBits2[6]->setChecked(true);
        w.comm.receive(Bytes("10 52"));
        f.chkEnableStatusBack->setChecked(false);
        w.comm.receive(Bytes("10 52"));
        EXPECT_EQ(w.comm.sent, (Strings { Bytes("10 52 00 08"), Bytes("10 52 01 48") }));
    }

} // namespace
} // namespace ostrel::test
