#include "receipt/code_pages.h"

#include "receipt/printer_profile.h"

#include <iconv.h>

#include <map>
#include <mutex>

namespace ostrel::receipt {
namespace {

    using Table = std::array<char32_t, 256>;

    // Decodes every byte alone; a byte the code page leaves empty shows as U+FFFD.
    Table ReadTable(const std::string& name)
    {
        Table table {};
        table.fill(U'\uFFFD');
        iconv_t cd = iconv_open("UTF-32LE", name.c_str());
        if (cd == reinterpret_cast<iconv_t>(-1))
            return table;
        for (int b = 0; b < 256; ++b) {
            char in = static_cast<char>(b);
            unsigned char out[8] = {};
            char* inPtr = &in;
            char* outPtr = reinterpret_cast<char*>(out);
            size_t inLeft = 1, outLeft = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1)
                && outLeft == 4)
                table[b]
                    = static_cast<char32_t>(out[0] | out[1] << 8 | out[2] << 16 | out[3] << 24);
        }
        iconv_close(cd);
        return table;
    }

    // Where printers print more than the C library's converter knows: PC857 as
    // printers have it is IBM's revision with the euro sign at 0xD5, which the
    // encoders use.
    struct Patch {
        const char* table;
        unsigned char byte;
        char32_t character;
    };
    constexpr Patch kPatches[] = { { "CP857", 0xD5, U'\u20AC' } };

    const Table& CachedTable(const std::string& name)
    {
        static std::mutex mutex;
        static std::map<std::string, Table> tables;
        std::lock_guard lock(mutex);
        auto found = tables.find(name);
        if (found == tables.end()) {
            Table table = ReadTable(name);
            for (const Patch& patch : kPatches)
                if (name == patch.table)
                    table[patch.byte] = patch.character;
            found = tables.emplace(name, table).first;
        }
        return found->second;
    }

    // Page 1 is the printer's Katakana page: half-width Katakana as JIS X 0201
    // has them, and in 0x80-0x9F and 0xE0-0xFF the graphic characters the
    // printer's character table shows there (block elements, line and corner
    // pieces, card suits, date and money words), which JIS X 0201 leaves empty.
    // Receipt designers draw table rules and boxes with them.
    constexpr char32_t kKatakanaGraphics[64] = {
        U'▁',
        U'▂',
        U'▃',
        U'▄',
        U'▅',
        U'▆',
        U'▇',
        U'█',
        U'▏',
        U'▎',
        U'▍',
        U'▌',
        U'▋',
        U'▊',
        U'▉',
        U'┼',
        U'┴',
        U'┬',
        U'┤',
        U'├',
        U'▔',
        U'─',
        U'│',
        U'▕',
        U'┌',
        U'┐',
        U'└',
        U'┘',
        U'╭',
        U'╮',
        U'╰',
        U'╯',
        U'═',
        U'╞',
        U'╪',
        U'╡',
        U'◢',
        U'◣',
        U'◥',
        U'◤',
        U'♠',
        U'♥',
        U'♦',
        U'♣',
        U'●',
        U'○',
        U'╱',
        U'╲',
        U'╳',
        U'円',
        U'年',
        U'月',
        U'日',
        U'時',
        U'分',
        U'秒',
        U'〒',
        U'市',
        U'区',
        U'町',
        U'村',
        U'人',
        U'▓',
        U' ',
    };

    const Table& KatakanaPage()
    {
        static const Table page = [] {
            // The C library has no JIS X 0201 converter; Shift_JIS holds the same
            // half-width Katakana as single bytes.
            Table table = CachedTable("SHIFT_JIS");
            for (int i = 0; i < 32; ++i) {
                table[0x80 + i] = kKatakanaGraphics[i];
                table[0xE0 + i] = kKatakanaGraphics[32 + i];
            }
            table[0xA0] = U' ';
            return table;
        }();
        return page;
    }

    // The places an international set changes in the lower half.
    constexpr unsigned char kNationalPlaces[]
        = { 0x23, 0x24, 0x40, 0x5B, 0x5C, 0x5D, 0x5E, 0x60, 0x7B, 0x7C, 0x7D, 0x7E };

} // namespace

std::string CharacterTables::tableName(int n) const
{
    const auto found = pages_->find(n);
    return found == pages_->end() ? std::string() : found->second;
}

std::string CharacterTables::internationalName(int n)
{
    switch (n) {
    case 0:
        return "ISO646-US";
    case 1:
        return "ISO646-FR";
    case 2:
        return "ISO646-DE";
    case 3:
        return "ISO646-GB";
    case 4:
        return "ISO646-DK";
    case 5:
        return "ISO646-SE";
    case 6:
        return "ISO646-IT";
    case 7:
        return "ISO646-ES";
    case 8:
        return "ISO646-JP";
    case 9:
        return "ISO646-NO";
    case 10:
        return "ISO646-DK";
    case 11:
        return "ISO646-ES2";
    case 12:
        return "ISO646-ES";
    case 13:
        return "ISO646-KR";
    case 14:
        return "ISO646-YU";
    case 15:
        return "ISO646-CN";
    default:
        return {};
    }
}

CharacterTables::CharacterTables()
    : pages_(&GenericProfile().codePages)
{
    rebuild();
}

void CharacterTables::setPages(const std::map<int, std::string>& pages)
{
    pages_ = &pages;
    reset();
}

bool CharacterTables::selectTable(int n)
{
    if (tableName(n).empty())
        return false;
    table_ = n;
    rebuild();
    return true;
}

bool CharacterTables::selectInternational(int n)
{
    if (internationalName(n).empty())
        return false;
    international_ = n;
    rebuild();
    return true;
}

void CharacterTables::reset()
{
    table_ = 0;
    international_ = 0;
    rebuild();
}

void CharacterTables::rebuild()
{
    const std::string name = tableName(table_);
    current_ = name == "Katakana" ? KatakanaPage() : CachedTable(name);
    for (int b = 0x20; b < 0x7F; ++b)
        current_[b] = static_cast<char32_t>(b);
    const Table& national = CachedTable(internationalName(international_));
    for (unsigned char place : kNationalPlaces)
        if (national[place] != U'\uFFFD')
            current_[place] = national[place];
}

} // namespace ostrel::receipt
