#include "net/epos_print_document.h"

#include "protocol/message_text.h"
#include "receipt/code_pages.h"
#include "receipt/printer_profile.h"

#include <QXmlStreamReader>

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

// The element and attribute names and values are those of Epson's ePOS-Print
// XML reference and of the ePOS SDK for JavaScript that writes them; the
// bytes made of them are Epson's ESC/POS commands as its command reference
// gives them.
namespace ostrel {

namespace {

    constexpr char kEposNamespace[] = "http://www.epson-pos.com/schemas/2011/03/epos-print";
    constexpr char ESC = 0x1B, GS = 0x1D, FS = 0x1C, DLE = 0x10;

    // Thrown inside the reader; the caller's answer is SchemaError.
    struct Refused {
        std::string why;
    };

    [[noreturn]] void Refuse(std::string why) { throw Refused { std::move(why) }; }

    [[noreturn]] void NotWellFormed(const QXmlStreamReader& xml)
    {
        Refuse("not well-formed XML at line " + std::to_string(xml.lineNumber()) + ": "
            + QuotedForMessage(xml.errorString().toStdString()));
    }

    std::string Word(int n)
    {
        return { static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF) };
    }

    // A command with a two-byte count before its parameters: GS ( k, GS ( L...
    std::string Counted(const char* prefix, const std::string& parameters)
    {
        return std::string(prefix) + Word(static_cast<int>(parameters.size())) + parameters;
    }

    struct Choice {
        const char* name;
        int value;
    };

    class Element {
    public:
        Element(const QXmlStreamReader& xml, std::string name)
            : name_(std::move(name))
        {
            for (const QXmlStreamAttribute& a : xml.attributes()) {
                // Attributes of other vocabularies (xml:space, xsi:...) are not ours to judge.
                if (!a.namespaceUri().isEmpty()
                    && a.namespaceUri() != QLatin1String(kEposNamespace))
                    continue;
                attributes_.emplace_back(
                    a.name().toString().toStdString(), a.value().toString().toStdString());
            }
        }
        const std::string& name() const { return name_; }

        // Every attribute must be one of these.
        void allow(std::initializer_list<const char*> names) const
        {
            for (const auto& [name, value] : attributes_)
                if (std::none_of(
                        names.begin(), names.end(), [&](const char* n) { return name == n; }))
                    Refuse("<" + name_ + "> has no attribute " + QuotedForMessage(name));
        }
        const std::string* find(const char* name) const
        {
            for (const auto& [n, value] : attributes_)
                if (n == name)
                    return &value;
            return nullptr;
        }
        bool has(const char* name) const { return find(name) != nullptr; }

        long long number(const char* name, long long low, long long high, long long otherwise) const
        {
            const std::string* text = find(name);
            if (!text)
                return otherwise;
            long long value = 0;
            bool digits = !text->empty() && text->size() <= 12;
            std::size_t at = 0;
            const bool negative = digits && (*text)[0] == '-';
            if (negative)
                at = 1;
            if (at == text->size())
                digits = false;
            for (; digits && at < text->size(); ++at) {
                if ((*text)[at] < '0' || (*text)[at] > '9')
                    digits = false;
                else
                    value = value * 10 + ((*text)[at] - '0');
            }
            if (negative)
                value = -value;
            if (!digits || value < low || value > high)
                Refuse("<" + name_ + " " + name + "=\"" + QuotedForMessage(*text)
                    + "\">: not a number from " + std::to_string(low) + " to "
                    + std::to_string(high));
            return value;
        }
        // xs:boolean
        std::optional<bool> flag(const char* name) const
        {
            const std::string* text = find(name);
            if (!text)
                return std::nullopt;
            if (*text == "true" || *text == "1")
                return true;
            if (*text == "false" || *text == "0")
                return false;
            Refuse("<" + name_ + " " + name + "=\"" + QuotedForMessage(*text)
                + "\">: not true or false");
        }
        std::optional<int> choice(const char* name, std::initializer_list<Choice> choices) const
        {
            const std::string* text = find(name);
            if (!text)
                return std::nullopt;
            for (const Choice& c : choices)
                if (*text == c.name)
                    return c.value;
            std::string names;
            for (const Choice& c : choices)
                names += std::string(names.empty() ? "" : ", ") + c.name;
            Refuse("<" + name_ + " " + name + "=\"" + QuotedForMessage(*text) + "\">: not one of "
                + names);
        }

    private:
        std::string name_;
        std::vector<std::pair<std::string, std::string>> attributes_;
    };

    // Where each character beyond ASCII is found among the model's code pages:
    // the first page (in the order Epson's drivers prefer) that has it.
    class PageFinder {
    public:
        explicit PageFinder(const receipt::PrinterProfile& profile)
        {
            std::vector<int> order;
            for (int n : { 0, 16, 19, 2, 17, 18 })
                if (profile.codePages.count(n))
                    order.push_back(n);
            for (const auto& [n, name] : profile.codePages)
                if (std::find(order.begin(), order.end(), n) == order.end())
                    order.push_back(n);
            receipt::CharacterTables tables;
            tables.setPages(profile.codePages);
            for (int n : order) {
                if (!tables.selectTable(n))
                    continue;
                for (int b = 0x80; b < 0x100; ++b) {
                    const char32_t code = tables.decode(static_cast<unsigned char>(b));
                    if (code >= 0x80)
                        found_.emplace(code, std::make_pair(n, static_cast<unsigned char>(b)));
                }
            }
        }
        const std::pair<int, unsigned char>* find(char32_t code) const
        {
            auto at = found_.find(code);
            return at == found_.end() ? nullptr : &at->second;
        }

