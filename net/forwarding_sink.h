#pragma once

#include "net/printer_forward.h"
#include "printer/conversation_record.h"
#include "session/byte_source.h"

#include <chrono>
#include <optional>

#include <memory>
#include <string>

namespace ostrel {

// Stands between a network printer port and the sink it feeds (the window's
// capture session): each job also goes on to a real printer on TCP, one
// connection a job, and the printer's answers go back to the job's peer. The
// stand-in answers nothing of its own while the printer is there.
class ForwardingSink : public ByteSink {
public:
    ForwardingSink(ByteSink& inner, std::string host, quint16 port, bool fallbackAnswer);
    ~ForwardingSink() override;

    void sourceStarted(ByteSource& source) override;
    void bytesArrived(std::string_view chunk, ByteSource& from) override;
    void sourceStopped(ByteSource& source, const std::string& why) override;

    std::string target() const { return host_ + ":" + std::to_string(port_); }
    // Said once for each failure: "connection refused".
    std::function<void(const std::string&)> failed;
    // The printer is slow: stop reading the peer, or read on.
    std::function<void(bool)> congestion;
    // Each status request the printer answered, in words, as it answers.
    std::function<void(const std::string&)> answeredRequest;
    // The printer's language, for which requests it is asked.
    void setLanguage(receipt::Language language) { language_ = language; }

private:
    ByteSink& inner_;
    std::string host_;
    quint16 port_;
    bool fallbackAnswer_;
    std::unique_ptr<PrinterForward> forward_;
    receipt::Language language_ = receipt::Language::EscPos;
    std::optional<ConversationRecord> record_;
    std::chrono::steady_clock::time_point start_;
    long long sinceStartUs() const;
};

} // namespace ostrel
