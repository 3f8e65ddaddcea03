#include "extract/running_crc.h"

#include <process.h>
#include <string.h>
#include <zlib.h>

namespace {

// Below these sizes a thread's start and the hand-over cost more than summing in line.
constexpr uint32_t kHelperBlockMin = 256 * 1024;
constexpr uint64_t kHelperEntryMin = 16 * 1024 * 1024;
constexpr uint32_t kHelperBlockMax = 0x100000;  // the pipeline's blocks are at most 1 MiB
constexpr uint32_t kChunk = 64 * 1024;          // what each side takes of a block at a time

}  // namespace

RunningCrc::~RunningCrc()
{
    if (!thread_)
        return;
    AcquireSRWLockExclusive(&lock_);
    stop_ = true;
    ReleaseSRWLockExclusive(&lock_);
    WakeConditionVariable(&changed_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    VirtualFree(copy_, 0, MEM_RELEASE);
}

void RunningCrc::add(const uint8_t* data, uint32_t length, uint64_t entrySize)
{
    finish_block();  // blocks are summed in order
    const bool large = length >= kHelperBlockMin && length <= kHelperBlockMax && entrySize >= kHelperEntryMin;
    if (!large || !start_helper()) {
        value_ = static_cast<uint32_t>(crc32_z(value_, data, length));
        return;
    }
    memcpy(copy_, data, length);
    AcquireSRWLockExclusive(&lock_);
    length_ = length;
    front_ = frontDone_ = 0;
    frontValue_ = value_;
    back_ = backDone_ = length;
    backValue_ = 0;
    posted_ = true;
    ReleaseSRWLockExclusive(&lock_);
    WakeConditionVariable(&changed_);
}

uint32_t RunningCrc::value()
{
    finish_block();
    return value_;
}

// Sums what is left of the posted block from its end. The wait for the helper's last chunk
// always ends: a chunk taken is always summed.
void RunningCrc::finish_block()
{
    if (!thread_)
        return;
    AcquireSRWLockExclusive(&lock_);
    while (posted_) {
        if (front_ == back_) {
            SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
            continue;
        }
        const uint32_t n = back_ - front_ < kChunk ? back_ - front_ : kChunk;
        back_ -= n;
        const uint32_t start = back_;
        ReleaseSRWLockExclusive(&lock_);
        const uint32_t chunk = static_cast<uint32_t>(crc32_z(0, copy_ + start, n));
        AcquireSRWLockExclusive(&lock_);
        backValue_ = static_cast<uint32_t>(crc32_combine(chunk, backValue_, static_cast<z_off_t>(length_ - backDone_)));
        backDone_ = start;
        complete_if_summed();
    }
    ReleaseSRWLockExclusive(&lock_);
}

// With lock_ held: once both parts meet, the block's sum joins the running value.
void RunningCrc::complete_if_summed()
{
    if (frontDone_ != backDone_)
        return;
    value_ = static_cast<uint32_t>(crc32_combine(frontValue_, backValue_, static_cast<z_off_t>(length_ - backDone_)));
    posted_ = false;
    WakeConditionVariable(&changed_);
}

bool RunningCrc::start_helper()
{
    if (thread_ || helperFailed_)
        return thread_ != nullptr;
    // With a single processor the helper could only take turns with the caller.
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    helperFailed_ = system.dwNumberOfProcessors < 2;
    if (helperFailed_)
        return false;
    copy_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, kHelperBlockMax, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (copy_)
        thread_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, helper_main, this, 0, nullptr));
    if (!thread_) {
        if (copy_)
            VirtualFree(copy_, 0, MEM_RELEASE);
        copy_ = nullptr;
        helperFailed_ = true;
    }
    return thread_ != nullptr;
}

unsigned __stdcall RunningCrc::helper_main(void* argument)
{
    RunningCrc* self = static_cast<RunningCrc*>(argument);
    AcquireSRWLockExclusive(&self->lock_);
    for (;;) {
        while (!(self->posted_ && self->front_ < self->back_) && !self->stop_)
            SleepConditionVariableSRW(&self->changed_, &self->lock_, INFINITE, 0);
        if (!(self->posted_ && self->front_ < self->back_))
            break;
        const uint32_t start = self->front_;
        const uint32_t n = self->back_ - start < kChunk ? self->back_ - start : kChunk;
        self->front_ += n;
        const uint32_t value = self->frontValue_;
        ReleaseSRWLockExclusive(&self->lock_);
        const uint32_t summed = static_cast<uint32_t>(crc32_z(value, self->copy_ + start, n));
        AcquireSRWLockExclusive(&self->lock_);
        self->frontValue_ = summed;
        self->frontDone_ = start + n;
        self->complete_if_summed();
    }
    ReleaseSRWLockExclusive(&self->lock_);
    return 0;
}
