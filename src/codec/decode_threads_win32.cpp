#include "codec/decode_threads.h"

#include <windows.h>
#include <process.h>
#include <stdlib.h>

struct DecodeSync {
    SRWLOCK lock;
    CONDITION_VARIABLE condition;
};

DecodeSync* create_sync()
{
    DecodeSync* sync = static_cast<DecodeSync*>(malloc(sizeof(DecodeSync)));
    if (sync) {
        InitializeSRWLock(&sync->lock);
        InitializeConditionVariable(&sync->condition);
    }
    return sync;
}

void destroy_sync(DecodeSync* sync) { free(sync); }
void lock_sync(DecodeSync* sync) { AcquireSRWLockExclusive(&sync->lock); }
void unlock_sync(DecodeSync* sync) { ReleaseSRWLockExclusive(&sync->lock); }
void wait_sync(DecodeSync* sync) { SleepConditionVariableSRW(&sync->condition, &sync->lock, INFINITE, 0); }
void wake_all(DecodeSync* sync) { WakeAllConditionVariable(&sync->condition); }

namespace {
unsigned __stdcall run_helper(void* thread)
{
    HelperThread* own = static_cast<HelperThread*>(thread);
    own->body(own->argument);
    return 0;
}
}  // namespace

bool start_helper(HelperThread* thread, ThreadBody body, void* argument)
{
    thread->body = body;
    thread->argument = argument;
    const uintptr_t handle = _beginthreadex(nullptr, 0, run_helper, thread, 0, nullptr);
    thread->handle = reinterpret_cast<void*>(handle);
    return handle != 0;
}

void join_helper(HelperThread* thread)
{
    WaitForSingleObject(thread->handle, INFINITE);
    CloseHandle(thread->handle);
    thread->handle = nullptr;
}

uint32_t processor_count()
{
    const DWORD count = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
    return count > 0 ? count : 1;
}
