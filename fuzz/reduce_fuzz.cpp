// The Reduce decoders over arbitrary streams (decoder_fuzz.h); the first byte's top two bits
// choose the compression factor.
#include "decoder_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return decoder_fuzz::fuzz_decoder(static_cast<uint16_t>(2 + (size > 0 ? data[0] >> 6 : 0)), data, size);
}
