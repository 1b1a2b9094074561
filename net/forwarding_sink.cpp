#include "net/forwarding_sink.h"

namespace ostrel {

// What may wait for a slow printer before its peer is read no further.
constexpr std::size_t kForwardWaiting = 1 << 20;

ForwardingSink::ForwardingSink(ByteSink& inner, std::string host, quint16 port, bool fallbackAnswer)
    : inner_(inner), host_(std::move(host)), port_(port), fallbackAnswer_(fallbackAnswer)
{
}

ForwardingSink::~ForwardingSink() = default;

long long ForwardingSink::sinceStartUs() const
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start_).count();
}

void ForwardingSink::sourceStarted(ByteSource& source)
{
    source.setStandInAnswers(false);
    record_.emplace(language_);
    start_ = std::chrono::steady_clock::now();
    forward_ = std::make_unique<PrinterForward>(host_, port_, kForwardWaiting);
    forward_->answered = [this, &source](std::string_view bytes) {
        source.sendReply(bytes);
        record_->printerAnswered(bytes, sinceStartUs());
        for (const std::string& said : record_->takeAnswered())
            if (answeredRequest)
                answeredRequest(said);
    };
    forward_->congestion = [this](bool congested) {
        if (congestion)
            congestion(congested);
    };
    forward_->failed = [this, &source](const std::string& why) {
        if (fallbackAnswer_)
            source.setStandInAnswers(true);
        if (congestion)
            congestion(false);
        if (failed)
            failed(why);
    };
    forward_->open();
    inner_.sourceStarted(source);
}

void ForwardingSink::bytesArrived(std::string_view chunk, ByteSource& from)
{
    inner_.bytesArrived(chunk, from);
    if (forward_) {
        record_->programSent(chunk, sinceStartUs());
        forward_->send(chunk);
    }
}

void ForwardingSink::sourceStopped(ByteSource& source, const std::string& why)
{
    if (forward_) {
        forward_->close(std::chrono::seconds(2));
        forward_.reset();
    }
    if (congestion)
        congestion(false);
    inner_.sourceStopped(source, why);
}

} // namespace ostrel
