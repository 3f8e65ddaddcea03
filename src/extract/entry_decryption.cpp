#include "extract/entry_decryption.h"

#include <string.h>

#include "archive/archive_handle.h"
#include "archive/archive_locate.h"
#include "core/desktop.h"
#include "core/extract_job.h"
#include "crypto/aes_extra_field.h"
#include "crypto/password_buffer.h"
#include "crypto/pbkdf2_sha1.h"
#include "extract/extract_entry.h"
#include "extract/job_messages.h"
#include "ui/password_dialog.h"
#include "varno_results.h"

namespace {

constexpr LONG kPasswordDialogOpen = -5;
constexpr DWORD kPollMs = 100;

// Makes need bytes available at the cursor with one read from the archive, moving the few
// bytes still there to the buffer's start first. False (with a last error) when it falls short.
bool top_up(DecryptionContext* input, ByteCursor* cursor, uint32_t need)
{
    if (cursor->available >= need)
        return true;
    memmove(input->buffer, cursor->next, cursor->available);
    cursor->next = input->buffer;
    const int64_t got = input->source->read_at(input->position, input->buffer + cursor->available, need - cursor->available);
    if (got < 0)
        return false;
    input->position += static_cast<uint64_t>(got);
    cursor->available += static_cast<uint32_t>(got);
    if (cursor->available < need) {
        SetLastError(ERROR_HANDLE_EOF);
        return false;
    }
    return true;
}

void consume(ByteCursor* cursor, uint32_t count)
{
    cursor->next += count;
    cursor->available -= count;
}

bool header_read_failed(ExtractJob* job)
{
    job_message(job, 0, L"Archive read error %d", static_cast<int>(GetLastError()));
    job->sink.result = VARNO_ERROR_ARCHIVE_OPEN;
    return false;
}

// PBKDF2-HMAC-SHA1 (1000 iterations) until the verification value matches: "password
// unmatch", then the dialog again, for as long as the user gives passwords. Then the AES key
// from the derived bytes.
bool derive_aes_key(ExtractJob* job, EntryCipher* cipher, const uint8_t* saltAndVerifier, uint32_t saltLength)
{
    char password[kPasswordSize];
    uint32_t generation = copy_password(password);
    bool ask = password[0] == 0;
    const uint32_t derivedLength = 4 * saltLength + kAesVerifierSize;
    uint8_t derived[4 * 16 + kAesVerifierSize];
    bool matched = false;
    for (;;) {
        if (ask) {
            const PasswordOutcome outcome = acquire_password(job, job->archive, L"");
            if (outcome == PasswordOutcome::Cancelled)
                job->sink.result = VARNO_ERROR_CANCELLED;
            if (outcome != PasswordOutcome::Obtained)
                break;
            generation = copy_password(password);
        }
        pbkdf2_hmac_sha1(reinterpret_cast<const uint8_t*>(password), strlen(password), saltAndVerifier, saltLength,
                         1000, derived, derivedLength);
        if (derived[4 * saltLength] == saltAndVerifier[saltLength] &&
            derived[4 * saltLength + 1] == saltAndVerifier[saltLength + 1]) {
            matched = true;
            break;
        }
        // Without a usable desktop nobody can read the box (and it would never return); the
        // dialog that follows is then cancelled.
        if (desktop_usable())
            MessageBoxW(nullptr, L"password unmatch", nullptr, MB_OK);
        ask = true;
    }
    SecureZeroMemory(password, sizeof password);
    bool keyed = false;
    if (matched) {
        cipher->passwordGeneration = generation;
        keyed = start_aes_state(&cipher->aes, derived, 2 * saltLength, cpu_has_aes_instructions());
        if (!keyed)
            job->sink.result = VARNO_ERROR_ARCHIVE_OPEN;
        else if (job->archive->options.verifyMode != kVerifyOff)
            start_aes_authentication(&cipher->aes, derived + 2 * saltLength, 2 * saltLength);
    }
    SecureZeroMemory(derived, sizeof derived);
    return keyed;
}

}  // namespace

PasswordOutcome acquire_password(ExtractJob* job, ArchiveHandle* archive, const wchar_t* caption)
{
    bool show = true;
    for (;;) {
        const LONG previous = InterlockedCompareExchange(&archive->sharedState, kPasswordDialogOpen, 0);
        if (previous == 0)
            break;
        if (previous > 0) {
            job->sink.result = previous;
            return PasswordOutcome::Aborted;
        }
        if (previous == kPasswordDialogOpen)
            show = false;
        Sleep(kPollMs);
    }
    const INT_PTR answer = show ? show_password_dialog(caption) : 1;
    InterlockedCompareExchange(&archive->sharedState, answer > 0 ? 0 : VARNO_ERROR_CANCELLED, kPasswordDialogOpen);
    return answer > 0 ? PasswordOutcome::Obtained : PasswordOutcome::Cancelled;
}

