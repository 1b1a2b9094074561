#pragma once

#include <QImage>

#include <cstdint>
#include <vector>

namespace ostrel::render {

// The paper as the print head sees it: one byte a dot, 1 is black.
class DotCanvas {
public:
    DotCanvas(int width, int height)
        : width_(width), height_(height), dots_(static_cast<std::size_t>(width) * height, 0) {}

    int width() const { return width_; }
    int height() const { return height_; }
    bool dot(int x, int y) const { return inside(x, y) && dots_[index(x, y)]; }
    void set(int x, int y, bool black = true) {
        if (inside(x, y)) dots_[index(x, y)] = black;
    }
    void fill(int x, int y, int w, int h, bool black = true);
    void invert(int x, int y, int w, int h);
    // 1-bit, black on white: color 0 white, 1 black.
    QImage toImage() const;

private:
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
    std::size_t index(int x, int y) const { return static_cast<std::size_t>(y) * width_ + x; }

    int width_, height_;
    std::vector<std::uint8_t> dots_;
};

} // namespace ostrel::render
