#include "extract/output_files.h"

#include <string.h>
#include <wchar.h>

#include "archive/archive_handle.h"
#include "core/extract_job.h"
#include "core/messages.h"
#include "extract/job_messages.h"
#include "resources/resource_ids.h"
#include "ui/overwrite_dialog.h"
#include "varno_results.h"

namespace {

constexpr DWORD kProtectiveAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
constexpr int kExtensionUnits = 260;  // longest extension kept apart, terminator included
constexpr int kSuffixUnits = 260;
constexpr int kReportUnits = 1100;    // wsprintfW writes at most 1024 units and the NUL
constexpr DWORD kSystemTextUnits = 1024;
constexpr LONG kDialogClaimed = -1;
constexpr LONG kDialogRequested = -2;
constexpr LONG kDialogAnswered = -3;
constexpr DWORD kPollMs = 100;
constexpr int kTemporaryNameUnits = 15;  // ".varno", eight hex digits and the NUL
constexpr int kTemporaryNameTries = 64;

// Numbers of temporary names, counted process-wide; the process id in their upper half keeps
// apart those of processes writing into one folder at the same time.
volatile LONG temporarySerial = 0;

// The archive's overwrite mode is shared by every thread of a job: read afresh, written atomically.
int32_t current_overwrite_mode(const ArchiveHandle* archive)
{
    return *static_cast<const volatile int32_t*>(&archive->options.overwriteMode);
}

void set_overwrite_mode(ArchiveHandle* archive, int32_t mode)
{
    InterlockedExchange(reinterpret_cast<volatile LONG*>(&archive->options.overwriteMode), mode);
}

// The overwrite mode that an answer for all files turns on; 0 for every other answer.
int32_t mode_for_all_files(INT_PTR answer)
{
    switch (answer) {
    case IDC_OVERWRITE_ALL: return 2;
    case IDC_SKIP_ALL: return 1;
    case IDC_OVERWRITE_NEWER_ALL: return 3;
    case IDC_BACKUP_EXISTING: return 4;
    default: return 0;
    }
}

bool is_cancel(INT_PTR answer)
{
    return answer != 0 && answer != IDYES && answer != IDNO && mode_for_all_files(answer) == 0;
}

// Reports a creation failure: the path, the system's text for the error and its number, in
// the job's messages and in a warning box. The box is shown by whichever thread failed,
// workers included: the result stops that thread, so each thread shows one box at most, and
// it holds no shared state while the box waits, so the caller's thread and the other workers
// go on. For a host without an output buffer the box is the only report of the failure.
bool report_creation_failure(ExtractJob* job, const wchar_t* path, DWORD error)
{
    if (job_wants_message(job, 0)) {
        wchar_t text[kSystemTextUnits + 1];
        const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                       0x0800, text, kSystemTextUnits, nullptr);
        if (n < 3 || n > kSystemTextUnits) {
            const wchar_t unknown[] = L"Unknown error";
            for (int i = 0; i < static_cast<int>(sizeof unknown / sizeof unknown[0]); ++i)
                text[i] = unknown[i];
        } else {
            text[n] = 0;
        }
        wchar_t line[kReportUnits];
        line[0] = 0;
        wsprintfW(line, L"%s :\n%s(%d)", path, text, static_cast<int>(error));
        write_message(&job->sink, L"%s", line);
        show_warning_box(line);
    }
    job->sink.result = VARNO_ERROR_OUTPUT_FILE;
    return false;
}