    private:
        std::map<char32_t, std::pair<int, unsigned char>> found_;
    };

    const PageFinder& PagesOf(const receipt::PrinterProfile& profile)
    {
        static std::mutex lock;
        static std::map<const receipt::PrinterProfile*, std::unique_ptr<PageFinder>> finders;
        std::lock_guard<std::mutex> hold(lock);
        auto& finder = finders[&profile];
        if (!finder)
            finder = std::make_unique<PageFinder>(profile);
        return *finder;
    }

    // A 1-bit raster, rows of whole bytes, as the printer's graphics take it.
    struct Raster {
        int width = 0, height = 0;
        std::string bits;
        int rowBytes() const { return (width + 7) / 8; }
        void set(int x, int y)
        {
            if (x < 0 || y < 0 || x >= width || y >= height)
                return;
            bits[static_cast<std::size_t>(y) * rowBytes() + x / 8]
                |= static_cast<char>(0x80 >> (x % 8));
        }
    };

    Raster Blank(int width, int height)
    {
        Raster r;
        r.width = width;
        r.height = height;
        r.bits.assign(static_cast<std::size_t>(r.rowBytes()) * height, '\0');
        return r;
    }

    // Ruled lines: thin, medium and thick are 1, 2 and 3 dots; a double one is
    // two such lines with their width between them.
    const std::initializer_list<Choice> kLineStyles = { { "thin", 1 }, { "medium", 2 },
        { "thick", 3 }, { "thin_double", 11 }, { "medium_double", 12 }, { "thick_double", 13 } };
    int LineDots(int style) { return style % 10; }
    bool LineDouble(int style) { return style > 10; }
    int LineSpan(int style) { return LineDouble(style) ? 3 * LineDots(style) : LineDots(style); }

    class Translator {
    public:
        Translator(QXmlStreamReader& xml, const receipt::PrinterProfile& profile)
            : xml_(xml)
            , profile_(profile)
            , pages_(PagesOf(profile))
        {
        }

        // At the <epos-print> start tag; returns at its end tag.
        void run(int depth)
        {
            Element root(xml_, "epos-print");
            root.allow({ "force" });
            root.flag("force");
            children(depth, false);
        }
        std::string take() { return std::move(out_); }
        bool statusOnly() const { return elements_ == 0; }

    private:
        void children(int depth, bool inPage)
        {
            while (!xml_.atEnd()) {
                switch (xml_.readNext()) {
                case QXmlStreamReader::StartElement:
                    if (depth + 1 > kEposMaxDepth)
                        Refuse("elements nested deeper than " + std::to_string(kEposMaxDepth));
                    if (xml_.namespaceUri() != QLatin1String(kEposNamespace))
                        Refuse("<" + QuotedForMessage(xml_.qualifiedName().toString().toStdString())
                            + "> is not of the ePOS-Print namespace");
                    ++elements_;
                    element(depth + 1, inPage);
                    // Lines and rectangles are a few bytes of XML and many of raster.
                    if (static_cast<long long>(out_.size()) > kEposMaxCommandBytes)
                        Refuse("the document makes more than "
                            + std::to_string(kEposMaxCommandBytes) + " bytes of commands");
                    break;
                case QXmlStreamReader::EndElement:
                    return;
                case QXmlStreamReader::Characters:
                    if (!xml_.isWhitespace())
                        Refuse("text outside any <text> element");
                    break;
                case QXmlStreamReader::DTD:
                    Refuse("a DOCTYPE is refused");
                case QXmlStreamReader::EntityReference:
                    Refuse("an entity reference is refused");
                default:
                    break;
                }
            }
        }

        // The text of an element that holds nothing else.
        QString content()
        {
            const std::string name = xml_.name().toString().toStdString();
            QString text = xml_.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
            if (xml_.error() == QXmlStreamReader::UnexpectedElementError)
                Refuse("<" + name + "> holds an element");
            if (xml_.hasError())
                NotWellFormed(xml_);
            return text;
        }

