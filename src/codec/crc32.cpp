#include "codec/crc32.h"

#include <libdeflate.h>

#if defined(__aarch64__) && defined(_WIN32)

#include <windows.h>

// libdeflate chooses its ARMv8 CRC and PMULL forms at run time only on Linux and macOS, so on
// Windows its routine is built twice (src/codec/sources.cmake), once for processors with those
// instructions, and the processor's features decide here (a read of the system's shared page).
extern "C" uint32_t libdeflate_crc32_armv8(uint32_t crc, const void* buffer, size_t length);

#ifndef PF_ARM_V8_CRYPTO_INSTRUCTIONS_AVAILABLE
#define PF_ARM_V8_CRYPTO_INSTRUCTIONS_AVAILABLE 30
#endif
#ifndef PF_ARM_V8_CRC32_INSTRUCTIONS_AVAILABLE
#define PF_ARM_V8_CRC32_INSTRUCTIONS_AVAILABLE 31
#endif

uint32_t update_crc32(uint32_t crc, const void* data, size_t length)
{
    if (IsProcessorFeaturePresent(PF_ARM_V8_CRC32_INSTRUCTIONS_AVAILABLE) &&
        IsProcessorFeaturePresent(PF_ARM_V8_CRYPTO_INSTRUCTIONS_AVAILABLE))
        return libdeflate_crc32_armv8(crc, data, length);
    return libdeflate_crc32(crc, data, length);
}

#else

uint32_t update_crc32(uint32_t crc, const void* data, size_t length) { return libdeflate_crc32(crc, data, length); }

#endif
