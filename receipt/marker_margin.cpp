#include "receipt/marker_margin.h"

#include <algorithm>

namespace ostrel::receipt {

std::vector<MarginLabel> MarginLabels(
    const Receipt& receipt, int labelHeight, std::size_t maxCharacters)
{
    std::vector<MarginLabel> labels;
    for (const PaperItem& item : receipt.items) {
        const auto* marker = std::get_if<Marker>(&item.what);
        if (!marker)
            continue;
        const bool cut = marker->kind == MarkerKind::Cut || marker->kind == MarkerKind::PartialCut;
        MarginLabel label;
        label.marker = marker;
        label.command = item.command;
        label.anchor = cut ? marker->y : marker->y + marker->height / 2;
        label.text = marker->label.size() > maxCharacters
            ? marker->label.substr(0, maxCharacters - 3) + "..."
            : marker->label;
        labels.push_back(std::move(label));
    }
    // Markers of one line come in the order they were met, which is not
    // always top to bottom.
    std::stable_sort(labels.begin(), labels.end(),
        [](const MarginLabel& a, const MarginLabel& b) { return a.anchor < b.anchor; });
    int free = 0;
    for (MarginLabel& label : labels) {
        label.y = std::max(label.anchor - labelHeight / 2, free);
        free = label.y + labelHeight;
    }
    return labels;
}

} // namespace ostrel::receipt
