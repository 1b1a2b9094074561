// Star TSP100IV: StarPRNT, 80 mm paper.
//
// Sources: Star's StarPRNT command specifications (commands, status); the
// printer database of @point-of-sale/receipt-printer-encoder 4.0.1 (language
// "star-prnt", fonts and columns, symbologies, QR Code, PDF417, cutter).

#include "receipt/profiles/profile_list.h"

namespace ostrel::receipt::profiles {

const PrinterProfile kStarTsp100iv = {
    .id = "star-tsp100iv",
    .vendor = "Star",
    .model = "TSP100IV, StarPRNT",
    .paperMillimetres = 80,
    .printDots = 576,
    .fonts = { { 'A', 12, 24, 48 }, { 'B', 9, 24, 64 } },
    .codePages = StarCodePages(),
    .notKnown = {},
    .cutter = true,
    .drawerPins = 2,
    .realTimeStatus = true,
    .sources = "Star's StarPRNT command specifications; the printer database of "
               "@point-of-sale/receipt-printer-encoder 4.0.1 (star-tsp100iv: language star-prnt, "
               "fonts, symbologies, QR Code, PDF417, cutter)",
    .language = Language::StarPrnt,
    .printSpeed = 250,
    .receiveBuffer = 4096,
};

// Star mC-Print2: StarPRNT, 58 mm paper.
const PrinterProfile kStarMcPrint2 = {
    .id = "star-mc-print2",
    .vendor = "Star",
    .model = "mC-Print2, StarPRNT",
    .paperMillimetres = 58,
    .printDots = 384,
    .fonts = { { 'A', 12, 24, 32 }, { 'B', 9, 24, 42 } },
    .codePages = StarCodePages(),
    .notKnown = {},
    .cutter = true,
    .drawerPins = 2,
    .realTimeStatus = true,
    .sources = "Star's StarPRNT command specifications; the printer database of "
               "@point-of-sale/receipt-printer-encoder 4.0.1 (star-mc-print2: 58 mm, 384 dots, "
               "fonts, symbologies, QR Code, PDF417, cutter)",
    .language = Language::StarPrnt,
    .printSpeed = 100,
    .receiveBuffer = 4096,
};

} // namespace ostrel::receipt::profiles
