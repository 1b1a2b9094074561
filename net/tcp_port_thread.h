#pragma once

#include "net/tcp_printer_port.h"
#include "session/capture_session.h"

#include <QObject>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ostrel {

// Calls handed to the thread this lives on, run there in the order given.
// The hand-over is under a lock of our own, which the thread sanitizer sees,
// and one queued wake-up stands for any number of calls.
class CallQueue : public QObject {
public:
    void post(std::function<void()> call);
    // On its own thread: runs what waits.
    void run();

private:
    std::mutex mutex_;
    std::vector<std::function<void()>> calls_;
};

// The TCP printer port on a thread of its own feeding a capture session, as
// the serial port reads on its own: a request is answered on that thread the
// moment it arrives, never behind the window's painting, and the session's
// thread takes the bytes at most once a frame while they keep coming. Each
// connection reaches the session as a source of its own, which may outlive
// the connection: replies the session sends later (automatic status, answers
// after printing) go to the port's thread, the one writer, which drops them
// once the connection has gone.
class TcpPortThread : public QObject, private CaptureListener {
public:
    // On the session's thread, which runs an event loop.
    explicit TcpPortThread(CaptureSession& session, TcpJobLimits limits = {});
    // Closes the port on its thread and waits for that thread to end (it
    // never waits for this one). The job in progress ends without
    // sourceStopped, as the port's own does, and the session lets go of it.
    ~TcpPortThread() override;

    bool listen(const ListenAddress& where, std::string& error);
    std::string listeningOn() const { return listeningOn_; }
    quint16 port() const { return port_; }

private:
    class Connection;
    class Feed;
    // Runs `call` on the port's thread and waits for it; only while that
    // thread waits for nothing of ours.
    void onPortThread(const std::function<void()>& call);
    // The session's thread: takes what waits, then looks again each frame
    // until nothing more came.
    void collect();
    void collectAgain();
    // Whoever had the session take the bytes (a frame drawn, the serial
    // port), reading goes on.
    void chunkTaken(std::string_view chunk, ByteSource* from) override;
    void takenSoReadOn();
    // The port's thread: reading goes on after the session took what waited.
    void readOn();

    CaptureSession& session_;
    QThread thread_;
    std::unique_ptr<CallQueue> toPort_; // lives on the port's thread
    CallQueue toSession_;
    std::unique_ptr<Feed> feed_; // the port's thread only
    std::unique_ptr<TcpPrinterPort> tcp_; // made and ended on the port's thread
    std::shared_ptr<Connection> current_; // the session's thread: the job it was told of
    QTimer collectTimer_;
    std::atomic<bool> collecting_ { false };
    std::atomic<bool> backedUp_ { false }; // reading held until the session takes
    std::string listeningOn_;
    quint16 port_ = 0;
};

} // namespace ostrel