        void element(int depth, bool inPage)
        {
            const std::string name = xml_.name().toString().toStdString();
            const Element e(xml_, name);
            const bool pageOnly = name == "area" || name == "direction" || name == "position"
                || name == "line" || name == "rectangle";
            if (pageOnly && !inPage)
                Refuse("<" + name + "> belongs inside <page>");
            if (name == "text")
                return text(e);
            if (name == "feed")
                return feed(e);
            if (name == "image")
                return image(e);
            if (name == "logo")
                return logo(e);
            if (name == "barcode")
                return barcode(e);
            if (name == "symbol")
                return symbol(e);
            if (name == "hline")
                return hline(e);
            if (name == "vline-begin" || name == "vline-end")
                return vline(e);
            if (name == "page") {
                if (inPage)
                    Refuse("<page> inside <page>");
                e.allow({});
                out_ += std::string { ESC, 'L' };
                page_ = true;
                children(depth, true);
                page_ = false;
                out_ += '\x0c'; // FF: print the page and return to standard mode
                return;
            }
            if (name == "area")
                return area(e);
            if (name == "direction") {
                e.allow({ "dir" });
                const int dir = e.choice("dir",
                                     { { "left_to_right", 0 }, { "bottom_to_top", 1 },
                                         { "right_to_left", 2 }, { "top_to_bottom", 3 } })
                                    .value_or(0);
                out_ += std::string { ESC, 'T', static_cast<char>(dir) };
                return empty(e);
            }
            if (name == "position") {
                e.allow({ "x", "y" });
                out_ += std::string { ESC, '$' }
                    + Word(static_cast<int>(e.number("x", 0, 65535, 0)));
                out_
                    += std::string { GS, '$' } + Word(static_cast<int>(e.number("y", 0, 65535, 0)));
                return empty(e);
            }
            if (name == "line" || name == "rectangle")
                return pageLine(e);
            if (name == "cut") {
                e.allow({ "type" });
                // GS V: 1 partial and 0 full cut where the paper is; 66 and 65
                // feed to the cutter first; 104 and 103 cut once the paper
                // reaches the cutter (the reserve cut).
                const int type = e.choice("type",
                                      { { "no_feed", 1 }, { "feed", 66 }, { "reserve", 104 },
                                          { "full_cut_no_feed", 0 }, { "full_cut_feed", 65 },
                                          { "full_cut_reserve", 103 } })
                                     .value_or(66);
                out_ += std::string { GS, 'V', static_cast<char>(type) };
                if (type >= 65)
                    out_ += '\0';
                return empty(e);
            }
            if (name == "pulse") {
                e.allow({ "drawer", "time" });
                // DLE DC4 1 m t: pin 2 or 5, on t x 100 ms.
                const int pin
                    = e.choice("drawer", { { "drawer_1", 0 }, { "drawer_2", 1 } }).value_or(0);
                const int time = e.choice("time",
                                      { { "pulse_100", 1 }, { "pulse_200", 2 }, { "pulse_300", 3 },
                                          { "pulse_400", 4 }, { "pulse_500", 5 } })
                                     .value_or(1);
                out_ += std::string { DLE, 0x14, 1, static_cast<char>(pin),
                    static_cast<char>(time) };
                return empty(e);
            }
            if (name == "sound")
                return sound(e);
            if (name == "layout") {
                // Label and black mark paper: the stand-in prints on a plain roll.
                e.allow({ "type", "width", "height", "margin-top", "margin-bottom", "offset-cut",
                    "offset-label" });
                e.choice("type",
                    { { "receipt", 0 }, { "receipt_bm", 1 }, { "label", 2 }, { "label_bm", 3 } });
                for (const char* n : { "width", "height" })
                    e.number(n, 0, 65535, 0);
                for (const char* n :
                    { "margin-top", "margin-bottom", "offset-cut", "offset-label" })
                    e.number(n, -32768, 32767, 0);
                return empty(e);
            }
            if (name == "recovery") {
                e.allow({});
                out_ += std::string { DLE, 0x05, 1 }; // DLE ENQ 1: recover and go on printing
                return empty(e);
            }
            if (name == "reset") {
                e.allow({});
                out_ += std::string { ESC, '@' };
                return empty(e);
            }
            if (name == "rotate-begin" || name == "rotate-end") {
                e.allow({});
                out_ += std::string { ESC, 'V', static_cast<char>(name == "rotate-begin" ? 1 : 0) };
                return empty(e);
            }
            if (name == "command")
                return command(e);
            Refuse("unknown element <" + QuotedForMessage(name) + ">");
        }

        // An element that holds nothing.
        void empty(const Element& e)
        {
            const QString rest = content();
            if (!rest.trimmed().isEmpty())
                Refuse("<" + e.name() + "> holds text");
        }

        void text(const Element& e)
        {
            e.allow({ "lang", "align", "font", "smooth", "dw", "dh", "width", "height", "reverse",
                "ul", "em", "color", "x", "y", "linespc", "rotate" });
            if (const std::string* lang = e.find("lang")) {
                // Any language tag Epson's SDK passes on; characters beyond the
                // model's code pages print as "?".
                const bool tag = !lang->empty() && lang->size() <= 16
                    && std::all_of(lang->begin(), lang->end(), [](char c) {
                           return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-';
                       });
                if (!tag)
                    Refuse("<text lang=\"" + QuotedForMessage(*lang) + "\">: not a language");
            }
            if (auto align
                = e.choice("align", { { "left", 0 }, { "center", 1 }, { "right", 2 } })) {
                align_ = *align;
                out_ += std::string { ESC, 'a', static_cast<char>(align_) };
            }
            if (auto font = e.choice("font",
                    { { "font_a", 0 }, { "font_b", 1 }, { "font_c", 2 }, { "font_d", 3 },
                        { "font_e", 4 }, { "special_a", 97 }, { "special_b", 98 } }))
                out_ += std::string { ESC, 'M', static_cast<char>(*font) };
            if (auto smooth = e.flag("smooth"))
                out_ += std::string { GS, 'b', static_cast<char>(*smooth) };
            int width = width_, height = height_;
            if (auto dw = e.flag("dw"))
                width = *dw ? 2 : 1;
            if (auto dh = e.flag("dh"))
                height = *dh ? 2 : 1;
            width = static_cast<int>(e.number("width", 1, 8, width));
            height = static_cast<int>(e.number("height", 1, 8, height));
            if (e.has("dw") || e.has("dh") || e.has("width") || e.has("height")) {
                width_ = width;
                height_ = height;
                out_ += std::string { GS, '!',
                    static_cast<char>(((width - 1) << 4) | (height - 1)) };
            }
            if (auto reverse = e.flag("reverse"))
                out_ += std::string { GS, 'B', static_cast<char>(*reverse) };
            if (auto ul = e.flag("ul"))
                out_ += std::string { ESC, '-', static_cast<char>(*ul) };
            if (auto em = e.flag("em"))
                out_ += std::string { ESC, 'E', static_cast<char>(*em) };
            // ESC r: the first or second colour; a printer of one colour prints both black.
            if (auto color = e.choice("color",
                    { { "none", 0 }, { "color_1", 0 }, { "color_2", 1 }, { "color_3", 1 },
                        { "color_4", 1 } }))
                out_ += std::string { ESC, 'r', static_cast<char>(*color) };
            if (e.has("x"))
                out_ += std::string { ESC, '$' }
                    + Word(static_cast<int>(e.number("x", 0, 65535, 0)));
            if (e.has("y")) {
                const int y = static_cast<int>(e.number("y", 0, 65535, 0));
                if (page_)
                    out_ += std::string { GS, '$' }
                        + Word(y); // page mode only, as Epson's reference says
            }
            if (e.has("linespc"))
                out_
                    += std::string { ESC, '3', static_cast<char>(e.number("linespc", 0, 255, 30)) };
            if (auto rotate = e.flag("rotate"))
                out_ += std::string { ESC, '{', static_cast<char>(*rotate) };
            characters(content());
        }

