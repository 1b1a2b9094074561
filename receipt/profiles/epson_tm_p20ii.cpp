// Epson TM-P20II, 58 mm paper.
//
// Sources: the printer database of @point-of-sale/receipt-printer-encoder
// 4.0.1 (code page numbers, fonts and columns, symbologies, PDF417, cutter);
// drawer connectors: none assumed for this mobile printer (the database does
// not say).
//
// Code pages: Epson's numbering, in epson_code_pages.cpp.

#include "receipt/profiles/profile_list.h"

namespace ostrel::receipt::profiles {

const PrinterProfile kEpsonTmP20ii = {
    .id = "epson-tm-p20ii",
    .vendor = "Epson",
    .model = "TM-P20II",
    .paperMillimetres = 58,
    .printDots = 384,
    .fonts = { { 'A', 12, 24, 32 }, { 'B', 9, 24, 42 }, { 'C', 9, 17, 42 }, { 'D', 10, 24, 38 },
        { 'E', 8, 16, 48 } },
    .codePages = EpsonCodePages(),
    .notKnown = {},
    .cutter = false,
    .drawerPins = 0,
    .realTimeStatus = true,
    .sources = "the printer database of @point-of-sale/receipt-printer-encoder 4.0.1 (code page "
               "numbers, fonts and columns, symbologies, PDF417, cutter)",
    .printSpeed = 100,
    .receiveBuffer = 4096,
};

} // namespace ostrel::receipt::profiles
