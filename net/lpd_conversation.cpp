#include "net/lpd_conversation.h"

#include "protocol/hex_byte.h"
#include "protocol/message_text.h"

#include <algorithm>
#include <charconv>

namespace ostrel {

namespace {

    const std::string kAck(1, '\0');
    const std::string kRefused(1, '\1');

    // "count SP name": a count of decimal digits only, as RFC 1179 writes it.
    bool ReadCountAndName(std::string_view operands, long long& count, std::string& name)
    {
        const std::size_t space = operands.find(' ');
        if (space == 0 || space == std::string_view::npos || space > 15)
            return false;
        const std::string_view digits = operands.substr(0, space);
        if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        std::from_chars(digits.data(), digits.data() + digits.size(), count);
        name = operands.substr(space + 1);
        return true;
    }

    std::string Hex(char byte)
    {
        return "0x" + std::string(HexByte(static_cast<std::uint8_t>(byte)));
    }

    std::string Quoted(std::string_view text) { return "\"" + QuotedForMessage(text) + "\""; }

    std::string Files(std::size_t count)
    {
        return std::to_string(count) + (count == 1 ? " data file" : " data files");
    }

} // namespace

LpdControlFile ParseLpdControlFile(std::string_view text)
{
    LpdControlFile control;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (line.empty())
            continue;
        const std::string value(line.substr(1));
        switch (line.front()) {
        case 'J':
            control.jobName = value;
            break;
        case 'P':
            control.user = value;
            break;
        case 'H':
            control.host = value;
            break;
        case 'C':
            control.className = value;
            break;
        case 'T':
            control.title = value;
            break;
        case 'L':
            control.banner = value;
            break;
        case 'N':
            if (control.sourceName.empty())
                control.sourceName = value;
            break;
        default:
            // The print lines: a lower-case letter, then the data file's name.
            if (line.front() >= 'a' && line.front() <= 'z'
                && std::none_of(control.formats.begin(), control.formats.end(),
                    [&](const auto& format) { return format.first == value; }))
                control.formats.emplace_back(value, line.front());
        }
    }
    return control;
}

void LpdConversation::send(std::string_view bytes)
{
    if (reply)
        reply(bytes);
}

void LpdConversation::refuse(const std::string& why)
{
    send(kRefused);
    stage_ = Stage::Over;
    if (problem)
        problem(why);
}

long long LpdConversation::held() const
{
    long long bytes = fileIsControl_ ? 0 : static_cast<long long>(file_.size());
    for (const LpdJob& waiting : waiting_)
        bytes += static_cast<long long>(waiting.bytes.size());
    return bytes;
}

void LpdConversation::take(std::string_view bytes)
{
    while (!bytes.empty()) {
        switch (stage_) {
        case Stage::Over:
            return;
        case Stage::Command:
        case Stage::Subcommand: {
            const std::size_t end = bytes.find('\n');
            const std::size_t piece = std::min(end, bytes.size());
            if (line_.size() + piece + 1 > limits_.mostLineBytes)
                return refuse((stage_ == Stage::Command ? "a command line" : "a subcommand line")
                    + std::string(" longer than ") + std::to_string(limits_.mostLineBytes)
                    + " bytes");
            line_.append(bytes.substr(0, piece));
            if (end == std::string_view::npos)
                return;
            bytes.remove_prefix(end + 1);
            std::string line = std::move(line_);
            line_.clear();
            takeLine(line);
            break;
        }
        case Stage::ControlFile:
        case Stage::DataFile: {
            const std::size_t piece = static_cast<std::size_t>(
                std::min<long long>(fileSize_ - static_cast<long long>(file_.size()),
                    static_cast<long long>(bytes.size())));
            file_.append(bytes.substr(0, piece));
            bytes.remove_prefix(piece);
            if (static_cast<long long>(file_.size()) == fileSize_)
                stage_ = Stage::FileEnd;
            break;
        }
        case Stage::FileEnd: {
            const char end = bytes.front();
            bytes.remove_prefix(1);
            if (end == '\0') {
                // Acknowledged before it prints: printing may end the
                // conversation under us (the service stopping after its
                // last job), and the peer is owed the answer all the same.
                stage_ = Stage::Subcommand;
                send(kAck);
                fileEnded();
            } else {
                // The file came whole: it is kept, but what follows cannot be
                // trusted to be where the peer thinks it is.
                const std::string what
                    = (fileIsControl_ ? "the control file " : "the data file ") + Quoted(fileName_);
                fileEnded();
                refuse(what + " was followed by " + Hex(end) + ", not by a zero byte");
            }
            break;
        }
        case Stage::Stream: {
            const long long room = limits_.mostDataBytes - held();
            const std::size_t piece = static_cast<std::size_t>(
                std::min<long long>(room, static_cast<long long>(bytes.size())));
            file_.append(bytes.substr(0, piece));
            bytes.remove_prefix(piece);
            if (!bytes.empty()) {
                const std::string why = "longer than the " + std::to_string(limits_.mostDataBytes)
                    + " bytes a job may be";
                dataFileDone("cut: " + why);
                refuse("the data file " + Quoted(fileName_) + " streamed is " + why
                    + "; its first bytes are kept");
            }
            break;
        }
        }
    }
}

void LpdConversation::takeLine(std::string_view line)
{
    if (stage_ == Stage::Command)
        command(line);
    else
        subcommand(line);
}

