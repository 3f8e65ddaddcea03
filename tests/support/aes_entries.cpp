#include "aes_entries.h"

#include <windows.h>
#include <bcrypt.h>

#include <stdexcept>

#include "crypto/aes_ctr.h"

namespace dlltest {

namespace {

void check(NTSTATUS status, const char* what)
{
    if (status != 0)
        throw std::runtime_error(what);
}

std::string hmac_sha1(const std::string& key, const std::string& message)
{
    BCRYPT_ALG_HANDLE sha1;
    check(BCryptOpenAlgorithmProvider(&sha1, BCRYPT_SHA1_ALGORITHM, nullptr, BCRYPT_ALG_HANDLE_HMAC_FLAG), "hmac");
    BCRYPT_HASH_HANDLE hash;
    check(BCryptCreateHash(sha1, &hash, nullptr, 0, reinterpret_cast<PUCHAR>(const_cast<char*>(key.data())),
                           static_cast<ULONG>(key.size()), 0),
          "hash");
    check(BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(message.data())), static_cast<ULONG>(message.size()), 0),
          "data");
    std::string digest(20, '\0');
    check(BCryptFinishHash(hash, reinterpret_cast<PUCHAR>(digest.data()), 20, 0), "finish");
    BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(sha1, 0);
    return digest;
}

}  // namespace

std::string pbkdf2_sha1(const std::string& password, const std::string& salt, size_t length)
{
    BCRYPT_ALG_HANDLE hmac;
    check(BCryptOpenAlgorithmProvider(&hmac, BCRYPT_SHA1_ALGORITHM, nullptr, BCRYPT_ALG_HANDLE_HMAC_FLAG), "hmac");
    std::string out(length, '\0');
    std::string pw = password.empty() ? std::string(1, '\0') : password;
    check(BCryptDeriveKeyPBKDF2(hmac, reinterpret_cast<PUCHAR>(pw.data()), static_cast<ULONG>(password.size()),
                                reinterpret_cast<PUCHAR>(const_cast<char*>(salt.data())), static_cast<ULONG>(salt.size()),
                                1000, reinterpret_cast<PUCHAR>(out.data()), static_cast<ULONG>(length), 0),
          "pbkdf2");
    BCryptCloseAlgorithmProvider(hmac, 0);
    return out;
}

bool aes_instructions_runnable() { return cpu_has_aes_instructions() || GetEnvironmentVariableW(L"VARNO_ARM64_EMULATION", nullptr, 0) > 0; }

const char* platform_aes192_unusable()
{
    if (GetEnvironmentVariableW(L"VARNO_ARM64_EMULATION", nullptr, 0) > 0)
        return "AES-192 through bcrypt.dll: the ARM64 emulation's bcrypt.dll ends the process on 24-byte keys";
    return nullptr;
}

std::string aes_ecb(const std::string& key, const std::string& blocks)
{
    BCRYPT_ALG_HANDLE aes;
    check(BCryptOpenAlgorithmProvider(&aes, BCRYPT_AES_ALGORITHM, nullptr, 0), "aes");
    wchar_t mode[] = BCRYPT_CHAIN_MODE_ECB;
    check(BCryptSetProperty(aes, BCRYPT_CHAINING_MODE, reinterpret_cast<PUCHAR>(mode), sizeof mode, 0), "ecb");
    BCRYPT_KEY_HANDLE handle;
    check(BCryptGenerateSymmetricKey(aes, &handle, nullptr, 0, reinterpret_cast<PUCHAR>(const_cast<char*>(key.data())),
                                     static_cast<ULONG>(key.size()), 0),
          "key");
    std::string out(blocks.size(), '\0');
    ULONG written = 0;
    check(BCryptEncrypt(handle, reinterpret_cast<PUCHAR>(const_cast<char*>(blocks.data())), static_cast<ULONG>(blocks.size()),
                        nullptr, nullptr, 0, reinterpret_cast<PUCHAR>(out.data()), static_cast<ULONG>(out.size()), &written, 0),
          "encrypt");
    BCryptDestroyKey(handle);
    BCryptCloseAlgorithmProvider(aes, 0);
    return out;
}

ziptest::Entry aes_entry(const std::string& name, const std::string& data, const std::string& password,
                         const AesEntryOptions& options)
{
    const size_t saltLength = 4 + 4 * options.strength;
    std::string salt;
    for (size_t i = 0; i < saltLength; ++i)
        salt += static_cast<char>(0x31 * (i + 1) + name.size());
    const std::string derived = pbkdf2_sha1(password, salt, 4 * saltLength + 2);
    const std::string plain = options.method == 8 ? ziptest::deflate_raw(data) : data;
    // Counter blocks 1, 2, ... as 16-byte little-endian numbers.
    std::string counters;
    for (uint64_t block = 1; counters.size() < plain.size(); ++block) {
        std::string c;
        ziptest::put64(c, block);
        ziptest::put64(c, 0);
        counters += c;
    }
    const std::string keystream = aes_ecb(derived.substr(0, 2 * saltLength), counters);
    std::string encrypted = plain;
    for (size_t i = 0; i < encrypted.size(); ++i)
        encrypted[i] = static_cast<char>(encrypted[i] ^ keystream[i]);

    std::string field;
    ziptest::put16(field, options.vendorVersion);
    field += "AE";
    field += static_cast<char>(options.strength);
    ziptest::put16(field, options.method);
    ziptest::Entry e;
    e.name = name;
    e.data = data;
    e.method = 99;
    e.flags = 1;
    e.versionNeeded = 51;
    const std::string code = options.authentication ? *options.authentication
                                                    : hmac_sha1(derived.substr(2 * saltLength, 2 * saltLength), encrypted).substr(0, 10);
    e.compressed = salt + derived.substr(4 * saltLength, 2) + encrypted + code;
    e.centralExtra = ziptest::extra_record(0x9901, field);
    if (options.vendorVersion == 2)
        e.crc = 0;
    return e;
}

}  // namespace dlltest
