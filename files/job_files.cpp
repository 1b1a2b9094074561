#include "files/job_files.h"

#include "files/atomic_file.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <limits>

namespace ostrel {

namespace {

    std::string RepliesJson(const std::vector<std::string>& replies)
    {
        std::string json;
        for (const std::string& reply : replies)
            json += (json.empty() ? "" : ",") + JsonString(reply);
        return json;
    }

} // namespace

std::string JobBaseName(long long number)
{
    char name[40];
    std::snprintf(name, sizeof name, "job-%04lld", number);
    return name;
}

namespace {

    // The job a file belongs to: "job-0012.bin" is 12. Only digits count, so a
    // name no run of ours wrote is left alone.
    // Every file a job may be written as.
    constexpr std::string_view kJobFileEndings[]
        = { ".bin", ".txt", ".json", ".replies.bin", ".xml", ".png", ".jpg" };

    bool JobNumberOf(const std::string& name, long long& number)
    {
        if (!name.starts_with("job-"))
            return false;
        const char* digits = name.c_str() + 4;
        const char* end = name.c_str() + name.size();
        const auto [stop, ec] = std::from_chars(digits, end, number);
        // Only the files a job is written as: a stray "job-0005.bin.bak" is
        // no part of job 5, and pruning it would never remove it.
        const std::string_view ending(stop, static_cast<std::size_t>(end - stop));
        return ec == std::errc() && stop != digits && *digits != '-' && number > 0
            && std::find(std::begin(kJobFileEndings), std::end(kJobFileEndings), ending)
            != std::end(kJobFileEndings);
    }

} // namespace

std::vector<std::pair<long long, long long>> JobsInFolder(const std::string& folder)
{
    std::map<long long, long long> jobs;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        long long number = 0;
        if (!JobNumberOf(entry.path().filename().string(), number))
            continue;
        std::error_code sizeError;
        const auto size = entry.is_regular_file(sizeError) ? entry.file_size(sizeError) : 0;
        jobs[number] += sizeError ? 0 : static_cast<long long>(size);
    }
    return { jobs.begin(), jobs.end() };
}

long long NextJobNumber(const std::string& folder)
{
    const auto jobs = JobsInFolder(folder);
    const long long highest = jobs.empty() ? 0 : jobs.back().first;
    if (highest < std::numeric_limits<long long>::max())
        return highest + 1;
    // A folder holding the last number there is: the first one free.
    long long free = 1;
    for (const auto& [number, bytes] : jobs) {
        if (number != free)
            break;
        ++free;
    }
    return free;
}

std::vector<long long> IncompleteJobs(const std::string& folder)
{
    std::map<long long, int> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        long long number = 0;
        const std::string name = entry.path().filename().string();
        // The three every job has; the others are beside some jobs only.
        if (JobNumberOf(name, number) && !name.ends_with(".replies.bin")
            && (name.ends_with(".bin") || name.ends_with(".txt") || name.ends_with(".json")))
            ++files[number];
    }
    std::vector<long long> incomplete;
    for (const auto& [number, count] : files)
        if (count < 3)
            incomplete.push_back(number);
    return incomplete;
}

std::vector<long long> PruneJobs(
    const std::string& folder, long long keep, long long maxBytes, std::string& error)
{
    auto jobs = JobsInFolder(folder);
    long long total = 0;
    for (const auto& [number, bytes] : jobs)
        total += bytes;
    std::vector<long long> removed;
    for (std::size_t oldest = 0; oldest + 1 < jobs.size(); ++oldest) {
        const auto left = static_cast<long long>(jobs.size() - oldest);
        if ((keep <= 0 || left <= keep) && (maxBytes <= 0 || total <= maxBytes))
            break;
        const std::string base
            = (std::filesystem::path(folder) / JobBaseName(jobs[oldest].first)).string();
        for (const std::string_view ending : kJobFileEndings) {
            std::error_code failed;
            std::filesystem::remove(base + std::string(ending), failed);
            if (failed) {
                error = "cannot remove " + base + std::string(ending) + ": " + failed.message();
                return removed;
            }
        }
        total -= jobs[oldest].second;
        removed.push_back(jobs[oldest].first);
    }
    return removed;
}

namespace {

