// Base-14 font metrics: the 14 slots, "psbase14.bfm" and its tables, and
// the width and kerning operations.
#include "fonts/base14.h"

#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "core/stream/inflate.h"
#include "platform/url/url.h"
#include "platform/vfs/helpers.h"
#include "platform/vfs/vfs.h"

namespace {

const int corrupt = 0x1601; // damaged data, as inflate reports it

struct FontInfo {
    const char *name;
    int32_t box[4];
    int32_t ascender, descender;
    int8_t widthEntry, kernEntry,
        group; // entries of the file; group: 0 standard, 1 Symbol, 2 ZapfDingBats
};

const FontInfo base14Fonts[Base14_fontCount] = {
    {"Courier", {-376, -4096, 11714, 13189}, 10305, -2572, -1, -1, -1},
    {"Courier-Bold", {-1851, -4096, 12271, 13123}, 10305, -2572, -1, -1, -1},
    {"Courier-Oblique", {-442, -4096, 13910, 13189}, 10305, -2572, -1, -1, -1},
    {"Courier-BoldOblique", {-933, -4096, 14237, 13123}, 10305, -2572, -1, -1, -1},
    {"Helvetica", {-2719, -3686, 16384, 15253}, 11763, -3391, 15, 16, 0},
    {"Helvetica-Bold", {-2785, -3735, 16433, 15761}, 11763, -3391, 17, 18, 0},
    {"Helvetica-Oblique", {-2785, -3686, 18284, 15253}, 11763, -3391, 15, 16, 0},
    {"Helvetica-BoldOblique", {-2850, -3735, 18251, 15761}, 11763, -3391, 17, 18, 0},
    {"Symbol", {-2949, -4800, 17858, 16547}, 11190, -3555, 19, -1, 1},
    {"Times-Roman", {-2752, -3571, 16384, 14712}, 11190, -3555, 7, 8, 0},
    {"Times-Bold", {-2752, -3571, 16384, 15319}, 11190, -3555, 11, 12, 0},
    {"Times-Italic", {-2768, -3555, 16547, 14467}, 11190, -3555, 9, 10, 0},
    {"Times-BoldItalic", {-3276, -3571, 16318, 15089}, 11190, -3555, 13, 14, 0},
    {"ZapfDingBats", {-16, -2342, 16072, 13434}, 11190, -3555, 20, -1, 2},
};
const int32_t underlinePosition = -1638, underlineThickness = 819;

// ZapfDingBats: Unicode codes from 256 on and the font's own codes.
struct Remap {
    uint16_t first, last, target;
};
const Remap dingbatRemap[] = {
    {32, 32, 32},        {8594, 8594, 213},   {8596, 8596, 214},   {8597, 8597, 215},
    {9312, 9321, 172},   {9632, 9632, 110},   {9650, 9650, 115},   {9660, 9660, 116},
    {9670, 9670, 117},   {9679, 9679, 108},   {9687, 9687, 119},   {9733, 9733, 72},
    {9742, 9742, 37},    {9755, 9755, 42},    {9758, 9758, 43},    {9824, 9824, 171},
    {9827, 9827, 168},   {9829, 9829, 170},   {9830, 9830, 169},   {9985, 9988, 33},
    {9990, 9993, 38},    {9996, 10023, 44},   {10025, 10059, 73},  {10061, 10061, 109},
    {10063, 10063, 111}, {10064, 10066, 112}, {10070, 10070, 118}, {10072, 10078, 120},
    {10081, 10087, 161}, {10102, 10159, 182}, {10161, 10174, 241}, {63703, 63716, 128},
};

const uint32_t kernSteps[8] = {1, 2, 3, 4, 5, 10, 20, 32};
const uint32_t entryCount = 21;
const uint32_t headerLength = 4 + 6 * entryCount;
const uint16_t noKernCode = 65535;

struct Entry {
    uint16_t a, b; // count or unpacked length; byte length
    const uint8_t *data;
};

bool entryAt(const Base14Metrics *m, uint32_t index, Entry *e)
{
    ByteCursor fields = ByteCursor_make(m->image + 4 + 6 * index, 6, 0);
    e->a = ByteCursor_u16(&fields);
    e->b = ByteCursor_u16(&fields);
    uint32_t offset = ByteCursor_u16(&fields);
    if (uint64_t(headerLength) + offset + e->b > m->imageLength)
        return false;
    e->data = m->image + headerLength + offset;
    return true;
}

struct Nibbles {
    const uint8_t *data;
    uint32_t length; // bytes
    uint32_t at;     // nibbles read
};

bool nextNibble(Nibbles *n, uint32_t *out)
{
    if (n->at / 2 >= n->length)
        return false;
    uint8_t byte = n->data[n->at / 2];
    *out = n->at % 2 ? byte >> 4 : byte & 15;
    n->at++;
    return true;
}

// The width and code lists: a running value; nibble v < 15 adds v + plus,
// 15 takes the next three nibbles (first highest) s and adds s + 1.
template <typename T>
int decodeRising(const Entry &e, int32_t start, uint32_t plus, T **out, uint32_t *count)
{
    *out = nullptr;
    *count = 0;
    if (!e.a)
        return Res_ok;
    T *values = static_cast<T *>(Mem_malloc(e.a * sizeof(T)));
    if (!values)
        return Res_noMemory;
    Nibbles n = {e.data, e.b, 0};
    int32_t cur = start;
    for (uint32_t i = 0; i < e.a; i++) {
        uint32_t v = 0;
        if (!nextNibble(&n, &v)) {
            Mem_free(values);
            return corrupt;
        }
        if (v < 15) {
            cur += int32_t(v + plus);
        } else {
            uint32_t s = 0;
            for (int k = 0; k < 3; k++) {
                uint32_t d = 0;
                if (!nextNibble(&n, &d)) {
                    Mem_free(values);
                    return corrupt;
                }
                s = s << 4 | d;
            }
            cur += int32_t(s + 1);
        }
        if (cur > 65535) {
            Mem_free(values);
            return corrupt;
        }
        values[i] = T(cur);
    }
    *out = values;
    *count = e.a;
    return Res_ok;
}

// The kerning value list: from -180, nibble v < 8 adds step[v] and gives
// a value, v >= 8 adds step[v - 8] without giving one.
int decodeKernValues(const Entry &e, int16_t **out, uint32_t *count)
{
    *out = nullptr;
    *count = 0;
    if (!e.a)
        return Res_ok;
    int16_t *values = static_cast<int16_t *>(Mem_malloc(e.a * sizeof(int16_t)));
    if (!values)
        return Res_noMemory;
    Nibbles n = {e.data, e.b, 0};
    int32_t cur = -180;
    for (uint32_t i = 0; i < e.a;) {
        uint32_t v = 0;
        if (!nextNibble(&n, &v) || cur > 30000) {
            Mem_free(values);
            return corrupt;
        }
        cur += int32_t(kernSteps[v & 7]);
        if (v < 8)
            values[i++] = int16_t(cur);
    }
    *out = values;
    *count = e.a;
    return Res_ok;
}

int inflateEntry(const Entry &e, uint8_t **out)
{
    *out = nullptr;
    if (!e.a)
        return Res_ok;
    uint8_t *buffer = static_cast<uint8_t *>(Mem_malloc(e.a));
    if (!buffer)
        return Res_noMemory;
    int rc = Inflate_buffer(e.data, e.b, buffer, e.a);
    if (rc) {
        Mem_free(buffer);
        return rc;
    }
    *out = buffer;
    return Res_ok;
}

int decodeRanges(const Entry &e, Base14Ranges *r)
{
    if (e.a != e.b || e.a % 4 || e.a < 8)
        return corrupt;
    uint32_t records = e.a / 4;
    r->start = static_cast<uint16_t *>(Mem_malloc(records * sizeof(uint16_t)));
    r->base = static_cast<uint16_t *>(Mem_malloc(records * sizeof(uint16_t)));
    if (!r->start || !r->base)
        return Res_noMemory;
    for (uint32_t i = 0; i < records; i++) {
        r->start[i] = Bytes_peekU16Le(e.data + 4 * i);
        r->base[i] = Bytes_peekU16Le(e.data + 4 * i + 2);
        if (i && (r->start[i] <= r->start[i - 1] || r->base[i] < r->base[i - 1]))
            return corrupt;
    }
    r->count = records - 1;
    return Res_ok;
}

int readFile(EngineContext *engine, Base14Metrics *m)
{
    VfsHandle *h = nullptr;
    int rc = Vfs_openForReading(engine, &h, m->url);
    if (rc)
        return rc;
    const uint32_t capacity = 65536; // the file's length is a 16-bit field
    uint8_t *image = static_cast<uint8_t *>(Mem_malloc(capacity));
    uint32_t length = 0;
    rc = image ? Res_ok : Res_noMemory;
    while (!rc && length < capacity) {
        size_t got = 0;
        int r = Vfs_readBytes(h, image + length, capacity - length, &got);
        length += uint32_t(got);
        if (r == Res_ok && got)
            continue;
        if (r && r != Res_vfsShortRead) // the end of the data
            rc = r;
        break;
    }
    // The stream was only read or probed: a failed close loses nothing.
    (void)Vfs_close(h);
    if (rc) {
        Mem_free(image);
        return rc;
    }
    m->image = image;
    m->imageLength = length;
    return Res_ok;
}

void freeShared(Base14Metrics *m)
{
    for (Base14Ranges &r : m->ranges) {
        Mem_free(r.start);
        Mem_free(r.base);
        r = {};
    }
    Mem_free(m->pairBits);
    Mem_free(m->pairRank);
    Mem_free(m->widths);
    Mem_free(m->kernValues);
    Mem_free(m->kernCodes);
    Mem_free(m->image);
    m->pairBits = m->pairRank = nullptr;
    m->widths = m->kernValues = nullptr;
    m->kernCodes = nullptr;
    m->image = nullptr;
    m->imageLength = m->pairWords = m->pairCount = m->widthCount = m->kernValueCount =
        m->kernCodeCount = 0;
    m->loaded = 0;
}

int decodeShared(Base14Metrics *m);

int loadShared(EngineContext *engine, Base14Metrics *m)
{
    if (m->loaded)
        return Res_ok;
    int rc = readFile(engine, m);
    if (!rc)
        rc = decodeShared(m);
    if (rc)
        freeShared(m);
    return rc;
}

int decodeShared(Base14Metrics *m)
{
    int rc = Res_ok;
    if (m->imageLength < headerLength || Bytes_peekU16Le(m->image) != m->imageLength ||
        Bytes_peekU16Le(m->image + 2) != headerLength)
        return corrupt;
    Entry e[7];
    for (uint32_t i = 0; i < 7; i++)
        if (!entryAt(m, i, &e[i]))
            return corrupt;
    if ((rc = decodeRising<int16_t>(e[0], -1, 1, &m->widths, &m->widthCount)) ||
        (rc = decodeKernValues(e[1], &m->kernValues, &m->kernValueCount)) ||
        (rc = decodeRising<uint16_t>(e[3], 0, 0, &m->kernCodes, &m->kernCodeCount)))
        return rc;
    if (m->kernCodeCount > 256 || m->kernValueCount > 256 || m->widthCount > 256)
        return corrupt;
    // The last four kerned codes are the curly quotes, stored less 7424.
    for (uint32_t i = m->kernCodeCount >= 4 ? m->kernCodeCount - 4 : 0; i < m->kernCodeCount; i++)
        m->kernCodes[i] = uint16_t(m->kernCodes[i] + 7424);
    uint8_t *bits = nullptr;
    if (e[2].a % 4 || (uint64_t(m->kernCodeCount) * 256 + 31) / 32 > e[2].a / 4u)
        return corrupt;
    if ((rc = inflateEntry(e[2], &bits)))
        return rc;
    m->pairWords = e[2].a / 4;
    m->pairBits = static_cast<uint32_t *>(Mem_malloc((m->pairWords + 1) * sizeof(uint32_t)));
    m->pairRank = static_cast<uint32_t *>(Mem_malloc((m->pairWords + 1) * sizeof(uint32_t)));
    if (!m->pairBits || !m->pairRank) {
        Mem_free(bits);
        return Res_noMemory;
    }
    uint32_t rank = 0;
    for (uint32_t w = 0; w < m->pairWords; w++) {
        m->pairBits[w] = Bytes_peekU32Le(bits + 4 * w);
        m->pairRank[w] = rank;
        rank += uint32_t(__builtin_popcount(m->pairBits[w]));
    }
    m->pairCount = rank;
    Mem_free(bits);
    for (uint32_t g = 0; g < 3; g++)
        if ((rc = decodeRanges(e[4 + g], &m->ranges[g])))
            return rc;
    m->loaded = 1;
    return Res_ok;
}

uint16_t toUnits(int32_t thousandths)
{
    return uint16_t(uint32_t(thousandths) * 16384u / 1000u);
}

bool inRun(const uint8_t *tags, uint32_t i, uint32_t runTag)
{
    return !tags || (tags[i] & 7) == runTag;
}

int fixedMetrics(Base14Slot *, const uint16_t *, uint32_t n, uint32_t runTag, const uint8_t *tags,
                 uint16_t *first, uint16_t *advances)
{
    for (uint32_t i = 0; i < n; i++)
        if (inRun(tags, i, runTag)) {
            first[i] = 0;
            advances[i] = Base14_fixedAdvance;
        }
    return Res_ok;
}

uint16_t remapDingbat(uint16_t c)
{
    for (const Remap &r : dingbatRemap)
        if (c >= r.first && c <= r.last)
            return uint16_t(r.target + (c - r.first));
    return c;
}

uint16_t advanceOf(const Base14Slot *slot, uint16_t code)
{
    if (code < 32)
        return Base14_fixedAdvance;
    if (slot->index == Base14_zapfDingbats && code >= 256)
        code = remapDingbat(code);
    const Base14Ranges *r = slot->ranges;
    uint32_t key = code - 32u;
    // The last range whose start is not above the key.
    const uint16_t *at = std::upper_bound(r->start, r->start + r->count, key);
    if (at == r->start)
        return Base14_fixedAdvance;
    uint32_t i = uint32_t(at - r->start) - 1;
    uint32_t index = r->base[i] + (key - r->start[i]);
    if (index >= r->base[i + 1] || index >= slot->widthIndexLength)
        return Base14_fixedAdvance;
    const Base14Metrics *m = slot->owner;
    return toUnits(m->widths[slot->widthIndex[index]]);
}

int tableMetrics(Base14Slot *slot, const uint16_t *codes, uint32_t n, uint32_t runTag,
                 const uint8_t *tags, uint16_t *first, uint16_t *advances)
{
    for (uint32_t i = 0; i < n; i++)
        if (inRun(tags, i, runTag)) {
            first[i] = 0;
            advances[i] = advanceOf(slot, codes[i]);
        }
    return Res_ok;
}

uint16_t kernIndex(Base14Metrics *m, uint16_t code)
{
    if (m->cachedCode == code)
        return m->cachedIndex;
    const uint16_t *end = m->kernCodes + m->kernCodeCount;
    const uint16_t *at = std::lower_bound(static_cast<const uint16_t *>(m->kernCodes), end, code);
    uint16_t index = at != end && *at == code ? uint16_t(at - m->kernCodes) : noKernCode;
    m->cachedCode = code;
    m->cachedIndex = index;
    return index;
}

int32_t pairKerning(Base14Slot *slot, uint16_t a, uint16_t b)
{
    Base14Metrics *m = slot->owner;
    uint16_t ia = kernIndex(m, a);
    if (ia == noKernCode)
        return 0;
    uint16_t ib = kernIndex(m, b);
    if (ib == noKernCode)
        return 0;
    uint32_t pair = uint32_t(ia) << 8 | ib;
    uint32_t word = pair >> 5, bit = pair & 31;
    if (word >= m->pairWords)
        return 0;
    uint32_t w = m->pairBits[word];
    if (!(w & (0x80000000u >> bit)))
        return 0;
    uint32_t before = bit ? uint32_t(__builtin_popcount(w >> (32 - bit))) : 0;
    uint32_t rank = m->pairRank[word] + before;
    if (rank >= slot->kernClassLength)
        return 0;
    uint8_t cls = slot->kernClasses[rank];
    if (cls >= m->kernValueCount)
        return 0;
    return int32_t(m->kernValues[cls]) * 16384 / 1000;
}

int tableKerning(Base14Slot *slot, const uint16_t *codes, uint32_t n, uint32_t runTag,
                 const uint8_t *tags, uint16_t *advances)
{
    for (uint32_t i = 0; i + 1 < n; i++) {
        if (!inRun(tags, i, runTag) || !inRun(tags, i + 1, runTag))
            continue;
        int32_t k = pairKerning(slot, codes[i], codes[i + 1]);
        if (k) {
            int32_t v = int32_t(advances[i]) + k;
            advances[i] = uint16_t(v < 0 ? 0 : v);
        }
    }
    return Res_ok;
}

void closeSlot(Base14Slot *slot)
{
    Mem_free(slot->widthIndex);
    Mem_free(slot->kernClasses);
    memset(slot, 0, sizeof *slot);
}

int loadSlot(EngineContext *engine, Base14Metrics *m, Base14Slot *slot)
{
    const FontInfo &f = base14Fonts[slot->index];
    int rc = loadShared(engine, m);
    if (rc)
        return rc;
    Entry we, ke;
    if (!entryAt(m, uint32_t(f.widthEntry), &we))
        return corrupt;
    if ((rc = inflateEntry(we, &slot->widthIndex)))
        return rc;
    slot->widthIndexLength = we.a;
    slot->ranges = &m->ranges[f.group];
    // Every glyph of the group has a width index, and every index a width.
    if (slot->widthIndexLength < slot->ranges->base[slot->ranges->count])
        return corrupt;
    for (uint32_t i = 0; i < slot->widthIndexLength; i++)
        if (slot->widthIndex[i] >= m->widthCount)
            return corrupt;
    slot->metrics = tableMetrics;
    if (f.kernEntry >= 0) {
        if (!entryAt(m, uint32_t(f.kernEntry), &ke))
            return corrupt;
        if ((rc = inflateEntry(ke, &slot->kernClasses)))
            return rc;
        slot->kernClassLength = ke.a;
        slot->kerning = tableKerning;
    }
    return Res_ok;
}

} // namespace

