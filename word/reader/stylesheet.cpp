// The Word style sheet: the STSHI header and the size-prefixed STDs of the
// table stream, each style resolved into a full paragraph and character
// record on top of its base style.
//
// The STDs are indexed once when the sheet is read, so finding a style is
// a table lookup. A base chain is resolved with an explicit list, not by
// recursion: a chain thousands of styles long must not use up the loading
// job's stack. A chain that loops back to a style being resolved stops
// there, and that style starts from the defaults.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset.h"
#include "core/stream/bytestream.h"
#include "office/ole2/ole.h"
#include "word/reader/word.h"

namespace {

bool isWord97(const WordReader *r)
{
    return r->fib.wIdent == Word_identWord97;
}

// The STD's name as an owned string with its length first.
int readName(const uint8_t *std, uint32_t size, uint32_t baseSize, WordStyleEntry *e, WordReader *r)
{
    uint32_t at = baseSize;
    if (isWord97(r)) {
        if (at + 2 > size)
            return Res_ok;
        uint32_t cch = Bytes_peekU16Le(std + at);
        if (at + 2 + 2 * cch > size)
            cch = (size - at - 2) / 2;
        e->name = static_cast<char16_t *>(Mem_malloc(2 + 2 * size_t(cch)));
        if (!e->name)
            return Res_noMemory;
        e->name[0] = char16_t(cch);
        for (uint32_t i = 0; i < cch; i++)
            e->name[1 + i] = char16_t(Bytes_peekU16Le(std + at + 2 + 2 * i));
        return Res_ok;
    }
    if (at + 1 > size)
        return Res_ok;
    uint32_t n = std[at];
    if (at + 1 + n > size)
        n = size - at - 1;
    e->name = static_cast<char16_t *>(Mem_malloc(2 + 2 * size_t(n)));
    if (!e->name)
        return Res_noMemory;
    e->name[0] = char16_t(n);
    size_t consumed = 0, produced = 0;
    (void)Charset_latin1ToUtf16(r->ctx, std + at + 1, n, reinterpret_cast<uint8_t *>(e->name + 1),
                                2 * size_t(n), &consumed, &produced, nullptr);
    return Res_ok;
}

// The records a style starts from: its base's, or the defaults.
int startRecords(uint32_t istd, const WordStdBase &base, WordReader *r)
{
    WordStyleEntry *e = &r->styles[istd];
    uint32_t b = base.istdBase;
    bool table = base.sgc == 3;
    if (b != Word_noStyle && b < r->styleCount && b != istd && r->styles[b].defined) {
        const WordStyleEntry *be = &r->styles[b];
        e->chp = be->chp;
        e->pap = be->pap;
        if (be->conditional && table) {
            e->conditional =
                static_cast<WordChp *>(Mem_malloc(Word_conditionalChps * sizeof(WordChp)));
            if (!e->conditional)
                return Res_noMemory;
            memcpy(e->conditional, be->conditional, Word_conditionalChps * sizeof(WordChp));
        }
        return Res_ok;
    }
    Word_defaultPap(&e->pap);
    Word_defaultChp(&e->chp);
    if (table) {
        if (r->istdNormal < r->styleCount)
            e->chp = r->styles[r->istdNormal].chp;
        e->conditional = static_cast<WordChp *>(Mem_malloc(Word_conditionalChps * sizeof(WordChp)));
        if (!e->conditional)
            return Res_noMemory;
        for (uint32_t k = 0; k < Word_conditionalChps; k++)
            e->conditional[k] = e->chp;
    }
    return Res_ok;
}

// Applies UPX k of a style as kind to the records given.
int applyUpx(const uint8_t *std, uint32_t size, uint32_t k, uint32_t kind, WordPap *pap,
             WordChp *chp, WordReader *r)
{
    const uint8_t *upx = Word_stdUpx(std, size, k, r);
    if (!upx)
        return Res_ok;
    return Word_applyGrpprl(nullptr, pap, chp, nullptr, nullptr, kind, upx, r);
}

// Resolves one style whose base, when it has one, is resolved already (or
// is in progress, or absent): steps 2 to 6 of a style's build.
int buildOne(uint32_t istd, WordReader *r)
{
    WordStyleEntry *e = &r->styles[istd];
    const uint8_t *std = nullptr;
    uint32_t size = 0;
    int err = Word_findStd(istd, &std, &size, r);
    if (err == Res_wordEmptyStyle)
        return Res_ok;
    if (err != Res_ok)
        return err;
    std += 2;
    WordStdBase base;
    if ((err = Word_readStdBase(std, size, &base, r)) != Res_ok)
        return err;
    e->sgc = base.sgc;
    e->istdBase = base.istdBase;
    uint32_t baseSize = r->stshi.cbSTDBaseInFile;
    if ((err = readName(std, size, baseSize, e, r)) != Res_ok)
        return err;
    if ((err = startRecords(istd, base, r)) != Res_ok)
        return err;
    e->defined = 1;
    switch (base.sgc) {
    case 2:
        e->chp.istd = uint16_t(istd);
        err = applyUpx(std - 2, size, 0, WordGrpprl_styleChpx, nullptr, &e->chp, r);
        break;
    case 1:
        e->pap.istd = uint16_t(istd);
        e->chp.istd = uint16_t(r->istdDefaultFont);
        err = applyUpx(std - 2, size, 0, WordGrpprl_stylePapx, &e->pap, nullptr, r);
        if (err == Res_ok)
            err = applyUpx(std - 2, size, 1, WordGrpprl_styleChpx, nullptr, &e->chp, r);
        break;
    case 3:
        r->istdTable = istd;
        err = applyUpx(std - 2, size, 2, WordGrpprl_styleChpx, nullptr, &e->chp, r);
        break;
    default: break;
    }
    if (err != Res_ok) {
        e->defined = 0;
        e->inProgress = 0;
        return err;
    }
    e->sti = base.sti;
    return Res_ok;
}

// The base of a style that must be built before it, or Word_noStyle.
uint32_t pendingBase(uint32_t istd, WordReader *r)
{
    const uint8_t *std = nullptr;
    uint32_t size = 0;
    if (Word_findStd(istd, &std, &size, r) != Res_ok)
        return Word_noStyle;
    WordStdBase base;
    if (Word_readStdBase(std + 2, size, &base, r) != Res_ok)
        return Word_noStyle;
    uint32_t b = base.istdBase;
    if (b == Word_noStyle || b >= r->styleCount || r->styles[b].defined || r->styles[b].inProgress)
        return Word_noStyle;
    return b;
}

} // namespace

