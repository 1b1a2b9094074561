#pragma once

#include "receipt/printer_profile.h"

#include <optional>
#include <string>
#include <string_view>

namespace ostrel::receipt {

// A job that reads far better in another language than the model chosen: the
// user who forgot --printer, or chose the emulation the printer is not in.
struct LanguageHint {
    Language language;
    std::string profile; // the first model of that language
    long long notUnderstood = 0; // bytes not understood, read that way
    long long asChosen = 0; // and as the model chosen reads them
    std::string text; // "Read as Star Line, ...: try --printer ..."
};

// How many bytes of the sample a job's beginning is read from.
constexpr std::size_t kLanguageSampleBytes = 64 * 1024;

// Reads the sample in each language; a hint when the chosen one leaves at
// least 8 bytes not understood and another leaves at most a quarter as many.
std::optional<LanguageHint> HintLanguage(std::string_view sample, Language chosen);

} // namespace ostrel::receipt
