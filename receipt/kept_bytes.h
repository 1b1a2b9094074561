#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

namespace ostrel::receipt {

// The newest bytes of a capture, up to a limit: what the receipt preview has
// still to read, and what it read, to read again.
//
// Appending runs on the receive path, between a status reply and the next
// request. A growing string touches a fresh page for every 4 KiB it grows,
// and on virtual machines each first touch can cost more than taking the
// chunk did. So the bytes live in one block, reserved at the first append in
// huge pages where the system offers them: a fresh page then comes once per
// 2 MiB rather than once per chunk.
class KeptBytes {
public:
    // Past `limit` bytes, the newest half of the limit is kept.
    explicit KeptBytes(std::size_t limit);
    KeptBytes(const KeptBytes&) = delete;
    KeptBytes& operator=(const KeptBytes&) = delete;

    // Returns whether older bytes were dropped to make room.
    bool append(std::string_view bytes);
    void clear() { size_ = 0; }

    std::string_view bytes() const { return { block_.get(), size_ }; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

private:
    struct Free {
        void operator()(char* block) const;
    };
    std::size_t limit_;
    std::size_t size_ = 0;
    std::unique_ptr<char, Free> block_;
};

} // namespace ostrel::receipt
