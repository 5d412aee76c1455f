// East Asian multibyte codecs: one table-driven decoder and one encoder for
// charset codes 30-35, the Japanese Shift_JIS/JIS/EUC-JP hooks, the
// GB18030 four-byte ranges, and the install calls that put each language's
// built-in table into the engine's hooks record.
//
// Decoding looks a two-byte code up in the table's linear entries, then in
// its runs, then asks the fallback hook; it costs at most a few binary
// searches per character. Encoding scans the linear entries and then the
// Unicode array from their ends, as the tables are laid out so that this
// order finds each character's preferred code.
//
// Malformed input: a lead byte whose pair is not in the table gives U+FFFD;
// when the second byte is ASCII only the lead byte is consumed, so a stray
// lead byte never swallows the newline or markup character after it.
#include "core/text/charset_cjk.h"

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset_internal.h"
#include "core/text/ustr.h"
#include "core/text/number.h"

namespace {

// The GB18030 linear index of the first four-byte form above U+FFFF, and
// the number of four-byte forms below it.
constexpr uint32_t GbSupplementaryBase = 189000;
constexpr uint32_t GbBmpLimit = 39420;

// Std_bsearch over constant tables.
const void *search(const void *key, const void *base, size_t count, size_t size,
                   int (*compare)(const void *, const void *))
{
    return Std_bsearch(key, base, count, size, compare);
}

// Key of a search for the entry whose range [first, next entry's first)
// holds a code; the last entry's range is open above unless it is closed
// by a sentinel.
struct CodeKey {
    uint32_t code;
    const void *last; // the last entry searched
};

int compareLinear(const void *key, const void *element)
{
    const CodeKey *k = static_cast<const CodeKey *>(key);
    const CharsetLinear *e = static_cast<const CharsetLinear *>(element);
    if (k->code < e->first)
        return -1;
    if (e != k->last && k->code >= e[1].first)
        return 1;
    return 0;
}

int compareRun(const void *key, const void *element)
{
    const CodeKey *k = static_cast<const CodeKey *>(key);
    const CharsetRun *e = static_cast<const CharsetRun *>(element);
    if (k->code < e->first)
        return -1;
    if (k->code >= e[1].first) // the sentinel closes the last run
        return 1;
    return 0;
}

// Finds the run that holds an index into the Unicode array.
int compareRunIndex(const void *key, const void *element)
{
    uint32_t index = *static_cast<const uint32_t *>(key);
    const CharsetRun *e = static_cast<const CharsetRun *>(element);
    if (index < e->index)
        return -1;
    if (index >= e[1].index)
        return 1;
    return 0;
}

int comparePair(const void *key, const void *element)
{
    uint32_t code = *static_cast<const uint32_t *>(key);
    const CharsetPair *e = static_cast<const CharsetPair *>(element);
    return code < e->code ? -1 : code > e->code ? 1 : 0;
}

// The two-byte code of a character by reverse lookup, or 0.
uint32_t reverseLookup(uint32_t cp, const CharsetTable *t)
{
    for (uint32_t i = t->linearCount; i-- > 0;) {
        uint32_t diff = uint16_t(cp - t->linear[i].unicode);
        if (diff < t->linearLen[i])
            return t->linear[i].first + diff;
    }
    for (uint32_t i = t->unicodeCount; i-- > 0;) {
        if (t->unicode[i] != cp)
            continue;
        const CharsetRun *run = static_cast<const CharsetRun *>(
            search(&i, t->runs, t->runCount, sizeof(CharsetRun), compareRunIndex));
        if (run)
            return run->first + (i - run->index);
    }
    return 0;
}

// The GB18030 range holding a linear index (byUnicode 0) or a code point
// (byUnicode 1), or NULL.
const CharsetGbRange *gbFind(const CharsetHooks *h, uint32_t value, uint32_t byUnicode)
{
    if (!h->gbRanges || h->gbRangeCount == 0)
        return nullptr;
    CharsetGbKey key = {value, byUnicode, h->gbRanges + h->gbRangeCount - 1};
    CharsetGbCompareFn compare = h->gbCompare ? h->gbCompare : Charset_gbRangeCompare;
    return static_cast<const CharsetGbRange *>(
        search(&key, h->gbRanges, h->gbRangeCount, sizeof(CharsetGbRange), compare));
}

// One decoded character: its units, the bytes it takes and the shift
// state after it.
struct Step {
    char16_t units[2];
    size_t count;
    size_t used;
    uint32_t shift;
};

void put(Step *s, uint32_t unit, size_t used)
{
    s->units[0] = char16_t(unit);
    s->count = 1;
    s->used = used;
}

// A two-byte character at p (two bytes present).
void twoByte(const CharsetTable *t, const CharsetHooks *h, const uint8_t *p, Step *s)
{
    uint32_t u = Charset_lookupMultibyte(uint32_t(p[0]) << 8 | p[1], t, h);
    put(s, u, (u == 0xFFFD && p[1] < 0x80) ? 1 : 2);
}

// A JIS X 0208 row and cell (each 0x21-0x7E) through the Japanese table.
uint32_t jisChar(const CharsetTable *t, const CharsetHooks *h, uint32_t row, uint32_t cell)
{
    if (!h->jisIn)
        return 0xFFFD;
    return Charset_lookupMultibyte(h->jisIn(row, cell), t, h);
}

int stepIso2022jp(const CharsetTable *t, const CharsetHooks *h, const uint8_t *p, size_t avail,
                  Step *s)
{
    uint32_t b = p[0];
    if (b == 0x1B) {
        if (avail < 3)
            return Res_charsetIncomplete;
        if (p[1] == '$' && (p[2] == '@' || p[2] == 'B'))
            s->shift = 2;
        else if (p[1] == '(' && p[2] == 'B')
            s->shift = 0;
        else if (p[1] == '(' && p[2] == 'J')
            s->shift = 1;
        s->count = 0;
        s->used = 3;
        return 0;
    }
    if (b == '\r' || b == '\n') {
        s->shift = 0;
        put(s, b, 1);
    } else if (b > 0x7F) {
        put(s, 0xFFFD, 1);
    } else if (s->shift == 2 && b >= 0x21 && b <= 0x7E) {
        if (avail < 2)
            return Res_charsetIncomplete;
        uint32_t b2 = p[1];
        if (b2 > 0x7F)
            put(s, 0xFFFD, 2);
        else if (b2 < 0x21 || b2 == 0x7F)
            put(s, 0xFFFD, 1); // keep the control byte (a line end resets the state)
        else
            put(s, jisChar(t, h, b, b2), 2);
    } else if (s->shift == 1 && b == '\\') {
        put(s, 0xA5, 1);
    } else {
        put(s, b, 1);
    }
    return 0;
}

int stepEucJp(const CharsetTable *t, const CharsetHooks *h, const uint8_t *p, size_t avail, Step *s)
{
    uint32_t b = p[0];
    if (b < 0x80) {
        put(s, b, 1);
        return 0;
    }
    if (b == 0x8E) {
        if (avail < 2)
            return Res_charsetIncomplete;
        if (p[1] >= 0xA1 && p[1] <= 0xDF)
            put(s, p[1] + 0xFEC0, 2);
        else
            put(s, 0xFFFD, p[1] < 0x80 ? 1 : 2);
        return 0;
    }
    if (b == 0x8F) {
        // JIS X 0212 (three bytes) is not supported: one U+FFFD.
        for (size_t i = 1; i < 3; i++) {
            if (i >= avail)
                return Res_charsetIncomplete;
            if (p[i] < 0xA1 || p[i] == 0xFF) {
                put(s, 0xFFFD, 1);
                return 0;
            }
        }
        put(s, 0xFFFD, 3);
        return 0;
    }
    if (b >= 0xA1 && b <= 0xFE) {
        if (avail < 2)
            return Res_charsetIncomplete;
        if (p[1] >= 0xA1 && p[1] <= 0xFE)
            put(s, jisChar(t, h, b - 0x80, p[1] - 0x80), 2);
        else
            put(s, 0xFFFD, 1);
        return 0;
    }
    put(s, 0xFFFD, 1);
    return 0;
}

int stepGb18030(const CharsetTable *t, const CharsetHooks *h, const uint8_t *p, size_t avail,
                Step *s)
{
    uint32_t b = p[0];
    if (b < 0x80) {
        put(s, b, 1);
        return 0;
    }
    if (b == 0x80 || b == 0xFF) {
        put(s, 0xFFFD, 1);
        return 0;
    }
    if (avail < 2)
        return Res_charsetIncomplete;
    uint32_t b2 = p[1];
    if (b2 >= 0x30 && b2 <= 0x39) {
        // A four-byte form. One that the third or fourth byte breaks gives
        // U+FFFD for the lead byte alone; the rest is read again.
        if (avail >= 3 && (p[2] < 0x81 || p[2] == 0xFF)) {
            put(s, 0xFFFD, 1);
            return 0;
        }
        if (avail >= 4 && (p[3] < 0x30 || p[3] > 0x39)) {
            put(s, 0xFFFD, 1);
            return 0;
        }
        if (avail < 4)
            return Res_charsetIncomplete;
        uint32_t L = ((b - 0x81) * 10 + (b2 - 0x30)) * 1260 + (p[2] - 0x81) * 10 + (p[3] - 0x30);
        if (L < GbBmpLimit) {
            const CharsetGbRange *r = gbFind(h, L, 0);
            put(s, r ? L + r->offset : 0xFFFD, 4);
        } else if (L >= GbSupplementaryBase && L <= GbSupplementaryBase + 0xFFFFF) {
            char16_t *out = s->units;
            (void)Ustr_putCodePoint(&out, 0x10000 + (L - GbSupplementaryBase), nullptr);
            s->count = size_t(out - s->units);
            s->used = 4;
        } else {
            put(s, 0xFFFD, 4);
        }
        return 0;
    }
    if (b2 >= 0x40 && b2 <= 0xFE && b2 != 0x7F)
        twoByte(t, h, p, s);
    else
        put(s, 0xFFFD, b2 < 0x80 ? 1 : 2);
    return 0;
}

int decodeStep(uint32_t code, const CharsetTable *t, const CharsetHooks *h, const uint8_t *p,
               size_t avail, Step *s)
{
    uint32_t b = p[0];
    switch (code) {
    case CharsetCode_iso2022jp: return stepIso2022jp(t, h, p, avail, s);
    case CharsetCode_eucJp: return stepEucJp(t, h, p, avail, s);
    case CharsetCode_gbk:
        if (h->gbRanges)
            return stepGb18030(t, h, p, avail, s);
        break;
    case CharsetCode_shiftJis:
        if (b >= 0xA1 && b <= 0xDF) {
            put(s, b + 0xFEC0, 1);
            return 0;
        }
        if (b == 0x80 || b == 0xA0 || b >= 0xFD) {
            s->count = 0; // not characters: skipped
            s->used = 1;
            return 0;
        }
        break;
    default: break;
    }
    if (b < 0x80) {
        put(s, b, 1);
        return 0;
    }
    if (avail < 2)
        return Res_charsetIncomplete;
    twoByte(t, h, p, s);
    return 0;
}

// Appends to buf the ASCII byte c, for ISO-2022-JP after returning to
// ASCII when the state is not.
void putAscii(uint32_t code, uint32_t *shift, uint8_t c, uint8_t *buf, size_t *n)
{
    if (code == CharsetCode_iso2022jp && *shift != 0) {
        buf[(*n)++] = 0x1B;
        buf[(*n)++] = '(';
        buf[(*n)++] = 'B';
        *shift = 0;
    }
    buf[(*n)++] = c;
}

// The bytes of one code point (at most 5) into buf.
void encodeChar(uint32_t code, const CharsetTable *t, const CharsetHooks *h, uint32_t cp,
                uint32_t *shift, uint8_t *buf, size_t *n)
{
    *n = 0;
    if (cp < 0x80) {
        putAscii(code, shift, uint8_t(cp), buf, n);
        return;
    }
    if (code >= CharsetCode_shiftJis && code <= CharsetCode_eucJp && cp >= 0xFF61 && cp <= 0xFF9F) {
        // Half-width katakana are single bytes in Shift_JIS and EUC-JP;
        // ISO-2022-JP has no form for them.
        if (code == CharsetCode_iso2022jp) {
            putAscii(code, shift, '?', buf, n);
            return;
        }
        if (code == CharsetCode_eucJp)
            buf[(*n)++] = 0x8E;
        buf[(*n)++] = uint8_t(cp - 0xFEC0);
        return;
    }
    if (code == CharsetCode_gbk) {
        uint32_t L = 0;
        bool four = false;
        if (cp >= 0x10000) {
            L = cp - 0x10000 + GbSupplementaryBase;
            four = true;
        } else if (h->gbRanges) {
            const CharsetGbRange *r = gbFind(h, cp, 1);
            if (r) {
                L = cp - r->offset;
                four = true;
            }
        }
        if (four) {
            buf[0] = uint8_t(L / 12600 + 0x81);
            buf[1] = uint8_t((L % 12600) / 1260 + 0x30);
            buf[2] = uint8_t((L % 1260) / 10 + 0x81);
            buf[3] = uint8_t(L % 10 + 0x30);
            *n = 4;
            return;
        }
    }
    uint32_t c = (cp == 0xFFFD || cp > 0xFFFF) ? 0 : reverseLookup(cp, t);
    uint8_t pair[2] = {uint8_t(c >> 8), uint8_t(c)};
    if (c != 0 && code == CharsetCode_iso2022jp && (!h->jisOut || h->jisOut(pair) != 0))
        c = 0;
    if (c != 0 && code == CharsetCode_eucJp && (!h->eucOut || h->eucOut(pair) != 0))
        c = 0;
    if (c == 0) {
        putAscii(code, shift, '?', buf, n);
        return;
    }
    if (code == CharsetCode_iso2022jp && *shift != 2) {
        buf[(*n)++] = 0x1B;
        buf[(*n)++] = '$';
        buf[(*n)++] = 'B';
        *shift = 2;
    }
    buf[(*n)++] = pair[0];
    buf[(*n)++] = pair[1];
}

// Fills a newly allocated table record.
int install(CharsetTable **slot, const uint16_t *unicode, const CharsetRun *runs,
            const CharsetLinear *linear, const uint8_t *linearLen, const uint32_t *counts)
{
    if (*slot)
        return 0;
    CharsetTable *t = static_cast<CharsetTable *>(Mem_malloc(sizeof(CharsetTable)));
    if (!t)
        return Res_noMemory;
    t->unicode = unicode;
    t->unicodeCount = counts[0];
    t->runs = runs;
    t->runCount = counts[1];
    t->linear = linear;
    t->linearLen = linearLen;
    t->linearCount = counts[2];
    *slot = t;
    return 0;
}

void setConverters(CharsetHooks *hooks)
{
    hooks->decoder = Charset_decodeMultibyte;
    hooks->encoder = Charset_encodeMultibyte;
}

} // namespace

