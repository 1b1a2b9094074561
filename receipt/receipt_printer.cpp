#include "receipt/receipt_printer.h"

#include "protocol/command_set.h"

#include "receipt/command_bytes.h"
#include "receipt/command_text.h"
#include "receipt/raster_images.h"

#include <algorithm>

namespace ostrel::receipt {

using namespace bytes;

namespace {

const char* AlignmentName(int n) { return n == 1 ? "Align center" : n == 2 ? "Align right" : "Align left"; }

} // namespace

ReceiptPrinter::ReceiptPrinter(const SymbolGeometry& geometry, PrinterLimits limits)
    : geometry_(geometry), limits_(limits) {
    clear(limits_.paperWidth);
}

void ReceiptPrinter::clear() { clear(limits_.paperWidth); }

void ReceiptPrinter::setProfile(const PrinterProfile& profile) {
    profile_ = &profile;
    stream_.setDialect(profile.dialect);
    tables_.setPages(profile.codePages);
    clear(profile.printDots);
}

bool ReceiptPrinter::modelKnows(const std::string& what) {
    if (!profile_->notKnown.count(what)) return true;
    ++summary_.notKnownByModel[what];
    return false;
}

void ReceiptPrinter::clear(int paperWidth) {
    limits_.paperWidth = paperWidth;
    paper_.clear();
    summary_ = {};
    listedSymbolBytes_ = 0;
    stream_.clear();
    offset_ = 0;
    symbols_.clear();
    storedGraphics_.clear();
    sinkCommand_ = -1;
    graphicsBuffered_ = false;
    resetSettings();
    touchPaper();
}

void ReceiptPrinter::resetSettings() {
    settings_ = Settings{};
    tables_.reset();
    line_ = PendingLine{};
    textCommand_ = -1;
}

void ReceiptPrinter::feed(std::string_view bytes) {
    summary_.bytes += static_cast<long long>(bytes.size());
    stream_.feed(bytes);
}

void ReceiptPrinter::text(const unsigned char* bytes, std::size_t count, long long offset) {
    offset_ = offset;
    takeText(bytes, count);
}

void ReceiptPrinter::command(const unsigned char* bytes, long long length, long long offset) {
    offset_ = offset;
    textCommand_ = -1;
    run(bytes, length);
}

void ReceiptPrinter::notUnderstood(const unsigned char* bytes, long long length, long long offset) {
    offset_ = offset;
    markNotUnderstood(bytes, length);
}

std::optional<ReceiptPrinter::Unfinished> ReceiptPrinter::unfinished() const {
    const CommandStream::Unfinished open = stream_.unfinished();
    if (!open.any) return std::nullopt;
    if (open.head.empty()) return Unfinished{lastTooLong_.offset, lastTooLong_.command, open.missing};
    const auto* head = reinterpret_cast<const unsigned char*>(open.head.data());
    return Unfinished{open.offset, CommandKindName(head, open.head.size()), open.missing};
}

void ReceiptPrinter::tooLong(const unsigned char* head, std::size_t shown, long long length, long long offset) {
    offset_ = offset;
    lastTooLong_ = {offset, CommandKindName(head, shown), -1};
    addCommand(head, static_cast<long long>(shown),
               "Command of " + std::to_string(length) + " bytes, too long to keep: not drawn",
               CommandClass::KnownNotDrawn, CommandKindName(head, shown));
    current().commands.back().length = length;
    placeMarker(MarkerKind::NotPrinted, "not drawn: " + std::to_string(length) + " bytes",
                static_cast<int>(current().commands.size()) - 1, true);
}

void ReceiptPrinter::handOver() {
    if (!sink_ || sinkCommand_ < 0) return;
    const long long index = sinkReceipt_ - paper_.dropped();
    if (index >= 0 && index < static_cast<long long>(receipts().size()))
        sink_(receipts()[static_cast<std::size_t>(index)].commands[static_cast<std::size_t>(sinkCommand_)]);
    sinkCommand_ = -1;
}

void ReceiptPrinter::finish() { handOver(); }

int ReceiptPrinter::addCommand(const unsigned char* c, long long length, std::string description,
                               CommandClass commandClass, std::string kind) {
    textCommand_ = -1;
    handOver();
    // Commands that feed no paper (NUL, BEL, CR, ESC @...) weigh too: a run of
    // them goes on in a new receipt as paper would, so memory stays bounded.
    // A line waiting is printed first, as its items point at this receipt's
    // commands.
    if (paper_.full()) {
        if (line_.items.empty()) endReceipt(false);
        else printLine(lineHasInk() ? settings_.lineSpacing : 0);
    }
    ModelCommand command;
    for (long long i = 0; i < length; ++i) command.hashByte(c[i]);
    command.offset = offset_;
    command.length = length;
    command.text = CommandText(c, static_cast<std::size_t>(length));
    command.description = std::move(description);
    command.kind = kind.empty() ? CommandKindName(c, static_cast<std::size_t>(length)) : std::move(kind);
    command.commandClass = commandClass;
    command.y = current().height;
    ++summary_.commandsByKind[command.kind];
    if (commandClass == CommandClass::KnownNotDrawn) ++summary_.knownNotDrawn[command.kind];
    const int index = paper_.add(std::move(command));
    sinkReceipt_ = paper_.dropped() + static_cast<long long>(receipts().size()) - 1;
    sinkCommand_ = index;
    touch();
    return index;
}

void ReceiptPrinter::setting(const unsigned char* c, long long length, std::string description) {
    addCommand(c, length, std::move(description), CommandClass::Setting);
}

void ReceiptPrinter::knownNotDrawn(const unsigned char* c, long long length, std::string description) {
    addCommand(c, length, std::move(description), CommandClass::KnownNotDrawn);
}

void ReceiptPrinter::markNotUnderstood(const unsigned char* c, long long length) {
    std::string hex = HexBytes(c, static_cast<std::size_t>(length));
    int command = addCommand(c, length, "Not understood", CommandClass::NotUnderstood, "not understood");
    summary_.notUnderstoodBytes += length;
    if (summary_.notUnderstood.size() < limits_.listedEvents) summary_.notUnderstood.push_back({offset_, hex});
    placeMarker(MarkerKind::NotUnderstood, hex, command, true);
}

// ---- receipts ----

void ReceiptPrinter::cut(MarkerKind kind, const unsigned char* c, long long length, std::string description) {
    if (!line_.items.empty()) printLine(lineHasInk() ? settings_.lineSpacing : 0);
    int feed = 0;
    if (c[0] == GS && length == 4) feed = c[3];
    if (feed > 0) feedPaper(feed);
    // A model without a cutter cuts nothing: the paper is torn off there.
    if (!profile_->cutter) {
        ++summary_.notKnownByModel[CommandKindName(c, static_cast<std::size_t>(length))];
        const int command = addCommand(c, length, description + ": this model has no cutter, the paper is torn off here",
                                       CommandClass::KnownNotDrawn);
        placeMarker(kind, "no cutter: tear off", command, false);
        endReceipt(true);
        return;
    }
    int command = addCommand(c, length, std::move(description), CommandClass::Drawn);
    placeMarker(kind, kind == MarkerKind::Cut ? "cut" : "partial cut", command, false);
    ++summary_.cutCount;
    if (summary_.cuts.size() < limits_.listedEvents)
        summary_.cuts.push_back({offset_, kind == MarkerKind::Cut ? "full" : "partial"});
    endReceipt(true);
}

void ReceiptPrinter::endReceipt(bool byCut) {
    if (byCut && PaperFed(current())) ++summary_.receipts;
    paper_.next(byCut);
    textCommand_ = -1;
    touchPaper();
}

// ---- commands ----

void ReceiptPrinter::run(const unsigned char* c, long long length) {
    switch (c[0]) {
    case 0x0A:
        addCommand(c, length, "Print and line feed", CommandClass::Drawn);
        printLine(settings_.lineSpacing);
        return;
    case 0x0C:
        addCommand(c, length, "Print and return to standard mode", CommandClass::Drawn);
        if (!line_.items.empty()) printLine(settings_.lineSpacing);
        return;
    case 0x0D: setting(c, length, "Carriage return"); return;
    case 0x09: {
        setting(c, length, "Horizontal tab");
        int unit = (FontCellWidth(settings_.style.font) + settings_.rightSpacing) * settings_.style.widthScale;
        auto next = [&]() -> int {
            if (settings_.tabs.empty()) return (line_.x / (8 * unit) + 1) * 8 * unit;
            for (int stop : settings_.tabs)
                if (stop * unit > line_.x) return stop * unit;
            return -1;
        }();
        if (next >= 0 && next < area()) line_.x = next;
        return;
    }
    case 0x00: knownNotDrawn(c, length, "Null byte, ignored"); return;
    case 0x18: knownNotDrawn(c, length, "Cancel print data in page mode"); return;
    case DLE:
        switch (c[1]) {
        case 0x04: addCommand(c, length, "Real-time status transmission (consumed)", CommandClass::Status); return;
        case 0x05: addCommand(c, length, "Real-time request to printer (consumed)", CommandClass::Status); return;
        case 'R':
            ++summary_.statusRequests;
            addCommand(c, length, "Status request, answered by this tool", CommandClass::Status);
            return;
        case 0x14:
            if (c[2] == 1) {
                drawerPulse(c, length, c[3] != 0);
                return;
            }
            knownNotDrawn(c, length, c[2] == 2 ? "Power off sequence" : c[2] == 7 ? "Buzzer" : "Clear buffers");
            return;
        }
        return;
    case ESC: runEsc(c, length); return;
    case FS: runFs(c, length); return;
    case GS: runGs(c, length); return;
    case US: runUs(c, length); return;
    }
}

// The US family of the printer the command log describes, named as the log
// names it. US "*" is a bit image of 8-dot columns, one byte a column with
// its top dot in the high bit, one dot wide; eject and the presenter are
// marked beside the paper.
void ReceiptPrinter::runUs(const unsigned char* c, long long length) {
    const PrefixCommand* known = FindPrefixCommand(c[0], c[1]);
    const std::string name(known != nullptr ? known->name : kUnknownCommandName);
    switch (c[1]) {
    case '*': {
        const int columns = static_cast<int>(length - 4);
        BitImage image = ColumnImage(1, columns, c + 4);
        int command = addCommand(c, length, name + " " + std::to_string(columns) + " columns of 8 dots", CommandClass::Drawn);
        if (columns > 0) placeInLine(std::move(image), command);
        return;
    }
    case 'E': case 'K': {
        int command = addCommand(c, length, name, CommandClass::KnownNotDrawn);
        placeMarker(MarkerKind::NotPrinted, c[1] == 'E' ? "eject/retract" : "presenter purge", command, true);
        return;
    }
    default: knownNotDrawn(c, length, name); return;
    }
}

void ReceiptPrinter::runEsc(const unsigned char* c, long long length) {
    unsigned char n = length > 2 ? c[2] : 0;
    TextStyle& style = settings_.style;
    switch (c[1]) {
    case '@':
        setting(c, length, "Initialize printer");
        resetSettings();
        return;
    case '!': {
        style.font = (n & 1) ? Font::B : Font::A;
        style.bold = (n & 8) != 0;
        style.heightScale = (n & 16) ? 2 : 1;
        style.widthScale = (n & 32) ? 2 : 1;
        style.underline = (n & 128) ? 1 : 0;
        std::string what = std::string("Print mode: font ") + ((n & 1) ? "B" : "A");
        if (n & 8) what += ", bold";
        if (n & 16) what += ", double height";
        if (n & 32) what += ", double width";
        if (n & 128) what += ", underline";
        setting(c, length, what);
        return;
    }
    case 'E': style.bold = On(n); setting(c, length, OnOff("Bold", n)); return;
    case 'G': style.bold = On(n); setting(c, length, OnOff("Double-strike", n)); return;
    case '-': {
        int dots = n == 1 || n == 49 ? 1 : n == 2 || n == 50 ? 2 : 0;
        style.underline = dots;
        setting(c, length, dots ? "Underline " + std::to_string(dots) + (dots == 1 ? " dot" : " dots") : "Underline off");
        return;
    }
    case 'M': {
        style.font = n == 0 || n == 48 ? Font::A : Font::B;
        setting(c, length, std::string("Font ") + (style.font == Font::A ? "A (12 x 24)" : "B (9 x 17)"));
        return;
    }
    case 'a': {
        settings_.alignment = n >= 48 ? n - 48 : n;
        if (settings_.alignment > 2) settings_.alignment = 0;
        setting(c, length, AlignmentName(settings_.alignment));
        return;
    }
    case '2': settings_.lineSpacing = 30; setting(c, length, "Default line spacing"); return;
    case '3': settings_.lineSpacing = n; setting(c, length, "Line spacing " + std::to_string(n) + " dots"); return;
    case 'J':
        addCommand(c, length, "Print and feed " + std::to_string(n) + " dots", CommandClass::Drawn);
        printLine(n);
        return;
    case 'd':
        addCommand(c, length, "Print and feed " + std::to_string(n) + " lines", CommandClass::Drawn);
        printLine(n == 0 ? 0 : settings_.lineSpacing);
        if (n > 1) current().height += (n - 1) * settings_.lineSpacing;
        return;
    case ' ': settings_.rightSpacing = n; setting(c, length, "Character spacing " + std::to_string(n) + " dots"); return;
    case '$': {
        int x = Word(c + 2);
        if (x < area()) line_.x = x;
        setting(c, length, "Absolute position " + std::to_string(x) + " dots");
        return;
    }
    case '\\': {
        int delta = static_cast<short>(Word(c + 2));
        int x = line_.x + delta;
        if (x >= 0 && x < area()) line_.x = x;
        setting(c, length, "Relative position " + std::to_string(delta) + " dots");
        return;
    }
    case '{': settings_.upsideDown = On(n); setting(c, length, OnOff("Upside-down", n)); return;
    case 'V': style.rotated = n == 1 || n == 2 || n == 49 || n == 50; setting(c, length, OnOff("Turn 90 degrees", style.rotated)); return;
    case 't': {
        bool known = tables_.selectTable(n);
        std::string name = tables_.tableName(n);
        setting(c, length, known ? "Code page " + name : "Code page " + std::to_string(n) + " (not available, kept)");
        return;
    }
    case 'R': {
        bool known = tables_.selectInternational(n);
        setting(c, length, known ? "International set " + CharacterTables::internationalName(n)
                                 : "International set " + std::to_string(n) + " (not available, kept)");
        return;
    }
    case 'D': {
        settings_.tabs.clear();
        for (long long i = 2; i < length && c[i] != 0 && settings_.tabs.size() < 32; ++i)
            if (settings_.tabs.empty() || c[i] > settings_.tabs.back()) settings_.tabs.push_back(c[i]);
        if (settings_.tabs.empty()) settings_.tabs.push_back(1 << 20); // no stops: HT does nothing
        setting(c, length, "Tab stops");
        return;
    }
    case '*': {
        int columns = Word(c + 3);
        BitImage image = ColumnImage(c[2], columns, c + 5);
        int command = addCommand(c, length, "Bit image, " + std::to_string(columns) + " columns (mode " +
                                 std::to_string(c[2]) + ")", CommandClass::Drawn);
        placeInLine(std::move(image), command);
        return;
    }
    case 'p': drawerPulse(c, length, (n & 1) != 0); return;
    case 'i': cut(MarkerKind::Cut, c, length, "Full cut"); return;
    case 'm': cut(MarkerKind::PartialCut, c, length, "Partial cut"); return;
    case 'r': knownNotDrawn(c, length, "Print colour " + std::to_string(n & 1 ? 2 : 1)); return;
    case 'v': case 'u': addCommand(c, length, "Status transmission (consumed)", CommandClass::Status); return;
    case '(': knownNotDrawn(c, length, c[2] == 'A' ? "Beeper" : "Extended setting"); return;
    case '%': knownNotDrawn(c, length, OnOff("User-defined characters", n)); return;
    case '&': knownNotDrawn(c, length, "Define user-defined characters"); return;
    case '?': knownNotDrawn(c, length, "Cancel user-defined character"); return;
    case '=': knownNotDrawn(c, length, "Select peripheral device"); return;
    case 'c': knownNotDrawn(c, length, "Paper sensor or panel setting"); return;
    case 'U': knownNotDrawn(c, length, OnOff("Unidirectional printing", n)); return;
    case 'L': case 'S': case 'T': case 'W': case 0x0C:
        knownNotDrawn(c, length, "Page mode setting");
        return;
    case 'K': case 'e': knownNotDrawn(c, length, "Reverse feed"); return;
    case '<': knownNotDrawn(c, length, "Return home"); return;
    }
}

void ReceiptPrinter::runFs(const unsigned char* c, long long length) {
    switch (c[1]) {
    case 'p': {
        std::string key = std::to_string(c[2]);
        int command = addCommand(c, length, "Print stored logo " + key, CommandClass::Drawn);
        Marker marker;
        marker.kind = MarkerKind::StoredImage;
        marker.label = "stored logo " + key;
        marker.width = std::min(area(), 8 + 9 * static_cast<int>(marker.label.size()) + 16);
        marker.height = 48;
        placeBlock({marker, command}, marker.width, marker.height);
        return;
    }
    case 'q': knownNotDrawn(c, length, "Define stored logos"); return;
    case '(': knownNotDrawn(c, length, "Kanji or code conversion setting"); return;
    default: knownNotDrawn(c, length, "Kanji mode setting"); return;
    }
}

void ReceiptPrinter::runGs(const unsigned char* c, long long length) {
    unsigned char n = length > 2 ? c[2] : 0;
    switch (c[1]) {
    case '!': {
        settings_.style.widthScale = ((n >> 4) & 7) + 1;
        settings_.style.heightScale = (n & 7) + 1;
        setting(c, length, "Character size " + std::to_string(settings_.style.widthScale) + " x " +
                               std::to_string(settings_.style.heightScale));
        return;
    }
    case 'B': settings_.style.reverse = On(n); setting(c, length, OnOff("Reverse", n)); return;
    case 'L': {
        settings_.leftMargin = Word(c + 2);
        setting(c, length, "Left margin " + std::to_string(settings_.leftMargin) + " dots");
        return;
    }
    case 'W': {
        settings_.areaWidth = Word(c + 2);
        setting(c, length, "Print area width " + std::to_string(settings_.areaWidth) + " dots");
        return;
    }
    case 'h': settings_.barHeight = std::max<int>(1, n); setting(c, length, "Barcode height " + std::to_string(n) + " dots"); return;
    case 'w': settings_.barModule = std::clamp<int>(n, 1, 6); setting(c, length, "Barcode module width " + std::to_string(n) + " dots"); return;
    case 'H': {
        settings_.barText = static_cast<TextPlace>(n >= 48 ? (n - 48) & 3 : n & 3);
        static const char* places[] = {"none", "above", "below", "above and below"};
        setting(c, length, std::string("Barcode text ") + places[static_cast<int>(settings_.barText)]);
        return;
    }
    case 'f': settings_.barFont = n == 1 || n == 49 ? Font::B : Font::A; setting(c, length, std::string("Barcode text font ") + (settings_.barFont == Font::A ? "A" : "B")); return;
    case 'k': runBarcode(c, length); return;
    case 'v': {
        int m = c[3] >= 48 ? c[3] - 48 : c[3];
        int widthBytes = Word(c + 4), height = Word(c + 6);
        int command = addCommand(c, length, "Raster image " + std::to_string(widthBytes * 8) + " x " +
                                 std::to_string(height) + " dots", CommandClass::Drawn);
        placeImage(RasterImage(c + 8, widthBytes, height, (m & 1) ? 2 : 1, (m & 2) ? 2 : 1), command);
        return;
    }
    case '(':
        if (c[2] == 'k') runTwoDimensional(c, length);
        else if (c[2] == 'L') runGraphics(c, length, 5);
        else knownNotDrawn(c, length, c[2] == 'K' ? "Print control setting" : c[2] == 'E' ? "User setting" : "Extended function");
        return;
    case '8':
        runGraphics(c, length, 7);
        return;
    case 'V': {
        // The command log's printer cuts with a bare GS "V".
        bool partial = length > 2 && IsPartialCutMode(c[2]);
        cut(partial ? MarkerKind::PartialCut : MarkerKind::Cut, c, length, partial ? "Partial cut" : "Full cut");
        return;
    }
    case 'r': case 'a': case 'I':
        addCommand(c, length, c[1] == 'r' ? "Status transmission (consumed)" : c[1] == 'a' ? "Automatic status back (consumed)"
                                                                                        : "Printer ID transmission (consumed)",
                   c[1] == 'I' ? CommandClass::KnownNotDrawn : CommandClass::Status);
        return;
    case '*': knownNotDrawn(c, length, "Define downloaded bit image"); return;
    case '/': knownNotDrawn(c, length, "Print downloaded bit image"); return;
    case 'P': knownNotDrawn(c, length, "Motion units"); return;
    case 'b': knownNotDrawn(c, length, OnOff("Smoothing", n)); return;
    default: knownNotDrawn(c, length, "Setting"); return;
    }
}

void ReceiptPrinter::drawerPulse(const unsigned char* c, long long length, bool pin5) {
    const char* pin = pin5 ? "pin 5" : "pin 2";
    // Pin 2 is the first connector, pin 5 the second.
    if (profile_->drawerPins < (pin5 ? 2 : 1)) {
        ++summary_.notKnownByModel[std::string("drawer ") + pin];
        addCommand(c, length, std::string("Drawer pulse, ") + pin + ": this model has no such connector",
                   CommandClass::KnownNotDrawn);
        return;
    }
    int command = addCommand(c, length, std::string("Drawer pulse, ") + pin, CommandClass::Drawn);
    ++summary_.drawerPulseCount;
    if (summary_.drawerPulses.size() < limits_.listedEvents) summary_.drawerPulses.push_back({offset_, pin});
    placeMarker(MarkerKind::DrawerPulse, "drawer pulse", command, true);
}

} // namespace ostrel::receipt
