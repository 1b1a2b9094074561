// Fujitsu FP-1000, 80 mm paper.
//
// Sources: the printer database of @point-of-sale/receipt-printer-encoder
// 4.0.1 (code page numbers, fonts and columns, symbologies, PDF417, cutter);
// drawer connectors: two, assumed (the database does not say).
//
// Pages the model has that this tool has no table for, left out: 26 (thai13).

#include "receipt/profiles/profile_list.h"

namespace ostrel::receipt::profiles {

const PrinterProfile kFujitsuFp1000 = {
    .id = "fujitsu-fp1000",
    .vendor = "Fujitsu",
    .model = "FP-1000",
    .paperMillimetres = 80,
    .printDots = 576,
    .fonts = {{'A', 12, 24, 48}, {'B', 9, 24, 56}, {'C', 8, 16, 64}},
    .codePages = {
        {0, "CP437"}, {1, "Katakana"}, {2, "CP850"}, {3, "CP860"},
        {4, "CP863"}, {5, "CP865"}, {8, "CP857"}, {16, "CP1252"},
        {17, "CP866"}, {18, "CP852"}, {19, "CP858"}, {40, "CP864"},
    },
    .notKnown = {"PDF417", "GS1-128"},
    .cutter = true,
    .drawerPins = 2,
    .realTimeStatus = true,
    .sources = "the printer database of @point-of-sale/receipt-printer-encoder 4.0.1 (code page numbers, fonts and columns, symbologies, PDF417, cutter)",
    .printSpeed = 250,
    .receiveBuffer = 4096,
};

} // namespace ostrel::receipt::profiles
