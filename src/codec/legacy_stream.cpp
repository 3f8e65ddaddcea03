#include "codec/legacy_stream.h"

#include <string.h>

bool BitReader::pull()
{
    uint8_t* chunk = nullptr;
    const uint32_t got = ended ? 0 : request->input(request->inputDescriptor, &chunk);
    if (got == 0) {
        ended = true;
        return false;
    }
    next = chunk;
    end = chunk + got;
    return true;
}

bool OutputWindow::copy(uint32_t distance, uint32_t length)
{
    if (length > remaining)
        length = static_cast<uint32_t>(remaining);
    uint32_t from = at >= distance ? at - distance : at + size - distance;
    for (; length > 0; --length) {
        const uint8_t byte = bytes[from];
        if (++from == size)
            from = 0;
        if (!put(byte))
            return false;
    }
    return true;
}

bool OutputWindow::deliver()
{
    if (at > 0 && request->output(request->outputDescriptor, bytes, at) != 0)
        refused = true;
    at = 0;
    return !refused;
}

int start_legacy(DecoderState* state, uint8_t* buffer, uint32_t bufferSize, uint32_t tablesSize, uint32_t reach)
{
    // The window starts on a 16-byte boundary behind the tables.
    const uint32_t front = (tablesSize + 15) & ~15u;
    if (bufferSize < front || bufferSize - front < reach)
        return -1;
    LegacyRecord* own = decoder_record<LegacyRecord>(state);
    own->tables = buffer;
    own->window = buffer + front;
    own->windowSize = bufferSize - front;
    return 0;
}

void open_legacy_stream(DecoderState* state, const DecodeRequest& request, uint32_t reach, BitReader* in,
                        OutputWindow* out)
{
    const LegacyRecord* own = decoder_record<LegacyRecord>(state);
    *in = {&request, nullptr, nullptr, 0, 0, false};
    *out = {&request, own->window, own->windowSize, 0, request.declaredSize, false};
    // A match before the first byte reads from the end of the ring.
    memset(own->window + own->windowSize - reach, 0, reach);
}

DecodeEnd legacy_end(const BitReader& in, OutputWindow* out, int* status)
{
    if (!out->refused && out->deliver())
        return in.ended ? DecodeEnd::truncated : DecodeEnd::complete;
    *status = 0;
    return DecodeEnd::failed;
}

DecodeEnd legacy_data_error(int* status)
{
    *status = kLegacyDataError;
    return DecodeEnd::invalidData;
}

void end_legacy(DecoderState*) {}
