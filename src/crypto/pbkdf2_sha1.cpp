#include "crypto/pbkdf2_sha1.h"

#include <string.h>

#include "crypto/cpu_features.h"

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__aarch64__)
#include <arm_neon.h>
#endif

namespace {

constexpr size_t kBlock = 64;
constexpr size_t kDigest = 20;

inline uint32_t rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
inline uint32_t load_be(const uint8_t* p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) | (static_cast<uint32_t>(p[2]) << 8) | p[3];
}
inline void store_be(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

struct Sha1State {
    uint32_t h[5];
};

constexpr Sha1State kSha1Start = {{0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0}};

// One SHA-1 block: four runs of 20 rounds, each with its own function and constant, over a
// message schedule kept as a ring of 16 words.
void sha1_block_portable(Sha1State* state, const uint8_t* block)
{
    uint32_t w[16];
    for (int i = 0; i < 16; ++i)
        w[i] = load_be(block + 4 * i);
    uint32_t a = state->h[0], b = state->h[1], c = state->h[2], d = state->h[3], e = state->h[4];
    auto word = [&w](int i) {
        if (i < 16)
            return w[i];
        const uint32_t x = rotl(w[(i - 3) & 15] ^ w[(i - 8) & 15] ^ w[(i - 14) & 15] ^ w[i & 15], 1);
        w[i & 15] = x;
        return x;
    };
    auto round = [&](uint32_t f, uint32_t k, uint32_t x) {
        const uint32_t t = rotl(a, 5) + f + e + k + x;
        e = d;
        d = c;
        c = rotl(b, 30);
        b = a;
        a = t;
    };
    for (int i = 0; i < 20; ++i)
        round(d ^ (b & (c ^ d)), 0x5A827999, word(i));
    for (int i = 20; i < 40; ++i)
        round(b ^ c ^ d, 0x6ED9EBA1, word(i));
    for (int i = 40; i < 60; ++i)
        round((b & c) | (d & (b | c)), 0x8F1BBCDC, word(i));
    for (int i = 60; i < 80; ++i)
        round(b ^ c ^ d, 0xCA62C1D6, word(i));
    state->h[0] += a;
    state->h[1] += b;
    state->h[2] += c;
    state->h[3] += d;
    state->h[4] += e;
}

void sha1_compress_portable(Sha1State* state, const uint8_t* blocks, size_t count)
{
    for (; count > 0; --count, blocks += kBlock)
        sha1_block_portable(state, blocks);
}

#if defined(__x86_64__)

// SHA-1 blocks with the SHA extensions, the state kept in registers from block to block: 20
// groups of four rounds; group g takes message words 4g to 4g + 3 (the register m[g % 4]) and
// extends the schedule for the groups ahead.
#define VARNO_SHA1_GROUP(g)                                                              \
    do {                                                                                 \
        if ((g) % 2) {                                                                   \
            e1 = _mm_sha1nexte_epu32(e1, m[(g) % 4]);                                    \
            e0 = abcd;                                                                   \
        } else {                                                                         \
            e0 = _mm_sha1nexte_epu32(e0, m[(g) % 4]);                                    \
            e1 = abcd;                                                                   \
        }                                                                                \
        if ((g) >= 3 && (g) <= 18)                                                       \
            m[((g) + 1) % 4] = _mm_sha1msg2_epu32(m[((g) + 1) % 4], m[(g) % 4]);         \
        abcd = _mm_sha1rnds4_epu32(abcd, (g) % 2 ? e1 : e0, (g) / 5);                    \
        if ((g) >= 1 && (g) <= 16)                                                       \
            m[((g) + 3) % 4] = _mm_sha1msg1_epu32(m[((g) + 3) % 4], m[(g) % 4]);         \
        if ((g) >= 2 && (g) <= 17)                                                       \
            m[((g) + 2) % 4] = _mm_xor_si128(m[((g) + 2) % 4], m[(g) % 4]);              \
    } while (0)

__attribute__((target("sha,sse4.1,ssse3"))) void sha1_compress_instructions(Sha1State* state, const uint8_t* blocks,
                                                                           size_t count)
{
    const __m128i order = _mm_set_epi64x(0x0001020304050607ULL, 0x08090a0b0c0d0e0fULL);
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state->h)), 0x1B);
    __m128i e0 = _mm_set_epi32(static_cast<int>(state->h[4]), 0, 0, 0);
    for (const uint8_t* block = blocks; count > 0; --count, block += kBlock) {
        const __m128i abcdStart = abcd;
        const __m128i eStart = e0;
        __m128i m[4];
        for (int i = 0; i < 4; ++i)
            m[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i)), order);
        // The first group adds its words to E directly.
        e0 = _mm_add_epi32(e0, m[0]);
        __m128i e1 = abcd;
        abcd = _mm_sha1rnds4_epu32(abcd, e0, 0);
        VARNO_SHA1_GROUP(1);
        VARNO_SHA1_GROUP(2);
        VARNO_SHA1_GROUP(3);
        VARNO_SHA1_GROUP(4);
        VARNO_SHA1_GROUP(5);
        VARNO_SHA1_GROUP(6);
        VARNO_SHA1_GROUP(7);
        VARNO_SHA1_GROUP(8);
        VARNO_SHA1_GROUP(9);
        VARNO_SHA1_GROUP(10);
        VARNO_SHA1_GROUP(11);
        VARNO_SHA1_GROUP(12);
        VARNO_SHA1_GROUP(13);
        VARNO_SHA1_GROUP(14);
        VARNO_SHA1_GROUP(15);
        VARNO_SHA1_GROUP(16);
        VARNO_SHA1_GROUP(17);
        VARNO_SHA1_GROUP(18);
        VARNO_SHA1_GROUP(19);
        e0 = _mm_sha1nexte_epu32(e0, eStart);
        abcd = _mm_add_epi32(abcd, abcdStart);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state->h), _mm_shuffle_epi32(abcd, 0x1B));
    state->h[4] = static_cast<uint32_t>(_mm_extract_epi32(e0, 3));
}

