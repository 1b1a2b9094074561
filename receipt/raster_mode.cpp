#include "receipt/receipt_printer.h"

#include "receipt/command_bytes.h"

#include <algorithm>

// Star's raster mode on the paper: each raster line is one dot row from the
// raster left margin, 8 dots a byte, drawn as it comes; FF and EOT modes
// feed to the page length and cut as they are set.
namespace ostrel::receipt {

using namespace bytes;

void ReceiptPrinter::initializeRaster()
{
    raster_ = RasterSettings {};
    raster_.pageTop = current().height;
    raster_.pageReceipt = receiptNumber();
}

// What waits is printed first, as a form feed would, then raster mode starts
// from its initial settings.
void ReceiptPrinter::enterRasterMode(const unsigned char* c, long long length)
{
    if (!line_.items.empty())
        printLine(lineHasInk() ? settings_.lineSpacing : 0);
    setting(c, length, "Enter raster mode");
    initializeRaster();
}

// A margin that would leave no print area is ignored, as the manual says.
void ReceiptPrinter::rasterMargin(const unsigned char* c, long long length, int n, bool left)
{
    const long long dots = 8LL * n;
    const int other = left ? raster_.rightMargin : raster_.leftMargin;
    const bool kept = dots + other < limits_.paperWidth;
    if (kept)
        (left ? raster_.leftMargin : raster_.rightMargin) = static_cast<int>(dots);
    setting(c, length,
        std::string(left ? "Set raster left margin " : "Set raster right margin ")
            + std::to_string(dots) + " dots"
            + (kept ? "" : " (no print area would be left: ignored)"));
}

// The image the next row goes on: the last one drawn if the row continues
// it, else a new one as wide as the print area between the margins. An
// image holds at most kBandRows rows, so no one item grows without end.
BitImage& ReceiptPrinter::rasterBand(int command, int left, int width)
{
    Receipt& receipt = current();
    if (raster_.bandReceipt == receiptNumber() && raster_.bandItem < receipt.items.size()) {
        auto* band = std::get_if<BitImage>(&receipt.items[raster_.bandItem].what);
        if (band != nullptr && band->x == left && band->width == width
            && band->y + band->height == receipt.height
            && (raster_.rowOpen || band->height < kBandRows))
            return *band;
    }
    raster_.rowOpen = false;
    BitImage band;
    band.x = left;
    band.y = receipt.height;
    band.width = width;
    paper_.add({ std::move(band), command });
    raster_.bandReceipt = receiptNumber();
    raster_.bandItem = receipt.items.size() - 1;
    return std::get<BitImage>(receipt.items.back().what);
}

// b n1 n2 and k n1 n2: one dot row, ORed onto what the row holds; b then
// feeds one dot, k stays on the row. Dots past the print area are dropped.
void ReceiptPrinter::rasterLine(const unsigned char* c, long long length, bool feed)
{
    const long long bytes = length - 3;
    if (!line_.items.empty())
        printLine(0);
    const int command = addCommand(c, length,
        std::string(feed ? "Raster line, " : "Raster line without feed, ")
            + std::to_string(bytes * 8) + " dots",
        CommandClass::Drawn);
    const int left = std::min(raster_.leftMargin, limits_.paperWidth - 1);
    const int width = std::max(1, limits_.paperWidth - left - raster_.rightMargin);
    BitImage& band = rasterBand(command, left, width);
    const std::size_t stride = band.stride();
    if (!raster_.rowOpen) {
        band.bits.resize(band.bits.size() + stride, 0);
        ++band.height;
        paper_.weigh(static_cast<long long>(stride));
        ++current().height;
    }
    std::uint8_t* row = band.bits.data() + static_cast<std::size_t>(band.height - 1) * stride;
    const std::size_t taken = std::min<std::size_t>(static_cast<std::size_t>(bytes), stride);
    for (std::size_t i = 0; i < taken; ++i)
        row[i] |= c[3 + i];
    if (width % 8 != 0)
        row[stride - 1] &= static_cast<std::uint8_t>(0xFF << (8 - width % 8));
    raster_.rowOpen = !feed;
    raster_.drawn = true;
    touchPaper();
    if (paper_.full())
        endReceipt(false);
}

std::optional<MarkerKind> ReceiptPrinter::RasterCut(int mode)
{
    if (mode == 0)
        mode = 13;
    if ((mode & 32) != 0)
        return MarkerKind::Cut;
    if ((mode & 8) == 0)
        return std::nullopt;
    return (mode & 4) != 0 ? MarkerKind::PartialCut : MarkerKind::Cut;
}

// ESC FF NUL, ESC FF EOT: the page is fed to its length, then the mode's
// cut, if any, ends the receipt. A tear bar or form feed leaves it going on.
void ReceiptPrinter::executeRasterPage(
    const unsigned char* c, long long length, int mode, std::string description)
{
    raster_.rowOpen = false;
    if (mode == 0)
        mode = 13;
    if (raster_.pageLength > 0 && raster_.pageReceipt == receiptNumber()) {
        const int used = current().height - raster_.pageTop;
        if (used < raster_.pageLength)
            feedPaper(raster_.pageLength - used);
    }
    if (const std::optional<MarkerKind> kind = RasterCut(mode))
        cut(*kind, c, length, std::move(description));
    else
        addCommand(c, length, std::move(description), CommandClass::Drawn);
    raster_.pageTop = current().height;
    raster_.pageReceipt = receiptNumber();
    raster_.drawn = false;
}

// ESC * r C: the rows of the page not yet executed are dropped.
void ReceiptPrinter::clearRasterPage(const unsigned char* c, long long length)
{
    Receipt& receipt = current();
    long long dropped = 0;
    if (raster_.pageReceipt == receiptNumber() && receipt.height > raster_.pageTop) {
        auto& items = receipt.items;
        // Items lie in the order the paper passed them: the page's are last,
        // so a clear reads only those, however much came before.
        for (std::size_t i = items.size(); i-- > 0;) {
            const int y = std::visit([](const auto& placed) { return placed.y; }, items[i].what);
            if (y < raster_.pageTop)
                break;
            const auto* image = std::get_if<BitImage>(&items[i].what);
            if (image == nullptr)
                continue;
            paper_.weigh(-static_cast<long long>(sizeof(PaperItem) + image->bits.size()));
            dropped += image->height;
            items.erase(items.begin() + static_cast<std::ptrdiff_t>(i));
        }
        receipt.height = raster_.pageTop;
    }
    raster_.rowOpen = false;
    raster_.drawn = false;
    raster_.bandReceipt = -1;
    setting(c, length, "Clear raster data (" + std::to_string(dropped) + " rows dropped)");
    touchPaper();
}

// ESC * r D n: drawer 1, drawer 2 or both, as ESC BEL set their pulse.
void ReceiptPrinter::rasterDrawers(const unsigned char* c, long long length, int n)
{
    std::string description = "Drawer drive:";
    std::vector<bool> pins;
    if (n & 1)
        pins.push_back(false);
    if (n & 2)
        pins.push_back(true);
    if (pins.empty())
        description += " none";
    for (const bool pin5 : pins) {
        const char* pin = pin5 ? "pin 5" : "pin 2";
        description += std::string(pin5 && pins.size() > 1 ? " and " : " ") + "drawer "
            + (pin5 ? "2" : "1");
        if (profile_->drawerPins < (pin5 ? 2 : 1)) {
            ++summary_.notKnownByModel[std::string("drawer ") + pin];
            description += " (this model has no such connector)";
        }
    }
    const int command = addCommand(
        c, length, description, pins.empty() ? CommandClass::Setting : CommandClass::Drawn);
    for (const bool pin5 : pins) {
        if (profile_->drawerPins < (pin5 ? 2 : 1))
            continue;
        ++summary_.drawerPulseCount;
        if (summary_.drawerPulses.size() < limits_.listedEvents)
            summary_.drawerPulses.push_back({ offset_, pin5 ? "pin 5" : "pin 2" });
        placeMarker(MarkerKind::DrawerPulse, "drawer pulse", command, true);
    }
}

} // namespace ostrel::receipt
