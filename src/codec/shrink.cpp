// Shrink entries (method 1): LZW with codes of 9 bits at first and at most 13. Codes below 256
// are bytes; code 256 is followed by a control code: 1 widens the codes by a bit, 2 frees every
// code that no other code extends (a partial clearing; freed codes are taken again lowest
// first). Every other code stands for the string of its parent code and one byte; each code
// after the first adds the string of the one before it and the first byte of its own as the
// lowest free code, and a code may name the one it adds itself.
#include "codec/legacy_stream.h"

namespace {

constexpr uint32_t kCodes = 8192;
constexpr uint32_t kFirstFree = 257;
constexpr uint16_t kFree = 0xFFFF;  // the parent of a free code
constexpr uint16_t kNone = 0xFFFF;  // no code read yet
constexpr uint32_t kControl = 256;

struct ShrinkTables {
    uint16_t parents[kCodes];
    uint8_t bytes[kCodes];  // the last byte of each code's string
    uint8_t extended[kCodes];
    uint8_t string[kCodes];
};

int start_shrink(DecoderState* state, uint8_t* buffer, uint32_t bufferSize)
{
    return start_legacy(state, buffer, bufferSize, sizeof(ShrinkTables), 1);
}

// The lowest free code from code on, kCodes when none is.
uint32_t free_code_from(const ShrinkTables& tables, uint32_t code)
{
    while (code < kCodes && tables.parents[code] != kFree)
        ++code;
    return code;
}

void clear_partly(ShrinkTables* tables)
{
    for (uint32_t code = kFirstFree; code < kCodes; ++code)
        tables->extended[code] = 0;
    for (uint32_t code = kFirstFree; code < kCodes; ++code)
        if (tables->parents[code] != kFree && tables->parents[code] >= kFirstFree)
            tables->extended[tables->parents[code]] = 1;
    for (uint32_t code = kFirstFree; code < kCodes; ++code)
        if (!tables->extended[code])
            tables->parents[code] = kFree;
}

// Writes the string of code in tables.string so that it ends before end; returns where it
// starts, or kCodes when the chain of parents meets a free code or goes round in a circle.
uint32_t unwind(ShrinkTables* tables, uint32_t code, uint32_t end)
{
    uint32_t at = end;
    while (code >= kFirstFree) {
        if (at == 1 || tables->parents[code] == kFree)
            return kCodes;
        tables->string[--at] = tables->bytes[code];
        code = tables->parents[code];
    }
    tables->string[--at] = static_cast<uint8_t>(code);
    return at;
}

DecodeEnd decode_shrink(DecoderState* state, const DecodeRequest& request, int* status)
{
    ShrinkTables& tables = *legacy_tables<ShrinkTables>(state);
    BitReader in;
    OutputWindow out;
    open_legacy_stream(state, request, 1, &in, &out);
    for (uint32_t code = kFirstFree; code < kCodes; ++code)
        tables.parents[code] = kFree;
    uint32_t width = 9;
    uint32_t next = kFirstFree;  // the lowest free code
    uint32_t previous = kNone;
    while (out.remaining > 0) {
        const uint32_t code = in.take(width);
        if (in.ended)
            break;
        if (code == kControl) {
            const uint32_t control = in.take(width);
            if (in.ended)
                break;
            if (control == 1 && width < 13) {
                ++width;
            } else if (control == 2) {
                clear_partly(&tables);
                next = free_code_from(tables, kFirstFree);
            } else {
                return legacy_data_error(status);
            }
            continue;
        }
        uint32_t at;
        if (previous == kNone) {
            if (code >= kControl)
                return legacy_data_error(status);
            at = unwind(&tables, code, kCodes);
        } else {
            // A free code may only be the one this code adds: the previous string and its own
            // first byte.
            const bool known = code < kFirstFree || tables.parents[code] != kFree;
            if (!known && code != next)
                return legacy_data_error(status);
            at = unwind(&tables, known ? code : previous, known ? kCodes : kCodes - 1);
            if (at == kCodes)
                return legacy_data_error(status);
            if (!known)
                tables.string[kCodes - 1] = tables.string[at];
            if (next < kCodes) {
                tables.parents[next] = static_cast<uint16_t>(previous);
                tables.bytes[next] = tables.string[at];
                next = free_code_from(tables, next + 1);
            }
        }
        previous = code;
        for (; at < kCodes && out.remaining > 0; ++at)
            if (!out.put(tables.string[at]))
                break;
        if (out.refused)
            break;
    }
    return legacy_end(in, &out, status);
}

}  // namespace

extern const EntryDecoder kShrinkDecoder = {1, start_shrink, decode_shrink, end_legacy, false};
