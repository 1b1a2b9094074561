#include "session/capture_session.h"

#include "printer/status_request_scan.h"

#include <algorithm>

namespace ostrel {

CaptureSession::CaptureSession()
    : engine_({ascii_, hex_, log_, byteCount_, commandCount_}, &printer_)
{
    engine_.ResetToStartValues();
}

void CaptureSession::setStatusControls(const StatusControls& controls)
{
    status_ = &controls;
    statusControlsChanged();
}

void CaptureSession::statusControlsChanged()
{
    inbox_.publishStatus(status_->enableStatusBackValue() == 1, GetStatusByte1(*status_),
                         GetStatusByte2(*status_));
}

template <class Change>
void CaptureSession::besideInbox(Change change)
{
    if (inboxSource_ == nullptr) {
        change();
        return;
    }
    const std::lock_guard<std::recursive_mutex> hold(inbox_.mutex());
    takeArrived();
    change();
    inbox_.restart(engine_.state(), log_.lineCount() == 0);
}

ArrivalInbox& CaptureSession::arrivalInbox(ByteSource& source)
{
    const std::lock_guard<std::recursive_mutex> hold(inbox_.mutex());
    takeArrived();
    inboxSource_ = &source;
    inbox_.restart(engine_.state(), log_.lineCount() == 0);
    statusControlsChanged();
    return inbox_;
}

void CaptureSession::closeArrivalInbox()
{
    const std::lock_guard<std::recursive_mutex> hold(inbox_.mutex());
    takeArrived();
    inboxSource_ = nullptr;
}

void CaptureSession::takeArrived()
{
    if (inboxSource_ == nullptr)
        return;
    ArrivalInbox::Arrived arrived = inbox_.take();
    if (!arrived.bytes.empty())
        takeAnswered(std::move(arrived));
}

void CaptureSession::takeAnswered(ArrivalInbox::Arrived arrived)
{
    // The replies went out when the bytes arrived; they are counted and told
    // now, before the chunk, as if answered ahead here.
    receivingFrom_ = inboxSource_;
    for (const std::string& reply : arrived.replies) {
        ++repliesSent_;
        for (CaptureListener* listener : listeners_)
            listener->replySent(reply, inboxSource_);
    }
    printer_.answeredAhead(arrived.requests);
    engineTakes(arrived.bytes, inboxSource_);
}

void CaptureSession::UpdateData(std::string_view chunk, ByteSource* from)
{
    if (chunk.empty())
        return;
    besideInbox([&] {
        receivingFrom_ = from;
        // The chunk's status requests are answered first: showing a long
        // chunk takes far longer than finding them, and the host is waiting.
        requestScan_.restart(engine_.state(), log_.lineCount() == 0);
        const int requests = requestScan_.countNext(chunk);
        if (requests > 0)
            answerAhead(requests);
        engineTakes(chunk, from);
    });
}

void CaptureSession::engineTakes(std::string_view chunk, ByteSource* from)
{
    const long long inPlace = printer_.answeredInPlace();
    engine_.UpdateData(chunk);
    if (printer_.answeredAheadLeft() != 0 || printer_.answeredInPlace() != inPlace) {
        scanDisagreed_ = true;
        printer_.answeredAhead(0);
    }
    receivingFrom_ = nullptr;
    // A listener may remove itself while being told.
    const std::vector<CaptureListener*> listeners = listeners_;
    for (CaptureListener* listener : listeners)
        listener->chunkTaken(chunk, from);
}

void CaptureSession::answerAhead(int requests)
{
    // All the chunk's replies leave in one write: the boxes are read once per
    // request, as always, but the host gets them without a pause between.
    struct Collector : ReplyOutput {
        void Output(std::string_view bytes) override { replies.emplace_back(bytes); }
        std::vector<std::string> replies;
    } collector;
    for (int i = 0; i < requests; ++i)
        SendStatusReply(statusReader_, collector);
    std::string all;
    for (const std::string& reply : collector.replies)
        all += reply;
    if (receivingFrom_ != nullptr && !all.empty())
        receivingFrom_->sendReply(all);
    for (const std::string& reply : collector.replies) {
        ++repliesSent_;
        for (CaptureListener* listener : listeners_)
            listener->replySent(reply, receivingFrom_);
    }
    printer_.answeredAhead(requests);
}

void CaptureSession::Replies::Output(std::string_view bytes)
{
    ++session_.repliesSent_;
    if (session_.receivingFrom_ != nullptr)
        session_.receivingFrom_->sendReply(bytes);
    for (CaptureListener* listener : session_.listeners_)
        listener->replySent(bytes, session_.receivingFrom_);
}

void CaptureSession::ClearAll()
{
    besideInbox([this] { engine_.ClearCapture(); });
    const std::vector<CaptureListener*> listeners = listeners_;
    for (CaptureListener* listener : listeners)
        listener->captureCleared();
}

void CaptureSession::addListener(CaptureListener& listener) { listeners_.push_back(&listener); }

void CaptureSession::removeListener(CaptureListener& listener)
{
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), &listener), listeners_.end());
}

void CaptureSession::attachSource(ByteSource& source)
{
    if (std::find(sources_.begin(), sources_.end(), &source) == sources_.end())
        sources_.push_back(&source);
}

void CaptureSession::detachSource(ByteSource& source)
{
    sources_.erase(std::remove(sources_.begin(), sources_.end(), &source), sources_.end());
}

void CaptureSession::sourceEnded(ByteSource& source)
{
    const std::vector<CaptureListener*> listeners = listeners_;
    for (CaptureListener* listener : listeners)
        listener->sourceEnded(source);
}

void CaptureSession::deliverPending()
{
    const std::vector<ByteSource*> sources = sources_;
    for (ByteSource* source : sources)
        source->deliverPending();
}

} // namespace ostrel
