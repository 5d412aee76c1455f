// Signed 128-bit integers for the exact products of wide matrices.
//
// The higher-precision matrix (core/geom/matrix.h) multiplies 64-bit 32.32
// entries by 32-bit 16.16 entries and sums two such products before it
// shifts them down; that needs 97 bits. These few operations give exactly
// that, in portable C++ (two 64-bit halves, arithmetic modulo 2^128), so no
// compiler extension is needed.
#pragma once

#include <cstdint>

// Two's complement value hi * 2^64 + lo.
struct Int128 {
    uint64_t lo;
    int64_t hi;
};

// The exact signed product a * b.
Int128 Int128_mul64(int64_t a, int64_t b);

// a + b, wrapping modulo 2^128.
Int128 Int128_add(Int128 a, Int128 b);

// v shifted right arithmetically by n bits (n from 0 to 127; the sign is
// copied in from the top); rounds toward negative infinity.
Int128 Int128_shr(Int128 v, unsigned n);

// The low 64 bits of v as a signed value (v modulo 2^64).
int64_t Int128_low64(Int128 v);
