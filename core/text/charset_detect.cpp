// Character-set detection: the nine probes, the probe set over them, and
// the guess that picks a charset code among the candidates they leave.
//
// Each probe is a small state machine fed buffer by buffer; its state stays
// in the probe between calls, so a character cut by the end of one buffer
// continues in the next. A probe stops examining as soon as all of its
// candidates are ruled out. An unfinished character at the end of the bytes
// fed rules nothing out.
#include "core/text/charset_detect.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "core/text/charset.h"

namespace {

// Bytes every probe but UTF-16 accepts between characters.
bool isPlain(uint32_t b)
{
    return (b >= 0x20 && b <= 0x7E) || b == '\t' || b == '\r' || b == '\n' || b == 0xA0;
}

bool inRange(uint32_t b, uint32_t lo, uint32_t hi)
{
    return b >= lo && b <= hi;
}

bool allOut(const int32_t *flags, uint32_t n)
{
    for (uint32_t i = 0; i < n; i++) {
        if (flags[i] != 0)
            return false;
    }
    return true;
}

uint32_t countOne(const CharsetProbe *)
{
    return 1;
}

void destroyProbe(CharsetProbe *probe)
{
    Mem_free(probe);
}

// ------------------------------------------------------- plain text

void listPlain(const CharsetProbe *, uint32_t *ids)
{
    ids[0] = CharsetCand_plain;
}

void feedPlain(CharsetProbe *, const uint8_t *bytes, size_t length, int32_t *flags)
{
    for (size_t i = 0; i < length && flags[0] != 0; i++) {
        uint32_t b = bytes[i];
        if (!isPlain(b) && b != 0xA3 && b != 0xA9 && b != 0xAE && b != 0x91 && b != 0x92)
            flags[0] = 0;
    }
}

// ------------------------------------------------------------ UTF-8

void listUtf8(const CharsetProbe *, uint32_t *ids)
{
    ids[0] = CharsetCand_utf8;
}

void feedUtf8(CharsetProbe *p, const uint8_t *bytes, size_t length, int32_t *flags)
{
    for (size_t i = 0; i < length && flags[0] != 0; i++) {
        uint32_t b = bytes[i];
        if (p->need > 0) {
            if (inRange(b, 0x80, 0xBF))
                p->need--;
            else
                flags[0] = 0;
        } else if (inRange(b, 0xC2, 0xDF)) {
            p->need = 1;
        } else if (inRange(b, 0xE0, 0xEF)) {
            p->need = 2;
        } else if (inRange(b, 0xF0, 0xF4)) {
            // Characters beyond the 16-bit plane (emoji and the like).
            p->need = 3;
        } else if (!isPlain(b)) {
            flags[0] = 0;
        }
    }
}

// ------------------------------------------------------- EUC family
// Slots: 0 EUC-JP, 1 common EUC, 2 EUC-TW, 3 common EUC. The EUC-JP machine
// uses state/need/lead, the other one state2/need2/lead2.

void listEuc(const CharsetProbe *, uint32_t *ids)
{
    ids[0] = CharsetCand_eucJp;
    ids[1] = CharsetCand_eucCommon;
    ids[2] = CharsetCand_eucTw;
    ids[3] = CharsetCand_eucCommon2;
}

uint32_t countEuc(const CharsetProbe *)
{
    return 4;
}

// EUC-JP: need counts trail bytes still due; state 1 means they are the
// one byte after 0x8E (0xA1-0xDF), 2 the bytes of a two-byte character.
void eucJpByte(CharsetProbe *p, uint32_t b, int32_t *flag)
{
    if (p->need > 0) {
        bool ok = p->state == 1 ? inRange(b, 0xA1, 0xDF) : inRange(b, 0xA1, 0xFE);
        if (!ok) {
            *flag = 0;
            return;
        }
        if (p->state == 2 && p->lead != 0) {
            uint32_t pair = p->lead << 8 | b;
            if (pair == 0xABB0 || pair == 0xACB0)
                *flag = 0;
        }
        p->need--;
        return;
    }
    if (inRange(b, 0xA1, 0xFE)) {
        p->state = 2, p->need = 1, p->lead = b;
    } else if (b == 0x8E) {
        p->state = 1, p->need = 1;
    } else if (b == 0x8F) {
        p->state = 2, p->need = 2, p->lead = 0;
    } else if (!isPlain(b)) {
        *flag = 0;
    }
}

// Common EUC and EUC-TW: need2 counts bytes due; state2 1 is the byte
// after 0x8E (0xA1-0xB0, EUC-TW only), 2 the bytes after it or a trail.
void eucOtherByte(CharsetProbe *p, uint32_t b, int32_t *flags)
{
    if (p->need2 > 0) {
        bool ok = p->state2 == 1 ? inRange(b, 0xA1, 0xB0) : inRange(b, 0xA1, 0xFE);
        if (!ok) {
            flags[0] = flags[1] = flags[2] = 0;
            return;
        }
        p->need2--;
        if (p->state2 == 1)
            p->state2 = 2;
        return;
    }
    if (inRange(b, 0xA1, 0xFE)) {
        p->state2 = 2, p->need2 = 1;
    } else if (b == 0x8E) {
        flags[0] = flags[2] = 0;
        p->state2 = 1, p->need2 = 3;
    } else if (!isPlain(b)) {
        flags[0] = flags[1] = flags[2] = 0;
    }
}

void feedEuc(CharsetProbe *p, const uint8_t *bytes, size_t length, int32_t *flags)
{
    for (size_t i = 0; i < length && !allOut(flags, 4); i++) {
        if (flags[0] != 0)
            eucJpByte(p, bytes[i], &flags[0]);
        if (!allOut(flags + 1, 3))
            eucOtherByte(p, bytes[i], flags + 1);
    }
}

// -------------------------------------------------------------- Big5

void listBig5(const CharsetProbe *, uint32_t *ids)
{
    ids[0] = CharsetCand_big5;
}

void feedBig5(CharsetProbe *p, const uint8_t *bytes, size_t length, int32_t *flags)
{
    for (size_t i = 0; i < length && flags[0] != 0; i++) {
        uint32_t b = bytes[i];
        if (p->need > 0) {
            uint32_t pair = p->lead << 8 | b;
            p->need = 0;
            if (!(inRange(b, 0x40, 0x7E) || inRange(b, 0xA1, 0xFE)) ||
                inRange(pair, 0xC6A1, 0xC8FE) || inRange(pair, 0xF9D6, 0xFEFE))
                flags[0] = 0;
        } else if (inRange(b, 0xA1, 0xFE)) {
            p->need = 1, p->lead = b;
        } else if (!isPlain(b)) {
            flags[0] = 0;
        }
    }
}

// --------------------------------------------------------- GBK/GB18030
// need: 1 after a lead (second byte due), 2 after a four-byte form's digit
// (a byte 0x81-0xFE due), 3 after that (a digit due).

void listGbk(const CharsetProbe *, uint32_t *ids)
{
    ids[0] = CharsetCand_gbk;
}

void feedGbk(CharsetProbe *p, const uint8_t *bytes, size_t length, int32_t *flags)
{
    for (size_t i = 0; i < length && flags[0] != 0; i++) {
        uint32_t b = bytes[i];
        switch (p->need) {
        case 1:
            if (inRange(b, 0x40, 0x7E) || inRange(b, 0x80, 0xFE))
                p->need = 0;
            else if (inRange(b, 0x30, 0x39))
                p->need = 2;
            else
                flags[0] = 0;
            break;
        case 2:
            if (inRange(b, 0x81, 0xFE))
                p->need = 3;
            else
                flags[0] = 0;
            break;
        case 3:
            if (inRange(b, 0x30, 0x39))
                p->need = 0;
            else
                flags[0] = 0;
            break;
        default:
            if (inRange(b, 0x81, 0xFE))
                p->need = 1;
            else if (!isPlain(b))
                flags[0] = 0;
            break;
        }
    }
}

// --------------------------------------------------------- Shift_JIS

void listSjis(const CharsetProbe *, uint32_t *ids)
{
    ids[0] = CharsetCand_shiftJis;
}

void feedSjis(CharsetProbe *p, const uint8_t *bytes, size_t length, int32_t *flags)
{
    for (size_t i = 0; i < length && flags[0] != 0; i++) {
        uint32_t b = bytes[i];
        if (p->need > 0) {
            p->need = 0;
            if (!(inRange(b, 0x40, 0x7E) || inRange(b, 0x80, 0xFC)))
                flags[0] = 0;
        } else if (inRange(b, 0x81, 0x9F) || inRange(b, 0xE0, 0xEF)) {
            p->need = 1;
        } else if (!inRange(b, 0xA1, 0xDF) && !isPlain(b)) {
            flags[0] = 0;
        }
    }
}

// ---------------------------------------------------- ISO-2022 family
// Slots: 0 CN, 1 JP, 2 KR, sharing one state machine.

enum IsoState : uint32_t {
    Iso_ascii,
    Iso_escape,       // after ESC
    Iso_twoByteDesig, // after ESC $
    Iso_oneByteDesig, // after ESC (
    Iso_g2,           // after ESC .
    Iso_expectC,      // after ESC $ (
    Iso_expectParen,  // after ESC $ )
    Iso_expectH,      // after ESC $ *
    Iso_expectIM,     // after ESC $ +
    Iso_jis,          // JIS two-byte text: pairs of 0x21-0x7E
    Iso_pairs,        // pairs of any bytes
    Iso_free,         // every byte
};

void listIso(const CharsetProbe *, uint32_t *ids)
{
    ids[0] = CharsetCand_iso2022cn;
    ids[1] = CharsetCand_iso2022jp;
    ids[2] = CharsetCand_iso2022kr;
}

uint32_t countIso(const CharsetProbe *)
{
    return 3;
}

// Keeps only the candidate in slot keep.
void isoOnly(int32_t *flags, int keep)
{
    for (int i = 0; i < 3; i++) {
        if (i != keep)
            flags[i] = 0;
    }
}

void isoByte(CharsetProbe *p, uint32_t b, int32_t *flags)
{
    bool ok = true;
    switch (p->state) {
    case Iso_ascii:
        if (b == 0x1B)
            p->state = Iso_escape;
        else
            ok = isPlain(b);
        break;
    case Iso_escape:
        if (b == '$')
            p->state = Iso_twoByteDesig;
        else if (b == '(')
            p->state = Iso_oneByteDesig;
        else if (b == '.')
            p->state = Iso_g2;
        else
            ok = false;
        break;
    case Iso_oneByteDesig:
        p->state = Iso_ascii;
        if (b == 'I' || b == 'J')
            isoOnly(flags, 1);
        else
            ok = b == 'B';
        break;
    case Iso_twoByteDesig:
        if (b == '@' || b == 'B') {
            p->state = Iso_jis, p->need = 0;
            isoOnly(flags, 1);
        } else if (b == 'A') {
            p->state = Iso_pairs, p->need = 0;
            isoOnly(flags, 1);
        } else if (b == '(') {
            p->state = Iso_expectC;
        } else if (b == ')') {
            p->state = Iso_expectParen;
        } else if (b == '*') {
            p->state = Iso_expectH;
        } else if (b == '+') {
            p->state = Iso_expectIM;
        } else {
            ok = false;
        }
        break;
    case Iso_expectC:
        ok = b == 'C';
        p->state = Iso_pairs, p->need = 0;
        isoOnly(flags, 1);
        break;
    case Iso_expectParen:
        p->state = Iso_pairs, p->need = 0;
        if (b == 'A' || b == 'E' || b == 'G')
            isoOnly(flags, 0);
        else if (b == 'C')
            isoOnly(flags, 2);
        else
            ok = false;
        break;
    case Iso_expectH:
        ok = b == 'H';
        p->state = Iso_pairs, p->need = 0;
        isoOnly(flags, 0);
        break;
    case Iso_expectIM:
        ok = inRange(b, 'I', 'M');
        p->state = Iso_pairs, p->need = 0;
        isoOnly(flags, 0);
        break;
    case Iso_g2:
        ok = b == 'A' || b == 'F';
        p->state = Iso_free;
        isoOnly(flags, 1);
        break;
    case Iso_jis:
    case Iso_pairs:
        if (p->need == 0 && b == 0x1B) {
            p->state = Iso_escape;
        } else {
            if (p->state == Iso_jis)
                ok = inRange(b, 0x21, 0x7E);
            p->need ^= 1;
        }
        break;
    default: // Iso_free
        if (b == 0x1B)
            p->state = Iso_escape;
        break;
    }
    if (!ok)
        flags[0] = flags[1] = flags[2] = 0;
}

void feedIso(CharsetProbe *p, const uint8_t *bytes, size_t length, int32_t *flags)
{
    for (size_t i = 0; i < length && !allOut(flags, 3); i++)
        isoByte(p, bytes[i], flags);
}

// -------------------------------------------------------- KS X 1001

void listKs(const CharsetProbe *, uint32_t *ids)
{
    ids[0] = CharsetCand_ksx1001;
}

void feedKs(CharsetProbe *p, const uint8_t *bytes, size_t length, int32_t *flags)
{
    for (size_t i = 0; i < length && flags[0] != 0; i++) {
        uint32_t b = bytes[i];
        if (p->need > 0) {
            p->need = 0;
            if (!inRange(b, 0xA1, 0xFE))
                flags[0] = 0;
        } else if (inRange(b, 0xA1, 0xFD) && b != 0xC9) {
            p->need = 1;
        } else if (!isPlain(b)) {
            flags[0] = 0;
        }
    }
}

// ----------------------------------------------------------- UTF-16
// Slots: 0 LE, 1 BE. Judged on each buffer.

void listUtf16(const CharsetProbe *, uint32_t *ids)
{
    ids[0] = CharsetCand_utf16le;
    ids[1] = CharsetCand_utf16be;
}

uint32_t countTwo(const CharsetProbe *)
{
    return 2;
}

bool isBlankByte(uint32_t b)
{
    return b == ' ' || b == '\t' || b == '\r' || b == '\n' || b == 0xA0;
}

// Does text (ASCII, compared case-insensitively) start at p in this order?
bool startsWith(const uint8_t *p, size_t avail, const char *text, bool le)
{
    size_t n = 0;
    while (text[n])
        n++;
    if (avail <= 2 * n)
        return false;
    for (size_t i = 0; i < n; i++) {
        uint32_t u = Bytes_peekU16(p + 2 * i, le ? 0 : 1);
        if (u >= 'A' && u <= 'Z')
            u += 'a' - 'A';
        if (u != uint8_t(text[i]))
            return false;
    }
    return true;
}

// Whole buffer as UTF-16 in one order: even length, surrogates paired.
bool holdsUtf16(const uint8_t *bytes, size_t length, bool le)
{
    if (length % 2 != 0)
        return false;
    for (size_t i = 0; i < length; i += 2) {
        uint32_t u = Bytes_peekU16(bytes + i, le ? 0 : 1);
        if (u >= 0xDC00 && u <= 0xDFFF)
            return false;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 4 > length)
                return false;
            uint32_t lo = Bytes_peekU16(bytes + i + 2, le ? 0 : 1);
            if (lo < 0xDC00 || lo > 0xDFFF)
                return false;
            i += 2;
        }
    }
    return true;
}

