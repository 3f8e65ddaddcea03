// Counter-mode decryption of WinZip AES entry data on the CPU's AES instructions, or on the
// platform's cryptography library (bcrypt.dll, loaded on first use) where the CPU has none.
#pragma once
#include <windows.h>
#include <bcrypt.h>
#include <stdint.h>

#include "crypto/aes_ctr.h"
#include "crypto/pbkdf2_sha1.h"

// The entry points of bcrypt.dll, resolved once per process.
struct CngFunctions {
    decltype(&BCryptOpenAlgorithmProvider) openAlgorithmProvider;
    decltype(&BCryptEncrypt) encrypt;
    decltype(&BCryptSetProperty) setProperty;
    decltype(&BCryptGetProperty) getProperty;
    decltype(&BCryptCloseAlgorithmProvider) closeAlgorithmProvider;
    decltype(&BCryptDestroyKey) destroyKey;
    decltype(&BCryptGenerateSymmetricKey) generateSymmetricKey;
};

// Loads bcrypt.dll and resolves its entry points on the first call of the process; null when
// that failed, then and on every later call (the load is not tried again).
const CngFunctions* cng_functions();

// One entry's AES: the key schedule for the CPU's instructions, or the platform's key, and
// the counter mode's state.
struct AesState {
    AesKeySchedule schedule;
    AesCounterMode mode;
    bool useInstructions;
    BCRYPT_ALG_HANDLE provider;  // the platform's AES, only without the CPU's instructions
    BCRYPT_KEY_HANDLE key;
    uint8_t* keyObject;          // from the process heap, owned by key
    bool authenticate;           // the encrypted bytes go through mac before they are decrypted
    HmacSha1 mac;
};

// Makes the key (16, 24 or 32 bytes) and starts the counter at 1, with the CPU's instructions
// or with the platform's AES in ECB mode. False on failure; release_aes_state cleans up either way.
bool start_aes_state(AesState* state, const uint8_t* key, uint32_t keyLength, bool useInstructions);

// From now on the encrypted bytes are authenticated with the key (as long as the cipher's).
void start_aes_authentication(AesState* state, const uint8_t* key, uint32_t keyLength);

// True when the first bytes of the HMAC-SHA1 of every byte decrypted match the entry's stored
// authentication code (kAesAuthenticationSize bytes).
bool aes_code_matches(AesState* state, const uint8_t* stored);

// Decrypts length bytes in place. False when the platform's encryption failed ("Decrypt
// failed: 0x%x" with its status goes to the process's standard output).
bool decrypt_aes_state(AesState* state, uint8_t* data, uint32_t length);

// Frees what start_aes_state made; safe on a state that was zeroed or started halfway.
void release_aes_state(AesState* state);