int Word_readStshi(const uint8_t *sheet, uint32_t length, WordStshi *h, WordReader *r)
{
    memset(h, 0, sizeof *h);
    if (length < 2)
        return Res_wordShortStshi;
    uint32_t cb = Bytes_peekU16Le(sheet);
    if (cb < 14)
        return r->fib.wIdent == Word_identWord6 || isWord97(r) ? Res_wordShortStshi
                                                               : Res_wordNotWord;
    if (cb + 2 > length)
        return Res_wordBigStshi;
    const uint8_t *b = sheet + 2;
    h->cbStshi = uint16_t(cb);
    h->cstd = Bytes_peekU16Le(b);
    h->cbSTDBaseInFile = Bytes_peekU16Le(b + 2);
    h->flags = Bytes_peekU16Le(b + 4);
    h->stiMaxWhenSaved = Bytes_peekU16Le(b + 6);
    h->istdMaxFixedWhenSaved = Bytes_peekU16Le(b + 8);
    h->nVerBuiltInNamesWhenSaved = Bytes_peekU16Le(b + 10);
    h->ftcStandardChp[0] = Bytes_peekU16Le(b + 12);
    if (cb >= 18) {
        h->ftcStandardChp[1] = Bytes_peekU16Le(b + 14);
        h->ftcStandardChp[2] = Bytes_peekU16Le(b + 16);
    }
    if (cb >= 20)
        h->ftcBi = Bytes_peekU16Le(b + 18);
    if (h->ftcStandardChp[0] >= r->fontCount)
        h->ftcStandardChp[0] = 0;
    return Res_ok;
}

int Word_findStd(uint32_t istd, const uint8_t **std, uint32_t *size, WordReader *r)
{
    *std = nullptr;
    *size = 0;
    if (istd >= r->stshi.cstd)
        return Res_wordBadIstd;
    if (istd >= r->styleCount || !r->stdOffsets || !r->stdOffsets[istd])
        return Res_wordEmptyStyle;
    uint32_t at = r->stdOffsets[istd];
    *std = r->stsh + at;
    *size = Bytes_peekU16Le(*std);
    return Res_ok;
}

int Word_readStdBase(const uint8_t *std, uint32_t size, WordStdBase *base, WordReader *r)
{
    memset(base, 0, sizeof *base);
    uint8_t raw[10] = {};
    uint32_t n = r->stshi.cbSTDBaseInFile;
    if (n > size)
        n = size;
    memcpy(raw, std, n < sizeof raw ? n : sizeof raw);
    uint16_t w0 = Bytes_peekU16Le(raw), w1 = Bytes_peekU16Le(raw + 2),
             w2 = Bytes_peekU16Le(raw + 4);
    base->sti = w0 & 0xFFF;
    base->stiFlags = w0 & 0xF000;
    base->sgc = uint8_t(w1 & 0xF);
    base->istdBase = w1 >> 4;
    base->cupx = uint8_t(w2 & 0xF);
    base->istdNext = w2 >> 4;
    base->bchUpe = Bytes_peekU16Le(raw + 6);
    if (n >= 10)
        base->flags = Bytes_peekU16Le(raw + 8);
    return Res_ok;
}

