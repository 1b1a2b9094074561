#include "net/forwarding_sink.h"

namespace ostrel {

ForwardingSink::ForwardingSink(ByteSink& inner, std::string host, quint16 port, bool fallbackAnswer)
    : inner_(inner)
    , name_(std::move(host))
    , port_(port)
    , fallbackAnswer_(fallbackAnswer)
{
    tapGap_.setSingleShot(true);
    tapGap_.setInterval(kTapGap);
    connect(&tapGap_, &QTimer::timeout, this, [this] { end(tapped_); });
}

ForwardingSink::ForwardingSink(ByteSink& inner, std::function<bool(std::string_view)> write,
    std::string target, bool fallbackAnswer)
    : ForwardingSink(inner, std::move(target), 0, fallbackAnswer)
{
    write_ = std::move(write);
}

ForwardingSink::~ForwardingSink() = default;

long long ForwardingSink::Job::sinceStartUs() const
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start)
        .count();
}

void ForwardingSink::start(std::unique_ptr<Job>& job, ByteSource& source, bool network)
{
    // A network job is a new connection to the printer, which may answer
    // again; a tapped source was silenced once, and a failure with the
    // fallback leaves the stand-in answering it from then on.
    if (network)
        source.setStandInAnswers(false);
    job = std::make_unique<Job>();
    Job* const at = job.get();
    at->source = &source;
    at->record.emplace(language_);
    at->start = std::chrono::steady_clock::now();
    at->forward = write_ ? std::make_unique<PrinterForward>(write_, name_)
                         : std::make_unique<PrinterForward>(name_, port_, kForwardBuffer);
    at->forward->clock = [at] { return at->sinceStartUs(); };
    at->forward->answered = [this, at](std::string_view bytes) {
        at->source->sendReply(bytes);
        at->record->printerAnswered(bytes, at->sinceStartUs());
        for (const ConversationRecord::Answered& said : at->record->takeAnswered())
            if (answeredRequest)
                answeredRequest(*at->source, said.end, said.said);
    };
    at->forward->congestion = [this, network](bool congested) {
        if (network && congestion)
            congestion(congested);
    };
    at->forward->failed = [this, at, network](const std::string& why) {
        if (fallbackAnswer_)
            at->source->setStandInAnswers(true);
        if (network && congestion)
            congestion(false);
        if (failed)
            failed(why);
    };
    newest_ = at;
    at->forward->open();
}

void ForwardingSink::end(std::unique_ptr<Job>& job, std::function<void()> then)
{
    if (!job)
        return;
    const bool network = &job == &network_;
    Job* const at = job.get();
    closing_.push_back(std::move(job));
    if (network && congestion)
        congestion(false);
    // The printer takes what waits and answers the last requests, for at most a moment.
    at->forward->close(kForwardLinger, [this, at, then = std::move(then)] {
        QTimer::singleShot(0, this, [this, at, then] {
            closed(at);
            if (then)
                then();
        });
    });
}

void ForwardingSink::closed(const Job* job)
{
    keep(*job);
    if (newest_ == job)
        newest_ = nullptr;
    std::erase_if(closing_, [job](const std::unique_ptr<Job>& j) { return j.get() == job; });
}

void ForwardingSink::keep(const Job& job)
{
    const PrinterForward& f = *job.forward;
    keptJson_ = job.record->json(f.target(), f.error(), f.errorAtUs(), f.delivery());
    keptBytes_ = job.record->answers();
}

std::string ForwardingSink::conversationJson() const
{
    if (newest_ == nullptr)
        return keptJson_;
    const PrinterForward& f = *newest_->forward;
    return newest_->record->json(f.target(), f.error(), f.errorAtUs(), f.delivery());
}

std::string ForwardingSink::printerBytes() const
{
    return newest_ == nullptr ? keptBytes_ : newest_->record->answers();
}

void ForwardingSink::sourceStarted(ByteSource& source)
{
    start(network_, source, true);
    inner_.sourceStarted(source);
}

void ForwardingSink::bytesArrived(std::string_view chunk, ByteSource& from)
{
    inner_.bytesArrived(chunk, from);
    if (network_) {
        network_->record->programSent(chunk, network_->sinceStartUs());
        network_->forward->send(chunk);
    }
}

// The program's connection stays open while the printer answers its last
// requests.
bool ForwardingSink::keepsEnded(ByteSource&, std::function<void()> release)
{
    if (!network_)
        return false;
    end(network_, std::move(release));
    return true;
}

void ForwardingSink::sourceStopped(ByteSource& source, const std::string& why)
{
    end(network_);
    inner_.sourceStopped(source, why);
}

void ForwardingSink::tap(ByteSource& source)
{
    tappedSource_ = &source;
    source.setStandInAnswers(false);
}

void ForwardingSink::chunkTaken(std::string_view chunk, ByteSource* from)
{
    if (from == nullptr || from != tappedSource_ || chunk.empty())
        return;
    if (!tapped_)
        start(tapped_, *from, false);
    tapped_->record->programSent(chunk, tapped_->sinceStartUs());
    tapped_->forward->send(chunk);
    tapGap_.start();
}

void ForwardingSink::sourceEnded(ByteSource& source)
{
    if (tapped_ && &source == tapped_->source) {
        tapGap_.stop();
        end(tapped_);
    }
}

void ForwardingSink::printerAnswered(std::string_view bytes)
{
    // A job on the network goes first; between jobs nobody asked.
    if (network_)
        network_->forward->answer(bytes);
    else if (tapped_)
        tapped_->forward->answer(bytes);
}

} // namespace ostrel
