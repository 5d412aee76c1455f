// CFF tables: INDEX, the Top and Private DICTs, charset, Encoding,
// FDSelect, custom strings and the code table of a simple font.
#include "fonts/programs/cff.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "fonts/glyphnames.h"

namespace {

// The stream's status, else code.
int failure(ByteStream *s, int code)
{
    int st = ByteStream_takeStatus(s);
    return st ? st : code;
}

// Reads an n-byte big-endian value at the read position. 0 or code.
int readBig(ByteStream *s, uint32_t n, uint32_t *v, int code)
{
    *v = 0;
    for (uint32_t i = 0; i < n; i++) {
        uint8_t b = 0;
        if (ByteStream_readByte(s, &b) != Res_ok)
            return failure(s, code);
        *v = *v << 8 | b;
    }
    return Res_ok;
}

int seekTo(ByteStream *s, uint64_t pos, int code)
{
    int rc = ByteStream_seek(s, pos);
    return rc ? failure(s, code) : Res_ok;
}

// The offset i of an opened INDEX.
int readOffset(const CffIndex *x, uint32_t i, uint32_t *v)
{
    int rc =
        seekTo(x->stream, x->offsets + static_cast<uint64_t>(i) * x->offSize, Cff_indexBadOffset);
    if (!rc)
        rc = readBig(x->stream, x->offSize, v, Cff_indexBadOffset);
    return rc;
}

bool oneInteger(const CffDict *d)
{
    return d->count == 1 && d->operands[0].kind == 0;
}

int topHandler(CffDict *d)
{
    CffTopDict *t = reinterpret_cast<CffTopDict *>(d);
    const CffOperand *o = d->operands;
    uint32_t op = d->op;
    if (op <= 5 || op == 13 || op == 14 || (op >= 256 && op <= 262) || op == 264 ||
        (op >= 276 && op <= 279) || (op >= 287 && op <= 291) || op == 294)
        return Res_ok;
    if (op >= 6 && op <= 12)
        return Cff_dictBadTopOperator;
    switch (op) {
    case 15:
    case 16:
    case 17:
        if (!oneInteger(d) || o[0].value.i < 0)
            return Cff_dictBadOperands;
        if (op == 15) {
            t->charsetOffset = static_cast<uint32_t>(o[0].value.i);
            t->flags |= CffTop_hasCharset;
        } else if (op == 16) {
            t->encodingOffset = static_cast<uint32_t>(o[0].value.i);
            t->flags |= CffTop_hasEncoding;
        } else {
            Cff_indexInit(&t->charStrings, d->stream, static_cast<uint32_t>(o[0].value.i), 0);
            t->flags |= CffTop_hasCharStrings;
        }
        return Res_ok;
    case 18:
        if (d->count != 2 || o[0].kind || o[1].kind || o[0].value.i < 0 || o[1].value.i < 0)
            return Cff_dictBadOperands;
        t->privateSize = static_cast<uint32_t>(o[0].value.i);
        t->privateStart = static_cast<uint32_t>(o[1].value.i);
        t->hasPrivate = 1;
        return Res_ok;
    case 263: { // FontMatrix
        if (d->count != 6)
            return Res_ok;
        float v[6], m = 0;
        for (int i = 0; i < 6; i++) {
            v[i] = o[i].kind ? o[i].value.f : static_cast<float>(o[i].value.i);
            float a = v[i] < 0 ? -v[i] : v[i];
            if (a > m)
                m = a;
        }
        if (m > 0) {
            // The reciprocal's integer part, allowing for the single
            // precision of the entries (0.001 gives 1000). Units per em
            // stay positive: an entry above 1 gives 1000.
            double units = 1.0 / static_cast<double>(m) + 0.001;
            t->unitsPerEm = units >= 1.0 && units < 65536.0 ? static_cast<uint16_t>(units) : 1000;
            if (!t->unitsPerEm)
                t->unitsPerEm = 1000;
            for (int i = 0; i < 6; i++)
                t->matrix[i] = v[i] / m;
        }
        return Res_ok;
    }
    case 286: // ROS
        if (d->count != 3 || o[0].kind || o[1].kind || o[2].kind)
            return Cff_dictBadOperands;
        t->ros = CffRos{o[0].value.i, o[1].value.i, o[2].value.i};
        t->flags |= CffTop_hasRos;
        return Res_ok;
    case 292: // FDArray
    case 293: // FDSelect
        if (!oneInteger(d) || o[0].value.i < 0)
            return Cff_dictBadOperands;
        if (op == 292) {
            Cff_indexInit(&t->fdArray, d->stream, static_cast<uint32_t>(o[0].value.i), 0);
            t->flags |= CffTop_hasFdArray;
        } else {
            t->fdSelectOffset = static_cast<uint32_t>(o[0].value.i);
            t->flags |= CffTop_hasFdSelect;
        }
        return Res_ok;
    default: return Cff_dictBadTopOperator;
    }
}

int privateHandler(CffDict *d)
{
    CffPrivateDict *p = reinterpret_cast<CffPrivateDict *>(d);
    uint32_t op = d->op;
    if ((op >= 6 && op <= 11) || (op >= 265 && op <= 271) || (op >= 273 && op <= 275))
        return Res_ok;
    if (op == 19 || op == 20 || op == 21) {
        if (!oneInteger(d))
            return Cff_dictBadOperands;
        int32_t v = d->operands[0].value.i;
        if (op == 20) {
            p->defaultWidthX = v;
        } else if (op == 21) {
            p->nominalWidthX = v;
        } else {
            if (v < 0)
                return Cff_dictBadOperands;
            Cff_indexInit(&p->subrs, d->stream, d->start + static_cast<uint32_t>(v), 0);
            p->hasSubrs = 1;
        }
        return Res_ok;
    }
    return Cff_dictBadPrivateOperator;
}

} // namespace

