#pragma once

#include "protocol/hex_byte.h"
#include "protocol/json_string.h"

#include <map>
#include <string>
#include <vector>

namespace ostrel {

// One finished print job as the headless capture keeps it.
struct JobRecord {
    long long number = 0;
    std::string source; // "tcp 127.0.0.1:50312", "serial /dev/ttyUSB0"
    std::string endedBy; // "closed by the peer", "silence", "cut", ...
    std::string printer = "generic"; // the printer model it was taken as
    std::string printerName; // the stand-in printer that took it
    std::string started; // when its first byte came, ISO 8601 UTC
    std::string language = "ESC/POS"; // that model's command language
    // Another model whose language reads the job far better: its id and why.
    std::string hintPrinter, hintText;
    // Forwarded to a real printer: what it answered, and the conversation
    // as a JSON object (its target, failure, timeline and decoded answers).
    std::string printerAnswers;
    std::string forward;
    std::string bytes; // the whole job, as received (up to the size limit)
    std::string commandLog; // the command log file's bytes
    long long commands = 0; // as the command log counts them
    long long printerCommands = 0; // as the printer model counts them
    long long statusReplies = 0; // replies written to the peer
    std::vector<std::string> replies; // the first of them, in hex
    // Replies that could not be written (the peer stopped reading, went away),
    // the first of them in hex, and why.
    long long repliesNotSent = 0;
    std::vector<std::string> notSentReplies;
    std::string notSentWhy;
    long long cuts = 0;
    long long droppedBytes = 0; // received past the size limit
    std::map<std::string, long long> kinds;
    // Bytes the receipt printer model did not understand: offset and bytes in
    // hex, the first ones only; notUnderstoodBytes counts them all.
    std::vector<std::pair<long long, std::string>> notUnderstood;
    long long notUnderstoodBytes = 0;
    // What happened to the printer while the job came (a printer in time):
    // how many of the job's bytes had come and had printed by then, and
    // what; the first kPrinterEventsListed of them.
    struct PrinterEvent {
        long long received = 0, printed = 0;
        std::string what;
    };
    std::vector<PrinterEvent> printerEvents;
    // What the job did to the printer's memory, as a JSON object (what it
    // stored or deleted, what was refused); empty when nothing.
    std::string memory;
    // A job that came whole through another kind of port: more of what its
    // sender said (an LPD job's name, user and host, ...), as string fields,
    // and the document it came as (ePOS-Print XML, a picture), kept beside
    // the job as job-NNNN.<documentEnding> (one of kDocumentEndings).
    std::vector<std::pair<std::string, std::string>> origin;
    std::string document;
    std::string documentEnding;
};

// What a job's document may be kept as.
inline constexpr const char* kDocumentEndings[] = { "xml", "png", "jpg" };

inline constexpr std::size_t kPrinterEventsListed = 100;

// How many replies a job's report lists; all are counted.
inline constexpr std::size_t kRepliesListed = 100;

// "job-0007".
std::string JobBaseName(long long number);

// The number after the highest job-NNNN file in the folder, so that a new run
// never replaces an earlier run's jobs; 1 in an empty or missing folder.
long long NextJobNumber(const std::string& folder);

// The jobs in the folder, oldest first: each number with the bytes its files
// take.
std::vector<std::pair<long long, long long>> JobsInFolder(const std::string& folder);

// The jobs in the folder that lack one of their three files: a run was killed
// between writing them.
std::vector<long long> IncompleteJobs(const std::string& folder);

// Removes the oldest jobs' files until at most `keep` jobs (0: any number)
// take at most `maxBytes` (0: any size); the newest job always stays. Gives
// the numbers removed; a file that cannot be removed is named in `error`.
std::vector<long long> PruneJobs(
    const std::string& folder, long long keep, long long maxBytes, std::string& error);

// The job's report file: JSON, everything but the bytes themselves.
std::string JobReportJson(const JobRecord& job);

// The line printed for a finished job: JSON on one line, with the files
// written (none where writing failed) and the failure, if any.
std::string JobLineJson(
    const JobRecord& job, const std::vector<std::string>& files, const std::string& failure);

// Writes job-NNNN.bin, .txt and .json into the folder, all or none; on
// failure returns false with a reason naming the file.
bool WriteJobFiles(const std::string& folder, const JobRecord& job,
    std::vector<std::string>& written, std::string& error);

} // namespace ostrel