        void characters(const QString& text)
        {
            for (char32_t code : text.toUcs4()) {
                if (code == '\n')
                    out_ += '\n';
                else if (code == '\t')
                    out_ += '\t';
                else if (code < 0x20 || code == 0x7F)
                    continue; // control bytes are <command>'s
                else if (code < 0x80)
                    out_ += static_cast<char>(code);
                else if (const auto* at = pages_.find(code)) {
                    if (codePage_ != at->first) {
                        codePage_ = at->first;
                        out_ += std::string { ESC, 't', static_cast<char>(codePage_) };
                    }
                    out_ += static_cast<char>(at->second);
                } else {
                    out_ += '?';
                }
            }
        }

        void feed(const Element& e)
        {
            e.allow({ "unit", "line", "linespc", "pos" });
            if (e.has("linespc"))
                out_
                    += std::string { ESC, '3', static_cast<char>(e.number("linespc", 0, 255, 30)) };
            if (e.has("unit"))
                out_ += std::string { ESC, 'J', static_cast<char>(e.number("unit", 0, 255, 0)) };
            else if (e.has("line"))
                out_ += std::string { ESC, 'd', static_cast<char>(e.number("line", 0, 255, 0)) };
            else if (auto pos = e.choice("pos",
                         { { "peeling", 0x4130 }, { "cutting", 0x4230 }, { "current_tof", 0x4332 },
                             { "next_tof", 0x4331 } }))
                // FS ( L fn m: feed to the label peeling, cutting or print start position.
                out_ += std::string { FS, '(', 'L', 2, 0, static_cast<char>(*pos >> 8),
                    static_cast<char>(*pos & 0xFF) };
            else
                out_ += '\n';
            empty(e);
        }

        QByteArray base64(const QString& text, const std::string& what)
        {
            QByteArray compact;
            compact.reserve(text.size());
            for (QChar c : text)
                if (!c.isSpace())
                    compact += static_cast<char>(c.unicode() < 0x80 ? c.unicode() : '!');
            auto decoded
                = QByteArray::fromBase64Encoding(compact, QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded)
                Refuse(what + ": its data is not base64");
            return *decoded;
        }

        // Prints a raster: GS ( L (or GS 8 L when larger) stores it in the print
        // buffer in the colour asked, and GS ( L fn 50 prints it.
        void graphics(const Raster& r, int color)
        {
            std::string p { 48, 112, 48, 1, 1, static_cast<char>(color) };
            p += Word(r.width) + Word(r.height) + r.bits;
            if (p.size() <= 65535) {
                out_ += Counted("\x1d(L", p);
            } else {
                const auto n = static_cast<unsigned long>(p.size());
                out_ += std::string { GS, '8', 'L', static_cast<char>(n & 0xFF),
                    static_cast<char>((n >> 8) & 0xFF), static_cast<char>((n >> 16) & 0xFF),
                    static_cast<char>((n >> 24) & 0xFF) }
                    + p;
            }
            out_ += Counted("\x1d(L", std::string { 48, 50 });
        }

        void image(const Element& e)
        {
            e.allow({ "width", "height", "color", "mode", "align" });
            if (!e.has("width") || !e.has("height"))
                Refuse("<image> needs width and height");
            const int width = static_cast<int>(e.number("width", 1, 65535, 0));
            const int height = static_cast<int>(e.number("height", 1, 65535, 0));
            const int color = e.choice("color",
                                   { { "none", 0 }, { "color_1", 49 }, { "color_2", 50 },
                                       { "color_3", 51 }, { "color_4", 52 } })
                                  .value_or(49);
            const bool gray = e.choice("mode", { { "mono", 0 }, { "gray16", 1 } }).value_or(0) == 1;
            const auto align
                = e.choice("align", { { "left", 0 }, { "center", 1 }, { "right", 2 } });
            if (width > profile_.printDots)
                Refuse("<image> is " + std::to_string(width) + " dots wide, wider than the paper's "
                    + std::to_string(profile_.printDots));
            const QByteArray data = base64(content(), "<image>");
            const long long rowBytes = gray ? (width + 1) / 2 : (width + 7) / 8;
            if (data.size() != rowBytes * height)
                Refuse("<image> of " + std::to_string(width) + " x " + std::to_string(height)
                    + " dots takes " + std::to_string(rowBytes * height) + " bytes, not "
                    + std::to_string(data.size()));
            if (color == 0)
                return; // no colour: nothing printed
            Raster r = Blank(width, height);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    const auto byte = static_cast<unsigned char>(
                        data[static_cast<qsizetype>(y * rowBytes + (gray ? x / 2 : x / 8))]);
                    // Sixteen tones, four bits a dot: the darker half prints.
                    const bool dot = gray ? ((x % 2 ? byte & 0x0F : byte >> 4) >= 8)
                                          : (byte & (0x80 >> (x % 8))) != 0;
                    if (dot)
                        r.set(x, y);
                }
            if (align) {
                align_ = *align;
                out_ += std::string { ESC, 'a', static_cast<char>(align_) };
            }
            graphics(r, color);
        }

