// The job's messages, filtered by the classes its command turned on.
#pragma once

#include "core/extract_job.h"

// Writes a message of one class of the archive's messageMask (bit 0 errors, 1 overwrite and
// skip notices, 2 extracted files, 3 thread diagnostics) into the job's sink; nothing when the
// command turned that class off.
bool job_wants_message(const ExtractJob* job, int bit);
void job_message(ExtractJob* job, int bit, const wchar_t* format, ...);
