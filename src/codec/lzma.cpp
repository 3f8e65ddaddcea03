// LZMA entries (method 14), through liblzma's raw LZMA1 decoder. The data begin with a header
// of their own: two version bytes, the 16-bit size of the properties (5), then the properties:
// the lc/lp/pb byte and the 32-bit dictionary size. With general-purpose flag 1 the stream ends
// with an end marker; otherwise it ends after the entry's declared size.
#include "codec/lzma.h"

#include "codec/decoder.h"

namespace {

constexpr uint32_t kHeaderSize = 9;
constexpr uint16_t kFlagEndMarker = 0x0002;
constexpr uint32_t kSmallestDictionary = 4096;  // liblzma's own floor

StepEnd lzma_result(lzma_ret code)
{
    switch (code) {
    case LZMA_OK:
        return StepEnd::goesOn;
    case LZMA_STREAM_END:
        return StepEnd::streamEnd;
    case LZMA_FORMAT_ERROR:
    case LZMA_OPTIONS_ERROR:
    case LZMA_DATA_ERROR:
        return StepEnd::invalidData;
    case LZMA_MEMLIMIT_ERROR:
        return StepEnd::overLimit;
    default:
        return StepEnd::failed;
    }
}

DecodeEnd as_decode_end(StepEnd end)
{
    return end == StepEnd::invalidData ? DecodeEnd::invalidData
           : end == StepEnd::overLimit ? DecodeEnd::overLimit
                                       : DecodeEnd::failed;
}

// Takes the header from the input, which may come in pieces; *rest and *restCount are the
// input bytes after it. False when the input ended first.
bool read_header(const DecodeRequest& request, uint8_t* header, uint8_t** rest, uint32_t* restCount)
{
    uint32_t have = 0;
    while (have < kHeaderSize) {
        uint8_t* next = nullptr;
        const uint32_t count = request.input(request.inputDescriptor, &next);
        if (count == 0)
            return false;
        const uint32_t take = count < kHeaderSize - have ? count : kHeaderSize - have;
        for (uint32_t i = 0; i < take; ++i)
            header[have + i] = next[i];
        have += take;
        *rest = next + take;
        *restCount = count - take;
    }
    return true;
}

int start_lzma(DecoderState* state, uint8_t* buffer, uint32_t bufferSize)
{
    start_stream_record<lzma_stream>(state, buffer, bufferSize);
    return 0;
}

DecodeEnd decode_lzma(DecoderState* state, const DecodeRequest& request, int* status)
{
    LzmaRecord* own = decoder_record<LzmaRecord>(state);
    uint8_t header[kHeaderSize];
    uint8_t* rest = nullptr;
    uint32_t restCount = 0;
    if (!read_header(request, header, &rest, &restCount))
        return end_of_input(0, request);
    const uint32_t propertiesSize = header[2] | header[3] << 8;
    uint32_t shape = header[4];
    if (propertiesSize != 5 || shape >= 9 * 5 * 5) {
        *status = LZMA_OPTIONS_ERROR;
        return DecodeEnd::invalidData;
    }
    lzma_options_lzma options = {};
    options.lc = shape % 9;
    shape /= 9;
    options.lp = shape % 5;
    options.pb = shape / 5;
    // No distance reaches past the bytes decoded so far: an entry smaller than its dictionary
    // needs only its own size (a stream longer than it claims then fails as damaged).
    uint64_t dictionary = header[5] | header[6] << 8 | header[7] << 16 | static_cast<uint32_t>(header[8]) << 24;
    if (request.declaredSize < dictionary)
        dictionary = request.declaredSize < kSmallestDictionary ? kSmallestDictionary : request.declaredSize;
    if (dictionary > kDecoderWindowLimit) {
        *status = LZMA_MEMLIMIT_ERROR;
        return DecodeEnd::overLimit;
    }
    options.dict_size = static_cast<uint32_t>(dictionary);
    options.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    const uint64_t size = (request.flags & kFlagEndMarker) ? LZMA_VLI_UNKNOWN : request.declaredSize;
    options.ext_size_low = static_cast<uint32_t>(size);
    options.ext_size_high = static_cast<uint32_t>(size >> 32);
    const lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    const lzma_ret code = lzma_raw_decoder(&own->stream, filters);
    if (code != LZMA_OK) {
        *status = code;
        return as_decode_end(lzma_result(code));
    }
    return decode_stream(lzma_step, &own->stream, request, own->buffers(rest, restCount), status);
}

void end_lzma(DecoderState* state) { lzma_end(&decoder_record<LzmaRecord>(state)->stream); }

}  // namespace

StepEnd lzma_step(void* library, StreamBuffers* buffers, int* status)
{
    lzma_stream& stream = *static_cast<lzma_stream*>(library);
    stream.next_in = buffers->in;
    stream.avail_in = buffers->inAvailable;
    stream.next_out = buffers->out;
    stream.avail_out = buffers->outAvailable;
    const lzma_ret code = lzma_code(&stream, LZMA_RUN);
    *status = code;
    *buffers = {stream.next_in, static_cast<uint32_t>(stream.avail_in), stream.next_out,
                static_cast<uint32_t>(stream.avail_out)};
    return lzma_result(code);
}

extern const EntryDecoder kLzmaDecoder = {14, start_lzma, decode_lzma, end_lzma};
