// Deflate entries (method 8), through zlib's raw inflate.
#include <zlib.h>

#include "codec/decoder.h"
#include "codec/stream_decoder.h"

namespace {

using InflateRecord = StreamRecord<z_stream>;

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

DecodeEnd decode_inflate(DecoderState* state, const DecodeRequest& request, int* status)
{
    InflateRecord* own = decoder_record<InflateRecord>(state);
    return decode_stream(inflate_step, &own->stream, request, own->buffers(), status);
}

void end_inflate(DecoderState* state) { inflateEnd(&decoder_record<InflateRecord>(state)->stream); }

}  // namespace

extern const EntryDecoder kInflateDecoder = {8, start_inflate, decode_inflate, end_inflate};
