#include "api/run_command.h"

#include <windows.h>
#include <zlib.h>

#include "api/close_archive.h"
#include "api/command_walk.h"
#include "archive/archive_handle.h"
#include "core/extract_job.h"
#include "core/library_state.h"
#include "crypto/password_buffer.h"
#include "extract/extract_archive.h"
#include "extract/job_messages.h"
#include "varno_results.h"

namespace {

// The command walk's actions on real archives, paths and the job driver.
class DriverHost : public CommandHost {
public:
    DriverHost(ExtractJob* job, HWND owner, int32_t mode)
        : CommandHost(&job->sink.result), job_(job), owner_(owner), mode_(mode)
    {
    }

    JobOptions* open_archive(const char* name, const JobOptions& options) override
    {
        ArchiveHandle* archive = open_archive_file(owner_, name, mode_, &job_->sink, options.messageMask);
        if (!archive)
            return nullptr;
        archive->options = options;
        job_->archive = archive;
        return &archive->options;
    }

    bool output_dir_is_empty() override { return job_->outputDir[0] == 0; }

    OutputDirResult set_output_dir(const char* token) override
    {
        if (name_to_wide(token, job_->outputDir, kPathUnits) == 0) {
            job_->outputDir[0] = 0;
            return OutputDirResult::Failed;
        }
        return job_->outputDir[0] ? OutputDirResult::Converted : OutputDirResult::ConvertedEmpty;
    }

    void extract(const char* name) override { extract_archive(job_, name); }

    void set_progress(uint32_t total, uint32_t done) override
    {
        job_->archive->progressTotal = total;
        job_->archive->progressDone = done;
    }

    bool run_list_file(const char* name, const JobOptions& options) override
    {
        wchar_t path[kPathUnits];
        if (name_to_wide(name, path, kPathUnits) == 0)
            return false;
        uint8_t* data = nullptr;
        uint32_t length = 0;
        uint32_t size = 0;
        const DWORD error = read_file_head(path, kListFileZeroTail, &data, &length, &size);
        if (error != 0) {
            job_message(job_, 0, L"Open error %d : %s", static_cast<int>(error), path);
            job_->sink.result = VARNO_ERROR_ARCHIVE_READ;
            return false;
        }
        job_->archive->progressTotal = size;
        walk_list_tokens(reinterpret_cast<const char*>(data), length, options, *this);
        HeapFree(g_library.processHeap, 0, data);
        return true;
    }

    void write_banner() override
    {
        write_message(&job_->sink, L"varno 1.4+5 (ZIP extraction library, %s)\r\n zlibCompileFlags: %x",
                      L"" VARNO_ARCH_NAME, static_cast<unsigned>(zlibCompileFlags()));
    }

    void write_exclude_refused() override { write_message(&job_->sink, L" -x (exclude files) is not support."); }

    void set_password(const char* password) override { store_password(password); }

private:
    ExtractJob* job_;
    HWND owner_;
    int32_t mode_;
};

}  // namespace

int32_t run_command(HWND owner, const char* command, char* output, uint32_t outputSize, ParamBlock* params,
                    int32_t mode)
{
    RunningScope running;
    wchar_t outputDir[kPathUnits];
    outputDir[0] = 0;
    ExtractJob job = {};
    init_message_sink(&job.sink, output, outputSize);
    job.params = params;
    job.outputDir = outputDir;
    job.outputStorageKind = -1;
    job.isMainJob = 1;

    DriverHost host(&job, owner, mode);
    int32_t result = walk_command(command, mode, host);
    // The entries of a directory that ends before its count (or that was rebuilt from the local
    // headers) were used, but the archive is damaged, or cut short where it has no end record:
    // that is said once, after everything else, and a success becomes its result.
    if (job.archive && job.archive->cdBuffer && job.archive->directoryIncomplete) {
        if (job.archive->cutShort)
            job_message(&job, 0, kArchiveCutShortFormat, job.archive->path);
        else
            job_message(&job, 0, kDirectoryIncompleteFormat, job.archive->path);
        if (!is_fatal_result(result))
            result = VARNO_ERROR_DECODER;
    }
    // A set that lacks a part is incomplete, whatever the command asked of it: the part is named
    // (by each entry it kept from being read, else once here) and a success becomes the result.
    if (job.archive) {
        if (const int64_t missing = first_lacking_part(job.archive->parts); missing >= 0) {
            if (!job.archive->missingPartReported) {
                wchar_t part[MAX_PATH];
                part_file_name(job.archive->parts, static_cast<uint32_t>(missing), part, MAX_PATH);
                job_message(&job, 0, kMissingPartFormat, part);
            }
            if (!is_fatal_result(result))
                result = VARNO_ERROR_DECODER;
        }
    }
    if (job.archive) {
        if (job.workArea)
            VirtualFree(job.workArea, 0, MEM_RELEASE);
        release_buffer(&job.decoderMemory);
        close_archive(job.archive);
    }
    return result;
}
