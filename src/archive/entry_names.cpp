#include "archive/entry_names.h"

#include <string.h>

#include "archive/zip_format.h"

namespace {

constexpr uint16_t kUnicodePathTag = 0x7075;
constexpr uint32_t kUnicodePathHead = 5;  // version byte and CRC-32 of the header name

inline bool is_separator(char c) { return c == '/' || c == '\\'; }

inline bool is_neutralised_byte(unsigned char c)
{
    return c < 0x20 || c == '"' || c == ':' || c == '<' || c == '>' || c == 0x7F;
}

// Windows drops trailing dots and blanks of path segments, so a segment of dots and blanks
// with two or more dots may end up as "..".
void neutralise_dot_segment(char* begin, char* end)
{
    int dots = 0;
    for (const char* p = begin; p < end; ++p) {
        if (*p == '.')
            ++dots;
        else if (*p != ' ')
            return;
    }
    if (dots < 2)
        return;
    for (char* p = begin; p < end; ++p) {
        if (*p == '.')
            *p = '#';
    }
}

inline char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Windows opens a device, not a file, for a segment named CON, PRN, AUX, NUL, COM1 to COM9,
// LPT1 to LPT9, CONIN$ or CONOUT$, whatever its extension and trailing blanks; such a segment
// gets '#' for its first byte.
void neutralise_device_segment(char* begin, char* end)
{
    const char* stem = begin;
    const char* stemEnd = begin;
    while (stemEnd < end && *stemEnd != '.')
        ++stemEnd;
    while (stemEnd > stem && stemEnd[-1] == ' ')
        --stemEnd;
    const size_t length = static_cast<size_t>(stemEnd - stem);
    char word[8] = {};
    if (length < 3 || length > 7)
        return;
    for (size_t i = 0; i < length; ++i)
        word[i] = upper(stem[i]);
    // The superscript digits count too: 0xB9, 0xB2, 0xB3 in the ANSI code page, C2 B9... in UTF-8.
    auto numbered = [&](const char* prefix) {
        if (memcmp(word, prefix, 3) != 0)
            return false;
        const unsigned char d = static_cast<unsigned char>(word[3]);
        if (length == 4)
            return (d >= '1' && d <= '9') || d == 0xB9 || d == 0xB2 || d == 0xB3;
        const unsigned char e = static_cast<unsigned char>(word[4]);
        return length == 5 && d == 0xC2 && (e == 0xB9 || e == 0xB2 || e == 0xB3);
    };
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    bool device = numbered("COM") || numbered("LPT");
    for (const char* name : kDevices)
        device = device || (strlen(name) == length && memcmp(word, name, length) == 0);
    if (device)
        *begin = '#';
}

}  // namespace

void neutralise_name(char* name)
{
    // A leading separator names the root of the current drive, two of them a server.
    size_t skip = 0;
    while (is_separator(name[skip]))
        ++skip;
    if (skip)
        memmove(name, name + skip, strlen(name + skip) + 1);

    for (char* p = name; *p;) {
        if (is_neutralised_byte(static_cast<unsigned char>(*p))) {
            *p++ = '#';
        } else if (p[0] == '.' && p[1] == '.' && (p[2] == 0 || is_separator(p[2]))) {
            p[0] = p[1] = '#';
            p += 2;
        } else {
            ++p;
        }
    }

    char* segment = name;
    for (char* p = name;; ++p) {
        if (*p == 0 || is_separator(*p)) {
            neutralise_dot_segment(segment, p);
            neutralise_device_segment(segment, p);
            if (*p == 0)
                break;
            segment = p + 1;
        }
    }
}

