// CMaps: loading by name, the binary and text readers, lookup and decoding.
#include "fonts/pdfcmap.h"

#include <algorithm>
#include <cstring>

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "core/text/charset.h"
#include "core/text/ustrbuf.h"
#include "fonts/fontengine.h"
#include "fonts/pslexer.h"
#include "graphics/codecs/decodestream.h"
#include "platform/url/url.h"
#include "platform/vfs/helpers.h"
#include "platform/vfs/vfs.h"
#include "platform/vfs/vfsbytestream.h"

namespace {

int loadNamed(EngineContext *engine, const CMapSysInfo *sysinfo, const char *name,
              ByteStream *toUnicode, uint32_t depth, CMap **out);

CMap *newCMap()
{
    CMap *c = static_cast<CMap *>(Mem_calloc(1, sizeof(CMap)));
    if (c)
        c->kind = -1;
    return c;
}

// ------------------------------------------------------------ byte input

// The next byte, or -1 at the end (the stream's status stays in it).
int nextByte(ByteStream *s)
{
    if (s->readPtr < s->end)
        return *s->readPtr++;
    int c = s->getByte(s);
    return c >= 0 ? c : -1;
}

int endStatus(ByteStream *s)
{
    int r = ByteStream_takeStatus(s);
    return r ? r : CMap_errEnded;
}

// n big-endian bytes into *v.
int readBE(ByteStream *s, uint32_t n, uint64_t *v)
{
    *v = 0;
    for (uint32_t i = 0; i < n; i++) {
        int c = nextByte(s);
        if (c < 0)
            return endStatus(s);
        *v = *v << 8 | uint32_t(c);
    }
    return Res_ok;
}

// A NUL-terminated header string of at most max bytes (NUL included).
int readHeaderString(ByteStream *s, char *buffer, uint32_t max)
{
    for (uint32_t i = 0; i < max; i++) {
        int c = nextByte(s);
        if (c < 0)
            return endStatus(s);
        buffer[i] = char(c);
        if (c == 0)
            return Res_ok;
    }
    return CMap_errHeader;
}

// ------------------------------------------------------------ ranges

void putCode(uint8_t *dst, uint64_t code, uint32_t n)
{
    for (uint32_t i = 0; i < n; i++)
        dst[i] = uint8_t(code >> (8 * (n - 1 - i)));
}

// Enters one range. Every range is checked against its code length and
// the CID space before anything is written: a bad record fails the load.
int addRange(CMap *c, uint32_t n, uint64_t low, uint64_t high, uint32_t cid)
{
    uint64_t limit = n >= 1 && n <= 6 ? (uint64_t(1) << (8 * n)) - 1 : 0;
    if (n < 1 || n > 6 || high > limit || high < low || cid > 65535 ||
        high - low > uint64_t(65535 - cid))
        return CMap_errBadRange;
    if (n == 1 || n == 2) {
        uint16_t **table = n == 1 ? &c->oneByte : &c->twoByte;
        if (!*table) {
            *table = static_cast<uint16_t *>(Mem_calloc(n == 1 ? 256 : 65536, sizeof(uint16_t)));
            if (!*table)
                return Res_noMemory;
        }
        for (uint64_t code = low; code <= high; code++)
            (*table)[code] = uint16_t(cid + (code - low));
        return Res_ok;
    }
    if (c->rangeCount == c->rangeCapacity) {
        uint32_t cap = c->rangeCapacity ? c->rangeCapacity * 2 : CMap_rangeStart;
        CMapRange *r =
            static_cast<CMapRange *>(Mem_realloc(c->ranges, size_t(cap) * sizeof(CMapRange)));
        if (!r)
            return Res_noMemory;
        c->ranges = r;
        c->rangeCapacity = cap;
    }
    CMapRange *r = &c->ranges[c->rangeCount++];
    memset(r->low, 0, 6);
    memset(r->high, 255, 6);
    putCode(r->low, low, n);
    putCode(r->high, high, n);
    r->length = uint16_t(n);
    r->firstCid = uint16_t(cid);
    return Res_ok;
}

void sortRanges(CMap *c)
{
    if (c->rangeCount > 1)
        std::sort(c->ranges, c->ranges + c->rangeCount, [](const CMapRange &a, const CMapRange &b) {
            return memcmp(a.low, b.low, 6) < 0;
        });
}

// -1 below the range, 1 above, 0 inside.
int rangeCompare(const uint8_t *window, const CMapRange *r)
{
    if (memcmp(window, r->low, 6) < 0)
        return -1;
    if (memcmp(window, r->high, 6) > 0)
        return 1;
    return 0;
}

// ------------------------------------------------------------ files

bool startsWith(const char *s, const char *prefix)
{
    return strncmp(s, prefix, strlen(prefix)) == 0;
}

int loadOrderingUnicode(EngineContext *engine, const CMapSysInfo *sysinfo, const char *ordering,
                        uint16_t **out)
{
    *out = nullptr;
    if (!sysinfo)
        return Res_ok;
    const char *o = ordering && ordering[0] ? ordering : sysinfo->ordering;
    if (!o)
        return Res_ok;
    return CMap_loadCollectionUnicode(engine, o, out);
}

// ------------------------------------------------------------ text

struct Tokens {
    PsLexer *lexer;
    PsToken *token; // the last token read (owned)
};

// The next token into t->token; false at the end (status in *r).
bool nextToken(Tokens *t, int *r)
{
    PsToken_free(t->token);
    t->token = PsToken_next(t->lexer);
    if (t->token)
        return true;
    int s = PsToken_status(t->lexer);
    *r = s ? s : CMap_errEnded;
    return false;
}

// Skips to a name token equal to one of names; *which its index.
bool skipTo(Tokens *t, const char *const *names, uint32_t n, uint32_t *which, int *r)
{
    while (nextToken(t, r)) {
        if (t->token->kind != PsToken_name)
            continue;
        for (uint32_t i = 0; i < n; i++)
            if (PsToken_equals(t->token, names[i])) {
                *which = i;
                return true;
            }
    }
    return false;
}

uint64_t codeValue(const PsToken *tok)
{
    uint64_t v = 0;
    for (uint32_t i = 0; i < tok->length; i++)
        v = v << 8 | uint8_t(tok->text[i]);
    return v;
}

PsToken *take(Tokens *t)
{
    PsToken *tok = t->token;
    t->token = nullptr;
    return tok;
}

int parseTextBody(EngineContext *engine, const CMapSysInfo *sysinfo, Tokens *t, uint32_t depth,
                  CMap *c)
{
    int r = Res_ok;
    static constexpr const char *begin[] = {"begincmap"};
    uint32_t which = 0;
    if (!skipTo(t, begin, 1, &which, &r))
        return r;
    // Up to the literal name "Ordering"; "usecmap" after a literal name
    // loads that CMap as the parent.
    PsToken *previous = nullptr;
    for (;;) {
        if (!nextToken(t, &r)) {
            PsToken_free(previous);
            return r;
        }
        if (t->token->kind == PsToken_literal && PsToken_equals(t->token, "Ordering"))
            break;
        if (t->token->kind == PsToken_name && PsToken_equals(t->token, "usecmap") && previous &&
            previous->kind == PsToken_literal && !c->parent) {
            if (depth >= CMap_maxUseDepth) {
                PsToken_free(previous);
                return CMap_errBadRange;
            }
            r = loadNamed(engine, nullptr, previous->text, nullptr, depth + 1, &c->parent);
            if (r != Res_ok) {
                PsToken_free(previous);
                return r;
            }
            c->useName = static_cast<char *>(Mem_malloc(previous->length + 1));
            if (!c->useName) {
                PsToken_free(previous);
                return Res_noMemory;
            }
            memcpy(c->useName, previous->text, previous->length + 1);
        }
        PsToken_free(previous);
        previous = take(t);
    }
    PsToken_free(previous);
    if (!nextToken(t, &r))
        return r;
    if (t->token->kind != PsToken_string || t->token->length > 31)
        return CMap_errOrdering;
    memcpy(c->ordering, t->token->text, t->token->length + 1);
    if (sysinfo) {
        r = CMap_loadCollectionUnicode(engine, c->ordering, &c->toUnicode);
        if (r != Res_ok)
            return r;
    }
    static constexpr const char *sections[] = {"begincidchar", "begincidrange", "endcmap"};
    for (;;) {
        if (!skipTo(t, sections, 3, &which, &r))
            return r;
        if (which == 2)
            break;
        bool range = which == 1;
        const char *end = range ? "endcidrange" : "endcidchar";
        for (;;) {
            if (!nextToken(t, &r))
                return r;
            if (t->token->kind == PsToken_name && PsToken_equals(t->token, end))
                break;
            if (t->token->kind != PsToken_string)
                return range ? CMap_errCidrange : CMap_errCidchar;
            PsToken *low = take(t);
            PsToken *high = nullptr;
            int bad = 0;
            if (range) {
                if (!nextToken(t, &r)) {
                    PsToken_free(low);
                    return r;
                }
                high = take(t);
                if (high->kind != PsToken_string)
                    bad = CMap_errCidrange;
            }
            if (!bad && !nextToken(t, &r))
                bad = r;
            if (!bad && t->token->kind != PsToken_integer)
                bad = range ? CMap_errCidrange : CMap_errCidchar;
            const PsToken *hi = high ? high : low;
            if (!bad && (low->length > 6 || hi->length > 6))
                bad = CMap_errCodeLength;
            if (!bad && low->length != hi->length)
                bad = CMap_errCidrange;
            if (!bad)
                bad = addRange(c, low->length, codeValue(low), codeValue(hi),
                               uint32_t(t->token->value));
            PsToken_free(low);
            PsToken_free(high);
            if (bad)
                return bad;
        }
    }
    sortRanges(c);
    return Res_ok;
}

int parseToUnicodeBody(Tokens *t, uint16_t *table)
{
    int r = Res_ok;
    uint32_t which = 0;
    static constexpr const char *begin[] = {"begincmap"};
    if (!skipTo(t, begin, 1, &which, &r))
        return r;
    static constexpr const char *sections[] = {"beginbfchar", "beginbfrange", "endcmap"};
    for (;;) {
        if (!skipTo(t, sections, 3, &which, &r))
            return r;
        if (which == 2)
            return Res_ok;
        bool range = which == 1;
        const char *end = range ? "endbfrange" : "endbfchar";
        int kindError = range ? CMap_errBfrange : CMap_errBfchar;
        for (;;) {
            if (!nextToken(t, &r))
                return r;
            if (t->token->kind == PsToken_name && PsToken_equals(t->token, end))
                break;
            if (t->token->kind != PsToken_string)
                return kindError;
            PsToken *low = take(t);
            PsToken *high = nullptr;
            int bad = 0;
            if (range) {
                if (!nextToken(t, &r))
                    bad = r;
                else if (t->token->kind != PsToken_string)
                    bad = kindError;
                else
                    high = take(t);
            }
            // The destination: a string, or an array whose first element serves.
            PsToken *dest = nullptr;
            if (!bad && !nextToken(t, &r))
                bad = r;
            if (!bad && range && t->token->kind == PsToken_name && PsToken_equals(t->token, "[")) {
                for (;;) {
                    if (!nextToken(t, &r)) {
                        bad = r;
                        break;
                    }
                    if (t->token->kind == PsToken_name && PsToken_equals(t->token, "]"))
                        break;
                    if (!dest)
                        dest = take(t);
                }
                if (!bad && (!dest || dest->kind != PsToken_string))
                    bad = kindError;
            } else if (!bad) {
                if (t->token->kind != PsToken_string)
                    bad = kindError;
                else
                    dest = take(t);
            }
            if (!bad && !range && low->length <= 2 && low->length >= 1 && dest->length >= 1 &&
                dest->length <= 2)
                table[codeValue(low)] = uint16_t(codeValue(dest));
            if (!bad && range && low->length == 2 && high->length == 2 && dest->length == 2) {
                uint32_t lo = uint32_t(codeValue(low)), hi = uint32_t(codeValue(high));
                uint32_t d = uint32_t(codeValue(dest));
                for (uint32_t c = lo; c <= hi; c++)
                    table[c] = uint16_t(d + (c - lo));
            }
            PsToken_free(low);
            PsToken_free(high);
            PsToken_free(dest);
            if (bad)
                return bad;
        }
    }
}

// ------------------------------------------------------------ by name

struct CharsetName {
    const char *text;
    uint8_t test; // 0 contains, 1 starts with, 2 equals
    uint8_t kind;
};

constexpr CharsetName charsetNames[] = {
    {"-UCS2-", 0, 2},       {"GB-EUC-", 1, 35},    {"GBpc-EUC-", 1, 35}, {"GBK-EUC-", 1, 35},
    {"ETen-B5-", 1, 34},    {"ETenms-B5-", 1, 34}, {"B5pc-", 1, 34},     {"90ms-RKSJ-", 1, 31},
    {"90msp-RKSJ-", 1, 31}, {"H", 2, 32},          {"V", 2, 32},         {"EUC-H", 2, 33},
    {"EUC-V", 2, 33},       {"-RKSJ-", 0, 31},     {"-UHC-", 0, 30},
};

int charsetKind(const char *name)
{
    for (const CharsetName &n : charsetNames) {
        bool hit = n.test == 0   ? strstr(name, n.text) != nullptr
                   : n.test == 1 ? startsWith(name, n.text)
                                 : strcmp(name, n.text) == 0;
        if (hit)
            return n.kind;
    }
    return -1;
}

int loadNamed(EngineContext *engine, const CMapSysInfo *sysinfo, const char *name,
              ByteStream *toUnicode, uint32_t depth, CMap **out)
{
    *out = nullptr;
    if (!name)
        return CMap_errNoCMap;
    if (depth > CMap_maxUseDepth)
        return CMap_errBadRange;
    int r = Res_ok;
    if (strcmp(name, "Identity-H") == 0 || strcmp(name, "Identity-V") == 0) {
        CMap *c = newCMap();
        if (!c)
            return Res_noMemory;
        c->identity = 1;
        r = loadOrderingUnicode(engine, sysinfo, nullptr, &c->toUnicode);
        if (r == Res_ok && toUnicode && !c->toUnicode)
            r = CMap_parseToUnicode(toUnicode, &c->toUnicode);
        if (r != Res_ok) {
            CMap_free(c);
            return r;
        }
        *out = c;
        return Res_ok;
    }
    size_t n = strlen(name);
    char *file = static_cast<char *>(Mem_malloc(n + 5));
    if (!file)
        return Res_noMemory;
    for (size_t i = 0; i < n; i++)
        file[i] = name[i] >= 'A' && name[i] <= 'Z' ? char(name[i] + 32) : name[i];
    memcpy(file + n, ".dat", 5);
    ByteStream *s = nullptr;
    uint32_t which = 0;
    r = CMap_openDataFile(engine, file, 0, &s);
    if (r != Res_ok) {
        which = 1;
        r = CMap_openDataFile(engine, file, 1, &s);
    }
    Mem_free(file);
    if (r == Res_ok) {
        r = which == 0 ? CMap_readBinary(engine, sysinfo, s, depth, out)
                       : CMap_parseText(engine, sysinfo, s, depth, out);
        // The stream was only read from: a failed close loses nothing.
        (void)ByteStream_close(s);
        return r;
    }
    int kind = charsetKind(name);
    if (kind < 0)
        return CMap_errNoCMap;
    CMap *c = newCMap();
    if (!c)
        return Res_noMemory;
    c->kind = kind;
    r = loadOrderingUnicode(engine, sysinfo, nullptr, &c->toUnicode);
    if (r != Res_ok) {
        CMap_free(c);
        return r;
    }
    *out = c;
    return Res_ok;
}

// The range record that holds the code at window (six bytes), by binary
// search; its CID and length, or CID 0 and length 0.
uint16_t rangeLookup(const CMap *cmap, const uint8_t *window, uint32_t *length)
{
    uint32_t lo = 0, hi = cmap->rangeCount;
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        const CMapRange *r = &cmap->ranges[mid];
        int cmp = rangeCompare(window, r);
        if (cmp < 0) {
            hi = mid;
        } else if (cmp > 0) {
            lo = mid + 1;
        } else {
            // The big-endian difference of the code and the low code.
            uint64_t code = 0, low = 0;
            for (uint32_t i = 0; i < r->length; i++) {
                code = code << 8 | window[i];
                low = low << 8 | r->low[i];
            }
            *length = r->length;
            return uint16_t(std::min<uint64_t>(r->firstCid + (code - low), 65535));
        }
    }
    *length = 0;
    return 0;
}

