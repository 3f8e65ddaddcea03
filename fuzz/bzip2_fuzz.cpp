// The bzip2 decoder over arbitrary streams (decoder_fuzz.h), and the same stream decoded as a
// large entry is, a block at a time on several threads: that must end as one thread ends it and
// deliver the same bytes, as far as both went when one of them was refused.
#include "decoder_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    decoder_fuzz::fuzz_decoder(12, data, size);
    if (size < 2)
        return 0;
    static const size_t kChunks[4] = {1, 7, 509, 1 << 20};
    const size_t chunk = kChunks[data[0] & 3];
    const uint64_t declaredSize = (uint64_t{16} << 20) + (static_cast<uint64_t>(data[1]) << 16);  // takes the blocks
    decoder_fuzz::Run one{data + 2, size - 2, chunk};
    decoder_fuzz::Run blocks{data + 2, size - 2, chunk};
    WholeEntry anyBlocks = {};
    anyBlocks.outputRoom = UINT64_MAX;
    decoder_fuzz::decode(12, 0, declaredSize, one);
    decoder_fuzz::decode(12, 0, declaredSize, blocks, anyBlocks);
    const size_t common = one.kept.size() < blocks.kept.size() ? one.kept.size() : blocks.kept.size();
    if (one.kept.compare(0, common, blocks.kept, 0, common) != 0)
        __builtin_trap();
    if (!one.refused && !blocks.refused && (one.end != blocks.end || one.kept != blocks.kept))
        __builtin_trap();
    return 0;
}
