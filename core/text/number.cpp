// Number conversion, random numbers and search.
//
// Integers are read in unsigned 32-bit arithmetic, so the wrap-around that
// negation relies on is defined. Decimal numbers are accumulated as
// negative values (value × 10 - digit) and the sign is applied at the end,
// as the engine always has; two guards keep that accumulation finite on
// absurdly long input. The random generator is Park-Miller's minimal
// standard generator with Schrage's factorisation; its seed lives in the
// engine instance.
#include "core/text/number.h"

#include <cmath>
#include <cstring>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/text/cstr.h"
#include "core/host/hostservices.h"

namespace {

inline unsigned byteAt(const char *p)
{
    return static_cast<unsigned char>(*p);
}

inline bool isSpace(const char *p)
{
    return Char_classTable[byteAt(p) + 128] & Char_space;
}

inline bool isDigit(const char *p)
{
    return Char_classTable[byteAt(p) + 128] & Char_digit;
}

// The value of a digit or letter for bases up to 36; 99 for anything else.
// Letters of Latin-1 have class bits too, but their values (c - 55 or
// c - 87 of the unsigned byte) are far above any base.
unsigned digitValue(const char *p)
{
    unsigned c = byteAt(p);
    uint8_t cls = Char_classTable[c + 128];
    if (cls & Char_digit)
        return c - '0';
    if (cls & Char_upper)
        return c - 55;
    if (cls & Char_lower)
        return c - 87;
    return 99;
}

// The shared reader of Std_strtol and Std_strtoul: *negative tells whether
// '-' was seen; *overflow whether the value passed the limit for the sign.
uint32_t readInteger(const char *text, const char **end, int base, bool isUnsigned)
{
    const char *p = text;
    while (isSpace(p))
        p++;
    bool negative = false;
    if (*p == '-') {
        negative = true;
        p++;
    } else if (*p == '+') {
        p++;
    }
    if ((base == 16 || base == 0) && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        p += 2;
        base = 16;
    } else if (base == 0) {
        base = *p == '0' ? 8 : 10;
    }
    uint32_t limit = isUnsigned ? 0xFFFFFFFFu : (negative ? 0x80000000u : 0x7FFFFFFFu);
    uint32_t acc = 0;
    bool any = false, overflow = false;
    if (base >= 2 && base <= 36) {
        uint32_t b = static_cast<uint32_t>(base);
        uint32_t cutoff = limit / b, cutlim = limit % b;
        for (unsigned d; (d = digitValue(p)) < b; p++) {
            any = true;
            if (overflow)
                continue;
            if (acc > cutoff || (acc == cutoff && d > cutlim))
                overflow = true;
            else
                acc = acc * b + d;
        }
    }
    if (end)
        *end = any ? p : text;
    if (overflow)
        return limit;
    return negative ? 0u - acc : acc;
}

// The accumulation shared by Std_strtod and Std_atof: sign, digits, '.'
// and fraction digits. Fraction digits stop counting once the divisor or
// the value reaches 1e300: without that guard a long fraction made both
// infinite and the result NaN.
double accumulate(const char *p, const char **stop, bool skipZeros)
{
    bool negative = false;
    if (*p == '-') {
        negative = true;
        p++;
    } else if (*p == '+') {
        p++;
    }
    if (skipZeros) {
        while (*p == '0')
            p++;
    }
    double value = -0.0; // so that a zero without '-' comes out as +0.0
    double divisor = 1.0;
    for (; isDigit(p); p++)
        value = value * 10.0 - (*p - '0');
    if (*p == '.') {
        for (p++; isDigit(p); p++) {
            if (divisor < 1e300 && value > -1e300) {
                value = value * 10.0 - (*p - '0');
                divisor *= 10.0;
            }
        }
    }
    *stop = p;
    double r = value / divisor;
    return negative ? r : -r;
}

constexpr int32_t parkMillerM = 2147483647;

} // namespace

int Std_abs(int v)
{
    return v < 0 ? static_cast<int>(0u - static_cast<unsigned>(v)) : v;
}

int32_t Std_strtol(const char *text, const char **end, int base)
{
    return static_cast<int32_t>(readInteger(text, end, base, false));
}

uint32_t Std_strtoul(const char *text, const char **end, int base)
{
    return readInteger(text, end, base, true);
}

int32_t Std_atoi(const char *text)
{
    return Std_strtol(text, nullptr, 10);
}

int32_t Std_atol(const char *text)
{
    return Std_strtol(text, nullptr, 10);
}

double Std_strtod(const char *text, const char **end)
{
    if (!text) {
        if (end)
            *end = nullptr;
        return 0.0;
    }
    const char *stop;
    double v = accumulate(text, &stop, true);
    if (end)
        *end = *stop ? stop : nullptr;
    return v;
}