// ------------------------------------------------------------ lookups

uint32_t Charset_lookupMultibyte(uint32_t code, const CharsetTable *t, const CharsetHooks *hooks)
{
    if (t->linearCount > 0) {
        CodeKey key = {code, t->linear + t->linearCount - 1};
        const CharsetLinear *e = static_cast<const CharsetLinear *>(
            search(&key, t->linear, t->linearCount, sizeof(CharsetLinear), compareLinear));
        if (e && code < uint32_t(e->first) + t->linearLen[e - t->linear])
            return e->unicode + (code - e->first);
    }
    if (t->runCount > 0) {
        CodeKey key = {code, nullptr};
        const CharsetRun *r = static_cast<const CharsetRun *>(
            search(&key, t->runs, t->runCount, sizeof(CharsetRun), compareRun));
        if (r && code - r->first < uint32_t(r[1].index - r->index))
            return t->unicode[r->index + (code - r->first)];
    }
    if (hooks && hooks->fallback)
        return hooks->fallback(code, t);
    return 0xFFFD;
}

const CharsetTable *Charset_tableForCode(const CharsetHooks *hooks, uint32_t code)
{
    if (!hooks)
        return nullptr;
    switch (code) {
    case CharsetCode_korean: return hooks->korean;
    case CharsetCode_shiftJis:
    case CharsetCode_iso2022jp:
    case CharsetCode_eucJp: return hooks->japanese;
    case CharsetCode_big5: return hooks->big5;
    case CharsetCode_gbk: return hooks->chinese;
    default: return nullptr;
    }
}

