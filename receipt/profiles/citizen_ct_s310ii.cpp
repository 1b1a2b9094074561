// Citizen CT-S310II, 80 mm paper.
//
// Sources: the printer database of @point-of-sale/receipt-printer-encoder
// 4.0.1 (code page numbers, fonts and columns, symbologies, PDF417, cutter);
// drawer connectors: two, assumed (the database does not say).
//
// Pages the model has that this tool has no table for, left out: 21 (thai11),
// 26 (thai13), 30 (tcvn3), 31 (tcvn3capitals).

#include "receipt/profiles/profile_list.h"

namespace ostrel::receipt::profiles {

const PrinterProfile kCitizenCtS310ii = {
    .id = "citizen-ct-s310ii",
    .vendor = "Citizen",
    .model = "CT-S310II",
    .paperMillimetres = 80,
    .printDots = 576,
    .fonts = {{'A', 12, 24, 48}, {'B', 9, 24, 64}, {'C', 8, 16, 72}},
    .codePages = {
        {0, "CP437"}, {1, "Katakana"}, {2, "CP858"}, {3, "CP860"},
        {4, "CP863"}, {5, "CP865"}, {6, "CP852"}, {7, "CP866"},
        {8, "CP857"}, {16, "CP1252"}, {32, "CP1258"}, {40, "CP864"},
    },
    .notKnown = {"GS1-128"},
    .cutter = true,
    .drawerPins = 2,
    .realTimeStatus = true,
    .sources = "the printer database of @point-of-sale/receipt-printer-encoder 4.0.1 (code page numbers, fonts and columns, symbologies, PDF417, cutter)",
    .printSpeed = 160,
    .receiveBuffer = 4096,
};

} // namespace ostrel::receipt::profiles
