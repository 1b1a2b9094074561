#include "render/symbol_encoder.h"

#include <zint.h>

#include <algorithm>
#include <cstdlib>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace ostrel::render {
namespace {

    using receipt::Symbol;
    using receipt::SymbolKind;

    bool Digits(const std::string& text)
    {
        return !text.empty()
            && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    }

    // How many digits an application identifier has, by its first two (from
    // the GS1 General Specifications); 0 for none known.
    int AiDigits(const std::string& two)
    {
        static const char* const kFour[]
            = { "31", "32", "33", "34", "35", "36", "39", "43", "70", "72", "80", "81", "82" };
        static const char* const kThree[] = { "23", "24", "25", "40", "41", "42", "71" };
        for (const char* p : kFour)
            if (two == p)
                return 4;
        for (const char* p : kThree)
            if (two == p)
                return 3;
        const int n = std::atoi(two.c_str());
        return (n <= 4 || (n >= 10 && n <= 22) || n == 30 || n == 37 || n >= 90) ? 2 : 0;
    }

    // The length of the value of the AIs whose length is predefined, by their
    // first two digits (GS1 General Specifications); 0 for a variable one, which
    // runs to a group separator (0x1D) or the end.
    int FixedValueLength(const std::string& two)
    {
        static const std::pair<const char*, int> kFixed[]
            = { { "00", 18 }, { "01", 14 }, { "02", 14 }, { "03", 14 }, { "04", 16 }, { "11", 6 },
                  { "12", 6 }, { "13", 6 }, { "14", 6 }, { "15", 6 }, { "16", 6 }, { "17", 6 },
                  { "18", 6 }, { "19", 6 }, { "20", 2 }, { "31", 6 }, { "32", 6 }, { "33", 6 },
                  { "34", 6 }, { "35", 6 }, { "36", 6 }, { "41", 13 } };
        for (const auto& [prefix, length] : kFixed)
            if (two == prefix)
                return length;
        return 0;
    }

    // Bare element strings, "0109501101530003" "17261231" "10AB-123" run together
    // as a printer takes them, cut into "[01]...[17]...[10]..." for zint, which
    // puts FNC1 where a variable value needs it. Empty when they do not parse.
    std::string BracketedAis(const std::string& data)
    {
        std::string out;
        std::size_t at = 0;
        while (at < data.size()) {
            if (data[at] == 0x1D) {
                ++at;
                continue;
            } // the separator after a variable value
            if (at + 2 > data.size())
                return {};
            const std::string two = data.substr(at, 2);
            const int digits = AiDigits(two);
            if (digits == 0 || at + static_cast<std::size_t>(digits) > data.size()
                || !Digits(data.substr(at, digits)))
                return {};
            const std::string ai = data.substr(at, digits);
            at += digits;
            std::size_t length = static_cast<std::size_t>(FixedValueLength(two));
            if (length == 0)
                length = std::min(data.find('\x1D', at), data.size()) - at;
            if (length == 0 || at + length > data.size())
                return {};
            out += "[" + ai + "]" + data.substr(at, length);
            at += length;
        }
        return out;
    }

    // GS1 data as jobs send it, "(01)..." or bare element strings, in the square
    // brackets zint reads.
    std::string Gs1Input(const std::string& data, int& inputMode)
    {
        inputMode = GS1_MODE;
        if (!data.empty() && data.front() == '(') {
            inputMode |= GS1PARENS_MODE;
            return data;
        }
        if (!data.empty() && data.front() == '[')
            return data;
        const std::string bracketed = BracketedAis(data);
        if (!bracketed.empty())
            return bracketed;
        if (data.size() > 2)
            return "[" + data.substr(0, 2) + "]" + data.substr(2);
        return data;
    }

    // GS1 DataBar (not Expanded) takes the 13 digits of a GTIN without its check.
    std::string GtinInput(std::string data)
    {
        if (data.rfind("(01)", 0) == 0)
            data = data.substr(4);
        else if (data.size() >= 16 && data.rfind("01", 0) == 0)
            data = data.substr(2);
        if (data.size() == 14)
            data.pop_back();
        return data;
    }

    struct ZintInput {
        int symbology = BARCODE_CODE128;
        int inputMode = DATA_MODE;
        int option1 = -1, option2 = 0, option3 = 0;
        std::string data;
    };

