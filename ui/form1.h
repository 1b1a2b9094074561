#pragma once

#include "session/capture_session.h"
#include "ui/line_list_box.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

namespace ostrel {

class CaptureSaver;
class CommonDialog;
class PortHandling;
class SerialControl;

// The one window of the program. It shows the capture session's views and
// counters, lends the session its status boxes, and drives the serial control
// and the save dialog it is given. Received bytes go from the port straight to
// the session; the window only hears that there is something new to draw, and
// draws it at most once per screen refresh.
class Form1 : public QWidget, private StatusControls, private CaptureListener {
    Q_OBJECT
public:
    Form1(CaptureSession& session, SerialControl& MSComm1, CommonDialog& CommonDialog1,
        QWidget* parent = nullptr);
    ~Form1() override;
    // What the serial port receives comes from this source.
    ByteSource& serialSource();

    // Hands a chunk to the session as if the port had received it (replies go
    // out on the port), then shows the result at once.
    void UpdateData(std::string_view chunk);
    // Draws what the session holds now, instead of at the next refresh.
    void showCapture();

    // Handlers; the controls call them, and tests may too.
    void chkEnableSerialPort_Click();
    void MSComm1_OnComm();
    void cmdClearReceivedData_Click();
    void cmdSaveCommands_Click();
    void cmdExit_Click();

    const CaptureEngine& engine() const { return session_.engine(); }
    CaptureSession& session() { return session_; }
    // What Exit does; the application quits its event loop unless told otherwise.
    std::function<void()> endProgram;
    // What "Receipt Preview" (the command log's context menu, F6) opens; the
    // entry is there only when this is set before the window is shown.
    std::function<void()> showReceiptPreview;
    QAction* receiptPreviewAction = nullptr;
    // What "Printer State" (the command log's context menu, F7) opens.
    std::function<void()> showPrinterState;
    QAction* printerStateAction = nullptr;
    // A file dropped on the window; it is opened as a saved capture.
    std::function<void(const QString&)> fileDropped;
    // Whether the serial port answers the real-time requests as well as DLE "R".
    void setSerialRealTimeReplies(bool answer);

    // Controls, named as the program has always named them.
    QGroupBox* frameSerialCommands;
    QLabel* Label2;
    QPushButton* chkEnableSerialPort; // a check box drawn as a toggle button
    QComboBox* comboSerialPort;
    QComboBox* ComboSerialBaudRate;
    QCheckBox* chkHWhandshake;
    QPushButton* cmdClearReceivedData;
    QPushButton* cmdSaveCommands;
    QLabel* Label1;
    LineListBox* listCommands;
    QLabel* Label3;
    QLabel* Label5;
    QLabel* Label4;
    LineListBox* listDataReceivedHEX;
    LineListBox* listDataReceived;
    QGroupBox* Frame1;
    QCheckBox* chkEnableStatusBack;
    QLabel* Label6;
    QLabel* Label7;
    std::array<QCheckBox*, 8> chkStatusBits;
    std::array<QCheckBox*, 8> chkStatusBits2;
    QLabel* lblByteCount;
    QLabel* lblCmdCount;
    QPushButton* cmdExit;

protected:
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createControls();
    void setKeyboardOrder();
    void nameForScreenReaders();
    void connectHandlers();
    LineListBox* placeList(const char* name, QRect geometry, LineView& lines);
    void Form_Load();
    void scheduleFrame();
    void drawFrame();

    int enableStatusBackValue() const override;
    int statusBitsValue(int index) const override;
    int statusBits2Value(int index) const override;
    void chunkTaken(std::string_view chunk, ByteSource* from) override;
    void captureCleared() override;

    CaptureSession& session_;
    SerialControl& MSComm1_;
    bool opened_ = false;
    // Drawing waits for the next screen refresh, so that bursts of chunks
    // cost one repaint and status requests are not kept waiting behind them.
    QTimer frameTimer_;
    QElapsedTimer lastFrame_;
    bool drawing_ = false;

    class Adapters;
    std::unique_ptr<Adapters> adapters_;
    std::unique_ptr<PortHandling> ports_;
    std::unique_ptr<CaptureSaver> saver_;
};

} // namespace ostrel