// -------------------------------------------------------------- INDEX

void Cff_indexInit(CffIndex *x, ByteStream *stream, uint64_t start, uint64_t limit)
{
    *x = CffIndex{};
    x->stream = stream;
    x->start = start;
    x->limit = limit;
}

int Cff_indexOpen(CffIndex *x)
{
    if (x->start + 2 > x->limit)
        return Cff_indexBeyondLimit;
    int rc = seekTo(x->stream, x->start, Cff_indexBadHeader);
    uint32_t count = 0;
    if (!rc)
        rc = readBig(x->stream, 2, &count, Cff_indexBadHeader);
    if (rc)
        return rc;
    x->count = count;
    if (count == 0) {
        x->end = x->start + 2;
        return Res_ok;
    }
    uint32_t offSize = 0;
    rc = readBig(x->stream, 1, &offSize, Cff_indexBadHeader);
    if (rc)
        return rc;
    if (offSize < 1 || offSize > 4)
        return Cff_indexBadOffSize;
    x->offSize = offSize;
    x->offsets = x->start + 3;
    x->dataBase = x->start + 3 + static_cast<uint64_t>(offSize) * (count + 1) - 1;
    if (x->dataBase >= x->limit)
        return Cff_indexBeyondLimit;
    uint32_t last = 0;
    rc = readOffset(x, count, &last);
    if (rc)
        return rc;
    x->end = x->dataBase + last;
    if (x->end > x->limit)
        return Cff_indexBeyondLimit;
    return Res_ok;
}

uint32_t Cff_indexCount(const CffIndex *x)
{
    return x->count;
}

uint64_t Cff_indexEnd(const CffIndex *x)
{
    return x->end;
}

int Cff_indexEntryRange(const CffIndex *x, uint32_t i, uint64_t *start, uint64_t *end)
{
    *start = *end = 0;
    if (i >= x->count)
        return Cff_indexBadEntryNumber;
    uint32_t a = 0, b = 0;
    int rc = readOffset(x, i, &a);
    if (!rc)
        rc = readBig(x->stream, x->offSize, &b, Cff_indexBadOffset);
    if (rc)
        return rc;
    uint64_t s = x->dataBase + a, e = x->dataBase + b;
    if (s >= e || e > x->end || a == 0)
        return Cff_indexBadEntry;
    *start = s;
    *end = e;
    return Res_ok;
}

