// RC4: the key schedule and the key stream.
#include "pdf/rc4.h"

void Rc4_init(const uint8_t *key, size_t length, Rc4 *state)
{
    for (int k = 0; k < 256; k++)
        state->s[k] = uint8_t(k);
    uint8_t j = 0;
    for (int k = 0; k < 256; k++) {
        j = uint8_t(j + state->s[k] + key[size_t(k) % length]);
        uint8_t t = state->s[k];
        state->s[k] = state->s[j];
        state->s[j] = t;
    }
    state->i = 0;
    state->j = 0;
}

void Rc4_crypt(uint8_t *data, size_t length, Rc4 *state)
{
    uint8_t i = state->i, j = state->j;
    uint8_t *s = state->s;
    for (size_t n = 0; n < length; n++) {
        i = uint8_t(i + 1);
        j = uint8_t(j + s[i]);
        uint8_t t = s[i];
        s[i] = s[j];
        s[j] = t;
        data[n] ^= s[uint8_t(s[i] + s[j])];
    }
    state->i = i;
    state->j = j;
}
