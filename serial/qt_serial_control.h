#pragma once

#include "serial/line_settings.h"
#include "serial/serial_control.h"

#include <QObject>
#include <QSerialPort>
#include <QTimer>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace ostrel {

// MSComm1 on QSerialPort. Port number, settings and flow control written while
// the port is closed are kept and applied when it opens; settings and flow
// control written while it is open apply at once.
class QtSerialControl : public QObject, public SerialControl {
    Q_OBJECT
public:
    explicit QtSerialControl(QObject* parent = nullptr);
    ~QtSerialControl() override;

    void setCommPort(std::int16_t port) override;
    void setSettings(const std::string& settings) override;
    void setRTSEnable(bool enable) override;
    void setDTREnable(bool enable) override;
    void setHandshaking(int handshaking) override;
    void setPortOpen(bool open) override;
    bool PortOpen() const override;

    std::int16_t CommEvent() const override { return commEvent_; }
    std::string Input() override;
    void Output(std::string_view bytes) override;
    void deliverWaiting() override;
    std::string deviceName() const override { return device_; }
    bool receivesOnOwnThread() const override;
    void receiveInto(ArrivalInbox* inbox, ByteSource* source) override;

    // Opens this device instead of the one the port number names.
    void setDevice(const std::string& device) { fixedDevice_ = device; }

    // The device the port number was last opened on, for messages and tests.
    const std::string& device() const { return device_; }

private:
    void applyLineSettings();
    void applyFlowControl();
    void applyModemLines();
    void keepFlowControlBytesAsData();
    void raise(std::int16_t event);
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);
    void portWentAway();

    // Receiving on a thread of its own (POSIX), into inbox_.
    void startReceiving();
    void stopReceiving();
    void receiveLoop(int fd, int wakeFd, unsigned generation);
    void wakeReceiver(char why);
    void callSession();
    void collectAgain();
    void receivingEnded();
    // Whether Qt reads the port (no thread of our own to read it).
    bool qtReads() const;

    ArrivalInbox* inbox_ = nullptr;
    ByteSource* source_ = nullptr;
    std::thread receiver_;
    int ownFd_ = -1; // the thread's own descriptor of the device
    int wakePipe_[2] = { -1, -1 };
    // Bytes other threads give the port's thread to write, in order.
    std::mutex outgoingMutex_;
    std::string outgoing_;
    unsigned generation_ = 0; // which receiving thread a queued call came from
    std::atomic<unsigned> endedGeneration_ { 0 }; // the last thread that ended by itself
    QTimer collectTimer_;

    QSerialPort port_;
    std::int16_t commPort_ = 1;
    LineSettings settings_;
    bool rtsEnable_ = false;
    bool dtrEnable_ = false;
    int handshaking_ = 0;
    std::int16_t commEvent_ = 0;
    std::string device_;
    std::string fixedDevice_;
};

// A real printer on a serial line that --forward passes jobs on to, open
// for the whole run; null with the reason, naming the device, when it cannot
// be opened.
std::unique_ptr<QtSerialControl> OpenPrinterLine(
    const std::string& device, const std::string& settings, std::string& error);

} // namespace ostrel
