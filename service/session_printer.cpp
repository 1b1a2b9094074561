#include "service/session_printer.h"

#include "protocol/message_text.h"

#include <algorithm>

namespace ostrel {

SessionPrinter::SessionPrinter(CaptureSession& session, SerialControl& serialLine,
    ByteSource& serialSource, SessionPrinterOptions options)
    : session_(session)
    , serialLine_(serialLine)
    , serialSource_(serialSource)
    , options_(std::move(options))
{
}

SessionPrinter::~SessionPrinter() { finish(); }

bool SessionPrinter::start(const receipt::PrinterProfile& model, std::string& error)
{
    const bool forwards = !options_.forwardHost.empty() || !options_.forwardSerial.empty();
    if (options_.listen && !options_.pace && !forwards) {
        networkThread_ = std::make_unique<TcpPortThread>(session_, options_.limits);
        if (!networkThread_->listen(*options_.listen, error))
            return false;
    } else if (options_.listen) {
        network_ = std::make_unique<TcpPrinterPort>(options_.limits);
        if (!network_->listen(*options_.listen, error))
            return false;
        // A network job goes to the same capture as the serial port's bytes.
        network_->feed(&session_);
    }
    // A printer in time: what the session takes prints at its speed from its
    // roll; the state set by hand and the roll's make what it reports.
    if (options_.pace) {
        PrintPace::Settings settings = *options_.pace;
        if (network_) // what the system holds of a connection is part of the buffer
            settings.buffer = std::max(
                settings.buffer - network_->setLeastReceiveWindow(), settings.buffer / 4);
        paced_ = std::make_unique<PrinterInTime>(
            settings, model, options_.script, session_.printerState());
        paced_->stateChanged
            = [this](const PrinterState& state) { session_.setPrinterState(state); };
        paced_->event = [this](const std::string& what) {
            say(what);
            if (printerEvent)
                printerEvent(what);
        };
        paced_->hold = [this](bool held) {
            if (network_)
                network_->holdReading(held);
            if (serialLine_.PortOpen())
                serialLine_.Output(held ? std::string_view("\x13") : std::string_view("\x11"));
        };
        if (network_)
            network_->setReadRoom([this] {
                const PrintPace& printing = paced_->pace();
                return static_cast<std::size_t>(
                    std::max(0LL, printing.settings().buffer - printing.waiting()));
            });
        pacedSession_ = std::make_unique<PacedSession>(session_, *paced_);
    }
    if (forwards && !startForwarding(error))
        return false;
    if (forwarding_)
        forwarding_->setLanguage(model.language);
    return true;
}

// The real printer answers the network jobs and the serial port.
bool SessionPrinter::startForwarding(std::string& error)
{
    if (!options_.forwardSerial.empty()) {
        printerLine_
            = OpenPrinterLine(options_.forwardSerial, options_.forwardSerialSettings, error);
        if (!printerLine_)
            return false;
        forwarding_ = std::make_unique<ForwardingSink>(
            session_,
            [this](std::string_view bytes) {
                if (!printerLine_->PortOpen())
                    return false;
                printerLine_->Output(bytes);
                return true;
            },
            "serial:" + options_.forwardSerial, options_.fallbackAnswer);
        printerLine_->OnComm = [this] {
            if (printerLine_->CommEvent() == comEvReceive) {
                forwarding_->printerAnswered(printerLine_->Input());
            } else if (printerLine_->CommEvent() == comEventPortLost) {
                say("the printer's serial port went away");
                printerLine_->OnComm = nullptr;
            }
        };
    } else {
        forwarding_ = std::make_unique<ForwardingSink>(
            session_, options_.forwardHost, options_.forwardPort, options_.fallbackAnswer);
    }
    forwarding_->answeredRequest
        = [this](const ByteSource& source, long long end, const std::string& words) {
              if (answeredRequest)
                  answeredRequest(source, end, words);
          };
    forwarding_->failed = [this](const std::string& why) {
        say("forward to " + QuotedForMessage(forwarding_->target()) + ": " + why);
    };
    forwarding_->tap(serialSource_);
    session_.addListener(*forwarding_);
    if (network_) {
        forwarding_->congestion = [this](bool congested) { network_->holdReading(congested); };
        network_->feed(forwarding_.get());
    }
    return true;
}

std::string SessionPrinter::listeningOn() const
{
    return networkThread_ ? networkThread_->listeningOn() : network_ ? network_->listeningOn() : "";
}

void SessionPrinter::setModel(const receipt::PrinterProfile& model)
{
    PrinterState state = paced_ ? paced_->stateSet() : session_.printerState();
    SetModel(state, model);
    if (paced_)
        paced_->setState(state);
    else
        session_.setPrinterState(state);
    session_.setPrinterLanguage(model.language);
    if (forwarding_)
        forwarding_->setLanguage(model.language);
}

void SessionPrinter::setState(const PrinterState& state)
{
    if (paced_)
        paced_->setState(state);
    else
        session_.setPrinterState(state);
}

void SessionPrinter::finish()
{
    if (finished_)
        return;
    finished_ = true;
    if (forwarding_)
        session_.removeListener(*forwarding_);
    pacedSession_.reset();
    if (network_ && network_->current() != nullptr)
        session_.detachSource(*network_->current());
    networkThread_.reset();
}

void SessionPrinter::say(const std::string& line) const
{
    if (said)
        said(line);
}

} // namespace ostrel