int Cff_indexReadAll(const CffIndex *x, FontFileEntry **entries, uint32_t *count)
{
    *entries = nullptr;
    *count = 0;
    if (x->count == 0)
        return Res_ok;
    FontFileEntry *list = static_cast<FontFileEntry *>(Mem_calloc(x->count, sizeof(FontFileEntry)));
    if (!list)
        return Res_noMemory;
    uint32_t n = x->count;
    for (uint32_t i = 0; i < x->count; i++) {
        uint64_t s = 0, e = 0;
        int rc = Cff_indexEntryRange(x, i, &s, &e);
        if (rc == Cff_indexBadEntry)
            continue; // an empty entry has no data
        if (!rc)
            rc = seekTo(x->stream, s, Cff_indexBadOffset);
        if (!rc) {
            list[i].data = static_cast<uint8_t *>(Mem_malloc(e - s));
            if (!list[i].data)
                rc = Res_noMemory;
        }
        if (!rc) {
            list[i].length = static_cast<uint32_t>(e - s);
            if (ByteStream_readExact(x->stream, list[i].data, e - s) != Res_ok)
                rc = failure(x->stream, Cff_indexBadOffset);
        }
        if (rc) {
            FontFile_freeEntryArray(list, &n);
            return rc;
        }
    }
    *entries = list;
    *count = n;
    return Res_ok;
}

// --------------------------------------------------------------- DICT

namespace {

// A real number's nibbles; *pos counts the bytes read, which must stay
// below end.
int parseReal(ByteStream *s, uint64_t *pos, uint64_t end, float *out)
{
    *out = 0;
    uint32_t mantissa = 0;
    int32_t exponent = 0, expValue = 0;
    bool negative = false, point = false, inExp = false, expNegative = false, any = false,
         done = false;
    while (!done) {
        uint8_t b = 0;
        if (*pos >= end)
            return Cff_dictTruncated;
        if (ByteStream_readByte(s, &b) != Res_ok)
            return failure(s, Cff_dictTruncated);
        (*pos)++;
        for (int half = 0; half < 2 && !done; half++) {
            int nib = half == 0 ? b >> 4 : b & 15;
            if (nib <= 9) {
                any = true;
                if (inExp) {
                    if (expValue > 100000)
                        return Cff_badReal;
                    expValue = expValue * 10 + nib;
                } else if (mantissa > (UINT32_MAX - 9) / 10 ||
                           mantissa * 10 + static_cast<uint32_t>(nib) > INT32_MAX) {
                    if (!point)
                        exponent++;
                } else {
                    mantissa = mantissa * 10 + static_cast<uint32_t>(nib);
                    if (point)
                        exponent--;
                }
            } else if (nib == 10) {
                if (point || inExp)
                    return Cff_badReal;
                point = true;
            } else if (nib == 11 || nib == 12) {
                if (inExp)
                    return Cff_badReal;
                inExp = true;
                expNegative = nib == 12;
            } else if (nib == 13) {
            } else if (nib == 14) {
                if (any || point || inExp || negative)
                    return Cff_badReal;
                negative = true;
            } else {
                done = true;
                // A digit after the end nibble is malformed.
                if (half == 0 && (b & 15) <= 9)
                    return Cff_badReal;
            }
        }
    }
    int32_t e = exponent + (expNegative ? -expValue : expValue);
    float v = static_cast<float>(mantissa);
    float base = e < 0 ? 0.1f : 10.0f;
    uint32_t k = static_cast<uint32_t>(e < 0 ? -e : e);
    float scale = 1.0f;
    while (k) {
        if (k & 1)
            scale *= base;
        base *= base;
        k >>= 1;
    }
    v *= scale;
    *out = negative ? -v : v;
    return Res_ok;
}

} // namespace

