// Bixolon SRP-350III, 80 mm paper.
//
// Sources: the printer database of @point-of-sale/receipt-printer-encoder
// 4.0.1 (code page numbers, fonts and columns, symbologies, PDF417, cutter);
// drawer connectors: two, assumed (the database does not say).
//
// Pages the model has that this tool has no table for, left out: 23 (thai42),
// 31 (thai14), 32 (bixolon/hebrew), 34 (thai11), 35 (thai18), 39 (thai16), 42
// (khmer), 46 (bixolon/cp866), 49 (tcvn3), 50 (tcvn3capitals), 51 (viscii).

#include "receipt/profiles/profile_list.h"

namespace ostrel::receipt::profiles {

const PrinterProfile kBixolonSrp350iii = {
    .id = "bixolon-srp350iii",
    .vendor = "Bixolon",
    .model = "SRP-350III",
    .paperMillimetres = 80,
    .printDots = 512,
    .fonts = {{'A', 12, 24, 42}, {'B', 9, 17, 56}, {'C', 9, 24, 56}},
    .codePages = {
        {0, "CP437"}, {1, "Katakana"}, {2, "CP850"}, {3, "CP860"},
        {4, "CP863"}, {5, "CP865"}, {16, "CP1252"}, {17, "CP866"},
        {18, "CP852"}, {19, "CP858"}, {21, "CP862"}, {22, "CP864"},
        {24, "CP1253"}, {25, "CP1254"}, {26, "CP1257"}, {28, "CP1251"},
        {29, "CP737"}, {30, "CP775"}, {33, "CP1255"}, {36, "CP855"},
        {37, "CP857"}, {38, "ISO-8859-7"}, {40, "CP1256"}, {41, "CP1258"},
        {47, "CP1250"},
    },
    .notKnown = {"GS1-128", "GS1 DataBar Omnidirectional", "GS1 DataBar Truncated", "GS1 DataBar Limited", "GS1 DataBar Expanded"},
    .cutter = true,
    .drawerPins = 2,
    .realTimeStatus = true,
    .sources = "the printer database of @point-of-sale/receipt-printer-encoder 4.0.1 (code page numbers, fonts and columns, symbologies, PDF417, cutter)",
    .printSpeed = 250,
    .receiveBuffer = 4096,
};

} // namespace ostrel::receipt::profiles
