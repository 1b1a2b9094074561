#include "receipt/receipt_printer.h"

#include "protocol/command_set.h"

#include "receipt/command_text.h"

#include <algorithm>

namespace ostrel::receipt {
namespace {

constexpr unsigned char DLE = 0x10, ESC = 0x1B, FS = 0x1C, GS = 0x1D;
constexpr std::size_t kShownTextLength = 40;
constexpr std::size_t kStoredGraphicsKept = 16;

int Word(const unsigned char* p) { return p[0] + 256 * p[1]; }

bool On(unsigned char n) { return (n & 1) != 0; }

std::string OnOff(const char* what, unsigned char n) { return std::string(what) + (On(n) ? " on" : " off"); }

long long ItemWeight(const PaperItem& item) {
    long long weight = sizeof(PaperItem);
    if (auto* image = std::get_if<BitImage>(&item.what)) weight += static_cast<long long>(image->dots.size());
    if (auto* symbol = std::get_if<Symbol>(&item.what)) weight += static_cast<long long>(symbol->data.size());
    return weight;
}

// Unpacks rows of bytes, the leftmost dot in bit 7, scaling each dot.
BitImage RasterImage(const unsigned char* data, int widthBytes, int height, int scaleX, int scaleY) {
    BitImage image;
    image.width = widthBytes * 8 * scaleX;
    image.height = height * scaleY;
    image.dots.assign(static_cast<std::size_t>(image.width) * image.height, 0);
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < widthBytes * 8; ++column) {
            if (!(data[row * widthBytes + column / 8] & (0x80 >> (column % 8)))) continue;
            for (int dy = 0; dy < scaleY; ++dy)
                for (int dx = 0; dx < scaleX; ++dx)
                    image.dots[static_cast<std::size_t>(row * scaleY + dy) * image.width + column * scaleX + dx] = 1;
        }
    return image;
}

BitImage Cropped(BitImage image, int width) {
    if (image.width <= width || width <= 0) return image;
    BitImage cropped;
    cropped.width = width;
    cropped.height = image.height;
    cropped.dots.resize(static_cast<std::size_t>(width) * image.height);
    for (int row = 0; row < image.height; ++row)
        std::copy_n(image.dots.begin() + static_cast<long>(row) * image.width, width,
                    cropped.dots.begin() + static_cast<long>(row) * width);
    return cropped;
}

// CODE128 data as a job sends it: "{A", "{B", "{C" choose the code set, "{1"
// is FNC1, "{{" a brace; in set C every byte is two digits.
std::string Code128Text(std::string_view data) {
    std::string text;
    char set = 'B';
    for (std::size_t i = 0; i < data.size(); ++i) {
        char c = data[i];
        if (c == '{' && i + 1 < data.size()) {
            char next = data[++i];
            if (next == 'A' || next == 'B' || next == 'C') set = next;
            else if (next == '{') text += '{';
            continue; // FNC1..4 and SHIFT leave no character
        }
        if (set == 'C') {
            int value = static_cast<unsigned char>(c);
            text += static_cast<char>('0' + value / 10 % 10);
            text += static_cast<char>('0' + value % 10);
        } else {
            text += c;
        }
    }
    return text;
}

const char* AlignmentName(int n) { return n == 1 ? "Align center" : n == 2 ? "Align right" : "Align left"; }

} // namespace

ReceiptPrinter::ReceiptPrinter(const SymbolGeometry& geometry, PrinterLimits limits)
    : geometry_(geometry), limits_(limits) {
    clear(limits_.paperWidth);
}

void ReceiptPrinter::clear() { clear(limits_.paperWidth); }

