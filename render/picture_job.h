#pragma once

#include "receipt/plain_job.h"

#include <string>
#include <string_view>

namespace ostrel::render {

// The largest picture read: wider ones are refused before they are decoded,
// and one taller than kMaxPictureDots once fitted to the paper too.
constexpr int kMaxPictureSide = 16384;
constexpr int kMaxPictureDots = 16000; // 2 m of paper at 8 dots a millimetre

// A PNG or JPEG picture as a printer prints it: wider than `printDots`, made
// as wide as the paper; transparent parts white; grey dithered (Floyd and
// Steinberg) or, without `dither`, cut at half. False with a reason.
bool PictureDots(std::string_view data, int printDots, bool dither, receipt::DotPicture& picture,
    std::string& error);

// The picture as the model's commands: its raster command, ending as
// asked; false with the reason.
bool PictureCommands(std::string_view data, const receipt::PrinterProfile& model,
    const receipt::JobEnding& ending, bool dither, std::string& commands, std::string& error);

} // namespace ostrel::render
