// The job driver: runs one selection of a command over the opened archive.
#pragma once
#include <stdint.h>

struct ExtractJob;

// Processes the entry called name (compared without regard to ASCII case or the kind of
// separator), or every entry when name is null; the outcome is the job's result.
void extract_archive(ExtractJob* job, const char* name);