void LpdConversation::command(std::string_view line)
{
    if (line.empty())
        return refuse("an empty command line");
    const char code = line.front();
    const std::string_view rest = line.substr(1);
    switch (code) {
    case '\1': // print any waiting jobs: every job has printed as it came
        send(kAck);
        stage_ = Stage::Over;
        return;
    case '\2':
        queue_ = rest;
        send(kAck);
        stage_ = Stage::Subcommand;
        return;
    case '\3':
    case '\4':
    case '\5': {
        LpdQuery query;
        query.kind = static_cast<LpdQuery::Kind>(code);
        const std::size_t space = std::min(rest.find(' '), rest.size());
        query.queue = rest.substr(0, space);
        query.operands = rest.substr(std::min(space + 1, rest.size()));
        stage_ = Stage::Over;
        if (answer)
            send(answer(query));
        return;
    }
    default:
        return refuse("unknown command " + Hex(code));
    }
}

void LpdConversation::subcommand(std::string_view line)
{
    if (line.empty())
        return refuse("an empty subcommand line");
    const char code = line.front();
    if (code == '\1') {
        // Abort: what waits for its control file is dropped, as the peer asks.
        if (!waiting_.empty() && problem)
            problem("the peer aborted its job: " + Files(waiting_.size())
                + " waiting for the control file dropped");
        waiting_.clear();
        hasControl_ = false;
        control_ = {};
        send(kAck);
        return;
    }
    if (code != '\2' && code != '\3')
        return refuse("unknown subcommand " + Hex(code));
    long long count = 0;
    std::string name;
    if (!ReadCountAndName(line.substr(1), count, name))
        return refuse("a malformed subcommand " + Quoted(line) + ": not \"count name\"");
    fileIsControl_ = code == '\2';
    fileName_ = std::move(name);
    fileSize_ = count;
    file_.clear();
    if (fileIsControl_) {
        if (count > static_cast<long long>(limits_.mostControlBytes))
            return refuse("a control file of " + std::to_string(count) + " bytes, more than the "
                + std::to_string(limits_.mostControlBytes) + " one may be");
        send(kAck);
        stage_ = count == 0 ? Stage::FileEnd : Stage::ControlFile;
        return;
    }
    if (count == 0 || count == kStreamSize) {
        send(kAck);
        stage_ = Stage::Stream;
        return;
    }
    const long long room = limits_.mostDataBytes - held();
    if (count > room)
        return refuse("a data file of " + std::to_string(count) + " bytes, more than the "
            + std::to_string(limits_.mostDataBytes) + " a job may be"
            + (room < limits_.mostDataBytes
                    ? " with " + std::to_string(limits_.mostDataBytes - room)
                        + " bytes waiting for their control file"
                    : std::string()));
    // Bounded above: room for all of it at once, which the system gives
    // only as it is written.
    file_.reserve(static_cast<std::size_t>(count));
    send(kAck);
    stage_ = Stage::DataFile;
}

void LpdConversation::fileEnded()
{
    if (fileIsControl_)
        controlFileDone(file_);
    else
        dataFileDone({});
    file_.clear();
}

void LpdConversation::controlFileDone(std::string_view text)
{
    control_ = ParseLpdControlFile(text);
    hasControl_ = true;
    std::vector<LpdJob> waiting = std::move(waiting_);
    waiting_.clear();
    for (LpdJob& data : waiting) {
        data.hasControl = true;
        data.control = control_;
        if (job)
            job(std::move(data));
    }
}

void LpdConversation::dataFileDone(std::string incomplete)
{
    LpdJob data;
    data.queue = queue_;
    data.fileName = fileName_;
    data.bytes = std::move(file_);
    file_.clear();
    data.incomplete = std::move(incomplete);
    if (!hasControl_) {
        waiting_.push_back(std::move(data));
        return;
    }
    data.hasControl = true;
    data.control = control_;
    if (job)
        job(std::move(data));
}

void LpdConversation::end(bool closedByPeer, const std::string& why)
{
    const std::string how = closedByPeer ? "closed by the peer" : why;
    const auto tell = [this](const std::string& what) {
        if (problem)
            problem(what);
    };
    const std::string got
        = std::to_string(file_.size()) + " of " + std::to_string(fileSize_) + " bytes";
    switch (stage_) {
    case Stage::Command:
    case Stage::Subcommand:
        if (!line_.empty())
            tell("the connection ended in the middle of a command line (" + how + ")");
        break;
    case Stage::ControlFile:
        // Its whole lines are still what the peer said of its job.
        tell("the control file " + Quoted(fileName_) + " ended after " + got + " (" + how + ")");
        controlFileDone(std::string_view(file_).substr(0, file_.rfind('\n') + 1));
        break;
    case Stage::DataFile:
        tell("the data file " + Quoted(fileName_) + " ended after " + got + " (" + how
            + "); what came is kept");
        dataFileDone("ended after " + got + ": " + how);
        break;
    case Stage::FileEnd: // all of it came, only its zero byte did not
        fileEnded();
        break;
    case Stage::Stream:
        // A stream ends as the peer closes; anything else may have cut it.
        if (closedByPeer) {
            dataFileDone({});
        } else {
            tell("the data file " + Quoted(fileName_) + " streamed was cut after "
                + std::to_string(file_.size()) + " bytes (" + how + "); what came is kept");
            dataFileDone("stream cut: " + how);
        }
        break;
    case Stage::Over:
        break;
    }
    stage_ = Stage::Over;
    line_.clear();
    if (waiting_.empty())
        return;
    tell(Files(waiting_.size()) + " came without a control file (" + how
        + "); printed all the same");
    std::vector<LpdJob> waiting = std::move(waiting_);
    waiting_.clear();
    for (LpdJob& data : waiting) {
        data.incomplete += (data.incomplete.empty() ? "" : "; ") + std::string("no control file");
        if (job)
            job(std::move(data));
    }
}

} // namespace ostrel
