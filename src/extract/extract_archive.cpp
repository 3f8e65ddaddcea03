// The job driver: one selection of a command over the opened archive. Entries are listed or
// extracted on the caller's thread in the order of the central directory.
#include "extract/extract_archive.h"

#include <windows.h>

#include "archive/archive_handle.h"
#include "archive/entry_names.h"
#include "core/extract_job.h"
#include "core/job_options.h"
#include "core/library_state.h"
#include "extract/extract_entry.h"
#include "extract/extraction_workers.h"
#include "extract/job_messages.h"
#include "extract/output_groups.h"
#include "listing/listing.h"
#include "varno_results.h"

namespace {

// A selection by name matches an entry stored with either kind of separator.
struct NameForms {
    char slashed[kNameSize];    // every '\' turned into '/'
    char backslashed[kNameSize];  // the same with every '/' turned into '\'; empty without '/'
};

void make_name_forms(const char* name, NameForms* forms)
{
    copy_bounded(forms->slashed, name, kNameSize);
    // Outside UTF-8 the walk goes character by character, so that the second byte of a
    // double-byte character (which may be 0x5C) is never taken for a separator.
    const bool utf8 = name_code_page() == CP_UTF8;
    bool hasSlash = false;
    for (char* p = forms->slashed; *p;) {
        if (*p == '\\')
            *p = '/';
        if (*p == '/')
            hasSlash = true;
        p = utf8 ? p + 1 : CharNextA(p);
    }
    forms->backslashed[0] = 0;
    if (hasSlash) {
        copy_bounded(forms->backslashed, forms->slashed, kNameSize);
        for (char* p = forms->backslashed; *p; ++p) {
            if (*p == '/')
                *p = '\\';
        }
    }
}

inline unsigned char fold_ascii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

// Whole-string comparison with the ASCII letters folded. Outside UTF-8 only single-byte
// characters are folded: the second byte of a double-byte character may lie in 'A'..'Z', and
// folding it would make two different characters equal.
bool names_match(const char* a, const char* b)
{
    const bool dbcs = name_code_page() != CP_UTF8;
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
    for (;;) {
        if (fold_ascii(*x) != fold_ascii(*y))
            return false;
        if (*x == 0)
            return true;
        if (dbcs && IsDBCSLeadByte(*x)) {
            ++x;
            ++y;
            if (*x != *y)
                return false;
            if (*x == 0)
                return true;
        }
        ++x;
        ++y;
    }
}

bool matches_selection(const char* entryName, const NameForms* forms)
{
    return names_match(entryName, forms->slashed) || (forms->backslashed[0] && names_match(entryName, forms->backslashed));
}

// Lists or extracts one entry.
void process_entry(ExtractJob* job, const uint8_t* entry, char* name)
{
    ArchiveHandle* archive = job->archive;
    if (archive->options.listMode != 0)
        format_listing_line(job, entry, name);
    else
        extract_entry_with_retries(job, &archive->reader, entry, name);
}

// The entry loop on the caller's thread, over the walk's run.
void run_on_callers_thread(ExtractJob* job, RunWalk* walk, const NameForms* forms)
{
    ArchiveHandle* archive = job->archive;
    if (archive->options.listMode == 0 && !job->workArea) {
        job->workArea = static_cast<uint8_t*>(VirtualAlloc(nullptr, kWorkAreaSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        if (!job->workArea) {
            job->sink.result = VARNO_ERROR_WORK_AREA;
            return;
        }
    }
    // The test command goes on past failed entries; the first failure (also one the workers
    // had before) is the result.
    const bool testing = archive->options.verifyMode == kVerifyTest;
    int32_t verdict = testing ? job->sink.result : 0;
    char name[kNameSize];
    for (;;) {
        const uint8_t* entry = next_run_entry(walk, name);
        if (!entry) {
            job->sink.result = verdict;
            return;
        }
        if (forms) {
            if (!matches_selection(name, forms))
                continue;
        } else {
            archive->progressTotal = archive->cdSize;
            archive->progressDone = static_cast<uint32_t>(walk->cursor.current - archive->cdBuffer);
        }
        process_entry(job, entry, name);
        if (ends_job(job->sink.result, archive->options))
            return;
        if (testing && verdict == 0)
            verdict = job->sink.result;
        if (forms) {
            // Only the first entry of that name is taken.
            job->sink.result = verdict;
            return;
        }
    }
}

}  // namespace

void extract_archive(ExtractJob* job, const char* name)
{
    ArchiveHandle* archive = job->archive;
    switch (load_central_directory(archive)) {
    case DirectoryLoad::Loaded:
        break;
    case DirectoryLoad::ReadFailed:
        job_message(job, 0, L"CentralDirectory read error");
        job->sink.result = VARNO_ERROR_DECODER;
        return;
    case DirectoryLoad::NotADirectory:
        // No directory where the end record says: as unusable as a file without an end record.
        job_message(job, 0, kArchiveReadErrorFormat, ERROR_BAD_FORMAT, archive->path);
        job->sink.result = VARNO_ERROR_ARCHIVE_READ;
        return;
    case DirectoryLoad::Encrypted:
        job_message(job, 0, L"Encrypted central directory not support : %s", archive->path);
        job->sink.result = VARNO_ERROR_METHOD;
        return;
    }
    // Entries that share their bytes are found before anything is extracted or tested, once
    // for every worker; a listing shows the archive as it is.
    if (archive->options.listMode == 0 && !check_entry_ranges(archive)) {
        job->sink.result = VARNO_ERROR_WORK_AREA;
        return;
    }
    NameForms forms;
    if (name)
        make_name_forms(name, &forms);
    RunWalk walk = {{archive->cdBuffer, archive->cdEnd, archive->options.safePaths}, nullptr, kNoRecord};

    // Large extractions of the whole archive go to worker threads; everything else, and every
    // listing, runs on the caller's thread.
    if (!should_use_workers(job, name)) {
        run_on_callers_thread(job, &walk, name ? &forms : nullptr);
        return;
    }
    // Files that several records write are each left to one thread.
    OutputGroups groups = {};
    if (writes_files(archive->options)) {
        if (!find_output_groups(job, &groups)) {
            job->sink.result = VARNO_ERROR_WORK_AREA;
            return;
        }
        walk.groups = &groups;
    }
    // Records that no worker took are extracted here, once the workers are done with the sink.
    walk.cursor.current = extract_with_workers(job, walk.groups);
    if (walk.cursor.current && archive->sharedState <= 0 && !ends_job(job->sink.result, archive->options))
        run_on_callers_thread(job, &walk, nullptr);
    release_output_groups(&groups);
}
