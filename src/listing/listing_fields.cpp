#include "listing/listing_fields.h"

#include "archive/zip_format.h"
#include "listing/listing.h"

namespace {

// Writes value's decimal digits at out; returns the position after them (no terminator).
wchar_t* put_decimal(wchar_t* out, uint64_t value)
{
    wchar_t digits[kDecimalUnits];
    int n = 0;
    do {
        digits[n++] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value);
    while (n)
        *out++ = digits[--n];
    return out;
}

// One decimal digit of the fraction remainder / divisor (remainder < divisor): returns
// floor(10 * remainder / divisor) and leaves 10 * remainder mod divisor, without overflow.
uint32_t next_fraction_digit(uint64_t* remainder, uint64_t divisor)
{
    uint32_t digit = 0;
    uint64_t sum = 0;
    for (int i = 0; i < 10; ++i) {
        if (sum >= divisor - *remainder) {
            sum -= divisor - *remainder;
            ++digit;
        } else {
            sum += *remainder;
        }
    }
    *remainder = sum;
    return digit;
}

}  // namespace

void format_decimal(wchar_t* out, uint64_t value) { *put_decimal(out, value) = 0; }

void format_ratio(wchar_t* out, uint64_t uncompressed, uint64_t compressed)
{
    // compressed * 1000 / uncompressed = whole * 1000 + permille, computed in parts so that no
    // product overflows.
    uint64_t whole = 0;
    uint32_t permille = 0;
    if (uncompressed != 0) {
        whole = compressed / uncompressed;
        uint64_t remainder = compressed % uncompressed;
        for (int i = 0; i < 3; ++i)
            permille = permille * 10 + next_fraction_digit(&remainder, uncompressed);
    }
    // The integer part of |d| / 10 as text, and the digit of |d| mod 10.
    wchar_t integer[kRatioUnits];
    wchar_t* p = integer;
    uint32_t digit;
    if (uncompressed == 0 || whole == 0 || (whole == 1 && permille == 0)) {
        const uint32_t d = uncompressed == 0 ? 0 : 1000 - static_cast<uint32_t>(whole * 1000 + permille);
        p = put_decimal(p, d / 10);
        digit = d % 10;
    } else {
        // |d| = (whole - 1) * 1000 + permille, so |d| / 10 = (whole - 1) * 100 + permille / 10.
        *p++ = L'-';
        const uint32_t tenths = permille / 10;
        if (whole - 1 == 0) {
            p = put_decimal(p, tenths);
        } else {
            p = put_decimal(p, whole - 1);
            *p++ = static_cast<wchar_t>(L'0' + tenths / 10);
            *p++ = static_cast<wchar_t>(L'0' + tenths % 10);
        }
        digit = permille % 10;
    }
    const size_t length = static_cast<size_t>(p - integer);
    for (size_t pad = length; pad < 3; ++pad)
        *out++ = L' ';
    for (size_t i = 0; i < length; ++i)
        *out++ = integer[i];
    *out++ = L'.';
    *out++ = static_cast<wchar_t>(L'0' + digit);
    *out = 0;
}

namespace {

// The methods read through a library of their own, by their labels.
const struct {
    uint16_t method;
    const char* label;
} kLibraryMethods[] = {{12, "bzp2"}, {14, "lzma"}, {93, "zstd"}, {95, "xz"}};

const char* library_method_label(uint16_t method)
{
    for (const auto& known : kLibraryMethods)
        if (known.method == method)
            return known.label;
    return nullptr;
}

}  // namespace

