#include "crypto/traditional_cipher.h"

namespace {

constexpr uint32_t kMultiplier = 134775813;  // 0x08088405

// Tables computed by the compiler: built once, before any thread runs, and only ever read.
struct CipherTables {
    uint32_t crc[256];
    // The keystream byte for bits 2 to 15 of key2: t = (key2 & 0xFFFF) | 2 gives the same
    // t * (t ^ 1) whatever bit 0 is, since t and t ^ 1 are then the same pair of numbers.
    uint8_t keystream[16384];
    // The low byte of crc[keystream[i]], which is all that key1 takes from key0.
    uint8_t keystreamCrcLow[16384];

    constexpr CipherTables() : crc(), keystream(), keystreamCrcLow()
    {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            crc[i] = c;
        }
        for (uint32_t i = 0; i < 16384; ++i) {
            const uint32_t t = (i << 2) | 2;
            keystream[i] = static_cast<uint8_t>((t * (t ^ 1)) >> 8);
            keystreamCrcLow[i] = static_cast<uint8_t>(crc[keystream[i]]);
        }
    }
};

constexpr CipherTables kTables;

}  // namespace

uint32_t crc32_step(uint32_t crc, uint8_t b) { return kTables.crc[(crc ^ b) & 0xFF] ^ (crc >> 8); }

void update_keys(TraditionalKeys* keys, uint8_t plain)
{
    keys->key0 = crc32_step(keys->key0, plain);
    keys->key1 = (keys->key1 + (keys->key0 & 0xFF)) * kMultiplier + 1;
    keys->key2 = crc32_step(keys->key2, static_cast<uint8_t>(keys->key1 >> 24));
}

uint8_t decrypt_byte(const TraditionalKeys* keys)
{
    const uint32_t t = (keys->key2 & 0xFFFF) | 2;
    return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
}

void init_keys(TraditionalKeys* keys, const char* password)
{
    keys->key0 = 0x12345678;
    keys->key1 = 0x23456789;
    keys->key2 = 0x34567890;
    for (const char* p = password; *p; ++p)
        update_keys(keys, static_cast<uint8_t>(*p));
}

// Each byte depends on the one before through all three keys, so the loop is one chain of
// dependent steps, which it keeps short. The CRC table is linear (crc[x ^ y] = crc[x] ^
// crc[y]), so key0's step splits into a part known early (its own bytes and the cipher byte)
// and crc[keystream byte]; key1 needs only the low byte of that, one load from key2; and
// key2's step likewise waits only for crc[key1 >> 24]. Everything else runs beside the chain.
void decrypt_traditional(TraditionalKeys* keys, uint8_t* data, uint32_t length)
{
    const CipherTables& t = kTables;
    uint32_t key0 = keys->key0;
    uint32_t key1 = keys->key1;
    uint32_t key2 = keys->key2;
    for (uint32_t i = 0; i < length; ++i) {
        const uint8_t cipher = data[i];
        const uint32_t early0 = t.crc[key0 & 0xFF] ^ (key0 >> 8) ^ t.crc[cipher];
        const uint32_t early2 = t.crc[key2 & 0xFF] ^ (key2 >> 8);
        const uint32_t index = (key2 >> 2) & 0x3FFF;
        const uint8_t stream = t.keystream[index];
        data[i] = static_cast<uint8_t>(cipher ^ stream);
        const uint32_t low0 = (early0 & 0xFF) ^ t.keystreamCrcLow[index];  // low byte of the new key0
        key0 = early0 ^ t.crc[stream];
        key1 = (key1 + low0) * kMultiplier + 1;
        key2 = early2 ^ t.crc[key1 >> 24];
    }
    keys->key0 = key0;
    keys->key1 = key1;
    keys->key2 = key2;
}

uint8_t key_encryption_header(TraditionalKeys* keys, const char* password, const uint8_t* header)
{
    init_keys(keys, password);
    uint8_t plain[kEncryptionHeaderSize];
    for (uint32_t i = 0; i < kEncryptionHeaderSize; ++i)
        plain[i] = header[i];
    decrypt_traditional(keys, plain, kEncryptionHeaderSize);
    return plain[kEncryptionHeaderSize - 1];
}

uint8_t traditional_check_byte(uint16_t flags, uint16_t dosTime, uint32_t crc)
{
    return static_cast<uint8_t>((flags & 0x0008) ? dosTime >> 8 : crc >> 24);
}
