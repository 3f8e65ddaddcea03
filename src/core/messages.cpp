#include "core/messages.h"

#include <string.h>

#include "core/desktop.h"
#include "core/format_text.h"
#include "core/library_state.h"

namespace {
constexpr int kFormattedUnits = 1024;  // as wvsprintfW's buffer: 1023 characters and the NUL
constexpr int kConvertedBytes = 1536;
}  // namespace

void init_message_sink(MessageSink* sink, char* buffer, uint64_t size)
{
    sink->cursor = buffer;
    sink->start = buffer;
    sink->remaining = (buffer && size) ? size - 1 : 0;
    sink->result = 0;
    if (buffer && size)
        buffer[0] = 0;
}

bool append_sink_text(MessageSink* sink, const char* text, uint64_t length)
{
    if (sink->remaining < length + 2) {
        sink->remaining = 0;
        return false;
    }
    if (sink->cursor != sink->start) {
        sink->cursor[0] = '\r';
        sink->cursor[1] = '\n';
        sink->cursor += 2;
        sink->remaining -= 2;
    }
    memcpy(sink->cursor, text, length);
    sink->cursor[length] = 0;
    sink->cursor += length;
    sink->remaining -= length;
    return true;
}

int32_t write_message_v(MessageSink* sink, const wchar_t* format, va_list args)
{
    wchar_t text[kFormattedUnits];
    format_text(text, kFormattedUnits, format, args);
    if (!sink)
        return show_warning_box(text);

    char converted[kConvertedBytes];
    const int bytes = WideCharToMultiByte(name_code_page(), 0, text, -1, converted, sizeof converted,
                                          nullptr, nullptr);
    if (bytes <= 1)
        return 0;
    const int32_t n = bytes - 1;
    append_sink_text(sink, converted, static_cast<uint64_t>(n));
    return n;
}

int32_t show_warning_box(const wchar_t* text)
{
    if (!desktop_usable())
        return 0;  // MessageBoxW's failure result: there is nobody to show it to
    return MessageBoxW(nullptr, text, L"varno.dll", MB_ICONWARNING);
}

int32_t write_message(MessageSink* sink, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    const int32_t n = write_message_v(sink, format, args);
    va_end(args);
    return n;
}
