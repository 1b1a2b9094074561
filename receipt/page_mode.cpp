#include "receipt/receipt_printer.h"

#include "receipt/command_bytes.h"
#include "receipt/raster_images.h"

#include <algorithm>

// ESC/POS page mode: a page buffer with a print area, a print direction and
// absolute positions. What is placed in it lands where it is placed, turned
// by the direction, and prints at FF or ESC FF; CAN empties it.
namespace ostrel::receipt {

using namespace bytes;

namespace {

    // A picture turned a quarter turn clockwise.
    BitImage TurnedClockwise(const BitImage& image)
    {
        BitImage out;
        out.resize(image.height, image.width);
        for (int row = 0; row < image.height; ++row)
            for (int column = 0; column < image.width; ++column)
                if (image.dot(column, row))
                    out.set(image.height - 1 - row, column);
        return out;
    }

} // namespace

int PageBuffer::width() const { return areaWidth; }

int PageBuffer::height() const
{
    // Without ESC W, the page is as long as what was placed in it.
    return areaHeight > 0 ? areaHeight : used;
}

void ReceiptPrinter::enterPageMode()
{
    if (!line_.items.empty())
        printLine(settings_.lineSpacing);
    page_.emplace();
    page_->areaWidth = area();
    page_->receipt = paper_.dropped() + static_cast<long long>(receipts().size());
}

// Where a cell of `along` by `across` dots, at `at` along the direction and
// with its top `top` dots from the direction's start edge, lies on the page.
ReceiptPrinter::PagePlace ReceiptPrinter::placeOnPage(int at, int top, int along, int across) const
{
    const Page& page = *page_;
    const int w = page.width(), h = page.areaHeight > 0 ? page.areaHeight : 1 << 20;
    switch (page.direction) {
    case 1:
        return { top, h - at - along, across, along }; // bottom to top
    case 2:
        return { w - at - along, h - top - across, along, across }; // right to left, upside down
    case 3:
        return { w - top - across, at, across, along }; // top to bottom
    default:
        return { at, top, along, across };
    }
}

namespace {

