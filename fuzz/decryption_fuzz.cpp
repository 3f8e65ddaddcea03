// The decryption routines over arbitrary bytes. The first byte chooses a chunk size; then:
// the AES extra field walk over the whole input (every read must stay inside it); the
// traditional cipher keyed by the input's first bytes as password, decrypting the rest in one
// call and in chunks, both agreeing with update_keys and decrypt_byte byte by byte; and, on a
// processor with AES instructions, the counter mode in one call and in chunks.
#include <stdint.h>
#include <string.h>

#include <memory>
#include <string>

#include "crypto/aes_ctr.h"
#include "crypto/aes_extra_field.h"
#include "crypto/traditional_cipher.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const uint32_t chunk = 1 + data[0] % 64 * (data[0] & 0x80 ? 97 : 1);
    ++data;
    --size;

    // An exact-size copy, so that a read past the end is caught.
    std::unique_ptr<uint8_t[]> exact(new uint8_t[size ? size : 1]);
    memcpy(exact.get(), data, size);
    AesExtraField field;
    if (find_aes_extra_field(exact.get(), static_cast<uint32_t>(size), &field))
        (void)aes_salt_length(field.strength);

    const size_t passwordLength = size < 8 ? size : 8;
    std::string password(reinterpret_cast<const char*>(data), passwordLength);
    password = password.c_str();  // up to the first NUL, as the password buffer holds it
    std::string whole(reinterpret_cast<const char*>(data) + passwordLength, size - passwordLength);
    std::string chunked = whole;
    std::string expected = whole;

    TraditionalKeys one, many, slow;
    init_keys(&one, password.c_str());
    init_keys(&many, password.c_str());
    init_keys(&slow, password.c_str());
    decrypt_traditional(&one, reinterpret_cast<uint8_t*>(whole.data()), static_cast<uint32_t>(whole.size()));
    for (size_t at = 0; at < chunked.size(); at += chunk) {
        const size_t n = chunked.size() - at < chunk ? chunked.size() - at : chunk;
        decrypt_traditional(&many, reinterpret_cast<uint8_t*>(chunked.data()) + at, static_cast<uint32_t>(n));
    }
    for (char& c : expected) {
        const uint8_t plain = static_cast<uint8_t>(static_cast<uint8_t>(c) ^ decrypt_byte(&slow));
        update_keys(&slow, plain);
        c = static_cast<char>(plain);
    }
    if (whole != expected || chunked != expected || one.key0 != slow.key0 || one.key1 != slow.key1 ||
        one.key2 != slow.key2 || many.key2 != slow.key2)
        __builtin_trap();

    if (!cpu_has_aes_instructions() || size < 32)
        return 0;
    AesKeySchedule schedule;
    if (!aes_expand_key(data, 16 + 8 * (data[0] % 3), &schedule))
        __builtin_trap();
    std::string a(reinterpret_cast<const char*>(data) + 32, size - 32);
    std::string b = a;
    AesCounterMode m1, m2;
    aes_ctr_start(&m1);
    aes_ctr_start(&m2);
    aes_ctr_xor(&m1, aes_instruction_keystream, &schedule, reinterpret_cast<uint8_t*>(a.data()), static_cast<uint32_t>(a.size()));
    for (size_t at = 0; at < b.size(); at += chunk) {
        const size_t n = b.size() - at < chunk ? b.size() - at : chunk;
        aes_ctr_xor(&m2, aes_instruction_keystream, &schedule, reinterpret_cast<uint8_t*>(b.data()) + at, static_cast<uint32_t>(n));
    }
    if (a != b || m1.counter != m2.counter || m1.unused != m2.unused)
        __builtin_trap();
    return 0;
}
