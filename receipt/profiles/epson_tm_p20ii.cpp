// Epson TM-P20II, 58 mm paper.
//
// Sources: the printer database of @point-of-sale/receipt-printer-encoder
// 4.0.1 (code page numbers, fonts and columns, symbologies, PDF417, cutter);
// drawer connectors: none assumed for this mobile printer (the database does
// not say).
//
// Pages the model has that this tool has no table for, left out: 12 (cp853),
// 20 (thai42), 21 (thai11), 26 (thai13), 30 (tcvn3), 31 (tcvn3capitals), 32
// (cp720), 41 (cp1098).

#include "receipt/profiles/profile_list.h"

namespace ostrel::receipt::profiles {

const PrinterProfile kEpsonTmP20ii = {
    .id = "epson-tm-p20ii",
    .vendor = "Epson",
    .model = "TM-P20II",
    .paperMillimetres = 58,
    .printDots = 384,
    .fonts = {{'A', 12, 24, 32}, {'B', 9, 24, 42}, {'C', 9, 17, 42}, {'D', 10, 24, 38}, {'E', 8, 16, 48}},
    .codePages = {
        {0, "CP437"}, {1, "Katakana"}, {2, "CP850"}, {3, "CP860"},
        {4, "CP863"}, {5, "CP865"}, {11, "CP851"}, {13, "CP857"},
        {14, "CP737"}, {15, "ISO-8859-7"}, {16, "CP1252"}, {17, "CP866"},
        {18, "CP852"}, {19, "CP858"}, {33, "CP775"}, {34, "CP855"},
        {35, "CP861"}, {36, "CP862"}, {37, "CP864"}, {38, "CP869"},
        {39, "ISO-8859-2"}, {40, "ISO-8859-15"}, {42, "CP774"}, {43, "CP772"},
        {44, "CP1125"}, {45, "CP1250"}, {46, "CP1251"}, {47, "CP1253"},
        {48, "CP1254"}, {49, "CP1255"}, {50, "CP1256"}, {51, "CP1257"},
        {52, "CP1258"}, {53, "RK1048"},
    },
    .notKnown = {},
    .cutter = false,
    .drawerPins = 0,
    .realTimeStatus = true,
    .sources = "the printer database of @point-of-sale/receipt-printer-encoder 4.0.1 (code page numbers, fonts and columns, symbologies, PDF417, cutter)",
};

} // namespace ostrel::receipt::profiles
