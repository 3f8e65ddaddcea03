// PPMd entries (method 98): PPMd variant I, revision 1, through the LZMA SDK's Ppmd8 decoder.
// Two bytes lead the data: bits 0-3 hold the model order - 1 (at least 2), bits 4-11 the model's
// memory in MiB - 1, bits 12-15 how the model restarts when its memory is used up (0, from
// scratch, or 1, cut off; 2, freezing, is not supported). The stream ends at the declared size;
// there the range coder must be used up or an end mark must follow, as the tools write one. A
// caller that looks for the stream's end without knowing the size takes the end mark for it.
#include <stdlib.h>

#include "Ppmd8.h"
#include "codec/decoder.h"

namespace {

// Every model a header can name fits the window limit.
static_assert((uint64_t{256} << 20) <= kDecoderWindowLimit, "the largest model is within the window limit");

// The input as the decoder reads it, a byte at a time; a 0 past its end, noted as ended.
struct ByteInput {
    IByteIn vtable;  // first: the decoder calls back with its address
    const DecodeRequest* request;
    const uint8_t* next;
    const uint8_t* end;
    bool ended;
};

Byte read_byte(IByteInPtr from)
{
    ByteInput* input = reinterpret_cast<ByteInput*>(const_cast<IByteIn*>(from));
    if (input->next == input->end) {
        uint8_t* chunk = nullptr;
        const uint32_t count = input->ended ? 0 : input->request->input(input->request->inputDescriptor, &chunk);
        if (count == 0) {
            input->ended = true;
            return 0;
        }
        input->next = chunk;
        input->end = chunk + count;
    }
    return *input->next++;
}

void* allocate(ISzAllocPtr, size_t size) { return malloc(size); }
void release(ISzAllocPtr, void* address) { free(address); }
const ISzAlloc kAllocator = {allocate, release};

// The model's state at the front of the pipeline's buffer, decoded bytes behind it.
struct PpmdRecord {
    CPpmd8* model;
    uint8_t* out;
    uint32_t outSize;
};

constexpr uint32_t kModelRoom = (sizeof(CPpmd8) + 15) & ~15u;

int start_ppmd(DecoderState* state, uint8_t* buffer, uint32_t bufferSize)
{
    if (bufferSize <= kModelRoom)
        return -1;
    PpmdRecord* own = decoder_record<PpmdRecord>(state);
    own->model = reinterpret_cast<CPpmd8*>(buffer);
    own->out = buffer + kModelRoom;
    own->outSize = bufferSize - kModelRoom;
    Ppmd8_Construct(own->model);
    return 0;
}

DecodeEnd data_error(int* status)
{
    *status = PPMD8_SYM_ERROR;
    return DecodeEnd::invalidData;
}

DecodeEnd decode_ppmd(DecoderState* state, const DecodeRequest& request, int* status)
{
    PpmdRecord* own = decoder_record<PpmdRecord>(state);
    CPpmd8* model = own->model;
    ByteInput input = {{read_byte}, &request, nullptr, nullptr, false};
    const uint32_t low = read_byte(&input.vtable);
    const uint32_t header = low | read_byte(&input.vtable) << 8;
    if (input.ended)
        return end_of_input(0, request);
    const uint32_t order = (header & 15) + 1;
    const uint32_t memory = ((header >> 4 & 0xFF) + 1) << 20;
    const uint32_t restoration = header >> 12;
    if (order < PPMD8_MIN_ORDER || restoration >= PPMD8_RESTORE_METHOD_UNSUPPPORTED)
        return data_error(status);
    if (!Ppmd8_Alloc(model, memory, &kAllocator)) {
        *status = 0;
        return DecodeEnd::failed;
    }
    model->Stream.In = &input.vtable;
    if (!Ppmd8_Init_RangeDec(model))
        return input.ended ? DecodeEnd::truncated : data_error(status);
    Ppmd8_Init(model, order, restoration);
    uint8_t* const out = own->out;
    const uint32_t outSize = own->outSize;
    uint64_t remaining = request.declaredSize;
    uint32_t at = 0;
    DecodeEnd end = DecodeEnd::complete;
    for (;;) {
        // At the declared size the range coder may be used up; else an end mark must follow.
        if (remaining == 0 && Ppmd8_RangeDec_IsFinishedOK(model))
            break;
        const int symbol = Ppmd8_DecodeSymbol(model);
        if (input.ended) {  // the data are whole if the declared size was delivered
            end = remaining > 0 ? DecodeEnd::truncated : DecodeEnd::complete;
            break;
        }
        if (symbol == PPMD8_SYM_END) {
            // Before the declared size it cuts the data short, unless the caller looks for the
            // stream's own end.
            end = remaining > 0 && !request.unusedInput ? DecodeEnd::truncated : DecodeEnd::complete;
            break;
        }
        if (symbol < 0)
            return data_error(status);
        out[at++] = static_cast<uint8_t>(symbol);
        if (remaining == 0) {
            // A byte past the declared size: the pipeline's output refuses it (a size error), and
            // without that bound the stream does not end where it should.
            end = data_error(status);
            break;
        }
        --remaining;
        if (at == outSize) {
            if (request.output(request.outputDescriptor, out, at) != 0) {
                *status = 0;
                return DecodeEnd::failed;
            }
            at = 0;
        }
    }
    if (at > 0 && request.output(request.outputDescriptor, out, at) != 0) {
        *status = 0;
        return DecodeEnd::failed;
    }
    if (end == DecodeEnd::complete && request.unusedInput)
        *request.unusedInput = static_cast<uint32_t>(input.end - input.next);
    return end;
}

void end_ppmd(DecoderState* state) { Ppmd8_Free(decoder_record<PpmdRecord>(state)->model, &kAllocator); }

}  // namespace

extern const EntryDecoder kPpmdDecoder = {98, start_ppmd, decode_ppmd, end_ppmd};
