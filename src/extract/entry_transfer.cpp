#include "extract/entry_transfer.h"

#include "archive/archive_handle.h"
#include "archive/archive_locate.h"
#include "codec/decode_threads.h"
#include "core/extract_job.h"
#include "extract/extract_entry.h"
#include "extract/job_messages.h"
#include "extract/output_target.h"
#include "ui/overwrite_dialog.h"
#include "ui/progress_window.h"
#include "varno_results.h"

namespace {

constexpr uint32_t kChunkSize = 0x100000;  // the input buffer: the first MiB of the work area

// The decoder's input: the pending bytes first, then chunks read from the archive. `stop`
// records why it gave no more bytes before the entry's end (its message is written).
struct EntryInput {
    ExtractJob* job;
    DecryptionContext* input;
    ByteCursor pending;
    const wchar_t* path;
    int32_t stop;
};

// Waits while a question or dialog holds the job; false with `stop` set when the job was
// aborted or cancelled. A worker appending its messages (-4) holds nothing: it copies a few
// kilobytes, and a loop that slept 200 ms on each such copy made workers that report every
// entry several times slower.
bool job_goes_on(EntryInput* from)
{
    ExtractJob* job = from->job;
    ArchiveHandle* archive = job->archive;
    for (;;) {
        const LONG state = archive->sharedState;
        if (state < 0 && state != -4) {
            if (state == -2 && job->isMainJob)
                answer_overwrite_request(archive);
            else
                Sleep(200);
            continue;
        }
        if (state > 0) {
            from->stop = state;
            return false;
        }
        if (job->isMainJob && progress_tick_when_due(archive) > 0) {
            from->stop = VARNO_ERROR_CANCELLED;
            return false;
        }
        return true;
    }
}

uint32_t pull_input(void* descriptor, uint8_t** next)
{
    EntryInput* from = static_cast<EntryInput*>(descriptor);
    DecryptionContext* input = from->input;
    if (from->stop != 0 || !job_goes_on(from))
        return 0;
    uint32_t count = from->pending.available;
    if (count > 0) {
        *next = from->pending.next;
        from->pending.available = 0;
    } else {
        if (input->remaining == 0)
            return 0;
        const uint32_t want = input->remaining < kChunkSize ? static_cast<uint32_t>(input->remaining) : kChunkSize;
        const int64_t got = input->source->read_at(input->position, input->buffer, want);
        if (got < 0) {
            job_message(from->job, 0, L"Read error %d : %s", static_cast<int>(GetLastError()), from->path);
            from->stop = VARNO_ERROR_ARCHIVE_READ;
            return 0;
        }
        if (got == 0) {
            job_message(from->job, 0, L"EOF error : %s", from->path);
            from->stop = VARNO_ERROR_DATA;
            return 0;
        }
        *next = input->buffer;
        count = static_cast<uint32_t>(got);
        input->position += count;
    }
    input->remaining -= count;
    if (!decrypt_entry_data(&input->cipher, *next, count)) {
        from->stop = VARNO_ERROR_DATA;
        return 0;
    }
    return count;
}

// Under verification an AES entry's data are authenticated whole, also the bytes that its
// decoder left behind the end of the stream, and then compared with the stored code.
int32_t authenticate(EntryInput* from)
{
    uint8_t* rest = nullptr;
    while (pull_input(from, &rest) != 0) {
    }
    if (from->stop != 0)
        return from->stop;
    const int matches = entry_code_matches(from->input);
    if (matches > 0)
        return 0;
    if (matches == 0) {
        job_message(from->job, 0, L"Authentication error : %s", from->path);
        return VARNO_ERROR_DATA;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_HANDLE_EOF) {
        job_message(from->job, 0, L"EOF error : %s", from->path);
        return VARNO_ERROR_DATA;
    }
    job_message(from->job, 0, L"Read error %d : %s", static_cast<int>(error), from->path);
    return VARNO_ERROR_ARCHIVE_READ;
}

// The compressed bytes the input will deliver (those read with the local header among them)
// when the rest of them lies inside the archive; else 0, and a decoder takes them as they come,
// stopping where its stream ends, before it meets the end of the file.
uint64_t known_input_size(const EntryInput& from)
{
    const uint64_t total = from.input->remaining;
    const uint64_t unread = total - from.pending.available;
    if (unread == 0)
        return total;
    const uint64_t position = from.input->position;
    const uint64_t fileSize = from.job->archive->fileSize;
    if (position > fileSize || unread > fileSize - position)
        return 0;
    return total;
}

}  // namespace

int32_t transfer_entry(ExtractJob* job, DecryptionContext* input, ByteCursor pending, const EntryDecoder* decoder,
                       DecoderState* state, OutputTarget* target, uint16_t flags, const wchar_t* path)
{
    EntryInput from = {job, input, pending, path, 0};
    WholeEntry whole = target->whole_entry();
    whole.inputSize = known_input_size(from);
    whole.memory = &job->decoderMemory;
    const DecodeRequest request = {pull_input, &from, OutputTarget::write, target, target->declared_size(), flags, whole};
    int status = 0;
    const BusyDecoding busy;  // counted against the processors that the decoder's helpers may take
    const DecodeEnd end = decoder->decode(state, request, &status);
    if (target->refused())
        return target->report_refusal();
    if (from.stop != 0)
        return from.stop;
    switch (end) {
    case DecodeEnd::complete:
        return entry_authenticated(input->cipher) ? authenticate(&from) : 0;
    case DecodeEnd::truncated:
        job_message(job, 0, L"EOF error : %s", path);
        return VARNO_ERROR_DATA;
    case DecodeEnd::overLimit:
        job_message(job, 0, L"Decode window over %d MiB : %s", static_cast<int>(kDecoderWindowLimit >> 20), path);
        return VARNO_ERROR_DECODER;
    case DecodeEnd::invalidData:
    case DecodeEnd::failed:
        break;
    }
    job_message(job, 0, L"Decode error %d : %s", status, path);
    // A data error in an encrypted entry most likely comes from a wrong password: the job
    // driver then forgets the password and extracts the entry again.
    const bool wrongPassword = end == DecodeEnd::invalidData && input->cipher.kind != kNotEncrypted;
    return wrongPassword ? kResultWrongPassword : VARNO_ERROR_DATA;
}
