#include "extract/running_crc.h"

#include <process.h>
#include <zlib.h>

namespace {

// Below these sizes a thread's start and the hand-over cost more than summing in line.
constexpr uint32_t kHelperBlockMin = 256 * 1024;
constexpr uint64_t kHelperEntryMin = 16 * 1024 * 1024;

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
}

void RunningCrc::add(const uint8_t* data, uint32_t length)
{
    value_ = static_cast<uint32_t>(crc32_z(value_, data, length));
}

void RunningCrc::begin_block(const uint8_t* data, uint32_t length, uint64_t entrySize)
{
    if (length < kHelperBlockMin || entrySize < kHelperEntryMin || !start_helper()) {
        add(data, length);
        return;
    }
    AcquireSRWLockExclusive(&lock_);
    data_ = data;
    length_ = length;
    posted_ = true;
    ReleaseSRWLockExclusive(&lock_);
    WakeConditionVariable(&changed_);
}

// The wait ends: the helper sums every posted block and takes no other work.
void RunningCrc::end_block()
{
    if (!thread_)
        return;
    AcquireSRWLockExclusive(&lock_);
    while (posted_)
        SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    ReleaseSRWLockExclusive(&lock_);
}

bool RunningCrc::start_helper()
{
    if (thread_ || helperFailed_)
        return thread_ != nullptr;
    thread_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, helper_main, this, 0, nullptr));
    helperFailed_ = thread_ == nullptr;
    return thread_ != nullptr;
}

unsigned __stdcall RunningCrc::helper_main(void* argument)
{
    RunningCrc* self = static_cast<RunningCrc*>(argument);
    AcquireSRWLockExclusive(&self->lock_);
    for (;;) {
        while (!self->posted_ && !self->stop_)
            SleepConditionVariableSRW(&self->changed_, &self->lock_, INFINITE, 0);
        if (!self->posted_)
            break;
        const uint8_t* data = self->data_;
        const uint32_t length = self->length_;
        const uint32_t value = self->value_;
        ReleaseSRWLockExclusive(&self->lock_);
        const uint32_t summed = static_cast<uint32_t>(crc32_z(value, data, length));
        AcquireSRWLockExclusive(&self->lock_);
        self->value_ = summed;
        self->posted_ = false;
        WakeConditionVariable(&self->changed_);
    }
    ReleaseSRWLockExclusive(&self->lock_);
    return 0;
}
