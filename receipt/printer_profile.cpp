#include "receipt/printer_profile.h"

#include "receipt/profiles/profile_list.h"

namespace ostrel::receipt {

const std::vector<const PrinterProfile*>& PrinterProfiles()
{
    using namespace profiles;
    static const std::vector<const PrinterProfile*> all = {
        &kGeneric,
        &kEpsonTmT88vi,
        &kEpsonTmP20ii,
        &kCitizenCtS310ii,
        &kBixolonSrp350iii,
        &kStarTsp650ii,
        &kXprinterXpN160ii,
        &kPos5890,
        &kSunmi,
        &kHpA779,
        &kFujitsuFp1000,
        &kLogPrinter,
        &kStarTsp650iiLine,
        &kStarTsp100iv,
        &kStarMcPrint2,
    };
    return all;
}

const PrinterProfile* FindPrinterProfile(const std::string& id)
{
    for (const PrinterProfile* profile : PrinterProfiles())
        if (profile->id == id)
            return profile;
    return nullptr;
}

const PrinterProfile& GenericProfile() { return profiles::kGeneric; }

Language LanguageOfPrinter(const std::string& id)
{
    const PrinterProfile* profile = FindPrinterProfile(id);
    return profile != nullptr ? profile->language : Language::EscPos;
}

} // namespace ostrel::receipt