int Charset_gbRangeCompare(const void *key, const void *range)
{
    const CharsetGbKey *k = static_cast<const CharsetGbKey *>(key);
    const CharsetGbRange *r = static_cast<const CharsetGbRange *>(range);
    uint32_t end = r == k->last ? GbBmpLimit : r[1].first;
    uint32_t first = r->first;
    if (k->byUnicode) {
        // Ranges rise in Unicode as in index: compare in code points.
        first += r->offset;
        end += r->offset;
    }
    if (k->value < first)
        return -1;
    if (k->value >= end)
        return 1;
    return 0;
}

// ---------------------------------------------------- Japanese hooks

uint32_t Charset_jisToSjis(uint32_t row, uint32_t cell)
{
    uint32_t lead = (row + 1) / 2 + (row < 0x5F ? 0x70 : 0xB0);
    uint32_t trail;
    if (row & 1)
        trail = cell + (cell <= 0x5F ? 0x1F : 0x20);
    else
        trail = cell + 0x7E;
    return ((lead << 8) | trail) & 0xFFFF;
}

int Charset_sjisToJis(uint8_t *pair)
{
    uint32_t lead = pair[0], trail = pair[1];
    bool leadOk = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xEF);
    if (!leadOk || trail < 0x40 || trail == 0x7F || trail > 0xFC)
        return 1;
    uint32_t row = 2 * (lead - (lead < 0xA0 ? 0x70 : 0xB0));
    uint32_t cell;
    if (trail < 0x9F) {
        row -= 1;
        cell = trail - (trail <= 0x7F ? 0x1F : 0x20);
    } else {
        cell = trail - 0x7E;
    }
    pair[0] = uint8_t(row);
    pair[1] = uint8_t(cell);
    return 0;
}