void ReceiptPrinter::clear(int paperWidth) {
    limits_.paperWidth = paperWidth;
    receipts_.assign(1, Receipt{});
    keptWeight_ = 0;
    dropped_ = 0;
    summary_ = {};
    stream_.clear();
    offset_ = 0;
    symbols_.clear();
    storedGraphics_.clear();
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

int ReceiptPrinter::addCommand(const unsigned char* c, long long length, std::string description,
                               CommandClass commandClass, std::string kind) {
    textCommand_ = -1;
    ModelCommand command;
    command.offset = offset_;
    command.length = length;
    command.text = CommandText(c, static_cast<std::size_t>(length));
    command.description = std::move(description);
    command.kind = kind.empty() ? CommandKindName(c, static_cast<std::size_t>(length)) : std::move(kind);
    command.commandClass = commandClass;
    command.y = current().height;
    ++summary_.commandsByKind[command.kind];
    if (commandClass == CommandClass::KnownNotDrawn) ++summary_.knownNotDrawn[command.kind];
    long long weight = static_cast<long long>(sizeof(ModelCommand) + command.text.size() + command.description.size());
    current().weight += weight;
    keptWeight_ += weight;
    current().commands.push_back(std::move(command));
    touch();
    return static_cast<int>(current().commands.size()) - 1;
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

// ---- text ----

int ReceiptPrinter::area() const {
    int left = std::min(settings_.leftMargin, limits_.paperWidth - 1);
    return std::max(1, std::min(settings_.areaWidth, limits_.paperWidth - left));
}

int ReceiptPrinter::cellWidth() const { return FontCellWidth(settings_.style.font) * settings_.style.widthScale; }
int ReceiptPrinter::cellHeight() const { return FontCellHeight(settings_.style.font) * settings_.style.heightScale; }

void ReceiptPrinter::takeText(const unsigned char* bytes, std::size_t count) {
    // Text that goes on in a new receipt starts a new command where it goes on.
    auto startText = [&](const unsigned char* at) {
        const long long runStart = offset_;
        offset_ += at - bytes;
        textCommand_ = addCommand(at, 0, "\"\"", CommandClass::Text, "Text");
        offset_ = runStart;
        current().commands[textCommand_].text = "Text";
    };
    if (textCommand_ < 0) startText(bytes);
    for (std::size_t i = 0; i < count; ++i) {
        char32_t ch = tables_.decode(bytes[i]);
        int width = cellWidth();
        int step = width + settings_.rightSpacing * settings_.style.widthScale;
        if (line_.x > 0 && line_.x + width > area()) printLine(settings_.lineSpacing);
        // The text command may have moved to a new receipt when the last one filled up.
        if (textCommand_ < 0) startText(bytes + i);
        ModelCommand& command = current().commands[textCommand_];
        command.length += 1;
        if (command.description.size() < kShownTextLength) {
            std::string utf8;
            AppendUtf8(utf8, ch);
            command.description.insert(command.description.size() - 1, utf8);
        }

        TextRun* run = line_.items.empty() ? nullptr : std::get_if<TextRun>(&line_.items.back().what);
        if (run && line_.items.back().command == textCommand_ && run->style == settings_.style &&
            run->x + run->width() == line_.x && run->cellWidth == width && run->spacing == step - width) {
            run->text += ch;
        } else {
            TextRun fresh;
            fresh.x = line_.x;
            fresh.cellWidth = width;
            fresh.cellHeight = cellHeight();
            fresh.spacing = step - width;
            fresh.text = std::u32string(1, ch);
            fresh.style = settings_.style;
            line_.items.push_back({std::move(fresh), textCommand_});
            current().weight += sizeof(PaperItem);
            keptWeight_ += sizeof(PaperItem);
        }
        current().weight += 4;
        keptWeight_ += 4;
        line_.x += step;
        line_.height = std::max(line_.height, cellHeight());
    }
    touch();
}

void ReceiptPrinter::printLine(int feed) {
    Receipt& receipt = current();
    int used = 0;
    for (const PaperItem& item : line_.items) {
        if (auto* run = std::get_if<TextRun>(&item.what)) used = std::max(used, run->x + run->width() - run->spacing);
        if (auto* image = std::get_if<BitImage>(&item.what)) used = std::max(used, image->x + image->width);
    }
    int area = this->area();
    int shift = settings_.alignment == 1 ? (area - used) / 2 : settings_.alignment == 2 ? area - used : 0;
    int left = std::min(settings_.leftMargin, limits_.paperWidth - 1) + std::max(0, shift);
    for (PaperItem& item : line_.items) {
        std::visit([&](auto& placed) {
            using T = std::decay_t<decltype(placed)>;
            int width = 0, height = 0;
            if constexpr (std::is_same_v<T, TextRun>) {
                width = placed.width() - placed.spacing;
                height = placed.cellHeight;
                placed.style.upsideDown = settings_.upsideDown;
            } else {
                width = placed.width;
                height = std::is_same_v<T, Marker> ? line_.height : placed.height;
            }
            if (settings_.upsideDown) placed.x = used - placed.x - width;
            placed.x += left;
            placed.y = receipt.height + std::max(0, line_.height - height);
        }, item.what);
        long long weight = ItemWeight(item);
        receipt.weight += weight;
        keptWeight_ += weight;
        receipt.items.push_back(std::move(item));
    }
    receipt.height += std::max(feed, line_.height);
    line_ = PendingLine{};
    touchPaper();
    if (receipt.height > limits_.receiptHeight || receipt.weight > limits_.receiptBytes) endReceipt(false);
}

void ReceiptPrinter::feedPaper(int dots) {
    if (!line_.items.empty()) printLine(0);
    current().height += std::max(0, dots);
    touchPaper();
}

bool ReceiptPrinter::lineHasInk() const {
    for (const PaperItem& item : line_.items)
        if (!std::holds_alternative<Marker>(item.what)) return true;
    return false;
}

void ReceiptPrinter::placeBlock(PaperItem item, int width, int height) {
    if (!line_.items.empty()) printLine(lineHasInk() ? settings_.lineSpacing : 0);
    Receipt& receipt = current();
    int area = this->area();
    int shift = settings_.alignment == 1 ? (area - width) / 2 : settings_.alignment == 2 ? area - width : 0;
    int x = std::min(settings_.leftMargin, limits_.paperWidth - 1) + std::max(0, shift);
    std::visit([&](auto& placed) {
        placed.x = x;
        placed.y = receipt.height;
    }, item.what);
    long long weight = ItemWeight(item);
    receipt.weight += weight;
    keptWeight_ += weight;
    receipt.items.push_back(std::move(item));
    receipt.height += height;
    touchPaper();
    if (receipt.height > limits_.receiptHeight || receipt.weight > limits_.receiptBytes) endReceipt(false);
}

void ReceiptPrinter::placeImage(BitImage image, int command) {
    image = Cropped(std::move(image), area());
    int width = image.width, height = image.height;
    placeBlock({std::move(image), command}, width, height);
}

void ReceiptPrinter::placeMarker(MarkerKind kind, std::string label, int command, bool inLine) {
    Marker marker;
    marker.kind = kind;
    marker.width = 8 + 9 * static_cast<int>(label.size());
    marker.height = 21;
    marker.label = std::move(label);
    if (inLine) {
        marker.x = std::min(std::max(line_.x, line_.markersEnd), std::max(0, area() - marker.width));
        line_.markersEnd = marker.x + marker.width + 2;
        line_.items.push_back({std::move(marker), command});
        return;
    }
    marker.x = 0;
    marker.y = current().height;
    marker.width = limits_.paperWidth;
    current().items.push_back({std::move(marker), command});
    current().weight += sizeof(PaperItem);
    keptWeight_ += sizeof(PaperItem);
    touchPaper();
}

// ---- receipts ----

void ReceiptPrinter::cut(MarkerKind kind, const unsigned char* c, long long length, std::string description) {
    if (!line_.items.empty()) printLine(lineHasInk() ? settings_.lineSpacing : 0);
    int feed = 0;
    if (c[0] == GS && length == 4) feed = c[3];
    if (feed > 0) feedPaper(feed);
    int command = addCommand(c, length, std::move(description), CommandClass::Drawn);
    placeMarker(kind, kind == MarkerKind::Cut ? "cut" : "partial cut", command, false);
    ++summary_.cutCount;
    if (summary_.cuts.size() < limits_.listedEvents)
        summary_.cuts.push_back({offset_, kind == MarkerKind::Cut ? "full" : "partial"});
    endReceipt(true);
}

void ReceiptPrinter::endReceipt(bool byCut) {
    current().cut = byCut;
    if (byCut && PaperFed(current())) ++summary_.receipts;
    receipts_.emplace_back();
    textCommand_ = -1;
    keepWithinLimits();
    touchPaper();
}

void ReceiptPrinter::keepWithinLimits() {
    while (receipts_.size() > 1 && (receipts_.size() > limits_.keptReceipts || keptWeight_ > limits_.keptBytes)) {
        keptWeight_ -= receipts_.front().weight;
        receipts_.pop_front();
        ++dropped_;
    }
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
        std::string name = CharacterTables::tableName(n);
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
        int m = c[2];
        int columns = Word(c + 3);
        bool tall = m == 32 || m == 33;
        int scaleX = m == 0 || m == 32 ? 2 : 1;
        int scaleY = tall ? 1 : 3;
        int bytesPerColumn = tall ? 3 : 1;
        BitImage image;
        image.width = columns * scaleX;
        image.height = 24;
        image.dots.assign(static_cast<std::size_t>(image.width) * image.height, 0);
        for (int column = 0; column < columns; ++column)
            for (int bit = 0; bit < 8 * bytesPerColumn; ++bit) {
                if (!(c[5 + column * bytesPerColumn + bit / 8] & (0x80 >> (bit % 8)))) continue;
                for (int dy = 0; dy < scaleY; ++dy)
                    for (int dx = 0; dx < scaleX; ++dx)
                        image.dots[static_cast<std::size_t>(bit * scaleY + dy) * image.width + column * scaleX + dx] = 1;
            }
        int command = addCommand(c, length, "Bit image, " + std::to_string(columns) + " columns (mode " +
                                 std::to_string(m) + ")", CommandClass::Drawn);
        int room = area() - line_.x;
        if (room <= 0) return;
        image = Cropped(std::move(image), room);
        image.x = line_.x;
        line_.x += image.width;
        line_.height = std::max(line_.height, image.height);
        line_.items.push_back({std::move(image), command});
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
        bool partial = IsPartialCutMode(c[2]);
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

// GS ( L and GS 8 L: the parameters m fn ... follow a header of 5 or 7 bytes.
void ReceiptPrinter::runGraphics(const unsigned char* c, long long whole, int header) {
    const unsigned char* d = c + header;
    long long length = whole - header;
    int fn = length > 1 ? d[1] : -1;
    // The width and height at d[size], the rows from d[header] on.
    auto imageAt = [&](long long size, long long header, int scaleX, int scaleY, bool& ok) {
        ok = false;
        if (length < header + 1) return BitImage{};
        int widthDots = Word(d + size), height = Word(d + size + 2);
        int widthBytes = (widthDots + 7) / 8;
        if (widthDots == 0 || height == 0 || length < header + static_cast<long long>(widthBytes) * height) return BitImage{};
        ok = true;
        BitImage image = RasterImage(d + header, widthBytes, height, scaleX, scaleY);
        return Cropped(std::move(image), widthDots * scaleX);
    };
    switch (fn) {
    case 112: { // store raster graphics: m fn a bx by c xL xH yL yH data
        bool ok = false;
        if (length >= 10 && d[2] == 48) graphicsBuffer_ = imageAt(6, 10, d[3] == 2 ? 2 : 1, d[4] == 2 ? 2 : 1, ok);
        graphicsBuffered_ = ok;
        addCommand(c, whole, ok ? "Store graphics " + std::to_string(graphicsBuffer_.width) + " x " +
                                      std::to_string(graphicsBuffer_.height) + " dots"
                                : "Store graphics (not monochrome: not drawn)",
                   ok ? CommandClass::Setting : CommandClass::KnownNotDrawn);
        return;
    }
    case 50: { // print buffered graphics
        int command = addCommand(c, whole, "Print stored graphics", CommandClass::Drawn);
        if (graphicsBuffered_) placeImage(graphicsBuffer_, command);
        graphicsBuffered_ = false;
        return;
    }
    case 67: case 83: { // define NV or download graphics: m fn a kc1 kc2 b xL xH yL yH c data
        bool ok = false;
        BitImage image;
        if (length >= 11 && d[2] == 48) image = imageAt(6, 11, 1, 1, ok);
        int key = (fn << 16) | (length > 4 ? d[3] << 8 | d[4] : 0);
        if (ok && (storedGraphics_.size() < kStoredGraphicsKept || storedGraphics_.count(key)))
            storedGraphics_[key] = std::move(image);
        addCommand(c, whole, std::string("Define ") + (fn == 67 ? "NV" : "download") + " graphics", CommandClass::Setting);
        return;
    }
    case 69: case 85: { // print NV or download graphics: m fn kc1 kc2 x y
        int key = ((fn == 69 ? 67 : 83) << 16) | (length > 3 ? d[2] << 8 | d[3] : 0);
        std::string label = std::string(fn == 69 ? "NV" : "download") + " graphics " +
                            (length > 3 ? std::string{static_cast<char>(d[2]), static_cast<char>(d[3])} : "");
        int command = addCommand(c, whole, "Print " + label, CommandClass::Drawn);
        auto found = storedGraphics_.find(key);
        if (found != storedGraphics_.end()) {
            placeImage(found->second, command);
        } else {
            Marker marker;
            marker.kind = MarkerKind::StoredImage;
            marker.label = label;
            marker.width = std::min(area(), 24 + 9 * static_cast<int>(label.size()));
            marker.height = 48;
            placeBlock({marker, command}, marker.width, marker.height);
        }
        return;
    }
    default:
        knownNotDrawn(c, whole, "Graphics function " + std::to_string(fn));
        return;
    }
}

void ReceiptPrinter::runBarcode(const unsigned char* c, long long length) {
    int m = c[2];
    std::string data;
    if (m <= 6) {
        long long end = length;
        if (end > 3 && c[end - 1] == 0) --end;
        data.assign(reinterpret_cast<const char*>(c + 3), static_cast<std::size_t>(std::max(0LL, end - 3)));
    } else {
        data.assign(reinterpret_cast<const char*>(c + 4), c[3]);
    }
    static const SymbolKind kinds[] = {
        SymbolKind::UpcA, SymbolKind::UpcE, SymbolKind::Ean13, SymbolKind::Ean8, SymbolKind::Code39,
        SymbolKind::Itf, SymbolKind::Codabar, SymbolKind::Code93, SymbolKind::Code128, SymbolKind::Gs1_128,
        SymbolKind::DataBarOmni, SymbolKind::DataBarTruncated, SymbolKind::DataBarLimited,
        SymbolKind::DataBarExpanded, SymbolKind::Code128};
    Symbol symbol;
    symbol.kind = kinds[m <= 6 ? m : m - 65];
    symbol.data = m == 73 ? Code128Text(data) : data;
    symbol.moduleWidth = settings_.barModule;
    symbol.barHeight = settings_.barHeight;
    symbol.textPlace = settings_.barText;
    symbol.textFont = settings_.barFont;
    // A printer leaves out a barcode that does not fit the print area.
    const std::string what = std::string("Barcode ") + SymbolKindName(symbol.kind);
    printSymbol(std::move(symbol), c, length, what);
}

void ReceiptPrinter::drawerPulse(const unsigned char* c, long long length, bool pin5) {
    const char* pin = pin5 ? "pin 5" : "pin 2";
    int command = addCommand(c, length, std::string("Drawer pulse, ") + pin, CommandClass::Drawn);
    ++summary_.drawerPulseCount;
    if (summary_.drawerPulses.size() < limits_.listedEvents) summary_.drawerPulses.push_back({offset_, pin});
    placeMarker(MarkerKind::DrawerPulse, "drawer pulse", command, true);
}

// Measures a barcode or 2-D code and places it, or a marker where the printer
// leaves it out: data it cannot hold, or wider than the print area.
void ReceiptPrinter::printSymbol(Symbol symbol, const unsigned char* c, long long length, const std::string& what) {
    const bool printed = geometry_.measure(symbol) && symbol.width <= area();
    int command = addCommand(c, length, what + " \"" + symbol.data.substr(0, kShownTextLength) + "\"" +
                                            (printed ? "" : ": data not valid or too wide, nothing printed"),
                             CommandClass::Drawn);
    ++summary_.symbolCount;
    if (summary_.symbols.size() < limits_.listedEvents)
        summary_.symbols.push_back({current().commands[command].offset, symbol.kind, symbol.data, printed});
    if (printed) {
        int width = symbol.width, height = symbol.height;
        placeBlock({std::move(symbol), command}, width, height);
    } else {
        placeMarker(MarkerKind::NotPrinted, std::string(SymbolKindName(symbol.kind)) + " not printed", command, false);
    }
}

// GS ( k pL pH cn fn [parameters]

// A 2-D code's error correction as the job asked for it: QR's level letter
// (48-51: L, M, Q, H), PDF417's level (m 48) or ratio in tens of percent
// (m 49), the others' own number.
static std::string ErrorCorrectionText(int cn, const unsigned char* c, long long length) {
    const int n = length > 7 ? c[7] : 0;
    if (cn == 49 && n >= 48 && n <= 51) return std::string("level ") + "LMQH"[n - 48];
    if (cn == 48 && length > 8) return c[7] == 48 ? "level " + std::to_string(c[8] - 48)
                                                  : "ratio " + std::to_string(c[8] * 10) + "%";
    return std::to_string(n);
}

void ReceiptPrinter::runTwoDimensional(const unsigned char* c, long long length) {
    if (length < 7) {
        knownNotDrawn(c, length, "2-D code function");
        return;
    }
    int cn = c[5], fn = c[6];
    int n = length > 7 ? c[7] : 0;
    struct Family {
        int cn;
        SymbolKind kind;
    };
    static const Family families[] = {{49, SymbolKind::QrCode}, {48, SymbolKind::Pdf417},
                                      {54, SymbolKind::DataMatrix}, {53, SymbolKind::Aztec}};
    const Family* family = nullptr;
    for (const Family& f : families)
        if (f.cn == cn) family = &f;
    if (!family) {
        knownNotDrawn(c, length, cn == 50 ? "MaxiCode function" : cn == 51 ? "2-D GS1 DataBar function"
                                 : cn == 52 ? "Composite symbol function" : "2-D code function");
        return;
    }
    std::string name = SymbolKindName(family->kind);
    StoredSymbol& stored = symbols_[cn];
    switch (fn) {
    case 65:
        if (cn == 48) stored.columns = n;
        // QR Code's model byte is 49, 50 or 51: model 1, model 2, Micro QR.
        setting(c, length, name + (cn == 48   ? " columns " + std::to_string(n)
                                   : cn == 49 ? (n == 51 ? " Micro QR" : " model " + std::to_string(n - 48))
                                              : " model " + std::to_string(n)));
        return;
    case 66:
        if (cn == 48) stored.rows = n;
        if (cn == 54 && length > 9) { stored.columns = c[8]; stored.rows = c[9]; }
        setting(c, length, name + (cn == 48 ? " rows " + std::to_string(n) : " symbol type"));
        return;
    case 67:
        stored.moduleSize = std::clamp(n, 1, 16);
        setting(c, length, name + " module size " + std::to_string(n) + " dots");
        return;
    case 68: stored.rowHeight = std::clamp(n, 2, 8); setting(c, length, name + " row height " + std::to_string(n)); return;
    case 69:
        stored.errorCorrection = cn == 48 && length > 8 ? (c[7] == 48 ? c[8] - 48 : -c[8]) : n;
        setting(c, length, name + " error correction " + ErrorCorrectionText(cn, c, length));
        return;
    case 70: setting(c, length, name + " options " + std::to_string(n)); return;
    case 80:
        stored.data.assign(reinterpret_cast<const char*>(c + 8), static_cast<std::size_t>(std::max(0LL, length - 8)));
        setting(c, length, "Store " + name + " data (" + std::to_string(stored.data.size()) + " bytes)");
        return;
    case 81: {
        Symbol symbol;
        symbol.kind = family->kind;
        symbol.data = stored.data;
        symbol.moduleWidth = stored.moduleSize;
        symbol.errorCorrection = stored.errorCorrection;
        symbol.columns = stored.columns;
        symbol.rows = stored.rows;
        symbol.barHeight = stored.rowHeight;
        printSymbol(std::move(symbol), c, length, "Print " + name);
        return;
    }
    case 82: addCommand(c, length, name + " size information (consumed)", CommandClass::Status); return;
    default: knownNotDrawn(c, length, name + " function " + std::to_string(fn)); return;
    }
}

} // namespace ostrel::receipt
