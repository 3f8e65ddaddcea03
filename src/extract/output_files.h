// Output files: creation under the overwrite policy, backups of replaced files, directories.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "archive/central_directory.h"

struct ExtractJob;

// Creates the file an entry is extracted into, applying the job's existing-file policy and
// making missing directories. Returns the file opened for writing, or null; the job's result
// then says why (0x8010: it exists and was left alone).
HANDLE create_output_file(ExtractJob* job, wchar_t* path, EntryExtraInfo* extras);

// Decides about an existing file: 1 replace it, 0 leave it (the job's result is set). Asks the
// user in mode 0: directly on the caller's thread, through the archive's sharedState in a worker.
int resolve_existing_file(ExtractJob* job, const wchar_t* path, EntryExtraInfo* extras, DWORD error);

// Moves an existing file out of the way (a.txt to a~.txt, a~1.txt, ...); 0 or a system error.
DWORD backup_existing_file(const wchar_t* path);

// The last '\' or '/' of a path, found character by character; null when there is none.
wchar_t* last_separator(wchar_t* text);

// Makes path and its missing parents (path is changed in place: '/' at a split becomes '\').
// Returns 0 when the directory exists afterwards, else a system error.
DWORD make_directories(wchar_t* path);