void feedUtf16(CharsetProbe *, const uint8_t *bytes, size_t length, int32_t *flags)
{
    if (allOut(flags, 2))
        return;
    int keep = -1; // 0 LE, 1 BE
    if (length >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        keep = 0;
    } else if (length >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        keep = 1;
    } else {
        size_t i = 0;
        while (i + 2 <= length && ((bytes[i + 1] == 0 && isBlankByte(bytes[i])) ||
                                   (bytes[i] == 0 && isBlankByte(bytes[i + 1]))))
            i += 2;
        const uint8_t *p = bytes + i;
        size_t avail = length - i;
        if (startsWith(p, avail, "<html", true) || startsWith(p, avail, "<!doctype", true))
            keep = 0;
        else if (startsWith(p, avail, "<html", false) || startsWith(p, avail, "<!doctype", false))
            keep = 1;
    }
    if (keep != 0)
        flags[0] = 0;
    if (keep != 1)
        flags[1] = 0;
    if (keep >= 0 && !holdsUtf16(bytes, length, keep == 0))
        flags[keep] = 0;
}

// --------------------------------------------------------- the set

uint32_t countSet(const CharsetProbe *probe)
{
    const CharsetProbeSet *set = reinterpret_cast<const CharsetProbeSet *>(probe);
    uint32_t n = 0;
    for (CharsetProbe *m : set->members)
        n += m->count(m);
    return n;
}

