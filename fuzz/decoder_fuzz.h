// A decoder of the entry pipeline over arbitrary streams, through the decoder interface. The
// first byte chooses the chunk size of the input and the general-purpose flags, the second the
// declared size (up to 16 MiB, which also bounds an LZMA dictionary). Each stream is decoded
// twice, chunked that way and all at once: both runs must end alike, a complete one with the
// same output, and their outputs must agree as far as both go.
// Input chunks live in heap blocks of their exact size, freed when the next one is asked for, so
// that any access outside them is caught; output beyond 4 MiB is refused.
#pragma once
#include <stdint.h>
#include <string.h>

#include <memory>
#include <string>

#include "codec/decoder.h"

namespace decoder_fuzz {

constexpr size_t kOutputLimit = 4u << 20;

struct Input {
    const uint8_t* data;
    size_t size;
    size_t chunk;
    std::unique_ptr<uint8_t[]> block;

    static uint32_t next(void* descriptor, uint8_t** out)
    {
        Input* self = static_cast<Input*>(descriptor);
        const size_t count = self->chunk < self->size ? self->chunk : self->size;
        self->block.reset(count ? new uint8_t[count] : nullptr);
        if (count)
            memcpy(self->block.get(), self->data, count);
        self->data += count;
        self->size -= count;
        *out = self->block.get();
        return static_cast<uint32_t>(count);
    }
};

struct Output {
    std::string kept;
    bool refused = false;

    static int take(void* descriptor, uint8_t* data, uint32_t count)
    {
        Output* self = static_cast<Output*>(descriptor);
        if (self->refused)
            __builtin_trap();  // no output after a refusal
        self->refused = self->kept.size() + count > kOutputLimit;
        if (!self->refused)
            self->kept.append(reinterpret_cast<char*>(data), count);
        return self->refused ? 1 : 0;
    }
};

inline Output decode(uint16_t method, const uint8_t* data, size_t size, size_t chunk, uint16_t flags,
                     uint64_t declaredSize, DecodeEnd* end)
{
    const EntryDecoder* decoder = find_decoder(method);
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[65536]);
    DecoderState state;
    if (!decoder || decoder->start(&state, buffer.get(), 65536) != 0)
        __builtin_trap();
    Input input{data, size, chunk, nullptr};
    Output output;
    int status = 0;
    const DecodeRequest request = {Input::next, &input, Output::take, &output, declaredSize, flags};
    *end = decoder->decode(&state, request, &status);
    decoder->end(&state);
    return output;
}

inline int fuzz_decoder(uint16_t method, const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    static const size_t kChunks[8] = {1, 2, 3, 7, 16, 64, 509, 4096};
    const size_t chunk = kChunks[data[0] & 7];
    const uint16_t flags = static_cast<uint16_t>(data[0] >> 3 & 6);  // bits 1 and 2
    const uint64_t declaredSize = static_cast<uint64_t>(data[1]) << 16;
    DecodeEnd chunkedEnd, wholeEnd;
    const Output chunked = decode(method, data + 2, size - 2, chunk, flags, declaredSize, &chunkedEnd);
    const Output whole = decode(method, data + 2, size - 2, size, flags, declaredSize, &wholeEnd);
    // What was delivered before a refusal or a failure depends on where the blocks were cut:
    // there the bytes that both runs delivered agree.
    const size_t common = chunked.kept.size() < whole.kept.size() ? chunked.kept.size() : whole.kept.size();
    if (chunked.kept.compare(0, common, whole.kept, 0, common) != 0)
        __builtin_trap();
    if (chunked.refused || whole.refused)
        return 0;
    if (chunkedEnd != wholeEnd || (wholeEnd == DecodeEnd::complete && chunked.kept != whole.kept))
        __builtin_trap();
    return 0;
}

}  // namespace decoder_fuzz
