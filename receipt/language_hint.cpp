#include "receipt/language_hint.h"

#include "receipt/not_understood_scan.h"

namespace ostrel::receipt {
namespace {

    long long NotUnderstoodAs(std::string_view sample, Language language)
    {
        NotUnderstoodScan scan(0, language);
        scan.feed(sample);
        return scan.bytes();
    }

} // namespace

std::optional<LanguageHint> HintLanguage(std::string_view sample, Language chosen)
{
    constexpr long long kFewestToHint = 8;
    const long long asChosen = NotUnderstoodAs(sample, chosen);
    if (asChosen < kFewestToHint)
        return std::nullopt;
    std::optional<LanguageHint> best;
    for (Language language : { Language::EscPos, Language::StarLine, Language::StarPrnt }) {
        if (language == chosen)
            continue;
        const long long count = NotUnderstoodAs(sample, language);
        if (count * 4 > asChosen || (best && count >= best->notUnderstood))
            continue;
        for (const PrinterProfile* profile : PrinterProfiles()) {
            if (profile->language != language)
                continue;
            best = LanguageHint { language, profile->id, count, asChosen, {} };
            break;
        }
    }
    if (best)
        best->text = std::string("Read as ") + LanguageName(best->language) + ", "
            + std::to_string(best->notUnderstood) + " of these bytes are not understood, against "
            + std::to_string(asChosen) + " as " + LanguageName(chosen) + ": try --printer "
            + best->profile;
    return best;
}

} // namespace ostrel::receipt