#undef VARNO_SHA1_GROUP

#elif defined(__aarch64__)


// SHA-1 blocks with the ARMv8 SHA-1 instructions: 20 groups of four rounds, each with the
// words of m[g % 4] plus the round constant made ready two groups ahead in t[g % 2] (the state
// stays in registers from block to block).
#define VARNO_SHA1_GROUP(g, round)                                                        \
    do {                                                                                  \
        e[((g) + 1) % 2] = vsha1h_u32(vgetq_lane_u32(abcd, 0));                           \
        abcd = round(abcd, e[(g) % 2], t[(g) % 2]);                                       \
        if ((g) + 2 <= 19)                                                                \
            t[(g) % 2] = vaddq_u32(m[((g) + 2) % 4], k[((g) + 2) / 5]);                   \
        if ((g) >= 1 && (g) <= 16)                                                        \
            m[((g) + 3) % 4] = vsha1su1q_u32(m[((g) + 3) % 4], m[((g) + 2) % 4]);         \
        if ((g) <= 15)                                                                    \
            m[(g) % 4] = vsha1su0q_u32(m[(g) % 4], m[((g) + 1) % 4], m[((g) + 2) % 4]);   \
    } while (0)

__attribute__((target("sha2"))) void sha1_compress_instructions(Sha1State* state, const uint8_t* blocks, size_t count)
{
    const uint32x4_t k[4] = {vdupq_n_u32(0x5A827999), vdupq_n_u32(0x6ED9EBA1), vdupq_n_u32(0x8F1BBCDC),
                             vdupq_n_u32(0xCA62C1D6)};
    uint32x4_t abcd = vld1q_u32(state->h);
    uint32_t eState = state->h[4];
    for (const uint8_t* block = blocks; count > 0; --count, block += kBlock) {
        const uint32x4_t abcdStart = abcd;
        uint32_t e[2] = {eState, 0};
        uint32x4_t m[4];
        for (int i = 0; i < 4; ++i)
            m[i] = vreinterpretq_u32_u8(vrev32q_u8(vld1q_u8(block + 16 * i)));
        uint32x4_t t[2] = {vaddq_u32(m[0], k[0]), vaddq_u32(m[1], k[0])};
        VARNO_SHA1_GROUP(0, vsha1cq_u32);
        VARNO_SHA1_GROUP(1, vsha1cq_u32);
        VARNO_SHA1_GROUP(2, vsha1cq_u32);
        VARNO_SHA1_GROUP(3, vsha1cq_u32);
        VARNO_SHA1_GROUP(4, vsha1cq_u32);
        VARNO_SHA1_GROUP(5, vsha1pq_u32);
        VARNO_SHA1_GROUP(6, vsha1pq_u32);
        VARNO_SHA1_GROUP(7, vsha1pq_u32);
        VARNO_SHA1_GROUP(8, vsha1pq_u32);
        VARNO_SHA1_GROUP(9, vsha1pq_u32);
        VARNO_SHA1_GROUP(10, vsha1mq_u32);
        VARNO_SHA1_GROUP(11, vsha1mq_u32);
        VARNO_SHA1_GROUP(12, vsha1mq_u32);
        VARNO_SHA1_GROUP(13, vsha1mq_u32);
        VARNO_SHA1_GROUP(14, vsha1mq_u32);
        VARNO_SHA1_GROUP(15, vsha1pq_u32);
        VARNO_SHA1_GROUP(16, vsha1pq_u32);
        VARNO_SHA1_GROUP(17, vsha1pq_u32);
        VARNO_SHA1_GROUP(18, vsha1pq_u32);
        VARNO_SHA1_GROUP(19, vsha1pq_u32);
        abcd = vaddq_u32(abcd, abcdStart);
        eState += e[0];
    }
    vst1q_u32(state->h, abcd);
    state->h[4] = eState;
}

