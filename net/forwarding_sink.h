#pragma once

#include "net/printer_forward.h"
#include "printer/conversation_record.h"
#include "session/byte_source.h"
#include "session/capture_session.h"

#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ostrel {

// The window's tap between programs and a real printer. A network job fed
// through it goes on to the printer (on TCP, one connection a job) and on to
// the sink behind it (the capture session); the printer's answers go back to
// the job's peer. A source the session reads by itself (the serial port) is
// tapped as a listener: its bytes go on as the session takes them, and a
// silence of kTapGap ends its job. The stand-in answers nothing of its own
// while the printer is there.
class ForwardingSink : public QObject, public ByteSink, public CaptureListener {
    Q_OBJECT
public:
    // A network printer at host:port.
    ForwardingSink(ByteSink& inner, std::string host, quint16 port, bool fallbackAnswer);
    // A printer on a line the caller keeps open (a serial port): `write`
    // sends on it; what it answers is handed in with printerAnswered().
    ForwardingSink(ByteSink& inner, std::function<bool(std::string_view)> write, std::string target,
        bool fallbackAnswer);
    ~ForwardingSink() override;

    void sourceStarted(ByteSource& source) override;
    void bytesArrived(std::string_view chunk, ByteSource& from) override;
    bool keepsEnded(ByteSource& source, std::function<void()> release) override;
    void sourceStopped(ByteSource& source, const std::string& why) override;

    // Forwards what `source` sends, as the session takes it: the caller
    // also makes this a listener of the session. The stand-in stops
    // answering it at once.
    void tap(ByteSource& source);
    void chunkTaken(std::string_view chunk, ByteSource* from) override;
    void sourceEnded(ByteSource& source) override;

    // The printer's line received these bytes.
    void printerAnswered(std::string_view bytes);

    std::string target() const { return write_ ? name_ : name_ + ":" + std::to_string(port_); }
    // Said once for each failure: "connection refused".
    std::function<void(const std::string&)> failed;
    // The printer is slow: stop reading the network peer, or read on.
    std::function<void(bool)> congestion;
    // Each status request the printer answered, as it answers: whose
    // request, where it ends in the job, and the answer in words.
    std::function<void(const ByteSource&, long long end, const std::string&)> answeredRequest;
    // The printer's language, for which requests it is asked.
    void setLanguage(receipt::Language language) { language_ = language; }
    // The newest job's conversation, as ostrel-capture writes it beside a
    // job (ended or going on), and the printer's bytes; empty before any.
    std::string conversationJson() const;
    std::string printerBytes() const;

    static constexpr std::chrono::milliseconds kTapGap { 1000 };

private:
    struct Job {
        ByteSource* source = nullptr;
        std::unique_ptr<PrinterForward> forward;
        std::optional<ConversationRecord> record;
        std::chrono::steady_clock::time_point start;
        long long sinceStartUs() const;
    };
    void start(std::unique_ptr<Job>& job, ByteSource& source, bool network);
    // The printer is given a moment to finish, without waiting here; then
    // the job is kept as the newest ended and `then` runs.
    void end(std::unique_ptr<Job>& job, std::function<void()> then = {});
    void closed(const Job* job);
    void keep(const Job& job);

    ByteSink& inner_;
    std::string name_;
    quint16 port_ = 0;
    std::function<bool(std::string_view)> write_;
    bool fallbackAnswer_;
    receipt::Language language_ = receipt::Language::EscPos;
    // Each job stays where it is until its printer is closed, for the
    // answers that come meanwhile.
    std::unique_ptr<Job> network_;
    std::unique_ptr<Job> tapped_;
    std::vector<std::unique_ptr<Job>> closing_;
    ByteSource* tappedSource_ = nullptr;
    QTimer tapGap_;
    const Job* newest_ = nullptr; // the job going on, or none
    std::string keptJson_, keptBytes_; // the last job that ended
};

} // namespace ostrel
