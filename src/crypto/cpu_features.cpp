#include "crypto/cpu_features.h"

#if defined(__x86_64__)

#include <cpuid.h>

bool cpu_has_aes_instructions()
{
    unsigned a, b, c, d;
    return __get_cpuid(1, &a, &b, &c, &d) && (c & bit_AES);
}

bool cpu_has_sha1_instructions()
{
    unsigned a, b, c, d;
    return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_SHA) && __get_cpuid(1, &a, &b, &c, &d) &&
           (c & bit_SSE4_1) && (c & bit_SSSE3);
}

#elif defined(__aarch64__) && defined(_WIN32)

#include <windows.h>

// Windows reports the ARMv8 cryptography extension (AES, SHA-1, SHA-256) as one feature.
#ifndef PF_ARM_V8_CRYPTO_INSTRUCTIONS_AVAILABLE
#define PF_ARM_V8_CRYPTO_INSTRUCTIONS_AVAILABLE 30
#endif

bool cpu_has_aes_instructions() { return IsProcessorFeaturePresent(PF_ARM_V8_CRYPTO_INSTRUCTIONS_AVAILABLE) != 0; }
bool cpu_has_sha1_instructions() { return IsProcessorFeaturePresent(PF_ARM_V8_CRYPTO_INSTRUCTIONS_AVAILABLE) != 0; }

#elif defined(__aarch64__)

#include <sys/auxv.h>

bool cpu_has_aes_instructions() { return (getauxval(AT_HWCAP) & HWCAP_AES) != 0; }
bool cpu_has_sha1_instructions() { return (getauxval(AT_HWCAP) & HWCAP_SHA1) != 0; }

#else

bool cpu_has_aes_instructions() { return false; }
bool cpu_has_sha1_instructions() { return false; }

#endif
