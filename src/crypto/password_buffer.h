// The process-wide password: one NUL-terminated byte string of at most 1023 bytes, used as
// stored, empty when the library is loaded. Every access holds a process-wide lock, so that
// no thread sees a password half-written.
#pragma once
#include <stddef.h>
#include <stdint.h>

constexpr size_t kPasswordSize = 1024;

// Replaces the password (cut to kPasswordSize - 1 bytes).
void store_password(const char* password);

// Copies the password into out (kPasswordSize bytes) and returns its generation, a number
// that changes with every store.
uint32_t copy_password(char* out);

// Empties the password buffer, unless it has been replaced since the copy that returned
// generation: a thread that found its password wrong does not wipe the one another thread has
// just been given.
void forget_password(uint32_t generation);