int CffDict_parse(CffDict *d)
{
    d->count = 0;
    int rc = seekTo(d->stream, d->start, Cff_dictTruncated);
    if (rc)
        return rc;
    uint64_t pos = d->start;
    ByteStream *s = d->stream;
    auto readByte = [&](uint8_t *b) -> int {
        if (pos >= d->end)
            return Cff_dictTruncated;
        if (ByteStream_readByte(s, b) != Res_ok)
            return failure(s, Cff_dictTruncated);
        pos++;
        return Res_ok;
    };
    while (pos < d->end) {
        uint8_t b = 0;
        rc = readByte(&b);
        if (rc)
            return rc;
        CffOperand o{};
        if (b >= 32 && b <= 254) {
            if (b <= 246) {
                o.value.i = b - 139;
            } else {
                uint8_t w = 0;
                rc = readByte(&w);
                if (rc)
                    return rc;
                o.value.i = b <= 250 ? (b - 247) * 256 + w + 108 : -(b - 251) * 256 - w - 108;
            }
        } else if (b == 28 || b == 29) {
            uint32_t v = 0;
            for (int i = 0; i < (b == 28 ? 2 : 4); i++) {
                uint8_t c = 0;
                rc = readByte(&c);
                if (rc)
                    return rc;
                v = v << 8 | c;
            }
            o.value.i = b == 28 ? static_cast<int16_t>(v) : static_cast<int32_t>(v);
        } else if (b == 30) {
            rc = parseReal(s, &pos, d->end, &o.value.f);
            if (rc)
                return rc;
            o.kind = 1;
        } else if (b == 255) {
            return Cff_dictTruncated;
        } else {
            uint32_t op = b;
            if (b == 12) {
                uint8_t c = 0;
                rc = readByte(&c);
                if (rc)
                    return rc;
                op = 256u + c;
            }
            d->op = op;
            rc = d->handler(d);
            if (rc)
                return rc;
            d->count = 0;
            continue;
        }
        if (d->count >= Cff_maxOperands)
            return Cff_dictTooManyOperands;
        d->operands[d->count++] = o;
    }
    return Res_ok;
}

int CffTopDict_create(ByteStream *stream, uint64_t start, uint64_t end, CffTopDict **out)
{
    *out = nullptr;
    CffTopDict *t = static_cast<CffTopDict *>(Mem_calloc(1, sizeof(CffTopDict)));
    if (!t)
        return Res_noMemory;
    t->dict.stream = stream;
    t->dict.start = start;
    t->dict.end = end;
    t->dict.handler = topHandler;
    t->unitsPerEm = 1000;
    t->matrix[0] = t->matrix[3] = 1.0f;
    *out = t;
    return Res_ok;
}

void CffTopDict_destroy(CffTopDict *t)
{
    if (!t)
        return;
    Mem_free(t->priv);
    Mem_free(t->fdSelect.fds);
    Mem_free(t->charset.sids);
    Mem_free(t->encoding.codes);
    Mem_free(t);
}

int CffTopDict_load(CffTopDict *t)
{
    ByteStream *s = t->dict.stream;
    uint64_t limit = ByteStream_getLength(s);
    int rc = CffDict_parse(&t->dict);
    if (rc)
        return rc;
    if (t->hasPrivate) {
        t->priv = static_cast<CffPrivateDict *>(Mem_calloc(1, sizeof(CffPrivateDict)));
        if (!t->priv)
            return Res_noMemory;
        t->priv->dict.stream = s;
        t->priv->dict.start = t->privateStart;
        t->priv->dict.end = t->privateStart + t->privateSize;
        t->priv->dict.handler = privateHandler;
        rc = CffDict_parse(&t->priv->dict);
        if (!rc && t->priv->hasSubrs) {
            t->priv->subrs.limit = limit;
            rc = Cff_indexOpen(&t->priv->subrs);
        }
        if (rc)
            return rc;
    }
    uint32_t glyphs = 0;
    if (t->flags & CffTop_hasCharStrings) {
        t->charStrings.limit = limit;
        rc = Cff_indexOpen(&t->charStrings);
        if (rc)
            return rc;
        glyphs = t->charStrings.count;
        if (!(t->flags & CffTop_hasCharset)) {
            t->charsetOffset = 0;
            t->flags |= CffTop_hasCharset;
        }
    } else {
        t->flags &= ~static_cast<uint32_t>(CffTop_hasFdSelect | CffTop_hasCharset);
    }
    if (t->flags & CffTop_hasFdSelect) {
        rc = CffFdSelect_read(&t->fdSelect, s, t->fdSelectOffset, glyphs);
        if (rc)
            return rc;
    }
    if (t->flags & CffTop_hasFdArray) {
        t->fdArray.limit = limit;
        rc = Cff_indexOpen(&t->fdArray);
        if (rc)
            return rc;
    }
    if (t->flags & CffTop_hasCharset) {
        rc = CffCharset_read(&t->charset, s, t->charsetOffset, glyphs);
        if (rc)
            return rc;
        if (!(t->flags & CffTop_hasEncoding)) {
            t->encodingOffset = 0;
            t->flags |= CffTop_hasEncoding;
        }
        rc = CffEncoding_read(&t->encoding, s, t->encodingOffset, glyphs);
        if (rc)
            return rc;
    } else {
        t->flags &= ~static_cast<uint32_t>(CffTop_hasEncoding);
    }
    return Res_ok;
}