int32_t Base14_indexOf(const char *name)
{
    if (!name)
        return -1;
    for (uint32_t i = 0; i < Base14_fontCount; i++)
        if (strcmp(base14Fonts[i].name, name) == 0)
            return int32_t(i);
    // PDF files spell the dingbats font this way.
    if (strcmp(name, "ZapfDingbats") == 0)
        return Base14_zapfDingbats;
    return -1;
}

int Base14_create(EngineContext *engine, Base14Metrics **out, const Url *fontsDir)
{
    *out = nullptr;
    Base14Metrics *m = static_cast<Base14Metrics *>(Mem_calloc(1, sizeof(Base14Metrics)));
    if (!m)
        return Res_noMemory;
    m->cachedCode = 0xFFFF; // not a kerned code
    m->cachedIndex = noKernCode;
    if (fontsDir) {
        m->url = Url_resolveText(engine, u"psbase14.bfm", fontsDir);
        if (!m->url) {
            Base14_free(m);
            return Res_noMemory;
        }
        VfsHandle *h = nullptr;
        int rc = Vfs_openForReading(engine, &h, m->url);
        if (rc == Res_stopRequested) {
            Base14_free(m);
            return rc;
        }
        if (rc == Res_noMemory) {
            Base14_free(m);
            return rc;
        }
        m->fileExists = rc == Res_ok;
        if (h)
            // The stream was only read or probed: a failed close loses nothing.
            (void)Vfs_close(h);
    }
    *out = m;
    return Res_ok;
}