void format_method_label(wchar_t* out, uint16_t method, uint16_t flags)
{
    static const wchar_t* const kLabels[8] = {L"stor", L"shrk", L"re:1", L"re:2", L"re:3", L"re:4", nullptr, L"tokn"};
    if (method == 6) {
        out[0] = L'i';
        out[1] = (flags & 2) ? L'8' : L'4';
        out[2] = L':';
        out[3] = (flags & 4) ? L'3' : L'2';
        out[4] = 0;
        return;
    }
    const wchar_t* label = nullptr;
    if (method < 8)
        label = kLabels[method];
    else if (method == 98)
        label = L"ppmd";
    if (label) {
        while ((*out++ = *label++) != 0) {
        }
        return;
    }
    if (const char* named = library_method_label(method)) {
        // Four characters like every other label: "xz" takes two blanks.
        int i = 0;
        for (; named[i]; ++i)
            out[i] = static_cast<wchar_t>(named[i]);
        for (; i < 4; ++i)
            out[i] = L' ';
        out[i] = 0;
        return;
    }
    if (method == 8 || method == 9) {
        const wchar_t* stem = method == 8 ? L"def" : L"d64";
        out[0] = stem[0];
        out[1] = stem[1];
        out[2] = stem[2];
        out[3] = L"NXFS"[(flags >> 1) & 3];
        out[4] = 0;
        return;
    }
    *out++ = L'u';
    if (method < 100)
        *out++ = L'0';
    if (method < 10)
        *out++ = L'0';
    *put_decimal(out, method) = 0;
}

void format_mode_text(char* out, uint16_t method, uint16_t flags)
{
    const bool labelled = (method >= 1 && method <= 6) || method == 98 || library_method_label(method);
    wchar_t label[kMethodUnits];
    format_method_label(label, method, flags);
    const wchar_t* text = labelled ? label : L"Deflate";
    size_t i = 0;
    for (; text[i] && text[i] != L' '; ++i)
        out[i] = static_cast<char>(text[i]);
    out[i] = 0;
}

const wchar_t* host_label(uint32_t host)
{
    static const wchar_t* const kHosts[20] = {L"fat", L"ami", L"vms", L"unx", L"cms", L"atr", L"hpf",
                                              L"mac", L"zzz", L"cpm", L"t20", L"ntf", L"qds", L"aco",
                                              L"vft", L"mvs", L"be ", L"nsk", L"ths", L"osx"};
    return host < 20 ? kHosts[host] : L"???";
}

void format_version(wchar_t* out, uint16_t versionMadeBy)
{
    const uint32_t version = versionMadeBy & 0xFF;
    out = put_decimal(out, version / 10);
    *out++ = L'.';
    *out++ = static_cast<wchar_t>(L'0' + version % 10);
    *out++ = L' ';
    const wchar_t* label = host_label(versionMadeBy >> 8);
    while ((*out++ = *label++) != 0) {
    }
}

void format_attributes(const uint8_t* entry, wchar_t* text, bool longForm)
{
    const uint32_t host = entry[central::versionMadeBy + 1];
    const uint32_t external = read_u32(entry + central::externalAttributes);
    wchar_t* p = text;
    if (host == 0 || host == 11) {
        const uint32_t dos = external & 0xFF;
        if (longForm) {
            *p++ = (dos & 0x10) ? L'd' : L'-';
            *p++ = L'r';
            *p++ = (dos & 0x01) ? L'-' : L'w';
            *p++ = (dos & 0x10) ? L'x' : L'-';
            *p++ = (dos & 0x20) ? L'a' : L'-';
            *p++ = (dos & 0x02) ? L'h' : L'-';
            *p++ = (dos & 0x04) ? L's' : L'-';
        } else {
            *p++ = (dos & 0x20) ? L'a' : L'-';
            *p++ = (dos & 0x04) ? L's' : L'-';
            *p++ = (dos & 0x02) ? L'h' : L'-';
            *p++ = (dos & 0x01) ? L'-' : L'w';
        }
    } else if (host == 3 || host == 19) {
        const uint32_t mode = external >> 16;
        switch (mode & 0xF000) {
        case 0x1000: *p++ = L'p'; break;
        case 0x2000: *p++ = L'c'; break;
        case 0x4000: *p++ = L'd'; break;
        case 0x6000: *p++ = L'b'; break;
        case 0x8000: *p++ = L'-'; break;
        case 0xA000: *p++ = L'l'; break;
        case 0xC000: *p++ = L's'; break;
        default: *p++ = L'?'; break;
        }
        *p++ = (mode & 0x100) ? L'r' : L'-';
        *p++ = (mode & 0x80) ? L'w' : L'-';
        *p++ = (mode & 0x40) ? ((mode & 0x800) ? L's' : L'x') : ((mode & 0x800) ? L'S' : L'-');
        if (longForm) {
            *p++ = (mode & 0x20) ? L'r' : L'-';
            *p++ = (mode & 0x10) ? L'w' : L'-';
            *p++ = (mode & 0x08) ? ((mode & 0x400) ? L's' : L'x') : ((mode & 0x400) ? L'S' : L'-');
        }
    } else {
        for (int i = longForm ? 7 : 4; i > 0; --i)
            *p++ = L'-';
    }
    *p = 0;
}