const CffIndex *CffTopDict_charStrings(const CffTopDict *t)
{
    return (t->flags & CffTop_hasCharStrings) ? &t->charStrings : nullptr;
}
CffPrivateDict *CffTopDict_private(const CffTopDict *t)
{
    return t->priv;
}
const CffFdSelect *CffTopDict_fdSelect(const CffTopDict *t)
{
    return (t->flags & CffTop_hasFdSelect) ? &t->fdSelect : nullptr;
}
const CffIndex *CffTopDict_fdArray(const CffTopDict *t)
{
    return (t->flags & CffTop_hasFdArray) ? &t->fdArray : nullptr;
}
const CffCharset *CffTopDict_charset(const CffTopDict *t)
{
    return (t->flags & CffTop_hasCharset) ? &t->charset : nullptr;
}
const CffEncoding *CffTopDict_encoding(const CffTopDict *t)
{
    return (t->flags & CffTop_hasEncoding) ? &t->encoding : nullptr;
}
const CffRos *CffTopDict_ros(const CffTopDict *t)
{
    return (t->flags & CffTop_hasRos) ? &t->ros : nullptr;
}
uint16_t CffTopDict_units(const CffTopDict *t)
{
    return t->unitsPerEm;
}
const float *CffTopDict_matrix(const CffTopDict *t)
{
    return t->matrix;
}
void CffTopDict_setUnits(CffTopDict *t, uint16_t units)
{
    if (!units || !t->unitsPerEm)
        return;
    float f = static_cast<float>(units) / static_cast<float>(t->unitsPerEm);
    for (float &m : t->matrix)
        m *= f;
    t->unitsPerEm = units;
}

void CffPrivate_widths(const CffPrivateDict *p, int32_t *defaultWidth, int32_t *nominalWidth)
{
    *defaultWidth = p ? p->defaultWidthX : 0;
    *nominalWidth = p ? p->nominalWidthX : 0;
}

const CffIndex *CffPrivate_subrs(const CffPrivateDict *p)
{
    return p && p->hasSubrs ? &p->subrs : nullptr;
}

// ------------------------------------------------------------- tables