    std::string Fields(const JobRecord& job)
    {
        std::string json = "\"job\":" + std::to_string(job.number)
            + ",\"source\":" + JsonString(job.source) + ",\"ended_by\":" + JsonString(job.endedBy)
            + ",\"printer\":" + JsonString(job.printer)
            + (job.printerName.empty() ? std::string()
                                       : ",\"printer_name\":" + JsonString(job.printerName))
            + (job.started.empty() ? std::string() : ",\"started\":" + JsonString(job.started))
            + ",\"language\":" + JsonString(job.language)
            + (job.hintPrinter.empty()
                    ? std::string()
                    : ",\"language_hint\":{\"printer\":" + JsonString(job.hintPrinter)
                        + ",\"text\":" + JsonString(job.hintText) + "}")
            + ",\"bytes\":" + std::to_string(job.bytes.size() + job.droppedBytes)
            + ",\"bytes_kept\":" + std::to_string(job.bytes.size())
            + ",\"truncated\":" + (job.droppedBytes > 0 ? "true" : "false") + ",\"commands\":"
            + std::to_string(job.commands) + ",\"log_commands\":" + std::to_string(job.commands)
            + ",\"printer_commands\":" + std::to_string(job.printerCommands)
            + ",\"status_replies\":" + std::to_string(job.statusReplies) + ",\"replies\":["
            + RepliesJson(job.replies) + "]"
            + (job.repliesNotSent == 0
                    ? std::string()
                    : ",\"replies_not_sent\":{\"count\":" + std::to_string(job.repliesNotSent)
                        + ",\"replies\":[" + RepliesJson(job.notSentReplies)
                        + "],\"reason\":" + JsonString(job.notSentWhy) + "}")
            + ",\"cuts\":" + std::to_string(job.cuts) + ",\"not_understood\":[";
        for (const auto& [offset, bytes] : job.notUnderstood) {
            json += (&bytes == &job.notUnderstood.front().second ? "" : ",");
            json += "{\"offset\":" + std::to_string(offset) + ",\"bytes\":" + JsonString(bytes)
                + "}";
        }
        json += "],\"not_understood_bytes\":" + std::to_string(job.notUnderstoodBytes);
        for (const auto& [key, value] : job.origin)
            json += "," + JsonString(key) + ":" + JsonString(value);
        if (!job.forward.empty())
            json += ",\"forward\":" + job.forward;
        if (!job.memory.empty())
            json += ",\"memory\":" + job.memory;
        if (!job.printerEvents.empty()) {
            json += ",\"printer_events\":[";
            for (const JobRecord::PrinterEvent& event : job.printerEvents)
                json += std::string(&event == &job.printerEvents.front() ? "" : ",")
                    + "{\"received\":" + std::to_string(event.received) + ",\"printed\":"
                    + std::to_string(event.printed) + ",\"event\":" + JsonString(event.what) + "}";
            json += "]";
        }
        return json;
    }

} // namespace

std::string JobReportJson(const JobRecord& job)
{
    std::string json = "{" + Fields(job) + ",\"commands_by_kind\":{";
    bool first = true;
    for (const auto& [kind, count] : job.kinds) {
        json += (first ? "" : ",") + JsonString(kind) + ":" + std::to_string(count);
        first = false;
    }
    return json + "}}\n";
}

std::string JobLineJson(
    const JobRecord& job, const std::vector<std::string>& files, const std::string& failure)
{
    std::string json = "{" + Fields(job) + ",\"files\":[";
    for (std::size_t i = 0; i < files.size(); ++i)
        json += (i > 0 ? "," : "") + JsonString(files[i]);
    json += "]";
    if (!failure.empty())
        json += ",\"error\":" + JsonString(failure);
    return json + "}";
}

bool WriteJobFiles(const std::string& folder, const JobRecord& job,
    std::vector<std::string>& written, std::string& error)
{
    written.clear();
    const std::string base = (std::filesystem::path(folder) / JobBaseName(job.number)).string();
    const bool keepsDocument = !job.document.empty();
    if (keepsDocument
        && std::find_if(std::begin(kDocumentEndings), std::end(kDocumentEndings),
               [&job](const char* ending) { return job.documentEnding == ending; })
            == std::end(kDocumentEndings)) {
        error = "a job's document cannot be kept as ." + job.documentEnding;
        return false;
    }
    AtomicFileSet files;
    // A forwarded job keeps the printer's answers beside it; one that came
    // as a document keeps the document.
    const bool ok = files.stage(base + ".bin", job.bytes)
        && files.stage(base + ".txt", job.commandLog)
        && files.stage(base + ".json", JobReportJson(job))
        && (job.forward.empty() || files.stage(base + ".replies.bin", job.printerAnswers))
        && (!keepsDocument || files.stage(base + "." + job.documentEnding, job.document))
        && files.commit();
    if (!ok) {
        error = files.error();
        return false;
    }
    written = { base + ".bin", base + ".txt", base + ".json" };
    if (!job.forward.empty())
        written.push_back(base + ".replies.bin");
    if (keepsDocument)
        written.push_back(base + "." + job.documentEnding);
    return true;
}

} // namespace ostrel
