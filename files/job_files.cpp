#include "files/job_files.h"

#include "files/atomic_file.h"

#include <cstdio>
#include <filesystem>

namespace ostrel {

std::string JobBaseName(int number)
{
    char name[32];
    std::snprintf(name, sizeof name, "job-%04d", number);
    return name;
}

int NextJobNumber(const std::string& folder)
{
    int highest = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        int number = 0;
        if (std::sscanf(name.c_str(), "job-%d.", &number) == 1 && number > highest)
            highest = number;
    }
    return highest + 1;
}

namespace {

std::string Fields(const JobRecord& job)
{
    std::string json = "\"job\":" + std::to_string(job.number) + ",\"source\":" +
                       JsonString(job.source) + ",\"ended_by\":" + JsonString(job.endedBy) +
                       ",\"bytes\":" + std::to_string(job.bytes.size() + job.droppedBytes) +
                       ",\"bytes_kept\":" + std::to_string(job.bytes.size()) +
                       ",\"truncated\":" + (job.droppedBytes > 0 ? "true" : "false") +
                       ",\"commands\":" + std::to_string(job.commands) +
                       ",\"status_replies\":" + std::to_string(job.statusReplies) +
                       ",\"cuts\":" + std::to_string(job.cuts) + ",\"not_understood\":[";
    for (const auto& [offset, bytes] : job.notUnderstood) {
        json += (&bytes == &job.notUnderstood.front().second ? "" : ",");
        json += "{\"offset\":" + std::to_string(offset) + ",\"bytes\":" + JsonString(bytes) + "}";
    }
    json += "],\"not_understood_bytes\":" + std::to_string(job.notUnderstoodBytes);
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

std::string JobLineJson(const JobRecord& job, const std::vector<std::string>& files,
                        const std::string& failure)
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
    AtomicFileSet files;
    const bool ok = files.stage(base + ".bin", job.bytes) &&
                    files.stage(base + ".txt", job.commandLog) &&
                    files.stage(base + ".json", JobReportJson(job)) && files.commit();
    if (!ok) {
        error = files.error();
        return false;
    }
    written = {base + ".bin", base + ".txt", base + ".json"};
    return true;
}

} // namespace ostrel
