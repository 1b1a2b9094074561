#pragma once

#include "capture/capture_engine.h"
#include "printer/printer_emulator.h"
#include "ui/line_list_box.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

namespace ostrel {

class CaptureSaver;
class CommonDialog;
class PortHandling;
class SerialControl;

// The one window of the program. It owns the capture engine and its views, and
// drives the serial control and the save dialog it is given.
class Form1 : public QWidget, private StatusControls, private ReplyOutput {
    Q_OBJECT
public:
    Form1(SerialControl& MSComm1, CommonDialog& CommonDialog1, QWidget* parent = nullptr);
    ~Form1() override;

    // Hands one received chunk to the engine, then shows the result.
    void UpdateData(std::string_view chunk);

    // Handlers; the controls call them, and tests may too.
    void chkEnableSerialPort_Click();
    void MSComm1_OnComm();
    void cmdClearReceivedData_Click();
    void cmdSaveCommands_Click();
    void cmdExit_Click();

    const CaptureEngine& engine() const { return engine_; }
    // What Exit does; the application quits its event loop unless told otherwise.
    std::function<void()> endProgram;

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

private:
    void createControls();
    void setKeyboardOrder();
    void connectHandlers();
    LineListBox* placeList(const char* name, QRect geometry, LineView& lines);
    void Form_Load();
    void showCapture();

    int enableStatusBackValue() const override;
    int statusBitsValue(int index) const override;
    int statusBits2Value(int index) const override;
    void Output(std::string_view bytes) override;

    SerialControl& MSComm1_;

    MemoryLineView listCommandsLines_;
    MemoryLineView listDataReceivedLines_;
    MemoryLineView listDataReceivedHEXLines_;
    CounterCaption byteCount_{"Bytes Received = "};
    CounterCaption commandCount_{"Command Count = "};
    PrinterEmulator printer_;
    CaptureEngine engine_;
    bool opened_ = false;

    class Adapters;
    std::unique_ptr<Adapters> adapters_;
    std::unique_ptr<PortHandling> ports_;
    std::unique_ptr<CaptureSaver> saver_;
};

} // namespace ostrel
