#include "receipt/plain_job.h"

#include <algorithm>

namespace ostrel::receipt {
namespace {

    bool Star(Language language)
    {
        return language == Language::StarLine || language == Language::StarPrnt;
    }

    std::string Drawer(Language language)
    {
        // Star: BEL drives drawer 1. ESC/POS: ESC p 0, 50 ms on, 500 ms off.
        return Star(language) ? std::string("\x07") : std::string("\x1bp\x00\x19\xfa", 5);
    }

    std::string Cut(Language language, const JobEnding& ending)
    {
        if (ending.cut == JobEnding::Cut::None)
            return ending.feed ? std::string("\n\n\n") : std::string();
        const bool partial = ending.cut == JobEnding::Cut::Partial;
        std::string cut;
        if (Star(language)) {
            // ESC d n: 0 full, 1 partial; 2 and 3 the same after feeding to the cutter.
            cut = "\x1b"
                  "d";
            cut += static_cast<char>((ending.feed ? 2 : 0) + (partial ? 1 : 0));
        } else if (language == Language::CommandLog) {
            cut = "\x1dV"; // its GS V takes no parameter
        } else {
            // GS V 0/1 cuts where the paper is; GS V 65/66 n feeds to the cutter first.
            cut = "\x1dV";
            cut += static_cast<char>(ending.feed ? (partial ? 66 : 65) : (partial ? 1 : 0));
            if (ending.feed)
                cut += '\0';
        }
        return cut;
    }

    std::string Begin(Language language, const JobEnding& ending)
    {
        std::string begin = "\x1b@";
        if (ending.drawer == JobEnding::Drawer::Start)
            begin += Drawer(language);
        return begin;
    }

    std::string End(Language language, const JobEnding& ending)
    {
        // The drawer opens as the receipt is finished, before the cut
        // starts the next one.
        std::string end
            = ending.drawer == JobEnding::Drawer::End ? Drawer(language) : std::string();
        return end + Cut(language, ending);
    }

} // namespace

std::string PlainTextJob(Language language, std::string_view text, const JobEnding& ending)
{
    std::string job = Begin(language, ending);
    job.reserve(job.size() + text.size() + 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n')
                continue;
            job += '\n';
        } else if (c == '\n' || c == '\t' || (c >= 0x20 && c != 0x7f)) {
            job += static_cast<char>(c);
        } else {
            job += '?';
        }
    }
    if (!job.empty() && job.back() != '\n' && !text.empty())
        job += '\n';
    return job + End(language, ending);
}

std::string PictureJob(Language language, const DotPicture& picture, const JobEnding& ending)
{
    std::string job = Begin(language, ending);
    const int stride = (picture.width + 7) / 8;
    for (int top = 0; top < picture.height; top += kRasterBandRows) {
        const int rows = std::min(kRasterBandRows, picture.height - top);
        const char size[4] = { static_cast<char>(stride & 0xff), static_cast<char>(stride >> 8),
            static_cast<char>(rows & 0xff), static_cast<char>(rows >> 8) };
        if (Star(language))
            job += std::string("\x1b\x1dS\x01", 4) + std::string(size, 4)
                + '\0'; // m 1: one bit a dot; n 0
        else
            job += std::string("\x1dv0\x00", 4) + std::string(size, 4); // m 0: each dot once
        const auto* from = picture.rows.data() + static_cast<std::size_t>(top) * stride;
        job.append(reinterpret_cast<const char*>(from), static_cast<std::size_t>(rows) * stride);
    }
    return job + End(language, ending);
}

} // namespace ostrel::receipt
