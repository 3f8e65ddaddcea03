// Decoding through a library's streaming decoder: the entry's input chunks go in as they come,
// the decoded bytes fill the pipeline's buffer, and every filled buffer goes to the output, until
// the library reports the end of its stream or the input is used up.
#pragma once
#include <stdint.h>
#include <string.h>

#include "codec/decoder.h"

// The bytes a library call takes from and gives to; each call advances them.
struct StreamBuffers {
    const uint8_t* in;
    uint32_t inAvailable;  // input not yet consumed
    uint8_t* out;
    uint32_t outAvailable;  // room left at out
};

// What one call of a library's decoder came to. frameEnd: a stream ended where the call
// stopped, and another may follow (the entry is whole if the input ends there).
enum class StepEnd { goesOn, frameEnd, streamEnd, invalidData, overLimit, failed };

// One call of the library whose stream is at library; *status receives its code of a failure.
typedef StepEnd (*StreamStep)(void* library, StreamBuffers* buffers, int* status);

// Decodes the entry with step: the input starts with the bytes at start.in (if any) and goes
// on with the request's input; output is made in blocks of start.out (start.outAvailable bytes).
DecodeEnd decode_stream(StreamStep step, void* library, const DecodeRequest& request, StreamBuffers start,
                        int* status);

// A decoder's record: the library's stream and the pipeline's buffer.
template <typename Stream>
struct StreamRecord {
    Stream stream;
    uint8_t* buffer;
    uint32_t bufferSize;

    // The buffer as the output of decode_stream, after the pending input bytes.
    StreamBuffers buffers(const uint8_t* pending = nullptr, uint32_t pendingCount = 0) const
    {
        return {pending, pendingCount, buffer, bufferSize};
    }
};

// The record in state, zeroed, with the buffer that start was given.
template <typename Stream>
StreamRecord<Stream>* start_stream_record(DecoderState* state, uint8_t* buffer, uint32_t bufferSize)
{
    StreamRecord<Stream>* own = decoder_record<StreamRecord<Stream>>(state);
    memset(own, 0, sizeof *own);
    own->buffer = buffer;
    own->bufferSize = bufferSize;
    return own;
}
