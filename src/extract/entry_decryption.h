// Decryption of one entry for the pipeline: the password protocol between the threads of a
// job, the traditional encryption header, the WinZip AES set-up, and the chunk decryption.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "crypto/traditional_cipher.h"
#include "crypto/winzip_aes.h"

class ByteSource;
struct ArchiveHandle;
struct ExtractJob;

enum class PasswordOutcome { Obtained, Cancelled, Aborted };

// Makes sure that at most one thread of the archive's job shows the password dialog at a time,
// holding the archive's sharedState at -5 meanwhile. A thread that found another's dialog open
// waits for it and takes what it left, without asking. A positive sharedState (an abort code)
// ends the wait: Aborted, with that code as the job's result. A Cancel in the dialog stops the
// whole job as a Cancel in the overwrite dialog does: sharedState becomes 0x8020.
PasswordOutcome acquire_password(ExtractJob* job, ArchiveHandle* archive, const wchar_t* caption);

enum : int32_t { kNotEncrypted = 0, kTraditionalEncryption = 1, kAesEncryption = 2 };

struct EntryCipher {
    int32_t kind;                 // kNotEncrypted, kTraditionalEncryption or kAesEncryption
    uint32_t passwordGeneration;  // of the password the keys were made from
    union {
        TraditionalKeys keys;
        AesState aes;
    };
};

// The entry's compressed input, read by the encryption set-up and the transfer loop.
struct DecryptionContext {
    ByteSource* source;  // the thread's reader of the archive
    uint64_t position;   // where the next read from the archive begins
    uint8_t* buffer;     // the input buffer, 1 MiB
    uint64_t remaining;  // compressed bytes of the entry not yet read from the archive
    EntryCipher cipher;
    uint64_t codeOffset; // an authenticated AES entry: the position of its stored code
};

// Bytes of the input buffer not yet consumed.
struct ByteCursor {
    uint8_t* next;
    uint32_t available;
};

// Consumes the 12-byte encryption header of a traditionally encrypted entry from the cursor
// (reading what is missing from the archive), asks for the password when there is none, and
// keys the cipher. A header whose last byte is not checkByte means a wrong password: the
// result is then 0xFB01, as for a data error in an encrypted entry. Lowers the remaining count
// by 12. False with the job's result set on failure.
bool read_encryption_header(ExtractJob* job, DecryptionContext* input, ByteCursor* cursor, uint8_t checkByte);

// Sets up a WinZip AES entry (method 99) with the cursor at the local header's file name:
// finds the AES extra field, consumes name, extra field, salt and verification value, asks for
// the password until it matches, and makes the key. *method becomes the compression method of
// the decrypted data, and the remaining count leaves out salt, verifier and authentication
// code. Under verification the data are authenticated as they are decrypted, and codeOffset
// tells where the stored code lies. False with the job's result set on failure;
// release_entry_cipher is due either way.
bool setup_aes(ExtractJob* job, DecryptionContext* input, ByteCursor* cursor, uint32_t nameLength,
               uint32_t extraLength, uint16_t* method);

// Decrypts a chunk of entry data in place, in archive order; false when the platform's AES failed.
bool decrypt_entry_data(EntryCipher* cipher, uint8_t* data, uint32_t length);

// Whether an entry's data are authenticated: an AES entry under verification.
inline bool entry_authenticated(const EntryCipher& cipher)
{
    return cipher.kind == kAesEncryption && cipher.aes.authenticate;
}

// Reads an authenticated entry's stored code, once every byte of its data went through
// decrypt_entry_data, and compares it: 1 it matches, 0 it does not, -1 it could not be read
// (the platform's last error says why; ERROR_HANDLE_EOF when the archive ends first).
int entry_code_matches(DecryptionContext* input);

void release_entry_cipher(EntryCipher* cipher);
