#pragma once

#include "receipt/paper.h"
#include "receipt/printer_memory.h"

// Pictures as the image commands send them, unpacked to one byte a dot.
namespace ostrel::receipt {

// Rows of bytes, the leftmost dot in bit 7, each dot scaled.
BitImage RasterImage(const unsigned char* data, int widthBytes, int height, int scaleX, int scaleY);
// ESC * m nL nH data: columns of 8 or 24 dots, as mode m scales them.
BitImage ColumnImage(int mode, int columns, const unsigned char* data);
// The image's left `width` dots; the whole image when it is no wider.
BitImage Cropped(BitImage image, int width);
// Columns of `bytesPerColumn` bytes each, the top dot in bit 7 of the first,
// cut to `height` dots.
BitImage ColumnBytesImage(const unsigned char* data, int columns, int bytesPerColumn, int height);
// Each dot `scaleX` wide and `scaleY` tall.
BitImage Scaled(const BitImage& image, int scaleX, int scaleY);
// A stored definition's picture (the `index`th of numbered images, from 1),
// as its command defined it; an empty image when it has none.
BitImage DecodeStored(const StoredDefinition& stored, int index = 1);

} // namespace ostrel::receipt