int CffCharset_read(CffCharset *c, ByteStream *s, uint64_t offset, uint32_t glyphCount)
{
    Mem_free(c->sids);
    *c = CffCharset{};
    uint16_t *sids =
        static_cast<uint16_t *>(Mem_calloc(glyphCount ? glyphCount : 1, sizeof(uint16_t)));
    if (!sids)
        return Res_noMemory;
    int rc = Res_ok;
    if (offset <= 2) {
        for (uint32_t g = 0; g < glyphCount; g++) {
            if (offset == 0)
                sids[g] = static_cast<uint16_t>(g);
            else if (offset == 1)
                sids[g] = g < Cff_expertCharsetCount ? Cff_expertCharset[g] : 0;
            else
                sids[g] = g < Cff_expertSubsetCharsetCount ? Cff_expertSubsetCharset[g] : 0;
        }
    } else {
        uint32_t format = 0;
        rc = seekTo(s, offset, Cff_charsetUnreadable);
        if (!rc)
            rc = readBig(s, 1, &format, Cff_charsetUnreadable);
        if (!rc && format > 2)
            rc = Cff_charsetBadFormat;
        uint32_t g = 1;
        while (!rc && g < glyphCount) {
            uint32_t first = 0, left = 0;
            rc = readBig(s, 2, &first, Cff_charsetUnreadable);
            if (rc)
                break;
            if (format == 0) {
                sids[g++] = static_cast<uint16_t>(first);
                continue;
            }
            rc = readBig(s, format == 1 ? 1 : 2, &left, Cff_charsetUnreadable);
            for (uint32_t i = 0; !rc && i <= left && g < glyphCount; i++)
                sids[g++] = static_cast<uint16_t>(first + i);
        }
    }
    if (rc) {
        Mem_free(sids);
        return rc;
    }
    c->glyphCount = glyphCount;
    c->sids = sids;
    return Res_ok;
}

int CffCharset_get(const CffCharset *c, uint32_t glyph, uint16_t *sid)
{
    *sid = 0;
    if (glyph >= c->glyphCount)
        return Cff_charsetBeyondGlyphs;
    *sid = c->sids[glyph];
    return Res_ok;
}

int CffEncoding_read(CffEncoding *e, ByteStream *s, uint64_t offset, uint32_t glyphCount)
{
    Mem_free(e->codes);
    *e = CffEncoding{};
    e->offset = offset;
    if (offset <= 1)
        return Res_ok;
    uint16_t *codes =
        static_cast<uint16_t *>(Mem_calloc(glyphCount ? glyphCount : 1, sizeof(uint16_t)));
    if (!codes)
        return Res_noMemory;
    uint32_t format = 0, n = 0;
    int rc = seekTo(s, offset, Cff_encodingUnreadable);
    if (!rc)
        rc = readBig(s, 1, &format, Cff_encodingUnreadable);
    format &= 0x7F;
    if (!rc && format > 1)
        rc = Cff_encodingBadFormat;
    if (!rc)
        rc = readBig(s, 1, &n, Cff_encodingUnreadable);
    if (!rc && format == 0) {
        if (n + 1 > glyphCount)
            rc = Cff_encodingTooManyCodes;
        for (uint32_t i = 0; !rc && i < n; i++) {
            uint32_t code = 0;
            rc = readBig(s, 1, &code, Cff_encodingUnreadable);
            codes[i + 1] = static_cast<uint16_t>(code);
        }
    } else if (!rc) {
        uint32_t g = 1;
        for (uint32_t r = 0; !rc && r < n; r++) {
            uint32_t first = 0, left = 0;
            rc = readBig(s, 1, &first, Cff_encodingUnreadable);
            if (!rc)
                rc = readBig(s, 1, &left, Cff_encodingUnreadable);
            for (uint32_t i = 0; !rc && i <= left; i++) {
                if (g >= glyphCount)
                    rc = Cff_encodingTooManyCodes;
                else
                    codes[g++] = static_cast<uint16_t>(first + i);
            }
        }
    }
    if (rc) {
        Mem_free(codes);
        return rc;
    }
    e->glyphCount = glyphCount;
    e->codes = codes;
    return Res_ok;
}