// The lookup of the code at p with left bytes remaining: bytes past the
// end read as 0.
inline uint16_t lookupAt(const CMap *cmap, const uint8_t *p, size_t left, uint32_t *length)
{
    uint32_t b0 = p[0], b1 = left > 1 ? p[1] : 0;
    uint32_t cid = 0;
    *length = 0;
    if (cmap->identity) {
        cid = b0 << 8 | b1;
        *length = 2;
    }
    if (cmap->oneByte) {
        cid = cmap->oneByte[b0];
        *length = 1;
    }
    if (cid == 0 && cmap->twoByte) {
        cid = cmap->twoByte[b0 << 8 | b1];
        *length = 2;
    }
    if (cid == 0 && cmap->rangeCount) {
        uint8_t window[6] = {0, 0, 0, 0, 0, 0};
        memcpy(window, p, std::min<size_t>(6, left));
        uint32_t n = 0;
        uint16_t r = rangeLookup(cmap, window, &n);
        if (n) {
            *length = n;
            return r;
        }
    }
    return uint16_t(cid);
}

} // namespace

// ------------------------------------------------------------ public

int CMap_load(EngineContext *engine, const CMapSysInfo *sysinfo, const char *name,
              ByteStream *toUnicodeStream, CMap **out)
{
    return loadNamed(engine, sysinfo, name, toUnicodeStream, 0, out);
}

