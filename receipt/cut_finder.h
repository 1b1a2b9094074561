#pragma once

#include "receipt/command_stream.h"
#include "receipt/printer_profile.h"

#include <cstddef>
#include <string_view>

namespace ostrel::receipt {

// Finds where a job's cut ends, by the printer language's own table: bytes
// inside image, barcode or logo data that look like a cut are no cut, and a
// cut split over chunks is found in the chunk where it ends.
class CutFinder : private CommandStream::Reader {
public:
    explicit CutFinder(Language language);

    // Where the first cut ending in `chunk` ends, counted from the chunk's
    // first byte; npos for none. The bytes after it belong to the next job:
    // restart(), then feed them again.
    std::size_t feed(std::string_view chunk);
    void restart();

private:
    // A cut is a few bytes: longer commands are passed over unread.
    static constexpr long long kLongestLooked = 64;

    void text(const unsigned char*, std::size_t, long long) override { }
    void command(const CommandRow& row, const unsigned char* bytes, long long length,
        long long offset) override;
    void notUnderstood(const unsigned char*, long long, long long) override { }
    void tooLong(
        const CommandRow&, const unsigned char*, std::size_t, long long, long long) override
    {
    }

    Language language_;
    CommandStream stream_;
    long long fed_ = 0; // bytes fed before the chunk being read
    long long cutEnd_ = -1; // the first cut's end in the stream, once found
};

} // namespace ostrel::receipt