int Charset_sjisToEuc(uint8_t *pair)
{
    if (Charset_sjisToJis(pair) != 0)
        return 1;
    pair[0] = uint8_t(pair[0] + 0x80);
    pair[1] = uint8_t(pair[1] + 0x80);
    return 0;
}

uint32_t Charset_japaneseFallback(uint32_t code, const CharsetTable *table)
{
    // The hooks record is shared by every table: answer for the Japanese
    // one only.
    if (!table || table->unicode != Charset_japaneseUnicode)
        return 0xFFFD;
    const CharsetPair *e = static_cast<const CharsetPair *>(
        search(&code, Charset_japaneseExtras, Charset_japaneseExtraCount, sizeof(CharsetPair),
               comparePair));
    return e ? e->unicode : 0xFFFD;
}

// ------------------------------------------------------ hooks record

int Charset_createHooks(EngineContext *context)
{
    if (context->charsetHooks)
        return 0;
    CharsetHooks *h = static_cast<CharsetHooks *>(Mem_calloc(1, sizeof(CharsetHooks)));
    if (!h)
        return Res_noMemory;
    context->charsetHooks = h;
    return 0;
}

void Charset_destroyHooks(EngineContext *context)
{
    CharsetHooks *h = context ? context->charsetHooks : nullptr;
    if (!h)
        return;
    Mem_free(h->japanese);
    Mem_free(h->big5);
    Mem_free(h->korean);
    Mem_free(h->chinese);
    Mem_free(h);
    context->charsetHooks = nullptr;
}

