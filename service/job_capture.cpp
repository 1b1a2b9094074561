#include "service/job_capture.h"

#include "files/capture_file_format.h"
#include "printer/command_listing.h"
#include "receipt/language_hint.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace ostrel {

namespace {

    // "2026-12-08T17:20:00.123Z"
    std::string UtcNow()
    {
        const auto now = std::chrono::system_clock::now();
        const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
        const auto millis
            = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count()
            % 1000;
        std::tm utc {};
        ::gmtime_r(&seconds, &utc);
        char text[64];
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
            utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
            static_cast<int>(millis));
        return text;
    }

} // namespace

JobCapture::JobCapture(std::string source, const StatusControls& status, const PrinterState& state,
    long long maxBytes, const std::string& printer, const std::string& printerName)
    : notUnderstood_(1000, receipt::LanguageOfPrinter(printer))
    , maxBytes_(maxBytes)
{
    record_.source = std::move(source);
    record_.printerName = printerName;
    record_.started = UtcNow();
    record_.printer = printer;
    session_.setStatusControls(status);
    session_.setPrinterState(state);
    if (const receipt::PrinterProfile* model = receipt::FindPrinterProfile(printer))
        session_.setPrinterLanguage(model->language);
    session_.addListener(*this);
    // A job keeps its command log; nobody looks at the data views.
    session_.engine().setDataViewsKept(false);
    // Room for the whole job up front, so that a long one is never copied as
    // it grows: the pages are only taken as the bytes arrive.
    record_.bytes.reserve(static_cast<std::size_t>(std::min<long long>(maxBytes, 256LL << 20)));
}

JobCapture::~JobCapture() { session_.removeListener(*this); }

void JobCapture::take(std::string_view chunk, ByteSource* from)
{
    const auto room = static_cast<std::size_t>(std::max<long long>(0, maxBytes_ - size()));
    const std::string_view kept = chunk.substr(0, room);
    record_.droppedBytes += static_cast<long long>(chunk.size() - kept.size());
    if (kept.empty())
        return;
    record_.bytes.append(kept);
    session_.UpdateData(kept, from);
}

void JobCapture::replySent(std::string_view reply, ByteSource* to)
{
    replies_.told(reply, to != nullptr ? to->replyDelivery() : ByteSource::ReplyDelivery {});
}

long long JobCapture::sinceStartUs() const
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start_)
        .count();
}

void JobCapture::forwardEnded(const PrinterForward& forward)
{
    if (!conversation_)
        return;
    record_.forward = conversation_->json(
        forward.target(), forward.error(), forward.errorAtUs(), forward.delivery());
    record_.printerAnswers = conversation_->answers();
}

void JobCapture::printerEvent(const std::string& what, long long printed)
{
    const long long received = size() + record_.droppedBytes;
    if (record_.printerEvents.size() < kPrinterEventsListed)
        record_.printerEvents.push_back(
            { received, std::clamp(printed - paceStart_, 0LL, received), what });
}

JobRecord JobCapture::finish(const std::string& endedBy, long long number, const ByteSource& from)
{
    // Only what went out is listed as sent; the rest apart, with the reason.
    replies_.settle(from.replyDelivery());
    record_.statusReplies = replies_.sent();
    record_.replies = replies_.sentListed();
    record_.repliesNotSent = replies_.notSent();
    record_.notSentReplies = replies_.notSentListed();
    record_.notSentWhy = replies_.failure();
    record_.number = number;
    record_.endedBy = endedBy;
    record_.commandLog = ViewFileBytes(session_.listCommands());
    record_.commands = session_.state().commandCount;
    record_.kinds = NamedCommandKinds(session_.commandKinds());
    // The cuts as the model's table names them, as the serial port's jobs end.
    record_.cuts = notUnderstood_.cuts();
    const receipt::Language language = receipt::LanguageOfPrinter(record_.printer);
    record_.language = receipt::LanguageName(language);
    const std::string_view start(
        record_.bytes.data(), std::min(record_.bytes.size(), receipt::kLanguageSampleBytes));
    if (const auto hint = receipt::HintLanguage(start, language)) {
        record_.hintPrinter = hint->profile;
        record_.hintText = hint->text;
    }
    record_.notUnderstood = notUnderstood_.found();
    record_.notUnderstoodBytes = notUnderstood_.bytes();
    record_.printerCommands = notUnderstood_.commands();
    return std::move(record_);
}

} // namespace ostrel