void listSet(const CharsetProbe *probe, uint32_t *ids)
{
    const CharsetProbeSet *set = reinterpret_cast<const CharsetProbeSet *>(probe);
    for (CharsetProbe *m : set->members) {
        m->listCandidates(m, ids);
        ids += m->count(m);
    }
}

void feedSet(CharsetProbe *probe, const uint8_t *bytes, size_t length, int32_t *flags)
{
    CharsetProbeSet *set = reinterpret_cast<CharsetProbeSet *>(probe);
    for (CharsetProbe *m : set->members) {
        m->feed(m, bytes, length, flags);
        flags += m->count(m);
    }
}

void destroySet(CharsetProbe *probe)
{
    CharsetProbeSet *set = reinterpret_cast<CharsetProbeSet *>(probe);
    for (CharsetProbe *m : set->members) {
        if (m)
            m->destroy(m);
    }
    Mem_free(set);
}

struct ProbeKind {
    uint32_t (*count)(const CharsetProbe *);
    void (*list)(const CharsetProbe *, uint32_t *);
    void (*feed)(CharsetProbe *, const uint8_t *, size_t, int32_t *);
};

constexpr ProbeKind Kinds[9] = {
    {countOne, listPlain, feedPlain}, {countOne, listUtf8, feedUtf8},
    {countEuc, listEuc, feedEuc},     {countOne, listBig5, feedBig5},
    {countOne, listSjis, feedSjis},   {countIso, listIso, feedIso},
    {countOne, listKs, feedKs},       {countTwo, listUtf16, feedUtf16},
    {countOne, listGbk, feedGbk},
};