int CffFdSelect_read(CffFdSelect *f, ByteStream *s, uint64_t offset, uint32_t glyphCount)
{
    Mem_free(f->fds);
    *f = CffFdSelect{};
    uint8_t *fds = static_cast<uint8_t *>(Mem_calloc(glyphCount ? glyphCount : 1, 1));
    if (!fds)
        return Res_noMemory;
    uint32_t format = 0;
    int rc = seekTo(s, offset, Cff_fdSelectUnreadable);
    if (!rc)
        rc = readBig(s, 1, &format, Cff_fdSelectUnreadable);
    if (!rc && format == 0) {
        if (glyphCount && ByteStream_readExact(s, fds, glyphCount) != Res_ok)
            rc = failure(s, Cff_fdSelectUnreadable);
    } else if (!rc && format == 3) {
        uint32_t ranges = 0, first = 0;
        rc = readBig(s, 2, &ranges, Cff_fdSelectUnreadable);
        if (!rc)
            rc = readBig(s, 2, &first, Cff_fdSelectUnreadable);
        if (!rc && first != 0)
            rc = Cff_fdSelectInconsistent;
        for (uint32_t r = 0; !rc && r < ranges; r++) {
            uint32_t fd = 0, next = 0;
            rc = readBig(s, 1, &fd, Cff_fdSelectUnreadable);
            if (!rc)
                rc = readBig(s, 2, &next, Cff_fdSelectUnreadable);
            if (!rc && (next <= first || next > glyphCount))
                rc = Cff_fdSelectInconsistent;
            for (uint32_t g = first; !rc && g < next; g++)
                fds[g] = static_cast<uint8_t>(fd);
            first = next;
        }
        if (!rc && first != glyphCount)
            rc = Cff_fdSelectInconsistent;
    } else if (!rc) {
        rc = Cff_fdSelectBadFormat;
    }
    if (rc) {
        Mem_free(fds);
        return rc;
    }
    f->glyphCount = glyphCount;
    f->fds = fds;
    return Res_ok;
}

int CffFdSelect_get(const CffFdSelect *f, uint32_t glyph, uint8_t *fd)
{
    *fd = 0;
    if (glyph >= f->glyphCount)
        return Cff_fdBeyondGlyphs;
    *fd = f->fds[glyph];
    return Res_ok;
}

int Cff_readString(const CffIndex *strings, ByteStream *s, uint32_t sid, char **name)
{
    *name = nullptr;
    if (sid < Cff_standardStringCount)
        return Cff_stringStandard;
    if (sid - Cff_standardStringCount >= strings->count)
        return Cff_stringBeyondIndex;
    uint64_t start = 0, end = 0;
    int rc = Cff_indexEntryRange(strings, sid - Cff_standardStringCount, &start, &end);
    if (rc)
        return Cff_stringUnreadable;
    char *text = static_cast<char *>(Mem_malloc(end - start + 1));
    if (!text)
        return Res_noMemory;
    if (seekTo(s, start, Cff_stringUnreadable) ||
        ByteStream_readExact(s, text, end - start) != Res_ok) {
        Mem_free(text);
        return failure(s, Cff_stringUnreadable);
    }
    text[end - start] = 0;
    *name = text;
    return Res_ok;
}

int Cff_buildCodeTable(const CffTopDict *t, const CffIndex *strings, PdfGlyphNameList *names,
                       uint16_t **out)
{
    *out = nullptr;
    uint16_t *table = static_cast<uint16_t *>(Mem_calloc(256, sizeof(uint16_t)));
    if (!table)
        return Res_noMemory;
    const CffEncoding *e = CffTopDict_encoding(t);
    const CffCharset *c = CffTopDict_charset(t);
    int rc = Res_ok;
    if (!e || e->offset == 0) {
        memcpy(table, Cff_standardCodes, sizeof(Cff_standardCodes));
    } else if (e->offset == 1) {
        // The Expert encoding's glyphs have no engine codes of their own.
    } else {
        for (uint32_t g = 1; !rc && g < e->glyphCount; g++) {
            uint16_t code = e->codes[g];
            if (!code || code > 255 || !c)
                continue;
            uint16_t sid = 0;
            rc = CffCharset_get(c, g, &sid);
            if (rc)
                break;
            if (sid < Cff_standardStringCount) {
                table[code] = Cff_standardStringCodes[sid];
                continue;
            }
            char *name = nullptr;
            rc = Cff_readString(strings, t->dict.stream, sid, &name);
            if (!rc)
                rc = Pdf_Font_glyphNameToCode(names, name, 1, &table[code]);
            Mem_free(name);
        }
    }
    if (rc) {
        Mem_free(table);
        return rc;
    }
    *out = table;
    return Res_ok;
}
