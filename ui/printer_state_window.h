#pragma once

#include "printer/printer_state.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

class QSettings;

namespace ostrel {

class CaptureSession;

// The printer's sensors and switches, set by hand to try a driver's error
// handling: each box changes the state the real-time replies carry, and
// peers that asked for automatic status hear of it at once.
class PrinterStateWindow : public QWidget {
    Q_OBJECT
public:
    // `serialRealTime` turns the real-time replies on the serial port on or
    // off; network peers always get them.
    PrinterStateWindow(CaptureSession& session, std::function<void(bool)> serialRealTime,
        QWidget* parent = nullptr);

    // Brings the window up beside the main window, never over it or `other`
    // (the Receipt Preview), or where it was left if that is so too.
    void showBeside(QWidget* main, const QWidget* other = nullptr);
    // Its place, as the user left it last time.
    void restoreSettings(const QSettings& settings);
    void saveSettings(QSettings& settings) const;

    // A printer in time: a live line on its printing, and Load Paper.
    // `describe` says it ("0.42 m of paper left, 0 bytes waiting, idle").
    void showPrinting(std::function<QString()> describe, std::function<void()> loadPaper);
    // Where the boxes' state goes; the session itself when not set.
    std::function<void(const PrinterState&)> stateChosen;

    std::vector<QCheckBox*> stateBoxes; // in PrinterStateNames() order
    QCheckBox* serialRealTimeBox;
    QLabel* printingLabel = nullptr;
    QPushButton* loadPaperButton = nullptr;

private:
    void boxChanged();

    CaptureSession& session_;
    std::function<void(bool)> serialRealTime_;
    bool restored_ = false; // its place of last time was read
    bool shown_ = false; // shown in this run: its place is its own
    QTimer printingTimer_;
};

} // namespace ostrel
