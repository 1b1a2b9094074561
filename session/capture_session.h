#pragma once

#include "session/arrival_inbox.h"
#include "session/byte_source.h"
#include "capture/capture_engine.h"
#include "printer/status_request_scan.h"
#include "printer/printer_emulator.h"

#include <string_view>
#include <vector>

namespace ostrel {

// Told of everything the session takes in and sends out, after the engine has
// taken it: the window, the receipt printer model, a job recorder.
class CaptureListener {
public:
    virtual ~CaptureListener() = default;
    // A chunk the engine has just taken whole; `from` is null for bytes that
    // did not come from a source (a file, a test).
    virtual void chunkTaken(std::string_view chunk, ByteSource* from) = 0;
    // A status reply, sent while the chunk was taken (so before chunkTaken).
    virtual void replySent(std::string_view, ByteSource*) {}
    virtual void captureCleared() {}
    virtual void sourceEnded(ByteSource&) {}
};

// One capture: the state, the three views and the two counters, the printer
// that names commands and answers status requests, and the listeners. Every
// byte source hands its chunks here, and the replies go back to the source the
// request came from. Knows no window and no port.
class CaptureSession {
public:
    // Status return on, only "Cutter Home" set, until setStatusControls.
    CaptureSession();
    CaptureSession(const CaptureSession&) = delete;
    CaptureSession& operator=(const CaptureSession&) = delete;

    // Where the status boxes are read at each request (the window's boxes).
    // The controls must outlive the session or be replaced first.
    void setStatusControls(const StatusControls& controls);
    // The boxes changed: requests answered on a source's own thread carry
    // the new values from now on.
    void statusControlsChanged();

    // Takes a received chunk whole, then tells the listeners.
    void UpdateData(std::string_view chunk, ByteSource* from = nullptr);
    // Clear All: the views emptied and the raw capture restarted.
    void ClearAll();

    // The inbox of a source that receives on a thread of its own and answers
    // there (one such source at a time); takeArrived takes what waits in it.
    ArrivalInbox& arrivalInbox(ByteSource& source);
    void takeArrived();
    // The source no longer uses its inbox; what waits in it is taken first.
    void closeArrivalInbox();

    void addListener(CaptureListener& listener);
    void removeListener(CaptureListener& listener);

    // Sources whose waiting bytes deliverPending collects.
    void attachSource(ByteSource& source);
    void detachSource(ByteSource& source);
    // A source says it has gone; the listeners hear of it.
    void sourceEnded(ByteSource& source);
    // Asks every attached source to hand over what is waiting now.
    void deliverPending();

    const CaptureEngine& engine() const { return engine_; }
    CaptureEngine& engine() { return engine_; }
    const CaptureState& state() const { return engine_.state(); }
    RowView& listDataReceived() { return ascii_; }
    RowView& listDataReceivedHEX() { return hex_; }
    MemoryLineView& listCommands() { return log_; }
    const MemoryLineView& listCommands() const { return log_; }
    const CounterCaption& lblByteCount() const { return byteCount_; }
    const CounterCaption& lblCmdCount() const { return commandCount_; }
    // Status replies sent since start-up.
    long long repliesSent() const { return repliesSent_; }
    // Every command framed so far, by kind.
    const CommandKindCounts& commandKinds() const { return printer_.commandKinds(); }
    // Whether answering ahead ever counted other requests than the engine
    // named: a fault, watched by the tests and the fuzzer.
    bool scanDisagreed() const { return scanDisagreed_; }

private:
    void answerAhead(int requests);
    void takeAnswered(ArrivalInbox::Arrived arrived);
    void engineTakes(std::string_view chunk, ByteSource* from);
    // Runs a change to the engine that did not come through the inbox: what
    // waits there is taken first, and its scan continues from the result.
    template <class Change>
    void besideInbox(Change change);

    // The printer's replies go to whichever source the chunk came from.
    class Replies : public ReplyOutput {
    public:
        explicit Replies(CaptureSession& session) : session_(session) {}
        void Output(std::string_view bytes) override;

    private:
        CaptureSession& session_;
    };
    class SessionStatus : public StatusControls {
    public:
        explicit SessionStatus(CaptureSession& session) : session_(session) {}
        int enableStatusBackValue() const override { return session_.status_->enableStatusBackValue(); }
        int statusBitsValue(int i) const override { return session_.status_->statusBitsValue(i); }
        int statusBits2Value(int i) const override { return session_.status_->statusBits2Value(i); }

    private:
        CaptureSession& session_;
    };

    RowView ascii_{RowView::Form::Characters};
    RowView hex_{RowView::Form::Hex};
    MemoryLineView log_;
    CounterCaption byteCount_{"Bytes Received = "};
    CounterCaption commandCount_{"Command Count = "};
    FixedStatusControls startUpStatus_{0, 8, true};
    const StatusControls* status_ = &startUpStatus_;
    SessionStatus statusReader_{*this};
    Replies replies_{*this};
    PrinterEmulator printer_{statusReader_, replies_};
    CaptureEngine engine_;
    StatusRequestScan requestScan_;
    ArrivalInbox inbox_;
    ByteSource* inboxSource_ = nullptr;
    ByteSource* receivingFrom_ = nullptr;
    long long repliesSent_ = 0;
    bool scanDisagreed_ = false;
    std::vector<CaptureListener*> listeners_;
    std::vector<ByteSource*> sources_;
};

} // namespace ostrel