void Base14_free(Base14Metrics *m)
{
    if (!m)
        return;
    for (Base14Slot &slot : m->slots)
        closeSlot(&slot);
    freeShared(m);
    Url_free(m->url);
    Mem_free(m);
}

int Base14_open(EngineContext *engine, Base14Metrics *m, const char *name, Base14Slot **out)
{
    *out = nullptr;
    int32_t index = Base14_indexOf(name);
    if (index < 0)
        return Res_ok;
    Base14Slot *slot = &m->slots[index];
    if (slot->inUse) {
        *out = slot;
        return Res_ok;
    }
    const FontInfo &f = base14Fonts[index];
    slot->owner = m;
    slot->index = uint32_t(index);
    slot->name = f.name;
    memcpy(slot->box, f.box, sizeof slot->box);
    slot->underlinePosition = underlinePosition;
    slot->underlineThickness = underlineThickness;
    slot->ascender = f.ascender;
    slot->descender = f.descender;
    if (f.widthEntry < 0) {
        slot->metrics = fixedMetrics;
    } else if (m->fileExists) {
        int rc = loadSlot(engine, m, slot);
        if (rc) {
            closeSlot(slot);
            return rc;
        }
    }
    slot->inUse = 1;
    *out = slot;
    return Res_ok;
}
