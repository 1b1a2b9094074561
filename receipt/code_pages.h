#pragma once

#include <array>
#include <map>
#include <string>

namespace ostrel::receipt {

// The character tables of ESC t and the international sets of ESC R, read
// from the C library's iconv converters once and kept. Which table a number
// selects is the printer model's: its profile's page list.
class CharacterTables {
public:
    CharacterTables();
    // The model's pages: ESC t n -> an iconv name, or "Katakana".
    void setPages(const std::map<int, std::string>& pages);

    // ESC t n. False (and the table kept) for a table this printer lacks.
    bool selectTable(int n);
    // ESC R n. False (and the set kept) for a set this printer lacks.
    bool selectInternational(int n);
    void reset();

    char32_t decode(unsigned char byte) const { return current_[byte]; }
    // The page ESC t selected.
    int table() const { return table_; }
    // The name of table n, or empty when the model has none.
    std::string tableName(int n) const;
    static std::string internationalName(int n);

private:
    void rebuild();

    const std::map<int, std::string>* pages_;
    int table_ = 0, international_ = 0;
    std::array<char32_t, 256> current_ {};
};

} // namespace ostrel::receipt
