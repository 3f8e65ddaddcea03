// The Shrink decoder over arbitrary streams (decoder_fuzz.h).
#include "decoder_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return decoder_fuzz::fuzz_decoder(1, data, size);
}
