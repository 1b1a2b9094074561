#include "render/dot_canvas.h"

#include <algorithm>

namespace ostrel::render {

void DotCanvas::fill(int x, int y, int w, int h, bool black) {
    int left = std::max(0, x), right = std::min(width_, x + w);
    int top = std::max(0, y), bottom = std::min(height_, y + h);
    if (left >= right) return;
    for (int row = top; row < bottom; ++row)
        std::fill(dots_.begin() + static_cast<long>(index(left, row)), dots_.begin() + static_cast<long>(index(right, row)),
                  black ? 1 : 0);
}

void DotCanvas::invert(int x, int y, int w, int h) {
    int left = std::max(0, x), right = std::min(width_, x + w);
    int top = std::max(0, y), bottom = std::min(height_, y + h);
    for (int row = top; row < bottom; ++row)
        for (int column = left; column < right; ++column) dots_[index(column, row)] ^= 1;
}

QImage DotCanvas::toImage() const {
    QImage image(std::max(1, width_), std::max(1, height_), QImage::Format_Mono);
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    image.setDotsPerMeterX(7992); // 203 dpi
    image.setDotsPerMeterY(7992);
    image.fill(0);
    for (int y = 0; y < height_; ++y) {
        uchar* line = image.scanLine(y);
        const std::uint8_t* row = dots_.data() + static_cast<std::size_t>(y) * width_;
        for (int x = 0; x < width_; ++x)
            if (row[x]) line[x >> 3] |= static_cast<uchar>(0x80 >> (x & 7));
    }
    return image;
}

} // namespace ostrel::render
