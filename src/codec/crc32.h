// The CRC-32 of ZIP entries, the one routine that sums them: libdeflate's, which takes the
// processor's carry-less multiply or CRC instructions where it has them.
#pragma once
#include <stddef.h>
#include <stdint.h>

// crc continued over length bytes at data (0 starts a new sum).
uint32_t update_crc32(uint32_t crc, const void* data, size_t length);
