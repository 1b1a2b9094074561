#include "receipt/receipt_printer.h"

#include "receipt/command_text.h"
#include "receipt/raster_images.h"

#include <algorithm>

// The printer model's line layout: text into the line being built, the line
// onto the paper with its alignment, blocks and markers.
namespace ostrel::receipt {

int ReceiptPrinter::area() const
{
    int left = std::min(settings_.leftMargin, limits_.paperWidth - 1);
    return std::max(1, std::min(settings_.areaWidth, limits_.paperWidth - left));
}

int ReceiptPrinter::cellWidth() const
{
    return FontCellWidth(settings_.style.font) * settings_.style.widthScale;
}
int ReceiptPrinter::cellHeight() const
{
    return FontCellHeight(settings_.style.font) * settings_.style.heightScale;
}

void ReceiptPrinter::takeText(const unsigned char* bytes, std::size_t count)
{
    // Text that goes on in a new receipt starts a new command where it goes on.
    auto startText = [&](const unsigned char* at) {
        const long long runStart = offset_;
        offset_ += at - bytes;
        textCommand_ = addCommand(at, 0, "\"\"", CommandClass::Text, "Text");
        offset_ = runStart;
        current().commands[textCommand_].text = "Text";
    };
    if (textCommand_ < 0)
        startText(bytes);
    for (std::size_t i = 0; i < count; ++i) {
        char32_t ch = tables_.decode(bytes[i]);
        if (ch >= 0x80)
            checkGlyph(ch, bytes[i], offset_ + static_cast<long long>(i));
        int width = cellWidth();
        int step = width + settings_.rightSpacing * settings_.style.widthScale;
        if (!page_ && line_.x > 0 && line_.x + width > area())
            printLine(settings_.lineSpacing);
        // The text command may have moved to a new receipt when the last one filled up.
        if (textCommand_ < 0)
            startText(bytes + i);
        ModelCommand& command = current().commands[textCommand_];
        command.length += 1;
        command.hashByte(bytes[i]);
        if (command.description.size() < kShownTextLength) {
            std::string utf8;
            AppendUtf8(utf8, ch);
            command.description.insert(command.description.size() - 1, utf8);
        }
        if (!page_ && userCharacter(bytes[i], textCommand_)) {
            line_.x += step;
            line_.height = std::max(line_.height, cellHeight());
            continue;
        }
        if (page_) {
            pageCharacter(ch, textCommand_);
            paper_.weigh(sizeof(PaperItem));
            continue;
        }

        TextRun* run
            = line_.items.empty() ? nullptr : std::get_if<TextRun>(&line_.items.back().what);
        if (run && line_.items.back().command == textCommand_ && run->style == settings_.style
            && run->x + run->width() == line_.x && run->cellWidth == width
            && run->spacing == step - width) {
            run->text += ch;
        } else {
            TextRun fresh;
            fresh.x = line_.x;
            fresh.cellWidth = width;
            fresh.cellHeight = cellHeight();
            fresh.spacing = step - width;
            fresh.text = std::u32string(1, ch);
            fresh.style = settings_.style;
            line_.items.push_back({ std::move(fresh), textCommand_ });
            paper_.weigh(sizeof(PaperItem));
        }
        paper_.weigh(4);
        line_.x += step;
        line_.height = std::max(line_.height, cellHeight());
    }
    touch();
}

// With ESC % 1, a character ESC & defined prints as defined, in the
// character's cell and size.
bool ReceiptPrinter::userCharacter(unsigned char byte, int command)
{
    if (!userCharacters_ || byte < 32 || byte > 126)
        return false;
    const StoredDefinition* stored
        = memory_.find(StoredKind::UserCharacter, std::string(1, static_cast<char>(byte)));
    if (stored == nullptr)
        return false;
    if (const BitImage* glyph = storedImage(*stored)) {
        BitImage image = Cropped(
            Scaled(*glyph, settings_.style.widthScale, settings_.style.heightScale), cellWidth());
        image.x = line_.x;
        line_.height = std::max(line_.height, image.height);
        paper_.weigh(static_cast<long long>(sizeof(PaperItem) + image.bits.size()));
        line_.items.push_back({ std::move(image), command });
    }
    return true;
}

// A byte that prints nothing the preview can show is listed, never drawn as
// an empty box without a word.
void ReceiptPrinter::checkGlyph(char32_t ch, unsigned char byte, long long offset)
{
    bool printable = ch != U'\uFFFD';
    if (printable && covers_) {
        auto known = covered_.find(ch);
        if (known == covered_.end())
            known = covered_.emplace(ch, covers_(ch)).first;
        printable = known->second;
    }
    if (printable)
        return;
    ++summary_.unmappedBytes;
    if (summary_.unmapped.size() < limits_.listedEvents)
        summary_.unmapped.push_back({ offset, tables_.table(), byte });
}

void ReceiptPrinter::printLine(int feed)
{
    Receipt& receipt = current();
    int used = 0;
    for (const PaperItem& item : line_.items) {
        if (auto* run = std::get_if<TextRun>(&item.what))
            used = std::max(used, run->x + run->width() - run->spacing);
        if (auto* image = std::get_if<BitImage>(&item.what))
            used = std::max(used, image->x + image->width);
    }
    int area = this->area();
    int shift = settings_.alignment == 1 ? (area - used) / 2
        : settings_.alignment == 2       ? area - used
                                         : 0;
    const int areaLeft = std::min(settings_.leftMargin, limits_.paperWidth - 1);
    int left = areaLeft + std::max(0, shift);
    const bool turned = settings_.upsideDown;
    for (PaperItem& item : line_.items) {
        std::visit(
            [&](auto& placed) {
                using T = std::decay_t<decltype(placed)>;
                int width = 0, height = 0;
                if constexpr (std::is_same_v<T, TextRun>) {
                    width = placed.width() - placed.spacing;
                    height = placed.cellHeight;
                    placed.style.upsideDown = turned;
                } else {
                    width = placed.width;
                    height = std::is_same_v<T, Marker> ? line_.height : placed.height;
                }
                placed.x += left;
                placed.y = receipt.height + std::max(0, line_.height - height);
                // Upside down, the printer turns the whole line about the middle
                // of the print area: the characters come in reverse order, the
                // alignment is mirrored, and the line hangs from its top.
                if constexpr (!std::is_same_v<T, Marker>) {
                    if (turned) {
                        placed.x = 2 * areaLeft + area - placed.x - width;
                        placed.y = receipt.height;
                        if constexpr (std::is_same_v<T, TextRun>)
                            std::reverse(placed.text.begin(), placed.text.end());
                        if constexpr (std::is_same_v<T, BitImage>)
                            placed = placed.turned();
                    }
                }
            },
            item.what);
        paper_.add(std::move(item));
    }
    receipt.height += std::max(feed, line_.height);
    line_ = PendingLine {};
    touchPaper();
    if (paper_.full())
        endReceipt(false);
}

void ReceiptPrinter::feedPaper(int dots)
{
    if (!line_.items.empty())
        printLine(0);
    current().height += std::max(0, dots);
    touchPaper();
}

bool ReceiptPrinter::lineHasInk() const
{
    for (const PaperItem& item : line_.items)
        if (!std::holds_alternative<Marker>(item.what))
            return true;
    return false;
}

void ReceiptPrinter::placeBlock(PaperItem item, int width, int height)
{
    if (page_)
        return pageBlock(std::move(item), width, height);
    if (!line_.items.empty())
        printLine(lineHasInk() ? settings_.lineSpacing : 0);
    Receipt& receipt = current();
    int area = this->area();
    int shift = settings_.alignment == 1 ? (area - width) / 2
        : settings_.alignment == 2       ? area - width
                                         : 0;
    int x = std::min(settings_.leftMargin, limits_.paperWidth - 1) + std::max(0, shift);
    std::visit(
        [&](auto& placed) {
            placed.x = x;
            placed.y = receipt.height;
        },
        item.what);
    paper_.add(std::move(item));
    receipt.height += height;
    touchPaper();
    if (paper_.full())
        endReceipt(false);
}

void ReceiptPrinter::placeImage(BitImage image, int command)
{
    image = Cropped(std::move(image), area());
    int width = image.width, height = image.height;
    placeBlock({ std::move(image), command }, width, height);
}

void ReceiptPrinter::placeInLine(BitImage image, int command)
{
    if (page_) {
        const int width = image.width, height = image.height;
        return pageBlock({ std::move(image), command }, width, height);
    }
    // A bit image goes into the line like a character, as wide as there is room.
    int room = area() - line_.x;
    if (room <= 0)
        return;
    image = Cropped(std::move(image), room);
    image.x = line_.x;
    line_.x += image.width;
    line_.height = std::max(line_.height, image.height);
    line_.items.push_back({ std::move(image), command });
}

void ReceiptPrinter::placeMarker(MarkerKind kind, std::string label, int command, bool inLine)
{
    Marker marker;
    marker.kind = kind;
    marker.width = 8 + 9 * static_cast<int>(label.size());
    marker.height = 21;
    marker.label = std::move(label);
    if (inLine) {
        // A line holds a bounded number: past it they would only lie on top
        // of each other, and a flood of bytes not understood would grow the
        // line without end. The commands are still listed and counted.
        if (line_.markers >= kMostMarkersInLine)
            return;
        ++line_.markers;
        marker.x
            = std::min(std::max(line_.x, line_.markersEnd), std::max(0, area() - marker.width));
        line_.markersEnd = marker.x + marker.width + 2;
        line_.items.push_back({ std::move(marker), command });
        return;
    }
    marker.x = 0;
    marker.y = current().height;
    marker.width = limits_.paperWidth;
    paper_.add({ std::move(marker), command });
    touchPaper();
}

} // namespace ostrel::receipt
