// Threads for a decoder that splits one entry's work: helper threads that run a function, a
// lock with one condition that every waiter is woken from, the processor count, and the
// process-wide count of busy threads that keeps all decoding threads within the processors.
// decode_threads_win32.cpp implements the platform part with the Windows API,
// decode_threads_posix.cpp with POSIX threads (the native build); decode_threads.cpp the count.
#pragma once
#include <stdint.h>

// A lock and a condition; null from create_sync without memory.
struct DecodeSync;
DecodeSync* create_sync();
void destroy_sync(DecodeSync* sync);
void lock_sync(DecodeSync* sync);
void unlock_sync(DecodeSync* sync);
// Releases the lock until woken (or spuriously), then holds it again.
void wait_sync(DecodeSync* sync);
void wake_all(DecodeSync* sync);

typedef void (*ThreadBody)(void* argument);
struct HelperThread {
    void* handle;
    ThreadBody body;
    void* argument;
};
// Runs body(argument) on a new thread, which thread describes until it is joined; false when
// none could be made.
bool start_helper(HelperThread* thread, ThreadBody body, void* argument);
// Waits until the thread has ended and releases it.
void join_helper(HelperThread* thread);

uint32_t processor_count();

// Every thread that decodes an entry counts itself busy while it does (the entry pipeline's
// workers and the caller's thread alike), and a decoder takes idle processors for its helpers
// only while fewer threads than processors are busy.
class BusyDecoding {
public:
    BusyDecoding();
    ~BusyDecoding();
    BusyDecoding(const BusyDecoding&) = delete;
    BusyDecoding& operator=(const BusyDecoding&) = delete;
};
// Counts up to wanted more threads busy, as many as processors are idle; returns how many.
uint32_t take_idle_processors(uint32_t wanted);
void return_processors(uint32_t count);