int CMap_openDataFile(EngineContext *engine, const char *name, uint32_t which, ByteStream **out)
{
    *out = nullptr;
    FontEngine *fe = engine ? engine->fontEngine : nullptr;
    if (!fe || !fe->fontsDir)
        return Res_nullInput;
    char16_t *dir = Config_getUstrA(engine, engine->config, u"Paths",
                                    which == 0 ? "Fonts_Bincmaps" : "Fonts_Cmaps", nullptr);
    const char16_t *fallback = which == 0 ? u"bincmaps/" : u"cmaps/";
    const char16_t *d = dir ? dir : fallback;
    size_t dn = 0, nn = strlen(name);
    while (d[dn])
        dn++;
    char16_t *text = static_cast<char16_t *>(Mem_malloc((dn + nn + 1) * sizeof(char16_t)));
    if (!text) {
        Mem_free(dir);
        return Res_noMemory;
    }
    for (size_t i = 0; i < dn; i++)
        text[i] = d[i] == u'\\' ? u'/' : d[i];
    for (size_t i = 0; i < nn; i++)
        text[dn + i] = char16_t(uint8_t(name[i]));
    text[dn + nn] = 0;
    Mem_free(dir);
    Url *url = Url_resolveText(engine, text, fe->fontsDir);
    Mem_free(text);
    if (!url)
        return Res_noMemory;
    VfsHandle *h = nullptr;
    int r = Vfs_openForReading(engine, &h, url);
    Url_free(url);
    if (r != Res_ok)
        return r;
    r = VfsByteStream_create(h, out, 1, 1);
    if (r != Res_ok)
        // The stream was only read or probed: a failed close loses nothing.
        (void)Vfs_close(h);
    return r;
}

