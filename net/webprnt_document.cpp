// Star's WebPRNT: the request elements as Star's webPRNT User's Manual and
// its SDK's StarWebPrintBuilder (1.2.0, in Star's starwebprnt-sdk 1.9.0)
// name them, each made into the Star Line mode command that both of Star's
// languages read, as Star's Line Mode and StarPRNT command references give
// them; the answer as the SDK's StarWebPrintTrader reads it.

#include "net/webprnt_document.h"

#include "printer/star_status.h"
#include "protocol/message_text.h"
#include "receipt/code_pages.h"
#include "receipt/command_text.h"

#include <QXmlStreamReader>

#include <algorithm>
#include <map>
#include <optional>
#include <stdexcept>
#include <vector>

namespace ostrel {
namespace {

    constexpr char ESC = 0x1B, GS = 0x1D, RS = 0x1E;

    // A refused document: the message says which element and why.
    struct Refused : std::runtime_error {
        using std::runtime_error::runtime_error;
    };

    // A peer's name or value in a message: shown safely, and not at any length.
    std::string Quoted(const QString& text)
    {
        constexpr qsizetype kShown = 64;
        return QuotedForMessage(text.left(kShown).toStdString())
            + (text.size() > kShown ? "..." : "");
    }

    std::string Tag(const QString& name) { return "<" + Quoted(name) + ">"; }

    // One element's attributes, each read once and checked against what the
    // element takes.
    class Attributes {
    public:
        Attributes(QString element, QXmlStreamAttributes attributes)
            : element_(std::move(element))
            , attributes_(std::move(attributes))
        {
        }

        std::optional<QString> text(const char* name) const
        {
            for (const QXmlStreamAttribute& a : attributes_)
                if (a.name() == QLatin1String(name))
                    return a.value().toString();
            return std::nullopt;
        }
        std::optional<int> number(const char* name, int low, int high) const
        {
            const auto value = text(name);
            if (!value)
                return std::nullopt;
            bool ok = false;
            const int n = value->trimmed().toInt(&ok);
            if (!ok || n < low || n > high)
                throw Refused(what(name, *value) + " is not a number from " + std::to_string(low)
                    + " to " + std::to_string(high));
            return n;
        }
        // The value's place in `names`, or `otherwise` without one.
        int choice(const char* name, const std::vector<const char*>& names, int otherwise) const
        {
            const auto value = text(name);
            if (!value)
                return otherwise;
            for (std::size_t i = 0; i < names.size(); ++i)
                if (*value == QLatin1String(names[i]))
                    return static_cast<int>(i);
            std::string list;
            for (const char* n : names)
                list += (list.empty() ? "" : ", ") + std::string(n);
            throw Refused(what(name, *value) + " is none of " + list);
        }
        std::optional<bool> flag(const char* name) const
        {
            if (!text(name))
                return std::nullopt;
            return choice(name, { "false", "true" }, 0) == 1;
        }
        std::string what(const char* name, const QString& value) const
        {
            return Tag(element_) + " " + name + "=" + Quoted(value);
        }

    private:
        QString element_;
        QXmlStreamAttributes attributes_;
    };

    // The builder writes bytes as \xNN and a backslash as \\; everything else
    // stands for itself.
    std::string Unescaped(
        const QString& text, const QString& element, std::vector<bool>* escaped = nullptr)
    {
        std::string out;
        const std::u32string chars = text.toStdU32String();
        for (std::size_t i = 0; i < chars.size(); ++i) {
            const char32_t c = chars[i];
            if (c == U'\\' && i + 1 < chars.size() && chars[i + 1] == U'\\') {
                out += '\\';
                if (escaped)
                    escaped->push_back(true);
                ++i;
                continue;
            }
            if (c == U'\\' && i + 1 < chars.size() && chars[i + 1] == U'x') {
                auto hex = [&](std::size_t at) -> int {
                    if (at >= chars.size())
                        return -1;
                    const char32_t h = chars[at];
                    return h >= U'0' && h <= U'9' ? int(h - U'0')
                        : h >= U'a' && h <= U'f'  ? int(h - U'a' + 10)
                        : h >= U'A' && h <= U'F'  ? int(h - U'A' + 10)
                                                  : -1;
                };
                const int high = hex(i + 2), low = hex(i + 3);
                if (high < 0 || low < 0)
                    throw Refused(Tag(element) + ": a \\x escape needs two hex digits after it");
                out += static_cast<char>(high * 16 + low);
                if (escaped)
                    escaped->push_back(true);
                i += 3;
                continue;
            }
            // Characters as UTF-8 here; text is written in the model's table later.
            const std::size_t before = out.size();
            receipt::AppendUtf8(out, c);
            if (escaped)
                escaped->resize(escaped->size() + (out.size() - before), false);
        }
        return out;
    }

