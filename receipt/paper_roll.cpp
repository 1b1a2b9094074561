#include "receipt/paper_roll.h"

#include <variant>

namespace ostrel::receipt {
namespace {

    long long ItemWeight(const PaperItem& item)
    {
        long long weight = sizeof(PaperItem);
        if (auto* image = std::get_if<BitImage>(&item.what))
            weight += static_cast<long long>(image->bits.size());
        if (auto* symbol = std::get_if<Symbol>(&item.what))
            weight += static_cast<long long>(symbol->data.size());
        return weight;
    }

} // namespace

void PaperRoll::clear()
{
    receipts_.assign(1, Receipt {});
    keptWeight_ = 0;
    dropped_ = 0;
    droppedRows_ = 0;
}

long long PaperRoll::fedRows() const
{
    long long rows = droppedRows_;
    for (const Receipt& receipt : receipts_)
        rows += receipt.height;
    return rows;
}

void PaperRoll::weigh(long long bytes)
{
    current().weight += bytes;
    keptWeight_ += bytes;
}

void PaperRoll::add(PaperItem item)
{
    weigh(ItemWeight(item));
    current().items.push_back(std::move(item));
}

int PaperRoll::add(ModelCommand command)
{
    weigh(static_cast<long long>(
        sizeof(ModelCommand) + command.text.size() + command.description.size()));
    current().commands.push_back(std::move(command));
    return static_cast<int>(current().commands.size()) - 1;
}

bool PaperRoll::full() const
{
    return current().height > limits_.receiptHeight || current().weight > limits_.receiptBytes;
}

void PaperRoll::next(bool byCut)
{
    current().cut = byCut;
    receipts_.emplace_back();
    long long rows = 0;
    for (const Receipt& receipt : receipts_)
        rows += receipt.height;
    while (receipts_.size() > 1
        && (receipts_.size() > limits_.keptReceipts || keptWeight_ > limits_.keptBytes
            || rows > limits_.keptRows)) {
        rows -= receipts_.front().height;
        droppedRows_ += receipts_.front().height;
        keptWeight_ -= receipts_.front().weight;
        receipts_.pop_front();
        ++dropped_;
    }
}

} // namespace ostrel::receipt
