#pragma once

#include <array>
#include <string>

namespace ostrel::receipt {

// The character tables of ESC t and the international sets of ESC R, read
// from the C library's iconv converters once and kept.
class CharacterTables {
public:
    CharacterTables();

    // ESC t n. False (and the table kept) for a table this printer lacks.
    bool selectTable(int n);
    // ESC R n. False (and the set kept) for a set this printer lacks.
    bool selectInternational(int n);
    void reset();

    char32_t decode(unsigned char byte) const { return current_[byte]; }
    // The page ESC t selected.
    int table() const { return table_; }
    // The iconv name of table n, or empty when there is none.
    static std::string tableName(int n);
    static std::string internationalName(int n);

private:
    void rebuild();

    int table_ = 0, international_ = 0;
    std::array<char32_t, 256> current_{};
};

} // namespace ostrel::receipt