#undef VARNO_SHA1_GROUP

#else

void sha1_compress_instructions(Sha1State* state, const uint8_t* blocks, size_t count)
{
    sha1_compress_portable(state, blocks, count);
}

#endif

typedef void (*CompressFunction)(Sha1State* state, const uint8_t* blocks, size_t count);

// The digest of a message whose first `done` bytes (a multiple of 64) went into state already.
void sha1_finish(CompressFunction sha1_compress, Sha1State state, const uint8_t* tail, size_t tailLength, uint64_t done,
                 uint8_t* digest)
{
    uint8_t block[2 * kBlock] = {};
    while (tailLength >= kBlock) {
        sha1_compress(&state, tail, 1);
        tail += kBlock;
        tailLength -= kBlock;
        done += kBlock;
    }
    memcpy(block, tail, tailLength);
    block[tailLength] = 0x80;
    const size_t total = tailLength + 9 <= kBlock ? kBlock : 2 * kBlock;
    const uint64_t bits = (done + tailLength) * 8;
    for (int i = 0; i < 8; ++i)
        block[total - 1 - i] = static_cast<uint8_t>(bits >> (8 * i));
    sha1_compress(&state, block, total / kBlock);
    for (int i = 0; i < 5; ++i)
        store_be(digest + 4 * i, state.h[i]);
}

// HMAC-SHA1 with its key's inner and outer pad blocks already hashed.
struct Hmac {
    CompressFunction sha1_compress;  // the block function of this processor
    Sha1State inner;
    Sha1State outer;

    void init(const uint8_t* key, size_t keyLength)
    {
        sha1_compress = cpu_has_sha1_instructions() ? sha1_compress_instructions : sha1_compress_portable;
        uint8_t hashedKey[kDigest];
        if (keyLength > kBlock) {
            sha1_finish(sha1_compress, kSha1Start, key, keyLength, 0, hashedKey);
            key = hashedKey;
            keyLength = kDigest;
        }
        uint8_t pad[kBlock];
        for (size_t i = 0; i < kBlock; ++i)
            pad[i] = static_cast<uint8_t>((i < keyLength ? key[i] : 0) ^ 0x36);
        inner = kSha1Start;
        sha1_compress(&inner, pad, 1);
        for (size_t i = 0; i < kBlock; ++i)
            pad[i] ^= 0x36 ^ 0x5C;
        outer = kSha1Start;
        sha1_compress(&outer, pad, 1);
    }

    // The MAC of a 20-byte message in place, with both padded blocks built once by the caller.
    void mac_digest(uint8_t* innerBlock, uint8_t* outerBlock, uint8_t* digest) const
    {
        memcpy(innerBlock, digest, kDigest);
        Sha1State s = inner;
        sha1_compress(&s, innerBlock, 1);
        for (int i = 0; i < 5; ++i)
            store_be(outerBlock + 4 * i, s.h[i]);
        s = outer;
        sha1_compress(&s, outerBlock, 1);
        for (int i = 0; i < 5; ++i)
            store_be(digest + 4 * i, s.h[i]);
    }
};