bool read_encryption_header(ExtractJob* job, DecryptionContext* input, ByteCursor* cursor, uint8_t checkByte)
{
    // An entry too short for its header fails like a header cut off by the archive's end.
    if (input->remaining < kEncryptionHeaderSize) {
        SetLastError(ERROR_HANDLE_EOF);
        return header_read_failed(job);
    }
    if (!top_up(input, cursor, kEncryptionHeaderSize))
        return header_read_failed(job);
    uint8_t header[kEncryptionHeaderSize];
    memcpy(header, cursor->next, kEncryptionHeaderSize);
    consume(cursor, kEncryptionHeaderSize);
    input->remaining -= kEncryptionHeaderSize;

    char password[kPasswordSize];
    uint32_t generation = copy_password(password);
    if (password[0] == 0) {
        const PasswordOutcome outcome = acquire_password(job, job->archive, job->archive->path);
        if (outcome == PasswordOutcome::Cancelled) {
            job_message(job, 0, L"user cancel");
            job->sink.result = VARNO_ERROR_CANCELLED;
        }
        if (outcome != PasswordOutcome::Obtained)
            return false;
        generation = copy_password(password);
    }
    input->cipher.passwordGeneration = generation;
    const uint8_t last = key_encryption_header(&input->cipher.keys, password, header);
    SecureZeroMemory(password, sizeof password);
    if (last != checkByte) {
        job->sink.result = kResultWrongPassword;
        return false;
    }
    return true;
}

bool setup_aes(ExtractJob* job, DecryptionContext* input, ByteCursor* cursor, uint32_t nameLength,
               uint32_t extraLength, uint16_t* method)
{
    EntryCipher* cipher = &input->cipher;
    memset(&cipher->aes, 0, sizeof cipher->aes);
    if (!top_up(input, cursor, nameLength + extraLength))
        return header_read_failed(job);
    AesExtraField field;
    // The platform's AES serves only where the CPU has no AES instructions.
    if (!find_aes_extra_field(cursor->next + nameLength, extraLength, &field) ||
        (!cpu_has_aes_instructions() && !cng_functions()))
        return header_read_failed(job);
    consume(cursor, nameLength + extraLength);
    *method = field.method;
    cipher->kind = kAesEncryption;

    const uint32_t saltLength = aes_salt_length(field.strength);
    if (saltLength == 0) {
        job_message(job, 0, L"encrypt_bits error %d", static_cast<int>(GetLastError()));
        job->sink.result = VARNO_ERROR_ARCHIVE_OPEN;
        return false;
    }
    const uint32_t headerLength = saltLength + kAesVerifierSize;
    if (input->remaining < headerLength + kAesAuthenticationSize) {
        SetLastError(ERROR_HANDLE_EOF);
        return header_read_failed(job);
    }
    if (!top_up(input, cursor, headerLength))
        return header_read_failed(job);
    uint8_t saltAndVerifier[16 + kAesVerifierSize];
    memcpy(saltAndVerifier, cursor->next, headerLength);
    consume(cursor, headerLength);
    input->remaining -= headerLength + kAesAuthenticationSize;
    // The data begin at the cursor, whose bytes the reading position has passed already.
    input->codeOffset = input->position - cursor->available + input->remaining;
    return derive_aes_key(job, cipher, saltAndVerifier, saltLength);
}

bool decrypt_entry_data(EntryCipher* cipher, uint8_t* data, uint32_t length)
{
    if (cipher->kind == kTraditionalEncryption)
        decrypt_traditional(&cipher->keys, data, length);
    else if (cipher->kind == kAesEncryption)
        return decrypt_aes_state(&cipher->aes, data, length);
    return true;
}

int entry_code_matches(DecryptionContext* input)
{
    uint8_t stored[kAesAuthenticationSize];
    const int64_t got = input->source->read_at(input->codeOffset, stored, sizeof stored);
    if (got < 0)
        return -1;
    if (got < static_cast<int64_t>(sizeof stored)) {
        SetLastError(ERROR_HANDLE_EOF);
        return -1;
    }
    return aes_code_matches(&input->cipher.aes, stored) ? 1 : 0;
}

void release_entry_cipher(EntryCipher* cipher)
{
    if (cipher->kind == kAesEncryption)
        release_aes_state(&cipher->aes);
    cipher->kind = kNotEncrypted;
}
