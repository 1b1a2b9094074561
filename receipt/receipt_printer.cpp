#include "receipt/receipt_printer.h"

#include "protocol/command_set.h"

#include "receipt/command_bytes.h"
#include "receipt/command_text.h"
#include "receipt/raster_images.h"

#include <algorithm>

namespace ostrel::receipt {

using namespace bytes;

ReceiptPrinter::ReceiptPrinter(const SymbolGeometry& geometry, PrinterLimits limits)
    : geometry_(geometry)
    , limits_(limits)
{
    clear(limits_.paperWidth);
}

void ReceiptPrinter::clear() { clear(limits_.paperWidth); }

void ReceiptPrinter::setProfile(const PrinterProfile& profile)
{
    profile_ = &profile;
    remembered_ = PrinterMemory(profile);
    remembering_ = false;
    stream_.setLanguage(profile.language);
    table_ = &TableOf(profile.language);
    tables_.setPages(profile.codePages);
    clear(profile.printDots);
}

bool ReceiptPrinter::modelKnows(const std::string& what)
{
    if (!profile_->notKnown.count(what))
        return true;
    ++summary_.notKnownByModel[what];
    return false;
}

void ReceiptPrinter::clear(int paperWidth)
{
    limits_.paperWidth = paperWidth;
    paper_.clear();
    summary_ = {};
    sample_.clear();
    hintReadOnce_ = false;
    pageBytesPrinted_ = 0;
    listedSymbolBytes_ = 0;
    stream_.clear();
    offset_ = 0;
    symbols_.clear();
    memory_ = remembered_;
    decoded_.clear();
    sinkCommand_ = -1;
    graphicsBuffered_ = false;
    raster_ = RasterSettings {};
    resetSettings();
    touchPaper();
}

void ReceiptPrinter::remember(const PrinterMemory& memory)
{
    remembered_ = memory;
    remembering_ = true;
    memory_ = memory;
    decoded_.clear();
}

void ReceiptPrinter::resetSettings()
{
    settings_ = Settings {};
    userCharacters_ = false;
    page_.reset();
    tables_.reset();
    line_ = PendingLine {};
    textCommand_ = -1;
}

void ReceiptPrinter::feed(std::string_view bytes)
{
    summary_.bytes += static_cast<long long>(bytes.size());
    if (sample_.size() < kLanguageSampleBytes)
        sample_.append(bytes.substr(0, kLanguageSampleBytes - sample_.size()));
    stream_.feed(bytes);
}

void ReceiptPrinter::text(const unsigned char* bytes, std::size_t count, long long offset)
{
    offset_ = offset;
    takeText(bytes, count);
}

void ReceiptPrinter::command(
    const CommandRow& row, const unsigned char* bytes, long long length, long long offset)
{
    offset_ = offset;
    textCommand_ = -1;
    run(row, bytes, length);
}

void ReceiptPrinter::notUnderstood(const unsigned char* bytes, long long length, long long offset)
{
    offset_ = offset;
    markNotUnderstood(bytes, length);
}

std::optional<ReceiptPrinter::Unfinished> ReceiptPrinter::unfinished() const
{
    const CommandStream::Unfinished open = stream_.unfinished();
    if (!open.any)
        return std::nullopt;
    if (open.head.empty())
        return Unfinished { lastTooLong_.offset, lastTooLong_.command, open.missing };
    const auto* head = reinterpret_cast<const unsigned char*>(open.head.data());
    return Unfinished { open.offset, CommandKindName(head, open.head.size()), open.missing };
}

void ReceiptPrinter::tooLong(const CommandRow&, const unsigned char* head, std::size_t shown,
    long long length, long long offset)
{
    offset_ = offset;
    lastTooLong_ = { offset, CommandKindName(head, shown), -1 };
    addCommand(head, static_cast<long long>(shown),
        "Command of " + std::to_string(length) + " bytes, too long to keep: not drawn",
        CommandClass::KnownNotDrawn, CommandKindName(head, shown));
    current().commands.back().length = length;
    placeMarker(MarkerKind::NotPrinted, "not drawn: " + std::to_string(length) + " bytes",
        static_cast<int>(current().commands.size()) - 1, true);
}

void ReceiptPrinter::handOver()
{
    if (!sink_ || sinkCommand_ < 0)
        return;
    const long long index = sinkReceipt_ - paper_.dropped();
    if (index >= 0 && index < static_cast<long long>(receipts().size()))
        sink_(receipts()[static_cast<std::size_t>(index)]
                  .commands[static_cast<std::size_t>(sinkCommand_)]);
    sinkCommand_ = -1;
}

void ReceiptPrinter::finish() { handOver(); }

int ReceiptPrinter::addCommand(const unsigned char* c, long long length, std::string description,
    CommandClass commandClass, std::string kind)
{
    textCommand_ = -1;
    handOver();
    // Commands that feed no paper (NUL, BEL, CR, ESC @...) weigh too: a run of
    // them goes on in a new receipt as paper would, so memory stays bounded.
    // A line waiting is printed first, as its items point at this receipt's
    // commands.
    if (paper_.full()) {
        if (line_.items.empty())
            endReceipt(false);
        else
            printLine(lineHasInk() ? settings_.lineSpacing : 0);
    }
    ModelCommand command;
    for (long long i = 0; i < length; ++i)
        command.hashByte(c[i]);
    command.offset = offset_;
    command.length = length;
    command.text = CommandText(c, static_cast<std::size_t>(length));
    command.description = std::move(description);
    command.kind
        = kind.empty() ? CommandKindName(c, static_cast<std::size_t>(length)) : std::move(kind);
    command.commandClass = commandClass;
    command.y = current().height;
    ++summary_.commandsByKind[command.kind];
    if (commandClass == CommandClass::KnownNotDrawn)
        ++summary_.knownNotDrawn[command.kind];
    const int index = paper_.add(std::move(command));
    sinkReceipt_ = paper_.dropped() + static_cast<long long>(receipts().size()) - 1;
    sinkCommand_ = index;
    touch();
    return index;
}

void ReceiptPrinter::setting(const unsigned char* c, long long length, std::string description)
{
    addCommand(c, length, std::move(description), CommandClass::Setting);
}

void ReceiptPrinter::knownNotDrawn(
    const unsigned char* c, long long length, std::string description)
{
    addCommand(c, length, std::move(description), CommandClass::KnownNotDrawn);
}

void ReceiptPrinter::markNotUnderstood(const unsigned char* c, long long length)
{
    std::string hex = HexBytes(c, static_cast<std::size_t>(length));
    int command
        = addCommand(c, length, "Not understood", CommandClass::NotUnderstood, "not understood");
    summary_.notUnderstoodBytes += length;
    if (summary_.notUnderstood.size() < limits_.listedEvents)
        summary_.notUnderstood.push_back({ offset_, hex });
    placeMarker(MarkerKind::NotUnderstood, hex, command, true);
}

// ---- receipts ----

void ReceiptPrinter::cut(
    MarkerKind kind, const unsigned char* c, long long length, std::string description)
{
    if (!line_.items.empty())
        printLine(lineHasInk() ? settings_.lineSpacing : 0);
    int feed = 0;
    if (c[0] == GS && length == 4)
        feed = c[3];
    if (feed > 0)
        feedPaper(feed);
    // A model without a cutter cuts nothing: the paper is torn off there.
    if (!profile_->cutter) {
        ++summary_.notKnownByModel[CommandKindName(c, static_cast<std::size_t>(length))];
        const int command = addCommand(c, length,
            description + ": this model has no cutter, the paper is torn off here",
            CommandClass::KnownNotDrawn);
        placeMarker(kind, "no cutter: tear off", command, false);
        endReceipt(true);
        return;
    }
    int command = addCommand(c, length, std::move(description), CommandClass::Drawn);
    placeMarker(kind, kind == MarkerKind::Cut ? "cut" : "partial cut", command, false);
    ++summary_.cutCount;
    if (summary_.cuts.size() < limits_.listedEvents)
        summary_.cuts.push_back({ offset_, kind == MarkerKind::Cut ? "full" : "partial" });
    endReceipt(true);
}

void ReceiptPrinter::endReceipt(bool byCut)
{
    if (byCut && PaperFed(current()))
        ++summary_.receipts;
    paper_.next(byCut);
    textCommand_ = -1;
    touchPaper();
}

// ---- commands ----

const char* LanguageName(Language language)
{
    switch (language) {
    case Language::EscPos:
        return "ESC/POS";
    case Language::CommandLog:
        return "Command log";
    case Language::StarLine:
        return "Star Line";
    case Language::StarPrnt:
        return "StarPRNT";
    case Language::StarEscPos:
        return "ESC/POS";
    }
    return "ESC/POS";
}

const CommandTable& TableOf(Language language, TableMode mode)
{
    // Only Star Line's and StarPRNT's rows enter raster mode.
    static const CommandTable starRaster(ReceiptPrinter::StarRasterRows(), false);
    if (mode == TableMode::Raster
        && (language == Language::StarLine || language == Language::StarPrnt))
        return starRaster;
    static const CommandTable escPos(ReceiptPrinter::EscPosRows());
    static const CommandTable commandLog(ReceiptPrinter::CommandLogRows());
    static const CommandTable starLine(ReceiptPrinter::StarLineRows());
    static const CommandTable starPrnt(ReceiptPrinter::StarPrntRows());
    static const CommandTable starEscPos(ReceiptPrinter::StarEscPosRows());
    switch (language) {
    case Language::CommandLog:
        return commandLog;
    case Language::StarLine:
        return starLine;
    case Language::StarPrnt:
        return starPrnt;
    case Language::StarEscPos:
        return starEscPos;
    case Language::EscPos:
        break;
    }
    return escPos;
}

void ReceiptPrinter::run(const CommandRow& row, const unsigned char* c, long long length)
{
    // What the command does to the printer's memory comes first: its action
    // draws from the memory as it is then.
    change_ = {};
    row_ = &row;
    if (KeepsMemory(row.role)) {
        change_ = memory_.take(row, c, static_cast<std::size_t>(length));
        if (change_.what != PrinterMemory::Change::Nothing)
            decoded_.clear();
        if (change_.what == PrinterMemory::Change::Refused
            && summary_.memoryRefused.size() < limits_.listedEvents)
            summary_.memoryRefused.push_back({ offset_, change_.message });
    }
    if (row.action != nullptr)
        row.action(*this, c, length);
}

void ReceiptPrinter::horizontalTab(const unsigned char* c, long long length)
{
    setting(c, length, "Horizontal tab");
    int unit = (FontCellWidth(settings_.style.font) + settings_.rightSpacing)
        * settings_.style.widthScale;
    auto next = [&]() -> int {
        if (settings_.tabs.empty())
            return (line_.x / (8 * unit) + 1) * 8 * unit;
        for (int stop : settings_.tabs)
            if (stop * unit > line_.x)
                return stop * unit;
        return -1;
    }();
    if (next >= 0 && next < area())
        line_.x = next;
}

// ESC D n1 ... NUL: the stops, in columns, each past the one before.
void ReceiptPrinter::tabStops(
    const unsigned char* c, long long length, const std::string& description)
{
    auto& tabs = settings_.tabs;
    tabs.clear();
    for (long long i = 2; i < length && c[i] != 0 && tabs.size() < 32; ++i)
        if (tabs.empty() || c[i] > tabs.back())
            tabs.push_back(c[i]);
    if (tabs.empty())
        tabs.push_back(1 << 20); // no stops: HT does nothing
    setting(c, length, description);
}

void ReceiptPrinter::absolutePosition(const unsigned char* c, long long length)
{
    int x = Word(c + 2);
    if (page_)
        page_->x = x;
    else if (x < area())
        line_.x = x;
    setting(c, length, "Absolute position " + std::to_string(x) + " dots");
}

void ReceiptPrinter::selectCodePage(const unsigned char* c, long long length, int n)
{
    bool known = tables_.selectTable(n);
    std::string name = tables_.tableName(n);
    setting(c, length,
        known ? "Code page " + name : "Code page " + std::to_string(n) + " (not available, kept)");
}

void ReceiptPrinter::definition(
    const unsigned char* c, long long length, const std::string& description)
{
    if (change_.what == PrinterMemory::Change::Refused)
        return knownNotDrawn(c, length, description + ": " + change_.message);
    setting(c, length, description);
}

std::string ReceiptPrinter::fromMemory(const StoredDefinition& stored, const std::string& what)
{
    if (!remembers() || stored.order >= remembered_.nextOrder())
        return what;
    if (summary_.printedFromMemory.size() < limits_.listedEvents)
        summary_.printedFromMemory.push_back({ offset_, what });
    return what + " (stored by an earlier job)";
}

void ReceiptPrinter::notStored(const std::string& what)
{
    if (summary_.notStored.size() < limits_.listedEvents)
        summary_.notStored.push_back({ offset_, what });
}

// Modes 0 and 48 print as stored; 1 doubles the width, 2 the height, 3 both.
void ReceiptPrinter::storedLogo(
    const unsigned char* c, long long length, StoredKind kind, int number, int mode)
{
    const std::string key = std::to_string(number);
    const StoredDefinition* stored = memory_.first(kind);
    const BitImage* image
        = stored != nullptr && number >= 1 ? storedImage(*stored, number) : nullptr;
    if (image != nullptr) {
        const int scale = Digit(static_cast<unsigned char>(mode));
        const int command = addCommand(
            c, length, fromMemory(*stored, "Print stored logo " + key), CommandClass::Drawn);
        placeImage(Scaled(*image, scale & 1 ? 2 : 1, scale & 2 ? 2 : 1), command);
        return;
    }
    notStored("stored logo " + key);
    int command = addCommand(c, length, "Print stored logo " + key, CommandClass::Drawn);
    Marker marker;
    marker.kind = MarkerKind::StoredImage;
    marker.label = "stored logo " + key;
    marker.width = std::min(area(), 8 + 9 * static_cast<int>(marker.label.size()) + 16);
    marker.height = 48;
    placeBlock({ marker, command }, marker.width, marker.height);
}

// GS / m: the image GS * stored, in the modes of FS p; nothing without one.
void ReceiptPrinter::downloadedImage(const unsigned char* c, long long length)
{
    const StoredDefinition* stored = memory_.find(StoredKind::DownloadedImage, "");
    const BitImage* image = stored != nullptr ? storedImage(*stored) : nullptr;
    if (image == nullptr)
        return knownNotDrawn(c, length, "Print downloaded bit image");
    const int scale = Digit(c[2]);
    const int command = addCommand(
        c, length, fromMemory(*stored, "Print downloaded bit image"), CommandClass::Drawn);
    placeImage(Scaled(*image, scale & 1 ? 2 : 1, scale & 2 ? 2 : 1), command);
}

const BitImage* ReceiptPrinter::storedImage(const StoredDefinition& stored, int index)
{
    auto& image = decoded_[{ stored.kind, stored.key, index }];
    if (!image)
        image = DecodeStored(stored, index);
    return image->width > 0 ? &*image : nullptr;
}

void ReceiptPrinter::cutByMode(const unsigned char* c, long long length)
{
    // The command log's printer cuts with a bare GS "V".
    bool partial = length > 2 && IsPartialCutMode(c[2]);
    cut(partial ? MarkerKind::PartialCut : MarkerKind::Cut, c, length,
        partial ? "Partial cut" : "Full cut");
}

// Star's status requests and settings: the reply is the port's, at once.
void ReceiptPrinter::starStatus(
    const unsigned char* c, long long length, const std::string& description)
{
    addCommand(c, length, description, CommandClass::Status);
}

void ReceiptPrinter::drawerPulse(const unsigned char* c, long long length, bool pin5)
{
    const char* pin = pin5 ? "pin 5" : "pin 2";
    // Pin 2 is the first connector, pin 5 the second.
    if (profile_->drawerPins < (pin5 ? 2 : 1)) {
        ++summary_.notKnownByModel[std::string("drawer ") + pin];
        addCommand(c, length,
            std::string("Drawer pulse, ") + pin + ": this model has no such connector",
            CommandClass::KnownNotDrawn);
        return;
    }
    int command = addCommand(c, length, std::string("Drawer pulse, ") + pin, CommandClass::Drawn);
    ++summary_.drawerPulseCount;
    if (summary_.drawerPulses.size() < limits_.listedEvents)
        summary_.drawerPulses.push_back({ offset_, pin });
    placeMarker(MarkerKind::DrawerPulse, "drawer pulse", command, true);
}

} // namespace ostrel::receipt
