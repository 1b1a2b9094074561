#include "serial/port_handling.h"

#include "serial/port_number.h"

namespace ostrel {

PortHandling::PortHandling(SerialControl& MSComm1, PortControls& window, CaptureSession& session)
    : MSComm1_(MSComm1)
    , window_(window)
    , session_(session)
    , source_(MSComm1)
{
    MSComm1_.OnComm = [this] { MSComm1_OnComm(); };
    session_.attachSource(source_);
    // Status requests are then answered as they arrive, whatever the
    // window's thread is doing.
    if (MSComm1_.receivesOnOwnThread())
        MSComm1_.receiveInto(&session_.inbox(), &source_);
}

PortHandling::~PortHandling()
{
    // The port's thread stops first; what it handed over is taken on detaching.
    if (MSComm1_.receivesOnOwnThread())
        MSComm1_.receiveInto(nullptr, nullptr);
    MSComm1_.OnComm = nullptr;
    session_.detachSource(source_);
}

void PortHandling::SetSerialDefaults()
{
    MSComm1_.setCommPort(1);
    MSComm1_.setSettings("19200,N,8,1");
}

void PortHandling::chkEnableSerialPort_Click()
{
    try {
        openOrClose();
    } catch (const SerialError& error) {
        // Unticking runs this handler again, inside this one, on its close path.
        window_.setEnableSerialPortValue(0);
        window_.showOpenFailure(
            OpenFailureMessage(window_.serialPortText(), window_.baudRateText(), error.what()));
    }
}

void PortHandling::openOrClose()
{
    if (window_.enableSerialPortValue() == 1) {
        MSComm1_.setCommPort(PortNumberFromText(window_.serialPortText()));
        MSComm1_.setSettings(window_.baudRateText());
        // No choice turns flow control off altogether.
        if (window_.hwHandshakeValue() == 1) {
            MSComm1_.setRTSEnable(true);
            MSComm1_.setDTREnable(true);
            MSComm1_.setHandshaking(comRTS);
        } else {
            MSComm1_.setRTSEnable(false);
            MSComm1_.setDTREnable(false);
            MSComm1_.setHandshaking(comXOnXoff);
        }
        MSComm1_.setPortOpen(true);
        window_.setEnableSerialPortCaption("Close Serial Port");
    } else {
        MSComm1_.setPortOpen(false);
        window_.setEnableSerialPortCaption("Open Serial Port");
    }
}

void PortHandling::MSComm1_OnComm()
{
    switch (MSComm1_.CommEvent()) {
    case comEvReceive:
        // Bytes received on the port's own thread wait in the session's inbox.
        session_.takeArrived();
        session_.UpdateData(MSComm1_.Input(), &source_);
        break;
    case comEventPortLost:
        window_.setEnableSerialPortValue(0);
        session_.sourceEnded(source_);
        break;
    default:
        break; // line-state changes and line errors are not the capture's business
    }
}

std::string OpenFailureMessage(
    const std::string& portText, const std::string& settingsText, const std::string& description)
{
    return "Error Opening Comm Port " + ShortestDecimal(LeadingNumber(portText)) + ":"
        + settingsText + "\r\nDescription:  " + description;
}

} // namespace ostrel
