// Encrypted entries with damaged bytes, through decryption and decoding together as the entry
// pipeline runs them. The input is an entry's compressed data in the clear: it is encrypted
// (not at all, with the traditional cipher, or with WinZip AES of a key size the input
// chooses), one byte of the result may be flipped, and the whole is decrypted in chunks of the
// input's choosing and handed to the decoder of the method the input names, which must end
// without a fault whatever it gets. Under AES the authentication code, made over the data as
// written and checked over the data as read, tells exactly whether a byte was flipped.
#include <stdint.h>
#include <string.h>

#include <vector>

#include "codec/decoder.h"
#include "crypto/aes_ctr.h"
#include "crypto/pbkdf2_sha1.h"
#include "crypto/traditional_cipher.h"

namespace {

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

struct Cipher {
    int kind;  // 0 none, 1 traditional, 2 AES
    TraditionalKeys keys;
    AesKeySchedule schedule;
    AesCounterMode mode;
    HmacSha1 mac;
};

void encrypt(Cipher* c, uint8_t* data, size_t length)
{
    if (c->kind == 1) {
        for (size_t i = 0; i < length; ++i) {
            const uint8_t plain = data[i];
            data[i] = static_cast<uint8_t>(plain ^ decrypt_byte(&c->keys));
            update_keys(&c->keys, plain);
        }
    } else if (c->kind == 2) {
        aes_ctr_xor(&c->mode, aes_instruction_keystream, &c->schedule, data, static_cast<uint32_t>(length));
        hmac_sha1_add(&c->mac, data, length);
    }
}

void decrypt(Cipher* c, uint8_t* data, uint32_t length)
{
    if (c->kind == 1) {
        decrypt_traditional(&c->keys, data, length);
    } else if (c->kind == 2) {
        hmac_sha1_add(&c->mac, data, length);
        aes_ctr_xor(&c->mode, aes_instruction_keystream, &c->schedule, data, length);
    }
}

void start(Cipher* c, int kind, const uint8_t* keyBytes, uint32_t keyLength)
{
    c->kind = kind;
    init_keys(&c->keys, "secret");
    if (kind == 2) {
        check(aes_expand_key(keyBytes, keyLength, &c->schedule));
        aes_ctr_start(&c->mode);
        hmac_sha1_start(&c->mac, keyBytes + keyLength, keyLength);
    }
}

// The pipeline's input side: the encrypted bytes in chunks, each decrypted as it is taken.
struct Input {
    std::vector<uint8_t> bytes;
    size_t at;
    uint32_t chunk;
    Cipher* cipher;

    static uint32_t pull(void* descriptor, uint8_t** next)
    {
        Input* in = static_cast<Input*>(descriptor);
        const size_t left = in->bytes.size() - in->at;
        const uint32_t n = left < in->chunk ? static_cast<uint32_t>(left) : in->chunk;
        *next = in->bytes.data() + in->at;
        decrypt(in->cipher, *next, n);
        in->at += n;
        return n;
    }
};

// The output side: counts the bytes, refusing them past a bound as a full target would.
struct Output {
    uint64_t produced;
    static int take(void* descriptor, uint8_t*, uint32_t count)
    {
        Output* out = static_cast<Output*>(descriptor);
        out->produced += count;
        return out->produced > (64u << 20);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // kind and key size, method, chunk size, flipped position (2 bytes), declared size (2 bytes).
    if (size < 7)
        return 0;
    const int kind = data[0] % 3;
    const uint32_t keyLength = 16 + 8 * (data[0] / 3 % 3);
    const EntryDecoder* decoder = find_decoder(data[1]);
    const uint32_t chunk = 1 + data[2] % 64 * (data[2] & 0x80 ? 1031 : 1);
    const uint32_t flip = data[3] | data[4] << 8;
    const uint64_t declaredSize = static_cast<uint64_t>(data[5] | data[6] << 8) << 4;
    data += 7;
    size -= 7;
    if (!decoder || (kind == 2 && !cpu_has_aes_instructions()))
        return 0;

    uint8_t keys[64];
    for (uint32_t i = 0; i < sizeof keys; ++i)
        keys[i] = static_cast<uint8_t>(i * 37 + 11);
    Cipher writer, reader;
    start(&writer, kind, keys, keyLength);
    start(&reader, kind, keys, keyLength);
    Input in = {std::vector<uint8_t>(data, data + size), 0, chunk, &reader};
    encrypt(&writer, in.bytes.data(), in.bytes.size());
    const bool flipped = flip < in.bytes.size();
    if (flipped)
        in.bytes[flip] ^= 0x10;

    DecoderState state;
    static uint8_t buffer[1 << 20];
    Output out = {0};
    if (decoder->start(&state, buffer, sizeof buffer) != 0)
        return 0;
    int status = 0;
    const DecodeRequest request = {Input::pull, &in, Output::take, &out, declaredSize};
    decoder->decode(&state, request, &status);
    decoder->end(&state);

    if (kind == 2) {
        // Every byte is authenticated, also those the decoder left behind its stream's end.
        uint8_t* rest = nullptr;
        while (Input::pull(&in, &rest) != 0) {
        }
        uint8_t written[kSha1DigestSize], read[kSha1DigestSize];
        hmac_sha1_finish(&writer.mac, written);
        hmac_sha1_finish(&reader.mac, read);
        check((memcmp(written, read, 10) != 0) == flipped);
    }
    return 0;
}
