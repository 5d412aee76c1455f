// The RC4 stream cipher, as the standard PDF security handler uses it.
#pragma once

#include <cstddef>
#include <cstdint>

struct Rc4 {
    uint8_t s[256];
    uint8_t i, j;
};

// Keys the state with length bytes of key (1 to 256).
void Rc4_init(const uint8_t *key, size_t length, Rc4 *state);
// XORs length bytes in place with the key stream, continuing it.
void Rc4_crypt(uint8_t *data, size_t length, Rc4 *state);
