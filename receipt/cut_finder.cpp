#include "receipt/cut_finder.h"

#include "receipt/command_table.h"

namespace ostrel::receipt {

CutFinder::CutFinder(Language language)
    : language_(language)
    , stream_(*this, kLongestLooked)
{
    stream_.setLanguage(language);
}

void CutFinder::restart()
{
    stream_.clear();
    fed_ = 0;
    cutEnd_ = -1;
}

std::size_t CutFinder::feed(std::string_view chunk)
{
    cutEnd_ = -1;
    stream_.feed(chunk);
    const long long start = fed_;
    fed_ += static_cast<long long>(chunk.size());
    if (cutEnd_ < 0)
        return std::string_view::npos;
    return static_cast<std::size_t>(cutEnd_ - start);
}

void CutFinder::command(
    const CommandRow& row, const unsigned char*, long long length, long long offset)
{
    if (cutEnd_ < 0 && row.role == Role::Cut)
        cutEnd_ = offset + length;
}

} // namespace ostrel::receipt
