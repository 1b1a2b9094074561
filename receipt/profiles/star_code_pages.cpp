// Star's own code page numbers (ESC GS t n in Star Line mode and StarPRNT).
//
// Sources: the StarPRNT code page set of @point-of-sale/receipt-printer-encoder
// 4.0.1 (also used for Star Line mode there) and receiptline 4.0.4's Star
// code pages, which agree where both list a page. Pages this tool has no
// table for are left out: 0 (Star's standard table), 3, 16 (CP851), 18
// (CP928), 19 (CP772), 20 (CP774), 21 (Star's CP874) and 64 to 79.

#include "receipt/profiles/profile_list.h"

namespace ostrel::receipt::profiles {

const std::map<int, std::string>& StarCodePages()
{
    static const std::map<int, std::string> pages = {
        { 1, "CP437" },
        { 2, "Katakana" },
        { 4, "CP858" },
        { 5, "CP852" },
        { 6, "CP860" },
        { 7, "CP861" },
        { 8, "CP863" },
        { 9, "CP865" },
        { 10, "CP866" },
        { 11, "CP855" },
        { 12, "CP857" },
        { 13, "CP862" },
        { 14, "CP864" },
        { 15, "CP737" },
        { 17, "CP869" },
        { 32, "CP1252" },
        { 33, "CP1250" },
        { 34, "CP1251" },
    };
    return pages;
}

} // namespace ostrel::receipt::profiles
