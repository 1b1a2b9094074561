#include "app/job_compare.h"

#include "receipt/receipt_printer.h"

#include <QCryptographicHash>

#include <algorithm>
#include <climits>
#include <deque>
#include <sstream>
#include <vector>

namespace ostrel {

namespace {

    constexpr std::size_t kChunk = 64 * 1024;
    // The window in which differences are lined up, at least and at most.
    constexpr std::size_t kFirstWindow = 64;
    constexpr std::size_t kLargestWindow = 2048;

    struct Piece {
        long long offset = 0;
        long long length = 0;
        std::uint64_t hash = 0;
        std::string kind;
        std::string line; // as the Receipt Preview lists it
    };

    bool SamePiece(const Piece& a, const Piece& b)
    {
        return a.hash == b.hash && a.length == b.length;
    }

    // One job read through a printer model of its own, its commands queued as
    // they become whole.
    class Side {
    public:
        Side(std::istream& in, const receipt::SymbolGeometry& geometry,
            const receipt::PrinterProfile* model)
            : in_(in)
            , printer_(geometry, Limits())
        {
            if (model != nullptr)
                printer_.setProfile(*model);
            printer_.setCommandSink([this](const receipt::ModelCommand& command) {
                ++commands_;
                if (!counting_)
                    queue.push_back({ command.offset, command.length, command.hash, command.kind,
                        command.text + "  " + command.description });
            });
        }
        // Reads until `want` commands wait or the job ends; false when it could
        // not be read.
        bool fill(std::size_t want)
        {
            while (!ended_ && queue.size() < want) {
                in_.read(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
                const auto got = static_cast<std::size_t>(in_.gcount());
                if (in_.bad())
                    return false;
                printer_.feed(std::string_view(buffer_.data(), got));
                digest_.addData(QByteArrayView(buffer_.data(), static_cast<qsizetype>(got)));
                bytes_ += static_cast<long long>(got);
                if (got < buffer_.size()) {
                    printer_.finish();
                    ended_ = true;
                    takeUnfinished();
                }
            }
            return true;
        }
        // Reads to the end only to count.
        bool drain()
        {
            counting_ = true;
            queue.clear();
            return fill(SIZE_MAX);
        }
        bool ended() const { return ended_ && queue.empty(); }
        // Of every byte read: two jobs whose commands compare the same may still
        // differ inside a command the model does not keep whole.
        QByteArray digest() const { return digest_.result(); }
        // Where the next command is, for a difference found there.
        long long here() const { return queue.empty() ? bytes_ : queue.front().offset; }
        long long bytes() const { return bytes_; }
        long long commands() const { return commands_; }

        std::deque<Piece> queue;

    private:
        // The model keeps little: the pieces are what is compared.
        static receipt::PrinterLimits Limits()
        {
            receipt::PrinterLimits limits;
            limits.keptReceipts = 2;
            limits.keptBytes = LLONG_MAX / 4;
            limits.receiptBytes = 4LL << 20;
            return limits;
        }

        // A job that stops inside a command ends with that command, cut short:
        // compared by its kind and by how much of it came.
        void takeUnfinished()
        {
            const auto unfinished = printer_.unfinished();
            if (!unfinished || counting_)
                return;
            Piece piece;
            piece.offset = unfinished->offset;
            piece.length = bytes_ - unfinished->offset;
            piece.kind = unfinished->command;
            piece.hash = std::hash<std::string>()(unfinished->command)
                ^ static_cast<std::uint64_t>(piece.length);
            piece.line = unfinished->command + "  Unfinished: " + std::to_string(piece.length)
                + " bytes"
                + (unfinished->bytesMissing > 0
                        ? ", " + std::to_string(unfinished->bytesMissing) + " more needed"
                        : std::string());
            queue.push_back(std::move(piece));
        }

        std::istream& in_;
        QCryptographicHash digest_ { QCryptographicHash::Sha256 };
        std::vector<char> buffer_ = std::vector<char>(kChunk);
        receipt::ReceiptPrinter printer_;
        bool ended_ = false;
        bool counting_ = false;
        long long bytes_ = 0;
        long long commands_ = 0;
    };

