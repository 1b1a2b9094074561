#include "session/print_pace.h"

#include "session/arrival_inbox.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ostrel {
namespace {

    // The model is read this much at a time, so that where a cut or the paper
    // is known to within a few hundred bytes.
    constexpr std::size_t kPiece = 512;

    // Thermal receipt printers print at 203 dots an inch.
    constexpr double kDotsPerMm = 8.0;

    // The model here only measures paper: it keeps next to nothing of it.
    receipt::PrinterLimits MeasuringLimits()
    {
        receipt::PrinterLimits limits;
        limits.keptReceipts = 2;
        limits.keptBytes = 4LL << 20;
        limits.receiptBytes = 2LL << 20;
        limits.listedEvents = 16;
        limits.listedSymbolBytes = 4096;
        return limits;
    }

    std::string Metres(double millimetres)
    {
        char text[32];
        std::snprintf(text, sizeof text, "%.3f m", millimetres / 1000.0);
        return text;
    }

} // namespace

PrintPace::PrintPace(Settings settings, const receipt::PrinterProfile& model)
    : settings_(settings)
    , dotsPerMm_(kDotsPerMm)
    , model_(geometry_, MeasuringLimits())
    , timeline_(settings.mmPerSecond * kDotsPerMm)
{
    model_.setProfile(model);
    model_.setCommandSink([this](const receipt::ModelCommand& command) { commandRead(command); });
    scan_.setLanguage(model.language);
    if (settings_.rollMetres > 0) {
        timeline_.loadRoll(std::llround(settings_.rollMetres * 1000 * dotsPerMm_), 0);
        nearEndDots_ = std::llround(settings_.nearEndMetres * 1000 * dotsPerMm_);
    }
}

PrintPace::~PrintPace() = default;

void PrintPace::feed(std::string_view piece)
{
    // Each command as the model hands it over needs the paper fed up to
    // then; the bytes after the last of them, the paper fed so far.
    model_.feed(piece);
    fed_ += static_cast<long long>(piece.size());
    // A command not yet whole has done nothing yet: its bytes wait.
    const auto open = model_.unfinished();
    const long long done = open ? std::min(fed_, open->offset) : fed_;
    for (const long long cuts = model_.summary().cutCount; cutsSeen_ < cuts; ++cutsSeen_)
        cuts_.push_back(done);
    timeline_.needs(done, model_.paperFed());
}

void PrintPace::commandRead(const receipt::ModelCommand& command)
{
    const long long end = command.offset + command.length;
    timeline_.needs(end, model_.paperFed());
    for (const long long cuts = model_.summary().cutCount; cutsSeen_ < cuts; ++cutsSeen_)
        cuts_.push_back(end);
}

void PrintPace::take(std::string_view chunk, const void* owner,
    std::function<void(const RealTimeRequest&)> answer, long long nowUs)
{
    timeline_.runTo(nowUs);
    auto shared = std::make_shared<std::function<void(const RealTimeRequest&)>>(std::move(answer));
    std::size_t at = 0;
    const auto feedTo = [&](std::size_t end) {
        while (at < end) {
            const std::size_t piece = std::min(kPiece, end - at);
            feed(chunk.substr(at, piece));
            at += piece;
        }
    };
    for (const RealTimeRequest& request : scan_.scan(chunk)) {
        if (!ArrivalInbox::WaitsOnPrinting(request)) {
            if (!answersEveryRequest())
                continue;
            // Everything before it has printed, or the roll ran out on the way.
            feedTo(request.end);
            runTo(nowUs);
            (*shared)(request);
            continue;
        }
        // The request waits on the paper before it, not on what follows.
        feedTo(request.end);
        waiting_.push_back({ fed_, model_.paperFed(), owner, request, shared });
    }
    feedTo(chunk.size());
    runTo(nowUs);
}

void PrintPace::forget(const void* owner)
{
    std::erase_if(waiting_, [owner](const Waiting& w) { return w.owner == owner; });
}

void PrintPace::runTo(long long nowUs)
{
    timeline_.runTo(nowUs);
    while (!cuts_.empty() && cuts_.front() <= timeline_.printed()) {
        cuts_.pop_front();
        ++cutsPrinted_;
    }
    tellRoll();
    // Answered in turn, each when printing reached it; an answer may take
    // more bytes in, so the queue is looked at afresh each time.
    while (!waiting_.empty() && waiting_.front().end <= timeline_.printed()) {
        const Waiting next = waiting_.front();
        waiting_.pop_front();
        (*next.answer)(next.request);
    }
}

void PrintPace::tellRoll()
{
    const long long left = timeline_.rollLeft();
    if (left >= 0 && !nearEnd_ && left <= nearEndDots_) {
        nearEnd_ = true;
        if (changed)
            changed("paper near end: " + Metres(settings_.nearEndMetres * 1000)
                + " or less left on the roll");
    }
    if (timeline_.ranOut() && !toldOut_) {
        toldOut_ = true;
        if (changed)
            changed("paper out: the roll ran out after " + Metres(fedMillimetres()) + ", "
                + std::to_string(timeline_.printed()) + " bytes printed, "
                + std::to_string(waiting()) + " waiting");
    }
}

long long PrintPace::nextUs() const
{
    if (!timeline_.printing())
        return -1;
    // The next request's answer on time; otherwise a steady beat, so that
    // the buffer, the roll and the counts move while paper feeds.
    long long next = -1;
    if (!waiting_.empty())
        next = timeline_.fedAt(timeline_.reachable(waiting_.front().dots));
    const long long beat = timeline_.fedAt(
        timeline_.reachable(timeline_.fed() + std::max(1LL, std::llround(dotsPerMm_ * 2))));
    if (beat >= 0 && (next < 0 || beat < next))
        next = beat;
    return next;
}

bool PrintPace::roomAgain() const
{
    // As a printer does, the port is read again once some room is free, not
    // at the first byte printed.
    return waiting() <= settings_.buffer - std::min<long long>(256, settings_.buffer / 2);
}

void PrintPace::halt(bool halted, long long nowUs)
{
    timeline_.halt(halted, nowUs);
    runTo(nowUs);
}

void PrintPace::loadPaper(long long nowUs)
{
    if (settings_.rollMetres <= 0)
        return;
    const bool wasOut = timeline_.ranOut();
    timeline_.loadRoll(std::llround(settings_.rollMetres * 1000 * dotsPerMm_), nowUs);
    nearEnd_ = false;
    toldOut_ = false;
    if (changed)
        changed(std::string("paper loaded: a new roll of ") + Metres(settings_.rollMetres * 1000)
            + (wasOut ? ", printing goes on after " + std::to_string(timeline_.printed()) + " bytes"
                      : ""));
    runTo(nowUs);
}

double PrintPace::fedMillimetres() const
{
    return static_cast<double>(timeline_.fed()) / dotsPerMm_;
}

double PrintPace::paperLeftMillimetres() const
{
    const long long left = timeline_.rollLeft();
    return left < 0 ? -1 : static_cast<double>(left) / dotsPerMm_;
}

} // namespace ostrel
