// The Deflate decoder over arbitrary streams, through its whole-entry path against its chunked
// one (decoder_fuzz.h's chunks and output). The first byte chooses the chunk size (bits 0-2),
// whether the output offers a span (bit 3) and whether the recorded CRC-32 is wrong (bit 4);
// the second the declared size, in steps of 256 bytes. The chunked run is zlib's alone; the
// whole run gathers the same chunks, and its recorded CRC-32 is that of the chunked run's output
// when that run completed (else one that no output is likely to have). Both runs must end alike,
// with the same output and the same refusal.
#include "codec/crc32.h"
#include "decoder_fuzz.h"

namespace {

uint32_t crc_of(const std::string& bytes)
{
    return update_crc32(0, bytes.data(), bytes.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace decoder_fuzz;
    if (size < 2)
        return 0;
    static const size_t kChunks[8] = {1, 2, 3, 7, 16, 64, 509, 4096};
    static ReusableBuffer memory = {};  // kept from run to run, as a thread keeps it
    const size_t chunk = kChunks[data[0] & 7];
    const uint64_t declaredSize = static_cast<uint64_t>(data[1]) << 8;
    Run chunked{data + 2, size - 2, chunk};
    decode(8, 0, declaredSize, chunked);

    WholeEntry whole = {};
    whole.inputSize = size - 2;
    whole.crcRecorded = true;
    const bool wrongCrc = chunked.end != DecodeEnd::complete || (data[0] & 0x10);
    whole.recordedCrc = crc_of(chunked.kept) ^ (wrongCrc ? 1 : 0);
    std::unique_ptr<uint8_t[]> span(data[0] & 8 ? new uint8_t[declaredSize] : nullptr);
    whole.outputSpan = span.get();
    whole.outputRoom = UINT64_MAX;
    whole.memory = &memory;
    Run gathered{data + 2, size - 2, chunk};
    decode(8, 0, declaredSize, gathered, whole);
    if (gathered.end != chunked.end || gathered.kept != chunked.kept || gathered.refused != chunked.refused)
        __builtin_trap();
    return 0;
}