    // Base64 as encoders write it, lines broken or not.
    QByteArray Base64(const QString& text, const QString& element)
    {
        QByteArray compact;
        compact.reserve(text.size());
        for (const QChar c : text)
            if (!c.isSpace())
                compact += c.unicode() < 0x80 ? static_cast<char>(c.unicode()) : '!';
        auto decoded
            = QByteArray::fromBase64Encoding(compact, QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            throw Refused(Tag(element) + ": its data is not base64");
        return *decoded;
    }

    // Writes the elements of one <root> as the model's commands.
    class Translator {
    public:
        explicit Translator(const receipt::PrinterProfile& model)
            : model_(model)
        {
            tables_.setPages(model.codePages);
        }

        void element(const QString& name, const Attributes& a, const QString& content)
        {
            if (name == "text")
                return text(a, content);
            if (name == "alignment") {
                out_ += { ESC, GS, 'a',
                    static_cast<char>(a.choice("position", { "left", "center", "right" }, 0)) };
                return;
            }
            if (name == "feed") {
                const auto line = a.number("line", 1, 255), unit = a.number("unit", 1, 255);
                if (!line && !unit)
                    throw Refused("<feed> needs line or unit");
                if (line)
                    out_ += { ESC, 'a', static_cast<char>(*line) };
                // A unit is a dot, and ESC I feeds n/8 mm: a dot of 8 a millimetre.
                if (unit)
                    out_ += { ESC, 'I', static_cast<char>(*unit) };
                return;
            }
            if (name == "cutpaper") {
                const bool full = a.choice("type", { "partial", "full" }, 0) == 1;
                const bool feed = a.flag("feed").value_or(false);
                out_ += { ESC, 'd', static_cast<char>('0' + (feed ? 2 : 0) + (full ? 0 : 1)) };
                return;
            }
            if (name == "initialization") {
                a.flag("reset");
                a.flag("print");
                out_ += { ESC, '@' };
                tables_.reset();
                width_ = height_ = 1;
                return;
            }
            if (name == "bitimage" || name == "bitImage")
                return bitImage(a, content, name);
            if (name == "ruledline")
                return ruledLine(a);
            if (name == "logo") {
                const int number = a.number("number", 1, 255).value_or(1);
                const bool wide = a.choice("width", { "single", "double" }, 0) == 1;
                const bool high = a.choice("height", { "single", "double" }, 0) == 1;
                out_ += { ESC, 0x1C, 'p', static_cast<char>(number),
                    static_cast<char>((wide ? 1 : 0) | (high ? 2 : 0)) };
                return;
            }
            if (name == "barcode")
                return barcode(a, content);
            if (name == "qrcode")
                return qrCode(a, content);
            if (name == "pdf417")
                return pdf417(a, content);
            if (name == "peripheral") {
                const int channel = a.number("channel", 1, 2).value_or(1);
                // ESC BEL counts the pulse in tens of milliseconds.
                const auto tens
                    = [](int ms) { return static_cast<char>(std::clamp((ms + 5) / 10, 1, 127)); };
                out_ += { ESC, 0x07, tens(a.number("on", 1, 65535).value_or(200)),
                    tens(a.number("off", 1, 65535).value_or(200)) };
                out_ += channel == 1 ? '\x07' : '\x1A';
                return;
            }
            if (name == "sound") {
                // ESC GS EM DC2 m n 0: the external buzzer on terminal m, n
                // times, as ESC GS EM DC1 last set its on and off times.
                out_ += { ESC, GS, 0x19, 0x12,
                    static_cast<char>(a.number("channel", 1, 2).value_or(1)),
                    static_cast<char>(a.number("repeat", 1, 20).value_or(1)), '\0' };
                return;
            }
            if (name == "rawdata") {
                const QByteArray raw = Base64(content, name);
                out_.append(raw.constData(), static_cast<std::size_t>(raw.size()));
                return;
            }
            // The melody speaker and TSP650IISK's held printing: no paper and
            // nothing the model's tables hold.
            if (name == "sound_with_setting" || name == "holdprint")
                return;
            throw Refused(Tag(name) + " is no WebPRNT element");
        }

        std::string take() { return std::move(out_); }

    private:
        void text(const Attributes& a, const QString& content)
        {
            if (const auto on = a.flag("emphasis"))
                out_ += { ESC, *on ? 'E' : 'F' };
            if (const auto on = a.flag("invert"))
                out_ += { ESC, *on ? '4' : '5' };
            if (const auto on = a.flag("underline"))
                out_ += { ESC, '-', *on ? '\1' : '\0' };
            if (a.text("linespace"))
                out_ += { ESC, 'z', static_cast<char>(a.choice("linespace", { "24", "32" }, 0)) };
            if (a.text("font"))
                out_ += { ESC, RS, 'F',
                    static_cast<char>(a.choice("font", { "font_a", "font_b" }, 0)) };
            if (const auto space = a.number("characterspace", 0, 7))
                out_ += { ESC, ' ', static_cast<char>(*space) };
            const auto width = a.number("width", 1, 6), height = a.number("height", 1, 6);
            if (width || height) {
                width_ = width.value_or(width_);
                height_ = height.value_or(height_);
                out_ += { ESC, 'i', static_cast<char>(height_ - 1), static_cast<char>(width_ - 1) };
            }
            if (const auto page = a.text("codepage"))
                codePage(a, *page);
            if (a.text("international")) {
                const int n = a.choice("international",
                    { "usa", "france", "germany", "uk", "denmark", "sweden", "italy", "spain",
                        "japan", "norway", "denmark2", "spain2", "latin_america", "korea",
                        "ireland", "legal" },
                    0);
                const int set = n == 15 ? 64 : n; // Legal is 64
                out_ += { ESC, 'R', static_cast<char>(set) };
                tables_.selectInternational(set);
            }
            std::vector<bool> escaped;
            const std::string data = Unescaped(content, "text", &escaped);
            written(data, escaped);
        }

        // WebPRNT's names are cpNNN; the model's tables are named for iconv.
        void codePage(const Attributes& a, const QString& page)
        {
            // The model has no UTF-8: its characters go in the table it has.
            if (page == "utf8")
                return;
            std::string have;
            for (const auto& [number, table] : model_.codePages) {
                if (QString::fromStdString(table).compare(page, Qt::CaseInsensitive) == 0) {
                    out_ += { ESC, GS, 't', static_cast<char>(number) };
                    tables_.selectTable(number);
                    return;
                }
                if (table.rfind("CP", 0) == 0)
                    have += (have.empty() ? "" : ", ")
                        + QString::fromStdString(table).toLower().toStdString();
            }
            throw Refused(
                a.what("codepage", page) + ": the model has no such table (it has " + have + ")");
        }

        // Text comes as UTF-8 with the bytes the till escaped: those go as they
        // are, each character as the model's table has it, or '?'.
        void written(const std::string& data, const std::vector<bool>& escaped)
        {
            std::map<char32_t, char> bytes;
            for (int b = 0xFF; b >= 0x20; --b)
                if (b != 0x7F)
                    bytes[tables_.decode(static_cast<unsigned char>(b))] = static_cast<char>(b);
            for (std::size_t i = 0; i < data.size();) {
                const unsigned char c = static_cast<unsigned char>(data[i]);
                if (escaped[i] || c < 0x80) {
                    if (!escaped[i] && c >= 0x20 && c < 0x7F) {
                        const auto found = bytes.find(c);
                        out_ += found != bytes.end() ? found->second : '?';
                    } else {
                        out_ += static_cast<char>(c);
                    }
                    ++i;
                    continue;
                }
                char32_t code = 0;
                const std::size_t length = std::max<std::size_t>(1, Utf8CharacterAt(data, i, code));
                const auto found = bytes.find(code);
                out_ += found != bytes.end() ? found->second : '?';
                i += length;
            }
        }

        // ESC GS S 1 xL xH yL yH 0 and the rows, in bands the model takes whole.
        void raster(const QByteArray& rows, int widthBytes, int height)
        {
            constexpr int kBand = 256;
            for (int y = 0; y < height; y += kBand) {
                const int band = std::min(kBand, height - y);
                out_ += { ESC, GS, 'S', '\1', static_cast<char>(widthBytes & 0xFF),
                    static_cast<char>(widthBytes >> 8), static_cast<char>(band & 0xFF),
                    static_cast<char>(band >> 8), '\0' };
                out_.append(rows.constData() + static_cast<qsizetype>(y) * widthBytes,
                    static_cast<std::size_t>(band) * static_cast<std::size_t>(widthBytes));
            }
        }

        void bitImage(const Attributes& a, const QString& content, const QString& name)
        {
            const int width = a.number("width", 0, 65535).value_or(0),
                      height = a.number("height", 0, 65535).value_or(0);
            if (width > model_.printDots)
                throw Refused(Tag(name) + " is " + std::to_string(width)
                    + " dots wide, wider than the " + std::to_string(model_.printDots)
                    + " dots the model prints");
            const QByteArray rows = Base64(content, name);
            const int widthBytes = (width + 7) / 8;
            const long long needed = static_cast<long long>(widthBytes) * height;
            if (rows.size() != needed)
                throw Refused(Tag(name) + " holds " + std::to_string(rows.size()) + " bytes for "
                    + std::to_string(width) + " x " + std::to_string(height) + " dots, which take "
                    + std::to_string(needed));
            if (needed > 0)
                raster(rows, widthBytes, height);
        }

        // Star's languages draw no rule: it goes as an image of its lines.
        void ruledLine(const Attributes& a)
        {
            const int kind = a.choice("thickness",
                { "thin", "medium", "thick", "double_thin", "double_medium", "double_thick" }, 0);
            const int width = std::min(
                a.number("width", 1, 65535).value_or(model_.printDots), model_.printDots);
            const int line = kind % 3 + 1; // dots
            const bool twice = kind >= 3;
            const int height = twice ? 3 * line : line;
            const int widthBytes = (width + 7) / 8;
            QByteArray rows(static_cast<qsizetype>(widthBytes) * height, '\0');
            for (int y = 0; y < height; ++y) {
                if (twice && y >= line && y < 2 * line)
                    continue;
                for (int x = 0; x < width; ++x)
                    rows[y * widthBytes + x / 8]
                        = static_cast<char>(rows[y * widthBytes + x / 8] | (0x80 >> (x % 8)));
            }
            raster(rows, widthBytes, height);
        }

        void barcode(const Attributes& a, const QString& content)
        {
            if (!a.text("symbology"))
                throw Refused("<barcode> needs a symbology");
            const int symbology = a.choice("symbology",
                { "UPCE", "UPCA", "JAN8", "JAN13", "Code39", "ITF", "Code128", "Code93", "NW7" },
                0);
            int mode = 1;
            if (a.text("width")) {
                const int w = a.choice("width",
                    { "width2", "width3", "width4", "width_mode1", "width_mode2", "width_mode3",
                        "width_mode4", "width_mode5", "width_mode6", "width_mode7", "width_mode8",
                        "width_mode9" },
                    0);
                mode = w < 3 ? w + 1 : w - 2;
            }
            const bool hri = a.flag("hri").value_or(true);
            const int height = a.number("height", 1, 255).value_or(40);
            const std::string data = Unescaped(content, "barcode");
            if (data.find(RS) != std::string::npos)
                throw Refused("<barcode>: its data holds RS, which would end the barcode");
            // n2: 1 no characters under it, 2 characters under it; a line feed after both.
            out_ += { ESC, 'b', static_cast<char>('0' + symbology),
                static_cast<char>(hri ? '2' : '1'), static_cast<char>('0' + mode),
                static_cast<char>(height) };
            out_ += data;
            out_ += RS;
        }

        void qrCode(const Attributes& a, const QString& content)
        {
            if (a.text("model"))
                out_ += { ESC, GS, 'y', 'S', '0',
                    static_cast<char>(a.choice("model", { "model1", "model2" }, 1) + 1) };
            if (a.text("level"))
                out_ += { ESC, GS, 'y', 'S', '1',
                    static_cast<char>(
                        a.choice("level", { "level_l", "level_m", "level_q", "level_h" }, 0)) };
            if (const auto cell = a.number("cell", 1, 8))
                out_ += { ESC, GS, 'y', 'S', '2', static_cast<char>(*cell) };
            const std::string data = Unescaped(content, "qrcode");
            if (data.size() > 0xFFFF)
                throw Refused("<qrcode> holds more than 65535 bytes");
            out_ += { ESC, GS, 'y', 'D', '1', '\0', static_cast<char>(data.size() & 0xFF),
                static_cast<char>(data.size() >> 8) };
            out_ += data;
            out_ += { ESC, GS, 'y', 'P' };
        }

        void pdf417(const Attributes& a, const QString& content)
        {
            if (a.text("level"))
                out_ += { ESC, GS, 'x', 'S', '1',
                    static_cast<char>(a.choice("level",
                        { "level0", "level1", "level2", "level3", "level4", "level5", "level6",
                            "level7", "level8" },
                        0)) };
            const auto line = a.number("line", 0, 90), column = a.number("column", 0, 30);
            if (line && *line > 0 && *line < 3)
                throw Refused(
                    a.what("line", QString::number(*line)) + " is neither 0 nor from 3 to 90");
            // Rows and columns, 0 for either lets the model choose; both 0 is no
            // size, and the model keeps its own.
            if (line.value_or(0) || column.value_or(0))
                out_ += { ESC, GS, 'x', 'S', '0', '\1', static_cast<char>(line.value_or(0)),
                    static_cast<char>(column.value_or(0)) };
            if (const auto module = a.number("module", 1, 8))
                out_ += { ESC, GS, 'x', 'S', '2', static_cast<char>(*module) };
            if (const auto aspect = a.number("aspect", 1, 8))
                out_ += { ESC, GS, 'x', 'S', '3', static_cast<char>(*aspect) };
            const std::string data = Unescaped(content, "pdf417");
            constexpr std::size_t kMost = 1024; // the most ESC GS x D takes
            if (data.size() > kMost)
                throw Refused("<pdf417> holds " + std::to_string(data.size())
                    + " bytes, more than the " + std::to_string(kMost) + " a PDF417 symbol takes");
            out_ += { ESC, GS, 'x', 'D', static_cast<char>(data.size() & 0xFF),
                static_cast<char>(data.size() >> 8) };
            out_ += data;
            out_ += { ESC, GS, 'x', 'P' };
        }

        const receipt::PrinterProfile& model_;
        receipt::CharacterTables tables_;
        int width_ = 1, height_ = 1;
        std::string out_;
    };

    // Moves to the first element, refusing a DOCTYPE on the way.
    bool FirstElement(QXmlStreamReader& xml)
    {
        while (!xml.atEnd()) {
            const auto token = xml.readNext();
            if (token == QXmlStreamReader::DTD)
                throw Refused("the document has a DOCTYPE, which WebPRNT does not take");
            if (token == QXmlStreamReader::StartElement)
                return true;
        }
        return false;
    }

    void Check(const QXmlStreamReader& xml, const char* what)
    {
        if (xml.hasError())
            throw Refused(std::string(what)
                + " is not well-formed XML: " + QuotedForMessage(xml.errorString().toStdString())
                + " at line " + std::to_string(xml.lineNumber()) + ", column "
                + std::to_string(xml.columnNumber()));
    }

    // An element's text, refusing an element inside it.
    QString Content(QXmlStreamReader& xml, const QString& element)
    {
        QString text;
        while (!xml.atEnd()) {
            const auto token = xml.readNext();
            if (token == QXmlStreamReader::Characters)
                text += xml.text();
            else if (token == QXmlStreamReader::EntityReference)
                throw Refused(Tag(element) + " uses an entity, which WebPRNT does not take");
            else if (token == QXmlStreamReader::StartElement)
                throw Refused(Tag(element) + " holds " + Tag(xml.name().toString())
                    + ": its content is text");
            else if (token == QXmlStreamReader::EndElement)
                break;
        }
        return text;
    }

    // Reads <root>, the reader at its start.
    WebPrntRequest ReadRoot(
        QXmlStreamReader& xml, const receipt::PrinterProfile& model, const char* what)
    {
        if (xml.name() != QLatin1String("root"))
            throw Refused(
                std::string(what) + " is " + Tag(xml.name().toString()) + ">, not <root>");
        const Attributes root(QStringLiteral("root"), xml.attributes());
        const bool checkedBlock = root.flag("checkedblock").value_or(true);
        root.choice("papertype",
            { "normal", "black_mark", "black_mark_and_detect_at_power_on", "gap",
                "gap_and_detect_at_power_on" },
            0);
        Translator translator(model);
        bool any = false;
        while (!xml.atEnd()) {
            const auto token = xml.readNext();
            if (token == QXmlStreamReader::EndElement)
                break;
            if (token == QXmlStreamReader::EntityReference)
                throw Refused("<root> uses an entity, which WebPRNT does not take");
            if (token != QXmlStreamReader::StartElement)
                continue;
            any = true;
            const QString name = xml.name().toString();
            const Attributes attributes(name, xml.attributes());
            const QString content = Content(xml, name);
            Check(xml, what);
            translator.element(name, attributes, content);
        }
        Check(xml, what);
        WebPrntRequest request;
        request.commands = translator.take();
        request.statusOnly = !any;
        request.checkedBlock = checkedBlock;
        return request;
    }

    std::string Hex(const std::string& bytes)
    {
        static const char digits[] = "0123456789ABCDEF";
        std::string hex;
        for (const unsigned char b : bytes) {
            hex += digits[b >> 4];
            hex += digits[b & 15];
        }
        return hex;
    }

    QString Escaped(const QString& text) { return text.toHtmlEscaped(); }

} // namespace

bool SpeaksWebPrnt(const receipt::PrinterProfile& model)
{
    return model.language == receipt::Language::StarLine
        || model.language == receipt::Language::StarPrnt;
}

WebPrntRequest ReadWebPrntRequest(
    const QByteArray& body, const receipt::PrinterProfile& model, std::string& error)
{
    error.clear();
    try {
        if (body.size() > kWebPrntMaxDocumentBytes)
            throw Refused("the document is " + std::to_string(body.size())
                + " bytes, more than the " + std::to_string(kWebPrntMaxDocumentBytes) + " taken");
        if (body.trimmed().isEmpty())
            return WebPrntRequest { {}, true };
        QXmlStreamReader outer(body);
        if (!FirstElement(outer)) {
            Check(outer, "the document");
            return WebPrntRequest { {}, true };
        }
        if (outer.name() == QLatin1String("root"))
            return ReadRoot(outer, model, "the document");
        if (outer.name() != QLatin1String("StarWebPrint"))
            throw Refused("the document is " + Tag(outer.name().toString())
                + ">, neither <StarWebPrint> nor <root>");
        // The trader sends <root> as the text of <Request>.
        QString request;
        bool found = false;
        while (!outer.atEnd()) {
            const auto token = outer.readNext();
            if (token == QXmlStreamReader::EndElement)
                break;
            if (token != QXmlStreamReader::StartElement)
                continue;
            if (outer.name() != QLatin1String("Request"))
                throw Refused(
                    "<StarWebPrint> holds " + Tag(outer.name().toString()) + ">, not <Request>");
            if (found)
                throw Refused("<StarWebPrint> holds two <Request> elements");
            found = true;
            request = Content(outer, QStringLiteral("Request"));
        }
        Check(outer, "the document");
        if (!found)
            throw Refused("<StarWebPrint> holds no <Request>");
        if (request.trimmed().isEmpty())
            return WebPrntRequest { {}, true };
        QXmlStreamReader inner(request);
        if (!FirstElement(inner)) {
            Check(inner, "the <Request>");
            return WebPrntRequest { {}, true };
        }
        return ReadRoot(inner, model, "the <Request>");
    } catch (const Refused& refused) {
        error = refused.what();
        return {};
    }
}

std::string WebPrntCode(const PrinterState& state) { return state.isOffline() ? "1100" : "0"; }

std::string WebPrntStatus(const PrinterState& state)
{
    return Hex(StarNetworkStatus(StarAutomaticStatus(state, 0, false)));
}

QByteArray WebPrntResponse(const PrinterState& state, bool success, const std::string& code)
{
    const QString inner
        = QStringLiteral("<root><success>%1</success><code>%2</code><status>%3</status></root>")
              .arg(success ? QStringLiteral("true") : QStringLiteral("false"),
                  Escaped(QString::fromStdString(code)),
                  QString::fromStdString(WebPrntStatus(state)));
    return (QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                           "<StarWebPrint xmlns=\"http://www.star-m.jp\" "
                           "xmlns:i=\"http://www.w3.org/2001/XMLSchema-instance\"><Response>")
        + Escaped(inner) + QStringLiteral("</Response></StarWebPrint>"))
        .toUtf8();
}

} // namespace ostrel
