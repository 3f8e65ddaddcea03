#include "codec/decode_threads.h"

namespace {
// Threads busy decoding in the process: the entries' own threads and their decoders' helpers.
int32_t busyThreads = 0;
}  // namespace

BusyDecoding::BusyDecoding() { __atomic_fetch_add(&busyThreads, 1, __ATOMIC_RELAXED); }
BusyDecoding::~BusyDecoding() { __atomic_fetch_sub(&busyThreads, 1, __ATOMIC_RELAXED); }

uint32_t take_idle_processors(uint32_t wanted)
{
    const int32_t processors = static_cast<int32_t>(processor_count());
    int32_t busy = __atomic_load_n(&busyThreads, __ATOMIC_RELAXED);
    for (;;) {
        const int32_t idle = processors - busy;
        if (idle <= 0 || wanted == 0)
            return 0;
        const int32_t take = static_cast<uint32_t>(idle) < wanted ? idle : static_cast<int32_t>(wanted);
        if (__atomic_compare_exchange_n(&busyThreads, &busy, busy + take, false, __ATOMIC_RELAXED, __ATOMIC_RELAXED))
            return static_cast<uint32_t>(take);
    }
}

void return_processors(uint32_t count)
{
    __atomic_fetch_sub(&busyThreads, static_cast<int32_t>(count), __ATOMIC_RELAXED);
}
