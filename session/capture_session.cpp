#include "session/capture_session.h"

#include <algorithm>
#include <cassert>

namespace ostrel {

CaptureSession::CaptureSession()
    : engine_({ ascii_, hex_, log_, byteCount_, commandCount_ }, &printer_)
{
    engine_.ResetToStartValues();
    statusControlsChanged();
}

void CaptureSession::setStatusControls(const StatusControls& controls)
{
    status_ = &controls;
    statusControlsChanged();
}

void CaptureSession::statusControlsChanged()
{
    inbox_.publishStatus(
        status_->enableStatusBackValue() == 1, GetStatusByte1(*status_), GetStatusByte2(*status_));
}

void CaptureSession::UpdateData(std::string_view chunk, ByteSource* from)
{
    if (chunk.empty())
        return;
    // On this thread the boxes are read as they stand at the request.
    statusControlsChanged();
    // The chunk's status requests are answered first: showing a long chunk
    // takes far longer than finding them, and the host is waiting.
    const ArrivalInbox::Received received = inbox_.receive(from, chunk);
    if (from != nullptr && !received.replies.empty())
        from->sendReply(received.replies);
    takeArrived();
}

void CaptureSession::ClearAll()
{
    inbox_.clearAll();
    takeArrived();
}

void CaptureSession::takeArrived()
{
    // Called again from a listener, it leaves the bytes to the running call,
    // which takes them after the ones it holds, in order.
    if (taking_) {
        takeAgain_ = true;
        return;
    }
    taking_ = true;
    do {
        takeAgain_ = false;
        std::vector<ArrivalInbox::Arrival> arrivals = inbox_.take();
        for (ArrivalInbox::Arrival& arrival : arrivals)
            takeArrival(arrival);
    } while (takeAgain_);
    taking_ = false;
}

void CaptureSession::takeArrival(ArrivalInbox::Arrival& arrival)
{
    if (arrival.clearAll) {
        engine_.ClearCapture();
        tellListeners([](CaptureListener& listener) { listener.captureCleared(); });
        return;
    }
    // The replies went out when the bytes were handed over; they are counted
    // and told now, before the chunk.
    for (const std::string& reply : arrival.replies) {
        ++repliesSent_;
        tellListeners([&](CaptureListener& listener) { listener.replySent(reply, arrival.from); });
    }
    printer_.answeredAhead(arrival.requests);
    engine_.UpdateData(arrival.bytes);
    // The inbox frames by the engine's own framer and rules.
    assert(engine_.describer() != &printer_ || printer_.answeredAheadLeft() == 0);
    printer_.answeredAhead(0);
    tellListeners(
        [&](CaptureListener& listener) { listener.chunkTaken(arrival.bytes, arrival.from); });
}

void CaptureSession::tellListeners(const auto& tell)
{
    // A listener may remove itself while being told.
    const std::vector<CaptureListener*> listeners = listeners_;
    for (CaptureListener* listener : listeners)
        tell(*listener);
}

void CaptureSession::NoRepliesInPlace::Output(std::string_view)
{
    assert(!"a status request the inbox did not answer");
}

void CaptureSession::addListener(CaptureListener& listener) { listeners_.push_back(&listener); }

void CaptureSession::removeListener(CaptureListener& listener)
{
    listeners_.erase(
        std::remove(listeners_.begin(), listeners_.end(), &listener), listeners_.end());
}

void CaptureSession::attachSource(ByteSource& source)
{
    if (std::find(sources_.begin(), sources_.end(), &source) == sources_.end()) {
        sources_.push_back(&source);
        inbox_.adopt(&source);
    }
}

void CaptureSession::detachSource(ByteSource& source)
{
    takeArrived();
    inbox_.forget(&source);
    sources_.erase(std::remove(sources_.begin(), sources_.end(), &source), sources_.end());
}

void CaptureSession::setPrinterState(const PrinterState& state)
{
    printerState_ = state;
    // Peers that asked for automatic status hear of the change at once.
    for (const auto& automatic : inbox_.publishPrinterState(state)) {
        ByteSource* const source = automatic.first;
        const std::string& reply = automatic.second;
        source->sendReply(reply);
        ++repliesSent_;
        tellListeners([&](CaptureListener& listener) { listener.replySent(reply, source); });
    }
}

void CaptureSession::answerPrinted(ByteSource& from, const RealTimeRequest& request)
{
    const std::string reply = inbox_.answerPrinted(&from, request);
    if (reply.empty())
        return;
    from.sendReply(reply);
    ++repliesSent_;
    tellListeners([&](CaptureListener& listener) { listener.replySent(reply, &from); });
}

void CaptureSession::sourceStopped(ByteSource& source, const std::string&)
{
    detachSource(source);
    sourceEnded(source);
}

void CaptureSession::sourceEnded(ByteSource& source)
{
    takeArrived();
    tellListeners([&](CaptureListener& listener) { listener.sourceEnded(source); });
}

void CaptureSession::deliverPending()
{
    const std::vector<ByteSource*> sources = sources_;
    for (ByteSource* source : sources)
        source->deliverPending();
}

} // namespace ostrel