    enum class Step { Same, Missing, Extra };

    // The steps that turn the first n golden pieces into the first m of the job:
    // a longest common subsequence.
    std::vector<Step> Align(
        const std::deque<Piece>& golden, std::size_t n, const std::deque<Piece>& job, std::size_t m)
    {
        std::vector<std::uint16_t> lengths((n + 1) * (m + 1), 0);
        const auto at = [&](std::size_t i, std::size_t j) -> std::uint16_t& {
            return lengths[i * (m + 1) + j];
        };
        for (std::size_t i = n; i-- > 0;)
            for (std::size_t j = m; j-- > 0;)
                at(i, j) = SamePiece(golden[i], job[j])
                    ? static_cast<std::uint16_t>(at(i + 1, j + 1) + 1)
                    : std::max(at(i + 1, j), at(i, j + 1));
        std::vector<Step> steps;
        std::size_t i = 0, j = 0;
        while (i < n || j < m) {
            if (i < n && j < m && SamePiece(golden[i], job[j])) {
                steps.push_back(Step::Same);
                ++i, ++j;
            } else if (j == m || (i < n && at(i + 1, j) >= at(i, j + 1))) {
                steps.push_back(Step::Missing);
                ++i;
            } else {
                steps.push_back(Step::Extra);
                ++j;
            }
        }
        return steps;
    }