int Charset_installJapanese(CharsetHooks *hooks)
{
    int r = install(&hooks->japanese, Charset_japaneseUnicode, Charset_japaneseRuns,
                    Charset_japaneseLinear, Charset_japaneseLinearLen, Charset_japaneseCounts);
    if (r != 0)
        return r;
    setConverters(hooks);
    hooks->jisOut = Charset_sjisToJis;
    hooks->jisIn = Charset_jisToSjis;
    hooks->eucOut = Charset_sjisToEuc;
    hooks->fallback = Charset_japaneseFallback;
    return 0;
}

int Charset_installBig5(CharsetHooks *hooks)
{
    int r = install(&hooks->big5, Charset_big5Unicode, Charset_big5Runs, Charset_big5Linear,
                    Charset_big5LinearLen, Charset_big5Counts);
    if (r == 0)
        setConverters(hooks);
    return r;
}

int Charset_installKorean(CharsetHooks *hooks)
{
    int r = install(&hooks->korean, Charset_koreanUnicode, Charset_koreanRuns, Charset_koreanLinear,
                    Charset_koreanLinearLen, Charset_koreanCounts);
    if (r == 0)
        setConverters(hooks);
    return r;
}

int Charset_installChinese(CharsetHooks *hooks)
{
    int r = install(&hooks->chinese, Charset_chineseUnicode, Charset_chineseRuns,
                    Charset_chineseLinear, Charset_chineseLinearLen, Charset_chineseCounts);
    if (r != 0)
        return r;
    setConverters(hooks);
    hooks->gbRanges = Charset_gbRanges;
    hooks->gbRangeCount = Charset_gbRangeCount;
    hooks->gbCompare = Charset_gbRangeCompare;
    return 0;
}

