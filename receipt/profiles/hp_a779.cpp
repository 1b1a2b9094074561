// HP A779, 80 mm paper.
//
// Sources: the printer database of @point-of-sale/receipt-printer-encoder
// 4.0.1 (code page numbers, fonts and columns, symbologies, PDF417, cutter);
// drawer connectors: two, assumed (the database does not say).

#include "receipt/profiles/profile_list.h"

namespace ostrel::receipt::profiles {

const PrinterProfile kHpA779 = {
    .id = "hp-a779",
    .vendor = "HP",
    .model = "A779",
    .paperMillimetres = 80,
    .printDots = 528,
    .fonts = {{'A', 12, 24, 44}},
    .codePages = {
        {0, "CP437"}, {1, "CP850"}, {2, "CP852"}, {3, "CP860"},
        {4, "CP863"}, {5, "CP865"}, {6, "CP858"}, {7, "CP866"},
        {8, "CP1252"}, {9, "CP862"}, {10, "CP737"}, {11, "CP874"},
        {12, "CP857"}, {13, "CP1251"}, {14, "CP1255"}, {15, "RK1048"},
    },
    .notKnown = {"PDF417", "GS1-128", "GS1 DataBar Omnidirectional", "GS1 DataBar Truncated", "GS1 DataBar Limited", "GS1 DataBar Expanded"},
    .cutter = true,
    .drawerPins = 2,
    .realTimeStatus = true,
    .sources = "the printer database of @point-of-sale/receipt-printer-encoder 4.0.1 (code page numbers, fonts and columns, symbologies, PDF417, cutter)",
    .printSpeed = 250,
    .receiveBuffer = 4096,
};

} // namespace ostrel::receipt::profiles
