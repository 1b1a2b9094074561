#pragma once

#include "capture/capture_engine.h"
#include "printer/printer_emulator.h"
#include "session/arrival_inbox.h"
#include "session/byte_source.h"

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
    virtual void replySent(std::string_view, ByteSource*) { }
    virtual void captureCleared() { }
    virtual void sourceEnded(ByteSource&) { }
};

// One capture: the state, the three views and the two counters, the printer
// that names commands, and the listeners. Every byte source hands its chunks
// to the inbox, here or on a thread of its own; the requests are answered
// there, and the replies go back to the source the request came from. The
// session takes what waits in the inbox and tells the listeners, holding no
// lock, so a listener may do anything, close a source included. Knows no
// window and no port.
class CaptureSession : public ByteSink {
public:
    // Status return on, only "Cutter Home" set, until setStatusControls.
    CaptureSession();
    CaptureSession(const CaptureSession&) = delete;
    CaptureSession& operator=(const CaptureSession&) = delete;

    // Where the status boxes are read (the window's boxes). The controls must
    // outlive the session or be replaced first.
    void setStatusControls(const StatusControls& controls);
    // The boxes changed: requests answered from now on, on any thread, carry
    // the new values.
    void statusControlsChanged();

    // Hands a received chunk over, sends its replies to `from`, then takes
    // everything waiting and tells the listeners. Called from the session's
    // own thread; a source reading on a thread of its own uses inbox().
    void UpdateData(std::string_view chunk, ByteSource* from = nullptr);
    // Clear All: the views emptied and the raw capture restarted, after
    // every byte handed over before it.
    void ClearAll();

    // The printer's sensors and switches as the user sets them: the
    // real-time replies carry them, and peers that asked for automatic
    // status are sent it when a group they asked for changes.
    void setPrinterState(const PrinterState& state);
    const PrinterState& printerState() const { return printerState_; }
    // The printer model's language: which status requests are answered, and how.
    void setPrinterLanguage(receipt::Language language) { inbox_.setLanguage(language); }
    // GS r and Star's ETB wait for printing to reach them: a printer in time
    // calls answerPrinted() then, which sends the reply and tells listeners.
    void setAnswersAfterPrinting(bool after, bool everyRequest = false)
    {
        inbox_.setAnswersAfterPrinting(after, everyRequest);
    }
    void answerPrinted(ByteSource& from, const RealTimeRequest& request);

    // Where a source reading on a thread of its own hands its bytes.
    ArrivalInbox& inbox() { return inbox_; }
    // Takes what waits in the inbox, oldest first, and tells the listeners.
    void takeArrived();

    void addListener(CaptureListener& listener);
    void removeListener(CaptureListener& listener);

    // Sources whose waiting bytes deliverPending collects.
    void attachSource(ByteSource& source);
    // What the source handed over is taken first, so nothing waits for it.
    void detachSource(ByteSource& source);
    // A source says it has gone; the listeners hear of it after its bytes.
    void sourceEnded(ByteSource& source);
    // Asks every attached source to hand over what is waiting now.
    void deliverPending();

    // A source wired to the session: attached when it starts, its bytes
    // taken as UpdateData takes them, detached and ended when it stops.
    void sourceStarted(ByteSource& source) override { attachSource(source); }
    void bytesArrived(std::string_view chunk, ByteSource& from) override
    {
        UpdateData(chunk, &from);
    }
    void sourceStopped(ByteSource& source, const std::string&) override;

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

private:
    void takeArrival(ArrivalInbox::Arrival& arrival);
    void tellListeners(const auto& tell);

    // The inbox answers every request before the engine sees it, so the
    // printer never sends one itself.
    class NoRepliesInPlace : public ReplyOutput {
    public:
        void Output(std::string_view) override;
    };

    RowView ascii_ { RowView::Form::Characters };
    RowView hex_ { RowView::Form::Hex };
    MemoryLineView log_;
    CounterCaption byteCount_ { "Bytes Received = " };
    CounterCaption commandCount_ { "Command Count = " };
    FixedStatusControls startUpStatus_ { kStartUpStatusByte1, kStartUpStatusByte2, true };
    const StatusControls* status_ = &startUpStatus_;
    NoRepliesInPlace noRepliesInPlace_;
    PrinterEmulator printer_ { startUpStatus_, noRepliesInPlace_ };
    CaptureEngine engine_;
    ArrivalInbox inbox_;
    PrinterState printerState_;
    bool taking_ = false; // takeArrived is running
    bool takeAgain_ = false; // something was handed over while it ran
    long long repliesSent_ = 0;
    std::vector<CaptureListener*> listeners_;
    std::vector<ByteSource*> sources_;
};

} // namespace ostrel
