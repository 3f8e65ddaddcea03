// bzip2 entries (method 12), through libbz2. Its state for the largest block size (900 kB)
// takes about 3.7 MB, allocated when the stream header names the block size. Large entries are
// decoded a block at a time on several threads (bzip2_blocks.cpp).
#include "codec/bzip2_blocks.h"

// libbz2's own record of a stream, for resume_bzip2.
extern "C" {
#include <bzlib_private.h>
}

// libbz2 built without stdio reports a broken invariant of its own here; the call that met it
// then returns an error code.
extern "C" void bz_internal_error(int) {}

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

// libbz2 has no call for starting at a block: its decoder is given the header alone, which it
// reads before it stops for want of input at the first block's magic, and then the state that a
// decoder of the whole stream would hold there. Between blocks that is the bits read ahead of
// the next byte and the running combined CRC; everything else is made anew by each block.
int resume_bzip2(bz_stream* stream, uint8_t level, uint8_t pendingByte, unsigned pendingBits, uint32_t combinedCrc)
{
    char header[4] = {'B', 'Z', 'h', static_cast<char>(level)};
    char none = 0;
    stream->next_in = header;
    stream->avail_in = sizeof header;
    stream->next_out = &none;
    stream->avail_out = 1;
    const int code = BZ2_bzDecompress(stream);
    if (code != BZ_OK)
        return code;
    DState* own = static_cast<DState*>(stream->state);
    own->bsBuff = pendingByte;
    own->bsLive = static_cast<Int32>(pendingBits);
    own->calculatedCombinedCRC = combinedCrc;
    return BZ_OK;
}

namespace {

using Bzip2Record = StreamRecord<bz_stream>;

int start_bzip2(DecoderState* state, uint8_t* buffer, uint32_t bufferSize)
{
    Bzip2Record* own = start_stream_record<bz_stream>(state, buffer, bufferSize);
    return BZ2_bzDecompressInit(&own->stream, 0, 0);
}

DecodeEnd decode_bzip2(DecoderState* state, const DecodeRequest& request, int* status)
{
    Bzip2Record* own = decoder_record<Bzip2Record>(state);
    if (worth_decoding_in_blocks(request))
        return decode_bzip2_blocks(&own->stream, request, own->buffers(), status);
    return decode_stream(bzip2_step, &own->stream, request, own->buffers(), status);
}

void end_bzip2(DecoderState* state) { BZ2_bzDecompressEnd(&decoder_record<Bzip2Record>(state)->stream); }

}  // namespace

extern const EntryDecoder kBzip2Decoder = {12, start_bzip2, decode_bzip2, end_bzip2};
