#include "receipt/kept_bytes.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#ifdef __linux__
#include <sys/mman.h>
#endif

namespace ostrel::receipt {

namespace {

    constexpr std::size_t kHugePage = 2u << 20;

    char* Reserve(std::size_t bytes)
    {
        // Rounded up to whole huge pages, as aligned_alloc wants a multiple of
        // the alignment.
        const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        void* block = std::aligned_alloc(kHugePage, rounded);
        if (block == nullptr)
            throw std::bad_alloc();
#ifdef __linux__
        // Only advice: without huge pages the block works the same, page by page.
        ::madvise(block, rounded, MADV_HUGEPAGE);
#endif
        return static_cast<char*>(block);
    }

} // namespace

void KeptBytes::Free::operator()(char* block) const { std::free(block); }

KeptBytes::KeptBytes(std::size_t limit)
    : limit_(std::max<std::size_t>(limit, 2))
{
}

bool KeptBytes::append(std::string_view bytes)
{
    if (bytes.empty())
        return false;
    if (!block_)
        block_.reset(Reserve(limit_));
    if (size_ + bytes.size() <= limit_) {
        std::memcpy(block_.get() + size_, bytes.data(), bytes.size());
        size_ += bytes.size();
        return false;
    }
    // The newest half of the limit, from what is kept and what came.
    const std::size_t keep = limit_ / 2;
    const std::size_t fromNew = std::min(keep, bytes.size());
    const std::size_t fromOld = std::min(keep - fromNew, size_);
    std::memmove(block_.get(), block_.get() + size_ - fromOld, fromOld);
    std::memcpy(block_.get() + fromOld, bytes.data() + bytes.size() - fromNew, fromNew);
    size_ = fromOld + fromNew;
    return true;
}

} // namespace ostrel::receipt
