#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace ostrel::receipt {

// The command language a model speaks, each a table of its own: the standard
// receipt command set (ESC/POS); the printer the command log describes, whose
// GS "V" takes no parameter and which knows the US family (with its US "*"
// bit image); Star's Line mode; StarPRNT; and the ESC/POS emulation of Star's
// printers, which also knows Star's own QR Code commands.
enum class Language { EscPos, CommandLog, StarLine, StarPrnt, StarEscPos };
// "ESC/POS" (Star's emulation too), "Star Line", "StarPRNT", and the command
// log's printer.
const char* LanguageName(Language language);

// What one printer model prints, as its maker documents it: the paper, the
// fonts, which character table each ESC t number selects, which commands it
// knows, and how it answers. Each profile is a table of its own under
// profiles/, with the sources of its facts.
struct PrinterProfile {
    struct FontCell {
        char name; // 'A', 'B', ...
        int width, height, columns;
    };
    std::string id; // "citizen-ct-s310ii", what --printer takes
    std::string vendor; // "Citizen"
    std::string model; // "CT-S310II"
    int paperMillimetres = 80;
    int printDots = 576; // the print area's width
    std::vector<FontCell> fonts;
    // ESC t n -> the table: an iconv name ("CP858"), or "Katakana" for the
    // Katakana page with its graphic characters. A number not listed is a
    // table this model lacks.
    std::map<int, std::string> codePages;
    // Commands the model does not know, by kind ("GS ( k 48" for PDF417, as
    // KindOfCommand names it); it passes over them and prints nothing.
    std::set<std::string> notKnown;
    bool cutter = true;
    int drawerPins = 2; // 0, 1 or 2 kick-out connectors
    bool realTimeStatus = true; // answers DLE EOT
    std::string sources;
    Language language = Language::EscPos;
    // From the maker's data sheet: how fast it prints and how much its
    // receive buffer holds; 0 where not known (generic prints at once).
    int printSpeed = 0; // mm/s
    int receiveBuffer = 0; // bytes
    // From the maker's command reference: the bytes of NV memory that NV
    // graphics and bit images (or Star's logos) share, and of the area that
    // holds download graphics and the downloaded bit image. The NV default
    // is Epson's 256 KB NV graphics area (TM-T81 manual, TM-T88VI
    // application development guide); Epson gives no size for the download
    // area there, so it is taken as large.
    long long nvGraphicsBytes = 262'144;
    long long downloadGraphicsBytes = 262'144;
};

// Every profile, the generic one first: the tool's own behaviour before
// profiles, an Epson-numbered 80 mm printer that knows every command.
const std::vector<const PrinterProfile*>& PrinterProfiles();
// The profile with this id, or null.
const PrinterProfile* FindPrinterProfile(const std::string& id);
const PrinterProfile& GenericProfile();
// The language of the model with this id; ESC/POS for an id no model has.
Language LanguageOfPrinter(const std::string& id);

} // namespace ostrel::receipt
