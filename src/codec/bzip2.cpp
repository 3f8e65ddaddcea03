// bzip2 entries (method 12), through libbz2. Its state for the largest block size (900 kB)
// takes about 3.7 MB, allocated when the stream header names the block size.
#include <bzlib.h>

#include "codec/decoder.h"
#include "codec/stream_decoder.h"

// libbz2 built without stdio reports a broken invariant of its own here; the call that met it
// then returns an error code.
extern "C" void bz_internal_error(int) {}

namespace {

using Bzip2Record = StreamRecord<bz_stream>;

int start_bzip2(DecoderState* state, uint8_t* buffer, uint32_t bufferSize)
{
    Bzip2Record* own = start_stream_record<bz_stream>(state, buffer, bufferSize);
    return BZ2_bzDecompressInit(&own->stream, 0, 0);
}

StepEnd bzip2_step(void* library, StreamBuffers* buffers, int* status)
{
    bz_stream& stream = *static_cast<bz_stream*>(library);
    stream.next_in = reinterpret_cast<char*>(const_cast<uint8_t*>(buffers->in));
    stream.avail_in = buffers->inAvailable;
    stream.next_out = reinterpret_cast<char*>(buffers->out);
    stream.avail_out = buffers->outAvailable;
    *status = BZ2_bzDecompress(&stream);
    *buffers = {reinterpret_cast<uint8_t*>(stream.next_in), stream.avail_in, reinterpret_cast<uint8_t*>(stream.next_out),
                stream.avail_out};
    switch (*status) {
    case BZ_OK:
        return StepEnd::goesOn;
    case BZ_STREAM_END:
        return StepEnd::streamEnd;
    case BZ_DATA_ERROR:
    case BZ_DATA_ERROR_MAGIC:
        return StepEnd::invalidData;
    default:
        return StepEnd::failed;
    }
}

DecodeEnd decode_bzip2(DecoderState* state, const DecodeRequest& request, int* status)
{
    Bzip2Record* own = decoder_record<Bzip2Record>(state);
    return decode_stream(bzip2_step, &own->stream, request, own->buffers(), status);
}

void end_bzip2(DecoderState* state) { BZ2_bzDecompressEnd(&decoder_record<Bzip2Record>(state)->stream); }

}  // namespace

extern const EntryDecoder kBzip2Decoder = {12, start_bzip2, decode_bzip2, end_bzip2};
