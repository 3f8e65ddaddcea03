// Listing layouts: one line per entry in the layout the archive's listMode selects.
#pragma once
#include <stdint.h>

struct ExtractJob;

// Writes the entry's line into the job's sink; name is the decoded name from
// next_central_entry, changed in place by to_backslashes unless keepSlashes is set.
int32_t format_listing_line(ExtractJob* job, const uint8_t* entry, char* name);

// The attribute text of an entry: 4 characters in the short form, 7 in the long form,
// terminated; text has room for 8 UTF-16 units.
void format_attributes(const uint8_t* entry, wchar_t* text, bool longForm);
