#include "extract/running_crc.h"

#include <process.h>
#include <string.h>
#include <zlib.h>

namespace {

// Below these sizes a thread's start and the hand-over cost more than summing in line.
constexpr uint32_t kHelperBlockMin = 256 * 1024;
constexpr uint64_t kHelperEntryMin = 16 * 1024 * 1024;
constexpr uint32_t kHelperBlockMax = 0x100000;  // the pipeline's blocks are at most 1 MiB
// crc32_combine takes the length of its second part as a z_off_t, which is 32-bit on Windows:
// the caller's blocks behind an outstanding one stay below this.
constexpr uint64_t kTailMax = 0x40000000;

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
    if (outstanding_)
        join_helper_block(tailLength_ + length > kTailMax);
    const bool large = length >= kHelperBlockMin && length <= kHelperBlockMax && entrySize >= kHelperEntryMin;
    if (large && !outstanding_ && start_helper()) {
        // The helper is idle: copy_ is the caller's until it is posted.
        memcpy(copy_, data, length);
        AcquireSRWLockExclusive(&lock_);
        blockLength_ = length;
        state_ = Helper::Posted;
        ReleaseSRWLockExclusive(&lock_);
        WakeConditionVariable(&changed_);
        outstanding_ = true;
    } else if (outstanding_) {
        tailValue_ = static_cast<uint32_t>(crc32_z(tailValue_, data, length));
        tailLength_ += length;
    } else {
        value_ = static_cast<uint32_t>(crc32_z(value_, data, length));
    }
}

uint32_t RunningCrc::value()
{
    if (outstanding_)
        join_helper_block(true);
    return value_;
}

// Joins the outstanding block and the tail behind it to value_ when the helper has summed the
// block; a block the helper has not begun is taken back and summed here. With wait, a block
// being summed is waited for; the wait ends, since the helper finishes every block it begins.
void RunningCrc::join_helper_block(bool wait)
{
    AcquireSRWLockExclusive(&lock_);
    const bool takeBack = state_ == Helper::Posted;
    while (wait && state_ == Helper::Summing)
        SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    const bool done = takeBack || state_ == Helper::Summed;
    if (done)
        state_ = Helper::Idle;
    uint32_t block = blockValue_;
    ReleaseSRWLockExclusive(&lock_);
    if (!done)
        return;
    if (takeBack)
        block = static_cast<uint32_t>(crc32_z(0, copy_, blockLength_));
    value_ = static_cast<uint32_t>(crc32_combine(value_, block, static_cast<z_off_t>(blockLength_)));
    value_ = static_cast<uint32_t>(crc32_combine(value_, tailValue_, static_cast<z_off_t>(tailLength_)));
    tailValue_ = 0;
    tailLength_ = 0;
    outstanding_ = false;
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
        while (self->state_ != Helper::Posted && !self->stop_)
            SleepConditionVariableSRW(&self->changed_, &self->lock_, INFINITE, 0);
        if (self->stop_)
            break;
        self->state_ = Helper::Summing;
        const uint32_t length = self->blockLength_;
        ReleaseSRWLockExclusive(&self->lock_);
        const uint32_t summed = static_cast<uint32_t>(crc32_z(0, self->copy_, length));
        AcquireSRWLockExclusive(&self->lock_);
        self->blockValue_ = summed;
        self->state_ = Helper::Summed;
        WakeConditionVariable(&self->changed_);
    }
    ReleaseSRWLockExclusive(&self->lock_);
    return 0;
}
