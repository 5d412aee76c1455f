// The Word font table (word/reader/wordfonts.h).
#include "word/reader/wordfonts.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset.h"
#include "core/stream/bytestream.h"
#include "word/reader/word.h"

namespace {

enum : uint32_t {
    minRecord97 = 39,
    maxRecord97 = 169,
    minRecord6 = 5,
    maxRecord6 = 70,
    fixed97 = 40, // the bytes of a Word 97 record before its name
    fixed6 = 6,
};

const char16_t timesName[] = u"Times";

// The entry's name from n characters (16-bit little-endian when wide, else
// 8-bit bytes): leading NULs skipped, the primary name's terminator turned
// into ',' when an alternative name follows, "Times" for an empty name.
int readName(const uint8_t *p, uint32_t n, uint32_t alt, bool wide, WordReader *reader,
             char16_t **out)
{
    *out = nullptr;
    uint32_t skip = 0;
    while (skip < n && (wide ? Bytes_peekU16Le(p + 2 * skip) : p[skip]) == 0) {
        skip++;
        if (alt)
            alt--;
    }
    uint32_t count = n - skip;
    const uint8_t *at = p + (wide ? 2 * skip : skip);
    // Up to the first NUL, or through the alternative name.
    char16_t *chars = static_cast<char16_t *>(Mem_malloc((size_t(count) + 1) * sizeof(char16_t)));
    if (!chars)
        return Res_noMemory;
    uint32_t len = 0;
    if (wide) {
        for (uint32_t i = 0; i < count; i++) {
            char16_t c = Bytes_peekU16Le(at + 2 * i);
            if (alt && alt < n && i + 1 == alt && c == 0)
                c = u',';
            if (c == 0)
                break;
            chars[len++] = c;
        }
    } else {
        uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(size_t(count) + 1));
        if (!copy) {
            Mem_free(chars);
            return Res_noMemory;
        }
        for (uint32_t i = 0; i < count; i++) {
            uint8_t c = at[i];
            if (alt && alt < n && i + 1 == alt && c == 0)
                c = ',';
            copy[i] = c;
        }
        uint32_t m = 0;
        while (m < count && copy[m])
            m++;
        char16_t *text = nullptr;
        int err =
            Charset_toUstrN(reader ? reader->ctx : nullptr, copy, m, &text, CharsetCode_latin1);
        Mem_free(copy);
        if (err != Res_ok) {
            Mem_free(chars);
            return err;
        }
        for (const char16_t *c = text; *c; c++)
            chars[len++] = *c;
        Mem_free(text);
    }
    if (len == 0) {
        Mem_free(chars);
        chars = static_cast<char16_t *>(Mem_malloc(sizeof timesName));
        if (!chars)
            return Res_noMemory;
        memcpy(chars, timesName, sizeof timesName);
        *out = chars;
        return Res_ok;
    }
    chars[len] = 0;
    *out = chars;
    return Res_ok;
}

bool sameName(const char16_t *a, const char16_t *b)
{
    while (*a && *a == *b) {
        a++;
        b++;
    }
    return *a == *b;
}

} // namespace

void Word_fontsFree(WordFont *fonts, uint32_t count)
{
    for (uint32_t i = 0; fonts && i < count; i++)
        Mem_free(fonts[i].name);
    Mem_free(fonts);
}

void Word_fontTableFree(WordReader *reader)
{
    Word_fontsFree(reader->fonts, reader->fontCount);
    reader->fonts = nullptr;
    reader->fontCount = 0;
}

