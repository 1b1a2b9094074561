#pragma once

#include "receipt/paper.h"

// Pictures as the image commands send them, unpacked to one byte a dot.
namespace ostrel::receipt {

// Rows of bytes, the leftmost dot in bit 7, each dot scaled.
BitImage RasterImage(const unsigned char* data, int widthBytes, int height, int scaleX, int scaleY);
// ESC * m nL nH data: columns of 8 or 24 dots, as mode m scales them.
BitImage ColumnImage(int mode, int columns, const unsigned char* data);
// The image's left `width` dots; the whole image when it is no wider.
BitImage Cropped(BitImage image, int width);

} // namespace ostrel::receipt
