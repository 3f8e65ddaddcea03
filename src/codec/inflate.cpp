// Deflate entries (method 8), through zlib's raw inflate in blocks of the pipeline's buffer.
#include <string.h>
#include <zlib.h>

#include "codec/decoder.h"

namespace {

struct InflateState {
    z_stream stream;
    uint8_t* buffer;
    uint32_t bufferSize;
};

int start_inflate(DecoderState* state, uint8_t* buffer, uint32_t bufferSize)
{
    InflateState* own = decoder_record<InflateState>(state);
    memset(own, 0, sizeof *own);
    own->buffer = buffer;
    own->bufferSize = bufferSize;
    return inflateInit2_(&own->stream, -15, "1.3.1", static_cast<int>(sizeof(z_stream)));
}

DecodeEnd decode_inflate(DecoderState* state, const DecodeRequest& request, int* status)
{
    InflateState* own = decoder_record<InflateState>(state);
    z_stream& stream = own->stream;
    uint64_t produced = 0;
    for (;;) {
        if (stream.avail_in == 0) {
            uint8_t* next = nullptr;
            const uint32_t count = request.input(request.inputDescriptor, &next);
            if (count == 0) {
                // Every compressed byte is used up: a stream that stopped short of its declared
                // size is a damaged entry, not one with a zero-filled tail.
                return produced < request.declaredSize ? DecodeEnd::truncated : DecodeEnd::complete;
            }
            stream.next_in = next;
            stream.avail_in = count;
        }
        // The chunk is inflated a buffer at a time until the stream ends or needs more input.
        for (;;) {
            stream.next_out = own->buffer;
            stream.avail_out = own->bufferSize;
            int code = inflate(&stream, Z_NO_FLUSH);
            if (code == Z_NEED_DICT)
                code = -1;
            if (code == Z_DATA_ERROR || code == Z_MEM_ERROR || code == -1) {
                *status = code;
                return code == Z_DATA_ERROR ? DecodeEnd::invalidData : DecodeEnd::failed;
            }
            const uint32_t count = own->bufferSize - stream.avail_out;
            if (count > 0 && request.output(request.outputDescriptor, own->buffer, count) != 0) {
                *status = 0;
                return DecodeEnd::failed;
            }
            produced += count;
            if (code == Z_STREAM_END)
                return DecodeEnd::complete;
            if (stream.avail_out != 0)
                break;
        }
    }
}

void end_inflate(DecoderState* state) { inflateEnd(&decoder_record<InflateState>(state)->stream); }

}  // namespace

extern const EntryDecoder kInflateDecoder = {8, start_inflate, decode_inflate, end_inflate};
