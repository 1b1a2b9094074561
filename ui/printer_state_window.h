#pragma once

#include "printer/printer_state.h"

#include <QCheckBox>
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

    std::vector<QCheckBox*> stateBoxes; // in PrinterStateNames() order
    QCheckBox* serialRealTimeBox;

private:
    void boxChanged();

    CaptureSession& session_;
    std::function<void(bool)> serialRealTime_;
    bool restored_ = false; // its place of last time was read
    bool shown_ = false;    // shown in this run: its place is its own
};

} // namespace ostrel
