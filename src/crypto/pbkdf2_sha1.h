// PBKDF2 with HMAC-SHA1, as WinZip AES derives its keys.
#pragma once
#include <stddef.h>
#include <stdint.h>

// Derives length bytes from password and salt with the given number of iterations.
void pbkdf2_hmac_sha1(const uint8_t* password, size_t passwordLength, const uint8_t* salt, size_t saltLength,
                      uint32_t iterations, uint8_t* out, size_t length);
