#pragma once

#include "receipt/paper.h"

#include <string>
#include <vector>

namespace ostrel::receipt {

// A marker's label in the margin beside the paper: at row `y`, tied by a
// line to row `anchor` at the paper's edge, where the marker is.
struct MarginLabel {
    const Marker* marker = nullptr;
    int command = -1;
    int anchor = 0;
    int y = 0;
    std::string text;
};

// The labels of a receipt's markers, top to bottom, each at least
// `labelHeight` rows below the one before so that none covers another, and
// cut to `maxCharacters`. Nothing of them lies on the paper.
std::vector<MarginLabel> MarginLabels(
    const Receipt& receipt, int labelHeight, std::size_t maxCharacters);

} // namespace ostrel::receipt
