#include "receipt/raster_images.h"

#include "receipt/command_bytes.h"
#include "receipt/receipt_printer.h"

#include <algorithm>
#include <string>

namespace ostrel::receipt {

using bytes::Word;

BitImage RasterImage(const unsigned char* data, int widthBytes, int height, int scaleX, int scaleY)
{
    BitImage image;
    image.resize(widthBytes * 8 * scaleX, height * scaleY);
    if (scaleX == 1 && scaleY == 1) {
        std::copy_n(data, image.bits.size(), image.bits.begin()); // the same rows
        return image;
    }
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < widthBytes * 8; ++column) {
            if (!(data[row * widthBytes + column / 8] & (0x80 >> (column % 8))))
                continue;
            for (int dy = 0; dy < scaleY; ++dy)
                for (int dx = 0; dx < scaleX; ++dx)
                    image.set(column * scaleX + dx, row * scaleY + dy);
        }
    return image;
}

BitImage Cropped(BitImage image, int width)
{
    if (image.width <= width || width <= 0)
        return image;
    BitImage cropped;
    cropped.resize(width, image.height);
    const std::size_t stride = cropped.stride();
    for (int row = 0; row < image.height; ++row)
        std::copy_n(image.bits.begin() + static_cast<long>(row * image.stride()), stride,
            cropped.bits.begin() + static_cast<long>(row * stride));
    // Dots past the new edge in the last byte are not part of the picture.
    if (width % 8)
        for (int row = 0; row < image.height; ++row)
            cropped.bits[row * stride + stride - 1]
                &= static_cast<std::uint8_t>(0xFF00 >> (width % 8));
    return cropped;
}

BitImage ColumnBytesImage(const unsigned char* data, int columns, int bytesPerColumn, int height)
{
    BitImage image;
    image.resize(columns, std::min(height, 8 * bytesPerColumn));
    for (int column = 0; column < columns; ++column)
        for (int row = 0; row < image.height; ++row)
            if (data[static_cast<std::size_t>(column) * bytesPerColumn + row / 8]
                & (0x80 >> (row % 8)))
                image.set(column, row);
    return image;
}

BitImage Scaled(const BitImage& image, int scaleX, int scaleY)
{
    if (scaleX == 1 && scaleY == 1)
        return image;
    BitImage scaled;
    scaled.resize(image.width * scaleX, image.height * scaleY);
    for (int row = 0; row < image.height; ++row)
        for (int column = 0; column < image.width; ++column) {
            if (!image.dot(column, row))
                continue;
            for (int dy = 0; dy < scaleY; ++dy)
                for (int dx = 0; dx < scaleX; ++dx)
                    scaled.set(column * scaleX + dx, row * scaleY + dy);
        }
    return scaled;
}

// The memory took each definition only when its sizes matched its data;
// they are checked again here all the same.
BitImage DecodeStored(const StoredDefinition& stored, int index)
{
    const auto* c = reinterpret_cast<const unsigned char*>(stored.command.data());
    const std::size_t length = stored.command.size();
    const auto fits = [&](std::size_t at, long long bytes) {
        return bytes >= 0 && at + static_cast<std::size_t>(bytes) <= length;
    };
    switch (stored.kind) {
    case StoredKind::NvGraphics:
    case StoredKind::DownloadGraphics: {
        // Header, m fn a kc1 kc2 b xL xH yL yH c, then the first colour's data.
        const std::size_t header = c[1] == '8' ? 7 : 5, data = header + 11;
        if (length < data)
            return {};
        const unsigned char* d = c + header;
        const int width = Word(d + 6), height = Word(d + 8);
        if (d[1] == 67 || d[1] == 83) {
            if (!fits(data, (width + 7) / 8 * static_cast<long long>(height)))
                return {};
            return Cropped(RasterImage(c + data, (width + 7) / 8, height, 1, 1), width);
        }
        if (!fits(data, static_cast<long long>(width) * ((height + 7) / 8)))
            return {};
        return ColumnBytesImage(c + data, width, (height + 7) / 8, height);
    }
    case StoredKind::NvBitImages:
    case StoredKind::StarLogos: {
        // n, then each image's xL xH yL yH and data, x * 8 columns of y bytes.
        std::size_t at = (c[0] == 0x1B ? 3 : 2) + 1;
        for (int image = 1; at + 4 <= length; ++image) {
            const int x = Word(c + at), y = Word(c + at + 2);
            const long long bytes = 8LL * x * y;
            if (!fits(at + 4, bytes))
                return {};
            if (image == index)
                return ColumnBytesImage(c + at + 4, 8 * x, y, 8 * y);
            at += 4 + static_cast<std::size_t>(bytes);
        }
        return {};
    }
    case StoredKind::DownloadedImage: {
        if (length < 4 || !fits(4, 8LL * c[2] * c[3]))
            return {};
        return ColumnBytesImage(c + 4, 8 * c[2], c[3], 8 * c[3]);
    }
    case StoredKind::UserCharacter: {
        // ESC & y c c x and x columns of y bytes.
        if (length < 6 || !fits(6, static_cast<long long>(c[2]) * c[5]))
            return {};
        return ColumnBytesImage(c + 6, c[5], c[2], 8 * c[2]);
    }
    }
    return {};
}

