// What the decoders of the old methods (Shrink, Reduce and Implode) share. Their streams carry no
// end of their own: each ends at the entry's declared size. Bits are taken least significant
// first from the request's input chunks; decoded bytes gather in the window, the part of the
// pipeline's buffer behind the method's tables, which also holds the bytes that matches copy
// from, and go to the output whenever it fills.
#pragma once
#include <stdint.h>

#include "codec/decoder.h"

// The code of every data error these decoders report (zlib's, as the Deflate64 decoder's).
constexpr int kLegacyDataError = -3;

// Bits from the request's input, pulled a chunk at a time as they are needed.
struct BitReader {
    const DecodeRequest* request;
    const uint8_t* next;
    const uint8_t* end;
    uint64_t bits;   // held bits, the next one lowest
    uint32_t count;  // how many are held
    bool ended;      // the input ran out before a read was satisfied

    // The next n (at most 32) bits, or 0 with ended set when the input runs out first.
    uint32_t take(uint32_t n)
    {
        while (count < n) {
            if (next == end && !pull())
                return 0;
            bits |= static_cast<uint64_t>(*next++) << count;
            count += 8;
        }
        const uint32_t value = static_cast<uint32_t>(bits & ((uint64_t{1} << n) - 1));
        bits >>= n;
        count -= n;
        return value;
    }

    bool pull();
};

// The decoded bytes up to the declared size, in a ring that the output receives whenever it
// fills.
struct OutputWindow {
    const DecodeRequest* request;
    uint8_t* bytes;
    uint32_t size;
    uint32_t at;         // where the next byte goes; the bytes before it are not delivered yet
    uint64_t remaining;  // bytes up to the declared size
    bool refused;        // the output refused a block

    // False once the output refused a block.
    bool put(uint8_t byte)
    {
        bytes[at++] = byte;
        --remaining;
        return at < size || deliver();
    }

    // Copies length bytes from distance (1 to the reach the stream was opened with) back, as far
    // as the declared size goes; bytes before the first one read as zeros.
    bool copy(uint32_t distance, uint32_t length);

    // Delivers the bytes not delivered yet.
    bool deliver();
};

// A decoder's record: its tables at the front of the pipeline's buffer, the window behind them.
struct LegacyRecord {
    void* tables;
    uint8_t* window;
    uint32_t windowSize;
};

// Sets the record up over buffer; -1 when the buffer has no room for the tables and a window of
// at least reach bytes.
int start_legacy(DecoderState* state, uint8_t* buffer, uint32_t bufferSize, uint32_t tablesSize, uint32_t reach);

template <typename Tables>
Tables* legacy_tables(DecoderState* state)
{
    return static_cast<Tables*>(decoder_record<LegacyRecord>(state)->tables);
}

// The reader and the window of one entry: the window reads as zeros for reach bytes before the
// first byte.
void open_legacy_stream(DecoderState* state, const DecodeRequest& request, uint32_t reach, BitReader* in,
                        OutputWindow* out);

// How a decoding that stopped without a data error ended: at the declared size it is complete,
// with the last bytes delivered; else the input ran out, or the output refused a block.
DecodeEnd legacy_end(const BitReader& in, OutputWindow* out, int* status);

// The end of a decoding that met bytes that break the method's rules.
DecodeEnd legacy_data_error(int* status);

// Nothing to release: the record lies in the pipeline's buffer.
void end_legacy(DecoderState* state);
