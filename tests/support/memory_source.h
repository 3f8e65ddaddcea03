// The bytes of an archive file in memory as a ByteSource, for the native tests and the fuzz
// targets: a read past the end gives what lies before it; a test can make every read fail, and
// counts the reads.
#pragma once
#include <stdint.h>
#include <string.h>

#include <string>

#include "archive/archive_locate.h"

class MemorySource : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit MemorySource(const std::string& bytes)
        : MemorySource(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())
    {
    }
    int64_t read_at(uint64_t offset, void* buffer, uint32_t length) override
    {
        ++reads;
        if (failReads)
            return -1;
        if (offset >= size_)
            return 0;
        const uint64_t n = length < size_ - offset ? length : size_ - offset;
        memcpy(buffer, data_ + offset, n);
        return static_cast<int64_t>(n);
    }
    int reads = 0;
    bool failReads = false;

private:
    const uint8_t* data_;
    size_t size_;
};
