// Reads back the symbols in a PNG the page showed, as a customer's scanner
// would: prints each one's text on a line of its own, top to bottom (one
// barcode and one 2-D symbol at most), or fails.

#define ZX_USE_UTF8
#include <QGuiApplication>
#include <QImage>

#include <ZXing/ReadBarcode.h>

#include <algorithm>
#include <iostream>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: decode_symbols FILE.png\n";
        return 2;
    }
    const QImage paper(QString::fromLocal8Bit(argv[1]));
    if (paper.isNull()) {
        std::cerr << "decode_symbols: cannot read " << argv[1] << "\n";
        return 1;
    }
    // A margin of white all round, as the reader wants its quiet zone.
    QImage gray(paper.width() + 80, paper.height() + 80, QImage::Format_Grayscale8);
    gray.fill(255);
    const QImage plain = paper.convertToFormat(QImage::Format_Grayscale8);
    for (int y = 0; y < plain.height(); ++y)
        std::copy_n(plain.constScanLine(y), plain.width(), gray.scanLine(y + 40) + 40);
    const ZXing::ImageView view(gray.constBits(), gray.width(), gray.height(),
        ZXing::ImageFormat::Lum, static_cast<int>(gray.bytesPerLine()));
    ZXing::DecodeHints hints;
    hints.setTryHarder(true);
    // One symbol of each family: ZXing 1.4's ReadBarcodes trips on a barcode
    // read on several lines, so each family is read on its own.
    std::vector<ZXing::Result> results;
    for (const ZXing::BarcodeFormats family :
        { ZXing::BarcodeFormat::LinearCodes, ZXing::BarcodeFormat::MatrixCodes }) {
        hints.setFormats(family);
        ZXing::Result result = ZXing::ReadBarcode(view, hints);
        if (result.isValid())
            results.push_back(std::move(result));
    }
    if (results.empty()) {
        std::cerr << "decode_symbols: no symbol read in " << argv[1] << "\n";
        return 1;
    }
    std::sort(results.begin(), results.end(), [](const ZXing::Result& a, const ZXing::Result& b) {
        return a.position().topLeft().y < b.position().topLeft().y;
    });
    for (const ZXing::Result& result : results)
        std::cout << result.text() << "\n";
    return 0;
}