double Std_atof(const char *text)
{
    if (!text)
        return 0.0;
    const char *p;
    double mantissa = accumulate(text, &p, false);
    if (*p != 'e' && *p != 'E')
        return mantissa;
    double exponent = accumulate(p + 1, &p, false);
    // Zero stays zero: 0 × 10^400 would otherwise be 0 × inf, a NaN.
    if (mantissa == 0)
        return mantissa;
    return mantissa * pow(10.0, exponent);
}

char *Std_itoa(int32_t value, char *dst, int radix)
{
    if (radix < 2 || radix > 36)
        radix = 10;
    char area[49];
    char *p = area + sizeof area;
    *--p = 0;
    int32_t v = value;
    do {
        int r = v % radix; // negative for negative values
        *--p = "0123456789abcdefghijklmnopqrstuvwxyz"[r < 0 ? -r : r];
        v /= radix;
    } while (v);
    if (value < 0)
        *--p = '-';
    memcpy(dst, p, static_cast<size_t>(area + sizeof area - p));
    return dst;
}

int Std_rand()
{
    EngineInstance *instance = Host_getThreadContext();
    uint32_t seed = instance ? instance->randSeed : 1;
    seed %= static_cast<uint32_t>(parkMillerM);
    if (seed == 0) {
        int64_t ms = AlienTimer_getMs(instance->host);
        seed = static_cast<uint32_t>(static_cast<uint64_t>(ms) % parkMillerM);
        // 0 is the generator's fixed point: it would give 0 for ever.
        if (seed == 0)
            seed = 1;
    }
    int32_t s = static_cast<int32_t>(seed);
    int32_t hi = s / 127773;
    int32_t lo = s % 127773;
    int32_t t = 16807 * lo - 2836 * hi;
    if (t < 0)
        t += parkMillerM;
    if (instance)
        instance->randSeed = static_cast<uint32_t>(t);
    return t & 0x7FFF;
}

void Std_srand(uint32_t seed)
{
    if (EngineInstance *instance = Host_getThreadContext())
        instance->randSeed = seed;
}

void *Std_bsearch(const void *key, const void *base, size_t count, size_t size,
                  int (*compare)(const void *key, const void *element))
{
    const char *start = static_cast<const char *>(base);
    size_t n = count;
    while (n) {
        const char *probe = start + (n / 2) * size;
        int c = compare(key, probe);
        if (c == 0)
            return const_cast<char *>(probe);
        if (c > 0) {
            start = probe + size;
            n = n - n / 2 - 1;
        } else {
            n = n / 2;
        }
    }
    return nullptr;
}

double Std_difftime(int64_t a, int64_t b)
{
    if (a >= b)
        return static_cast<double>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
    return -static_cast<double>(static_cast<uint64_t>(b) - static_cast<uint64_t>(a));
}

int32_t Fixed_mul(int32_t a, int32_t b)
{
    return int32_t((int64_t(a) * b) >> 16);
}

double Double_mean(const double *values, int32_t n)
{
    double sum = 0.0;
    for (int32_t i = 0; i < n; i++)
        sum += values[i];
    return sum / double(n);
}

int32_t Fixed_mulPercent(int32_t v, int32_t percent)
{
    if (percent == 0)
        return 0;
    if (percent == 6553600)
        return v;
    bool negative = (v < 0) != (percent < 0);
    uint64_t mv =
        v < 0 ? 0u - static_cast<uint64_t>(static_cast<int64_t>(v)) : static_cast<uint64_t>(v);
    uint64_t mp = percent < 0 ? 0u - static_cast<uint64_t>(static_cast<int64_t>(percent))
                              : static_cast<uint64_t>(percent);
    uint32_t r = static_cast<uint32_t>((mv * mp + 3276800) / 6553600);
    return static_cast<int32_t>(negative ? 0u - r : r);
}

uint32_t Math_floorPow2(uint32_t v)
{
    if (v == 0)
        return 1;
    return 1u << (31 - __builtin_clz(v));
}

uint32_t Bits_popCount(uint32_t word)
{
    return uint32_t(__builtin_popcount(word));
}

uint32_t Bits_floorLog2(uint32_t x)
{
    // Smear the highest bit downwards: the number of ones is then its
    // position plus one.
    x |= x >> 1;
    x |= x >> 2;
    x |= x >> 4;
    x |= x >> 8;
    x |= x >> 16;
    return x ? Bits_popCount(x) - 1 : 0;
}

int32_t Units_pointsToLength(int32_t points)
{
    // Halved by a shift, not a division, so negative sizes round the same
    // way as positive ones instead of towards zero.
    return int32_t((int64_t(points) * 65536 / 36 + 1) >> 1);
}

int32_t Units_lengthToPoints(int32_t length)
{
    return int32_t((int64_t(length) * 72 + 72) >> 16);
}
