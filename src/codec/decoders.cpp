// The compression methods that entries can be decoded from.
#include "codec/decoder.h"

extern const EntryDecoder kStoredDecoder;
extern const EntryDecoder kInflateDecoder;
extern const EntryDecoder kDeflate64Decoder;
extern const EntryDecoder kBzip2Decoder;
extern const EntryDecoder kLzmaDecoder;
extern const EntryDecoder kZstdDecoder;
extern const EntryDecoder kXzDecoder;
extern const EntryDecoder kShrinkDecoder;
extern const EntryDecoder kReduce1Decoder;
extern const EntryDecoder kReduce2Decoder;
extern const EntryDecoder kReduce3Decoder;
extern const EntryDecoder kReduce4Decoder;
extern const EntryDecoder kImplodeDecoder;
extern const EntryDecoder kPpmdDecoder;

namespace {
const EntryDecoder* const kDecoders[] = {&kStoredDecoder,  &kInflateDecoder, &kDeflate64Decoder, &kBzip2Decoder,
                                         &kLzmaDecoder,    &kZstdDecoder,    &kXzDecoder,        &kShrinkDecoder,
                                         &kReduce1Decoder, &kReduce2Decoder, &kReduce3Decoder,   &kReduce4Decoder,
                                         &kImplodeDecoder, &kPpmdDecoder};
}  // namespace

const EntryDecoder* find_decoder(uint16_t method)
{
    for (const EntryDecoder* decoder : kDecoders) {
        if (decoder->method == method)
            return decoder;
    }
    return nullptr;
}
