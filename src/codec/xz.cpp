// XZ entries (method 95): a whole .xz stream, through liblzma's stream decoder, which also
// checks the stream's own integrity check (a mismatch is a data error). A block whose
// dictionary would take the decoder past the window limit is refused.
#include "codec/decoder.h"
#include "codec/lzma.h"

namespace {

// The window and the decoder's own tables, which liblzma counts in its memory use.
constexpr uint64_t kMemoryLimit = kDecoderWindowLimit + (1u << 20);

int start_xz(DecoderState* state, uint8_t* buffer, uint32_t bufferSize)
{
    LzmaRecord* own = start_stream_record<lzma_stream>(state, buffer, bufferSize);
    return lzma_stream_decoder(&own->stream, kMemoryLimit, 0);
}

DecodeEnd decode_xz(DecoderState* state, const DecodeRequest& request, int* status)
{
    LzmaRecord* own = decoder_record<LzmaRecord>(state);
    return decode_stream(lzma_step, &own->stream, request, own->buffers(), status);
}

void end_xz(DecoderState* state) { lzma_end(&decoder_record<LzmaRecord>(state)->stream); }

}  // namespace

extern const EntryDecoder kXzDecoder = {95, start_xz, decode_xz, end_xz};
