// The entry pipeline: one entry from its local header to its output file or memory target.
#pragma once
#include <windows.h>
#include <stdint.h>

class ByteSource;
struct ExtractJob;

// The result an encrypted entry ends with when its data fail to decode: the job driver clears
// the password and extracts the entry again. Never returned to a caller.
constexpr int32_t kResultWrongPassword = 0xFB01;

// Extracts entry (a central header) through source, the calling thread's reader of the
// archive. name is the decoded name (kNameSize bytes, may be changed in place). The
// outcome is the job's result. An entry that ends with kResultWrongPassword is extracted
// again with the password it was tried with forgotten, so that the next password request asks
// the user.
void extract_entry_with_retries(ExtractJob* job, ByteSource* source, const uint8_t* entry, char* name);

struct ArchiveHandle;

// The entry's name in UTF-16 (kPathUnits units at wide), as its output path and its messages
// take it; name is the walk's decoded name, changed in place. False when it cannot be converted.
bool decode_entry_name(const ArchiveHandle* archive, const uint8_t* entry, char* name, wchar_t* wide);

// The part of a decoded name that is written below the output folder: a trailing separator (a
// directory's mark) taken away, in place, and with junkPaths only the last part of the path.
wchar_t* output_part(wchar_t* name, bool junkPaths, bool* trailingSeparator);
