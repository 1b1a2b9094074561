#pragma once

#include "files/job_files.h"
#include "net/printer_forward.h"
#include "printer/conversation_record.h"
#include "printer/real_time_scan.h"
#include "receipt/not_understood_scan.h"
#include "session/capture_session.h"
#include "session/reply_ledger.h"

#include <chrono>
#include <optional>
#include <string>

namespace ostrel {

// One job being captured: a session of its own, and what the job file and
// line report.
class JobCapture : private CaptureListener {
public:
    JobCapture(std::string source, const StatusControls& status, const PrinterState& state,
        long long maxBytes, const std::string& printer, const std::string& printerName = {});
    // Star's ETB count, kept by the printer from job to job.
    // What the printer keeps between connections (Star's ETB count,
    // automatic status), given on to the job's peer.
    ArrivalInbox::Kept kept() { return session_.inbox().kept(); }
    void setKept(ArrivalInbox::Kept kept, ByteSource* peer)
    {
        session_.inbox().setKept(kept, peer);
    }
    // The state changed while the job goes on: peers that asked hear of it.
    void setPrinterState(const PrinterState& state) { session_.setPrinterState(state); }
    ~JobCapture() override;

    // Takes received bytes; those past the size limit are counted, not kept.
    void take(std::string_view chunk, ByteSource* from);
    // The job's number is given when it ends, so that a connection that sent
    // nothing takes none.
    // `from` says, at the end, which of the replies reached the peer.
    JobRecord finish(const std::string& endedBy, long long number, const ByteSource& from);
    bool empty() const { return record_.bytes.empty() && record_.droppedBytes == 0; }
    // Who answers status requests: the stand-in, or (forwarding) nobody.
    void setStatusControls(const StatusControls& status) { session_.setStatusControls(status); }
    // Forwarded to a real printer: the conversation both ways, timed from
    // the job's start.
    void recordConversation(receipt::Language language) { conversation_.emplace(language); }
    void programSent(std::string_view chunk)
    {
        if (conversation_)
            conversation_->programSent(chunk, sinceStartUs());
    }
    void printerAnswered(std::string_view chunk)
    {
        if (conversation_)
            conversation_->printerAnswered(chunk, sinceStartUs());
    }
    void forwardEnded(const PrinterForward& forward);
    long long sinceStartUs() const;
    long long size() const { return static_cast<long long>(record_.bytes.size()); }
    // A printer in time: GS r and ETB wait for printing, and are answered
    // through the job's session when it gets there.
    void setAnswersAfterPrinting(bool everyRequest)
    {
        session_.setAnswersAfterPrinting(true, everyRequest);
    }
    void answerPrinted(ByteSource& from, const RealTimeRequest& request)
    {
        session_.answerPrinted(from, request);
    }
    // Something happened to the printer while this job came, when the
    // printer had printed `printed` bytes of all it took; this job's first
    // byte was byte `paceStart` of them.
    void printerEvent(const std::string& what, long long printed);
    void setPaceStart(long long received) { paceStart_ = received; }
    // A job that came whole: what its sender said of it, and the document
    // it came as, kept beside it.
    void keepDocument(std::vector<std::pair<std::string, std::string>> origin, std::string document,
        std::string ending)
    {
        record_.origin = std::move(origin);
        record_.document = std::move(document);
        record_.documentEnding = std::move(ending);
    }

private:
    void chunkTaken(std::string_view chunk, ByteSource*) override { notUnderstood_.feed(chunk); }
    void replySent(std::string_view reply, ByteSource* to) override;

    CaptureSession session_;
    // Reads the job as the receipt printer model does, for the bytes it does
    // not understand.
    receipt::NotUnderstoodScan notUnderstood_;
    JobRecord record_;
    ReplyLedger replies_ { kRepliesListed };
    long long maxBytes_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::optional<ConversationRecord> conversation_;
    long long paceStart_ = 0;
};

} // namespace ostrel
