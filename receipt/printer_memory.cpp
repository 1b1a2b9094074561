#include "receipt/printer_memory.h"

#include "protocol/json_string.h"
#include "receipt/command_bytes.h"

#include <algorithm>

// What stays in a printer from one job to the next, from the makers'
// command references:
// - NV graphics (GS ( L functions 67, 68) take their data and 24 bytes of
//   control information in the NV graphics area; defining one deletes every
//   NV bit image (FS q); functions 65 and 66 delete them (Epson TM-T81
//   manual). They survive ESC @, a reset and power off.
// - FS q defines every NV bit image at once, deleting those defined before
//   (Citizen's and Star's command references); its images take their data
//   and a 4-byte header each. Star's ESC FS q registers logos the same way.
// - Download graphics (functions 83, 84; deleted by 81, 82) are lost at
//   ESC @, a reset and power off (Epson's TM-J2000/J2100 ESC/POS reference).
// - GS * holds one image of x * y * 8 bytes (x * y at most 1536), lost at
//   ESC @ and power off; it and the user-defined characters (ESC &) exclude
//   each other: defining one deletes the other (Epson's TM-T81 and TM-U590
//   manuals).
// - ESC & characters (codes 32 to 126) stay until ESC ?, GS *, ESC @ or
//   power off (Epson's TM-U590 manual).
namespace ostrel::receipt {

using bytes::ESC;
using bytes::GS;
using bytes::Word;

namespace {

    constexpr long long kGraphicsControlBytes = 24;
    constexpr long long kBitImageHeader = 4;

    bool KeyCode(unsigned char c) { return c >= 32 && c <= 126; }

