// The WinZip AES extra field (0x9901) and the sizes it implies.
#pragma once
#include <stdint.h>

constexpr uint16_t kAesMethod = 99;
constexpr uint32_t kAesVerifierSize = 2;        // password verification value behind the salt
constexpr uint32_t kAesAuthenticationSize = 10; // authentication code behind the data, read to verify

struct AesExtraField {
    uint8_t strength;  // 1, 2 or 3 for 128, 192 or 256-bit keys (any value as recorded)
    uint16_t method;   // the compression method of the decrypted data
};

// Walks an extra field block; the last 0x9901 record with at least 7 data bytes, lying wholly
// inside the block and with vendor id "AE", wins. False when there is none.
bool find_aes_extra_field(const uint8_t* extra, uint32_t length, AesExtraField* found);

// The salt length of a strength (8, 12 or 16 bytes, the key being twice as long); 0 for any
// other strength.
uint32_t aes_salt_length(uint8_t strength);