// ESC * m nL nH data: columns of 8 or 24 dots, the top dot in bit 7, each
// dot scaled to the mode's density.
BitImage ColumnImage(int mode, int columns, const unsigned char* data)
{
    bool tall = mode == 32 || mode == 33;
    int scaleX = mode == 0 || mode == 32 ? 2 : 1;
    int scaleY = tall ? 1 : 3;
    int bytesPerColumn = tall ? 3 : 1;
    BitImage image;
    image.resize(columns * scaleX, 24);
    for (int column = 0; column < columns; ++column)
        for (int bit = 0; bit < 8 * bytesPerColumn; ++bit) {
            if (!(data[column * bytesPerColumn + bit / 8] & (0x80 >> (bit % 8))))
                continue;
            for (int dy = 0; dy < scaleY; ++dy)
                for (int dx = 0; dx < scaleX; ++dx)
                    image.set(column * scaleX + dx, bit * scaleY + dy);
        }
    return image;
}

// GS ( L and GS 8 L: the parameters m fn ... follow a header of 5 or 7 bytes.
void ReceiptPrinter::runGraphics(const unsigned char* c, long long whole, int header)
{
    const unsigned char* d = c + header;
    long long length = whole - header;
    int fn = length > 1 ? d[1] : -1;
    // The width and height at d[size], the rows from d[header] on.
    auto imageAt = [&](long long size, long long header, int scaleX, int scaleY, bool& ok) {
        ok = false;
        if (length < header + 1)
            return BitImage {};
        int widthDots = Word(d + size), height = Word(d + size + 2);
        int widthBytes = (widthDots + 7) / 8;
        if (widthDots == 0 || height == 0
            || length < header + static_cast<long long>(widthBytes) * height)
            return BitImage {};
        ok = true;
        BitImage image = RasterImage(d + header, widthBytes, height, scaleX, scaleY);
        return Cropped(std::move(image), widthDots * scaleX);
    };
    switch (fn) {
    case 112: { // store raster graphics: m fn a bx by c xL xH yL yH data
        bool ok = false;
        if (length >= 10 && d[2] == 48)
            graphicsBuffer_ = imageAt(6, 10, d[3] == 2 ? 2 : 1, d[4] == 2 ? 2 : 1, ok);
        graphicsBuffered_ = ok;
        addCommand(c, whole,
            ok ? "Store graphics " + std::to_string(graphicsBuffer_.width) + " x "
                    + std::to_string(graphicsBuffer_.height) + " dots"
               : "Store graphics (not monochrome: not drawn)",
            ok ? CommandClass::Setting : CommandClass::KnownNotDrawn);
        return;
    }
    case 50: { // print buffered graphics
        int command = addCommand(c, whole, "Print stored graphics", CommandClass::Drawn);
        if (graphicsBuffered_)
            placeImage(graphicsBuffer_, command);
        graphicsBuffered_ = false;
        return;
    }
    case 67:
    case 68:
    case 83:
    case 84: // define NV or download graphics: kept by the printer's memory
        return definition(
            c, whole, std::string("Define ") + (fn <= 68 ? "NV" : "download") + " graphics");
    case 69:
    case 85: { // print NV or download graphics: m fn kc1 kc2 x y
        const std::string key
            = length > 3 ? std::string { static_cast<char>(d[2]), static_cast<char>(d[3]) } : "";
        std::string label = std::string(fn == 69 ? "NV" : "download") + " graphics " + key;
        const StoredDefinition* stored
            = memory_.find(fn == 69 ? StoredKind::NvGraphics : StoredKind::DownloadGraphics, key);
        const BitImage* image = stored != nullptr ? storedImage(*stored) : nullptr;
        int command = addCommand(c, whole,
            image != nullptr ? fromMemory(*stored, "Print " + label) : "Print " + label,
            CommandClass::Drawn);
        if (image != nullptr) {
            // x and y enlarge it: 1 or 2.
            const int scaleX = length > 4 && d[4] == 2 ? 2 : 1,
                      scaleY = length > 5 && d[5] == 2 ? 2 : 1;
            placeImage(Scaled(*image, scaleX, scaleY), command);
        } else {
            notStored(label);
            Marker marker;
            marker.kind = MarkerKind::StoredImage;
            marker.label = label;
            marker.width = std::min(area(), 24 + 9 * static_cast<int>(label.size()));
            marker.height = 48;
            placeBlock({ marker, command }, marker.width, marker.height);
        }
        return;
    }
    default:
        knownNotDrawn(c, whole, "Graphics function " + std::to_string(fn));
        return;
    }
}

} // namespace ostrel::receipt
