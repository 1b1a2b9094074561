// Sunmi built-in printer, 58 mm paper.
//
// Sources: the printer database of @point-of-sale/receipt-printer-encoder
// 4.0.1 (code page numbers, fonts and columns, symbologies, PDF417, cutter)
// (its generic Sunmi entry); drawer connectors: none assumed for a printer
// built into a handheld terminal (the database does not say).

#include "receipt/profiles/profile_list.h"

namespace ostrel::receipt::profiles {

const PrinterProfile kSunmi = {
    .id = "sunmi",
    .vendor = "Sunmi",
    .model = "built-in printer",
    .paperMillimetres = 58,
    .printDots = 384,
    .fonts = {{'A', 12, 24, 32}, {'B', 9, 17, 42}},
    .codePages = {
        {0, "CP437"}, {2, "CP850"}, {3, "CP860"}, {4, "CP863"},
        {5, "CP865"}, {13, "CP857"}, {14, "CP737"}, {15, "ISO-8859-7"},
        {16, "CP1252"}, {17, "CP866"}, {18, "CP852"}, {19, "CP858"},
        {21, "CP874"}, {33, "CP775"}, {34, "CP855"}, {36, "CP862"},
        {37, "CP864"},
    },
    .notKnown = {"UPC-E", "GS1-128", "GS1 DataBar Omnidirectional", "GS1 DataBar Truncated", "GS1 DataBar Limited", "GS1 DataBar Expanded"},
    .cutter = false,
    .drawerPins = 0,
    .realTimeStatus = true,
    .sources = "the printer database of @point-of-sale/receipt-printer-encoder 4.0.1 (code page numbers, fonts and columns, symbologies, PDF417, cutter) (its generic Sunmi entry)",
    .printSpeed = 70,
    .receiveBuffer = 4096,
};

} // namespace ostrel::receipt::profiles
