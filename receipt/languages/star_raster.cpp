#include "receipt/receipt_printer.h"

#include "receipt/command_bytes.h"
#include "receipt/command_table.h"

#include <algorithm>
#include <set>

// Star's raster mode, one row a command, as Star's Line Mode and StarPRNT
// manuals give them and as Star's raster drivers send them:
// a Star Line or StarPRNT printer reads these from ESC * r A until ESC * r B,
// and nothing else but Star's standard commands. Raster lines are the
// letters b and k; no byte is text. Numbers are ASCII digits ended by NUL.
namespace ostrel::receipt {

using namespace bytes;
using namespace length;

namespace {

    // The ASCII digits from `from` up to the NUL that ends the command, at most
    // `cap` (the manuals allow up to 255 digits).
    int Number(const unsigned char* c, long long from, long long length, int cap)
    {
        long long n = 0;
        for (long long i = from; i < length && c[i] != 0; ++i)
            if (c[i] >= '0' && c[i] <= '9')
                n = std::min<long long>(cap, n * 10 + (c[i] - '0'));
        return static_cast<int>(n);
    }

    // ESC * r N n NUL, then the n bytes it discards (n of at most 4 digits).
    CommandSize DiscardLength(const unsigned char* b, std::size_t available, long long cap)
    {
        const CommandSize head = Terminated<4, 0>(b, available, cap);
        if (head.framing != Framing::Whole)
            return head;
        return Fixed(available, head.length + Number(b, 4, head.length, 9999));
    }

