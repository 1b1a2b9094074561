#pragma once

#include "receipt/code_pages.h"
#include "receipt/command_stream.h"
#include "receipt/command_table.h"
#include "receipt/language_hint.h"
#include "receipt/paper.h"
#include "receipt/paper_roll.h"
#include "receipt/printer_memory.h"
#include "receipt/printer_profile.h"
#include "receipt/symbol_geometry.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace ostrel::receipt {

// What the model keeps and how far it lets paper and memory grow.
struct PrinterLimits {
    int paperWidth = kPaperWidth80;
    std::size_t keptReceipts = 64; // older ones are dropped
    long long keptBytes = 64LL << 20; // of all kept receipts together
    long long receiptBytes = 24LL << 20; // a longer receipt goes on in a new one
    int receiptHeight = 400'000; // dots, about 50 m of paper
    long long keptRows = 1LL << 20; // dots of all kept receipts together
    long long commandBytes = 1LL << 20; // a longer command is skipped, not drawn
    std::size_t listedEvents = 10'000; // symbols, cuts... in the summary
    long long listedSymbolBytes = 1LL << 20; // of the symbols' data listed
};

// Offsets and facts the report lists; every list is bounded, its count is not.
struct PrinterSummary {
    struct SymbolSeen {
        long long offset;
        SymbolKind kind;
        std::string data;
        bool printed;
    };
    struct Event {
        long long offset;
        std::string what;
    };
    long long bytes = 0;
    long long receipts = 0; // receipts ended by a cut that had paper fed for them
    std::map<std::string, long long> commandsByKind;
    std::map<std::string, long long> knownNotDrawn;
    // Commands the printer model does not know (it prints nothing for them),
    // by what they are: "PDF417", "GS V" on a model without a cutter.
    std::map<std::string, long long> notKnownByModel;
    std::vector<SymbolSeen> symbols;
    long long symbolCount = 0;
    // Bytes whose page has no character there, or whose character no font
    // the preview draws with has.
    struct Unmapped {
        long long offset;
        int page;
        unsigned char byte;
    };
    std::vector<Unmapped> unmapped;
    long long unmappedBytes = 0;
    std::vector<Event> notUnderstood;
    long long notUnderstoodBytes = 0;
    std::vector<Event> drawerPulses;
    long long drawerPulseCount = 0;
    std::vector<Event> cuts;
    long long cutCount = 0;
    long long statusRequests = 0;
    // The printer's memory: graphics, logos and images printed from what an
    // earlier job stored, printed by a key nothing stored (an outline is
    // drawn), and definitions the memory refused, with why.
    std::vector<Event> printedFromMemory;
    std::vector<Event> notStored;
    std::vector<Event> memoryRefused;
};

// ESC/POS page mode's page: what is placed waits on it until it prints.
struct PageBuffer {
    int areaX = 0, areaY = 0, areaWidth = 0, areaHeight = 0; // 0 high: as long as what is on it
    int direction = 0; // ESC T: 0 left to right, 1 bottom to top, 2 right to left, 3 top to bottom
    int x = 0, y = 0; // along the direction, and the line's base across it (0: none yet)
    int used = 0; // rows used, for a page without a height
    std::vector<PaperItem> items; // x, y on the page
    long long dropped = 0; // items past the most a page holds
    long long weight = 0; // bytes its items hold, roughly
    long long receipt = 0; // which receipt its commands are in
    int width() const;
    int height() const;
};

// A model of an 80 mm (or 58 mm) thermal receipt printer that speaks the
// standard receipt command language. It takes the received bytes in chunks cut
// anywhere and lays out the paper: receipts split at each cut, each a list of
// placed items and the commands that made them.
class ReceiptPrinter : private CommandStream::Reader {
public:
    explicit ReceiptPrinter(const SymbolGeometry& geometry, PrinterLimits limits = {});