const uint8_t *Word_stdUpx(const uint8_t *std, uint32_t size, uint32_t k, WordReader *r)
{
    // Offsets count from the STD's first byte after its size word.
    const uint8_t *s = std + 2;
    uint32_t at = r->stshi.cbSTDBaseInFile;
    if (isWord97(r)) {
        if (at + 2 > size)
            return nullptr;
        at += 2 + 2 * uint32_t(Bytes_peekU16Le(s + at)) + 2;
    } else {
        if (at + 1 > size)
            return nullptr;
        at += 1 + uint32_t(s[at]) + 1;
    }
    for (uint32_t i = 0;; i++) {
        at += at & 1;
        if (at + 2 > size)
            return nullptr;
        uint32_t cb = Bytes_peekU16Le(s + at);
        if (at + 2 + cb > size)
            return nullptr;
        if (i == k)
            return s + at;
        at += 2 + cb;
    }
}

int Word_buildStyle(uint32_t istd, WordReader *r)
{
    if (istd >= r->styleCount)
        return Res_ok;
    if (r->styles[istd].defined) {
        r->styles[istd].inProgress = 0;
        return Res_ok;
    }
    // The chain of bases not built yet, each marked in progress; it ends
    // at a built base, at no base, or where it meets a style in progress.
    uint32_t *chain = static_cast<uint32_t *>(Mem_malloc(sizeof(uint32_t) * r->styleCount));
    if (!chain)
        return Res_noMemory;
    uint32_t n = 0;
    for (uint32_t cur = istd; cur != Word_noStyle && n < r->styleCount; cur = pendingBase(cur, r)) {
        r->styles[cur].inProgress = 1;
        chain[n++] = cur;
    }
    int err = Res_ok;
    for (uint32_t k = n; k-- > 0 && err == Res_ok;)
        err = buildOne(chain[k], r);
    for (uint32_t k = 0; k < n; k++)
        r->styles[chain[k]].inProgress = 0;
    Mem_free(chain);
    return err;
}

int Word_applyStyleChpx(uint32_t istd, WordChp *chp, WordReader *r)
{
    if (istd >= r->styleCount)
        return Res_ok;
    int err = Word_buildStyle(istd, r);
    if (err != Res_ok)
        return err;
    const uint8_t *std = nullptr;
    uint32_t size = 0;
    err = Word_findStd(istd, &std, &size, r);
    if (err == Res_wordEmptyStyle)
        return Res_ok;
    if (err != Res_ok)
        return err;
    if (r->styles[istd].sgc != 2)
        return Res_ok;
    return applyUpx(std, size, 0, WordGrpprl_styleChpx, nullptr, chp, r);
}

int Word_readStyleSheet(WordReader *r)
{
    const WordFcLcb &pair = r->fib.pairs[WordPair_stshf];
    if (pair.lcb == 0)
        return Res_ok;
    int err = Word_readBlock(r->tableStream, pair.fc, pair.lcb, &r->stsh);
    if (err != Res_ok)
        return err;
    r->stshLength = pair.lcb;
    if ((err = Word_readStshi(r->stsh, r->stshLength, &r->stshi, r)) != Res_ok)
        return err;
    // Index the STDs. Slots past the end of the sheet are empty; the count
    // of entries is the count of slots the sheet can hold, so that a huge
    // cstd in a small sheet sizes nothing.
    uint32_t first = 2u + r->stshi.cbStshi;
    uint32_t cstd = r->stshi.cstd;
    uint32_t room = (r->stshLength - first) / 2;
    uint32_t count = cstd < room ? cstd : room;
    r->stdOffsets = static_cast<uint32_t *>(Mem_calloc(count ? count : 1, sizeof(uint32_t)));
    r->styles =
        static_cast<WordStyleEntry *>(Mem_calloc(count ? count : 1, sizeof(WordStyleEntry)));
    if (!r->stdOffsets || !r->styles)
        return Res_noMemory;
    r->styleCount = count;
    uint32_t at = first;
    for (uint32_t i = 0; i < count && at + 2 <= r->stshLength; i++) {
        uint32_t cb = Bytes_peekU16Le(r->stsh + at);
        if (at + 2 + cb > r->stshLength)
            break;
        if (cb)
            r->stdOffsets[i] = at;
        at += 2 + cb;
    }
    for (uint32_t i = 0; i < count; i++)
        r->styles[i].istdBase = Word_noStyle;
    if (count) {
        Word_defaultPap(&r->styles[0].pap);
        Word_defaultChp(&r->styles[0].chp);
    }
    r->istdNormal = 0;
    r->istdDefaultFont = 0;
    for (uint32_t i = 0; i < count; i++) {
        if (!r->styles[i].defined && (err = Word_buildStyle(i, r)) != Res_ok)
            return err;
        if (r->styles[i].defined && r->styles[i].sti == 0)
            r->istdNormal = i;
        if (r->styles[i].defined && r->styles[i].sti == 65)
            r->istdDefaultFont = i;
    }
    return Res_ok;
}
