// The Deflate64 decoder over arbitrary streams. The first byte chooses how the rest is handed
// over: how many bytes wait in next_in and the size of the chunks the input function returns.
// Each stream is decoded twice, chunked that way and all at once (which keeps the fast loop
// busy), and both runs must agree on the result, the message, every output call and the input
// left over. Input chunks and the window live in heap blocks of their exact size, and a chunk
// is freed when the next one is asked for, so that any access outside them is caught.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <memory>
#include <string>
#include <vector>

#include "codec/deflate64.h"

namespace {

constexpr uint64_t kOutputLimit = 2u << 20;  // the output function fails beyond this

struct ChunkInput {
    const uint8_t* data;
    size_t size;
    size_t pos;
    size_t chunk;
    std::unique_ptr<uint8_t[]> block;
    uint32_t blockSize;

    static uint32_t read(void* descriptor, uint8_t** next)
    {
        auto* self = static_cast<ChunkInput*>(descriptor);
        self->block.reset();
        self->blockSize = 0;
        const size_t n = self->chunk < self->size - self->pos ? self->chunk : self->size - self->pos;
        if (n == 0)
            return 0;
        self->block.reset(new uint8_t[n]);
        memcpy(self->block.get(), self->data + self->pos, n);
        self->pos += n;
        self->blockSize = static_cast<uint32_t>(n);
        *next = self->block.get();
        return self->blockSize;
    }
};

struct Call {
    uint32_t count;
    uint32_t crc;
    bool operator!=(const Call& o) const { return count != o.count || crc != o.crc; }
};

struct Output {
    const uint8_t* window;
    uint64_t total;
    std::vector<Call> calls;
    bool failed;

    static int write(void* descriptor, uint8_t* data, uint32_t count)
    {
        auto* self = static_cast<Output*>(descriptor);
        // Every call delivers from the window's start; only the last may be partial.
        if (data != self->window || count == 0 || count > kDeflate64WindowSize)
            __builtin_trap();
        if (self->failed || (!self->calls.empty() && self->calls.back().count != kDeflate64WindowSize))
            __builtin_trap();
        self->calls.push_back({count, static_cast<uint32_t>(crc32(0, data, count))});
        self->total += count;
        self->failed = self->total > kOutputLimit;
        return self->failed ? 1 : 0;
    }
};

struct Run {
    int code;
    std::string msg;
    std::vector<Call> calls;
    size_t consumed;  // bytes of the stream taken, counted from its start
};

Run decode(const uint8_t* data, size_t size, size_t initial, size_t chunk)
{
    std::unique_ptr<uint8_t[]> window(new uint8_t[kDeflate64WindowSize]);
    std::unique_ptr<uint8_t[]> head(new uint8_t[initial ? initial : 1]);
    memcpy(head.get(), data, initial);
    z_stream z{};
    if (deflate64_init(&z, window.get(), ZLIB_VERSION, sizeof(z_stream)) != 0)
        __builtin_trap();
    z.next_in = initial ? head.get() : nullptr;
    z.avail_in = static_cast<uInt>(initial);
    ChunkInput in{data + initial, size - initial, 0, chunk, nullptr, 0};
    Output out{window.get(), 0, {}, false};
    Run run;
    run.code = deflate64_decode(&z, ChunkInput::read, &in, Output::write, &out);
    run.msg = z.msg ? z.msg : "";
    run.calls = std::move(out.calls);
    if (run.code != 1 && run.code != -3 && run.code != -5)
        __builtin_trap();
    if ((run.code == -3) != (z.msg != nullptr))
        __builtin_trap();
    // A partial window is delivered only at the end of a whole stream (where it may fail);
    // a failed output call is the last one and makes the result -5.
    if (!run.calls.empty() && run.calls.back().count != kDeflate64WindowSize && run.code != 1 && !out.failed)
        __builtin_trap();
    if (out.failed && run.code != -5)
        __builtin_trap();
    // next_in/avail_in: null and 0 once the input ran out, else inside the bytes last handed over.
    if (z.next_in == nullptr) {
        if (z.avail_in != 0 || in.pos != in.size)
            __builtin_trap();
        run.consumed = size;
    } else if (in.blockSize == 0 && in.pos == 0) {
        if (z.next_in < head.get() || z.next_in + z.avail_in != head.get() + initial)
            __builtin_trap();
        run.consumed = static_cast<size_t>(z.next_in - head.get());
    } else {
        if (z.next_in < in.block.get() || z.next_in + z.avail_in != in.block.get() + in.blockSize)
            __builtin_trap();
        run.consumed = initial + in.pos - z.avail_in;
    }
    if (deflate64_end(&z) != 0)
        __builtin_trap();
    return run;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    static const size_t kChunks[8] = {1, 2, 3, 7, 16, 17, 64, 4096};
    const uint8_t mode = data[0];
    ++data;
    --size;
    const size_t chunk = kChunks[mode & 7];
    const size_t initial = (mode >> 3 & 3) == 3 ? size : size * (mode >> 3 & 3) / 4;

    const Run chunked = decode(data, size, initial, chunk);
    const Run whole = decode(data, size, size, 1);
    if (chunked.code != whole.code || chunked.msg != whole.msg || chunked.calls.size() != whole.calls.size())
        __builtin_trap();
    for (size_t i = 0; i < whole.calls.size(); ++i)
        if (chunked.calls[i] != whole.calls[i])
            __builtin_trap();
    // A finished stream leaves the same bytes behind whichever way it came in.
    if (whole.code == 1 && chunked.consumed != whole.consumed)
        __builtin_trap();
    return 0;
}