        void logo(const Element& e)
        {
            e.allow({ "key1", "key2" });
            if (!e.has("key1") || !e.has("key2"))
                Refuse("<logo> needs key1 and key2");
            const int key1 = static_cast<int>(e.number("key1", 0, 255, 0));
            const int key2 = static_cast<int>(e.number("key2", 0, 255, 0));
            // GS ( L fn 69: print the NV graphics of this key at its size.
            out_ += Counted("\x1d(L",
                std::string { 48, 69, static_cast<char>(key1), static_cast<char>(key2), 1, 1 });
            empty(e);
        }

        // Barcode and symbol data: "\xnn" is the byte nn, "\\" a backslash, as
        // Epson's SDK escapes control bytes and bytes above 0x7E.
        std::string escapedData(const QString& text, const std::string& what)
        {
            const std::string utf8 = text.toStdString();
            std::string bytes;
            for (std::size_t i = 0; i < utf8.size(); ++i) {
                if (utf8[i] != '\\') {
                    bytes += utf8[i];
                    continue;
                }
                if (i + 1 < utf8.size() && utf8[i + 1] == '\\') {
                    bytes += '\\';
                    ++i;
                    continue;
                }
                const auto hex = [](char c) {
                    return c >= '0' && c <= '9' ? c - '0'
                        : c >= 'a' && c <= 'f'  ? c - 'a' + 10
                        : c >= 'A' && c <= 'F'  ? c - 'A' + 10
                                                : -1;
                };
                if (i + 3 < utf8.size() && utf8[i + 1] == 'x' && hex(utf8[i + 2]) >= 0
                    && hex(utf8[i + 3]) >= 0) {
                    bytes += static_cast<char>(hex(utf8[i + 2]) * 16 + hex(utf8[i + 3]));
                    i += 3;
                    continue;
                }
                Refuse(what + ": a backslash that is neither \\\\ nor \\xnn");
            }
            return bytes;
        }

        void barcode(const Element& e)
        {
            e.allow({ "type", "hri", "font", "width", "height" });
            if (!e.has("type"))
                Refuse("<barcode> needs a type");
            // GS k m n data, m 65 to 79.
            const int type = *e.choice("type",
                { { "upc_a", 65 }, { "upc_e", 66 }, { "ean13", 67 }, { "jan13", 67 },
                    { "ean8", 68 }, { "jan8", 68 }, { "code39", 69 }, { "itf", 70 },
                    { "codabar", 71 }, { "code93", 72 }, { "code128", 73 }, { "gs1_128", 74 },
                    { "gs1_databar_omnidirectional", 75 }, { "gs1_databar_truncated", 76 },
                    { "gs1_databar_limited", 77 }, { "gs1_databar_expanded", 78 },
                    { "code128_auto", 79 } });
            if (auto hri
                = e.choice("hri", { { "none", 0 }, { "above", 1 }, { "below", 2 }, { "both", 3 } }))
                out_ += std::string { GS, 'H', static_cast<char>(*hri) };
            if (auto font = e.choice("font",
                    { { "font_a", 0 }, { "font_b", 1 }, { "font_c", 2 }, { "font_d", 3 },
                        { "font_e", 4 }, { "special_a", 97 }, { "special_b", 98 } }))
                out_ += std::string { GS, 'f', static_cast<char>(*font) };
            if (e.has("width"))
                out_ += std::string { GS, 'w', static_cast<char>(e.number("width", 2, 6, 3)) };
            if (e.has("height"))
                out_ += std::string { GS, 'h', static_cast<char>(e.number("height", 1, 255, 162)) };
            const std::string data = escapedData(content(), "<barcode>");
            if (data.empty() || data.size() > 255)
                Refuse("<barcode> holds 1 to 255 bytes, not " + std::to_string(data.size()));
            out_ += std::string { GS, 'k', static_cast<char>(type), static_cast<char>(data.size()) }
                + data;
        }

        void twoD(int cn, int fn, const std::string& parameters)
        {
            out_ += Counted("\x1d(k",
                std::string { static_cast<char>(cn), static_cast<char>(fn) } + parameters);
        }

