// The byte-level decryption routines: the traditional cipher against the tests' own encryptor,
// AES against the published vectors, and the AES extra field's walk. (The counter mode meets
// the platform's AES in the Windows tests; chunking is fuzzed.)
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "crypto/aes_ctr.h"
#include "crypto/aes_extra_field.h"
#include "crypto/pbkdf2_sha1.h"
#include "crypto/traditional_cipher.h"
#include "zip_writer.h"

namespace {

std::string random_bytes(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string out(n, '\0');
    for (char& c : out)
        c = static_cast<char>(rng());
    return out;
}

uint8_t* bytes(std::string& s) { return reinterpret_cast<uint8_t*>(s.data()); }

// Decrypts data in chunks of the given sizes (repeated), with fresh keys from password.
std::string decrypt_in_chunks(const std::string& password, std::string data, std::vector<uint32_t> sizes)
{
    TraditionalKeys keys;
    init_keys(&keys, password.c_str());
    size_t at = 0;
    for (size_t i = 0; at < data.size(); ++i) {
        const uint32_t n = std::min<uint32_t>(sizes[i % sizes.size()], static_cast<uint32_t>(data.size() - at));
        decrypt_traditional(&keys, bytes(data) + at, n);
        at += n;
    }
    return data;
}

// The table-driven loop against a plain reading of the cipher runs in the fuzz target; here
// it meets the tests' own encryptor.
TEST(TraditionalCipher, DecryptsWhatTheWriterEncryptsInChunksOfAnySize)
{
    TraditionalKeys start;
    init_keys(&start, "");
    EXPECT_EQ(start.key0, 0x12345678u);
    EXPECT_EQ(start.key1, 0x23456789u);
    EXPECT_EQ(start.key2, 0x34567890u);
    const std::string plain = random_bytes(3 * 1048576 + 17, 5);
    const std::string header = "abcdefghijk\x42";
    const std::string encrypted = ziptest::encrypt_traditional("secret", header, plain);
    TraditionalKeys keys;
    EXPECT_EQ(key_encryption_header(&keys, "secret", reinterpret_cast<const uint8_t*>(encrypted.data())), 0x42);
    std::string rest = encrypted.substr(kEncryptionHeaderSize);
    decrypt_traditional(&keys, bytes(rest), static_cast<uint32_t>(rest.size()));
    EXPECT_EQ(rest, plain);
    // Chunks restart nowhere: the header and the data in chunks of 1, 13 and 1 MiB bytes.
    for (std::vector<uint32_t> sizes : {std::vector<uint32_t>{1}, {13}, {1048576}, {5, 1, 1048575, 999}}) {
        const std::string whole = decrypt_in_chunks("secret", encrypted, sizes);
        EXPECT_EQ(whole.substr(kEncryptionHeaderSize), plain) << sizes[0];
    }
    // A wrong password gives another last header byte (here) and other data.
    EXPECT_NE(key_encryption_header(&keys, "secreT", reinterpret_cast<const uint8_t*>(encrypted.data())), 0x42);
}

TEST(TraditionalCipher, CheckByteComesFromTheTimeWithADataDescriptor)
{
    EXPECT_EQ(traditional_check_byte(0x0001, 0xA1B2, 0xC3D4E5F6), 0xC3);
    EXPECT_EQ(traditional_check_byte(0x0009, 0xA1B2, 0xC3D4E5F6), 0xA1);
}

// FIPS-197, appendix C: one plaintext under the three key lengths.
TEST(Aes, BlocksMatchThePublishedVectors)
{
    if (!cpu_has_aes_instructions())
        GTEST_SKIP() << "no AES instructions on this processor";
    const uint8_t plain[16] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                               0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
    const struct {
        uint32_t keyLength;
        uint8_t expected[16];
    } cases[] = {
        {16, {0x69, 0xc4, 0xe0, 0xd8, 0x6a, 0x7b, 0x04, 0x30, 0xd8, 0xcd, 0xb7, 0x80, 0x70, 0xb4, 0xc5, 0x5a}},
        {24, {0xdd, 0xa9, 0x7c, 0xa4, 0x86, 0x4c, 0xdf, 0xe0, 0x6e, 0xaf, 0x70, 0xa0, 0xec, 0x0d, 0x71, 0x91}},
        {32, {0x8e, 0xa2, 0xb7, 0xca, 0x51, 0x67, 0x45, 0xbf, 0xea, 0xfc, 0x49, 0x90, 0x4b, 0x49, 0x60, 0x89}},
    };
    uint8_t key[32];
    for (int i = 0; i < 32; ++i)
        key[i] = static_cast<uint8_t>(i);
    for (const auto& c : cases) {
        AesKeySchedule schedule;
        ASSERT_TRUE(aes_expand_key(key, c.keyLength, &schedule));
        EXPECT_EQ(schedule.rounds, c.keyLength / 4 + 6);
        // 19 copies: the eight-block path twice and three single blocks.
        std::vector<uint8_t> blocks;
        for (int k = 0; k < 19; ++k)
            blocks.insert(blocks.end(), plain, plain + 16);
        aes_encrypt_blocks(&schedule, blocks.data(), 19);
        for (int k = 0; k < 19; ++k)
            EXPECT_EQ(std::vector<uint8_t>(blocks.begin() + 16 * k, blocks.begin() + 16 * k + 16),
                      std::vector<uint8_t>(c.expected, c.expected + 16))
                << c.keyLength << " block " << k;
    }
    AesKeySchedule schedule;
    EXPECT_FALSE(aes_expand_key(key, 20, &schedule));
}

// RFC 6070's vectors, and a salt longer than a SHA-1 block.
TEST(Pbkdf2Sha1, MatchesThePublishedVectors)
{
    const struct {
        std::string password, salt;
        uint32_t iterations;
        std::string expected;  // hex
    } cases[] = {
        {"password", "salt", 1, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
        {"password", "salt", 2, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
        {"password", "salt", 4096, "4b007901b765489abead49d926f721d065a429c1"},
        {"passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096,
         "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
        {std::string("pass\0word", 9), std::string("sa\0lt", 5), 4096, "56fa6aa75548099dcc37d7f03425e0c3"},
    };
    for (const auto& c : cases) {
        std::string out(c.expected.size() / 2, '\0');
        pbkdf2_hmac_sha1(reinterpret_cast<const uint8_t*>(c.password.data()), c.password.size(),
                         reinterpret_cast<const uint8_t*>(c.salt.data()), c.salt.size(), c.iterations, bytes(out), out.size());
        std::string hex;
        for (unsigned char b : out) {
            const char digits[] = "0123456789abcdef";
            hex += digits[b >> 4];
            hex += digits[b & 15];
        }
        EXPECT_EQ(hex, c.expected) << c.password << " " << c.iterations;
    }
}

TEST(AesExtraField, LastMatchingRecordWins)
{
    auto aes = [](uint16_t size, const std::string& vendor, uint8_t strength, uint16_t method) {
        std::string data;
        ziptest::put16(data, 2);
        data += vendor;
        data += static_cast<char>(strength);
        ziptest::put16(data, method);
        data.resize(size, '\0');
        std::string record;
        ziptest::put16(record, 0x9901);
        ziptest::put16(record, size);
        return record + data;
    };
    const std::string other = ziptest::extra_record(0x5455, "\x01\x02\x03\x04\x05");
    struct Case {
        const char* what;
        std::string block;
        bool found;
        uint8_t strength;
        uint16_t method;
    } cases[] = {
        {"one record", other + aes(7, "AE", 3, 8), true, 3, 8},
        {"the second replaces the first", aes(7, "AE", 1, 0) + other + aes(9, "AE", 2, 9), true, 2, 9},
        {"a short record is ignored", aes(7, "AE", 1, 0) + aes(6, "AE", 3, 8), true, 1, 0},
        {"another vendor is ignored", aes(7, "XE", 3, 8), false, 0, 0},
        {"a record beyond the block is ignored", aes(7, "AE", 3, 8).substr(0, 10), false, 0, 0},
        {"a size past the end stops the walk", aes(7, "AE", 1, 8) + std::string("\x01\x99\xFF\x00", 4) + aes(7, "AE", 2, 8), true, 1, 8},
        {"a strength of 0 is as recorded", aes(7, "AE", 0, 8), true, 0, 8},
        {"nothing", "", false, 0, 0},
        {"three bytes", "\x01\x99\x07", false, 0, 0},
    };
    for (const Case& c : cases) {
        AesExtraField field = {0, 0};
        EXPECT_EQ(find_aes_extra_field(reinterpret_cast<const uint8_t*>(c.block.data()), static_cast<uint32_t>(c.block.size()), &field),
                  c.found)
            << c.what;
        if (c.found) {
            EXPECT_EQ(field.strength, c.strength) << c.what;
            EXPECT_EQ(field.method, c.method) << c.what;
        }
    }
    EXPECT_EQ(aes_salt_length(1), 8u);
    EXPECT_EQ(aes_salt_length(2), 12u);
    EXPECT_EQ(aes_salt_length(3), 16u);
    EXPECT_EQ(aes_salt_length(0), 0u);
    EXPECT_EQ(aes_salt_length(4), 0u);
}

}  // namespace
