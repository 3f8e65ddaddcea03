// A decoder of the entry pipeline over arbitrary streams, through the decoder interface. The
// first byte chooses the input's chunk size and the general-purpose flags, the second the
// declared size (up to 16 MiB, which also bounds an LZMA dictionary). Each stream is decoded
// twice, chunked that way and all at once: both runs must end alike, a complete one with the
// same output, and their outputs must agree as far as both go unless one met an error. Input
// chunks live in heap blocks of their exact size, freed when the next one is asked for, so that
// any access outside them is caught; output beyond 4 MiB is refused, and nothing may come after
// a refusal.
#pragma once
#include <stdint.h>
#include <string.h>

#include <memory>
#include <string>

#include "codec/decoder.h"

namespace decoder_fuzz {

struct Run {
    const uint8_t* data;
    size_t size;
    size_t chunk;
    std::unique_ptr<uint8_t[]> block;
    std::string kept;
    bool refused = false;
    DecodeEnd end = DecodeEnd::failed;
};

inline uint32_t next_chunk(void* descriptor, uint8_t** out)
{
    Run& run = *static_cast<Run*>(descriptor);
    const size_t count = run.chunk < run.size ? run.chunk : run.size;
    run.block.reset(count ? new uint8_t[count] : nullptr);
    if (count)
        memcpy(run.block.get(), run.data, count);
    run.data += count;
    run.size -= count;
    *out = run.block.get();
    return static_cast<uint32_t>(count);
}

inline int keep_output(void* descriptor, uint8_t* data, uint32_t count)
{
    Run& run = *static_cast<Run*>(descriptor);
    if (run.refused)
        __builtin_trap();
    run.refused = run.kept.size() + count > (4u << 20);
    if (!run.refused)
        run.kept.append(reinterpret_cast<char*>(data), count);
    return run.refused ? 1 : 0;
}

// Decodes the run's stream, offering the decoder to take it whole as whole says.
inline void decode(uint16_t method, uint16_t flags, uint64_t declaredSize, Run& run, WholeEntry whole = {})
{
    const EntryDecoder* decoder = find_decoder(method);
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[65536]);
    DecoderState state;
    if (!decoder || decoder->start(&state, buffer.get(), 65536) != 0)
        __builtin_trap();
    int status = 0;
    run.end = decoder->decode(&state, {next_chunk, &run, keep_output, &run, declaredSize, flags, whole}, &status);
    decoder->end(&state);
}

inline int fuzz_decoder(uint16_t method, const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    static const size_t kChunks[8] = {1, 2, 3, 7, 16, 64, 509, 4096};
    const uint16_t flags = static_cast<uint16_t>(data[0] >> 3 & 6);  // bits 1 and 2
    const uint64_t declaredSize = static_cast<uint64_t>(data[1]) << 16;
    Run chunked{data + 2, size - 2, kChunks[data[0] & 7]};
    Run whole{data + 2, size - 2, size};
    decode(method, flags, declaredSize, chunked);
    decode(method, flags, declaredSize, whole);
    // What a damaged stream delivered before its error is removed whatever it was (liblzma's
    // LZMA2 decoder, for one, gives other bytes just before an error when its input comes in
    // other chunks); where neither run met an error, the outputs agree as far as both go.
    const auto erred = [](DecodeEnd end) { return end == DecodeEnd::invalidData || end == DecodeEnd::failed; };
    const size_t common = chunked.kept.size() < whole.kept.size() ? chunked.kept.size() : whole.kept.size();
    if (!erred(chunked.end) && !erred(whole.end) && chunked.kept.compare(0, common, whole.kept, 0, common) != 0)
        __builtin_trap();
    if (chunked.refused || whole.refused)
        return 0;
    if (chunked.end != whole.end || (whole.end == DecodeEnd::complete && chunked.kept != whole.kept))
        __builtin_trap();
    return 0;
}

}  // namespace decoder_fuzz