    void feed(std::string_view bytes);
    // Tells which characters have a glyph to print with; without it, every
    // character the page maps has one.
    void setGlyphCoverage(std::function<bool(char32_t)> covers)
    {
        covers_ = std::move(covers);
        covered_.clear();
    }
    // Back to a new printer with no paper, on the width given.
    void clear();
    void clear(int paperWidth);
    // Prints as this model does: its print width, its code pages, the
    // commands it knows. Starts a new printer.
    void setProfile(const PrinterProfile& profile);
    const PrinterProfile& profile() const { return *profile_; }
    // Starts with what earlier jobs left in the printer's memory: their
    // definitions are there, unlisted and drawing nothing, and stay there
    // through clear(). The memory must be of this profile's printer.
    void remember(const PrinterMemory& memory);
    bool remembers() const { return remembering_; }
    // What the printer holds now, the job's own definitions included.
    const PrinterMemory& memory() const { return memory_; }
    // Hands each command over once it is whole: a text command when the
    // next command begins, the last one at finish(). Comparing jobs reads
    // them so, without keeping them.
    void setCommandSink(std::function<void(const ModelCommand&)> sink) { sink_ = std::move(sink); }
    void finish();

    int paperWidth() const { return limits_.paperWidth; }
    // The newest is last; it is the receipt still printing unless cut.
    const std::deque<Receipt>& receipts() const { return paper_.receipts(); }
    long long droppedReceipts() const { return paper_.dropped(); }
    const PrinterSummary& summary() const { return summary_; }
    // A command the bytes stopped inside of: where it began, its kind
    // ("GS k") and how many bytes it still needs (-1: not known).
    struct Unfinished {
        long long offset = 0;
        std::string command;
        long long bytesMissing = -1;
    };
    std::optional<Unfinished> unfinished() const;
    // Another language that reads the job's first bytes far better, if any.
    // Read again only when the sample has grown: the preview asks every frame.
    const std::optional<LanguageHint>& languageHint() const
    {
        if (hintRead_ != sample_.size() || !hintReadOnce_) {
            hint_ = HintLanguage(sample_, profile_->language);
            hintRead_ = sample_.size();
            hintReadOnce_ = true;
        }
        return hint_;
    }
    // Goes up whenever the paper changes, so viewers know to draw again.
    long long revision() const { return revision_; }
    // Goes up only when what is drawn changes: lines printed, paper fed, cut.
    long long paperRevision() const { return paperRevision_; }
    // The paper fed so far, in dots, receipts dropped or not.
    long long paperFed() const { return paper_.fedRows(); }

    // The rows of each language's table, with what each command does here.
    static std::vector<CommandRow> EscPosRows();
    static std::vector<CommandRow> CommandLogRows();
    static std::vector<CommandRow> StarLineRows();
    static std::vector<CommandRow> StarPrntRows();
    static std::vector<CommandRow> StarEscPosRows();
    // Star's QR Code commands, which three of those tables share.
    static std::vector<CommandRow> StarQrRows();
    // Star's raster mode (languages/star_raster.cpp): the rows Line mode
    // enters it by, and the table it reads until it quits.
    static std::vector<CommandRow> StarRasterEntryRows();
    static std::vector<CommandRow> StarRasterRows();
    // The cut an FF or EOT mode of raster mode makes, if any.
    static std::optional<MarkerKind> RasterCut(int mode);

private:
    // Characters of text or data a command's description shows.
    static constexpr std::size_t kShownTextLength = 40;

    struct PendingLine {
        std::vector<PaperItem> items; // x from the print area's left edge
        int x = 0; // where the next character goes
        int height = 0;
        int markersEnd = 0; // markers side by side, never over each other
        int markers = 0;
    };
    static constexpr int kMostMarkersInLine = 256;
    struct Settings {
        TextStyle style;
        int rightSpacing = 0;
        int lineSpacing = 30;
        int alignment = 0;
        int leftMargin = 0;
        int areaWidth = 65535;
        bool upsideDown = false;
        std::vector<int> tabs;
        int barHeight = 162, barModule = 3;
        TextPlace barText = TextPlace::None;
        Font barFont = Font::A;
    };
    struct StoredSymbol {
        std::string data;
        int moduleSize = 3;
        int errorCorrection = 48;
        int columns = 0, rows = 0, rowHeight = 3;
    };