int Word_parseFontTable(const uint8_t *bytes, size_t length, WordReader *reader)
{
    Word_fontTableFree(reader);
    if (length < 2)
        return Res_wordBadFontTable;
    bool w97;
    if (reader->fib.wIdent == Word_identWord97)
        w97 = true;
    else if (reader->fib.wIdent == Word_identWord6)
        w97 = false;
    else
        return Res_wordNotWord;
    const uint8_t *p = bytes;
    size_t left = length;
    uint32_t count = 0;
    if (w97) {
        count = Bytes_peekU16Le(p);
        p += 2;
        left -= 2;
        if (count == 0xFFFF) {
            if (left < 2)
                return Res_wordBadFontTable;
            count = Bytes_peekU16Le(p);
            p += 2;
            left -= 2;
        }
        if (left < 2)
            return Res_wordBadFontTable;
        p += 2; // the size of the extra data, not used
        left -= 2;
        if (left < size_t(fixed97) * count)
            return Res_wordBadFontTable;
    } else {
        // The total size word counts itself; the records follow it.
        p += 2;
        left -= 2;
        const uint8_t *q = p;
        size_t rest = left;
        while (rest > 0) {
            uint32_t cb = q[0];
            if (cb < minRecord6 || cb > rest - 1)
                return Res_wordBadFontTable;
            q += cb + 1;
            rest -= cb + 1;
            count++;
        }
    }
    if (count == 0)
        return Res_ok;
    WordFont *fonts = static_cast<WordFont *>(Mem_calloc(count, sizeof(WordFont)));
    if (!fonts)
        return Res_noMemory;
    int err = Res_ok;
    uint32_t done = 0;
    for (; done < count; done++) {
        if (left < (w97 ? fixed97 : fixed6)) {
            err = Res_wordBadFontTable;
            break;
        }
        const uint8_t *start = p;
        size_t startLeft = left;
        while (left > 0 && *p == 0) { // padding before the length byte
            p++;
            left--;
        }
        if (left < 1) {
            err = Res_wordBadFontTable;
            break;
        }
        uint32_t cb = p[0];
        if (cb < (w97 ? minRecord97 : minRecord6) || cb > (w97 ? maxRecord97 : maxRecord6) ||
            cb > left - 1) {
            err = Res_wordBadFontTable;
            break;
        }
        const uint8_t *r = p + 1;
        WordFont *f = &fonts[done];
        uint8_t ff = r[0];
        f->flags = uint16_t((ff & 7) | (((ff >> 4) & 7) << 3));
        f->weight = Bytes_peekU16Le(r + 1);
        f->charset = r[3];
        uint32_t alt = r[4];
        uint32_t n;
        const uint8_t *name;
        if (w97) {
            memcpy(f->panose, r + 5, 10);
            for (int i = 0; i < 6; i++)
                f->signature[i] = Bytes_peekU32Le(r + 15 + 4 * i);
            name = r + 39;
            n = (cb - minRecord97) / 2;
        } else {
            name = r + 5;
            n = cb - minRecord6;
        }
        if ((err = readName(name, n, alt, w97, reader, &f->name)) != Res_ok)
            break;
        // The next record starts cbFfnM1 + 1 bytes after the place where
        // this record's reading began.
        if (startLeft < size_t(cb) + 1) {
            err = Res_wordBadFontTable;
            done++;
            break;
        }
        p = start + cb + 1;
        left = startLeft - (cb + 1);
    }
    if (err != Res_ok) {
        Word_fontsFree(fonts, done < count ? done + 1 : count);
        return err;
    }
    reader->fonts = fonts;
    reader->fontCount = count;
    return Res_ok;
}

int Word_readFontTable(WordReader *reader)
{
    Word_fontTableFree(reader);
    const WordFcLcb &pair = reader->fib.pairs[WordPair_sttbfffn];
    if (pair.lcb == 0)
        return Res_ok;
    // The whole table: a size of 64 KiB or more is read as it stands.
    uint8_t *buffer = nullptr;
    int err = Word_readBlock(reader->tableStream, pair.fc, pair.lcb, &buffer);
    if (err == Res_ok)
        err = Word_parseFontTable(buffer, pair.lcb, reader);
    Mem_free(buffer);
    if (err != Res_ok)
        return err;
    reader->symbolFont = -1;
    reader->wingdingsFont = -1;
    for (uint32_t i = 0; i < reader->fontCount; i++) {
        if (sameName(reader->fonts[i].name, u"Symbol"))
            reader->symbolFont = int32_t(i);
        if (sameName(reader->fonts[i].name, u"Wingdings"))
            reader->wingdingsFont = int32_t(i);
    }
    return Res_ok;
}
