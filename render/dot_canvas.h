#pragma once

#include <QImage>

namespace ostrel::render {

// The paper as the print head sees it, one bit a dot, kept in the 1-bit image
// it ends up as (color 0 white, 1 black, the leftmost dot in bit 7).
class DotCanvas {
public:
    DotCanvas(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }
    bool dot(int x, int y) const;
    void set(int x, int y, bool black = true);
    // Dots [left, right) of row y; whatever lies outside the paper is left out.
    void span(int y, int left, int right, bool black = true);
    void fill(int x, int y, int w, int h, bool black = true);
    QImage toImage() const { return image_; }

private:
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
    uchar* line(int y) { return bits_ + static_cast<qsizetype>(y) * stride_; }

    int width_, height_;
    QImage image_;
    uchar* bits_;
    qsizetype stride_;
};

} // namespace ostrel::render
