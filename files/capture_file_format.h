#pragma once

#include "capture/capture_state.h"
#include "capture/line_view.h"

#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

// The command log file (and the replay tool's dumps of the data views): every
// line of the view, first to last, each followed by CR LF; nothing else. An
// empty view gives an empty file.
std::string ViewFileBytes(const LineView& view);

// The raw capture file: all 10,001 elements of the capture buffer, element 0
// first. Always exactly 10,001 bytes, however much was captured.
std::string RawCaptureFileBytes(const CaptureState& state);

// Names the raw capture file after the command log file: the first "." of the
// file's own name and the three characters after it become ".bin", keeping the
// name's length ("job1.txt" -> "job1.bin", "job1.text" -> "job1.bint"); a name
// without a "." gets ".bin" appended. Dots in folder names are left alone, so
// the raw file always goes next to the log. Where the rule would give the log's
// own name back (".bin", ".b", ...), ".bin" is appended instead, so the log just
// written is never overwritten; `caseInsensitiveNames` says whether the file
// system would take "JOB.BIN" and "job.bin" for the same file.
std::string RawCaptureFileName(const std::string& logFileName, bool caseInsensitiveNames);

// The received bytes a saved file holds, to be taken again as if received: a
// raw capture file (10,001 bytes, element 0 a zero nothing was received into)
// without its element 0, any other file (a job, a replay input) whole. False
// with a reason naming the file.
bool ReadReceivedBytes(const std::string& path, std::string& bytes, std::string& error);

// How many bytes a raw capture file's received part (the 10,000 bytes after
// element 0) really holds, read off the command log saved beside it: every
// byte the log lists, when they are the raw file's first ones and only zeros
// follow them. Nothing when the log does not match (another job, lines
// dropped from a long log, not a log at all).
std::optional<long long> ReceivedLengthFromLog(std::string_view log, std::string_view received);

// Whether this platform's file systems usually ignore letter case.
bool FileNamesIgnoreCase();

} // namespace ostrel