// A worker's question to the caller's thread, which shows the dialog. Returns 1 with the
// answer in *answer, or 0 when the question was not asked or not answered; then either
// *mode holds an overwrite mode that another worker's answer for all files has set
// meanwhile, or the job's result says why (an abort code, 0x8FFF, or 0x8020 after the
// user cancelled through this question).
int ask_through_caller(ExtractJob* job, OverwritePrompt* prompt, INT_PTR* answer, int32_t* mode)
{
    ArchiveHandle* archive = job->archive;
    *mode = 0;
    for (;;) {
        const LONG previous = InterlockedCompareExchange(&archive->sharedState, kDialogClaimed, 0);
        if (previous == 0) {
            // An answer for all files may have come in between the caller's reading of the
            // mode and this claim: then nobody is asked again.
            const int32_t now = current_overwrite_mode(archive);
            if (now == 0)
                break;
            InterlockedCompareExchange(&archive->sharedState, 0, kDialogClaimed);
            *mode = now;
            return 0;
        }
        if (previous > 0) {
            job->sink.result = previous;
            return 0;
        }
        Sleep(kPollMs);
        const int32_t now = current_overwrite_mode(archive);
        if (now != 0) {
            *mode = now;
            return 0;
        }
    }

    InterlockedExchange64(reinterpret_cast<volatile LONG64*>(&archive->dialogParam),
                          static_cast<LONG64>(reinterpret_cast<uintptr_t>(prompt)));
    const LONG claimed = InterlockedCompareExchange(&archive->sharedState, kDialogRequested, kDialogClaimed);
    if (claimed != kDialogClaimed) {
        job->sink.result = claimed > 0 ? claimed : VARNO_ERROR_DIALOG_STATE;
        return 0;
    }

    for (;;) {
        const LONG state = archive->sharedState;
        if (state > 0) {
            job->sink.result = state;
            return 0;
        }
        if (state == kDialogAnswered)
            break;
        if (state != kDialogRequested) {
            job->sink.result = VARNO_ERROR_DIALOG_STATE;
            return 0;
        }
        Sleep(kPollMs);
    }

    *answer = static_cast<int32_t>(archive->dialogResult);
    const int32_t allFiles = mode_for_all_files(*answer);
    if (allFiles)
        set_overwrite_mode(archive, allFiles);
    InterlockedExchange(reinterpret_cast<volatile LONG*>(&archive->dialogResult), 0);
    if (is_cancel(*answer)) {
        // The channel goes straight from answered to the abort code, so that no waiting
        // worker can claim it in between and put a second question to a cancelled job.
        job_message(job, 0, L"User cancel");
        InterlockedCompareExchange(&archive->sharedState, VARNO_ERROR_CANCELLED, kDialogAnswered);
        job->sink.result = VARNO_ERROR_CANCELLED;
        return 0;
    }
    InterlockedCompareExchange(&archive->sharedState, 0, kDialogAnswered);
    return 1;
}

// The file an entry replaces goes on standing until the entry is whole; until then the entry is
// written into a temporary file in the same folder, for a rename to put in its place.
bool create_replacement(ExtractJob* job, const wchar_t* path, OutputFile* file)
{
    wchar_t* temporary = file->temporaryPath;
    int32_t length = 0;
    while (length < kPathUnits - 1 && path[length]) {
        temporary[length] = path[length];
        ++length;
    }
    temporary[length] = 0;
    wchar_t* separator = last_separator(temporary);
    wchar_t* name = separator ? separator + 1 : temporary;
    if ((name - temporary) + kTemporaryNameUnits > kPathUnits)
        return report_creation_failure(job, path, ERROR_FILENAME_EXCED_RANGE);
    const uint32_t process = GetCurrentProcessId() << 16;
    DWORD error = ERROR_FILE_EXISTS;
    for (int i = 0; i < kTemporaryNameTries && error == ERROR_FILE_EXISTS; ++i) {
        // A name taken by a file of an earlier, killed run is passed over.
        wsprintfW(name, L".varno%08X", process + static_cast<uint32_t>(InterlockedIncrement(&temporarySerial)));
        HANDLE handle = CreateFileW(temporary, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                    FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            file->handle = handle;
            return true;
        }
        error = GetLastError();
    }
    temporary[0] = 0;
    return report_creation_failure(job, path, error);
}

// An existing file at path: the policy decides, and a file to be replaced gets its replacement.
// A protected file is put to the policy twice, the second time for its protection.
bool prepare_replacement(ExtractJob* job, const wchar_t* path, EntryExtraInfo* extras, OutputFile* file, DWORD error)
{
    ExistingFileDecision decision = resolve_existing_file(job, path, extras, error);
    DWORD attributes = 0;
    if (decision == kReplaceExisting) {
        attributes = GetFileAttributesW(path);
        if (attributes == INVALID_FILE_ATTRIBUTES)
            attributes = 0;  // gone meanwhile: the rename makes it anew
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            return report_creation_failure(job, path, ERROR_ACCESS_DENIED);
        if (attributes & kProtectiveAttributes)
            decision = resolve_existing_file(job, path, extras, ERROR_ACCESS_DENIED);
    }
    if (decision == kLeaveExisting)
        return false;
    file->existing = decision;
    file->existingAttributes = decision == kReplaceExisting ? attributes : 0;
    return create_replacement(job, path, file);
}