bool looks_like_utf8(const char* text)
{
    bool multiByte = false;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p;) {
        const unsigned char lead = *p++;
        if (lead < 0x80)
            continue;
        int continuation;
        if (lead >= 0xC0 && lead <= 0xDF)
            continuation = 1;
        else if (lead >= 0xE0 && lead <= 0xEF)
            continuation = 2;
        else if (lead >= 0xF0 && lead <= 0xF7)
            continuation = 3;
        else
            return false;  // a continuation byte in lead position, or 0xF8 and above
        for (; continuation > 0; --continuation, ++p) {
            if (*p < 0x80 || *p > 0xBF)
                return false;  // also the terminator: a sequence cut short
        }
        multiByte = true;
    }
    return multiByte;
}

const uint8_t* take_central_entry(CentralCursor* cursor, char* name, bool* nameIsUtf8)
{
    const uint8_t* header = cursor->current;
    const uint8_t* end = cursor->end;
    if (!header || header > end || static_cast<size_t>(end - header) < kCentralHeaderSize ||
        read_u32(header) != kCentralHeaderSignature)
        return nullptr;

    const uint16_t flags = read_u16(header + central::flags);
    const uint32_t nameLength = read_u16(header + central::nameLength);
    const uint32_t extraLength = read_u16(header + central::extraLength);
    const size_t recordLength =
        kCentralHeaderSize + nameLength + extraLength + read_u16(header + central::commentLength);
    if (recordLength > static_cast<size_t>(end - header)) {
        cursor->current = end;  // the record runs past the range: the walk is over
        return nullptr;
    }
    cursor->current = header + recordLength;

    const uint8_t* source = header + kCentralHeaderSize;
    size_t sourceLength = nameLength;
    bool utf8 = (flags & kFlagUtf8Name) != 0;

    // The first Unicode-path record that lies wholly inside the extra block names the entry.
    const uint8_t* extra = source + nameLength;
    for (uint32_t at = 0; extraLength - at >= 4;) {
        const uint16_t tag = read_u16(extra + at);
        const uint32_t size = read_u16(extra + at + 2);
        if (size > extraLength - at - 4)
            break;
        if (tag == kUnicodePathTag) {
            if (size < kUnicodePathHead)
                return nullptr;  // counts as an over-long name
            source = extra + at + 4 + kUnicodePathHead;
            sourceLength = size - kUnicodePathHead;
            utf8 = true;
            break;
        }
        at += 4 + size;
    }

    if (sourceLength >= kNameSize)
        return nullptr;
    memcpy(name, source, sourceLength);
    name[sourceLength] = 0;
    if (cursor->safePaths)
        neutralise_name(name);
    *nameIsUtf8 = utf8 || looks_like_utf8(name);
    return header;
}

size_t decode_utf8(const char* text, char16_t* out)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    size_t n = 0;
    while (*p) {
        const unsigned char lead = *p;
        int length = 1;
        uint32_t code = lead;
        uint32_t lowest = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, code = lead & 0x1F, lowest = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, code = lead & 0x0F, lowest = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, code = lead & 0x07, lowest = 0x10000;
        } else if (lead >= 0x80) {
            length = 0;  // a continuation byte in lead position, C0, C1, F5 and above
        }
        for (int i = 1; i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80) {
                length = 0;  // cut short (the terminator included)
                break;
            }
            code = code << 6 | (p[i] & 0x3F);
        }
        if (length > 1 && (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)))
            length = 0;
        if (length == 0) {
            out[n++] = 0xFFFD;
            ++p;
            continue;
        }
        if (code >= 0x10000) {
            out[n++] = static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            out[n++] = static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out[n++] = static_cast<char16_t>(code);
        }
        p += length;
    }
    out[n] = 0;
    return n;
}

void to_backslashes(char* text)
{
    for (; *text; ++text) {
        if (*text == '/')
            *text = '\\';
    }
}

char* copy_bounded(char* dest, const char* source, size_t capacity)
{
    if (capacity == 0)
        return dest;
    size_t n = 0;
    while (n + 1 < capacity && source[n]) {
        dest[n] = source[n];
        ++n;
    }
    dest[n] = 0;
    return dest + n;
}
