// Zstandard entries (method 93): one or more frames, through libzstd's streaming decoder, which
// also checks a frame's content checksum where it has one (a mismatch is a data error). A frame
// whose window exceeds the limit is refused.
#include <zstd.h>
#include <zstd_errors.h>

#include "codec/decoder.h"
#include "codec/stream_decoder.h"

namespace {

using ZstdRecord = StreamRecord<ZSTD_DCtx*>;

constexpr int kWindowLogLimit = 28;
static_assert(uint64_t{1} << kWindowLogLimit == kDecoderWindowLimit, "the window limit is a power of two");

int start_zstd(DecoderState* state, uint8_t* buffer, uint32_t bufferSize)
{
    ZstdRecord* own = start_stream_record<ZSTD_DCtx*>(state, buffer, bufferSize);
    own->stream = ZSTD_createDCtx();
    if (!own->stream)
        return -ZSTD_error_memory_allocation;
    ZSTD_DCtx_setParameter(own->stream, ZSTD_d_windowLogMax, kWindowLogLimit);
    return 0;
}

// A frame's end is not the entry's: another frame may follow, so the input decides.
StepEnd zstd_step(void* library, StreamBuffers* buffers, int* status)
{
    ZSTD_DCtx* context = *static_cast<ZSTD_DCtx**>(library);
    ZSTD_inBuffer in = {buffers->in, buffers->inAvailable, 0};
    ZSTD_outBuffer out = {buffers->out, buffers->outAvailable, 0};
    const size_t code = ZSTD_decompressStream(context, &out, &in);
    *buffers = {buffers->in + in.pos, static_cast<uint32_t>(in.size - in.pos), buffers->out + out.pos,
                static_cast<uint32_t>(out.size - out.pos)};
    if (code == 0)
        return StepEnd::frameEnd;  // decoded and delivered whole
    if (!ZSTD_isError(code))
        return StepEnd::goesOn;
    const ZSTD_ErrorCode error = ZSTD_getErrorCode(code);
    *status = static_cast<int>(error);
    if (error == ZSTD_error_frameParameter_windowTooLarge)
        return StepEnd::overLimit;
    return error == ZSTD_error_memory_allocation ? StepEnd::failed : StepEnd::invalidData;
}

DecodeEnd decode_zstd(DecoderState* state, const DecodeRequest& request, int* status)
{
    ZstdRecord* own = decoder_record<ZstdRecord>(state);
    return decode_stream(zstd_step, &own->stream, request, own->buffers(), status);
}

void end_zstd(DecoderState* state) { ZSTD_freeDCtx(decoder_record<ZstdRecord>(state)->stream); }

}  // namespace

extern const EntryDecoder kZstdDecoder = {93, start_zstd, decode_zstd, end_zstd};
