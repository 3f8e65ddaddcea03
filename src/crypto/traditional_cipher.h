// The traditional PKWARE stream cipher: three 32-bit keys advanced by every plain byte.
#pragma once
#include <stdint.h>

// Every traditionally encrypted entry starts with this many bytes of encryption header.
constexpr uint32_t kEncryptionHeaderSize = 12;

struct TraditionalKeys {
    uint32_t key0;
    uint32_t key1;
    uint32_t key2;
};

// One step of the reflected CRC-32 (polynomial 0xEDB88320) over byte b.
uint32_t crc32_step(uint32_t crc, uint8_t b);
void update_keys(TraditionalKeys* keys, uint8_t plain);
uint8_t decrypt_byte(const TraditionalKeys* keys);
// The start values, then every byte of the NUL-terminated password.
void init_keys(TraditionalKeys* keys, const char* password);

// Decrypts length bytes in place. The keys carry over, so a stream split into chunks of any
// sizes decrypts to the same bytes as in one call.
void decrypt_traditional(TraditionalKeys* keys, uint8_t* data, uint32_t length);

// Keys the cipher with password and runs the 12 header bytes through it; returns the last
// plain header byte, which the writer set to the entry's check byte.
uint8_t key_encryption_header(TraditionalKeys* keys, const char* password, const uint8_t* header);

// The check byte of an entry: the high byte of its DOS time when its sizes and CRC follow the
// data (flag bit 3), else the high byte of its CRC.
uint8_t traditional_check_byte(uint16_t flags, uint16_t dosTime, uint32_t crc);
