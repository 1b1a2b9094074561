#pragma once

#include <cstddef>
#include <string>

namespace ostrel {

// A receipt as a point-of-sale program sends it: initialise, text lines with
// CR LF, print modes and sizes, a barcode, a US "*" raster image whose data is
// full of command bytes, an ESC "*" image, a status request and a paper cut.
std::string SampleReceipt();

// Receipts back to back, with runs of arbitrary bytes between them, cut to
// exactly `size` bytes. The same size always gives the same bytes.
std::string SamplePrintStream(std::size_t size);

} // namespace ostrel
