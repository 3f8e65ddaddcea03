// Messages: every report of the library goes through write_message into a job's sink.
#pragma once
#include <windows.h>
#include <stdarg.h>
#include <stdint.h>

// A text buffer of the caller (or of a worker) and the job's result code.
struct MessageSink {
    char* cursor;        // next write position; the text before it is terminated
    char* start;
    uint64_t remaining;  // free bytes, less one kept for the terminator; 0 closes the sink
    int32_t result;
};

// Starts a sink over a caller's buffer: its first byte becomes the terminator.
void init_message_sink(MessageSink* sink, char* buffer, uint64_t size);

// Formats in the syntax of wvsprintfW (format_text, 1023 characters at most), converts to the
// name code page and appends the text, CR LF before it unless it is the first. A message that
// does not fit closes the sink. Without a sink the text goes to show_warning_box.
// Returns the converted length, 0 when nothing was converted, or the message box's result.
int32_t write_message(MessageSink* sink, const wchar_t* format, ...);
int32_t write_message_v(MessageSink* sink, const wchar_t* format, va_list args);

// Shows text in a warning message box titled "varno.dll" and returns its result; returns 0 at
// once when no desktop is usable, where a box would wait for ever.
int32_t show_warning_box(const wchar_t* text);

// Appends text that is already in the name code page, by the same rule as a message.
// Returns false when it did not fit (the sink is then closed).
bool append_sink_text(MessageSink* sink, const char* text, uint64_t length);
