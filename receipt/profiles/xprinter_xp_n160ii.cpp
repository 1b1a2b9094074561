// Xprinter XP-N160II, 80 mm paper.
//
// Sources: the printer database of @point-of-sale/receipt-printer-encoder
// 4.0.1 (code page numbers, fonts and columns, symbologies, PDF417, cutter);
// drawer connectors: two, assumed (the database does not say).
//
// Pages the model has that this tool has no table for, left out: 8
// (xprinter/hebrew), 9 (cp3012), 21 (latvian).

#include "receipt/profiles/profile_list.h"

namespace ostrel::receipt::profiles {

const PrinterProfile kXprinterXpN160ii = {
    .id = "xprinter-xp-n160ii",
    .vendor = "Xprinter",
    .model = "XP-N160II",
    .paperMillimetres = 80,
    .printDots = 576,
    .fonts = {{'A', 12, 24, 48}, {'B', 9, 17, 64}},
    .codePages = {
        {0, "CP437"}, {1, "Katakana"}, {2, "CP850"}, {3, "CP860"},
        {4, "CP863"}, {5, "CP865"}, {6, "ISO-8859-1"}, {7, "CP1253"},
        {11, "CP1255"}, {16, "CP1252"}, {17, "CP866"}, {18, "CP852"},
        {19, "CP858"}, {22, "CP864"}, {23, "CP1251"}, {24, "CP737"},
        {25, "CP1257"}, {33, "CP1256"},
    },
    .notKnown = {"GS1 DataBar Omnidirectional", "GS1 DataBar Truncated", "GS1 DataBar Limited", "GS1 DataBar Expanded"},
    .cutter = true,
    .drawerPins = 2,
    .realTimeStatus = true,
    .sources = "the printer database of @point-of-sale/receipt-printer-encoder 4.0.1 (code page numbers, fonts and columns, symbologies, PDF417, cutter)",
    .printSpeed = 160,
    .receiveBuffer = 4096,
};

} // namespace ostrel::receipt::profiles