// Creates the probe set, or NULL when memory ran out (nothing left).
CharsetProbe *createProbeSet()
{
    CharsetProbeSet *set = static_cast<CharsetProbeSet *>(Mem_calloc(1, sizeof(CharsetProbeSet)));
    if (!set)
        return nullptr;
    set->base.count = countSet;
    set->base.listCandidates = listSet;
    set->base.feed = feedSet;
    set->base.destroy = destroySet;
    for (int i = 0; i < 9; i++) {
        CharsetProbe *m = static_cast<CharsetProbe *>(Mem_calloc(1, sizeof(CharsetProbe)));
        if (!m) {
            destroySet(&set->base);
            return nullptr;
        }
        m->count = Kinds[i].count;
        m->listCandidates = Kinds[i].list;
        m->feed = Kinds[i].feed;
        m->destroy = destroyProbe;
        set->members[i] = m;
    }
    return &set->base;
}

// Is candidate id plausible (listed and not ruled out)?
bool possible(const CharsetDetector *d, uint32_t id)
{
    for (uint32_t i = 0; i < d->count; i++) {
        if (d->ids[i] == id)
            return d->flags[i] != 0;
    }
    return false;
}

// The selection with a language mask (1 Japanese, 2 Korean, 4 and 8 Big5,
// 8 Chinese), or -1 when nothing decides.
int64_t choose(const CharsetDetector *d, uint32_t mask, uint32_t defaultCode)
{
    EngineContext *ctx = d->context;
    bool ja = Charset_isAvailable(ctx, CharsetCode_shiftJis) != 0;
    if (possible(d, CharsetCand_plain))
        return defaultCode;
    if ((mask & 1) && possible(d, CharsetCand_iso2022jp) && ja)
        return CharsetCode_iso2022jp;
    if (possible(d, CharsetCand_utf8))
        return CharsetCode_utf8;
    if ((mask & 2) && possible(d, CharsetCand_eucCommon) &&
        Charset_isAvailable(ctx, CharsetCode_korean))
        return CharsetCode_korean;
    if ((mask & 1) && possible(d, CharsetCand_eucJp) && ja)
        return CharsetCode_eucJp;
    if ((mask & 12) && possible(d, CharsetCand_big5) && Charset_isAvailable(ctx, CharsetCode_big5))
        return CharsetCode_big5;
    if ((mask & 1) && possible(d, CharsetCand_shiftJis) && ja)
        return CharsetCode_shiftJis;
    if ((mask & 8) && possible(d, CharsetCand_gbk) && Charset_isAvailable(ctx, CharsetCode_gbk))
        return CharsetCode_gbk;
    if (possible(d, CharsetCand_utf16le))
        return CharsetCode_utf16le;
    if (possible(d, CharsetCand_utf16be))
        return CharsetCode_utf16be;
    return -1;
}

} // namespace

