// AES encryption of blocks with the CPU's own instructions (AES-NI on x64, the ARMv8
// cryptography extension on 64-bit ARM), and the counter mode of WinZip AES on top of any
// block encryption.
#pragma once
#include <stdint.h>

#include "crypto/cpu_features.h"

constexpr uint32_t kAesBlockSize = 16;

struct AesKeySchedule {
    alignas(16) uint8_t roundKeys[15 * kAesBlockSize];
    uint32_t rounds;  // 10, 12 or 14
};

// Expands a key of 16, 24 or 32 bytes; false for any other length.
bool aes_expand_key(const uint8_t* key, uint32_t keyLength, AesKeySchedule* schedule);

// Encrypts blocks 16-byte blocks in place (ECB) with the CPU's instructions. Only to be called
// when cpu_has_aes_instructions() is true.
void aes_encrypt_blocks(const AesKeySchedule* schedule, uint8_t* data, uint32_t blocks);

// Writes blocks keystream blocks of WinZip AES's counter mode: block k is the encryption of the
// 16-byte little-endian number counter + k. Returns false when the encryption failed.
typedef bool (*KeystreamFunction)(void* context, uint64_t counter, uint8_t* out, uint32_t blocks);

// The same with the CPU's instructions; context is the AesKeySchedule.
bool aes_instruction_keystream(void* context, uint64_t counter, uint8_t* out, uint32_t blocks);

// Writes the counter blocks counter .. counter + blocks - 1 to out.
void write_counter_blocks(uint64_t counter, uint8_t* out, uint32_t blocks);

constexpr uint32_t kKeystreamBlocks = 32;  // made at a time

// Counter mode as WinZip AES uses it: the first block's counter is 1, and keystream bytes left
// over at the end of one call serve the next.
struct AesCounterMode {
    uint64_t counter;  // the counter of the next keystream block to make
    uint32_t unused;   // bytes at the end of keystream not yet used
    uint8_t keystream[kKeystreamBlocks * kAesBlockSize];
};

void aes_ctr_start(AesCounterMode* mode);

// XORs length bytes at data with the next keystream bytes, made by make(context, ...).
// Splitting data into chunks of any sizes gives the same bytes. False when make failed.
bool aes_ctr_xor(AesCounterMode* mode, KeystreamFunction make, void* context, uint8_t* data, uint32_t length);
