// The generic printer: what this tool printed before it knew printer models,
// and what it prints when none is chosen. An 80 mm printer with the standard
// command set's page numbers that knows every command the tool draws.
//
// Sources: the standard receipt command set's ESC t page numbers.

#include "receipt/profiles/profile_list.h"

namespace ostrel::receipt::profiles {

const std::map<int, std::string>& StandardCodePages()
{
    static const std::map<int, std::string> pages = {
        { 0, "CP437" },
        { 1, "Katakana" },
        { 2, "CP850" },
        { 3, "CP860" },
        { 4, "CP863" },
        { 5, "CP865" },
        { 11, "CP851" },
        { 13, "CP857" },
        { 14, "CP737" },
        { 15, "ISO-8859-7" },
        { 16, "CP1252" },
        { 17, "CP866" },
        { 18, "CP852" },
        { 19, "CP858" },
        { 33, "CP775" },
        { 34, "CP855" },
        { 35, "CP861" },
        { 36, "CP862" },
        { 37, "CP864" },
        { 38, "CP869" },
        { 39, "ISO-8859-2" },
        { 40, "ISO-8859-15" },
        { 44, "CP1125" },
        { 45, "CP1250" },
        { 46, "CP1251" },
        { 47, "CP1253" },
        { 48, "CP1254" },
        { 49, "CP1255" },
        { 50, "CP1256" },
        { 51, "CP1257" },
        { 52, "CP1258" },
    };
    return pages;
}

const PrinterProfile kGeneric = {
    .id = "generic",
    .vendor = "Ostrel",
    .model = "generic 80 mm printer",
    .paperMillimetres = 80,
    .printDots = 576,
    .fonts = { { 'A', 12, 24, 48 }, { 'B', 9, 17, 64 } },
    .codePages = StandardCodePages(),
    .notKnown = {},
    .cutter = true,
    .drawerPins = 2,
    .realTimeStatus = true,
    .sources = "the standard receipt command set's page numbers",
};

} // namespace ostrel::receipt::profiles
