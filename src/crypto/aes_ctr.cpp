#include "crypto/aes_ctr.h"

#include <string.h>

#if defined(__x86_64__)
#include <wmmintrin.h>
#elif defined(__aarch64__)
#include <arm_neon.h>
#endif

namespace {

// The S-box, computed by the compiler from its definition: the multiplicative inverse in
// GF(2^8) followed by the affine map.
struct SubstitutionBox {
    uint8_t value[256];

    static constexpr uint8_t multiply(uint8_t a, uint8_t b)
    {
        uint8_t product = 0;
        for (int i = 0; i < 8; ++i) {
            if (b & 1)
                product ^= a;
            const bool carry = a & 0x80;
            a = static_cast<uint8_t>(a << 1);
            if (carry)
                a ^= 0x1B;
            b >>= 1;
        }
        return product;
    }
    static constexpr uint8_t rotate(uint8_t x, int n) { return static_cast<uint8_t>((x << n) | (x >> (8 - n))); }

    // x^254 is the inverse of x (and 0 for 0), by square and multiply.
    static constexpr uint8_t inverse(uint8_t x)
    {
        uint8_t result = 1;
        uint8_t power = x;
        for (int e = 254; e > 0; e >>= 1) {
            if (e & 1)
                result = multiply(result, power);
            power = multiply(power, power);
        }
        return result;
    }

    constexpr SubstitutionBox() : value()
    {
        for (int x = 0; x < 256; ++x) {
            const uint8_t v = inverse(static_cast<uint8_t>(x));
            value[x] = static_cast<uint8_t>(v ^ rotate(v, 1) ^ rotate(v, 2) ^ rotate(v, 3) ^ rotate(v, 4) ^ 0x63);
        }
    }
};

constexpr SubstitutionBox kSbox;

}  // namespace

bool aes_expand_key(const uint8_t* key, uint32_t keyLength, AesKeySchedule* schedule)
{
    if (keyLength != 16 && keyLength != 24 && keyLength != 32)
        return false;
    const uint32_t words = keyLength / 4;                 // Nk
    schedule->rounds = words + 6;                         // Nr
    const uint32_t total = 4 * (schedule->rounds + 1);    // words of all round keys
    uint8_t* w = schedule->roundKeys;
    memcpy(w, key, keyLength);
    uint8_t roundConstant = 1;
    for (uint32_t i = words; i < total; ++i) {
        uint8_t t[4] = {w[4 * i - 4], w[4 * i - 3], w[4 * i - 2], w[4 * i - 1]};
        if (i % words == 0) {
            const uint8_t first = t[0];
            t[0] = static_cast<uint8_t>(kSbox.value[t[1]] ^ roundConstant);
            t[1] = kSbox.value[t[2]];
            t[2] = kSbox.value[t[3]];
            t[3] = kSbox.value[first];
            roundConstant = SubstitutionBox::multiply(roundConstant, 2);
        } else if (words > 6 && i % words == 4) {
            for (uint8_t& b : t)
                b = kSbox.value[b];
        }
        for (int k = 0; k < 4; ++k)
            w[4 * i + k] = static_cast<uint8_t>(w[4 * (i - words) + k] ^ t[k]);
    }
    return true;
}

#if defined(__x86_64__)

// Eight blocks go through the rounds side by side, so that the AES unit is never idle while
// one block waits for its previous round.
__attribute__((target("aes,sse2"))) void aes_encrypt_blocks(const AesKeySchedule* schedule, uint8_t* data,
                                                            uint32_t blocks)
{
    const uint32_t rounds = schedule->rounds;
    __m128i key[15];
    for (uint32_t r = 0; r <= rounds; ++r)
        key[r] = _mm_load_si128(reinterpret_cast<const __m128i*>(schedule->roundKeys + 16 * r));
    __m128i* p = reinterpret_cast<__m128i*>(data);
    for (; blocks >= 8; blocks -= 8, p += 8) {
        __m128i b0 = _mm_xor_si128(_mm_loadu_si128(p + 0), key[0]);
        __m128i b1 = _mm_xor_si128(_mm_loadu_si128(p + 1), key[0]);
        __m128i b2 = _mm_xor_si128(_mm_loadu_si128(p + 2), key[0]);
        __m128i b3 = _mm_xor_si128(_mm_loadu_si128(p + 3), key[0]);
        __m128i b4 = _mm_xor_si128(_mm_loadu_si128(p + 4), key[0]);
        __m128i b5 = _mm_xor_si128(_mm_loadu_si128(p + 5), key[0]);
        __m128i b6 = _mm_xor_si128(_mm_loadu_si128(p + 6), key[0]);
        __m128i b7 = _mm_xor_si128(_mm_loadu_si128(p + 7), key[0]);
        for (uint32_t r = 1; r < rounds; ++r) {
            b0 = _mm_aesenc_si128(b0, key[r]);
            b1 = _mm_aesenc_si128(b1, key[r]);
            b2 = _mm_aesenc_si128(b2, key[r]);
            b3 = _mm_aesenc_si128(b3, key[r]);
            b4 = _mm_aesenc_si128(b4, key[r]);
            b5 = _mm_aesenc_si128(b5, key[r]);
            b6 = _mm_aesenc_si128(b6, key[r]);
            b7 = _mm_aesenc_si128(b7, key[r]);
        }
        _mm_storeu_si128(p + 0, _mm_aesenclast_si128(b0, key[rounds]));
        _mm_storeu_si128(p + 1, _mm_aesenclast_si128(b1, key[rounds]));
        _mm_storeu_si128(p + 2, _mm_aesenclast_si128(b2, key[rounds]));
        _mm_storeu_si128(p + 3, _mm_aesenclast_si128(b3, key[rounds]));
        _mm_storeu_si128(p + 4, _mm_aesenclast_si128(b4, key[rounds]));
        _mm_storeu_si128(p + 5, _mm_aesenclast_si128(b5, key[rounds]));
        _mm_storeu_si128(p + 6, _mm_aesenclast_si128(b6, key[rounds]));
        _mm_storeu_si128(p + 7, _mm_aesenclast_si128(b7, key[rounds]));
    }
    for (; blocks > 0; --blocks, ++p) {
        __m128i b = _mm_xor_si128(_mm_loadu_si128(p), key[0]);
        for (uint32_t r = 1; r < rounds; ++r)
            b = _mm_aesenc_si128(b, key[r]);
        _mm_storeu_si128(p, _mm_aesenclast_si128(b, key[rounds]));
    }
}