    // What an item holds, roughly, in bytes: pages are bounded by it.
    long long ItemWeight(const PaperItem& item)
    {
        if (const auto* image = std::get_if<BitImage>(&item.what))
            return 64 + static_cast<long long>(image->bits.size());
        if (const auto* symbol = std::get_if<Symbol>(&item.what))
            return 64 + static_cast<long long>(symbol->data.size());
        return 64;
    }

} // namespace

void ReceiptPrinter::putOnPage(PaperItem item, PagePlace place)
{
    Page& page = *page_;
    const long long weight = ItemWeight(item);
    if (page.items.size() >= kMostPageItems || page.weight + weight > kMostPageBytes) {
        ++page.dropped;
        return;
    }
    page.weight += weight;
    std::visit(
        [&](auto& placed) {
            placed.x = place.x;
            placed.y = place.y;
        },
        item.what);
    if (page.areaHeight == 0 && page.direction != 1 && page.direction != 2)
        page.used = std::max(page.used, place.y + place.height);
    page.items.push_back(std::move(item));
    touch();
}

void ReceiptPrinter::pageCharacter(char32_t ch, int command)
{
    Page& page = *page_;
    const int along = cellWidth(), across = cellHeight();
    const int step = along + settings_.rightSpacing * settings_.style.widthScale;
    if (page.x > 0
        && page.x + along > (page.direction % 2 == 0 ? page.width()
                   : page.height() > 0               ? page.height()
                                                     : 1 << 20))
        pageLineFeed(settings_.lineSpacing);
    // The position is the line's base: the characters stand on it.
    const int base = page.y > 0 ? page.y : across;
    TextRun run;
    run.text = std::u32string(1, ch);
    run.style = settings_.style;
    run.style.rotated = page.direction == 1 || page.direction == 3;
    run.style.upsideDown = page.direction == 1 || page.direction == 2;
    const PagePlace place = placeOnPage(page.x, std::max(0, base - across), along, across);
    run.cellWidth = place.width;
    run.cellHeight = place.height;
    putOnPage({ std::move(run), command }, place);
    page.y = base;
    page.x += step;
}

void ReceiptPrinter::pageBlock(PaperItem item, int width, int height)
{
    Page& page = *page_;
    const int base = page.y > 0 ? page.y : height;
    if (auto* image = std::get_if<BitImage>(&item.what)) {
        *image = Cropped(
            std::move(*image), page.direction % 2 == 0 ? page.width() : std::max(1, page.height()));
        width = image->width;
        if (page.direction == 1 || page.direction == 3) {
            *image = TurnedClockwise(*image);
            if (page.direction == 1)
                *image = image->turned();
        } else if (page.direction == 2) {
            *image = image->turned();
        }
    }
    putOnPage(std::move(item), placeOnPage(page.x, std::max(0, base - height), width, height));
    page.x += width;
}

void ReceiptPrinter::pageLineFeed(int dots)
{
    Page& page = *page_;
    page.y = (page.y > 0 ? page.y : cellHeight()) + dots;
    page.x = 0;
}

void ReceiptPrinter::printPage(int command)
{
    Page& page = *page_;
    // ESC FF prints the page and keeps it: a job of nothing but ESC FF must
    // not cost more than a bounded amount of work for each byte it sends
    // (counted to where the command is, so that chunks change nothing).
    pageBytesPrinted_ += page.weight;
    if (pageBytesPrinted_ > kPageWorkPerByte * (offset_ + 1) + kMostPageBytes) {
        placeMarker(
            MarkerKind::NotPrinted, "page not drawn again: printed too often", command, false);
        return;
    }
    Receipt& receipt = current();
    const bool sameReceipt
        = page.receipt == paper_.dropped() + static_cast<long long>(receipts().size());
    const int left = std::min(settings_.leftMargin, limits_.paperWidth - 1) + page.areaX;
    const int top = receipt.height + page.areaY;
    for (PaperItem item : page.items) {
        std::visit(
            [&](auto& placed) {
                placed.x += left;
                placed.y += top;
            },
            item.what);
        // Commands of a receipt that has since filled up are not in this one.
        if (!sameReceipt)
            item.command = command;
        paper_.add(std::move(item));
    }
    receipt.height += page.areaY + std::min(page.height(), limits_.receiptHeight);
    touchPaper();
    if (paper_.full())
        endReceipt(false);
}

void ReceiptPrinter::pageMode(const unsigned char* c, long long length)
{
    const bool inPage = page_.has_value();
    const int key = c[0] == GS ? 0x100 | c[1] : c[0] == ESC ? c[1] : c[0];
    if (!inPage && key != 'L') {
        // Outside page mode these are passed over, as they always were.
        knownNotDrawn(c, length, row_ != nullptr ? row_->name : "Page mode setting");
        return;
    }
    switch (key) {
    case 'L':
        if (!inPage)
            enterPageMode();
        setting(c, length, "Page mode");
        return;
    case 'S':
        setting(c, length, "Standard mode (the page is dropped)");
        page_.reset();
        return;
    case 'T': {
        const int n = (c[2] >= '0' ? c[2] - '0' : c[2]) & 3;
        page_->direction = n;
        static const char* directions[]
            = { "left to right", "bottom to top", "right to left", "top to bottom" };
        setting(c, length, std::string("Print direction ") + directions[n]);
        return;
    }
    case 'W': {
        const int x = Word(c + 2), y = Word(c + 4), w = Word(c + 6), h = Word(c + 8);
        page_->areaX = std::min(x, limits_.paperWidth - 1);
        page_->areaY = std::min(y, limits_.receiptHeight);
        page_->areaWidth = std::clamp(w, 1, limits_.paperWidth - page_->areaX);
        page_->areaHeight = std::clamp(h, 1, limits_.receiptHeight);
        setting(c, length,
            "Print area " + std::to_string(w) + " x " + std::to_string(h) + " dots at "
                + std::to_string(x) + ", " + std::to_string(y));
        return;
    }
    case 0x100 | '$':
        page_->y = Word(c + 2);
        setting(c, length, "Vertical position " + std::to_string(Word(c + 2)) + " dots");
        return;
    case 0x100 | '\\':
        page_->y = std::max(
            0, (page_->y > 0 ? page_->y : cellHeight()) + static_cast<short>(Word(c + 2)));
        setting(c, length,
            "Relative vertical position " + std::to_string(static_cast<short>(Word(c + 2)))
                + " dots");
        return;
    case 0x18:
        knownNotDrawn(c, length, "Cancel print data in page mode");
        page_->items.clear();
        page_->weight = 0;
        return;
    default: { // FF and ESC FF print the page; FF goes back to standard mode.
        const bool back = c[0] == 0x0C;
        const int command = addCommand(c, length,
            back ? "Print the page and return to standard mode" : "Print the page",
            CommandClass::Drawn);
        printPage(command);
        if (back)
            page_.reset();
    }
    }
}

} // namespace ostrel::receipt
