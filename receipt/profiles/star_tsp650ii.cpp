// Star TSP100/TSP650 family, ESC/POS emulation, 80 mm paper.
//
// Sources: the printer database of @point-of-sale/receipt-printer-encoder
// 4.0.1 (code page numbers, fonts and columns, symbologies, PDF417, cutter),
// its ESC/POS code page set for Star printers; drawer connectors: two, assumed
// (the database does not say); Star's ESC/POS mode command specifications
// (Star's QR Code commands, ESC GS y, beside ESC/POS's).
//
// Pages the model has that this tool has no table for, left out: 1
// (star/katakana), 20 (thai42), 21 (thai11), 22 (thai13), 23 (thai14), 24
// (thai16), 26 (thai18).

#include "receipt/profiles/profile_list.h"

namespace ostrel::receipt::profiles {

const PrinterProfile kStarTsp650ii = {
    .id = "star-tsp650ii",
    .vendor = "Star",
    .model = "TSP100/TSP650 family, ESC/POS emulation",
    .paperMillimetres = 80,
    .printDots = 576,
    .fonts = {{'A', 12, 24, 48}, {'B', 9, 24, 64}},
    .codePages = {
        {0, "CP437"}, {2, "CP850"}, {3, "CP860"}, {4, "CP863"},
        {5, "CP865"}, {16, "CP1252"}, {17, "CP866"}, {18, "CP852"},
        {19, "CP858"},
    },
    .notKnown = {},
    .cutter = true,
    .drawerPins = 2,
    .realTimeStatus = true,
    .sources = "the printer database of @point-of-sale/receipt-printer-encoder 4.0.1 (code page numbers, fonts and columns, symbologies, PDF417, cutter), its ESC/POS code page set for Star printers; Star's ESC/POS mode command specifications (ESC GS y QR Code)",
    .language = Language::StarEscPos,
    .printSpeed = 300,
    .receiveBuffer = 4096,
};

} // namespace ostrel::receipt::profiles