        void symbol(const Element& e)
        {
            e.allow({ "type", "level", "width", "height", "size" });
            if (!e.has("type"))
                Refuse("<symbol> needs a type");
            enum {
                Qr1,
                Qr2,
                QrMicro,
                Pdf,
                PdfTruncated,
                Maxi,
                DataBar,
                Aztec,
                AztecCompact,
                Matrix
            };
            const std::string type = *e.find("type");
            const int kind = *e.choice("type",
                { { "qrcode_model_1", Qr1 }, { "qrcode_model_2", Qr2 }, { "qrcode_micro", QrMicro },
                    { "pdf417_standard", Pdf }, { "pdf417_truncated", PdfTruncated },
                    { "maxicode_mode_2", Maxi }, { "maxicode_mode_3", Maxi },
                    { "maxicode_mode_4", Maxi }, { "maxicode_mode_5", Maxi },
                    { "maxicode_mode_6", Maxi }, { "gs1_databar_stacked", DataBar },
                    { "gs1_databar_stacked_omnidirectional", DataBar },
                    { "gs1_databar_expanded_stacked", DataBar }, { "azteccode_fullrange", Aztec },
                    { "azteccode_compact", AztecCompact }, { "datamatrix_square", Matrix },
                    { "datamatrix_rectangle_8", Matrix }, { "datamatrix_rectangle_12", Matrix },
                    { "datamatrix_rectangle_16", Matrix } });
            // level: a name, or for Aztec Code a percentage.
            const std::string* levelText = e.find("level");
            int level = -1;
            if (levelText && *levelText != "default") {
                static const char* names[]
                    = { "level_0", "level_1", "level_2", "level_3", "level_4", "level_5", "level_6",
                          "level_7", "level_8", "level_l", "level_m", "level_q", "level_h" };
                for (int i = 0; i < 13; ++i)
                    if (*levelText == names[i])
                        level = i;
                if (level < 0)
                    level = 100 + static_cast<int>(e.number("level", 0, 255, 0));
            }
            const int width = static_cast<int>(e.number("width", 0, 255, 0));
            const int height = static_cast<int>(e.number("height", 0, 255, 0));
            const int size = static_cast<int>(e.number("size", 0, 65535, 0));
            const std::string data = escapedData(content(), "<symbol>");
            if (data.empty() || data.size() > 7089)
                Refuse("<symbol> holds 1 to 7089 bytes, not " + std::to_string(data.size()));
            const auto byte = [](int n) { return std::string(1, static_cast<char>(n)); };
            const std::string store = std::string { 48 } + data;
            switch (kind) {
            case Qr1:
            case Qr2:
            case QrMicro: {
                twoD(49, 65,
                    std::string { static_cast<char>(kind == Qr1 ? 49
                                          : kind == Qr2         ? 50
                                                                : 51),
                        0 });
                if (width)
                    twoD(49, 67, byte(std::clamp(width, 1, 16)));
                if (level >= 9 && level <= 12)
                    twoD(49, 69, byte(48 + level - 9));
                else if (level >= 0)
                    Refuse("<symbol level=\"" + QuotedForMessage(*levelText)
                        + "\"> is not a QR Code level");
                twoD(49, 80, store);
                twoD(49, 81, byte(48));
                break;
            }
            case Pdf:
            case PdfTruncated:
                twoD(48, 65, byte(std::min(size, 30)));
                if (width)
                    twoD(48, 67, byte(std::clamp(width, 2, 8)));
                if (height)
                    twoD(48, 68, byte(std::clamp(height, 2, 8)));
                if (level >= 0 && level <= 8)
                    twoD(48, 69, std::string { 48, static_cast<char>(48 + level) });
                else if (level >= 0)
                    Refuse("<symbol level=\"" + QuotedForMessage(*levelText)
                        + "\"> is not a PDF417 level");
                twoD(48, 70, byte(kind == PdfTruncated ? 1 : 0));
                twoD(48, 80, store);
                twoD(48, 81, byte(48));
                break;
            case Maxi:
                twoD(50, 65, byte(48 + (type.back() - '0')));
                twoD(50, 80, store);
                twoD(50, 81, byte(48));
                break;
            case DataBar: {
                if (width)
                    twoD(51, 67, byte(std::clamp(width, 2, 8)));
                if (size)
                    twoD(51, 71, Word(size));
                const int symbolType = type == "gs1_databar_stacked" ? 72
                    : type == "gs1_databar_stacked_omnidirectional"  ? 73
                                                                     : 76;
                twoD(51, 80, std::string { 48, static_cast<char>(symbolType) } + data);
                twoD(51, 81, byte(48));
                break;
            }
            case Aztec:
            case AztecCompact:
                twoD(53, 66, std::string { static_cast<char>(kind == AztecCompact ? 1 : 0), 0 });
                if (width)
                    twoD(53, 67, byte(std::clamp(width, 2, 16)));
                if (level >= 100)
                    twoD(53, 69, byte(std::clamp(level - 100, 5, 95)));
                twoD(53, 80, store);
                twoD(53, 81, byte(48));
                break;
            case Matrix: {
                const int rows = type == "datamatrix_rectangle_8" ? 8
                    : type == "datamatrix_rectangle_12"           ? 12
                    : type == "datamatrix_rectangle_16"           ? 16
                                                                  : 0;
                twoD(54, 66,
                    std::string { static_cast<char>(rows ? 1 : 0), static_cast<char>(rows), 0 });
                if (width)
                    twoD(54, 67, byte(std::clamp(width, 2, 16)));
                twoD(54, 80, store);
                twoD(54, 81, byte(48));
                break;
            }
            }
        }

        // A ruled line across the paper, drawn as a raster the width of the line.
        void hline(const Element& e)
        {
            e.allow({ "x1", "x2", "style" });
            const int x1 = static_cast<int>(e.number("x1", 0, 65535, 0));
            const int x2 = static_cast<int>(e.number("x2", 0, 65535, 0));
            const int style = e.choice("style", kLineStyles).value_or(1);
            const int from = std::min(x1, x2), to = std::max(x1, x2);
            if (to >= profile_.printDots)
                Refuse("<hline> reaches dot " + std::to_string(to) + ", past the paper's "
                    + std::to_string(profile_.printDots));
            Raster r = Blank(to + 1, LineSpan(style));
            for (int y = 0; y < r.height; ++y)
                if (!LineDouble(style) || y < LineDots(style) || y >= 2 * LineDots(style))
                    for (int x = from; x <= to; ++x)
                        r.set(x, y);
            // The line starts at the left edge; the text's alignment comes back after it.
            out_ += std::string { ESC, 'a', 0 };
            graphics(r, 49);
            if (align_)
                out_ += std::string { ESC, 'a', static_cast<char>(align_) };
            empty(e);
        }