// -------------------------------------------------------- converters

int Charset_decodeMultibyte(uint32_t code, const uint8_t *src, size_t srcLen, uint8_t *dst,
                            size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state,
                            const CharsetHooks *hooks)
{
    *consumed = 0;
    *produced = 0;
    if (code < CharsetCode_korean || code > CharsetCode_gbk)
        return Res_charsetUnknown;
    const CharsetTable *t = Charset_tableForCode(hooks, code);
    if (!t)
        return Res_charsetNoTable;
    size_t cap = dstCap / 2, in = 0, out = 0;
    uint32_t shift = (code == CharsetCode_iso2022jp && state) ? state->shift : 0;
    int status = 0;
    while (in < srcLen) {
        Step s = {{0, 0}, 0, 0, shift};
        if (decodeStep(code, t, hooks, src + in, srcLen - in, &s) != 0) {
            status = Res_charsetIncomplete;
            break;
        }
        if (out + s.count > cap) {
            status = Res_charsetDestFull;
            break;
        }
        for (size_t i = 0; i < s.count; i++)
            Charset_putUnit(dst, out++, s.units[i]);
        in += s.used;
        shift = s.shift;
    }
    if (code == CharsetCode_iso2022jp && state)
        state->shift = shift;
    *consumed = in;
    *produced = 2 * out;
    return status;
}

int Charset_encodeMultibyte(uint32_t code, const uint8_t *src, size_t srcLen, uint8_t *dst,
                            size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state,
                            const CharsetHooks *hooks)
{
    *consumed = 0;
    *produced = 0;
    if (code < CharsetCode_korean || code > CharsetCode_gbk)
        return Res_charsetUnknown;
    const CharsetTable *t = Charset_tableForCode(hooks, code);
    if (!t)
        return Res_charsetNoTable;
    size_t count = srcLen / 2, pos = 0, out = 0;
    uint32_t shift = (code == CharsetCode_iso2022jp && state) ? state->shift : 0;
    int status = 0;
    while (pos < count) {
        size_t at = pos;
        uint32_t cp;
        if (Charset_readCodePoint(src, count, &pos, &cp) != 0) {
            status = Res_charsetIncomplete;
            break;
        }
        uint8_t buf[8];
        size_t n;
        uint32_t next = shift;
        encodeChar(code, t, hooks, cp, &next, buf, &n);
        if (out + n > dstCap) {
            pos = at;
            status = Res_charsetDestFull;
            break;
        }
        for (size_t i = 0; i < n; i++)
            dst[out++] = buf[i];
        shift = next;
    }
    if (status == 0 && code == CharsetCode_iso2022jp && shift != 0 && state && state->final) {
        if (out + 3 > dstCap) {
            status = Res_charsetDestFull;
        } else {
            dst[out++] = 0x1B;
            dst[out++] = '(';
            dst[out++] = 'B';
            shift = 0;
        }
    }
    if (code == CharsetCode_iso2022jp && state)
        state->shift = shift;
    *consumed = 2 * pos;
    *produced = out;
    return status;
}

