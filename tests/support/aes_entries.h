// WinZip AES entries for the tests' ZIP writer, encrypted with the platform's own AES and
// PBKDF2 (bcrypt.dll), independently of the library's code.
#pragma once
#include <stdint.h>

#include <optional>
#include <string>

#include "zip_writer.h"

namespace dlltest {

// PBKDF2-HMAC-SHA1, 1000 iterations.
std::string pbkdf2_sha1(const std::string& password, const std::string& salt, size_t length);
// AES-ECB encryption of whole blocks with a key of 16, 24 or 32 bytes.
std::string aes_ecb(const std::string& key, const std::string& blocks);

// Whether the library's AES instruction path can run here: the processor says so, or the tests
// run under the ARM64 emulation, whose processor has the instructions without telling Wine.
bool aes_instructions_runnable();
// Why the platform's AES cannot be used with 24-byte keys here (the ARM64 emulation's bcrypt.dll
// ends the process on them), or null where it can.
const char* platform_aes192_unusable();

struct AesEntryOptions {
    uint8_t strength = 3;       // 1, 2, 3: 128, 192, 256-bit keys
    uint16_t method = 8;        // of the data inside: 0 stored, 8 Deflate
    uint16_t vendorVersion = 2; // AE-2 (CRC 0) or AE-1
    std::optional<std::string> authentication;  // instead of the true code (HMAC-SHA1 of the data)
};

// An entry named name holding data, as method 99 with its 0x9901 extra field.
ziptest::Entry aes_entry(const std::string& name, const std::string& data, const std::string& password,
                         const AesEntryOptions& options = {});

}  // namespace dlltest
