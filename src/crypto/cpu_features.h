// Whether this processor has the instructions of the fast AES and SHA-1 routines; each of those
// has a portable form (or the platform's AES) for processors without them.
#pragma once

// AES-NI on x64, the ARMv8 AES instructions on 64-bit ARM.
bool cpu_has_aes_instructions();

// The SHA extensions with SSSE3 and SSE4.1 on x64, the ARMv8 SHA-1 instructions on 64-bit ARM.
bool cpu_has_sha1_instructions();
