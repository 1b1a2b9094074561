#include "app/sample_print_job.h"

#include <cstdint>

namespace ostrel {

std::string SampleReceipt()
{
    std::string job;
    const auto cmd = [&job](std::initializer_list<int> bytes) {
        for (int b : bytes)
            job += static_cast<char>(b);
    };
    cmd({ 0x1B, '@' }); // initialise
    cmd({ 0x1B, 'a', 1 }); // centre
    cmd({ 0x1D, '!', 0x11 }); // double size
    job += "OSTREL COFFEE HOUSE\r\n";
    cmd({ 0x1D, '!', 0x00 });
    job += "12 Harbour Street\r\n\r\n";
    cmd({ 0x1B, 'a', 0 });
    for (const char* line : { "Flat white            2  7.00", "Almond croissant      1  3.40",
             "Sparkling water       1  2.10" }) {
        job += line;
        job += "\r\n";
    }
    cmd({ 0x1B, '!', 0x08 }); // emphasised
    job += "TOTAL                    12.50\r\n";
    cmd({ 0x1B, '!', 0x00 });
    cmd({ 0x1B, '-', 1 });
    job += "Card ****4421\r\n";
    cmd({ 0x1B, '-', 0 });
    cmd({ 0x09 });
    job += "Thank you\n";
    cmd({ 0x1D, 'h', 80, 0x1D, 'H', 2, 0x1D, 'w', 2 });
    cmd({ 0x1D, 'k', 69, 12 }); // CODE39 barcode: its data follows as ordinary bytes
    job += "000123456789";
    // A 32-byte raster whose data holds ESC, GS, DLE "R" and LF: all data.
    cmd({ 0x1F, '*', 0x00, 0x20 });
    for (int i = 0; i < 32; ++i)
        job += static_cast<char>(i % 4 == 0 ? 0x1B : i % 4 == 1 ? 0x10 : i % 4 == 2 ? 'R' : 0x0A);
    cmd({ 0x1B, '*', 0x21, 0x08, 0x00 });
    for (int i = 0; i < 24; ++i)
        job += static_cast<char>(0xFF - i);
    cmd({ 0x1B, 'J', 40, 0x0C }); // feed, form feed
    cmd({ 0x10, 'R' }); // status request
    cmd({ 0x1D, 'V' }); // cut (this printer's GS "V" takes no parameter)
    return job;
}

std::string SamplePrintStream(std::size_t size)
{
    const std::string receipt = SampleReceipt();
    std::string stream;
    stream.reserve(size + receipt.size() + 64);
    std::uint32_t seed = 0x2545F491u;
    while (stream.size() < size) {
        stream += receipt;
        // A run of arbitrary bytes, as a host's binary data or line noise would be.
        for (int i = 0; i < 48; ++i) {
            seed = seed * 1664525u + 1013904223u;
            stream += static_cast<char>(seed >> 24);
        }
    }
    stream.resize(size);
    return stream;
}

} // namespace ostrel