// ------------------------------------------ registered converters

namespace {

CharsetHooks *hooksOf(EngineContext *ctx)
{
    return ctx ? ctx->charsetHooks : nullptr;
}

// Registered converters pass the four converter statuses through and
// report anything else as 0.
int passStatus(int r)
{
    return (r >= Res_charsetUnknown && r <= Res_charsetNoTable) ? r : 0;
}

int viaDecoder(uint32_t code, const uint8_t *src, size_t srcLen, uint8_t *dst, size_t dstCap,
               size_t *consumed, size_t *produced, CharsetState *state, EngineContext *ctx)
{
    CharsetHooks *h = hooksOf(ctx);
    CharsetMultibyteFn fn = Charset_decodeMultibyte;
    if (h) {
        if (!h->decoder)
            h->decoder = Charset_decodeMultibyte;
        fn = h->decoder;
    }
    return passStatus(fn(code, src, srcLen, dst, dstCap, consumed, produced, state, h));
}

int viaEncoder(uint32_t code, const uint8_t *src, size_t srcLen, uint8_t *dst, size_t dstCap,
               size_t *consumed, size_t *produced, CharsetState *state, EngineContext *ctx)
{
    CharsetHooks *h = hooksOf(ctx);
    CharsetMultibyteFn fn = Charset_encodeMultibyte;
    if (h) {
        if (!h->encoder)
            h->encoder = Charset_encodeMultibyte;
        fn = h->encoder;
    }
    return passStatus(fn(code, src, srcLen, dst, dstCap, consumed, produced, state, h));
}

} // namespace

int Charset_koreanToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                          size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state)
{
    return viaDecoder(CharsetCode_korean, src, srcLen, dst, dstCap, consumed, produced, state,
                      context);
}

int Charset_sjisToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                        size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state)
{
    return viaDecoder(CharsetCode_shiftJis, src, srcLen, dst, dstCap, consumed, produced, state,
                      context);
}

int Charset_iso2022jpToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen,
                             uint8_t *dst, size_t dstCap, size_t *consumed, size_t *produced,
                             CharsetState *state)
{
    return viaDecoder(CharsetCode_iso2022jp, src, srcLen, dst, dstCap, consumed, produced, state,
                      context);
}

int Charset_eucJpToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                         size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state)
{
    return viaDecoder(CharsetCode_eucJp, src, srcLen, dst, dstCap, consumed, produced, state,
                      context);
}

int Charset_big5ToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                        size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state)
{
    return viaDecoder(CharsetCode_big5, src, srcLen, dst, dstCap, consumed, produced, state,
                      context);
}

int Charset_gbkToUtf16(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                       size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state)
{
    return viaDecoder(CharsetCode_gbk, src, srcLen, dst, dstCap, consumed, produced, state,
                      context);
}

int Charset_utf16ToKorean(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                          size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state)
{
    return viaEncoder(CharsetCode_korean, src, srcLen, dst, dstCap, consumed, produced, state,
                      context);
}

int Charset_utf16ToSjis(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                        size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state)
{
    return viaEncoder(CharsetCode_shiftJis, src, srcLen, dst, dstCap, consumed, produced, state,
                      context);
}

int Charset_utf16ToIso2022jp(EngineContext *context, const uint8_t *src, size_t srcLen,
                             uint8_t *dst, size_t dstCap, size_t *consumed, size_t *produced,
                             CharsetState *state)
{
    return viaEncoder(CharsetCode_iso2022jp, src, srcLen, dst, dstCap, consumed, produced, state,
                      context);
}

int Charset_utf16ToEucJp(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                         size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state)
{
    return viaEncoder(CharsetCode_eucJp, src, srcLen, dst, dstCap, consumed, produced, state,
                      context);
}

int Charset_utf16ToGbk(EngineContext *context, const uint8_t *src, size_t srcLen, uint8_t *dst,
                       size_t dstCap, size_t *consumed, size_t *produced, CharsetState *state)
{
    return viaEncoder(CharsetCode_gbk, src, srcLen, dst, dstCap, consumed, produced, state,
                      context);
}
