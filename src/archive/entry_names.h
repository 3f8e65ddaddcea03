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

// Replaces every '/' by '\' in place.
void to_backslashes(char* text);

// Copies until the source terminator or capacity - 1 bytes; always terminates. Returns the
// position of the terminator in dest.
char* copy_bounded(char* dest, const char* source, size_t capacity);
