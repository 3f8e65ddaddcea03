#include "extract/extraction_workers.h"

#include <windows.h>
#include <process.h>

#include "archive/archive_handle.h"
#include "archive/entry_names.h"
#include "core/extract_job.h"
#include "core/job_options.h"
#include "extract/extract_entry.h"
#include "extract/job_messages.h"
#include "extract/output_groups.h"
#include "ui/overwrite_dialog.h"
#include "ui/progress_window.h"
#include "varno_results.h"

namespace {

constexpr uint32_t kWorkerSinkSize = 4096;
constexpr DWORD kProgressBatchMs = 800;

// What a worker receives; it lies behind the worker's 2 MiB work area in the same block.
struct WorkerParams {
    ArchiveHandle* archive;
    wchar_t* outputDir;
    uint8_t* block;
    CentralCursor cursor;
    const OutputGroups* groups;
    MessageSink* parentSink;
};

volatile LONG* as_long(volatile int32_t* word) { return reinterpret_cast<volatile LONG*>(word); }

// Room a worker keeps free in its own buffer before its next entry: two messages of the
// longest converted length with their separators.
constexpr uint64_t kWorkerSinkReserve = 2 * (1536 + 2);

// Appends a worker's messages to the caller's sink, holding sharedState at -4, and empties the
// worker's buffer. After an abort the text is dropped: the word never returns to 0 during the
// command.
void merge_messages(ArchiveHandle* archive, MessageSink* parent, MessageSink* own)
{
    const uint64_t length = static_cast<uint64_t>(own->cursor - own->start);
    if (length == 0)
        return;
    for (;;) {
        const LONG previous = InterlockedCompareExchange(&archive->sharedState, -4, 0);
        if (previous > 0)
            return;
        if (previous == 0)
            break;
        Sleep(1);
    }
    append_sink_text(parent, own->start, length);
    InterlockedExchange(&archive->sharedState, 0);
    init_message_sink(own, own->start, kWorkerSinkSize);
}

unsigned __stdcall extraction_worker(void* argument)
{
    WorkerParams* params = static_cast<WorkerParams*>(argument);
    ArchiveHandle* archive = params->archive;
    // Each worker reads through a reader of its own, which opens the archive's files again.
    ArchiveReader reader;
    const bool readable = reader.open(archive->parts);
    RunWalk walk = {params->cursor, params->groups, kNoRecord};
    MessageSink* parentSink = params->parentSink;

    char text[kWorkerSinkSize];
    ExtractJob job = {};
    job.archive = archive;
    init_message_sink(&job.sink, text, sizeof text);
    job.parentSink = parentSink;
    job.workArea = params->block;
    job.outputDir = params->outputDir;
    job.outputStorageKind = -1;
    job.isMainJob = 0;

    DWORD batchStart = GetTickCount();
    uint32_t started = 0;
    uint32_t reported = 0;
    // A worker without the memory for its reader's files takes none of its entries.
    int32_t result = readable ? 0 : VARNO_ERROR_WORK_AREA;
    char name[kNameSize];
    while (const uint8_t* entry = readable ? next_run_entry(&walk, name) : nullptr) {
        // A buffer that could not take the next entry's messages is handed on first, so that
        // no message is dropped while the caller's buffer has room.
        if (job.sink.remaining < kWorkerSinkReserve)
            merge_messages(archive, parentSink, &job.sink);
        ++started;
        const DWORD now = GetTickCount();
        if (now - batchStart >= kProgressBatchMs) {
            batchStart = now;
            InterlockedExchangeAdd(reinterpret_cast<volatile LONG*>(&archive->progressDone), static_cast<LONG>(started));
            reported += started;
            started = 0;
        }
        extract_entry_with_retries(&job, &reader, entry, name);
        if (ends_job(job.sink.result, archive->options)) {
            result = job.sink.result;
            break;
        }
        // The test command goes on; its first failure is the worker's result.
        if (result == 0 && archive->options.verifyMode == kVerifyTest)
            result = job.sink.result;
    }

    VirtualFree(params->block, 0, MEM_RELEASE);  // the parameters go with it
    release_buffer(&job.decoderMemory);
    reader.close();
    job_message(&job, 3, L"[Thread END:%d,res:%d]", static_cast<int>(reported), static_cast<int>(result));
    if (result != 0)
        InterlockedCompareExchange(as_long(&parentSink->result), result, 0);
    merge_messages(archive, parentSink, &job.sink);
    _endthreadex(0);
    return 0;
}

// Starts a worker over the records from first up to end; false when it could not be started.
bool start_worker(ExtractJob* job, const OutputGroups* groups, const uint8_t* first, const uint8_t* end, HANDLE* slot)
{
    uint8_t* block = static_cast<uint8_t*>(
        VirtualAlloc(nullptr, kWorkAreaSize + sizeof(WorkerParams), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!block)
        return false;
    WorkerParams* params = reinterpret_cast<WorkerParams*>(block + kWorkAreaSize);
    params->archive = job->archive;
    params->outputDir = job->outputDir;
    params->block = block;
    params->cursor = {first, end, job->archive->options.safePaths};
    params->groups = groups;
    params->parentSink = &job->sink;
    const uintptr_t thread = _beginthreadex(nullptr, 0, extraction_worker, params, 0, nullptr);
    if (thread == 0) {
        VirtualFree(block, 0, MEM_RELEASE);
        return false;
    }
    *slot = reinterpret_cast<HANDLE>(thread);
    return true;
}

// Waits for each worker in slot order, answering their overwrite questions and keeping the
// progress window alive meanwhile. Once an abort code is set, every worker is waited for until
// it has stopped, so that none of them touches the job, the archive handle or the caller's
// buffer after the call has returned.
void wait_for_workers(ExtractJob* job, HANDLE* workers)
{
    ArchiveHandle* archive = job->archive;
    for (int slot = 0; slot < kMaxWorkers; ++slot) {
        if (!workers[slot])
            continue;
        bool ended = false;
        while (!ended && archive->sharedState <= 0) {
            if (archive->sharedState == -2)
                answer_overwrite_request(archive);
            if (progress_tick_when_due(archive) > 0)
                InterlockedExchange(as_long(&job->sink.result), VARNO_ERROR_CANCELLED);
            ended = WaitForSingleObject(workers[slot], 100) != WAIT_TIMEOUT;
        }
        if (!ended)
            WaitForSingleObject(workers[slot], INFINITE);
        CloseHandle(workers[slot]);
        workers[slot] = nullptr;
    }
}

}  // namespace

bool should_use_workers(const ExtractJob* job, const char* name)
{
    const ArchiveHandle* archive = job->archive;
    const JobOptions& options = archive->options;
    // Memory output goes to the caller's buffer or block, which only the caller's thread has;
    // the test command keeps nothing.
    const bool toMemory = options.outputMode != 0 && options.verifyMode != kVerifyTest;
    if (options.listMode != 0 || name || options.threadCount == 0 || toMemory)
        return false;
    return archive->entryCount >= 40 || (archive->entryCount >= 2 && archive->fileSize >= 100000000ull);
}

const uint8_t* extract_with_workers(ExtractJob* job, const OutputGroups* groups)
{
    ArchiveHandle* archive = job->archive;
    // While the workers run, the caller's thread decodes nothing: only their memory counts.
    release_buffer(&job->decoderMemory);
    const uint32_t entries = archive->entryCount;
    archive->progressTotal = entries;
    archive->progressDone = 0;
    const uint32_t per = entries / 40 > 0 ? entries / 40 : 1;
    // Only files on a volume that may be a rotating disk limit the workers.
    if (job->outputStorageKind < 0)
        job->outputStorageKind = writes_files(archive->options) ? probe_storage_kind(job->outputDir) : 0;
    uint32_t limit = static_cast<uint32_t>(archive->options.threadCount);
    if (job->outputStorageKind != 0 && limit > 2)
        limit = 2;
    if (limit > kMaxWorkers)
        limit = kMaxWorkers;
    uint32_t threads = entries / per < limit ? entries / per : limit;
    if (threads < 1)
        threads = 1;
    const uint32_t step = entries / threads;
    if (threads > 1)
        job_message(job, 3, L"multimode thread:%d step:%d", static_cast<int>(threads), static_cast<int>(step));

    // The result starts at 0 before any worker can offer its own.
    job->sink.result = 0;
    HANDLE workers[kMaxWorkers] = {};
    const uint8_t* runStart = archive->cdBuffer;
    const uint8_t* record = runStart;
    uint32_t count = step;
    while (threads > 1) {
        const uint8_t* next = next_central_header(record, archive->cdEnd);
        if (!next)
            break;
        record = next;
        if (--count == 0) {
            // A run that cannot be started grows by another step before the next attempt.
            if (start_worker(job, groups, runStart, record, &workers[threads - 1])) {
                --threads;
                runStart = record;
            }
            count = step;
        }
    }
    const uint8_t* leftover = runStart;
    if (threads == 1 && start_worker(job, groups, runStart, archive->cdEnd, &workers[0]))
        leftover = nullptr;

    wait_for_workers(job, workers);
    return leftover;
}
