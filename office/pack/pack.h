// The little-endian record codec: format strings lay values out into byte
// buffers and take them apart again.
//
// A format (PackFormat) is a NUL-terminated string of items, each an
// optional decimal repeat count and a letter: c (8 bits), s (16 bits) or l
// (32 bits), always little-endian, never aligned or padded. Both functions
// return the number of bytes they covered, so that callers chain them
// (buffer + result) and size records from the result.
#pragma once

#include <cstdint>

typedef const char *PackFormat;

// Writes the values that follow the format into buffer: each value is a
// 32-bit argument (8- and 16-bit values passed widened), a count of n takes
// n of them, and a count of 0 writes nothing and takes none. "*x" takes a
// count and a pointer to an array of that many elements of x's width and
// copies them. The bytes written, or -1 at the first letter that is not c,
// s or l (a count with no letter after it included); what was written
// before stays written.
int Pack_write(uint8_t *buffer, PackFormat format, ...);

// Reads values from buffer into the variables the pointers that follow the
// format name, one pointer per value, each to a variable of the letter's
// width (uint8_t, uint16_t, uint32_t). A count of 0, like no count, reads
// one value; there is no "*" form. The bytes consumed, or -1 at the first
// letter that is not c, s or l.
int Pack_read(const uint8_t *buffer, PackFormat format, ...);