// Renames the open file to path in one step, replacing the file there; 0 or a system error.
// A file that another program holds open cannot be replaced: the rename reports that as an
// access denial, which is told here as the sharing violation it is.
DWORD rename_over(HANDLE file, const wchar_t* path)
{
    union {
        FILE_RENAME_INFO info;
        uint8_t bytes[sizeof(FILE_RENAME_INFO) + kPathUnits * sizeof(wchar_t)];
    } rename = {};
    const size_t length = wcslen(path);
    rename.info.ReplaceIfExists = TRUE;
    rename.info.FileNameLength = static_cast<DWORD>(length * sizeof(wchar_t));
    memcpy(rename.info.FileName, path, (length + 1) * sizeof(wchar_t));
    if (SetFileInformationByHandle(file, FileRenameInfo, &rename, sizeof rename))
        return 0;
    const DWORD error = GetLastError();
    if (error != ERROR_ACCESS_DENIED)
        return error;
    HANDLE existing = CreateFileW(path, DELETE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (existing != INVALID_HANDLE_VALUE) {
        CloseHandle(existing);
        return error;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION ? ERROR_SHARING_VIOLATION : error;
}

// Puts a whole replacement in place of the existing file: after the backup, or with the
// protective attributes taken away first (and given back when the rename fails).
bool take_existing_place(ExtractJob* job, const wchar_t* path, OutputFile* file)
{
    const DWORD attributes = file->existingAttributes;
    const bool protectedFile = (attributes & kProtectiveAttributes) != 0;
    if (file->existing == kBackUpExisting) {
        const DWORD error = backup_existing_file(path);
        if (error != 0) {
            job_message(job, 0, L"Backup error(%d): %s", static_cast<int>(error), path);
            job->sink.result = VARNO_WARNING_FILE_EXISTS;
            return false;
        }
    } else if (protectedFile && !SetFileAttributesW(path, attributes & ~kProtectiveAttributes)) {
        return report_creation_failure(job, path, GetLastError());
    }
    const DWORD error = rename_over(file->handle, path);
    if (error == 0)
        return true;
    if (protectedFile)
        SetFileAttributesW(path, attributes);
    return report_creation_failure(job, path, error);
}

// The entry's times (one left at 0 by an extra record keeps the file system's own value); a
// replacement also sheds the hidden attribute of its temporary name for those a new file has.
void set_entry_times(HANDLE file, const EntryExtraInfo* extras, bool replacement)
{
    FILE_BASIC_INFO info = {};
    info.CreationTime.QuadPart = static_cast<LONGLONG>(extras->createTime);
    info.LastAccessTime.QuadPart = static_cast<LONGLONG>(extras->accessTime);
    info.LastWriteTime.QuadPart = static_cast<LONGLONG>(extras->writeTime);
    info.FileAttributes = replacement ? FILE_ATTRIBUTE_ARCHIVE : 0;
    SetFileInformationByHandle(file, FileBasicInfo, &info, sizeof info);
}

}  // namespace

// The last '\' or '/' of text, found character by character; null when there is none.
wchar_t* last_separator(wchar_t* text)
{
    wchar_t* found = nullptr;
    for (wchar_t* p = text; *p; p = CharNextW(p)) {
        if (*p == L'\\' || *p == L'/')
            found = p;
    }
    return found;
}

ExistingFileDecision resolve_existing_file(ExtractJob* job, const wchar_t* path, EntryExtraInfo* extras, DWORD)
{
    ArchiveHandle* archive = job->archive;
    job->sink.result = VARNO_WARNING_FILE_EXISTS;
    int32_t action = current_overwrite_mode(archive);

    // A file that is never to be replaced is skipped without asking: no answer could change that.
    if (action == 0 && !archive->options.skipExisting) {
        OverwritePrompt prompt = {path, extras};
        INT_PTR answer = 0;
        bool answered = true;
        if (job->isMainJob) {
            answer = show_overwrite_dialog(&prompt);
        } else {
            int32_t modeMeanwhile = 0;
            answered = ask_through_caller(job, &prompt, &answer, &modeMeanwhile) != 0;
            if (!answered) {
                if (modeMeanwhile == 0)
                    return kLeaveExisting;
                action = modeMeanwhile;
            }
        }
        if (answered) {
            const int32_t allFiles = mode_for_all_files(answer);
            if (answer == IDYES) {
                action = 2;
            } else if (answer == IDNO) {
                action = 1;
            } else if (allFiles) {
                set_overwrite_mode(archive, allFiles);
                action = allFiles;
            } else if (answer != 0) {
                if (job->isMainJob) {
                    job_message(job, 0, L"User cancel");
                    if (InterlockedCompareExchange(&archive->sharedState, VARNO_ERROR_CANCELLED, 0) == 0)
                        job->sink.result = VARNO_ERROR_CANCELLED;
                }
                return kLeaveExisting;
            }
        }
    }

    if (archive->options.skipExisting || action == 1) {
        job_message(job, 1, L"Skip(exist): %s", path);
        return kLeaveExisting;
    }
    if (action == 2) {
        job_message(job, 1, L"overwrite: %s", path);
        return kReplaceExisting;
    }
    // The backup is made when the replacement is whole, so that a failed entry leaves the
    // existing file under its own name.
    if (action == 4)
        return kBackUpExisting;

    // Ask mode after an answer of 0, and overwrite-when-newer: the entry must be later.
    HANDLE existing = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
    if (existing == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        job_message(job, 0, L"Open error(%d): %s", static_cast<int>(error), path);
        job->sink.result = VARNO_ERROR_OUTPUT_FILE;
        return kLeaveExisting;
    }
    FILETIME existingTime;
    if (!GetFileTime(existing, nullptr, nullptr, &existingTime)) {
        const DWORD error = GetLastError();
        job_message(job, 1, L"Skip(date, GetTime error %d): %s", static_cast<int>(error), path);
        CloseHandle(existing);
        return kLeaveExisting;
    }
    CloseHandle(existing);
    FILETIME entryTime;
    entryTime.dwLowDateTime = static_cast<DWORD>(extras->writeTime);
    entryTime.dwHighDateTime = static_cast<DWORD>(extras->writeTime >> 32);
    if (CompareFileTime(&entryTime, &existingTime) > 0) {
        job_message(job, 1, L"OverWrite: %s", path);
        return kReplaceExisting;
    }
    job_message(job, 1, L"Skip(date): %s", path);
    return kLeaveExisting;
}

bool create_output_file(ExtractJob* job, wchar_t* path, EntryExtraInfo* extras, OutputFile* file)
{
    file->handle = INVALID_HANDLE_VALUE;
    file->existing = kLeaveExisting;
    file->existingAttributes = 0;
    file->temporaryPath[0] = 0;
    bool directoriesMade = false;
    for (;;) {
        HANDLE handle =
            CreateFileW(path, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            file->handle = handle;
            return true;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS)
            return prepare_replacement(job, path, extras, file, error);
        if (error == ERROR_ACCESS_DENIED) {
            // A file refused for its protective attributes goes to the policy; a refused
            // directory (INVALID_FILE_ATTRIBUTES has the directory bit too) or file is final.
            const DWORD attributes = GetFileAttributesW(path);
            if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) && (attributes & kProtectiveAttributes))
                return prepare_replacement(job, path, extras, file, error);
            return report_creation_failure(job, path, error);
        }

        // A missing directory is made once; a second miss, or any other error, is final.
        if (error != ERROR_PATH_NOT_FOUND)
            return report_creation_failure(job, path, error);
        if (directoriesMade)
            return report_creation_failure(job, path, wcslen(path) >= 260 ? ERROR_FILENAME_EXCED_RANGE : error);

        job->sink.result = VARNO_ERROR_OUTPUT_FILE;
        wchar_t directory[kPathUnits];
        int32_t n = 0;
        while (n < kPathUnits - 1 && path[n]) {
            directory[n] = path[n];
            ++n;
        }
        directory[n] = 0;
        wchar_t* separator = last_separator(directory);
        if (!separator) {
            job_message(job, 0, L"path not found: %s", path);
            return false;
        }
        *separator = 0;
        const DWORD made = make_directories(directory);
        if (made != 0) {
            job_message(job, 0, L"Directory create error(%d): %s", static_cast<int>(made), directory);
            job->sink.result = VARNO_ERROR_MAKE_DIRECTORY;
            return false;
        }
        directoriesMade = true;
    }
}