// The padding of a 20-byte message that follows one 64-byte block.
void pad_digest_block(uint8_t* block)
{
    memset(block, 0, kBlock);
    block[kDigest] = 0x80;
    block[kBlock - 2] = static_cast<uint8_t>(((kBlock + kDigest) * 8) >> 8);
    block[kBlock - 1] = static_cast<uint8_t>((kBlock + kDigest) * 8);
}

}  // namespace

void hmac_sha1_start(HmacSha1* mac, const uint8_t* key, size_t keyLength)
{
    Hmac hmac;
    hmac.init(key, keyLength);
    memcpy(mac->inner, hmac.inner.h, sizeof mac->inner);
    memcpy(mac->outer, hmac.outer.h, sizeof mac->outer);
    mac->blockLength = 0;
    mac->hashed = kBlock;
    mac->instructions = hmac.sha1_compress == sha1_compress_instructions;
}

void hmac_sha1_add(HmacSha1* mac, const uint8_t* data, size_t length)
{
    if (length == 0)
        return;
    const CompressFunction sha1_compress = mac->instructions ? sha1_compress_instructions : sha1_compress_portable;
    Sha1State state;
    memcpy(state.h, mac->inner, sizeof state.h);
    if (mac->blockLength > 0) {
        const size_t take = length < kBlock - mac->blockLength ? length : kBlock - mac->blockLength;
        memcpy(mac->block + mac->blockLength, data, take);
        mac->blockLength += static_cast<uint32_t>(take);
        data += take;
        length -= take;
        if (mac->blockLength < kBlock)
            return;
        sha1_compress(&state, mac->block, 1);
        mac->hashed += kBlock;
        mac->blockLength = 0;
    }
    const size_t whole = length / kBlock;
    sha1_compress(&state, data, whole);
    mac->hashed += whole * kBlock;
    data += whole * kBlock;
    length -= whole * kBlock;
    memcpy(mac->block, data, length);
    mac->blockLength = static_cast<uint32_t>(length);
    memcpy(mac->inner, state.h, sizeof state.h);
}

void hmac_sha1_finish(HmacSha1* mac, uint8_t* digest)
{
    const CompressFunction sha1_compress = mac->instructions ? sha1_compress_instructions : sha1_compress_portable;
    Sha1State state;
    memcpy(state.h, mac->inner, sizeof state.h);
    uint8_t innerDigest[kDigest];
    sha1_finish(sha1_compress, state, mac->block, mac->blockLength, mac->hashed, innerDigest);
    memcpy(state.h, mac->outer, sizeof state.h);
    sha1_finish(sha1_compress, state, innerDigest, kDigest, kBlock, digest);
}

void pbkdf2_hmac_sha1(const uint8_t* password, size_t passwordLength, const uint8_t* salt, size_t saltLength,
                      uint32_t iterations, uint8_t* out, size_t length)
{
    Hmac hmac;
    hmac.init(password, passwordLength);
    uint8_t innerBlock[kBlock];
    uint8_t outerBlock[kBlock];
    pad_digest_block(innerBlock);
    pad_digest_block(outerBlock);
    for (uint32_t number = 1; length > 0; ++number) {
        // The first MAC is of the salt and the 4-byte block number.
        Sha1State s = hmac.inner;
        const size_t whole = saltLength / kBlock * kBlock;
        for (size_t at = 0; at < whole; at += kBlock)
            hmac.sha1_compress(&s, salt + at, 1);
        uint8_t tail[kBlock + 4];
        memcpy(tail, salt + whole, saltLength - whole);
        store_be(tail + (saltLength - whole), number);
        uint8_t innerDigest[kDigest];
        sha1_finish(hmac.sha1_compress, s, tail, saltLength - whole + 4, kBlock + whole, innerDigest);
        uint8_t u[kDigest];
        uint8_t sum[kDigest];
        sha1_finish(hmac.sha1_compress, hmac.outer, innerDigest, kDigest, kBlock, u);
        memcpy(sum, u, kDigest);
        for (uint32_t i = 1; i < iterations; ++i) {
            hmac.mac_digest(innerBlock, outerBlock, u);
            for (size_t k = 0; k < kDigest; ++k)
                sum[k] ^= u[k];
        }
        const size_t n = length < kDigest ? length : kDigest;
        memcpy(out, sum, n);
        out += n;
        length -= n;
    }
}
