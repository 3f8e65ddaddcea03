#include "core/format_text.h"

#include <stdint.h>

namespace {

// Appends to a bounded buffer; what does not fit is dropped.
struct Output {
    wchar_t* out;
    int room;  // units left before the terminator
    int length;
    void put(wchar_t c)
    {
        if (length < room)
            out[length++] = c;
    }
    void repeat(wchar_t c, int count)
    {
        for (int i = 0; i < count; ++i)
            put(c);
    }
};

struct Spec {
    bool left = false;
    bool zero = false;
    int width = 0;
    int precision = 0;
};

// The digits of a number with its sign, most significant first; returns their count.
int number_text(wchar_t type, int32_t value, wchar_t* digits)
{
    const bool negative = (type == L'd' || type == L'i') && value < 0;
    uint32_t magnitude = negative ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    const uint32_t base = (type == L'x' || type == L'X') ? 16 : 10;
    const char* symbols = type == L'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    wchar_t reversed[16];
    int n = 0;
    do {
        reversed[n++] = static_cast<wchar_t>(symbols[magnitude % base]);
        magnitude /= base;
    } while (magnitude);
    int length = 0;
    if (negative)
        digits[length++] = L'-';
    while (n)
        digits[length++] = reversed[--n];
    return length;
}

void put_field(Output& o, const Spec& spec, const wchar_t* text, int length, int minimum, bool signFirst)
{
    const int padding = spec.width > minimum ? spec.width - minimum : 0;
    if (!spec.left)
        o.repeat(L' ', padding);
    int start = 0;
    if (signFirst && length && text[0] == L'-') {
        o.put(L'-');
        start = 1;
    }
    o.repeat(L'0', minimum - length);
    for (int i = start; i < length; ++i)
        o.put(text[i]);
    if (spec.left)
        o.repeat(L' ', padding);
}

int parse_number(const wchar_t*& p)
{
    int value = 0;
    while (*p >= L'0' && *p <= L'9') {
        if (value < 100000)
            value = value * 10 + (*p - L'0');
        ++p;
    }
    return value;
}

}  // namespace

int format_text(wchar_t* out, int units, const wchar_t* format, va_list args)
{
    Output o{out, units - 1, 0};
    const wchar_t* p = format;
    while (*p && o.length < o.room) {
        if (*p != L'%') {
            o.put(*p++);
            continue;
        }
        ++p;
        Spec spec;
        if (*p == L'-') {
            spec.left = true;
            ++p;
        }
        if (*p == L'0') {
            spec.zero = !spec.left;
            ++p;
        }
        // A field never asks for more room than is left, so that its value is not pushed out.
        const int room = o.room - o.length;
        spec.width = parse_number(p);
        if (spec.width > room)
            spec.width = room;
        if (*p == L'.') {
            ++p;
            spec.precision = parse_number(p);
        }
        const wchar_t type = *p;
        switch (type) {
        case L's': {
            const wchar_t* text = va_arg(args, const wchar_t*);
            if (!text)
                text = L"(null)";
            int length = 0;
            while (text[length] && (spec.precision <= 0 || length < spec.precision) && length < room)
                ++length;
            put_field(o, spec, text, length, length, false);
            break;
        }
        case L'c': {
            const wchar_t c = static_cast<wchar_t>(va_arg(args, int));
            put_field(o, spec, &c, 1, 1, false);
            break;
        }
        case L'd':
        case L'i':
        case L'u':
        case L'x':
        case L'X': {
            wchar_t digits[16];
            const int length = number_text(type, va_arg(args, int32_t), digits);
            int minimum = spec.precision > length ? spec.precision : length;
            if (minimum > room)
                minimum = room > length ? room : length;
            if (spec.zero && spec.width > minimum)
                minimum = spec.width;
            put_field(o, spec, digits, length, minimum, true);
            break;
        }
        case L'%':
            o.put(L'%');
            break;
        default:
            // No conversion: a right-aligned width still pads, and the character is kept as text.
            if (!spec.left)
                o.repeat(L' ', spec.width - spec.precision);
            continue;
        }
        ++p;
    }
    out[o.length] = 0;
    return o.length;
}