int CMap_loadCollectionUnicode(EngineContext *engine, const char *ordering, uint16_t **out)
{
    *out = nullptr;
    static constexpr const char *prefixes[] = {"CNS", "GB", "Japan", "Korea"};
    static constexpr const char *files[] = {"adobe-cns1-ucs2.dat", "adobe-gb1-ucs2.dat",
                                            "adobe-japan1-ucs2.dat", "adobe-korea1-ucs2.dat"};
    const char *file = nullptr;
    for (size_t i = 0; i < 4 && ordering; i++)
        if (startsWith(ordering, prefixes[i])) {
            file = files[i];
            break;
        }
    if (!file)
        return Res_ok;
    // A file that opens but cannot be read leaves no table and success.
    uint16_t *table = nullptr;
    ByteStream *s = nullptr;
    int r = CMap_openDataFile(engine, file, 0, &s);
    if (r == Res_ok) {
        if (CMap_readBinaryUnicode(s, &table) != Res_ok)
            table = nullptr;
    } else {
        r = CMap_openDataFile(engine, file, 1, &s);
        if (r == Res_ok && CMap_parseToUnicode(s, &table) != Res_ok)
            table = nullptr;
    }
    if (s)
        // The stream was only read from: a failed close loses nothing.
        (void)ByteStream_close(s);
    *out = table;
    return r;
}