        // Vertical ruled lines run beside the lines printed between their begin
        // and end, which takes the printer's own line drawing; the stand-in
        // checks them and draws nothing.
        void vline(const Element& e)
        {
            e.allow({ "x", "style" });
            const int x = static_cast<int>(e.number("x", 0, 65535, 0));
            e.choice("style", kLineStyles);
            if (x >= profile_.printDots)
                Refuse("<" + e.name() + "> at dot " + std::to_string(x) + ", past the paper's "
                    + std::to_string(profile_.printDots));
            empty(e);
        }

        void area(const Element& e)
        {
            e.allow({ "x", "y", "width", "height" });
            for (const char* n : { "x", "y", "width", "height" })
                if (!e.has(n))
                    Refuse(std::string("<area> needs ") + n);
            const int x = static_cast<int>(e.number("x", 0, 65535, 0)),
                      y = static_cast<int>(e.number("y", 0, 65535, 0));
            const int width = static_cast<int>(e.number("width", 1, 65535, 0));
            const int height = static_cast<int>(e.number("height", 1, 65535, 0));
            out_ += std::string { ESC, 'W' } + Word(x) + Word(y) + Word(width) + Word(height);
            empty(e);
        }

        // A line or rectangle on the page, drawn as a raster whose lower left
        // corner is placed at the position, as page mode places graphics.
        void pageLine(const Element& e)
        {
            e.allow({ "x1", "y1", "x2", "y2", "style" });
            const int x1 = static_cast<int>(e.number("x1", 0, 65535, 0)),
                      y1 = static_cast<int>(e.number("y1", 0, 65535, 0));
            const int x2 = static_cast<int>(e.number("x2", 0, 65535, 0)),
                      y2 = static_cast<int>(e.number("y2", 0, 65535, 0));
            const int style = e.choice("style", kLineStyles).value_or(1);
            const int left = std::min(x1, x2), top = std::min(y1, y2);
            const int span = LineSpan(style);
            const int width = std::abs(x2 - x1) + span, height = std::abs(y2 - y1) + span;
            if (width > profile_.printDots || static_cast<long long>(width) * height > (4LL << 20))
                Refuse("<" + e.name() + "> of " + std::to_string(width) + " x "
                    + std::to_string(height) + " dots is larger than the paper");
            Raster r = Blank(width, height);
            const auto stroke
                = [&](int ax, int ay, int bx, int by) { // a horizontal or vertical stroke
                      for (int s = 0; s < span; ++s) {
                          if (LineDouble(style) && s >= LineDots(style) && s < 2 * LineDots(style))
                              continue;
                          if (ay == by)
                              for (int x = ax; x <= bx + span - 1; ++x)
                                  r.set(x, ay + s);
                          else
                              for (int y = ay; y <= by + span - 1; ++y)
                                  r.set(ax + s, y);
                      }
                  };
            if (e.name() == "rectangle") {
                stroke(0, 0, width - span, 0);
                stroke(0, height - span, width - span, height - span);
                stroke(0, 0, 0, height - span);
                stroke(width - span, 0, width - span, height - span);
            } else if (y1 == y2) {
                stroke(0, 0, width - span, 0);
            } else if (x1 == x2) {
                stroke(0, 0, 0, height - span);
            } else {
                // A slanting line: a dot of the line's width at each step.
                const int steps = std::max(width, height);
                for (int i = 0; i <= steps; ++i) {
                    const int x = (x1 <= x2 ? 0 : width - span) + (x2 - x1) * i / steps;
                    const int y = (y1 <= y2 ? 0 : height - span) + (y2 - y1) * i / steps;
                    for (int dy = 0; dy < span; ++dy)
                        for (int dx = 0; dx < span; ++dx)
                            r.set(x + dx, y + dy);
                }
            }
            out_ += std::string { ESC, '$' } + Word(left) + std::string { GS, '$' }
                + Word(top + height);
            graphics(r, 49);
            empty(e);
        }

        void sound(const Element& e)
        {
            e.allow({ "pattern", "repeat", "cycle" });
            // ESC ( A fn 48 n c t: sound n, c times, every t x 100 ms. Epson
            // leaves the sounds n names to each model; A to E are taken as 1 to 5,
            // 0 to 10 as 48 to 58, and "none" as a sound that does not beep.
            const int pattern
                = e.choice("pattern",
                       { { "none", 0 }, { "pattern_a", 1 }, { "pattern_b", 2 }, { "pattern_c", 3 },
                           { "pattern_d", 4 }, { "pattern_e", 5 }, { "error", 6 },
                           { "paper_end", 7 }, { "pattern_0", 48 }, { "pattern_1", 49 },
                           { "pattern_2", 50 }, { "pattern_3", 51 }, { "pattern_4", 52 },
                           { "pattern_5", 53 }, { "pattern_6", 54 }, { "pattern_7", 55 },
                           { "pattern_8", 56 }, { "pattern_9", 57 }, { "pattern_10", 58 } })
                      .value_or(1);
            const int repeat = static_cast<int>(e.number("repeat", 0, 255, 1));
            const int cycle = static_cast<int>(e.number("cycle", 0, 65535, 1000));
            out_ += Counted("\x1b(A",
                std::string { 48, static_cast<char>(pattern),
                    static_cast<char>(std::max(1, repeat)),
                    static_cast<char>(std::clamp(cycle / 100, 1, 255)) });
            empty(e);
        }

