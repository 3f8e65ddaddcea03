// Output files: creation under the overwrite policy, replacement of existing files in one step,
// backups of replaced files, directories.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "archive/archive_handle.h"
#include "archive/central_directory.h"

struct ExtractJob;

// What the overwrite policy decided about an existing file.
enum ExistingFileDecision : int {
    kLeaveExisting = 0,   // the entry is not written (the job's result says why)
    kReplaceExisting = 1,
    kBackUpExisting = 2,  // moved to a backup name, then replaced
};

// The file an entry is written into. A new file is written at its own path. A file that is to
// take the place of an existing one is written beside it under a temporary name (hidden, of the
// form .varnoXXXXXXXX, made only where no file has that name and held open without sharing),
// and takes the existing file's place in one step once it is whole: a failed entry leaves the
// existing file as it was.
struct OutputFile {
    HANDLE handle;
    ExistingFileDecision existing;    // kLeaveExisting: there was none, the path is written
    DWORD existingAttributes;         // of a file to be replaced: protective ones go first
    wchar_t temporaryPath[kPathUnits];
};

// Creates the file an entry is extracted into, applying the job's existing-file policy and
// making missing directories. True with file's handle open for writing; false when there is
// none, the job's result then says why (0x8010: an existing file was left alone).
bool create_output_file(ExtractJob* job, wchar_t* path, EntryExtraInfo* extras, OutputFile* file);

// Completes a written file: a replacement takes the existing file's place (after its backup, or
// after its protective attributes are taken away), the entry's times are set, the file is
// closed. False when the replacement could not take its place: it is removed, the existing file
// is as it was, and the job's result and messages say why.
bool finish_output_file(ExtractJob* job, const wchar_t* path, OutputFile* file, const EntryExtraInfo* extras);

// Removes a file that a failed entry leaves (the replacement, or the new file) through its
// handle, and closes it.
void discard_output_file(OutputFile* file);

// Decides about an existing file. Asks the user in mode 0: directly on the caller's thread,
// through the archive's sharedState in a worker.
ExistingFileDecision resolve_existing_file(ExtractJob* job, const wchar_t* path, EntryExtraInfo* extras, DWORD error);

// Moves an existing file out of the way (a.txt to a~.txt, a~1.txt, ...); 0 or a system error.
DWORD backup_existing_file(const wchar_t* path);

// The last '\' or '/' of a path, found character by character; null when there is none.
wchar_t* last_separator(wchar_t* text);

// Makes path and its missing parents (path is changed in place: '/' at a split becomes '\').
// Returns 0 when the directory exists afterwards, else a system error.
DWORD make_directories(wchar_t* path);