size_t json_escape(wchar_t* out, size_t capacity, const wchar_t* text)
{
    static const wchar_t kHex[] = L"0123456789abcdef";
    if (capacity == 0)
        return 0;
    size_t used = 0;
    for (; *text; ++text) {
        const uint32_t c = static_cast<uint32_t>(*text);
        wchar_t escaped[6];
        size_t n = 0;
        if (c == L'"' || c == L'\\') {
            escaped[n++] = L'\\';
            escaped[n++] = static_cast<wchar_t>(c);
        } else if (c < 0x20) {
            escaped[n++] = L'\\';
            switch (c) {
            case 0x08: escaped[n++] = L'b'; break;
            case 0x0C: escaped[n++] = L'f'; break;
            case 0x0A: escaped[n++] = L'n'; break;
            case 0x0D: escaped[n++] = L'r'; break;
            case 0x09: escaped[n++] = L't'; break;
            default:
                escaped[n++] = L'u';
                escaped[n++] = L'0';
                escaped[n++] = L'0';
                escaped[n++] = kHex[c >> 4];
                escaped[n++] = kHex[c & 15];
                break;
            }
        } else {
            escaped[n++] = static_cast<wchar_t>(c);
        }
        if (used + n + 1 > capacity)
            break;
        for (size_t i = 0; i < n; ++i)
            out[used++] = escaped[i];
    }
    out[used] = 0;
    return used;
}

namespace {

// Appends text at out[*used] within capacity (keeping room for the terminator).
void append_text(wchar_t* out, size_t capacity, size_t* used, const wchar_t* text)
{
    for (; *text && *used + 1 < capacity; ++text)
        out[(*used)++] = *text;
    out[*used] = 0;
}

void append_right_aligned(wchar_t* out, size_t capacity, size_t* used, const wchar_t* text, size_t width)
{
    size_t length = 0;
    while (text[length])
        ++length;
    for (; length < width && *used + 1 < capacity; ++length)
        out[(*used)++] = L' ';
    append_text(out, capacity, used, text);
}

}  // namespace

size_t compose_json_line(wchar_t* out, size_t capacity, const wchar_t* size, const wchar_t* compressed,
                         const wchar_t* date, const wchar_t* name)
{
    if (capacity == 0)
        return 0;
    size_t used = 0;
    out[0] = 0;
    append_text(out, capacity, &used, L"{\"size\": ");
    append_right_aligned(out, capacity, &used, size, 8);
    append_text(out, capacity, &used, L", \"comp\": ");
    append_right_aligned(out, capacity, &used, compressed, 8);
    append_text(out, capacity, &used, L", \"date\": \"");
    used += json_escape(out + used, capacity - used, date);
    append_text(out, capacity, &used, L"\", \"name\": \"");
    used += json_escape(out + used, capacity - used, name);
    append_text(out, capacity, &used, L"\"},");
    return used;
}
