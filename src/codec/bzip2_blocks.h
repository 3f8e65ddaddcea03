// bzip2 entries decoded a block at a time on several threads (bzip2_blocks.cpp), and the parts
// of the one-thread decoder (bzip2.cpp) that it falls back on.
#pragma once
#include <bzlib.h>

#include "codec/decoder.h"
#include "codec/stream_decoder.h"

// One call of libbz2's decoder.
StepEnd bzip2_step(void* library, StreamBuffers* buffers, int* status);

// Sets stream, fresh from BZ2_bzDecompressInit, where a decoder of the whole stream stands at the
// start of a block: the stream header with block size digit level read, the low pendingBits of
// pendingByte next (the rest of the block follows from the next byte on), and combinedCrc made
// of the blocks before. Returns BZ_OK or libbz2's failure code.
int resume_bzip2(bz_stream* stream, uint8_t level, uint8_t pendingByte, unsigned pendingBits, uint32_t combinedCrc);

// True for an entry large enough to gain from its blocks being decoded side by side, into an
// output that takes blocks of any size (one that drops bytes past its room takes them as the
// one-thread decoder delivers them), whose caller does not look for where the stream ends
// inside input that goes on.
bool worth_decoding_in_blocks(const DecodeRequest& request);

// Decodes the entry with helper threads on the processors that are idle, through stream
// (fresh) and the decoder's buffer where it falls back on the one-thread decoder; ends exactly
// as decode_stream with bzip2_step would, with the same bytes delivered in order.
DecodeEnd decode_bzip2_blocks(bz_stream* stream, const DecodeRequest& request, StreamBuffers buffers, int* status);
