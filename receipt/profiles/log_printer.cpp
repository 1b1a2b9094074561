// The printer the command log describes: the commands its listing frames and
// names, with a GS "V" that cuts without a parameter and the US family (bit
// image, eject/retract, presenter, page length, print positions). Where it
// agrees with the standard receipt command set it prints as that does; the
// demo host's sample receipt is written for it.
//
// Sources: the command log's own table of commands, their lengths and names.

#include "receipt/profiles/profile_list.h"

namespace ostrel::receipt::profiles {

const PrinterProfile kLogPrinter = {
    .id = "log-printer",
    .vendor = "Ostrel",
    .model = "command-log printer",
    .paperMillimetres = 80,
    .printDots = 576,
    .fonts = { { 'A', 12, 24, 48 }, { 'B', 9, 17, 64 } },
    .codePages = StandardCodePages(),
    .notKnown = {},
    .cutter = true,
    .drawerPins = 2,
    .realTimeStatus = true,
    .sources = "the command log's own table of commands, their lengths and names",
    .language = Language::CommandLog,
};

} // namespace ostrel::receipt::profiles
