// Epson TM-T88VI, 80 mm paper.
//
// Sources: the printer database of @point-of-sale/receipt-printer-encoder
// 4.0.1 (code page numbers, fonts and columns, symbologies, PDF417, cutter);
// drawer connectors: two, assumed (the database does not say); NV graphics
// memory: 262144 bytes, Epson's OPOS ADK application development guide for
// the TM-T88VI (3.12, "Electronic Logo Function").
//
// Code pages: Epson's numbering, in epson_code_pages.cpp.

#include "receipt/profiles/profile_list.h"

namespace ostrel::receipt::profiles {

const PrinterProfile kEpsonTmT88vi = {
    .id = "epson-tm-t88vi",
    .vendor = "Epson",
    .model = "TM-T88VI",
    .paperMillimetres = 80,
    .printDots = 512,
    .fonts = { { 'A', 12, 24, 42 }, { 'B', 9, 17, 56 } },
    .codePages = EpsonCodePages(),
    .notKnown = {},
    .cutter = true,
    .drawerPins = 2,
    .realTimeStatus = true,
    .sources = "the printer database of @point-of-sale/receipt-printer-encoder 4.0.1 (code page "
               "numbers, fonts and columns, symbologies, PDF417, cutter)",
    .printSpeed = 350,
    .receiveBuffer = 4096,
    .nvGraphicsBytes = 262'144,
};

} // namespace ostrel::receipt::profiles
