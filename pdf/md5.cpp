// MD5 as RFC 1321 describes it: 64-byte blocks, four rounds of sixteen
// steps, the length in bits appended little-endian.
#include "pdf/md5.h"

#include <cstring>

#include "core/stream/bytestream.h"

namespace {

constexpr uint32_t sines[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

constexpr uint8_t shifts[64] = {
    7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 5,  9,  14, 20, 5,  9,
    14, 20, 5,  9,  14, 20, 5,  9,  14, 20, 4,  11, 16, 23, 4,  11, 16, 23, 4,  11, 16, 23,
    4,  11, 16, 23, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21,
};

uint32_t rotl(uint32_t x, int n)
{
    return (x << n) | (x >> (32 - n));
}

void transform(uint32_t state[4], const uint8_t block[64])
{
    uint32_t m[16];
    for (int k = 0; k < 16; k++)
        m[k] = Bytes_peekU32Le(block + 4 * k);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int k = 0; k < 64; k++) {
        uint32_t f;
        int g;
        if (k < 16) {
            f = (b & c) | (~b & d);
            g = k;
        } else if (k < 32) {
            f = (d & b) | (~d & c);
            g = (5 * k + 1) % 16;
        } else if (k < 48) {
            f = b ^ c ^ d;
            g = (3 * k + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            g = (7 * k) % 16;
        }
        uint32_t t = d;
        d = c;
        c = b;
        b = b + rotl(a + f + sines[k] + m[g], shifts[k]);
        a = t;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

} // namespace

void Md5_init(Md5 *md5)
{
    md5->state[0] = 0x67452301;
    md5->state[1] = 0xefcdab89;
    md5->state[2] = 0x98badcfe;
    md5->state[3] = 0x10325476;
    md5->bytes = 0;
}

void Md5_update(Md5 *md5, const void *data, size_t length)
{
    const uint8_t *p = static_cast<const uint8_t *>(data);
    size_t fill = size_t(md5->bytes % 64);
    md5->bytes += length;
    while (length) {
        size_t n = 64 - fill < length ? 64 - fill : length;
        memcpy(md5->block + fill, p, n);
        fill += n;
        p += n;
        length -= n;
        if (fill == 64) {
            transform(md5->state, md5->block);
            fill = 0;
        }
    }
}

void Md5_final(Md5 *md5, uint8_t digest[16])
{
    uint64_t bits = md5->bytes * 8;
    static constexpr uint8_t pad[64] = {0x80};
    size_t fill = size_t(md5->bytes % 64);
    Md5_update(md5, pad, fill < 56 ? 56 - fill : 120 - fill);
    uint8_t length[8];
    for (int k = 0; k < 8; k++)
        length[k] = uint8_t(bits >> (8 * k));
    Md5_update(md5, length, 8);
    for (int k = 0; k < 4; k++)
        for (int b = 0; b < 4; b++)
            digest[4 * k + b] = uint8_t(md5->state[k] >> (8 * b));
}

void Md5_digest(uint8_t digest[16], const void *data, size_t length)
{
    Md5 md5;
    Md5_init(&md5);
    Md5_update(&md5, data, length);
    Md5_final(&md5, digest);
}
