// Stored entries (method 0): the input is the output.
#include "codec/decoder.h"

namespace {

int start_stored(DecoderState*, uint8_t*, uint32_t) { return 0; }

// The data end where the input does.
DecodeEnd decode_stored(DecoderState*, const DecodeRequest& request, int* status)
{
    for (;;) {
        uint8_t* data = nullptr;
        const uint32_t count = request.input(request.inputDescriptor, &data);
        if (count == 0)
            return DecodeEnd::complete;
        if (request.output(request.outputDescriptor, data, count) != 0) {
            *status = 0;
            return DecodeEnd::failed;
        }
    }
}

void end_stored(DecoderState*) {}

}  // namespace

extern const EntryDecoder kStoredDecoder = {0, start_stored, decode_stored, end_stored, false};
