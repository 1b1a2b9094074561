#include "receipt/raster_images.h"

#include "receipt/command_bytes.h"
#include "receipt/receipt_printer.h"

#include <algorithm>
#include <string>

namespace ostrel::receipt {

using bytes::Word;

namespace {

constexpr std::size_t kStoredGraphicsKept = 16;

} // namespace

BitImage RasterImage(const unsigned char* data, int widthBytes, int height, int scaleX, int scaleY) {
    BitImage image;
    image.resize(widthBytes * 8 * scaleX, height * scaleY);
    if (scaleX == 1 && scaleY == 1) {
        std::copy_n(data, image.bits.size(), image.bits.begin()); // the same rows
        return image;
    }
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < widthBytes * 8; ++column) {
            if (!(data[row * widthBytes + column / 8] & (0x80 >> (column % 8)))) continue;
            for (int dy = 0; dy < scaleY; ++dy)
                for (int dx = 0; dx < scaleX; ++dx) image.set(column * scaleX + dx, row * scaleY + dy);
        }
    return image;
}

BitImage Cropped(BitImage image, int width) {
    if (image.width <= width || width <= 0) return image;
    BitImage cropped;
    cropped.resize(width, image.height);
    const std::size_t stride = cropped.stride();
    for (int row = 0; row < image.height; ++row)
        std::copy_n(image.bits.begin() + static_cast<long>(row * image.stride()), stride,
                    cropped.bits.begin() + static_cast<long>(row * stride));
    // Dots past the new edge in the last byte are not part of the picture.
    if (width % 8)
        for (int row = 0; row < image.height; ++row)
            cropped.bits[row * stride + stride - 1] &= static_cast<std::uint8_t>(0xFF00 >> (width % 8));
    return cropped;
}

// ESC * m nL nH data: columns of 8 or 24 dots, the top dot in bit 7, each
// dot scaled to the mode's density.
BitImage ColumnImage(int mode, int columns, const unsigned char* data) {
    bool tall = mode == 32 || mode == 33;
    int scaleX = mode == 0 || mode == 32 ? 2 : 1;
    int scaleY = tall ? 1 : 3;
    int bytesPerColumn = tall ? 3 : 1;
    BitImage image;
    image.resize(columns * scaleX, 24);
    for (int column = 0; column < columns; ++column)
        for (int bit = 0; bit < 8 * bytesPerColumn; ++bit) {
            if (!(data[column * bytesPerColumn + bit / 8] & (0x80 >> (bit % 8)))) continue;
            for (int dy = 0; dy < scaleY; ++dy)
                for (int dx = 0; dx < scaleX; ++dx) image.set(column * scaleX + dx, bit * scaleY + dy);
        }
    return image;
}

// GS ( L and GS 8 L: the parameters m fn ... follow a header of 5 or 7 bytes.
void ReceiptPrinter::runGraphics(const unsigned char* c, long long whole, int header) {
    const unsigned char* d = c + header;
    long long length = whole - header;
    int fn = length > 1 ? d[1] : -1;
    // The width and height at d[size], the rows from d[header] on.
    auto imageAt = [&](long long size, long long header, int scaleX, int scaleY, bool& ok) {
        ok = false;
        if (length < header + 1) return BitImage{};
        int widthDots = Word(d + size), height = Word(d + size + 2);
        int widthBytes = (widthDots + 7) / 8;
        if (widthDots == 0 || height == 0 || length < header + static_cast<long long>(widthBytes) * height) return BitImage{};
        ok = true;
        BitImage image = RasterImage(d + header, widthBytes, height, scaleX, scaleY);
        return Cropped(std::move(image), widthDots * scaleX);
    };
    switch (fn) {
    case 112: { // store raster graphics: m fn a bx by c xL xH yL yH data
        bool ok = false;
        if (length >= 10 && d[2] == 48) graphicsBuffer_ = imageAt(6, 10, d[3] == 2 ? 2 : 1, d[4] == 2 ? 2 : 1, ok);
        graphicsBuffered_ = ok;
        addCommand(c, whole, ok ? "Store graphics " + std::to_string(graphicsBuffer_.width) + " x " +
                                      std::to_string(graphicsBuffer_.height) + " dots"
                                : "Store graphics (not monochrome: not drawn)",
                   ok ? CommandClass::Setting : CommandClass::KnownNotDrawn);
        return;
    }
    case 50: { // print buffered graphics
        int command = addCommand(c, whole, "Print stored graphics", CommandClass::Drawn);
        if (graphicsBuffered_) placeImage(graphicsBuffer_, command);
        graphicsBuffered_ = false;
        return;
    }
    case 67: case 83: { // define NV or download graphics: m fn a kc1 kc2 b xL xH yL yH c data
        bool ok = false;
        BitImage image;
        if (length >= 11 && d[2] == 48) image = imageAt(6, 11, 1, 1, ok);
        int key = (fn << 16) | (length > 4 ? d[3] << 8 | d[4] : 0);
        if (ok && (storedGraphics_.size() < kStoredGraphicsKept || storedGraphics_.count(key)))
            storedGraphics_[key] = std::move(image);
        addCommand(c, whole, std::string("Define ") + (fn == 67 ? "NV" : "download") + " graphics", CommandClass::Setting);
        return;
    }
    case 69: case 85: { // print NV or download graphics: m fn kc1 kc2 x y
        int key = ((fn == 69 ? 67 : 83) << 16) | (length > 3 ? d[2] << 8 | d[3] : 0);
        std::string label = std::string(fn == 69 ? "NV" : "download") + " graphics " +
                            (length > 3 ? std::string{static_cast<char>(d[2]), static_cast<char>(d[3])} : "");
        int command = addCommand(c, whole, "Print " + label, CommandClass::Drawn);
        auto found = storedGraphics_.find(key);
        if (found != storedGraphics_.end()) {
            placeImage(found->second, command);
        } else {
            Marker marker;
            marker.kind = MarkerKind::StoredImage;
            marker.label = label;
            marker.width = std::min(area(), 24 + 9 * static_cast<int>(label.size()));
            marker.height = 48;
            placeBlock({marker, command}, marker.width, marker.height);
        }
        return;
    }
    default:
        knownNotDrawn(c, whole, "Graphics function " + std::to_string(fn));
        return;
    }
}

} // namespace ostrel::receipt