bool finish_output_file(ExtractJob* job, const wchar_t* path, OutputFile* file, const EntryExtraInfo* extras)
{
    const bool replacement = file->existing != kLeaveExisting;
    if (replacement && !take_existing_place(job, path, file)) {
        discard_output_file(file);
        return false;
    }
    // Set after the rename: a file system that hands a replaced file's creation time on to the
    // file that takes its name would otherwise override the entry's.
    set_entry_times(file->handle, extras, replacement);
    CloseHandle(file->handle);
    file->handle = INVALID_HANDLE_VALUE;
    return true;
}

void discard_output_file(OutputFile* file)
{
    // Deleted through its own handle, never by name: a file that another thread or program has
    // put under that name meanwhile is not this entry's to remove.
    FILE_DISPOSITION_INFO disposition = {TRUE};
    SetFileInformationByHandle(file->handle, FileDispositionInfo, &disposition, sizeof disposition);
    CloseHandle(file->handle);
    file->handle = INVALID_HANDLE_VALUE;
}

DWORD backup_existing_file(const wchar_t* path)
{
    // The new name is the old one with "~" or "~N" put in front of its extension.
    wchar_t name[kPathUnits];
    int32_t length = 0;
    int32_t mark = -1;  // the last '/', '\' or '.'
    while (length < kPathUnits - 1 && path[length]) {
        const wchar_t c = path[length];
        if (c == L'/' || c == L'\\' || c == L'.')
            mark = length;
        name[length++] = c;
    }
    name[length] = 0;

    wchar_t extension[kExtensionUnits];
    int32_t extensionLength = 0;
    int32_t insertion = length;
    if (mark >= 0 && name[mark] == L'.' && length - mark < kExtensionUnits) {
        extensionLength = length - mark;
        for (int32_t i = 0; i <= extensionLength; ++i)
            extension[i] = name[mark + i];
        insertion = mark;
    }
    extension[extensionLength] = 0;

    // A name that already ends in "~N" (or "~") counts on from N + 1.
    int32_t number = 0;
    int32_t start = insertion;
    while (start > 0 && name[start - 1] >= L'0' && name[start - 1] <= L'9')
        --start;
    if (start > 0 && name[start - 1] == L'~') {
        uint32_t value = 0;
        for (int32_t i = start; i < insertion; ++i) {
            value = value * 10 + static_cast<uint32_t>(name[i] - L'0');
            if (value > 0x7FFFFFFE) {
                value = 0x7FFFFFFE;
                break;
            }
        }
        number = static_cast<int32_t>(value) + 1;
    }

    for (;;) {
        wchar_t suffix[kSuffixUnits];
        const int32_t suffixLength = number == 0 ? wsprintfW(suffix, L"~") : wsprintfW(suffix, L"~%d", number);
        if (insertion + suffixLength + extensionLength >= kPathUnits)
            return ERROR_FILENAME_EXCED_RANGE;
        for (int32_t i = 0; i < suffixLength; ++i)
            name[insertion + i] = suffix[i];
        for (int32_t i = 0; i <= extensionLength; ++i)
            name[insertion + suffixLength + i] = extension[i];

        if (MoveFileW(path, name))
            return 0;
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS)
            return error;
        if (number == 0x7FFFFFFF)
            return error;
        ++number;
    }
}

DWORD make_directories(wchar_t* path)
{
    if (CreateDirectoryW(path, nullptr))
        return 0;
    DWORD error = GetLastError();
    bool parentMade = false;
    for (;;) {
        if (error == ERROR_ALREADY_EXISTS)
            return 0;
        if (error == ERROR_ACCESS_DENIED)
            return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES ? 0 : error;
        if (error != ERROR_PATH_NOT_FOUND)
            return error;
        if (parentMade)
            return ERROR_PATH_NOT_FOUND;

        wchar_t* separator = last_separator(path);
        if (!separator)
            return ERROR_PATH_NOT_FOUND;
        *separator = 0;
        const DWORD parent = make_directories(path);
        *separator = L'\\';
        if (parent != 0)
            return parent;
        parentMade = true;
        if (CreateDirectoryW(path, nullptr))
            return 0;
        error = GetLastError();
    }
}