    // Where two files first differ, read again from their start; -1 when they
    // cannot be read again (a pipe).
    long long FirstDifferentByte(std::istream& a, std::istream& b)
    {
        for (std::istream* in : { &a, &b }) {
            in->clear();
            in->seekg(0);
            if (!*in)
                return -1;
        }
        std::vector<char> left(kChunk), right(kChunk);
        for (long long at = 0;;) {
            a.read(left.data(), static_cast<std::streamsize>(left.size()));
            b.read(right.data(), static_cast<std::streamsize>(right.size()));
            const auto gotA = static_cast<std::size_t>(a.gcount()),
                       gotB = static_cast<std::size_t>(b.gcount());
            const std::size_t common = std::min(gotA, gotB);
            const auto differ = std::mismatch(
                left.begin(), left.begin() + static_cast<std::ptrdiff_t>(common), right.begin());
            if (differ.first != left.begin() + static_cast<std::ptrdiff_t>(common))
                return at + (differ.first - left.begin());
            if (gotA != gotB)
                return at + static_cast<long long>(common);
            if (gotA == 0 || a.bad() || b.bad())
                return -1;
            at += static_cast<long long>(common);
        }
    }

} // namespace

JobComparison CompareJobs(std::istream& goldenIn, std::istream& jobIn,
    const receipt::SymbolGeometry& geometry, std::size_t mostShown, long long mostCounted,
    const receipt::PrinterProfile* model)
{
    Side golden(goldenIn, geometry, model), job(jobIn, geometry, model);
    JobComparison result;
    std::vector<std::string> shown;
    long long differences = 0;
    std::size_t window = kFirstWindow;
    const auto note = [&](std::string text) {
        ++differences;
        if (shown.size() < mostShown)
            shown.push_back(std::move(text));
    };
    const auto fill = [&](std::size_t want) {
        if (!golden.fill(want))
            result.outcome = JobComparison::GoldenUnreadable;
        else if (!job.fill(want))
            result.outcome = JobComparison::JobUnreadable;
        return result.outcome == JobComparison::Same;
    };
    while (differences < mostCounted) {
        // Alike, as most of two runs of one job are: a hash at a time.
        while (fill(1) && !golden.queue.empty() && !job.queue.empty()
            && SamePiece(golden.queue.front(), job.queue.front())) {
            golden.queue.pop_front();
            job.queue.pop_front();
        }
        if (result.outcome != JobComparison::Same)
            break;
        if (golden.ended() && job.ended())
            break;
        // Unlike: the differences up to where the two meet again, lined up
        // within the window; a window with no meeting point grows.
        if (!fill(window))
            break;
        const std::size_t n = std::min(window, golden.queue.size()),
                          m = std::min(window, job.queue.size());
        const std::vector<Step> steps = Align(golden.queue, n, job.queue, m);
        bool met = false;
        for (std::size_t s = 0; s < steps.size() && !met && differences < mostCounted; ++s) {
            const std::string where = "at byte " + std::to_string(job.here()) + " (golden byte "
                + std::to_string(golden.here()) + "): ";
            if (steps[s] == Step::Same) {
                met = true;
                break;
            }
            if (steps[s] == Step::Missing && s + 1 < steps.size() && steps[s + 1] == Step::Extra
                && golden.queue.front().kind == job.queue.front().kind) {
                const bool sameLine = golden.queue.front().line == job.queue.front().line;
                note(where + "changed: expected " + golden.queue.front().line + "\n      got "
                    + job.queue.front().line
                    + (sameLine ? "\n      (the same command with other data)" : ""));
                golden.queue.pop_front();
                job.queue.pop_front();
                ++s;
            } else if (steps[s] == Step::Missing) {
                note(where + "missing: " + golden.queue.front().line);
                golden.queue.pop_front();
            } else {
                note(where + "extra: " + job.queue.front().line);
                job.queue.pop_front();
            }
        }
        window = met ? kFirstWindow : std::min(kLargestWindow, window * 2);
    }
    // The totals: what is left is read only to be counted.
    if (result.outcome == JobComparison::Same) {
        if (!golden.drain())
            result.outcome = JobComparison::GoldenUnreadable;
        else if (!job.drain())
            result.outcome = JobComparison::JobUnreadable;
    }
    if (result.outcome != JobComparison::Same)
        return result;

    if (differences == 0 && (golden.bytes() != job.bytes() || golden.digest() != job.digest())) {
        const long long at = FirstDifferentByte(goldenIn, jobIn);
        note((at >= 0 ? "at byte " + std::to_string(at) : std::string("somewhere"))
            + ": the bytes differ inside a command that compares the same, as the printer model "
              "does not keep "
              "it whole (too long, or cut off by the end of the job)");
    }
    if (differences == 0) {
        result.report = "same: " + std::to_string(job.bytes()) + " bytes, "
            + std::to_string(job.commands()) + " printer commands\n";
        return result;
    }
    result.outcome = JobComparison::Differ;
    const std::string count = differences >= mostCounted ? "at least " + std::to_string(differences)
                                                         : std::to_string(differences);
    result.report = "differs from the golden job in " + count
        + (differences == 1 ? " place" : " places") + " (golden " + std::to_string(golden.bytes())
        + " bytes, " + std::to_string(golden.commands()) + " printer commands; this job "
        + std::to_string(job.bytes()) + " bytes, " + std::to_string(job.commands())
        + " printer commands):\n";
    for (const std::string& difference : shown)
        result.report += "  " + difference + "\n";
    if (differences > static_cast<long long>(shown.size()))
        result.report += "  ... and " + std::string(differences >= mostCounted ? "at least " : "")
            + std::to_string(differences - static_cast<long long>(shown.size())) + " more\n";
    return result;
}

bool CompareJobs(
    std::string_view golden, std::string_view job, std::string& report, std::size_t mostShown)
{
    std::istringstream goldenIn { std::string(golden) }, jobIn { std::string(job) };
    receipt::EstimatedSymbolGeometry geometry;
    const JobComparison result = CompareJobs(goldenIn, jobIn, geometry, mostShown);
    report = result.report;
    return result.outcome == JobComparison::Same;
}

} // namespace ostrel