    bool Prepare(const Symbol& symbol, ZintInput& in)
    {
        in.data = symbol.data;
        const std::size_t n = symbol.data.size();
        switch (symbol.kind) {
        case SymbolKind::UpcA:
            if (!Digits(in.data) || (n != 11 && n != 12))
                return false;
            in.symbology = n == 12 ? BARCODE_UPCA_CHK : BARCODE_UPCA;
            return true;
        case SymbolKind::UpcE:
            if (!Digits(in.data) || n < 6 || n > 8)
                return false;
            in.symbology = n == 8 ? BARCODE_UPCE_CHK : BARCODE_UPCE;
            return true;
        case SymbolKind::Ean13:
            if (!Digits(in.data) || (n != 12 && n != 13))
                return false;
            in.symbology = n == 13 ? BARCODE_EANX_CHK : BARCODE_EANX;
            return true;
        case SymbolKind::Ean8:
            if (!Digits(in.data) || (n != 7 && n != 8))
                return false;
            in.symbology = n == 8 ? BARCODE_EANX_CHK : BARCODE_EANX;
            return true;
        case SymbolKind::Code39:
            if (n >= 2 && in.data.front() == '*' && in.data.back() == '*')
                in.data = in.data.substr(1, n - 2);
            in.symbology = BARCODE_CODE39;
            return true;
        case SymbolKind::Itf:
            if (!Digits(in.data) || n % 2)
                return false;
            in.symbology = BARCODE_C25INTER;
            return true;
        case SymbolKind::Codabar:
            in.symbology = BARCODE_CODABAR;
            return true;
        case SymbolKind::Code93:
            in.symbology = BARCODE_CODE93;
            return true;
        case SymbolKind::Code128:
            in.symbology = BARCODE_CODE128;
            return true;
        case SymbolKind::Gs1_128:
            in.symbology = BARCODE_GS1_128;
            in.data = Gs1Input(symbol.data, in.inputMode);
            return true;
        case SymbolKind::DataBarOmni:
        case SymbolKind::DataBarTruncated:
            in.symbology = BARCODE_DBAR_OMN;
            in.data = GtinInput(symbol.data);
            return Digits(in.data);
        case SymbolKind::DataBarLimited:
            in.symbology = BARCODE_DBAR_LTD;
            in.data = GtinInput(symbol.data);
            return Digits(in.data);
        case SymbolKind::DataBarExpanded:
            in.symbology = BARCODE_DBAR_EXP;
            in.data = Gs1Input(symbol.data, in.inputMode);
            return true;
        case SymbolKind::QrCode:
            in.symbology = BARCODE_QRCODE;
            in.option1 = std::clamp(symbol.errorCorrection - 47, 1, 4);
            return true;
        case SymbolKind::Pdf417:
            in.symbology = BARCODE_PDF417;
            if (symbol.errorCorrection >= 0 && symbol.errorCorrection <= 8)
                in.option1 = symbol.errorCorrection;
            in.option2 = std::clamp(symbol.columns, 0, 30);
            if (symbol.rows >= 3 && symbol.rows <= 90)
                in.option3 = symbol.rows;
            return true;
        case SymbolKind::DataMatrix:
            in.symbology = BARCODE_DATAMATRIX;
            return true;
        case SymbolKind::Aztec:
            in.symbology = BARCODE_AZTEC;
            return true;
        }
        return false;
    }

} // namespace

namespace {

    bool EncodeWithZint(const Symbol& symbol, EncodedSymbol& encoded, std::string* error)
    {
        ZintInput in;
        if (symbol.data.empty() || !Prepare(symbol, in)) {
            if (error)
                *error = "data not valid for " + std::string(receipt::SymbolKindName(symbol.kind));
            return false;
        }
        std::unique_ptr<zint_symbol, void (*)(zint_symbol*)> z(ZBarcode_Create(), ZBarcode_Delete);
        if (!z)
            return false;
        z->symbology = in.symbology;
        z->input_mode = in.inputMode;
        if (in.option1 >= 0)
            z->option_1 = in.option1;
        if (in.option2)
            z->option_2 = in.option2;
        if (in.option3)
            z->option_3 = in.option3;
        int result
            = ZBarcode_Encode(z.get(), reinterpret_cast<const unsigned char*>(in.data.data()),
                static_cast<int>(in.data.size()));
        if (result >= ZINT_ERROR) {
            if (error)
                *error = z->errtxt;
            return false;
        }
        encoded.columns = z->width;
        encoded.rows = z->rows;
        encoded.modules.assign(static_cast<std::size_t>(encoded.columns) * encoded.rows, 0);
        encoded.rowHeights.assign(encoded.rows, 1);
        for (int row = 0; row < encoded.rows; ++row) {
            for (int column = 0; column < encoded.columns; ++column)
                encoded.modules[static_cast<std::size_t>(row) * encoded.columns + column]
                    = (z->encoded_data[row][column >> 3] >> (column & 7)) & 1;
        }
        if (!receipt::IsTwoDimensional(symbol.kind)) {
            // Stacked and separator rows keep their share; the bars fill the rest.
            for (int row = 0; row < encoded.rows; ++row)
                encoded.rowHeights[row] = z->row_height[row] > 0 ? 0 : 1;
        }
        encoded.text = reinterpret_cast<const char*>(z->text);
        if (encoded.text.empty())
            encoded.text = symbol.data;
        return encoded.columns > 0 && encoded.rows > 0;
    }

