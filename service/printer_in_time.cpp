#include "service/printer_in_time.h"

#include <algorithm>
#include <cstdio>

namespace ostrel {

PrinterInTime::PrinterInTime(PrintPace::Settings settings, const receipt::PrinterProfile& model,
    std::vector<FaultLine> script, const PrinterState& state)
    : pace_(settings, model)
    , state_(state)
    , reported_(state)
{
    pace_.changed = [this](const std::string& what) { tell(what); };
    pace_.halt(state_.isOffline(), nowUs());
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { run(); });
    if (!script.empty()) {
        script_ = std::make_unique<FaultScript>(std::move(script));
        scriptTimer_.setInterval(10);
        connect(&scriptTimer_, &QTimer::timeout, this, [this] { runScript(); });
        scriptTimer_.start();
    }
}

long long PrinterInTime::nowUs() const
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start_)
        .count();
}

PrinterState PrinterInTime::state() const
{
    PrinterState state = state_;
    state.paperNearEnd = state.paperNearEnd || pace_.nearEnd();
    state.paperOut = state.paperOut || pace_.paperOut();
    return state;
}

void PrinterInTime::take(
    std::string_view chunk, const void* owner, std::function<void(const RealTimeRequest&)> answer)
{
    pace_.take(chunk, owner, std::move(answer), nowUs());
    runScript();
    if (pace_.full() && !held_) {
        held_ = true;
        if (hold)
            hold(true);
    }
    run();
}

void PrinterInTime::run()
{
    pace_.runTo(nowUs());
    if (held_ && pace_.roomAgain()) {
        held_ = false;
        if (hold)
            hold(false);
    }
    schedule();
}

void PrinterInTime::schedule()
{
    const long long next = pace_.nextUs();
    if (next < 0) {
        timer_.stop();
        return;
    }
    const long long waitUs = std::max(0LL, next - nowUs());
    timer_.start(static_cast<int>(std::min<long long>((waitUs + 999) / 1000, 1000)));
}

void PrinterInTime::setState(const PrinterState& state)
{
    if (pace_.paperOut() && !state.paperOut)
        pace_.loadPaper(nowUs());
    state_ = state;
    changed();
}

void PrinterInTime::loadPaper()
{
    pace_.loadPaper(nowUs());
    changed();
}

// The printer stops while the state set makes it offline; peers hear of
// what it reports as soon as that changes.
void PrinterInTime::changed()
{
    pace_.halt(state_.isOffline(), nowUs());
    schedule();
    const PrinterState now = state();
    if (now == reported_)
        return;
    reported_ = now;
    if (stateChanged)
        stateChanged(now);
}

void PrinterInTime::tell(const std::string& what)
{
    if (event)
        event(what);
    changed();
}

void PrinterInTime::runScript()
{
    if (!script_)
        return;
    // Counted as received, so that a line still comes while printing is stopped.
    const FaultScript::Counts now { static_cast<double>(nowUs()) / 1e6, pace_.receiptsReceived(),
        pace_.paperReceivedMillimetres(), pace_.received() };
    while (const auto line = script_->due(now)) {
        PrinterState state = line->state;
        state.maker = state_.maker;
        state.model = state_.model;
        if (pace_.paperOut() && !state.paperOut)
            pace_.loadPaper(nowUs());
        state_ = state;
        tell("--script line " + std::to_string(line->number) + ": "
            + (PrinterStateList(state).empty() ? "the default state" : PrinterStateList(state)));
    }
    if (script_->done())
        scriptTimer_.stop();
}

PacedSession::PacedSession(CaptureSession& session, PrinterInTime& printer)
    : session_(session)
    , printer_(printer)
{
    session_.setAnswersAfterPrinting(true, printer_.pace().answersEveryRequest());
    session_.addListener(*this);
}

PacedSession::~PacedSession() { session_.removeListener(*this); }

void PacedSession::chunkTaken(std::string_view chunk, ByteSource* from)
{
    printer_.take(chunk, from, [this, from](const RealTimeRequest& request) {
        if (from != nullptr)
            session_.answerPrinted(*from, request);
    });
}

std::string DescribePrinting(const PrinterInTime& printer)
{
    const PrintPace& pace = printer.pace();
    char text[160];
    const double left = pace.paperLeftMillimetres();
    if (left >= 0)
        std::snprintf(text, sizeof text, "%.2f m of paper left, ", left / 1000);
    else
        text[0] = '\0';
    std::string said = text;
    said += std::to_string(pace.waiting()) + " bytes waiting, ";
    if (pace.paperOut())
        said += "stopped: the roll ran out";
    else if (printer.stateSet().isOffline())
        said += "stopped: " + PrinterStateList(printer.stateSet());
    else
        said += pace.printing() ? "printing" : "idle";
    return said;
}

} // namespace ostrel
