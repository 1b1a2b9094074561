// Star TSP650II as it ships: Star Line mode, 80 mm paper.
//
// Sources: Star's Line Mode command specifications (commands, status); the
// printer database of @point-of-sale/receipt-printer-encoder 4.0.1 (language
// "star-line", fonts and columns, symbologies, QR Code, PDF417, cutter);
// drawer connectors: two (BEL and SUB/FS drive one each).

#include "receipt/profiles/profile_list.h"

namespace ostrel::receipt::profiles {

const PrinterProfile kStarTsp650iiLine = {
    .id = "star-tsp650ii-line",
    .vendor = "Star",
    .model = "TSP650II, Star Line mode",
    .paperMillimetres = 80,
    .printDots = 576,
    .fonts = { { 'A', 12, 24, 48 }, { 'B', 9, 24, 64 } },
    .codePages = StarCodePages(),
    .notKnown = {},
    .cutter = true,
    .drawerPins = 2,
    .realTimeStatus = true,
    .sources = "Star's Line Mode command specifications; the printer database of "
               "@point-of-sale/receipt-printer-encoder 4.0.1 (star-tsp650ii: language star-line, "
               "fonts, symbologies, QR Code, PDF417, cutter)",
    .language = Language::StarLine,
    .printSpeed = 300,
    .receiveBuffer = 4096,
};

} // namespace ostrel::receipt::profiles
