#include "crypto/aes_extra_field.h"

#include "archive/zip_format.h"

bool find_aes_extra_field(const uint8_t* extra, uint32_t length, AesExtraField* found)
{
    bool any = false;
    uint32_t at = 0;
    while (length - at >= 4) {
        const uint16_t id = read_u16(extra + at);
        const uint32_t size = read_u16(extra + at + 2);
        const uint32_t left = length - at - 4;
        if (id == 0x9901 && size >= 7 && size <= left && extra[at + 6] == 'A' && extra[at + 7] == 'E') {
            found->strength = extra[at + 8];
            found->method = read_u16(extra + at + 9);
            any = true;
        }
        if (left < size)
            break;
        at += 4 + size;
    }
    return any;
}

uint32_t aes_salt_length(uint8_t strength)
{
    return strength >= 1 && strength <= 3 ? 4u + 4u * strength : 0;
}
