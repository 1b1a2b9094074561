#include "render/picture_job.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

#include <vector>

namespace ostrel::render {

bool PictureDots(std::string_view data, int printDots, bool dither, receipt::DotPicture& picture,
    std::string& error)
{
    QByteArray bytes = QByteArray::fromRawData(data.data(), static_cast<qsizetype>(data.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid()) {
        error = "not a picture that can be read (" + reader.errorString().toStdString() + ")";
        return false;
    }
    if (size.width() > kMaxPictureSide || size.height() > kMaxPictureSide) {
        error = "the picture is " + std::to_string(size.width()) + " x "
            + std::to_string(size.height()) + " pixels, more than "
            + std::to_string(kMaxPictureSide) + " a side";
        return false;
    }
    QImage image;
    if (!reader.read(&image)) {
        error = "the picture cannot be decoded (" + reader.errorString().toStdString() + ")";
        return false;
    }
    if (printDots > 0 && image.width() > printDots)
        image = image.scaledToWidth(printDots, Qt::SmoothTransformation);
    if (image.height() > kMaxPictureDots) {
        error = "the picture is " + std::to_string(image.height())
            + " dots long on the paper, more than " + std::to_string(kMaxPictureDots);
        return false;
    }
    image = image.convertToFormat(QImage::Format_ARGB32);
    const int width = image.width(), height = image.height();

    // Lightness 0 (black) to 255, on white paper; the error spreads as it goes.
    std::vector<int> light(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const int alpha = qAlpha(line[x]);
            light[static_cast<std::size_t>(y) * width + x]
                = (qGray(line[x]) * alpha + 255 * (255 - alpha)) / 255;
        }
    }
    picture.width = width;
    picture.height = height;
    const std::size_t stride = (static_cast<std::size_t>(width) + 7) / 8;
    picture.rows.assign(stride * height, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int old = light[static_cast<std::size_t>(y) * width + x];
            const bool black = old < 128;
            if (black)
                picture.rows[y * stride + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            if (!dither)
                continue;
            const int wrong = old - (black ? 0 : 255);
            auto spread = [&](int dx, int dy, int sixteenths) {
                const int nx = x + dx, ny = y + dy;
                if (nx >= 0 && nx < width && ny < height)
                    light[static_cast<std::size_t>(ny) * width + nx] += wrong * sixteenths / 16;
            };
            spread(1, 0, 7);
            spread(-1, 1, 3);
            spread(0, 1, 5);
            spread(1, 1, 1);
        }
    }
    return true;
}

bool PictureCommands(std::string_view data, const receipt::PrinterProfile& model,
    const receipt::JobEnding& ending, bool dither, std::string& commands, std::string& error)
{
    receipt::DotPicture dots;
    if (!PictureDots(data, model.printDots, dither, dots, error))
        return false;
    commands = receipt::PictureJob(model.language, dots, ending);
    return true;
}

} // namespace ostrel::render