int CMap_readBinary(EngineContext *engine, const CMapSysInfo *sysinfo, ByteStream *stream,
                    uint32_t depth, CMap **out)
{
    *out = nullptr;
    char magic[8];
    for (char &m : magic) {
        int b = nextByte(stream);
        if (b < 0)
            return endStatus(stream);
        m = char(b);
    }
    bool delta = memcmp(magic, "BINCMAP3", 8) == 0;
    if (!delta && memcmp(magic, "BINCMAP1", 8) != 0)
        return CMap_errMagic;
    CMap *c = newCMap();
    if (!c)
        return Res_noMemory;
    char use[65];
    int r = readHeaderString(stream, c->ordering, 32);
    if (r == Res_ok)
        r = readHeaderString(stream, use, 65);
    if (r == Res_ok && sysinfo)
        r = CMap_loadCollectionUnicode(engine, c->ordering, &c->toUnicode);
    if (r == Res_ok && use[0]) {
        size_t n = strlen(use);
        c->useName = static_cast<char *>(Mem_malloc(n + 1));
        if (!c->useName)
            r = Res_noMemory;
        else
            memcpy(c->useName, use, n + 1);
        if (r == Res_ok)
            r = depth >= CMap_maxUseDepth
                    ? CMap_errBadRange
                    : loadNamed(engine, nullptr, use, nullptr, depth + 1, &c->parent);
    }
    ByteStream *in = stream, *flate = nullptr;
    if (r == Res_ok && delta) {
        r = Pdf_Filter_flateNew(stream, &flate);
        in = flate;
    }
    while (r == Res_ok) {
        uint64_t count = 0, flags = 0;
        r = readBE(in, 2, &count);
        if (r != Res_ok || count == 0)
            break;
        r = readBE(in, 1, &flags);
        uint32_t n = uint32_t(flags & 7);
        bool range = flags & 0x80;
        if (r == Res_ok && (n < 1 || n > 6))
            r = CMap_errBadRange;
        uint64_t mod = uint64_t(1) << (8 * n);
        uint64_t nextCode = 0, nextCid = 0;
        for (uint64_t i = 0; i < count && r == Res_ok; i++) {
            uint64_t cid = 0, low = 0, high = 0;
            r = readBE(in, 2, &cid);
            if (r == Res_ok)
                r = readBE(in, n, &low);
            if (r == Res_ok && range)
                r = readBE(in, n, &high);
            if (r != Res_ok)
                break;
            if (!range)
                high = low;
            if (delta && n <= 2) {
                low = (low + nextCode) % mod;
                cid = (cid + nextCid) & 0xFFFF;
                high = range ? (high + low + 1) % mod : low;
                nextCode = (high + 1) % mod;
                nextCid = (cid + (high >= low ? high - low : 0) + (range ? 0 : 1)) & 0xFFFF;
            }
            r = addRange(c, n, low, high, uint32_t(cid));
        }
    }
    if (flate)
        // The stream was only read from: a failed close loses nothing.
        (void)ByteStream_close(flate);
    if (r != Res_ok) {
        CMap_free(c);
        return r;
    }
    sortRanges(c);
    *out = c;
    return Res_ok;
}

