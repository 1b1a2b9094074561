#pragma once

#include "receipt/command_table.h"
#include "receipt/printer_profile.h"

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace ostrel::receipt {

// What a printer keeps between jobs: the graphics, logos, images and
// characters its jobs defined, each as the command that defined it.
enum class StoredKind {
    NvGraphics, // GS ( L / GS 8 L functions 67 and 68, by key code
    NvBitImages, // FS q: all of them in one command, numbered from 1
    StarLogos, // ESC FS q: Star's registered logos, the same way
    DownloadGraphics, // functions 83 and 84, by key code
    DownloadedImage, // GS *: one image
    UserCharacter, // ESC &: one character, by its code
};
// "NV graphics", "NV bit images", "logos", "download graphics",
// "downloaded bit image", "user-defined character".
const char* StoredKindName(StoredKind kind);
// Kept in non-volatile memory: through ESC @, a restart and power off.
bool NonVolatile(StoredKind kind);

struct StoredDefinition {
    StoredKind kind = StoredKind::NvGraphics;
    // "A1" for key codes; "1" or "1-3" for numbered images; a character
    // for user-defined ones; "" for GS *'s image. Printable ASCII only.
    std::string key;
    // The command as a job sent it (for a character: ESC & of that one).
    std::string command;
    long long size = 0; // what it takes of its memory area
    long long order = 0; // defined after those with a lower one
};

// The printer's memory, as its maker's manual describes it: NV graphics and
// bit images in an NV area of the profile's size, download graphics and the
// downloaded bit image in a download area, user-defined characters. Every
// definition is checked against the command's ranges and the room left; one
// that does not fit is refused, as the printer ignores it.
class PrinterMemory {
public:
    PrinterMemory()
        : PrinterMemory(GenericProfile())
    {
    }
    explicit PrinterMemory(const PrinterProfile& profile);

    // What one command did.
    struct Change {
        enum What { Nothing, Stored, Deleted, Refused } what = Nothing;
        std::string message; // what was stored or deleted, or why it was refused
    };
    // A whole command of a row with a memory role; any other does nothing.
    Change take(const CommandRow& row, const unsigned char* command, std::size_t length);
    // A command too long to keep, passed over, by its first bytes: a
    // definition that cannot be stored.
    Change tooLong(
        const CommandRow& row, const unsigned char* head, std::size_t shown, long long length);
    // ESC @ and a restart clear what the manual keeps only until then.
    Change initialize();
    void restart();
    void clear();

    const StoredDefinition* find(StoredKind kind, const std::string& key) const;
    // The one of a kind defined all at once (FS q's images), or the first.
    const StoredDefinition* first(StoredKind kind) const;
    // Every definition, oldest first.
    std::vector<const StoredDefinition*> inOrder() const;
    bool empty() const { return stored_.empty(); }
    // The definitions' commands, oldest first: those kept in NV memory, or
    // the others. Taken again in order, they make this memory again.
    std::string commands(bool nonVolatile) const;
    // The next definition's order: those below it were there before.
    long long nextOrder() const { return order_; }
    long long nvUsed() const { return used(true); }
    long long downloadUsed() const { return used(false); }
    long long nvCapacity() const { return nvCapacity_; }
    long long downloadCapacity() const { return downloadCapacity_; }
    // The longest definition a reader keeps whole; a longer one is refused
    // by its first bytes.
    long long longestDefinition() const;

private:
    using Key = std::pair<StoredKind, std::string>;
    Change store(StoredDefinition definition, const std::vector<StoredKind>& replaces);
    Change graphics(const unsigned char* c, std::size_t length);
    Change logos(const unsigned char* c, std::size_t length, std::size_t head, StoredKind kind);
    Change image(const unsigned char* c, std::size_t length);
    Change characters(const unsigned char* c, std::size_t length);
    std::size_t erase(StoredKind kind, const std::string* key = nullptr);
    long long used(bool nonVolatile) const;

    long long nvCapacity_;
    long long downloadCapacity_;
    std::map<Key, StoredDefinition> stored_;
    long long order_ = 0;
};

// The memory as the page and the API list it: each definition's kind, key
// and size, and the room used and left.
std::string PrinterMemoryJson(const PrinterMemory& memory, const std::string& printer);

} // namespace ostrel::receipt
