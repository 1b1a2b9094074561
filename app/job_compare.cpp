#include "app/job_compare.h"

#include "printer/command_listing.h"

#include <algorithm>
#include <vector>

namespace ostrel {

namespace {

enum class Step { Same, Missing, Extra };

// The steps that turn `golden` into `job`: a longest common subsequence of
// pieces, after the common start and end are set aside. Where the middle is
// too long for that, it is taken as all missing then all extra.
std::vector<Step> Align(const std::vector<FramedPiece>& golden, const std::vector<FramedPiece>& job)
{
    const auto same = [&](std::size_t g, std::size_t j) { return golden[g].bytes == job[j].bytes; };
    std::size_t front = 0;
    while (front < golden.size() && front < job.size() && same(front, front))
        ++front;
    std::size_t back = 0;
    while (back < golden.size() - front && back < job.size() - front &&
           same(golden.size() - 1 - back, job.size() - 1 - back))
        ++back;
    const std::size_t n = golden.size() - front - back;
    const std::size_t m = job.size() - front - back;

    std::vector<Step> steps(front, Step::Same);
    if (n * m <= 4'000'000) {
        // lengths[i][j]: the common length of golden[i..] and job[j..] in the middle.
        std::vector<std::vector<std::uint32_t>> lengths(n + 1, std::vector<std::uint32_t>(m + 1));
        for (std::size_t i = n; i-- > 0;) {
            for (std::size_t j = m; j-- > 0;) {
                lengths[i][j] = same(front + i, front + j) ? lengths[i + 1][j + 1] + 1
                                                           : std::max(lengths[i + 1][j], lengths[i][j + 1]);
            }
        }
        std::size_t i = 0, j = 0;
        while (i < n || j < m) {
            if (i < n && j < m && same(front + i, front + j)) {
                steps.push_back(Step::Same);
                ++i;
                ++j;
            } else if (j == m || (i < n && lengths[i + 1][j] >= lengths[i][j + 1])) {
                steps.push_back(Step::Missing);
                ++i;
            } else {
                steps.push_back(Step::Extra);
                ++j;
            }
        }
    } else {
        steps.insert(steps.end(), n, Step::Missing);
        steps.insert(steps.end(), m, Step::Extra);
    }
    steps.insert(steps.end(), back, Step::Same);
    return steps;
}

} // namespace

bool CompareJobs(std::string_view golden, std::string_view job, std::string& report,
                 std::size_t mostDifferences)
{
    const std::vector<FramedPiece> expected = SplitIntoCommands(golden);
    const std::vector<FramedPiece> got = SplitIntoCommands(job);
    const std::vector<Step> steps = Align(expected, got);

    std::vector<std::string> differences;
    std::size_t g = 0, j = 0;
    for (std::size_t s = 0; s < steps.size(); ++s) {
        if (steps[s] == Step::Same) {
            ++g;
            ++j;
            continue;
        }
        const std::string where = "at byte " + std::to_string(j < got.size() ? got[j].offset : job.size()) +
                                  " (golden byte " +
                                  std::to_string(g < expected.size() ? expected[g].offset : golden.size()) + "): ";
        // A piece missing where another of the same kind is extra: changed.
        if (steps[s] == Step::Missing && s + 1 < steps.size() && steps[s + 1] == Step::Extra &&
            expected[g].command == got[j].command &&
            CommandKind(expected[g].bytes) == CommandKind(got[j].bytes)) {
            differences.push_back(where + "changed: expected " + DescribePiece(expected[g]) +
                                  "\n      got " + DescribePiece(got[j]));
            ++g;
            ++j;
            ++s;
        } else if (steps[s] == Step::Missing) {
            differences.push_back(where + "missing: " + DescribePiece(expected[g++]));
        } else {
            differences.push_back(where + "extra: " + DescribePiece(got[j++]));
        }
    }

    const auto commands = [](const std::vector<FramedPiece>& pieces) {
        return std::count_if(pieces.begin(), pieces.end(), [](const FramedPiece& p) { return p.command; });
    };
    if (differences.empty()) {
        report = "same: " + std::to_string(job.size()) + " bytes, " + std::to_string(commands(got)) +
                 " commands\n";
        return true;
    }
    report = "differs from the golden job in " + std::to_string(differences.size()) +
             (differences.size() == 1 ? " place" : " places") + " (golden " +
             std::to_string(golden.size()) + " bytes, " + std::to_string(commands(expected)) +
             " commands; this job " + std::to_string(job.size()) + " bytes, " +
             std::to_string(commands(got)) + " commands):\n";
    for (std::size_t i = 0; i < differences.size() && i < mostDifferences; ++i)
        report += "  " + differences[i] + "\n";
    if (differences.size() > mostDifferences)
        report += "  ... and " + std::to_string(differences.size() - mostDifferences) + " more\n";
    return false;
}

} // namespace ostrel