int CMap_readBinaryUnicode(ByteStream *stream, uint16_t **out)
{
    *out = nullptr;
    char magic[8];
    for (char &m : magic) {
        int b = nextByte(stream);
        if (b < 0)
            return endStatus(stream);
        m = char(b);
    }
    bool delta = memcmp(magic, "BINCMAP2", 8) == 0;
    if (!delta && memcmp(magic, "BINCMAP0", 8) != 0)
        return CMap_errMagic;
    uint64_t count = 0;
    int r = readBE(stream, 2, &count);
    if (r != Res_ok)
        return r;
    uint16_t *table = static_cast<uint16_t *>(Mem_calloc(65536, sizeof(uint16_t)));
    if (!table)
        return Res_noMemory;
    ByteStream *in = stream, *flate = nullptr;
    if (delta) {
        r = Pdf_Filter_flateNew(stream, &flate);
        in = flate;
    }
    uint32_t previous = 0;
    for (uint64_t i = 0; i < count && r == Res_ok; i++) {
        uint64_t v = 0;
        r = readBE(in, 2, &v);
        if (r == Res_ok) {
            table[i] = uint16_t(delta && i > 0 ? v + previous + 1 : v);
            previous = table[i];
        }
    }
    if (flate)
        // The stream was only read from: a failed close loses nothing.
        (void)ByteStream_close(flate);
    if (r != Res_ok) {
        Mem_free(table);
        return r;
    }
    *out = table;
    return Res_ok;
}

