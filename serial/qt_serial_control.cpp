#include "serial/qt_serial_control.h"

#include "protocol/message_text.h"
#include "serial/port_lock.h"
#include "serial/port_number.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <windows.h>
#endif

namespace ostrel {

// What the port's thread is woken for.
constexpr char kWakeToStop = 0;
constexpr char kWakeToSend = 1;

QtSerialControl::QtSerialControl(QObject* parent)
    : QObject(parent)
{
    // Everything received waits in the port's buffer until Input reads it.
    port_.setReadBufferSize(0);
    connect(&port_, &QSerialPort::readyRead, this, &QtSerialControl::onReadyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialControl::onError);
    collectTimer_.setSingleShot(true);
    collectTimer_.setTimerType(Qt::PreciseTimer);
    connect(&collectTimer_, &QTimer::timeout, this, &QtSerialControl::collectAgain);
}

QtSerialControl::~QtSerialControl() { stopReceiving(); }

void QtSerialControl::setCommPort(std::int16_t port)
{
    if (port_.isOpen())
        throw SerialError("Port already open");
    if (port < 1)
        throw SerialError(
            "Invalid port number " + std::to_string(port) + " (port numbers start at 1)");
    commPort_ = port;
}

void QtSerialControl::setSettings(const std::string& settings)
{
    settings_ = ParseLineSettings(settings);
    if (port_.isOpen())
        applyLineSettings();
}

void QtSerialControl::setRTSEnable(bool enable)
{
    rtsEnable_ = enable;
    if (port_.isOpen())
        applyModemLines();
}

void QtSerialControl::setDTREnable(bool enable)
{
    dtrEnable_ = enable;
    if (port_.isOpen())
        applyModemLines();
}

void QtSerialControl::setHandshaking(int handshaking)
{
    if (handshaking < 0 || handshaking > 3)
        throw SerialError("Invalid handshaking " + std::to_string(handshaking));
    handshaking_ = handshaking;
    if (port_.isOpen())
        applyFlowControl();
}

void QtSerialControl::setPortOpen(bool open)
{
    if (!open) {
        // What the port's thread received is still taken before closing.
        stopReceiving();
        if (inbox_ != nullptr && inbox_->waiting())
            raise(comEvReceive);
        // Closing a port that is not open is no failure.
        port_.close();
        return;
    }
    if (port_.isOpen())
        throw SerialError("Port already open");

    // With a thread to read it, Qt only opens, configures and holds the port:
    // the thread reads and writes on a descriptor of its own, so that no read
    // of Qt's takes bytes from under it.
    const bool threaded = inbox_ != nullptr && receivesOnOwnThread();
    device_ = fixedDevice_.empty() ? PortDevice(commPort_) : fixedDevice_;
    port_.setPortName(QString::fromStdString(device_));
    // A lock left behind by a program that has ended must not keep the port.
    std::string staleReason;
    const std::optional<PortLock> before = FindPortLock(device_);
    const bool stale = before && !before->holderAlive;
    if (stale)
        RemoveStaleLock(*before, staleReason);
    if (!port_.open(threaded ? QIODevice::WriteOnly : QIODevice::ReadWrite)) {
        std::string reason = port_.errorString().toStdString();
        port_.clearError();
        const std::optional<PortLock> lock = FindPortLock(device_);
        if (lock && lock->holderAlive && lock->pid != static_cast<long>(::getpid()))
            reason = "Port " + HeldPortDescription(*lock);
        else if (lock && stale)
            reason = "Port locked by process " + std::to_string(lock->pid)
                + ", which has ended; its lock file " + lock->file + " could not be removed ("
                + staleReason + ")";
        throw SerialError(reason + ": " + device_);
    }
    try {
        applyLineSettings();
        applyFlowControl();
        applyModemLines();
        if (threaded)
            startReceiving();
    } catch (const SerialError&) {
        port_.close();
        throw;
    }
}

bool QtSerialControl::qtReads() const
{
    return port_.isOpen() && (port_.openMode() & QIODevice::ReadOnly);
}

bool QtSerialControl::PortOpen() const { return port_.isOpen(); }

void QtSerialControl::applyLineSettings()
{
    const QSerialPort::Parity parity[] = { QSerialPort::NoParity, QSerialPort::EvenParity,
        QSerialPort::OddParity, QSerialPort::MarkParity, QSerialPort::SpaceParity };
    const QSerialPort::StopBits stopBits[]
        = { QSerialPort::OneStop, QSerialPort::OneAndHalfStop, QSerialPort::TwoStop };
    const auto fail = [this](const std::string& what) {
        const std::string reason = port_.errorString().toStdString();
        port_.clearError();
        throw SerialError(what + " refused by " + device_ + ": " + reason);
    };
    if (!port_.setBaudRate(settings_.baudRate))
        fail("Baud rate " + std::to_string(settings_.baudRate));
    if (!port_.setDataBits(static_cast<QSerialPort::DataBits>(settings_.dataBits)))
        fail(std::to_string(settings_.dataBits) + " data bits");
    if (!port_.setParity(parity[static_cast<int>(settings_.parity)]))
        fail("Parity");
    if (!port_.setStopBits(stopBits[static_cast<int>(settings_.stopBits)]))
        fail("Stop bits");
}

void QtSerialControl::applyFlowControl()
{
    // Both bits ticked (3) has no QSerialPort counterpart; hardware wins.
    const QSerialPort::FlowControl flow = (handshaking_ & comRTS) ? QSerialPort::HardwareControl
        : (handshaking_ & comXOnXoff)                             ? QSerialPort::SoftwareControl
                                                                  : QSerialPort::NoFlowControl;
    if (!port_.setFlowControl(flow)) {
        const std::string reason = port_.errorString().toStdString();
        port_.clearError();
        throw SerialError("Flow control refused by " + device_ + ": " + reason);
    }
    if (flow == QSerialPort::SoftwareControl)
        keepFlowControlBytesAsData();
}

void QtSerialControl::keepFlowControlBytesAsData()
{
    // A printer paces its host: it sends XOFF and XON when its input backs up
    // (IXOFF), but every byte it receives is print data. Left to itself the
    // driver would also act on received XON and XOFF (IXON) and take them out
    // of the stream, losing 0x11 and 0x13 from images and double-size text.
#ifdef Q_OS_UNIX
    const int fd = static_cast<int>(port_.handle());
    termios settings {};
    if (::tcgetattr(fd, &settings) != 0)
        throw SerialError("Flow control refused by " + device_ + ": " + std::strerror(errno));
    settings.c_iflag |= IXOFF;
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXANY);
    if (::tcsetattr(fd, TCSANOW, &settings) != 0)
        throw SerialError("Flow control refused by " + device_ + ": " + std::strerror(errno));
#elif defined(Q_OS_WIN)
    const HANDLE handle = reinterpret_cast<HANDLE>(port_.handle());
    DCB dcb {};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle, &dcb))
        throw SerialError("Flow control refused by " + device_);
    dcb.fInX = TRUE;
    dcb.fOutX = FALSE;
    if (!::SetCommState(handle, &dcb))
        throw SerialError("Flow control refused by " + device_);
