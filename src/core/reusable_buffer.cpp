#include "core/reusable_buffer.h"

#include <stdlib.h>

namespace {
// Capacities are whole MiB, so that entries of growing sizes reallocate rarely.
constexpr size_t kGranule = 1u << 20;
}  // namespace

uint8_t* reserve_buffer(ReusableBuffer* buffer, size_t size)
{
    if (size <= buffer->capacity && buffer->data)
        return buffer->data;
    release_buffer(buffer);
    if (size > SIZE_MAX - kGranule)
        return nullptr;
    const size_t capacity = (size + kGranule - 1) / kGranule * kGranule;
    buffer->data = static_cast<uint8_t*>(malloc(capacity));
    if (buffer->data)
        buffer->capacity = capacity;
    return buffer->data;
}

void release_buffer(ReusableBuffer* buffer)
{
    free(buffer->data);
    buffer->data = nullptr;
    buffer->capacity = 0;
}
