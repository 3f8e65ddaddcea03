// The text fields of a listing line that depend only on the entry's bytes: numbers, the ratio,
// method and host labels, the version, and JSON string escaping. UTF-16 on Windows; wchar_t of
// the build elsewhere, so that they run natively under the sanitizers too.
#pragma once
#include <stddef.h>
#include <stdint.h>

constexpr size_t kDecimalUnits = 21;  // the longest 64-bit decimal and its terminator
constexpr size_t kRatioUnits = 32;
constexpr size_t kMethodUnits = 8;
constexpr size_t kVersionUnits = 12;

// Unsigned decimal without grouping.
void format_decimal(wchar_t* out, uint64_t value);

// Space saved in per mille, d = 1000 - compressed * 1000 / uncompressed (truncating; 0 for an
// empty entry), as "%3d.%d" of d / 10 and |d| mod 10 with the sign in front: "  0.0", " 70.0",
// "100.0", "-23.4", " -0.5". Exact for every pair of 64-bit sizes.
void format_ratio(wchar_t* out, uint64_t uncompressed, uint64_t compressed);

// "stor", "shrk", "re:1".."re:4", "i4:2".."i8:3" (Implode's dictionary size in KiB from flag
// bit 1 and its count of trees from flag bit 2), "tokn", "def" and "d64" with the option letter
// of flag bits 1-2 (N, X, F, S), "bzp2", "lzma", "zstd" (93), "xz  " (95), "ppmd", else "u%03u"
// of the method number.
void format_method_label(wchar_t* out, uint16_t method, uint16_t flags);

// The mode text of the UnZip family's entry record (kModeBytes with the terminator): the label
// without blanks of the methods read beyond stored, Deflate and Deflate64, "Deflate" for those
// and for the methods not read (as hosts have always read it).
constexpr size_t kModeBytes = 8;
void format_mode_text(char* out, uint16_t method, uint16_t flags);

// Three-character label of the host system in the high byte of version made by; "???" from 20.
const wchar_t* host_label(uint32_t host);

// "%u.%u %s" of version made by: low byte / 10, low byte mod 10, host label.
void format_version(wchar_t* out, uint16_t versionMadeBy);

// Writes text as the inside of a JSON string: '"' and '\' escaped, control characters as \b,
// \f, \n, \r, \t or \u00XX. Writes nothing that does not fit whole into capacity units with
// the terminator; returns the units written without the terminator.
size_t json_escape(wchar_t* out, size_t capacity, const wchar_t* text);

// The JSON layout's line: {"size": %8s, "comp": %8s, "date": "%s", "name": "%s"}, with date and
// name escaped. Sized for any name: kJsonLineUnits holds an escaped name of 1199 units.
constexpr size_t kJsonLineUnits = 6 * 1200 + 128;
size_t compose_json_line(wchar_t* out, size_t capacity, const wchar_t* size, const wchar_t* compressed,
                         const wchar_t* date, const wchar_t* name);
