// The Implode decoder over arbitrary streams (decoder_fuzz.h), with each dictionary size and
// count of trees that the general-purpose flags choose.
#include "decoder_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return decoder_fuzz::fuzz_decoder(6, data, size);
}
