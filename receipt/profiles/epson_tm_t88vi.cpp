// Epson TM-T88VI, 80 mm paper.
//
// Sources: the printer database of @point-of-sale/receipt-printer-encoder
// 4.0.1 (code page numbers, fonts and columns, symbologies, PDF417, cutter);
// drawer connectors: two, assumed (the database does not say).
//
// Pages the model has that this tool has no table for, left out: 12 (cp853),
// 20 (thai42), 21 (thai11), 26 (thai13), 30 (tcvn3), 31 (tcvn3capitals), 32
// (cp720), 41 (cp1098).

#include "receipt/profiles/profile_list.h"

namespace ostrel::receipt::profiles {

const PrinterProfile kEpsonTmT88vi = {
    .id = "epson-tm-t88vi",
    .vendor = "Epson",
    .model = "TM-T88VI",
    .paperMillimetres = 80,
    .printDots = 512,
    .fonts = {{'A', 12, 24, 42}, {'B', 9, 17, 56}},
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
    .cutter = true,
    .drawerPins = 2,
    .realTimeStatus = true,
    .sources = "the printer database of @point-of-sale/receipt-printer-encoder 4.0.1 (code page numbers, fonts and columns, symbologies, PDF417, cutter)",
};

} // namespace ostrel::receipt::profiles
