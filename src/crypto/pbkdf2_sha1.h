// HMAC-SHA1, and PBKDF2 over it, as WinZip AES derives its keys and authenticates its data.
#pragma once
#include <stddef.h>
#include <stdint.h>

constexpr size_t kSha1DigestSize = 20;

// HMAC-SHA1 of a message given in pieces: start, any number of adds, finish.
struct HmacSha1 {
    uint32_t inner[5];     // the key's inner pad block hashed, then the message's whole blocks
    uint32_t outer[5];     // the key's outer pad block hashed
    uint8_t block[64];     // the message's bytes not yet hashed
    uint32_t blockLength;
    uint64_t hashed;       // bytes hashed into inner, the pad block included
    bool instructions;     // the processor's SHA instructions do the blocks
};

void hmac_sha1_start(HmacSha1* mac, const uint8_t* key, size_t keyLength);
void hmac_sha1_add(HmacSha1* mac, const uint8_t* data, size_t length);
void hmac_sha1_finish(HmacSha1* mac, uint8_t* digest);

// Derives length bytes from password and salt with the given number of iterations.
void pbkdf2_hmac_sha1(const uint8_t* password, size_t passwordLength, const uint8_t* salt, size_t saltLength,
                      uint32_t iterations, uint8_t* out, size_t length);
