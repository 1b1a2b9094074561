#include "receipt/command_lengths.h"

#include "protocol/command_set.h"

namespace ostrel::receipt {
namespace {

constexpr unsigned char DLE = 0x10, ESC = 0x1B, FS = 0x1C, GS = 0x1D, US = 0x1F;

CommandSize Need() { return {Framing::NeedMore, 0}; }
CommandSize Whole(long long length) { return {Framing::Whole, length}; }
CommandSize Unknown(long long length) { return {Framing::Unknown, length}; }

// A fixed length, once that many bytes are here.
CommandSize Fixed(std::size_t available, long long length) {
    if (static_cast<long long>(available) >= length) return Whole(length);
    return {Framing::NeedMore, length};
}

// prefix fn pL pH [pL + pH*256 bytes]: the "( X" family.
CommandSize TwoByteLength(const unsigned char* b, std::size_t available) {
    if (available < 5) return Need();
    return Fixed(available, 5 + b[3] + 256LL * b[4]);
}

// Data that ends at a NUL, at most kMaxTerminatedLength bytes long.
CommandSize Terminated(const unsigned char* b, std::size_t available, std::size_t start) {
    for (std::size_t i = start; i < available; ++i) {
        if (b[i] == 0) return Whole(static_cast<long long>(i) + 1);
        if (i - start + 1 >= kMaxTerminatedLength) return Whole(static_cast<long long>(i) + 1);
    }
    return Need();
}

CommandSize MeasureDle(const unsigned char* b, std::size_t available) {
    if (available < 2) return Need();
    switch (b[1]) {
    case 0x04: // EOT n [a]
        if (available < 3) return Need();
        return Fixed(available, b[2] == 7 || b[2] == 8 ? 4 : 3);
    case 0x05: return Fixed(available, 3); // ENQ n
    case 0x14: // DC4 fn ...
        if (available < 3) return Need();
        switch (b[2]) {
        case 1: case 2: return Fixed(available, 5);
        case 7: return Fixed(available, 4);
        case 8: return Fixed(available, 10);
        default: return Unknown(3);
        }
    case 'R': return Whole(2); // the status request this tool answers
    default: return Unknown(2);
    }
}

CommandSize MeasureEsc(const unsigned char* b, std::size_t available, long long cap) {
    if (available < 2) return Need();
    switch (b[1]) {
    case '@': case '<': case 'L': case 'S': case 'i': case 'm': case 'v': case 0x0C:
        return Whole(2);
    case ' ': case '!': case '%': case '-': case '3': case '=': case '?': case 'E': case 'G':
    case 'J': case 'K': case 'M': case 'R': case 'T': case 'U': case 'V': case 'a': case 'd':
    case 'e': case 'r': case 't': case 'u': case '{':
        return Fixed(available, 3);
    case '2': return Whole(2);
    case '$': case '\\': return Fixed(available, 4);
    case 'p': return Fixed(available, 5);
    case 'W': return Fixed(available, 10);
    case 'c':
        if (available < 3) return Need();
        return b[2] >= '3' && b[2] <= '5' ? Fixed(available, 4) : Unknown(2);
    case '(': return TwoByteLength(b, available);
    case '*': {
        if (available < 5) return Need();
        long long columns = b[3] + 256LL * b[4];
        if (b[2] == 0 || b[2] == 1) return Fixed(available, 5 + columns);
        if (b[2] == 32 || b[2] == 33) return Fixed(available, 5 + 3 * columns);
        return Unknown(2);
    }
    case 'D': return Terminated(b, available, 2);
    case '&': { // ESC & y c1 c2 then, for each character, x and y*x bytes
        if (available < 5) return Need();
        int y = b[2];
        long long at = 5;
        for (int c = b[3]; c <= b[4]; ++c) {
            if (static_cast<long long>(available) <= at) return {Framing::NeedMore, at + 1};
            at += 1 + static_cast<long long>(y) * b[at];
            if (at > cap) return {Framing::NeedMore, at};
        }
        return Fixed(available, at);
    }
    default: return Unknown(2);
    }
}

CommandSize MeasureFs(const unsigned char* b, std::size_t available, long long cap) {
    if (available < 2) return Need();
    switch (b[1]) {
    case '&': case '.': return Whole(2);
    case '!': case '-': case 'C': case 'W': return Fixed(available, 3);
    case 'S': case '?': case 'p': return Fixed(available, 4);
    case '2': return Fixed(available, 76);
    case '(': return TwoByteLength(b, available);
    case 'q': { // FS q n, then n images of xL xH yL yH and x*y*8 bytes
        if (available < 3) return Need();
        long long at = 3;
        for (int image = 0; image < b[2]; ++image) {
            if (static_cast<long long>(available) < at + 4) return {Framing::NeedMore, at + 4};
            at += 4 + 8LL * (b[at] + 256LL * b[at + 1]) * (b[at + 2] + 256LL * b[at + 3]);
            if (at > cap) return {Framing::NeedMore, at};
        }
        return Fixed(available, at);
    }
    default: return Unknown(2);
    }
}

CommandSize MeasureGs(const unsigned char* b, std::size_t available) {
    if (available < 2) return Need();
    switch (b[1]) {
    case ':': case 'c': return Whole(2);
    case '!': case '/': case 'B': case 'E': case 'H': case 'I': case 'T': case 'a': case 'b':
    case 'f': case 'h': case 'j': case 'r': case 'w':
        return Fixed(available, 3);
    case '$': case 'L': case 'P': case 'W': case '\\': return Fixed(available, 4);
    case '^': return Fixed(available, 5);
    case 'z': return Fixed(available, 5);
    case 'g':
        if (available < 3) return Need();
        return b[2] == '0' || b[2] == '2' ? Fixed(available, 6) : Unknown(2);
    case '(': return TwoByteLength(b, available);
    case '8': { // GS 8 X p1 p2 p3 p4 [p bytes]
        if (available < 7) return Need();
        if (b[2] != 'L') return Unknown(2);
        long long length = b[3] + (static_cast<long long>(b[4]) << 8) +
                           (static_cast<long long>(b[5]) << 16) + (static_cast<long long>(b[6]) << 24);
        return Fixed(available, 7 + length);
    }
    case '*': // GS * x y [x*y*8 bytes]
        if (available < 4) return Need();
        return Fixed(available, 4 + 8LL * b[2] * b[3]);
    case 'V':
        if (available < 3) return Need();
        if (CutModeTakesFeed(b[2])) return Fixed(available, 4);
        return IsCutMode(b[2]) ? Whole(3) : Unknown(2);
    case 'k':
        if (available < 3) return Need();
        if (b[2] <= 6) return Terminated(b, available, 3);
        if (b[2] >= 65 && b[2] <= 79) {
            if (available < 4) return Need();
            return Fixed(available, 4 + b[3]);
        }
        return Unknown(2);
    case 'v':
        if (available < 8) return Need();
        if (b[2] != '0') return Unknown(2);
        return Fixed(available, 8 + (b[4] + 256LL * b[5]) * (b[6] + 256LL * b[7]));
    default: return Unknown(2);
    }
}

} // namespace

// The US family, by the command log's own table: its parameter bytes, and
// for US "*" the data its two count bytes announce, high byte first.
CommandSize MeasureUs(const unsigned char* b, std::size_t available) {
    if (available < 2) return Need();
    const PrefixCommand* known = FindPrefixCommand(b[0], b[1]);
    if (known == nullptr) return Unknown(2);
    const long long head = 2 + known->parameterBytes;
    if (!AnnouncesBitImageData(b[0], b[1])) return Fixed(available, head);
    if (available < 4) return Need();
    return Fixed(available, head + 256LL * b[2] + b[3]);
}

CommandSize MeasureCommand(const unsigned char* bytes, std::size_t available, long long cap, Dialect dialect) {
    if (available == 0) return Need();
    if (dialect == Dialect::CommandLog) {
        if (bytes[0] == US) return MeasureUs(bytes, available);
        if (bytes[0] == GS && available >= 2 && bytes[1] == 'V') return Whole(2);
    }
    switch (bytes[0]) {
    case DLE: return MeasureDle(bytes, available);
    case ESC: return MeasureEsc(bytes, available, cap);
    case FS: return MeasureFs(bytes, available, cap);
    case GS: return MeasureGs(bytes, available);
    case 0x00: case 0x09: case 0x0A: case 0x0C: case 0x0D: case 0x18: return Whole(1);
    default: return Unknown(1);
    }
}

} // namespace ostrel::receipt
