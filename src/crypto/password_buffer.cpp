#include "crypto/password_buffer.h"

#include <windows.h>
#include <string.h>

namespace {

SRWLOCK g_lock = SRWLOCK_INIT;
char g_password[kPasswordSize];  // zero when the module is loaded
uint32_t g_generation;

}  // namespace

void store_password(const char* password)
{
    AcquireSRWLockExclusive(&g_lock);
    lstrcpynA(g_password, password, kPasswordSize);
    ++g_generation;
    ReleaseSRWLockExclusive(&g_lock);
}

uint32_t copy_password(char* out)
{
    AcquireSRWLockShared(&g_lock);
    memcpy(out, g_password, kPasswordSize);
    const uint32_t generation = g_generation;
    ReleaseSRWLockShared(&g_lock);
    return generation;
}

void forget_password(uint32_t generation)
{
    AcquireSRWLockExclusive(&g_lock);
    if (generation == g_generation) {
        SecureZeroMemory(g_password, kPasswordSize);
        ++g_generation;
    }
    ReleaseSRWLockExclusive(&g_lock);
}