        void command(const Element& e)
        {
            e.allow({});
            const QString text = content();
            std::string hex;
            for (QChar c : text)
                if (!c.isSpace())
                    hex += static_cast<char>(c.unicode() < 0x80 ? c.unicode() : '!');
            const auto digit = [](char c) {
                return c >= '0' && c <= '9' ? c - '0'
                    : c >= 'a' && c <= 'f'  ? c - 'a' + 10
                    : c >= 'A' && c <= 'F'  ? c - 'A' + 10
                                            : -1;
            };
            if (hex.size() % 2)
                Refuse("<command> holds an odd number of hex digits");
            for (std::size_t i = 0; i < hex.size(); i += 2) {
                if (digit(hex[i]) < 0 || digit(hex[i + 1]) < 0)
                    Refuse("<command> holds a character that is not hex");
                out_ += static_cast<char>(digit(hex[i]) * 16 + digit(hex[i + 1]));
            }
        }

        QXmlStreamReader& xml_;
        const receipt::PrinterProfile& profile_;
        const PageFinder& pages_;
        std::string out_;
        long long elements_ = 0;
        bool page_ = false;
        int codePage_ = -1; // the code page ESC t last chose; none yet
        int align_ = 0;
        int width_ = 1, height_ = 1;
    };

} // namespace

EposPrintRequest ReadEposPrintRequest(const QByteArray& body, std::string& error)
{
    return ReadEposPrintRequest(body, error, "generic");
}

EposPrintRequest ReadEposPrintRequest(
    const QByteArray& body, std::string& error, const std::string& printer)
{
    error.clear();
    if (body.size() > kEposMaxDocumentBytes) {
        error = "the document is larger than " + std::to_string(kEposMaxDocumentBytes) + " bytes";
        return {};
    }
    const receipt::PrinterProfile* profile = receipt::FindPrinterProfile(printer);
    if (!profile)
        profile = &receipt::GenericProfile();
    QXmlStreamReader xml(body);
    EposPrintRequest request;
    bool found = false;
    int depth = 0;
    try {
        while (!xml.atEnd()) {
            switch (xml.readNext()) {
            case QXmlStreamReader::DTD:
                Refuse("a DOCTYPE is refused");
            case QXmlStreamReader::EntityReference:
                Refuse("an entity reference is refused");
            case QXmlStreamReader::StartElement: {
                if (++depth > kEposMaxDepth)
                    Refuse("elements nested deeper than " + std::to_string(kEposMaxDepth));
                const QStringView name = xml.name();
                if (!found && name == QLatin1String("epos-print")
                    && xml.namespaceUri() == QLatin1String(kEposNamespace)) {
                    Translator translator(xml, *profile);
                    translator.run(depth);
                    --depth;
                    if (xml.hasError())
                        break;
                    request.commands = translator.take();
                    request.statusOnly = translator.statusOnly();
                    found = true;
                } else if (name == QLatin1String("devid") || name == QLatin1String("timeout")) {
                    // The SOAP header's and Server Direct Print's parameters.
                    const bool id = name == QLatin1String("devid");
                    const QString value
                        = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
                    --depth;
                    if (id)
                        request.devid = value.left(64).toStdString();
                    else
                        request.timeoutMs = std::clamp(value.toLongLong(), 0LL, 24LL * 3600 * 1000);
                }
                break;
            }
            case QXmlStreamReader::EndElement:
                --depth;
                break;
            default:
                break;
            }
        }
        if (xml.hasError())
            NotWellFormed(xml);
        if (!found)
            Refuse(std::string("no <epos-print> element of ") + kEposNamespace);
    } catch (const Refused& refused) {
        error = refused.why;
        return {};
    }
    return request;
}

std::uint32_t EposStatus(const PrinterState& state)
{
    // Epson's status is the automatic status back's four bytes, the first
    // lowest, its two lowest bits (always 0 there) telling no response and a
    // printed job.
    const std::string asb = AutomaticStatus(state);
    std::uint32_t status = 0;
    for (int i = 3; i >= 0; --i)
        status = (status << 8) | static_cast<unsigned char>(asb[static_cast<std::size_t>(i)]);
    return status & ~std::uint32_t { 3 };
}

std::string EposErrorCode(const PrinterState& state)
{
    if (state.coverOpen)
        return "EPTR_COVER_OPEN";
    if (state.paperOut)
        return "EPTR_REC_EMPTY";
    if (state.autocutterError)
        return "EPTR_CUTTER";
    if (state.unrecoverableError)
        return "EPTR_UNRECOVERABLE";
    if (state.recoverableError)
        return "EPTR_MECHANICAL";
    if (state.isOffline())
        return "EX_TIMEOUT"; // offline by hand or feeding: the job waits until the till gives up
    return {};
}

QByteArray EposPrintResponse(bool success, const std::string& code, std::uint32_t status)
{
    QByteArray out = "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                     "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>"
                     "<response success=\"";
    out += success ? "true" : "false";
    out += "\" code=\"";
    // Codes are this program's own words; anything else is kept out of the attribute.
    for (char c : code)
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')
            out += c;
    out += "\" status=\"" + QByteArray::number(status) + "\" battery=\"0\" xmlns=\""
        + kEposNamespace + "\"/></s:Body></s:Envelope>";
    return out;
}

} // namespace ostrel
