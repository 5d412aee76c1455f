// The little-endian record codec.
#include "office/pack/pack.h"

#include <cstdarg>

namespace {

// The byte width of a letter, 0 for anything else.
int widthOf(char letter)
{
    switch (letter) {
    case 'c': return 1;
    case 's': return 2;
    case 'l': return 4;
    default: return 0;
    }
}

void store(uint8_t *p, uint32_t value, int width)
{
    for (int i = 0; i < width; i++)
        p[i] = uint8_t(value >> (8 * i));
}

uint32_t load(const uint8_t *p, int width)
{
    uint32_t v = 0;
    for (int i = 0; i < width; i++)
        v |= uint32_t(p[i]) << (8 * i);
    return v;
}

// Reads an optional decimal count at *f; *digits tells whether there was one.
uint32_t readCount(const char **f, bool *digits)
{
    uint32_t n = 0;
    *digits = false;
    while (**f >= '0' && **f <= '9') {
        n = n * 10 + uint32_t(**f - '0');
        (*f)++;
        *digits = true;
    }
    return n;
}

} // namespace

int Pack_write(uint8_t *buffer, PackFormat format, ...)
{
    va_list args;
    va_start(args, format);
    uint8_t *p = buffer;
    const char *f = format;
    int result = 0;
    while (*f) {
        if (*f == '*') {
            int width = widthOf(f[1]);
            if (!width) {
                result = -1;
                break;
            }
            f += 2;
            uint32_t count = va_arg(args, uint32_t);
            const void *array = va_arg(args, const void *);
            for (uint32_t i = 0; i < count; i++) {
                uint32_t v = width == 1   ? static_cast<const uint8_t *>(array)[i]
                             : width == 2 ? static_cast<const uint16_t *>(array)[i]
                                          : static_cast<const uint32_t *>(array)[i];
                store(p, v, width);
                p += width;
            }
            continue;
        }
        bool digits = false;
        uint32_t count = readCount(&f, &digits);
        int width = widthOf(*f);
        if (!width) {
            result = -1;
            break;
        }
        f++;
        if (!digits)
            count = 1;
        for (uint32_t i = 0; i < count; i++) {
            store(p, va_arg(args, uint32_t), width);
            p += width;
        }
    }
    va_end(args);
    return result < 0 ? result : int(p - buffer);
}

int Pack_read(const uint8_t *buffer, PackFormat format, ...)
{
    va_list args;
    va_start(args, format);
    const uint8_t *p = buffer;
    const char *f = format;
    int result = 0;
    while (*f) {
        bool digits = false;
        uint32_t count = readCount(&f, &digits);
        int width = widthOf(*f);
        if (!width) {
            result = -1;
            break;
        }
        f++;
        if (count == 0)
            count = 1;
        for (uint32_t i = 0; i < count; i++) {
            uint32_t v = load(p, width);
            p += width;
            if (width == 1)
                *va_arg(args, uint8_t *) = uint8_t(v);
            else if (width == 2)
                *va_arg(args, uint16_t *) = uint16_t(v);
            else
                *va_arg(args, uint32_t *) = v;
        }
    }
    va_end(args);
    return result < 0 ? result : int(p - buffer);
}
