// Growable buffers of 16-bit characters: the markup writers build long
// texts piece by piece in one and take it over as one NUL-terminated
// string.
#pragma once

#include <cstddef>
#include <cstdint>

struct Ustr_buf {
    uint32_t growStep; // as given at initialisation
    uint32_t nextStep; // the capacity the next growth asks for at least
    uint32_t capacity; // characters
    uint32_t length;   // characters
    char16_t *chars;   // owned until detached; not terminated while building
};

// Sets both steps to growStep and empties the buffer (nothing is freed).
void Ustr_bufInit(Ustr_buf *buffer, uint32_t growStep);

// Appends n characters: wide 1 copies 16-bit characters, wide 0 widens
// 8-bit characters up to the first NUL among the n. When the room left is
// below n + 1, the capacity becomes the larger of the next step and
// length + n + 1, and after that growth the next step doubles. 0; 1 when
// memory runs out or the length would leave 32 bits, the buffer unchanged.
int Ustr_bufAppendN(Ustr_buf *buffer, const void *source, size_t n, int wide);
int Ustr_bufAppend(Ustr_buf *buffer, const char16_t *source, size_t n);
int Ustr_bufAppendAscii(Ustr_buf *buffer, const char *source, size_t n);

// Hands the text over, terminated, in a block shrunk to length + 1
// characters (the larger block when the shrink fails); the caller frees it
// with Mem_free. The buffer is left empty and reusable, its next step back
// to the grow step. Null when the buffer never allocated.
char16_t *Ustr_bufDetach(Ustr_buf *buffer);

// As Ustr_bufDetach into *out, but an empty buffer hands over an empty
// string too: 0; 1 when memory runs out (*out null, the buffer unchanged).
[[nodiscard]] int Ustr_bufTake(Ustr_buf *buffer, char16_t **out);

// Frees the characters and empties the buffer as Ustr_bufDetach leaves
// it. Returns 0.
int Ustr_bufFree(Ustr_buf *buffer);
