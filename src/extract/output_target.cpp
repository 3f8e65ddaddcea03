#include "extract/output_target.h"

#include <string.h>

#include "archive/archive_handle.h"
#include "archive/zip_format.h"
#include "codec/crc32.h"
#include "core/extract_job.h"
#include "extract/job_messages.h"
#include "varno_results.h"

namespace {
constexpr uint64_t kMemoryBlockLimit = 524288000;  // a block made for the caller stays below this
}  // namespace

bool OutputTarget::make(ExtractJob* job, wchar_t* path, EntryExtraInfo* extras, uint64_t declaredSize, bool crcRecorded)
{
    job_ = job;
    path_ = path;
    extras_ = extras;
    declaredSize_ = declaredSize;
    crcRecorded_ = crcRecorded;
    recordedCrc_ = read_u32(extras->entry + central::crc32);
    const JobOptions& options = job->archive->options;
    verify_ = options.verifyMode != kVerifyOff;
    sumCrc_ = verify_ && crcRecorded;
    if (options.verifyMode == kVerifyTest) {
        toMemory_ = true;
        discard_ = true;
    } else if (options.outputMode == 0) {
        if (!create_output_file(job, path, extras, &file_))
            return false;
    } else if (!make_memory(declaredSize)) {
        return false;
    }
    made_ = true;
    return true;
}

// A memory block for the caller, or the caller's text buffer, whose sink cursor does not move
// with the data; the entry's DOS time, attributes and size go to the parameter block.
bool OutputTarget::make_memory(uint64_t size)
{
    const int32_t outputMode = job_->archive->options.outputMode;
    const uint8_t* entry = extras_->entry;
    ParamBlock* params = job_->params;
    uint8_t* start = nullptr;
    if (outputMode & 0x10) {
        if (!params || !params->memorySlot || *params->memorySlot || size >= kMemoryBlockLimit) {
            job_->sink.result = VARNO_ERROR_MEMORY_OUTPUT;
            return false;
        }
        void* block = GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(size));
        if (!block) {
            job_->sink.result = VARNO_ERROR_MEMORY_OUTPUT;
            return false;
        }
        *params->memorySlot = block;
        blockForCaller_ = true;
        start = static_cast<uint8_t*>(block);
        memoryLeft_ = static_cast<int64_t>(size);
    } else {
        MessageSink& sink = job_->sink;
        if (outputMode & 4) {
            start = reinterpret_cast<uint8_t*>(sink.start);
            memoryLeft_ = static_cast<int64_t>((sink.cursor - sink.start) + sink.remaining);
        } else {
            start = reinterpret_cast<uint8_t*>(sink.cursor);
            memoryLeft_ = static_cast<int64_t>(sink.remaining);
        }
    }
    if ((outputMode & 8) && params) {
        if (params->timeOut)
            *params->timeOut = read_u16(entry + central::dosTime);
        if (params->attributesOut)
            *params->attributesOut = read_u16(entry + central::internalAttributes);
        if (params->sizeOut)
            *params->sizeOut = static_cast<uint32_t>(size);
    }
    memoryCursor_ = start;
    toMemory_ = true;
    return true;
}

bool OutputTarget::presize()
{
    LARGE_INTEGER size;
    size.QuadPart = static_cast<LONGLONG>(declaredSize_);
    LARGE_INTEGER start = {};
    if (size.QuadPart < 0 || !SetFilePointerEx(file_.handle, size, nullptr, FILE_CURRENT) ||
        !SetEndOfFile(file_.handle) || !SetFilePointerEx(file_.handle, start, nullptr, FILE_BEGIN)) {
        job_message(job_, 0, L"Write error %d : %s", static_cast<int>(GetLastError()), path_);
        job_->sink.result = VARNO_ERROR_OUTPUT_FILE;
        return false;
    }
    return true;
}

// A block that would pass the declared size is refused whole, for every method and target: a
// stream longer than its archive says ends there as a data error, and the bytes an extraction
// writes stay within the sizes that a listing shows. Under verification every delivered byte
// is summed, also those dropped.
int OutputTarget::write(void* descriptor, uint8_t* data, uint32_t length)
{
    OutputTarget* target = static_cast<OutputTarget*>(descriptor);
    if (length == 0)
        return 0;
    if (length > target->declaredSize_ - target->produced_) {
        target->oversize_ = true;
        return 1;
    }
    if (target->sumCrc_ && !target->crcConfirmed_)
        target->crc_ = update_crc32(target->crc_, data, length);
    if (target->toMemory_) {
        if (target->discard_) {
            target->produced_ += length;
            return 0;
        }
        if (target->memoryLeft_ <= 0) {
            target->full_ = true;
            return 1;
        }
        const uint32_t take =
            target->memoryLeft_ < length ? static_cast<uint32_t>(target->memoryLeft_) : length;
        if (data != target->memoryCursor_)
            memcpy(target->memoryCursor_, data, take);
        target->memoryCursor_ += take;
        target->memoryLeft_ -= take;
        target->produced_ += length;
        return 0;
    }
    while (length > 0) {
        DWORD written = 0;
        if (!WriteFile(target->file_.handle, data, length, &written, nullptr)) {
            target->writeError_ = GetLastError();
            return 1;
        }
        data += written;
        length -= written;
        target->produced_ += written;
    }
    return 0;
}

WholeEntry OutputTarget::whole_entry()
{
    WholeEntry whole = {};
    whole.crcRecorded = crcRecorded_;
    whole.recordedCrc = recordedCrc_;
    whole.crcConfirmed = &crcConfirmed_;
    whole.outputSpan = blockForCaller_ ? memoryCursor_ : nullptr;
    whole.outputRoom = UINT64_MAX;
    if (toMemory_ && !discard_)
        whole.outputRoom = memoryLeft_ > 0 ? static_cast<uint64_t>(memoryLeft_) : 0;
    return whole;
}

int32_t OutputTarget::report_refusal()
{
    if (oversize_) {
        job_message(job_, 0, L"Size error : %s", path_);
        return VARNO_ERROR_DATA;
    }
    job_message(job_, 0, L"Write error %d : %s", static_cast<int>(full_ ? GetLastError() : writeError_), path_);
    return VARNO_ERROR_OUTPUT_FILE;
}

int32_t OutputTarget::verify()
{
    if (!verify_)
        return 0;
    if (produced_ != declaredSize_) {
        job_message(job_, 0, L"Size error : %s", path_);
        return VARNO_ERROR_DATA;
    }
    if (sumCrc_ && !crcConfirmed_ && crc_ != recordedCrc_) {
        job_message(job_, 0, L"CRC error : %s", path_);
        return VARNO_ERROR_DATA;
    }
    return 0;
}

bool OutputTarget::finish()
{
    made_ = false;
    if (toMemory_)
        return true;
    if (produced_ < declaredSize_)
        SetEndOfFile(file_.handle);
    return finish_output_file(job_, path_, &file_, extras_);
}

void OutputTarget::discard()
{
    if (!made_)
        return;
    made_ = false;
    if (!toMemory_) {
        discard_output_file(&file_);
    } else if (blockForCaller_) {
        GlobalFree(*job_->params->memorySlot);
        *job_->params->memorySlot = nullptr;
    }
}