    void text(const unsigned char* bytes, std::size_t count, long long offset) override;
    void command(const CommandRow& row, const unsigned char* bytes, long long length,
        long long offset) override;
    void notUnderstood(const unsigned char* bytes, long long length, long long offset) override;
    void tooLong(const CommandRow& row, const unsigned char* head, std::size_t shown,
        long long length, long long offset) override;
    void takeText(const unsigned char* bytes, std::size_t count);
    void checkGlyph(char32_t ch, unsigned char byte, long long offset);
    void run(const CommandRow& row, const unsigned char* c, long long length);
    void horizontalTab(const unsigned char* c, long long length);
    void tabStops(const unsigned char* c, long long length, const std::string& description);
    void absolutePosition(const unsigned char* c, long long length);
    void selectCodePage(const unsigned char* c, long long length, int n);
    void storedLogo(
        const unsigned char* c, long long length, StoredKind kind, int number, int mode);
    void downloadedImage(const unsigned char* c, long long length);
    // A definition the memory took (or refused, which the description says).
    void definition(const unsigned char* c, long long length, const std::string& description);
    // A stored image as defined (the `index`th of numbered ones), decoded
    // once; null when it cannot be drawn.
    const BitImage* storedImage(const StoredDefinition& stored, int index = 1);
    // Printed from the memory: said in the description when an earlier job
    // stored it.
    std::string fromMemory(const StoredDefinition& stored, const std::string& what);
    void notStored(const std::string& what);
    bool userCharacter(unsigned char byte, int command);
    void cutByMode(const unsigned char* c, long long length);
    void pageMode(const unsigned char* c, long long length);

    // Page mode (ESC L to FF): what is placed waits on a page of its own.
    using Page = PageBuffer;
    struct PagePlace {
        int x, y, width, height;
    };
    static constexpr std::size_t kMostPageItems = 20'000;
    static constexpr long long kMostPageBytes = 16LL << 20;
    // Bytes of pages printed for each byte of the job, at most (ESC FF again and again).
    static constexpr long long kPageWorkPerByte = 1024;
    long long pageBytesPrinted_ = 0;
    void enterPageMode();
    PagePlace placeOnPage(int at, int top, int along, int across) const;
    void putOnPage(PaperItem item, PagePlace place);
    void pageCharacter(char32_t ch, int command);
    void pageBlock(PaperItem item, int width, int height);
    void pageLineFeed(int dots);
    void printPage(int command);

    // Star's raster mode (raster_mode.cpp): its settings, and the image its
    // rows go on.
    struct RasterSettings {
        int leftMargin = 0, rightMargin = 0; // dots
        int pageLength = 0; // dots; 0: as long as what is printed
        int ffMode = 13, eotMode = 13; // what ESC FF NUL and ESC FF EOT do
        int pageTop = 0; // where the page began, in receipt pageReceipt
        long long pageReceipt = -1;
        bool drawn = false; // rows drawn or fed since the page began
        bool rowOpen = false; // k drew on a row no b has fed past yet
        long long bandReceipt = -1; // the image rows go on: its receipt and item
        std::size_t bandItem = 0;
    };
    static constexpr int kBandRows = 256;
    RasterSettings raster_;
    // The current receipt's number, counted from the first ever.
    long long receiptNumber() const
    {
        return paper_.dropped() + static_cast<long long>(receipts().size());
    }
    void initializeRaster();
    void enterRasterMode(const unsigned char* c, long long length);
    void rasterMargin(const unsigned char* c, long long length, int n, bool left);
    BitImage& rasterBand(int command, int left, int width);
    void rasterLine(const unsigned char* c, long long length, bool feed);
    void executeRasterPage(
        const unsigned char* c, long long length, int mode, std::string description);
    void clearRasterPage(const unsigned char* c, long long length);
    void rasterDrawers(const unsigned char* c, long long length, int n);
    void starStatus(const unsigned char* c, long long length, const std::string& description);
    void starBarcode(const unsigned char* c, long long length);
    void printStored(const unsigned char* c, long long length, int cn, const std::string& what);
    void runGraphics(const unsigned char* command, long long length, int header);
    void runTwoDimensional(const unsigned char* c, long long length);
    void runBarcode(const unsigned char* c, long long length);
    void printSymbol(
        Symbol symbol, const unsigned char* c, long long length, const std::string& what);
    void drawerPulse(const unsigned char* c, long long length, bool pin5);
    void markNotUnderstood(const unsigned char* c, long long length);

