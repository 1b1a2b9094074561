#include "receipt/code_pages.h"

#include <iconv.h>

#include <map>
#include <mutex>

namespace ostrel::receipt {
namespace {

using Table = std::array<char32_t, 256>;

// Decodes every byte alone; a byte the code page leaves empty shows as U+FFFD.
Table ReadTable(const std::string& name) {
    Table table{};
    table.fill(U'\uFFFD');
    iconv_t cd = iconv_open("UTF-32LE", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return table;
    for (int b = 0; b < 256; ++b) {
        char in = static_cast<char>(b);
        unsigned char out[8] = {};
        char* inPtr = &in;
        char* outPtr = reinterpret_cast<char*>(out);
        size_t inLeft = 1, outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1) && outLeft == 4)
            table[b] = static_cast<char32_t>(out[0] | out[1] << 8 | out[2] << 16 | out[3] << 24);
    }
    iconv_close(cd);
    return table;
}

const Table& CachedTable(const std::string& name) {
    static std::mutex mutex;
    static std::map<std::string, Table> tables;
    std::lock_guard lock(mutex);
    auto found = tables.find(name);
    if (found == tables.end()) found = tables.emplace(name, ReadTable(name)).first;
    return found->second;
}

// Page 1 is the printer's Katakana page: half-width Katakana as JIS X 0201
// has them, and in 0x80-0x9F and 0xE0-0xFF the graphic characters the
// printer's character table shows there (block elements, line and corner
// pieces, card suits, date and money words), which JIS X 0201 leaves empty.
// Receipt designers draw table rules and boxes with them.
constexpr char32_t kKatakanaGraphics[64] = {
    U'▁', U'▂', U'▃', U'▄', U'▅', U'▆', U'▇', U'█', U'▏', U'▎', U'▍', U'▌', U'▋', U'▊', U'▉', U'┼',
    U'┴', U'┬', U'┤', U'├', U'▔', U'─', U'│', U'▕', U'┌', U'┐', U'└', U'┘', U'╭', U'╮', U'╰', U'╯',
    U'═', U'╞', U'╪', U'╡', U'◢', U'◣', U'◥', U'◤', U'♠', U'♥', U'♦', U'♣', U'●', U'○', U'╱', U'╲',
    U'╳', U'円', U'年', U'月', U'日', U'時', U'分', U'秒', U'〒', U'市', U'区', U'町', U'村', U'人', U'▓', U' ',
};

const Table& KatakanaPage() {
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
constexpr unsigned char kNationalPlaces[] = {0x23, 0x24, 0x40, 0x5B, 0x5C, 0x5D, 0x5E, 0x60, 0x7B, 0x7C, 0x7D, 0x7E};

} // namespace

std::string CharacterTables::tableName(int n) {
    switch (n) {
    case 0: return "CP437";
    case 1: return "JIS_X0201"; // katakana
    case 2: return "CP850";
    case 3: return "CP860";
    case 4: return "CP863";
    case 5: return "CP865";
    case 11: return "CP851";
    case 13: return "CP857";
    case 14: return "CP737";
    case 15: return "ISO-8859-7";
    case 16: return "CP1252";
    case 17: return "CP866";
    case 18: return "CP852";
    case 19: return "CP858";
    case 33: return "CP775";
    case 34: return "CP855";
    case 35: return "CP861";
    case 36: return "CP862";
    case 37: return "CP864";
    case 38: return "CP869";
    case 39: return "ISO-8859-2";
    case 40: return "ISO-8859-15";
    case 44: return "CP1125";
    case 45: return "CP1250";
    case 46: return "CP1251";
    case 47: return "CP1253";
    case 48: return "CP1254";
    case 49: return "CP1255";
    case 50: return "CP1256";
    case 51: return "CP1257";
    case 52: return "CP1258";
    default: return {};
    }
}

std::string CharacterTables::internationalName(int n) {
    switch (n) {
    case 0: return "ISO646-US";
    case 1: return "ISO646-FR";
    case 2: return "ISO646-DE";
    case 3: return "ISO646-GB";
    case 4: return "ISO646-DK";
    case 5: return "ISO646-SE";
    case 6: return "ISO646-IT";
    case 7: return "ISO646-ES";
    case 8: return "ISO646-JP";
    case 9: return "ISO646-NO";
    case 10: return "ISO646-DK";
    case 11: return "ISO646-ES2";
    case 12: return "ISO646-ES";
    case 13: return "ISO646-KR";
    case 14: return "ISO646-YU";
    case 15: return "ISO646-CN";
    default: return {};
    }
}

CharacterTables::CharacterTables() { rebuild(); }

bool CharacterTables::selectTable(int n) {
    if (tableName(n).empty()) return false;
    table_ = n;
    rebuild();
    return true;
}

bool CharacterTables::selectInternational(int n) {
    if (internationalName(n).empty()) return false;
    international_ = n;
    rebuild();
    return true;
}

void CharacterTables::reset() {
    table_ = 0;
    international_ = 0;
    rebuild();
}

void CharacterTables::rebuild() {
    current_ = table_ == 1 ? KatakanaPage() : CachedTable(tableName(table_));
    for (int b = 0x20; b < 0x7F; ++b) current_[b] = static_cast<char32_t>(b);
    const Table& national = CachedTable(internationalName(international_));
    for (unsigned char place : kNationalPlaces)
        if (national[place] != U'\uFFFD') current_[place] = national[place];
}

} // namespace ostrel::receipt