    std::string Bytes(long long n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

    std::string Named(const StoredDefinition& definition)
    {
        std::string name = StoredKindName(definition.kind);
        if (!definition.key.empty())
            name += " " + definition.key;
        return name;
    }

} // namespace

const char* StoredKindName(StoredKind kind)
{
    switch (kind) {
    case StoredKind::NvGraphics:
        return "NV graphics";
    case StoredKind::NvBitImages:
        return "NV bit images";
    case StoredKind::StarLogos:
        return "logos";
    case StoredKind::DownloadGraphics:
        return "download graphics";
    case StoredKind::DownloadedImage:
        return "downloaded bit image";
    case StoredKind::UserCharacter:
        return "user-defined character";
    }
    return "stored";
}

bool NonVolatile(StoredKind kind)
{
    return kind == StoredKind::NvGraphics || kind == StoredKind::NvBitImages
        || kind == StoredKind::StarLogos;
}

PrinterMemory::PrinterMemory(const PrinterProfile& profile)
    : nvCapacity_(profile.nvGraphicsBytes)
    , downloadCapacity_(profile.downloadGraphicsBytes)
{
}

long long PrinterMemory::longestDefinition() const
{
    // Room to read a definition too large for the memory and say by how
    // much, as the model reads it; past that it is only named.
    return 4 * std::max(nvCapacity_, downloadCapacity_) + 64;
}

long long PrinterMemory::used(bool nonVolatile) const
{
    long long total = 0;
    for (const auto& [key, definition] : stored_)
        if (definition.kind != StoredKind::UserCharacter
            && NonVolatile(definition.kind) == nonVolatile)
            total += definition.size;
    return total;
}

const StoredDefinition* PrinterMemory::find(StoredKind kind, const std::string& key) const
{
    const auto found = stored_.find({ kind, key });
    return found == stored_.end() ? nullptr : &found->second;
}

const StoredDefinition* PrinterMemory::first(StoredKind kind) const
{
    const auto found = stored_.lower_bound({ kind, std::string() });
    return found == stored_.end() || found->first.first != kind ? nullptr : &found->second;
}

std::vector<const StoredDefinition*> PrinterMemory::inOrder() const
{
    std::vector<const StoredDefinition*> all;
    for (const auto& [key, definition] : stored_)
        all.push_back(&definition);
    std::sort(
        all.begin(), all.end(), [](const auto* a, const auto* b) { return a->order < b->order; });
    return all;
}

std::string PrinterMemory::commands(bool nonVolatile) const
{
    std::string bytes;
    for (const StoredDefinition* definition : inOrder())
        if (NonVolatile(definition->kind) == nonVolatile)
            bytes += definition->command;
    return bytes;
}

std::size_t PrinterMemory::erase(StoredKind kind, const std::string* key)
{
    return std::erase_if(stored_, [&](const auto& entry) {
        return entry.first.first == kind && (key == nullptr || entry.first.second == *key);
    });
}

void PrinterMemory::restart()
{
    std::erase_if(stored_, [](const auto& entry) { return !NonVolatile(entry.first.first); });
}

void PrinterMemory::clear() { stored_.clear(); }

PrinterMemory::Change PrinterMemory::initialize()
{
    const std::size_t before = stored_.size();
    restart();
    if (stored_.size() == before)
        return {};
    return { Change::Deleted,
        "the download graphics, downloaded bit image and user-defined characters are cleared" };
}

PrinterMemory::Change PrinterMemory::store(
    StoredDefinition definition, const std::vector<StoredKind>& replaces)
{
    const bool nonVolatile = NonVolatile(definition.kind);
    long long freed = 0;
    for (const auto& [key, old] : stored_)
        if (key == Key { definition.kind, definition.key }
            || std::find(replaces.begin(), replaces.end(), old.kind) != replaces.end())
            freed += old.kind == StoredKind::UserCharacter ? 0 : old.size;
    const long long capacity = nonVolatile ? nvCapacity_ : downloadCapacity_;
    const long long free = capacity - used(nonVolatile) + freed;
    if (definition.kind != StoredKind::UserCharacter && definition.size > free)
        return { Change::Refused,
            Named(definition) + " not stored: it needs " + Bytes(definition.size) + ", and "
                + Bytes(std::max(0LL, free)) + " of the " + Bytes(capacity) + " of "
                + (nonVolatile ? "NV" : "download") + " memory are free" };
    for (const StoredKind kind : replaces)
        erase(kind);
    definition.order = order_++;
    const std::string message = Named(definition) + " stored (" + Bytes(definition.size) + ")";
    stored_[{ definition.kind, definition.key }] = std::move(definition);
    return { Change::Stored, message };
}

PrinterMemory::Change PrinterMemory::take(
    const CommandRow& row, const unsigned char* c, std::size_t length)
{
    switch (row.role) {
    case Role::Initializes:
        return initialize();
    case Role::Graphics:
        return graphics(c, length);
    case Role::StoresLogos:
        return logos(c, length, row.bytes.size(),
            c[0] == ESC ? StoredKind::StarLogos : StoredKind::NvBitImages);
    case Role::StoresImage:
        return image(c, length);
    case Role::StoresCharacters:
        return characters(c, length);
    case Role::DeletesCharacter: {
        if (length < 3)
            return {};
        const std::string key(1, static_cast<char>(c[2]));
        return erase(StoredKind::UserCharacter, &key)
            ? Change { Change::Deleted, "user-defined character " + key + " deleted" }
            : Change {};
    }
    default:
        break; // not what the memory keeps
    }
    return {};
}

PrinterMemory::Change PrinterMemory::tooLong(
    const CommandRow& row, const unsigned char* head, std::size_t shown, long long length)
{
    std::string name;
    switch (row.role) {
    case Role::Graphics: {
        // Only a definition, named by its key codes when they are in sight.
        const std::size_t header = head[1] == '8' ? 7 : 5;
        const int fn = shown > header + 1 ? head[header + 1] : 0;
        if (fn != 67 && fn != 68 && fn != 83 && fn != 84)
            return {};
        name = StoredKindName(fn <= 68 ? StoredKind::NvGraphics : StoredKind::DownloadGraphics);
        if (shown > header + 4 && KeyCode(head[header + 3]) && KeyCode(head[header + 4]))
            name += std::string(" ") + static_cast<char>(head[header + 3])
                + static_cast<char>(head[header + 4]);
        break;
    }
    case Role::StoresLogos:
        name = StoredKindName(head[0] == ESC ? StoredKind::StarLogos : StoredKind::NvBitImages);
        break;
    case Role::StoresImage:
        name = StoredKindName(StoredKind::DownloadedImage);
        break;
    case Role::StoresCharacters:
        name = "user-defined characters";
        break;
    default:
        return {}; // nothing to store
    }
    return { Change::Refused,
        name + " not stored: its " + Bytes(length) + " are more than the printer's memory holds ("
            + Bytes(nvCapacity_) + " of NV memory, " + Bytes(downloadCapacity_)
            + " for downloads)" };
}

// GS ( L pL pH m fn ... and GS 8 L p1 p2 p3 p4 m fn ...
PrinterMemory::Change PrinterMemory::graphics(const unsigned char* c, std::size_t length)
{
    const std::size_t header = c[1] == '8' ? 7 : 5;
    if (length < header + 2)
        return {};
    const unsigned char* d = c + header;
    const std::size_t n = length - header;
    const int fn = d[1];
    const bool nv = fn >= 64 && fn <= 69;
    const StoredKind kind = nv ? StoredKind::NvGraphics : StoredKind::DownloadGraphics;
    if ((fn == 65 || fn == 81) && n >= 5 && d[2] == 'C' && d[3] == 'L' && d[4] == 'R') {
        const std::size_t gone = erase(kind);
        return gone
            ? Change { Change::Deleted, std::string("every ") + StoredKindName(kind) + " deleted" }
            : Change {};
    }
    if ((fn == 66 || fn == 82) && n >= 4) {
        const std::string key { static_cast<char>(d[2]), static_cast<char>(d[3]) };
        if (!KeyCode(d[2]) || !KeyCode(d[3]) || !erase(kind, &key))
            return {};
        return { Change::Deleted, std::string(StoredKindName(kind)) + " " + key + " deleted" };
    }
    if (fn != 67 && fn != 68 && fn != 83 && fn != 84)
        return {};
    // m fn a kc1 kc2 b xL xH yL yH, then b groups of c and the data.
    StoredDefinition definition { kind, {}, std::string(reinterpret_cast<const char*>(c), length) };
    if (n < 11 || !KeyCode(d[3]) || !KeyCode(d[4]))
        return { Change::Refused,
            std::string(StoredKindName(kind)) + " not stored: its key codes are out of range" };
    definition.key = { static_cast<char>(d[3]), static_cast<char>(d[4]) };
    const long long width = Word(d + 6), height = Word(d + 8), colours = d[5];
    const bool raster = fn == 67 || fn == 83;
    const long long k = raster ? (width + 7) / 8 * height : width * ((height + 7) / 8);
    if (width == 0 || height == 0 || colours == 0
        || static_cast<long long>(n) - 10 < colours * (k + 1))
        return { Change::Refused,
            Named(definition) + " not stored: its size does not match its data" };
    definition.size = colours * k + kGraphicsControlBytes;
    return store(std::move(definition),
        nv ? std::vector<StoredKind> { StoredKind::NvBitImages } : std::vector<StoredKind> {});
}

// FS q n [xL xH yL yH d1...dk]1 ... n, each x * 8 dots wide and y * 8 tall;
// ESC FS q the same a byte later.
PrinterMemory::Change PrinterMemory::logos(
    const unsigned char* c, std::size_t length, std::size_t head, StoredKind kind)
{
    StoredDefinition definition { kind, {}, std::string(reinterpret_cast<const char*>(c), length) };
    const int count = length > head ? c[head] : 0;
    std::size_t at = head + 1;
    for (int image = 0; image < count; ++image) {
        if (at + 4 > length)
            break;
        const long long x = Word(c + at), y = Word(c + at + 2);
        if (x < 1 || x > 1023 || y < 1 || y > 288)
            return { Change::Refused,
                std::string(StoredKindName(kind)) + " not stored: image "
                    + std::to_string(image + 1) + " is out of range (" + std::to_string(x) + " x "
                    + std::to_string(y) + " bytes)" };
        at += 4 + static_cast<std::size_t>(x * y * 8);
    }
    if (count == 0 || at != length)
        return { Change::Refused,
            std::string(StoredKindName(kind)) + " not stored: its sizes do not match its data" };
    definition.key = count == 1 ? "1" : "1-" + std::to_string(count);
    definition.size = static_cast<long long>(length - head - 1);
    // Every image defined before goes: only a whole set is defined.
    return store(std::move(definition), { kind });
}

// GS * x y and x * y * 8 bytes.
PrinterMemory::Change PrinterMemory::image(const unsigned char* c, std::size_t length)
{
    StoredDefinition definition { StoredKind::DownloadedImage, {},
        std::string(reinterpret_cast<const char*>(c), length) };
    const long long x = length >= 4 ? c[2] : 0, y = length >= 4 ? c[3] : 0;
    if (x < 1 || y < 1 || y > 48 || x * y > 1536 || static_cast<long long>(length) != 4 + x * y * 8)
        return { Change::Refused,
            "downloaded bit image not stored: out of range (" + std::to_string(x) + " x "
                + std::to_string(y) + " bytes, at most 1536 together)" };
    definition.size = x * y * 8;
    return store(std::move(definition), { StoredKind::UserCharacter });
}

// ESC & y c1 c2, then for each character x and y * x bytes: kept a
// character at a time, each as ESC & of that character alone.
PrinterMemory::Change PrinterMemory::characters(const unsigned char* c, std::size_t length)
{
    const int y = length >= 5 ? c[2] : 0, first = length >= 5 ? c[3] : 0,
              last = length >= 5 ? c[4] : 0;
    const auto cancelled = [](const std::string& why) {
        return Change { Change::Refused, "user-defined characters not stored: " + why };
    };
    if (y < 1 || y > 3 || first < 32 || last > 126 || first > last)
        return cancelled("out of range (y " + std::to_string(y) + ", codes " + std::to_string(first)
            + " to " + std::to_string(last) + ")");
    std::vector<StoredDefinition> defined;
    std::size_t at = 5;
    for (int code = first; code <= last; ++code) {
        const std::size_t x = at < length ? c[at] : 0;
        const std::size_t data = static_cast<std::size_t>(y) * x;
        if (at >= length || x > 12 || at + 1 + data > length)
            return cancelled("character " + std::to_string(code) + " is out of range");
        StoredDefinition character { StoredKind::UserCharacter,
            std::string(1, static_cast<char>(code)), {} };
        character.command = { static_cast<char>(ESC), '&', static_cast<char>(y),
            static_cast<char>(code), static_cast<char>(code) };
        character.command.append(reinterpret_cast<const char*>(c + at), 1 + data);
        character.size = static_cast<long long>(data);
        defined.push_back(std::move(character));
        at += 1 + data;
    }
    erase(StoredKind::DownloadedImage);
    for (StoredDefinition& character : defined)
        store(std::move(character), {});
    return { Change::Stored,
        "user-defined characters " + std::string(1, static_cast<char>(first))
            + (last > first ? " to " + std::string(1, static_cast<char>(last)) : "") + " stored" };
}

std::string PrinterMemoryJson(const PrinterMemory& memory, const std::string& printer)
{
    std::string stored;
    for (const StoredDefinition* definition : memory.inOrder())
        stored += std::string(stored.empty() ? "" : ",")
            + "{\"kind\":" + JsonString(StoredKindName(definition->kind))
            + ",\"key\":" + JsonString(definition->key)
            + ",\"bytes\":" + std::to_string(definition->size) + ",\"kept\":"
            + (NonVolatile(definition->kind) ? "\"non-volatile\"" : "\"until ESC @ or a restart\"")
            + "}";
    return "{\"printer\":" + JsonString(printer) + ",\"nv\":{\"used\":"
        + std::to_string(memory.nvUsed()) + ",\"capacity\":" + std::to_string(memory.nvCapacity())
        + "},\"download\":{\"used\":" + std::to_string(memory.downloadUsed()) + ",\"capacity\":"
        + std::to_string(memory.downloadCapacity()) + "},\"stored\":[" + stored + "]}";
}

} // namespace ostrel::receipt