    // Jobs print one stored symbol again and again (a QR code on every receipt),
    // and the model measures each before the renderer draws it: the newest
    // encodings are kept, by everything that makes them.
    class SymbolCache {
    public:
        bool encode(const Symbol& symbol, EncodedSymbol& encoded, std::string* error)
        {
            std::string key = std::to_string(static_cast<int>(symbol.kind)) + ','
                + std::to_string(symbol.errorCorrection) + ',' + std::to_string(symbol.columns)
                + ',' + std::to_string(symbol.rows) + ',' + symbol.data;
            std::lock_guard lock(mutex_);
            auto found = index_.find(key);
            if (found == index_.end()) {
                Entry entry;
                entry.ok = EncodeWithZint(symbol, entry.encoded, &entry.error);
                bytes_ += Weight(key, entry);
                order_.push_front({ key, std::move(entry) });
                found = index_.emplace(std::move(key), order_.begin()).first;
                while (order_.size() > 1 && (order_.size() > kKept || bytes_ > kKeptBytes)) {
                    bytes_ -= Weight(order_.back().first, order_.back().second);
                    index_.erase(order_.back().first);
                    order_.pop_back();
                }
            } else {
                order_.splice(order_.begin(), order_, found->second);
            }
            const Entry& entry = found->second->second;
            if (!entry.ok) {
                if (error)
                    *error = entry.error;
                return false;
            }
            encoded = entry.encoded;
            return true;
        }

    private:
        struct Entry {
            bool ok = false;
            EncodedSymbol encoded;
            std::string error;
        };
        static constexpr std::size_t kKept = 64;
        static constexpr std::size_t kKeptBytes = 16u << 20;
        static std::size_t Weight(const std::string& key, const Entry& entry)
        {
            return 2 * key.size() + entry.encoded.modules.size() + entry.encoded.text.size() + 256;
        }

        std::mutex mutex_;
        std::list<std::pair<std::string, Entry>> order_; // newest first
        std::unordered_map<std::string, std::list<std::pair<std::string, Entry>>::iterator> index_;
        std::size_t bytes_ = 0;
    };

} // namespace

bool EncodeSymbol(const Symbol& symbol, EncodedSymbol& encoded, std::string* error)
{
    static SymbolCache cache;
    return cache.encode(symbol, encoded, error);
}

int BarAreaHeight(const Symbol& symbol, const EncodedSymbol& encoded)
{
    if (receipt::IsTwoDimensional(symbol.kind)) {
        int rowHeight = symbol.kind == SymbolKind::Pdf417 ? symbol.barHeight : 1;
        return encoded.rows * rowHeight * symbol.moduleWidth;
    }
    return symbol.barHeight;
}

bool ZintSymbolGeometry::measure(Symbol& symbol) const
{
    EncodedSymbol encoded;
    if (!EncodeSymbol(symbol, encoded))
        return false;
    symbol.width = encoded.columns * symbol.moduleWidth;
    symbol.height = BarAreaHeight(symbol, encoded);
    if (!receipt::IsTwoDimensional(symbol.kind)) {
        if (symbol.textPlace == receipt::TextPlace::Above
            || symbol.textPlace == receipt::TextPlace::Both)
            symbol.height += receipt::BarcodeTextHeight(symbol.textFont);
        if (symbol.textPlace == receipt::TextPlace::Below
            || symbol.textPlace == receipt::TextPlace::Both)
            symbol.height += receipt::BarcodeTextHeight(symbol.textFont);
    }
    return true;
}

} // namespace ostrel::render
