// Deflate entries (method 8). An entry whose declared size and compressed bytes are at most
// kWholeEntryLimit, and whose compressed bytes lie inside the archive, is decoded whole by
// libdeflate: its input gathered, decoded in one call into the output's own memory or the
// thread's kept memory, and delivered in one block when its CRC-32 is the recorded one. Any
// other entry, and one that libdeflate refuses or whose bytes do not match, goes through zlib's
// raw inflate over the same input chunks, so that zlib decides how it ends, as it always has.
// The CRC-32 keeps damaged data from being taken: libdeflate reads a few streams that zlib
// refuses (code counts over 286 and 30, the codes 286, 287, 30 and 31 of a fixed block, repeated
// lengths past the last code, the unused half of a one-code table).
#include <libdeflate.h>
#include <string.h>
#include <zlib.h>

#include "codec/crc32.h"
#include "codec/decoder.h"
#include "codec/stream_decoder.h"

namespace {

using InflateRecord = StreamRecord<z_stream>;

// Each of the threads of a job keeps at most twice this for whole entries (output and input).
constexpr uint64_t kWholeEntryLimit = 16u << 20;
// More input chunks than this (the pipeline's are of 1 MiB) go through zlib as they come.
constexpr uint32_t kMaxChunks = 64;

int start_inflate(DecoderState* state, uint8_t* buffer, uint32_t bufferSize)
{
    InflateRecord* own = start_stream_record<z_stream>(state, buffer, bufferSize);
    return inflateInit2_(&own->stream, -15, "1.3.1", static_cast<int>(sizeof(z_stream)));
}

StepEnd inflate_step(void* library, StreamBuffers* buffers, int* status)
{
    z_stream& stream = *static_cast<z_stream*>(library);
    stream.next_in = const_cast<Bytef*>(buffers->in);
    stream.avail_in = buffers->inAvailable;
    stream.next_out = buffers->out;
    stream.avail_out = buffers->outAvailable;
    *status = inflate(&stream, Z_NO_FLUSH);
    *buffers = {stream.next_in, stream.avail_in, stream.next_out, stream.avail_out};
    switch (*status) {
    case Z_OK:
    case Z_BUF_ERROR:
        return StepEnd::goesOn;
    case Z_STREAM_END:
        return StepEnd::streamEnd;
    case Z_DATA_ERROR:
        return StepEnd::invalidData;
    case Z_NEED_DICT:  // a raw stream has no dictionary to ask for
        *status = -1;
        return StepEnd::failed;
    default:
        return StepEnd::failed;
    }
}

// The input of an entry gathered in one buffer, with where each chunk ended, so that zlib can be
// handed the same chunks again: its output blocks follow them, and a memory target too small
// for the output keeps what the blocks decide.
struct GatheredInput {
    const DecodeRequest* request;
    uint8_t* bytes;
    uint32_t count;
    uint32_t chunks;
    uint32_t chunkEnds[kMaxChunks];
    uint8_t* held;  // a chunk taken from the input but not gathered, due after the others
    uint32_t heldCount;
    uint32_t replayed;  // chunks handed to zlib again
};

// Gathers the input until it has the bytes it said it delivers; false when it ended sooner, or
// gave a chunk beyond them or beyond kMaxChunks (held then).
bool gather_input(GatheredInput* gathered)
{
    const DecodeRequest& request = *gathered->request;
    const uint64_t inputSize = request.whole.inputSize;
    while (gathered->count < inputSize) {
        uint8_t* next = nullptr;
        const uint32_t count = request.input(request.inputDescriptor, &next);
        if (count == 0)
            return false;
        if (gathered->chunks == kMaxChunks || count > inputSize - gathered->count) {
            gathered->held = next;
            gathered->heldCount = count;
            return false;
        }
        memcpy(gathered->bytes + gathered->count, next, count);
        gathered->count += count;
        gathered->chunkEnds[gathered->chunks++] = gathered->count;
    }
    return true;
}

// An InputFunction over the gathered chunks, then the held one, then the request's input.
uint32_t replay_input(void* descriptor, uint8_t** next)
{
    GatheredInput* gathered = static_cast<GatheredInput*>(descriptor);
    if (gathered->replayed < gathered->chunks) {
        const uint32_t start = gathered->replayed > 0 ? gathered->chunkEnds[gathered->replayed - 1] : 0;
        *next = gathered->bytes + start;
        return gathered->chunkEnds[gathered->replayed++] - start;
    }
    if (gathered->heldCount > 0) {
        const uint32_t count = gathered->heldCount;
        *next = gathered->held;
        gathered->heldCount = 0;
        return count;
    }
    return gathered->request->input(gathered->request->inputDescriptor, next);
}

bool decodes_whole(const DecodeRequest& request)
{
    const WholeEntry& whole = request.whole;
    return whole.inputSize != 0 && whole.inputSize <= kWholeEntryLimit && request.declaredSize <= kWholeEntryLimit &&
           whole.outputRoom >= request.declaredSize && whole.crcRecorded && whole.memory;
}

// Decodes the gathered input into out (declaredSize bytes) and delivers it: true with *end set
// when the stream was whole and its bytes match the recorded CRC-32.
bool decode_gathered(const GatheredInput& gathered, uint8_t* out, DecodeEnd* end, int* status)
{
    const DecodeRequest& request = *gathered.request;
    libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
    if (!decompressor)
        return false;
    size_t produced = 0;
    const libdeflate_result result = libdeflate_deflate_decompress_ex(
        decompressor, gathered.bytes, gathered.count, out, static_cast<size_t>(request.declaredSize), nullptr, &produced);
    libdeflate_free_decompressor(decompressor);
    const WholeEntry& whole = request.whole;
    if (result != LIBDEFLATE_SUCCESS || update_crc32(0, out, produced) != whole.recordedCrc)
        return false;
    if (whole.crcConfirmed)
        *whole.crcConfirmed = true;
    *end = DecodeEnd::complete;
    if (produced > 0 && request.output(request.outputDescriptor, out, static_cast<uint32_t>(produced)) != 0) {
        *status = 0;
        *end = DecodeEnd::failed;
    }
    return true;
}

DecodeEnd decode_inflate(DecoderState* state, const DecodeRequest& request, int* status)
{
    InflateRecord* own = decoder_record<InflateRecord>(state);
    if (!decodes_whole(request))
        return decode_stream(inflate_step, &own->stream, request, own->buffers(), status);
    const WholeEntry& whole = request.whole;
    const size_t outputSize = whole.outputSpan ? 0 : static_cast<size_t>(request.declaredSize);
    uint8_t* memory = reserve_buffer(whole.memory, outputSize + static_cast<size_t>(whole.inputSize));
    if (!memory)
        return decode_stream(inflate_step, &own->stream, request, own->buffers(), status);
    GatheredInput gathered = {};
    gathered.request = &request;
    gathered.bytes = memory + outputSize;
    DecodeEnd end = DecodeEnd::failed;
    if (gather_input(&gathered) && decode_gathered(gathered, whole.outputSpan ? whole.outputSpan : memory, &end, status))
        return end;
    DecodeRequest replay = request;
    replay.input = replay_input;
    replay.inputDescriptor = &gathered;
    return decode_stream(inflate_step, &own->stream, replay, own->buffers(), status);
}

void end_inflate(DecoderState* state) { inflateEnd(&decoder_record<InflateRecord>(state)->stream); }

}  // namespace

extern const EntryDecoder kInflateDecoder = {8, start_inflate, decode_inflate, end_inflate};
