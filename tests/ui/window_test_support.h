#pragma once

#include "files/common_dialog.h"
#include "serial/serial_control.h"
#include "ui/form1.h"

#include <QMessageBox>
#include <QTimer>

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace ostrel::test {

// Stands in for MSComm1: records every write in order, fails the one it is
// told to, and lets the test raise events.
class FakeSerialControl : public SerialControl {
public:
    void setCommPort(std::int16_t port) override { record("CommPort=" + std::to_string(port)); }
    void setSettings(const std::string& s) override { record("Settings=" + s); }
    void setRTSEnable(bool on) override { record(std::string("RTSEnable=") + (on ? "1" : "0")); }
    void setDTREnable(bool on) override { record(std::string("DTREnable=") + (on ? "1" : "0")); }
    void setHandshaking(int h) override { record("Handshaking=" + std::to_string(h)); }
    void setPortOpen(bool open) override
    {
        record(std::string("PortOpen=") + (open ? "1" : "0"));
        open_ = open;
    }
    bool PortOpen() const override { return open_; }
    std::int16_t CommEvent() const override { return event; }
    std::string Input() override { return std::exchange(pending, {}); }
    void Output(std::string_view bytes) override { sent.emplace_back(bytes); }

    // Raises the receive event, then (when set) lets the window draw.
    void receive(const std::string& bytes)
    {
        pending += bytes;
        event = comEvReceive;
        OnComm();
        if (afterReceive)
            afterReceive();
    }
    std::function<void()> afterReceive;

    std::vector<std::string> calls;
    std::string failOn; // a call such as "PortOpen=1" that throws
    std::string failure = "Port is in use";
    std::vector<std::string> sent;
    std::string pending;
    std::int16_t event = 0;

private:
    void record(const std::string& call)
    {
        calls.push_back(call);
        if (call == failOn)
            throw SerialError(failure);
    }
    bool open_ = false;
};

// Stands in for CommonDialog1: answers each ShowSave with the next name.
class FakeDialog : public CommonDialog {
public:
    void setDialogTitle(const std::string& t) override { title = t; }
    void setFilter(const std::string& f) override { filter = f; }
    void ShowSave() override
    {
        ++shown;
        if (duringShow)
            duringShow();
        name = answers.empty() ? std::string() : answers.front();
        if (!answers.empty())
            answers.pop_front();
    }
    std::string FileName() const override { return name; }

    std::string title, filter, name;
    std::deque<std::string> answers;
    std::function<void()> duringShow;
    int shown = 0;
};

// A message box the window showed, as the user saw it.
struct SeenMessage {
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon;
    QString detailedText;
    QRect frame; // where the box stood on the screen
    // The message itself: a box too wide for the screen shows it wrapped or
    // shortened, and keeps it whole under "Show Details...".
    QString whole() const { return detailedText.isEmpty() ? text : detailedText; }
};

// Closes every message box the window opens, as a user pressing its first
// button would, and remembers what it said. `whileOpen` runs with the box open.
class MessageCloser {
public:
    MessageCloser();
    ~MessageCloser();
    std::vector<SeenMessage> seen;
    std::function<void()> whileOpen;

private:
    QTimer timer_;
};

// A window with stand-ins, ready for a test. What the port receives is drawn
// at once, instead of at the next screen refresh.
struct Window {
    Window()
    {
        comm.afterReceive = [this] { form->showCapture(); };
    }
    CaptureSession session;
    FakeSerialControl comm;
    FakeDialog dialog;
    std::unique_ptr<Form1> form = std::make_unique<Form1>(session, comm, dialog);
};

// The lines of a list box as it draws them, its current line, and whether a
// row is within its viewport.
std::vector<std::string> ListTexts(const LineListBox* list);
int SelectedRow(const LineListBox* list);
bool RowInView(const LineListBox* list, int row);

} // namespace ostrel::test