#endif
}

void QtSerialControl::applyModemLines()
{
    // Ports without modem lines (pseudo-terminals, some adapters) refuse RTS
    // and DTR; that does not stop them carrying data, so it is no failure.
    // Under RTS/CTS flow control the driver owns RTS.
    if (port_.flowControl() != QSerialPort::HardwareControl)
        port_.setRequestToSend(rtsEnable_);
    port_.setDataTerminalReady(dtrEnable_);
    port_.clearError();
}

std::string QtSerialControl::Input()
{
    // The port's thread leaves everything in the inbox; reading the port here
    // would also wake its own reading again.
    if (receiver_.joinable() || !qtReads())
        return {};
    const QByteArray received = port_.readAll();
    std::string input(received.constData(), static_cast<std::size_t>(received.size()));
#ifdef Q_OS_UNIX
    // A read that filled the driver's input buffer (4 KiB on Linux) leaves the
    // rest of the host's write waiting in the driver until this read made room.
    // Take that rest now, so that a status request at the end of a long write
    // is answered before the front of the write is shown, not after.
    constexpr std::size_t kDriverBuffer = 4095;
    constexpr std::size_t kMostAtOnce = 64 * 1024;
    std::size_t lastRead = input.size();
    while (lastRead >= kDriverBuffer && input.size() < kMostAtOnce) {
        pollfd waiting { static_cast<int>(port_.handle()), POLLIN, 0 };
        if (::poll(&waiting, 1, 1) <= 0 || !(waiting.revents & POLLIN))
            break;
        char buffer[8192];
        const ssize_t n = ::read(waiting.fd, buffer, sizeof buffer);
        if (n <= 0)
            break; // errors are reported by the port's own next read
        input.append(buffer, static_cast<std::size_t>(n));
        lastRead = static_cast<std::size_t>(n);
    }
#endif
    return input;
}