#elif defined(__aarch64__)

// AESE does AddRoundKey, SubBytes and ShiftRows, AESMC MixColumns; the last round has no
// MixColumns and ends with the last round key. Eight blocks go side by side.
__attribute__((target("aes"))) void aes_encrypt_blocks(const AesKeySchedule* schedule, uint8_t* data,
                                                       uint32_t blocks)
{
    const uint32_t rounds = schedule->rounds;
    uint8x16_t key[15];
    for (uint32_t r = 0; r <= rounds; ++r)
        key[r] = vld1q_u8(schedule->roundKeys + 16 * r);
    uint8_t* p = data;
    for (; blocks >= 8; blocks -= 8, p += 128) {
        uint8x16_t b[8];
        for (int k = 0; k < 8; ++k)
            b[k] = vld1q_u8(p + 16 * k);
        for (uint32_t r = 0; r + 1 < rounds; ++r) {
            for (int k = 0; k < 8; ++k)
                b[k] = vaesmcq_u8(vaeseq_u8(b[k], key[r]));
        }
        for (int k = 0; k < 8; ++k)
            vst1q_u8(p + 16 * k, veorq_u8(vaeseq_u8(b[k], key[rounds - 1]), key[rounds]));
    }
    for (; blocks > 0; --blocks, p += 16) {
        uint8x16_t b = vld1q_u8(p);
        for (uint32_t r = 0; r + 1 < rounds; ++r)
            b = vaesmcq_u8(vaeseq_u8(b, key[r]));
        vst1q_u8(p, veorq_u8(vaeseq_u8(b, key[rounds - 1]), key[rounds]));
    }
}

#else

void aes_encrypt_blocks(const AesKeySchedule*, uint8_t*, uint32_t) {}

#endif

void write_counter_blocks(uint64_t counter, uint8_t* out, uint32_t blocks)
{
    memset(out, 0, static_cast<size_t>(blocks) * kAesBlockSize);
    for (uint32_t k = 0; k < blocks; ++k, ++counter) {
        for (int i = 0; i < 8; ++i)
            out[k * kAesBlockSize + i] = static_cast<uint8_t>(counter >> (8 * i));
    }
}

bool aes_instruction_keystream(void* context, uint64_t counter, uint8_t* out, uint32_t blocks)
{
    write_counter_blocks(counter, out, blocks);
    aes_encrypt_blocks(static_cast<const AesKeySchedule*>(context), out, blocks);
    return true;
}

void aes_ctr_start(AesCounterMode* mode)
{
    mode->counter = 1;
    mode->unused = 0;
}

bool aes_ctr_xor(AesCounterMode* mode, KeystreamFunction make, void* context, uint8_t* data, uint32_t length)
{
    constexpr uint32_t kBatch = sizeof mode->keystream;
    while (length > 0) {
        if (mode->unused == 0) {
            if (!make(context, mode->counter, mode->keystream, kKeystreamBlocks))
                return false;
            mode->counter += kKeystreamBlocks;
            mode->unused = kBatch;
        }
        const uint8_t* stream = mode->keystream + (kBatch - mode->unused);
        const uint32_t n = mode->unused < length ? mode->unused : length;
        uint32_t i = 0;
        for (; i + 8 <= n; i += 8) {
            uint64_t a, b;
            memcpy(&a, data + i, 8);
            memcpy(&b, stream + i, 8);
            a ^= b;
            memcpy(data + i, &a, 8);
        }
        for (; i < n; ++i)
            data[i] ^= stream[i];
        data += n;
        length -= n;
        mode->unused -= n;
    }
    return true;
}
