#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrel {

// How much one LPD connection may make the printer hold.
struct LpdLimits {
    long long mostDataBytes = 64LL
        << 20; // a data file, and all those waiting for their control file
    std::size_t mostLineBytes = 1024; // a command or subcommand line, its LF included
    std::size_t mostControlBytes = 16 * 1024;
};

// What a control file says of its job (RFC 1179, section 7).
struct LpdControlFile {
    std::string jobName; // J
    std::string user; // P
    std::string host; // H
    std::string sourceName; // N: the name of the file printed, the first given
    std::string className; // C
    std::string title; // T
    std::string banner; // L: the user a banner page is for
    // Each data file it prints, with the letter of the first line naming it
    // ('l' prints its bytes as they are, control characters too).
    std::vector<std::pair<std::string, char>> formats;
};
// A line of any other letter is passed over.
LpdControlFile ParseLpdControlFile(std::string_view text);

// A data file to print.
struct LpdJob {
    std::string queue;
    std::string fileName; // as the subcommand named it
    std::string bytes;
    bool hasControl = false;
    LpdControlFile control;
    std::string incomplete; // why it is not all the peer meant to send; empty when it is
};

// What a command asks of the queue, for the answer's text.
struct LpdQuery {
    enum Kind { ShortState = 3, LongState = 4, Remove = 5 } kind = ShortState;
    std::string queue;
    std::string operands; // the rest of the line: a list of users or jobs, or "agent list"
};

// One LPD connection read as RFC 1179 lays it out, a byte at a time or in any
// chunks alike: a command line; for "receive a job" its subcommands, the
// control and data files they announce, each acknowledged with a zero byte;
// the stream mode of CUPS's lpd backend, whose data file is announced as 0 or
// 999999999999 bytes and ended by closing the connection. Anything it cannot
// take gets a non-zero byte and ends the conversation; nothing received is
// lost for it.
class LpdConversation {
public:
    explicit LpdConversation(LpdLimits limits = {})
        : limits_(limits)
    {
    }

    // Bytes to write to the peer, in order.
    std::function<void(std::string_view bytes)> reply;
    // A data file to print, once its control file is known or none will come.
    std::function<void(LpdJob job)> job;
    // The text answering a query; the connection ends after it.
    std::function<std::string(const LpdQuery& query)> answer;
    // Something wrong with what the peer sent, or a job it dropped: a reason
    // for a message (peer-given bytes in it already quoted).
    std::function<void(const std::string& why)> problem;

    // Takes what the peer sent; what comes after the conversation is over
    // is not read.
    void take(std::string_view bytes);
    // The connection ended: `closedByPeer` or else for `why` (a timeout, a
    // failure, the service stopping). What arrived is printed.
    void end(bool closedByPeer, const std::string& why);
    // Nothing more is read: the connection may close once its replies are out.
    bool over() const { return stage_ == Stage::Over; }

    // The size CUPS's lpd backend announces for a data file it streams.
    static constexpr long long kStreamSize = 999999999999LL;

private:
    enum class Stage { Command, Subcommand, ControlFile, DataFile, FileEnd, Stream, Over };
    void takeLine(std::string_view line);
    void command(std::string_view line);
    void subcommand(std::string_view line);
    void fileEnded();
    void controlFileDone(std::string_view text);
    void dataFileDone(std::string incomplete);
    void refuse(const std::string& why);
    void send(std::string_view bytes);
    long long held() const;

    LpdLimits limits_;
    Stage stage_ = Stage::Command;
    std::string line_; // the line being read
    std::string queue_;
    bool fileIsControl_ = false;
    std::string fileName_; // the file being received
    long long fileSize_ = 0; // what its subcommand announced
    std::string file_; // what came of it
    bool hasControl_ = false;
    LpdControlFile control_;
    std::vector<LpdJob> waiting_; // data files that came before their control file
};

} // namespace ostrel
