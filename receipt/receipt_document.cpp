#include "receipt/receipt_document.h"

#include <algorithm>
#include <string>

namespace ostrel::receipt {

DotRect DotRect::united(const DotRect& other) const
{
    if (empty())
        return other;
    if (other.empty())
        return *this;
    const int left = std::min(x, other.x), top = std::min(y, other.y);
    const int right = std::max(x + width, other.x + other.width);
    const int bottom = std::max(y + height, other.y + other.height);
    return { left, top, right - left, bottom - top };
}

DotRect ItemRect(const PaperItem& item)
{
    return std::visit(
        [](const auto& placed) {
            using T = std::decay_t<decltype(placed)>;
            if constexpr (std::is_same_v<T, TextRun>)
                return DotRect { placed.x, placed.y, placed.width(), placed.cellHeight };
            else
                return DotRect { placed.x, placed.y, placed.width, placed.height };
        },
        item.what);
}

ReceiptDocument::ReceiptDocument(
    const SymbolGeometry& geometry, std::function<bool(char32_t)> glyphCoverage)
    : printer_(geometry)
{
    printer_.setGlyphCoverage(std::move(glyphCoverage));
}

void ReceiptDocument::arrive(std::string_view bytes)
{
    arrivedCount_ += static_cast<long long>(bytes.size());
    if (!arrived_.append(bytes))
        return;
    modelStart_ = arrivedCount_ - static_cast<long long>(arrived_.size());
    // A long capture while closed (or a flood between two reads): the model
    // starts again from the newest part rather than read it all.
    printer_.clear();
    history_.clear();
    readAt_ = 0;
    historyCut_ = true;
    ++restarts_;
}

bool ReceiptDocument::readSome(std::size_t bytes)
{
    const std::string_view slice = arrived_.bytes().substr(readAt_, bytes);
    readAt_ += slice.size();
    printer_.feed(slice);
    if (history_.append(slice))
        historyCut_ = true;
    if (readAt_ < arrived_.size())
        return true;
    arrived_.clear();
    readAt_ = 0;
    return false;
}

void ReceiptDocument::readAll()
{
    while (readSome(std::size_t(1) << 20)) { }
}

void ReceiptDocument::clear()
{
    arrived_.clear();
    readAt_ = 0;
    history_.clear();
    historyCut_ = false;
    printer_.clear();
    modelStart_ = arrivedCount_;
}

void ReceiptDocument::setPaperWidth(int dots)
{
    if (dots == printer_.paperWidth())
        return;
    readAll();
    printer_.clear(dots);
    modelStart_ = arrivedCount_ - static_cast<long long>(history_.size());
    printer_.feed(history_.bytes());
}

void ReceiptDocument::setProfile(const PrinterProfile& profile)
{
    readAll();
    printer_.setProfile(profile);
    modelStart_ = arrivedCount_ - static_cast<long long>(history_.size());
    printer_.feed(history_.bytes());
}

bool ReceiptDocument::nothingPrinted() const
{
    return newestShown() == 0 && !PaperFed(receipts().front()) && printer_.droppedReceipts() == 0;
}

int ReceiptDocument::newestShown() const
{
    int newest = static_cast<int>(receipts().size()) - 1;
    if (newest > 0 && !PaperFed(receipts()[newest]))
        --newest;
    return newest;
}

int ReceiptDocument::commandAt(int index, int x, int y) const
{
    if (index < 0 || index >= static_cast<int>(receipts().size()))
        return -1;
    const auto& items = receipts()[index].items;
    for (auto item = items.rbegin(); item != items.rend(); ++item)
        if (ItemRect(*item).contains(x, y))
            return item->command;
    return -1;
}

DotRect ReceiptDocument::placeOf(int index, int command) const
{
    if (index < 0 || index >= static_cast<int>(receipts().size()))
        return {};
    return PlaceOfCommand(receipts()[index], command, printer_.paperWidth());
}

DotRect PlaceOfCommand(const Receipt& receipt, int command, int paperWidth)
{
    if (command < 0 || command >= static_cast<int>(receipt.commands.size()))
        return {};
    DotRect place;
    for (const auto& item : receipt.items)
        if (item.command == command)
            place = place.united(ItemRect(item));
    if (place.empty())
        place = DotRect { 0, receipt.commands[command].y, paperWidth, 2 };
    return place;
}

} // namespace ostrel::receipt