void QtSerialControl::Output(std::string_view bytes)
{
    if (!port_.isOpen())
        return;
    // While the port's thread runs it does every write, so that replies and
    // these bytes never interleave.
    if (receiver_.joinable()) {
        {
            const std::lock_guard<std::mutex> hold(outgoingMutex_);
            outgoing_.append(bytes);
        }
        wakeReceiver(kWakeToSend);
        return;
    }
#ifdef Q_OS_UNIX
    // With nothing queued in front of it, the reply goes straight to the
    // driver: no write buffer, and no write-ready round of the event loop
    // afterwards to keep the next request waiting.
    if (port_.bytesToWrite() == 0) {
        while (!bytes.empty()) {
            const ssize_t written
                = ::write(static_cast<int>(port_.handle()), bytes.data(), bytes.size());
            if (written <= 0)
                break; // the rest goes through the port's buffer below
            bytes.remove_prefix(static_cast<std::size_t>(written));
        }
        if (bytes.empty())
            return;
    }
#endif
    port_.write(bytes.data(), static_cast<qint64>(bytes.size()));
    // Hand the bytes to the driver now rather than when the event loop next runs.
    port_.flush();
}

void QtSerialControl::deliverWaiting()
{
    if (receiver_.joinable()) {
        if (inbox_->waiting())
            raise(comEvReceive);
        return;
    }
    // A zero wait reads what the driver holds and announces it at once.
    if (qtReads())
        port_.waitForReadyRead(0);
}

void QtSerialControl::raise(std::int16_t event)
{
    commEvent_ = event;
    if (OnComm)
        OnComm();
}

void QtSerialControl::onReadyRead() { raise(comEvReceive); }

void QtSerialControl::onError(QSerialPort::SerialPortError error)
{
    // A failed read means the device went away: an adapter unplugged, or the
    // other end of a pseudo-terminal closed. Qt would report the failed read
    // again and again, as fast as it can, until the port is closed.
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return;
    portWentAway();
}

void QtSerialControl::portWentAway()
{
    // What arrived before is still delivered; then the port is closed here and
    // the window told.
    stopReceiving();
    if (port_.bytesAvailable() > 0 || (inbox_ != nullptr && inbox_->waiting()))
        raise(comEvReceive);
    port_.close();
    port_.clearError();
    raise(comEventPortLost);
}

// How long bytes that keep coming wait in the inbox before the session is
// called again. This thread answers the requests itself, so the window only
// needs the bytes by its next frame: taking them once a frame, not once a
// write, spares a wake-up of the window's thread for each write. The first
// bytes after a pause call the session at once.
constexpr int kCollectEveryMs = 16;
// Bytes the inbox may hold before the thread stops reading.
constexpr std::size_t kMostWaiting = 4 * 1024 * 1024;

#ifdef Q_OS_UNIX
namespace {

    // Writes as much of `unsent` as the driver takes now and drops that from its
    // front; the rest waits until the device has room (the host reads, or lets
    // the tool send again). A device that refuses bytes altogether has gone, and
    // its next read reports that, so the bytes simply stay.
    void SendWhatFits(int fd, std::string& unsent)
    {
        std::size_t sent = 0;
        while (sent < unsent.size()) {
            const ssize_t n = ::write(fd, unsent.data() + sent, unsent.size() - sent);
            if (n > 0)
                sent += static_cast<std::size_t>(n);
            else if (!(n < 0 && errno == EINTR))
                break;
        }
        unsent.erase(0, sent);
    }

} // namespace
#endif

bool QtSerialControl::receivesOnOwnThread() const
{
#ifdef Q_OS_UNIX
    return true;
#else
    return false;
#endif
}

void QtSerialControl::receiveInto(ArrivalInbox* inbox, ByteSource* source)
{
    if (!receivesOnOwnThread())
        return;
    // A port open already keeps the way it reads until it is opened again;
    // only a thread reading into an inbox that goes away is stopped at once.
    stopReceiving();
    if (inbox_ != nullptr && inbox_->waiting())
        raise(comEvReceive);
    inbox_ = inbox;
    source_ = source;
}

void QtSerialControl::startReceiving()
{
#ifdef Q_OS_UNIX
    // Qt holds the port exclusively; it lets this one more open through.
    const int held = static_cast<int>(port_.handle());
    ::ioctl(held, TIOCNXCL);
    ownFd_ = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const int openError = errno;
    ::ioctl(held, TIOCEXCL);
    if (ownFd_ < 0)
        throw SerialError(std::string("Cannot read ") + device_ + ": " + std::strerror(openError));
    if (::pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        const int pipeError = errno;
        ::close(ownFd_);
        ownFd_ = -1;
        wakePipe_[0] = wakePipe_[1] = -1;
        throw SerialError(
            std::string("Cannot start reading ") + device_ + ": " + std::strerror(pipeError));
    }
    ++generation_;
    receiver_ = std::thread(&QtSerialControl::receiveLoop, this, ownFd_, wakePipe_[0], generation_);
    // Whatever the inbox held from before is taken, and its next bytes call
    // the session again.
    QMetaObject::invokeMethod(this, &QtSerialControl::callSession, Qt::QueuedConnection);
#endif
}

