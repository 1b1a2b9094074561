#include "render/dot_canvas.h"

#include <algorithm>
#include <cstring>

namespace ostrel::render {

DotCanvas::DotCanvas(int width, int height)
    : width_(std::max(1, width))
    , height_(std::max(1, height))
    , image_(width_, height_, QImage::Format_Mono)
{
    image_.setColorTable({ qRgb(255, 255, 255), qRgb(0, 0, 0) });
    image_.setDotsPerMeterX(7992); // 203 dpi
    image_.setDotsPerMeterY(7992);
    image_.fill(0);
    bits_ = image_.bits();
    stride_ = image_.bytesPerLine();
}

bool DotCanvas::dot(int x, int y) const
{
    return inside(x, y) && (image_.constScanLine(y)[x >> 3] & (0x80 >> (x & 7)));
}

void DotCanvas::set(int x, int y, bool black)
{
    if (!inside(x, y))
        return;
    uchar& byte = line(y)[x >> 3];
    const auto bit = static_cast<uchar>(0x80 >> (x & 7));
    byte = black ? (byte | bit) : (byte & ~bit);
}

void DotCanvas::span(int y, int left, int right, bool black)
{
    if (y < 0 || y >= height_)
        return;
    left = std::max(0, left);
    right = std::min(width_, right);
    if (left >= right)
        return;
    uchar* row = line(y);
    const int firstByte = left >> 3, lastByte = (right - 1) >> 3;
    const auto head = static_cast<uchar>(0xFF >> (left & 7));
    const auto tail = static_cast<uchar>(0xFF << (7 - ((right - 1) & 7)));
    auto apply = [&](uchar& byte, uchar mask) { byte = black ? (byte | mask) : (byte & ~mask); };
    if (firstByte == lastByte) {
        apply(row[firstByte], head & tail);
        return;
    }
    apply(row[firstByte], head);
    if (lastByte - firstByte > 1)
        std::memset(row + firstByte + 1, black ? 0xFF : 0x00, lastByte - firstByte - 1);
    apply(row[lastByte], tail);
}

void DotCanvas::fill(int x, int y, int w, int h, bool black)
{
    for (int row = std::max(0, y); row < std::min(height_, y + h); ++row)
        span(row, x, x + w, black);
}

} // namespace ostrel::render