int CMap_parseText(EngineContext *engine, const CMapSysInfo *sysinfo, ByteStream *stream,
                   uint32_t depth, CMap **out)
{
    *out = nullptr;
    Tokens t{};
    int r = PsLexer_create(stream, &t.lexer);
    if (r != Res_ok)
        return r;
    CMap *c = newCMap();
    r = c ? parseTextBody(engine, sysinfo, &t, depth, c) : Res_noMemory;
    PsToken_free(t.token);
    PsToken_destroy(t.lexer);
    if (r != Res_ok) {
        CMap_free(c);
        return r;
    }
    *out = c;
    return Res_ok;
}

int CMap_parseTextStream(EngineContext *engine, const CMapSysInfo *sysinfo, ByteStream *stream,
                         CMap **out)
{
    return CMap_parseText(engine, sysinfo, stream, 0, out);
}

int CMap_parseToUnicode(ByteStream *stream, uint16_t **out)
{
    *out = nullptr;
    uint16_t *table = static_cast<uint16_t *>(Mem_malloc(65536 * sizeof(uint16_t)));
    if (!table)
        return Res_noMemory;
    for (uint32_t i = 0; i < 65536; i++)
        table[i] = uint16_t(i);
    Tokens t{};
    int r = PsLexer_create(stream, &t.lexer);
    if (r == Res_ok) {
        r = parseToUnicodeBody(&t, table);
        PsToken_free(t.token);
        PsToken_destroy(t.lexer);
    }
    if (r != Res_ok) {
        Mem_free(table);
        return r;
    }
    *out = table;
    return Res_ok;
}

