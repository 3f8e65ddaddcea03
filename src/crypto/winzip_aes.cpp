#include "crypto/winzip_aes.h"

#include <string.h>

#include "crypto/aes_extra_field.h"

namespace {

INIT_ONCE g_cngOnce = INIT_ONCE_STATIC_INIT;
CngFunctions g_cng;
bool g_cngLoaded;

template <typename F>
bool resolve(HMODULE module, const char* name, F* out)
{
    *out = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return *out != nullptr;
}

BOOL CALLBACK load_cng(PINIT_ONCE, PVOID, PVOID*)
{
    // The module stays loaded for the life of the process.
    HMODULE module = LoadLibraryW(L"bcrypt.dll");
    g_cngLoaded = module && resolve(module, "BCryptOpenAlgorithmProvider", &g_cng.openAlgorithmProvider) &&
                  resolve(module, "BCryptEncrypt", &g_cng.encrypt) &&
                  resolve(module, "BCryptSetProperty", &g_cng.setProperty) &&
                  resolve(module, "BCryptGetProperty", &g_cng.getProperty) &&
                  resolve(module, "BCryptCloseAlgorithmProvider", &g_cng.closeAlgorithmProvider) &&
                  resolve(module, "BCryptDestroyKey", &g_cng.destroyKey) &&
                  resolve(module, "BCryptGenerateSymmetricKey", &g_cng.generateSymmetricKey);
    return TRUE;
}

void report_decrypt_failure(NTSTATUS status)
{
    char text[64];
    const int n = wsprintfA(text, "Decrypt failed: 0x%x\n", static_cast<unsigned>(status));
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(n), &written, nullptr);
}

// The keystream from the platform's AES: the counter blocks encrypted in one ECB call.
bool platform_keystream(void* context, uint64_t counter, uint8_t* out, uint32_t blocks)
{
    AesState* state = static_cast<AesState*>(context);
    uint8_t counters[kKeystreamBlocks * kAesBlockSize];
    const ULONG size = blocks * kAesBlockSize;
    write_counter_blocks(counter, counters, blocks);
    ULONG written = 0;
    const NTSTATUS status = g_cng.encrypt(state->key, counters, size, nullptr, nullptr, 0, out, size, &written, 0);
    if (status != 0) {
        report_decrypt_failure(status);
        return false;
    }
    return true;
}

}  // namespace

const CngFunctions* cng_functions()
{
    InitOnceExecuteOnce(&g_cngOnce, load_cng, nullptr, nullptr);
    return g_cngLoaded ? &g_cng : nullptr;
}

bool start_aes_state(AesState* state, const uint8_t* key, uint32_t keyLength, bool useInstructions)
{
    aes_ctr_start(&state->mode);
    state->useInstructions = useInstructions;
    if (useInstructions)
        return aes_expand_key(key, keyLength, &state->schedule);

    const CngFunctions* cng = cng_functions();
    if (!cng || cng->openAlgorithmProvider(&state->provider, BCRYPT_AES_ALGORITHM, nullptr, 0) != 0) {
        state->provider = nullptr;
        return false;
    }
    wchar_t mode[] = BCRYPT_CHAIN_MODE_ECB;
    DWORD objectLength = 0;
    ULONG got = 0;
    if (cng->setProperty(state->provider, BCRYPT_CHAINING_MODE, reinterpret_cast<PUCHAR>(mode), sizeof mode, 0) != 0 ||
        cng->getProperty(state->provider, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectLength),
                         sizeof objectLength, &got, 0) != 0)
        return false;
    state->keyObject = static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), 0, objectLength ? objectLength : 1));
    if (!state->keyObject)
        return false;
    if (cng->generateSymmetricKey(state->provider, &state->key, state->keyObject, objectLength,
                                  const_cast<PUCHAR>(key), keyLength, 0) != 0) {
        state->key = nullptr;
        return false;
    }
    return true;
}

void start_aes_authentication(AesState* state, const uint8_t* key, uint32_t keyLength)
{
    hmac_sha1_start(&state->mac, key, keyLength);
    state->authenticate = true;
}

bool aes_code_matches(AesState* state, const uint8_t* stored)
{
    uint8_t digest[kSha1DigestSize];
    hmac_sha1_finish(&state->mac, digest);
    return memcmp(digest, stored, kAesAuthenticationSize) == 0;
}

bool decrypt_aes_state(AesState* state, uint8_t* data, uint32_t length)
{
    if (state->authenticate)
        hmac_sha1_add(&state->mac, data, length);
    if (state->useInstructions)
        return aes_ctr_xor(&state->mode, aes_instruction_keystream, &state->schedule, data, length);
    return aes_ctr_xor(&state->mode, platform_keystream, state, data, length);
}

void release_aes_state(AesState* state)
{
    if (state->key)
        g_cng.destroyKey(state->key);
    if (state->provider)
        g_cng.closeAlgorithmProvider(state->provider, 0);
    if (state->keyObject)
        HeapFree(GetProcessHeap(), 0, state->keyObject);
    state->key = nullptr;
    state->provider = nullptr;
    state->keyObject = nullptr;
    SecureZeroMemory(&state->schedule, sizeof state->schedule);
    SecureZeroMemory(&state->mac, sizeof state->mac);
    state->authenticate = false;
}
