// Signed 128-bit products, sums and shifts over two 64-bit halves.
//
// All arithmetic on the halves is unsigned, so it wraps instead of
// overflowing; the signed high half is converted from the unsigned result,
// which C++20 defines as modulo 2^64.
#include "core/geom/int128.h"

// Unsigned 64 x 64 -> 128 product from four 32 x 32 partial products.
static void mulU64(uint64_t a, uint64_t b, uint64_t *hi, uint64_t *lo)
{
    uint64_t aLo = a & 0xFFFFFFFFu, aHi = a >> 32;
    uint64_t bLo = b & 0xFFFFFFFFu, bHi = b >> 32;
    uint64_t ll = aLo * bLo;
    uint64_t lh = aLo * bHi;
    uint64_t hl = aHi * bLo;
    uint64_t hh = aHi * bHi;
    // The middle column: cannot overflow (three values below 2^32 each).
    uint64_t mid = (ll >> 32) + (lh & 0xFFFFFFFFu) + (hl & 0xFFFFFFFFu);
    *lo = (ll & 0xFFFFFFFFu) | (mid << 32);
    *hi = hh + (lh >> 32) + (hl >> 32) + (mid >> 32);
}

Int128 Int128_mul64(int64_t a, int64_t b)
{
    uint64_t ua = static_cast<uint64_t>(a), ub = static_cast<uint64_t>(b);
    uint64_t hi, lo;
    mulU64(ua, ub, &hi, &lo);
    // Reading a negative factor as unsigned adds 2^64 to it, which adds the
    // other factor times 2^64 to the product: take that back from the top.
    if (a < 0)
        hi -= ub;
    if (b < 0)
        hi -= ua;
    return Int128{lo, static_cast<int64_t>(hi)};
}

Int128 Int128_add(Int128 a, Int128 b)
{
    uint64_t lo = a.lo + b.lo;
    uint64_t carry = lo < a.lo ? 1 : 0;
    uint64_t hi = static_cast<uint64_t>(a.hi) + static_cast<uint64_t>(b.hi) + carry;
    return Int128{lo, static_cast<int64_t>(hi)};
}

Int128 Int128_shr(Int128 v, unsigned n)
{
    n &= 127;
    if (n == 0)
        return v;
    if (n >= 64) {
        // C++20 defines >> of a negative value as an arithmetic shift.
        int64_t sign = v.hi >> 63;
        return Int128{static_cast<uint64_t>(v.hi >> (n - 64)), sign};
    }
    uint64_t lo = (v.lo >> n) | (static_cast<uint64_t>(v.hi) << (64 - n));
    return Int128{lo, v.hi >> n};
}

int64_t Int128_low64(Int128 v)
{
    return static_cast<int64_t>(v.lo);
}