void QtSerialControl::stopReceiving()
{
#ifdef Q_OS_UNIX
    if (!receiver_.joinable())
        return;
    wakeReceiver(kWakeToStop);
    receiver_.join();
    ::close(wakePipe_[0]);
    ::close(wakePipe_[1]);
    wakePipe_[0] = wakePipe_[1] = -1;
    // Not the last close of the device: Qt's own still holds the line.
    ::close(ownFd_);
    ownFd_ = -1;
    ++generation_;
    collectTimer_.stop();
    // Bytes given to the thread that it had no time to write go out now.
    std::string left;
    {
        const std::lock_guard<std::mutex> hold(outgoingMutex_);
        std::swap(left, outgoing_);
    }
    if (!left.empty())
        Output(left);
#endif
}

void QtSerialControl::wakeReceiver(char why)
{
#ifdef Q_OS_UNIX
    while (::write(wakePipe_[1], &why, 1) < 0 && errno == EINTR) { }
#else
    (void)why;
#endif
}

void QtSerialControl::receiveLoop(int fd, int wakeFd, unsigned generation)
{
#ifdef Q_OS_UNIX
    std::string unsent; // replies and other writes the driver has no room for yet
    std::string buffer(64 * 1024, '\0');
    for (;;) {
        // While the window's thread does not take the bytes (it is stalled),
        // reading stops after a while, so that the driver's input backs up and
        // flow control paces the host, as it would with no thread in between.
        const bool backedUp = inbox_->waitingBytes() >= kMostWaiting;
        const short events
            = static_cast<short>((backedUp ? 0 : POLLIN) | (unsent.empty() ? 0 : POLLOUT));
        pollfd waiting[2] = { { fd, events, 0 }, { wakeFd, POLLIN, 0 } };
        if (::poll(waiting, 2, backedUp ? 1 : -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (waiting[1].revents != 0) {
            char why[64];
            const ssize_t woken = ::read(wakeFd, why, sizeof why);
            if (std::memchr(why, kWakeToStop, static_cast<std::size_t>(std::max<ssize_t>(woken, 0)))
                != nullptr)
                return;
            {
                const std::lock_guard<std::mutex> hold(outgoingMutex_);
                unsent += outgoing_;
                outgoing_.clear();
            }
            SendWhatFits(fd, unsent);
            continue;
        }
        if (waiting[0].revents & POLLOUT)
            SendWhatFits(fd, unsent);
        if (backedUp || !(waiting[0].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n > 0) {
            const ArrivalInbox::Received received = inbox_->receive(
                source_, std::string_view(buffer.data(), static_cast<std::size_t>(n)));
            if (!received.replies.empty()) {
                unsent += received.replies;
                SendWhatFits(fd, unsent);
            }
            if (received.callSession)
                QMetaObject::invokeMethod(
                    this, &QtSerialControl::callSession, Qt::QueuedConnection);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        // With no byte waiting a raw port reads nothing; only a hang-up or a
        // failed read means the device went away.
        if (n == 0 && !(waiting[0].revents & (POLLHUP | POLLERR))) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        break;
    }
    endedGeneration_.store(generation);
    QMetaObject::invokeMethod(this, &QtSerialControl::receivingEnded, Qt::QueuedConnection);
#else
    (void)fd;
    (void)wakeFd;
    (void)generation;
#endif
}

void QtSerialControl::callSession()
{
    if (!receiver_.joinable())
        return;
    if (inbox_->waiting())
        raise(comEvReceive);
    collectTimer_.start(kCollectEveryMs);
}

void QtSerialControl::collectAgain()
{
    if (!receiver_.joinable())
        return;
    // Bytes still coming: take them and look again; otherwise the next bytes
    // call the session themselves.
    if (inbox_->waiting() || !inbox_->hangUp()) {
        raise(comEvReceive);
        collectTimer_.start(kCollectEveryMs);
    }
}

void QtSerialControl::receivingEnded()
{
    // A thread stopped on purpose since then has nothing more to say.
    if (endedGeneration_.load() != generation_ || !port_.isOpen())
        return;
    portWentAway();
}

std::unique_ptr<QtSerialControl> OpenPrinterLine(
    const std::string& device, const std::string& settings, std::string& error)
{
    auto line = std::make_unique<QtSerialControl>();
    try {
        line->setDevice(device);
        if (!settings.empty())
            line->setSettings(settings);
        line->setPortOpen(true);
    } catch (const SerialError& failure) {
        error = "--forward: cannot open the printer's serial port " + QuotedForMessage(device)
            + ": " + failure.what();
        return nullptr;
    }
    return line;
}

} // namespace ostrel
