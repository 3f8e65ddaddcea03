// Entry names: the walk step that yields each central header with its decoded name, and the
// small text helpers that consumers apply to names.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "archive/central_directory.h"

// A decoded name has at most 1199 bytes and its terminator.
constexpr size_t kNameSize = 1200;

// Takes the next central header of the cursor's range and decodes its name into `name`
// (kNameSize bytes, in the name code page; dangerous bytes neutralised when the cursor's
// safePaths is set). Returns the header, or null when the walk is over. Advances the cursor.
const uint8_t* next_central_entry(CentralCursor* cursor, char* name);

// The byte-level part of next_central_entry, without the code-page conversion: takes the next
// header, copies its name (from the header or a Unicode-path record) into `name`, terminated
// and neutralised when safePaths is set, and tells whether the name counts as UTF-8 (flagged,
// from a Unicode-path record, or valid UTF-8 with at least one multi-byte sequence).
const uint8_t* take_central_entry(CentralCursor* cursor, char* name, bool* nameIsUtf8);

// Neutralises a terminated name in place so that it cannot leave the folder it is extracted
// into: leading separators are dropped; control bytes, '"', ':', '<', '>' and 0x7F become '#';
// two dots followed by a separator or the end become "##"; a path segment made only of dots
// and blanks with at least two dots (what Windows folds into "..") has its dots made '#'; a
// segment that names a device (CON, NUL, COM1, aux.c, ...) gets '#' for its first byte.
// The result is never longer than the input, and a second pass changes nothing.
void neutralise_name(char* name);

// True when text (terminated) holds at least one well-formed UTF-8 multi-byte sequence and
// nothing that is not UTF-8.
bool looks_like_utf8(const char* text);

// Decodes terminated UTF-8 text into out, which has room for at least strlen(text) + 1 units
// (no byte gives more than one): each well-formed sequence becomes its character (above U+FFFF
// a surrogate pair), each byte of an ill-formed one (overlong, surrogate, above U+10FFFF, cut
// short, a stray continuation byte) U+FFFD, so that an ASCII character comes only from an
// ASCII byte. Terminates out and returns the units before the terminator.
size_t decode_utf8(const char* text, char16_t* out);

// Replaces every '/' by '\' in place.
void to_backslashes(char* text);

// Copies until the source terminator or capacity - 1 bytes; always terminates. Returns the
// position of the terminator in dest.
char* copy_bounded(char* dest, const char* source, size_t capacity);
