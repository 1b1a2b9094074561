// (unbranded) POS-5890, 58 mm paper.
//
// Sources: the printer database of @point-of-sale/receipt-printer-encoder
// 4.0.1 (code page numbers, fonts and columns, symbologies, PDF417, cutter);
// drawer connectors: two, assumed (the database does not say).
//
// Pages the model has that this tool has no table for, left out: 74 (cp3840),
// 76 (cp3843), 77 (cp3844), 78 (cp3845), 79 (cp3846), 80 (cp3847), 81
// (cp3848), 84 (cp3001), 85 (cp3002), 86 (cp3011), 87 (cp3012), 89 (cp3041),
// 93 (cp720).

#include "receipt/profiles/profile_list.h"

namespace ostrel::receipt::profiles {

const PrinterProfile kPos5890 = {
    .id = "pos-5890",
    .vendor = "(unbranded)",
    .model = "POS-5890",
    .paperMillimetres = 58,
    .printDots = 384,
    .fonts = {{'A', 12, 24, 32}, {'B', 9, 17, 42}},
    .codePages = {
        {0, "CP437"}, {1, "Katakana"}, {2, "CP850"}, {3, "CP860"},
        {4, "CP863"}, {5, "CP865"}, {6, "ISO-8859-1"}, {8, "CP862"},
        {16, "CP1252"}, {17, "CP866"}, {18, "CP852"}, {19, "CP858"},
        {23, "CP1251"}, {24, "CP737"}, {25, "CP1257"}, {27, "CP1258"},
        {28, "CP864"}, {32, "CP1255"}, {56, "CP861"}, {60, "CP855"},
        {61, "CP857"}, {65, "CP851"}, {66, "CP869"}, {68, "CP772"},
        {69, "CP774"}, {72, "CP1250"}, {83, "CP771"}, {90, "CP1253"},
        {91, "CP1254"}, {92, "CP1256"}, {95, "CP775"},
    },
    .notKnown = {"UPC-E", "GS1-128", "GS1 DataBar Omnidirectional", "GS1 DataBar Truncated", "GS1 DataBar Limited", "GS1 DataBar Expanded"},
    .cutter = false,
    .drawerPins = 2,
    .realTimeStatus = true,
    .sources = "the printer database of @point-of-sale/receipt-printer-encoder 4.0.1 (code page numbers, fonts and columns, symbologies, PDF417, cutter)",
    .printSpeed = 90,
    .receiveBuffer = 4096,
};

} // namespace ostrel::receipt::profiles
