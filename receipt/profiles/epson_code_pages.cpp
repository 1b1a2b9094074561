// Epson's own numbering of its character tables, which its models share.
//
// Sources: the printer database of @point-of-sale/receipt-printer-encoder
// 4.0.1 (its "epson" code page set).
//
// Pages the models have that this tool has no table for, left out: 12
// (cp853), 20 (thai42), 21 (thai11), 26 (thai13), 30 (tcvn3), 31
// (tcvn3capitals), 32 (cp720), 41 (cp1098).

#include "receipt/profiles/profile_list.h"

namespace ostrel::receipt::profiles {

const std::map<int, std::string>& EpsonCodePages()
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
        { 42, "CP774" },
        { 43, "CP772" },
        { 44, "CP1125" },
        { 45, "CP1250" },
        { 46, "CP1251" },
        { 47, "CP1253" },
        { 48, "CP1254" },
        { 49, "CP1255" },
        { 50, "CP1256" },
        { 51, "CP1257" },
        { 52, "CP1258" },
        { 53, "RK1048" },
    };
    return pages;
}

} // namespace ostrel::receipt::profiles
