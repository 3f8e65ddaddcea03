#include "codec/stream_decoder.h"

DecodeEnd decode_stream(StreamStep step, void* library, const DecodeRequest& request, StreamBuffers start,
                        int* status)
{
    uint8_t* const buffer = start.out;
    const uint32_t bufferSize = start.outAvailable;
    StreamBuffers buffers = start;
    uint64_t produced = 0;
    bool atFrameEnd = false;
    for (;;) {
        if (buffers.inAvailable == 0) {
            uint8_t* next = nullptr;
            buffers.inAvailable = request.input(request.inputDescriptor, &next);
            if (buffers.inAvailable == 0)
                return atFrameEnd ? DecodeEnd::complete : end_of_input(produced, request);
            buffers.in = next;
        }
        // The library runs until it has used the chunk; a full buffer is delivered and the
        // library runs again at once, since it may hold more output for the same input.
        for (;;) {
            const uint32_t inBefore = buffers.inAvailable;
            buffers.out = buffer;
            buffers.outAvailable = bufferSize;
            const StepEnd end = step(library, &buffers, status);
            const uint32_t count = bufferSize - buffers.outAvailable;
            if (count > 0 && request.output(request.outputDescriptor, buffer, count) != 0) {
                *status = 0;
                return DecodeEnd::failed;
            }
            produced += count;
            // A frame end holds until the library moves on: a call made only because the
            // block filled exactly there takes and gives nothing, and must not forget it.
            if (end == StepEnd::frameEnd)
                atFrameEnd = true;
            else if (count > 0 || buffers.inAvailable != inBefore)
                atFrameEnd = false;
            switch (end) {
            case StepEnd::goesOn:
                break;
            case StepEnd::frameEnd:
                if (!request.unusedInput)
                    break;
                [[fallthrough]];
            case StepEnd::streamEnd:
                if (request.unusedInput)
                    *request.unusedInput = buffers.inAvailable;
                return DecodeEnd::complete;
            case StepEnd::invalidData:
                return DecodeEnd::invalidData;
            case StepEnd::overLimit:
                return DecodeEnd::overLimit;
            case StepEnd::failed:
                return DecodeEnd::failed;
            }
            if (buffers.outAvailable != 0) {
                // A library that takes none of its input and gives nothing is stuck.
                if (count == 0 && buffers.inAvailable != 0 && buffers.inAvailable == inBefore) {
                    *status = 0;
                    return DecodeEnd::failed;
                }
                break;
            }
        }
    }
}