    int addCommand(const unsigned char* c, long long length, std::string description,
        CommandClass commandClass, std::string kind = {});
    void knownNotDrawn(const unsigned char* c, long long length, std::string description);
    void setting(const unsigned char* c, long long length, std::string description);

    int area() const;
    int cellWidth() const;
    int cellHeight() const;
    void printLine(int feed);
    bool lineHasInk() const;
    void placeBlock(PaperItem item, int width, int height);
    void placeImage(BitImage image, int command);
    void placeInLine(BitImage image, int command);
    void placeMarker(MarkerKind kind, std::string label, int command, bool inLine);
    void feedPaper(int dots);
    void cut(MarkerKind kind, const unsigned char* c, long long length, std::string description);
    void endReceipt(bool byCut);
    Receipt& current() { return paper_.current(); }
    void resetSettings();
    void touch() { ++revision_; }
    void touchPaper()
    {
        ++revision_;
        ++paperRevision_;
    }

    // Whether the model knows it; counted when it does not.
    bool modelKnows(const std::string& what);

    const SymbolGeometry& geometry_;
    PrinterLimits limits_;
    const PrinterProfile* profile_ = &GenericProfile();
    const CommandTable* table_ = &TableOf(Language::EscPos);
    const CommandRow* row_ = nullptr; // the command's row, while its action runs
    CharacterTables tables_;
    Settings settings_;
    PendingLine line_;
    std::optional<Page> page_;
    PaperRoll paper_ { { limits_.keptReceipts, limits_.keptBytes, limits_.receiptBytes,
        limits_.receiptHeight, limits_.keptRows } };
    PrinterSummary summary_;
    long long revision_ = 0;
    long long paperRevision_ = 0;

    CommandStream stream_ { *this, limits_.commandBytes };
    Unfinished lastTooLong_; // the head of the last command too long to keep
    long long offset_ = 0; // of the command being taken
    std::string sample_; // the job's first bytes, for languageHint()
    mutable std::optional<LanguageHint> hint_;
    mutable std::size_t hintRead_ = 0; // the sample's size when hint_ was read
    mutable bool hintReadOnce_ = false;
    int textCommand_ = -1; // the text command being extended

    void handOver();

    std::function<void(const ModelCommand&)> sink_;
    long long sinkReceipt_ = -1; // counted from the first ever, dropped ones too
    int sinkCommand_ = -1;
    long long listedSymbolBytes_ = 0;
    std::function<bool(char32_t)> covers_;
    std::map<char32_t, bool> covered_; // what covers_ said

    std::map<int, StoredSymbol> symbols_; // by GS ( k cn
    BitImage graphicsBuffer_;
    bool graphicsBuffered_ = false;
    PrinterMemory memory_;
    PrinterMemory remembered_; // what earlier jobs left: clear() goes back to it
    bool remembering_ = false; // remember() was called: the report says what the memory gave
    PrinterMemory::Change change_; // what the command being run did to the memory
    bool userCharacters_ = false; // ESC % 1
    // Stored images decoded, by kind, key and index; emptied whenever the
    // memory changes, so never more than it holds.
    std::map<std::tuple<StoredKind, std::string, int>, std::optional<BitImage>> decoded_;
};

} // namespace ostrel::receipt
