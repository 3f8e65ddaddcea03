// The decoders of the compression methods behind one interface: the entry pipeline finds the
// decoder of an entry's method and lets it decode the whole entry, pulling compressed bytes
// through an input function and pushing decoded bytes through an output function. Each method
// is one file that defines its EntryDecoder; decoders.cpp lists them.
#pragma once
#include <stdint.h>

#include "core/reusable_buffer.h"

// Sets *next to the next input bytes and returns their count; 0 means no more input (the
// provider knows whether the input ended or failed).
typedef uint32_t (*InputFunction)(void* descriptor, uint8_t** next);
// Takes count decoded bytes at data; returns 0 on success (the receiver knows why it refused).
// The pipeline's output refuses a block that would pass the entry's declared size, so a decoder
// bounds nothing itself: it hands over blocks of its buffer and stops at the first refusal.
typedef int (*OutputFunction)(void* descriptor, uint8_t* data, uint32_t count);

// How a decoding ended. The pipeline looks at its own input and output records first: an input
// that failed or an output that refused a block makes any of these beside the point.
enum class DecodeEnd {
    complete,     // the data ended well: the stream's end, or the input used up where that is one
    truncated,    // the input ran out before the end of the stream
    invalidData,  // the bytes break the method's rules (with a wrong password, they would)
    overLimit,    // the stream asks for a window larger than kDecoderWindowLimit: refused
    failed,       // the decoder failed otherwise, such as for want of memory
};

// The largest window (dictionary) that a decoder sets up for one entry, whatever the stream asks
// for: every thread of a job decodes one entry at a time, so eight workers hold at most eight
// such windows beside the decoders' fixed state (a few MiB each). A window is no larger than
// the entry needs where the method lets the decoder know that in advance.
constexpr uint64_t kDecoderWindowLimit = 256u << 20;

// Room for a decoder's state inside the pipeline's record of an entry.
constexpr uint32_t kDecoderStateSize = 256;
struct alignas(16) DecoderState {
    unsigned char bytes[kDecoderStateSize];
};

// A decoder's own record (a plain C record) inside the room; start zeroes it first.
template <typename Record>
Record* decoder_record(DecoderState* state)
{
    static_assert(sizeof(Record) <= kDecoderStateSize && alignof(Record) <= alignof(DecoderState),
                  "the record fits the pipeline's room");
    return reinterpret_cast<Record*>(state->bytes);
}

// What lets a decoder take an entry whole instead of chunk by chunk; left zero, it asks for
// chunks.
struct WholeEntry {
    // The count of bytes the input delivers in all when it is known to deliver them (they lie
    // inside the archive), else 0; a decoder may stop asking once it has them.
    uint64_t inputSize;
    bool crcRecorded;       // whether recordedCrc is the CRC-32 the entry's bytes should have
    uint32_t recordedCrc;
    // Set by a decoder that found the bytes it is about to deliver, all of the entry's, to have
    // recordedCrc (null when nobody asks), so that they need not be summed again.
    bool* crcConfirmed;
    // The output's own memory for the declared size, or null: bytes decoded there are handed
    // over by an output call with the span as data, which copies nothing.
    uint8_t* outputSpan;
    // How many bytes the output takes before it cuts a block short; a decoder that delivers
    // fewer, larger blocks than it would chunk by chunk must not where this is below the
    // declared size, since the cut would then fall elsewhere.
    uint64_t outputRoom;
    ReusableBuffer* memory;  // kept for the thread's next entries, or null
};

// What the pipeline hands a decoder for one entry.
struct DecodeRequest {
    InputFunction input;
    void* inputDescriptor;
    OutputFunction output;
    void* outputDescriptor;
    uint64_t declaredSize;  // the central directory's uncompressed size
    uint16_t flags;         // the central directory's general-purpose flags
    WholeEntry whole;
    // Set by a caller that looks for where a stream ends inside input that goes on (a data
    // descriptor, the next entry), without a whole-entry offer: the first end of a stream then
    // ends the entry (no further Zstandard frame is looked for), and every decoder whose stream
    // marks its end stores here how many bytes of the last input chunk the stream left unused.
    uint32_t* unusedInput = nullptr;
};

// How a decoding that used all of its input ended without the stream's end: the entry is whole
// when its declared size was delivered, else it is cut short.
inline DecodeEnd end_of_input(uint64_t produced, const DecodeRequest& request)
{
    return produced < request.declaredSize ? DecodeEnd::truncated : DecodeEnd::complete;
}

struct EntryDecoder {
    uint16_t method;  // the ZIP compression method
    // Sets the decoder up in state with buffer (bufferSize bytes, for output blocks or a window,
    // valid until end); returns 0, or the method's own code of the failure.
    int (*start)(DecoderState* state, uint8_t* buffer, uint32_t bufferSize);
    // Decodes the entry's whole stream; *status receives the method's own code of a failure.
    DecodeEnd (*decode)(DecoderState* state, const DecodeRequest& request, int* status);
    // Releases what start took; due after every successful start.
    void (*end)(DecoderState* state);
    // Whether the stream shows where it ends; stored data and the old methods' streams (Shrink,
    // Reduce, Implode) end only at the declared size.
    bool marksItsEnd = true;
};

// The decoder of a compression method, or null when the method is not read.
const EntryDecoder* find_decoder(uint16_t method);
