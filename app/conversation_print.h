#pragma once

#include <iosfwd>
#include <string>

namespace ostrel {

// Prints the conversation of a forwarded job from its files (job-N.json with
// job-N.bin and job-N.replies.bin beside it): each chunk both ways with its
// time and first bytes, then each status request with the printer's answer.
// Returns the exit status: 0, or 1 with a message naming the file and why.
int PrintConversation(const std::string& jsonFile, std::ostream& out, std::ostream& err);

// The "forward" object of the record beside a forwarded job's bytes
// (job-N.json beside job-N.bin), as JSON text; empty when there is none.
std::string ForwardRecordBeside(const std::string& jobFile);

} // namespace ostrel
