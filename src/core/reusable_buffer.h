// Memory that one thread of a job keeps from entry to entry: grown when an entry needs more,
// released when the thread's job ends. Reusing it spares each entry the allocation and the
// first touch of fresh pages.
#pragma once
#include <stddef.h>
#include <stdint.h>

struct ReusableBuffer {
    uint8_t* data;
    size_t capacity;
};

// At least size bytes at the returned address (what they held before is lost), or null when
// they cannot be had; the buffer then holds nothing.
uint8_t* reserve_buffer(ReusableBuffer* buffer, size_t size);
void release_buffer(ReusableBuffer* buffer);