int CMap_parseToUnicodeStream(ByteStream *stream, uint16_t **out)
{
    return CMap_parseToUnicode(stream, out);
}

int CMap_copyUnicodeTable(uint16_t **out, const uint16_t *table)
{
    *out = nullptr;
    if (!table)
        return Res_ok;
    uint16_t *copy = static_cast<uint16_t *>(Mem_malloc(65536 * sizeof(uint16_t)));
    if (!copy)
        return Res_noMemory;
    memcpy(copy, table, 65536 * sizeof(uint16_t));
    *out = copy;
    return Res_ok;
}

void CMap_free(CMap *cmap)
{
    while (cmap) {
        CMap *parent = cmap->parent;
        Mem_free(cmap->toUnicode);
        Mem_free(cmap->oneByte);
        Mem_free(cmap->twoByte);
        Mem_free(cmap->ranges);
        Mem_free(cmap->useName);
        Mem_free(cmap);
        cmap = parent;
    }
}

uint16_t CMap_lookup(const CMap *cmap, const uint8_t window[6], uint32_t *length)
{
    return lookupAt(cmap, window, 6, length);
}

const uint16_t *CMap_getMapTable(const CMap *cmap)
{
    return cmap ? cmap->toUnicode : nullptr;
}

uint16_t CMap_mapCode(const uint16_t *table, uint32_t c)
{
    return table ? table[uint16_t(c - 1)] : uint16_t(c - 1);
}

int CMap_decodeString(EngineContext *charsetContext, const CMap *cmap, uint32_t mode,
                      const uint8_t *bytes, size_t length, char16_t **out)
{
    *out = nullptr;
    if (cmap->kind == 2) {
        if (length / 2 > 0x7FFFFFF0)
            return Res_noMemory;
        // The bytes are 16-bit units in the machine's order.
        Ustr_buf b;
        Ustr_bufInit(&b, uint32_t(length / 2) + 1);
        if (Ustr_bufAppendN(&b, bytes, length / 2, 1) != Res_ok)
            return Res_noMemory;
        return Ustr_bufTake(&b, out);
    }
    if (cmap->kind != -1)
        return Charset_toUstrN(charsetContext, bytes, length, out, uint32_t(cmap->kind));
    if (length > 0x7FFFFFF0)
        return Res_noMemory;
    // Every code takes at least one byte: length + 1 units hold the text.
    Ustr_buf b;
    Ustr_bufInit(&b, uint32_t(length) + 1);
    const uint16_t *table = cmap->toUnicode;
    size_t at = 0;
    int err = Res_ok;
    while (at < length) {
        const uint8_t *p = bytes + at;
        size_t left = length - at;
        uint32_t n = 0;
        uint32_t cid = lookupAt(cmap, p, left, &n);
        // The usecmap parents answer for codes this CMap leaves at 0.
        for (const CMap *parent = cmap->parent; cid == 0 && parent; parent = parent->parent)
            cid = lookupAt(parent, p, left, &n);
        if (n > left)
            break;
        // A code no record holds: CID 0 for one byte, and decoding goes on.
        if (n == 0)
            n = 1;
        uint32_t v = std::min<uint32_t>(cid + 1, 65535);
        uint16_t unit = uint16_t(v);
        if (mode == 1) {
            unit = cid == 0 ? 0 : CMap_mapCode(table, v);
            if (unit == 0)
                unit = 0xFFFD;
        }
        const char16_t c = unit;
        if (int e = Ustr_bufAppend(&b, &c, 1)) {
            err = e;
            break;
        }
        at += n;
    }
    if (!err)
        err = Ustr_bufTake(&b, out);
    Ustr_bufFree(&b);
    return err;
}