int Charset_detectorNew(EngineContext *context, CharsetDetector **out)
{
    *out = nullptr;
    CharsetDetector *d = static_cast<CharsetDetector *>(Mem_calloc(1, sizeof(CharsetDetector)));
    if (!d)
        return Res_noMemory;
    d->context = context;
    d->probes = createProbeSet();
    if (!d->probes)
        goto fail;
    d->count = d->probes->count(d->probes);
    d->ids = static_cast<uint32_t *>(Mem_calloc(d->count, sizeof(uint32_t)));
    d->flags = static_cast<int32_t *>(Mem_calloc(d->count, sizeof(int32_t)));
    if (!d->ids || !d->flags)
        goto fail;
    d->probes->listCandidates(d->probes, d->ids);
    for (uint32_t i = 0; i < d->count; i++)
        d->flags[i] = -1;
    *out = d;
    return 0;
fail:
    Charset_detectorFree(d);
    return Res_noMemory;
}

void Charset_detectorFeed(CharsetDetector *detector, const uint8_t *bytes, size_t length)
{
    if (length == 0)
        return;
    detector->probes->feed(detector->probes, bytes, length, detector->flags);
}

bool Charset_detectorUndecided(const CharsetDetector *detector)
{
    return detector && possible(detector, CharsetCand_plain);
}

uint32_t Charset_detectorGuess(const CharsetDetector *detector, uint32_t defaultCode)
{
    uint32_t mask = 15;
    EngineContext *ctx = detector->context;
    if (defaultCode == CharsetCode_korean && Charset_isAvailable(ctx, defaultCode))
        mask = 2;
    else if (defaultCode >= CharsetCode_shiftJis && defaultCode <= CharsetCode_eucJp &&
             Charset_isAvailable(ctx, defaultCode))
        mask = 1;
    else if ((defaultCode == CharsetCode_big5 || defaultCode == CharsetCode_gbk) &&
             Charset_isAvailable(ctx, defaultCode))
        mask = 8;
    int64_t code = choose(detector, mask, defaultCode);
    if (code < 0 && mask != 15)
        code = choose(detector, 15, defaultCode);
    return code < 0 ? defaultCode : uint32_t(code);
}

void Charset_detectorFree(CharsetDetector *detector)
{
    if (!detector)
        return;
    if (detector->probes)
        detector->probes->destroy(detector->probes);
    Mem_free(detector->ids);
    Mem_free(detector->flags);
    Mem_free(detector);
}
