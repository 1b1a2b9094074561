#pragma once

#include "receipt/printer_profile.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::receipt {

// What a server may ask for around a document that carries no commands of
// its own (plain text, a picture): the cut at its end and the drawer.
struct JobEnding {
    enum class Cut { None, Full, Partial };
    enum class Drawer { None, Start, End };
    Cut cut = Cut::Full;
    bool feed = true; // to the cutter before cutting
    Drawer drawer = Drawer::None;
};

// A picture of one bit a dot: rows of (width + 7) / 8 bytes, the leftmost
// dot in bit 7, a set bit printed.
struct DotPicture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rows;
};

// The rows of a raster command, at most this many in one, so that no
// model's height limit is met.
constexpr int kRasterBandRows = 256;

// Plain text as a model prints it in its default font: its lines, then the
// ending. Control bytes other than tab and line ends print as '?', so that
// text never becomes commands.
std::string PlainTextJob(Language language, std::string_view text, const JobEnding& ending);
// A picture in the model's raster command (ESC/POS GS v 0, Star's ESC GS S),
// in bands of kRasterBandRows, then the ending.
std::string PictureJob(Language language, const DotPicture& picture, const JobEnding& ending);

} // namespace ostrel::receipt