    // What an FF or EOT mode does, as the manuals' table has it: 1 a form
    // feed, 2 and a cut feed, 3 and a tear bar, 8 a full cut, 12 a partial
    // cut, 36 a full cut and the presenter's eject, each odd one of these
    // with a cut feed first; 0 is the initial 13.
    std::string PageEnd(int mode)
    {
        if (mode == 0)
            mode = 13;
        const bool cuts = (mode & 40) != 0;
        std::string what = "form feed";
        if (mode == 2 || (cuts && (mode & 1) != 0))
            what += ", cut feed";
        if (!cuts && (mode & 3) == 3)
            what += ", tear bar";
        if (cuts)
            what += ReceiptPrinter::RasterCut(mode) == MarkerKind::PartialCut ? ", partial cut"
                                                                              : ", full cut";
        if ((mode & 32) != 0)
            what += ", eject";
        return what;
    }

} // namespace

// The table reads best a row a line, as the other languages' tables do.
// clang-format off
// One row a line: clang-format cannot lay out rows whose action is a DOES
// lambda.
// clang-format off
#define DOES [](ReceiptPrinter& p, [[maybe_unused]] const unsigned char* c, [[maybe_unused]] long long length)

// Line mode's ways into raster mode, in the Star Line and StarPRNT tables.
std::vector<CommandRow> ReceiptPrinter::StarRasterEntryRows() {
    return {
        {"\x1b*r", NotUnderstood<4>, "Not understood", nullptr},
        {"\x1b*rR", Bytes<4>, "Initialize raster mode", DOES {
             p.setting(c, length, "Initialize raster mode");
             p.initializeRaster();
         }},
        {"\x1b*rA", Bytes<4>, "Enter raster mode", DOES { p.enterRasterMode(c, length); }, Role::None, TableMode::Raster},
        {"\x1b*rB", Bytes<4>, "Quit raster mode", DOES { p.setting(c, length, "Quit raster mode (not in raster mode)"); }},
    };
}

std::vector<CommandRow> ReceiptPrinter::StarRasterRows() {
    // Star's standard commands, which its printers read in raster mode too:
    // NUL, the drawers, the status requests and the settings around a job.
    static const std::set<std::string_view> kStandard = {
        std::string_view("\0", 1), "\x07", "\x1c", "\x1a", "\x05", "\x04", "\x17", "\x1b", "\x1b\x1d", "\x1b\x1e",
        "\x1b\x06\x01", "\x1b\x1e" "a", "\x1b\x1e" "E", "\x1b\x07", "\x1b\x1d\x03", "\x1b\x1e" "B", "\x1b\x1d#",
        "\x1b\x1e" "A", "\x1b\x1e" "d", "\x1b\x1e" "r", "\x1b\x1d\x19\x11", "\x1b\x1d\x19\x12",
    };
    std::vector<CommandRow> rows;
    for (const CommandRow& row : StarLineRows())
        if (kStandard.count(row.bytes) != 0) rows.push_back(row);
    const std::vector<CommandRow> raster = {
        {"\x1b*r", NotUnderstood<4>, "Not understood", nullptr},
        {"\x1b*rm", NotUnderstood<5>, "Not understood", nullptr},
        {"\x1b\x0c", NotUnderstood<3>, "Not understood", nullptr},
        {"\x1b*rR", Bytes<4>, "Initialize raster mode", DOES {
             p.setting(c, length, "Initialize raster mode");
             p.initializeRaster();
         }},
        {"\x1b*rA", Bytes<4>, "Enter raster mode", DOES { p.setting(c, length, "Enter raster mode (already in raster mode)"); }},
        // Rows drawn since the last page was executed end as EOT mode says.
        // The document ends here, with whatever cuts its pages made: a job
        // split at a page's cut would leave the next one's lines read out of
        // raster mode, so this is the row a serial job ends at.
        {"\x1b*rB", Bytes<4>, "Quit raster mode", DOES {
             if (!p.raster_.drawn) return p.setting(c, length, "Quit raster mode");
             p.executeRasterPage(c, length, p.raster_.eotMode, "Quit raster mode, EOT mode first: " + PageEnd(p.raster_.eotMode));
         }, Role::Cut, TableMode::Normal},
        {"\x1b*rC", Bytes<4>, "Clear raster data", DOES { p.clearRasterPage(c, length); }},
        {"\x1b*rD", Terminated<4, 0>, "Drawer drive", DOES { p.rasterDrawers(c, length, Number(c, 4, length, 3)); }},
        {"\x1b*rE", Terminated<4, 0>, "Set raster EOT mode", DOES {
             p.raster_.eotMode = Number(c, 4, length, 255);
             p.setting(c, length, "Set raster EOT mode " + std::to_string(p.raster_.eotMode) + ": " + PageEnd(p.raster_.eotMode));
         }},
        {"\x1b*rF", Terminated<4, 0>, "Set raster FF mode", DOES {
             p.raster_.ffMode = Number(c, 4, length, 255);
             p.setting(c, length, "Set raster FF mode " + std::to_string(p.raster_.ffMode) + ": " + PageEnd(p.raster_.ffMode));
         }},
        {"\x1b*rK", Terminated<4, 0>, "Set raster print color", DOES {
             const int n = Number(c, 4, length, 255);
             p.setting(c, length, std::string("Set raster print color: ") + (n == 1 ? "cyan" : n == 2 ? "magenta" : n == 3 ? "yellow" : "black") +
                                      (n >= 1 && n <= 3 ? " (two-color models; drawn black)" : ""));
         }},
        {"\x1b*rP", Terminated<4, 0>, "Set raster page length", DOES {
             p.raster_.pageLength = Number(c, 4, length, p.limits_.receiptHeight);
             p.setting(c, length, p.raster_.pageLength == 0 ? "Set raster page length: continuous"
                                                             : "Set raster page length " + std::to_string(p.raster_.pageLength) + " dots");
         }},
        {"\x1b*rQ", Terminated<4, 0>, "Set raster print quality", DOES {
             p.setting(c, length, "Set raster print quality " + std::to_string(Number(c, 4, length, 255)));
         }},
        {"\x1b*rT", Terminated<4, 0>, "Set raster top margin", DOES {
             const int n = Number(c, 4, length, 255);
             p.setting(c, length, std::string("Set raster top margin: ") +
                                      (n == 1 ? "by reverse feed" : n == 2 ? "standard" : "the model's default"));
         }},
        {"\x1b*rml", Terminated<5, 0>, "Set raster left margin", DOES { p.rasterMargin(c, length, Number(c, 5, length, 65535), true); }},
        {"\x1b*rmr", Terminated<5, 0>, "Set raster right margin", DOES { p.rasterMargin(c, length, Number(c, 5, length, 65535), false); }},
        {"\x1b*rY", Terminated<4, 0>, "Move vertical direction position", DOES {
             const int dots = Number(c, 4, length, p.limits_.receiptHeight);
             p.raster_.rowOpen = false;
             p.raster_.drawn = p.raster_.drawn || dots > 0; // the page is under way, ink or not
             p.addCommand(c, length, "Feed " + std::to_string(dots) + " dots", CommandClass::Drawn);
             p.feedPaper(dots);
         }},
        {"\x1b*rN", DiscardLength, "Discard data", DOES {
             p.knownNotDrawn(c, length, "Discard data: the " + std::to_string(Number(c, 4, length, 9999)) + " bytes after it");
         }},
        {std::string_view("\x1b\x0c\x00", 3), Bytes<3>, "Execute FF mode", DOES {
             p.executeRasterPage(c, length, p.raster_.ffMode, "Execute FF mode: " + PageEnd(p.raster_.ffMode));
         }},
        {"\x1b\x0c\x04", Bytes<3>, "Execute EOT mode", DOES {
             p.executeRasterPage(c, length, p.raster_.eotMode, "Execute EOT mode: " + PageEnd(p.raster_.eotMode));
         }},
        {"b", CountedLowHigh<3>, "Send raster data (auto line feed)", DOES { p.rasterLine(c, length, true); }},
        {"k", CountedLowHigh<3>, "Transfer raster data", DOES { p.rasterLine(c, length, false); }},
    };
    rows.insert(rows.end(), raster.begin(), raster.end());
    return rows;
}

#undef DOES
// clang-format on
// clang-format on

} // namespace ostrel::receipt
