// The Word list tables and list numbers: the list definitions (PlfLst)
// with their levels and the list format overrides (PlfLfo) of a Word 97
// file, the four fixed lists of a Word 6/95 file with the conversion of
// its auto-number descriptors, the running counters and each numbered
// paragraph's number text with its character record.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset.h"
#include "core/stream/bytestream.h"
#include "office/ole2/ole.h"
#include "word/reader/listnum.h"
#include "word/reader/word.h"

namespace {

enum : uint32_t {
    lstfBytes = 28,
    lvlfBytes = 28,
    lfoBytes = 16,
    lfolvlBytes = 8,
    maxLevels = 9,
};

bool isWord6(const WordReader *r)
{
    return r->fib.wIdent == Word_identWord6;
}

bool isWord97(const WordReader *r)
{
    return r->fib.wIdent == Word_identWord97;
}

// A stored modifier list: a 16-bit length, then n bytes.
uint8_t *modifierList(const uint8_t *bytes, uint32_t n)
{
    uint8_t *out = static_cast<uint8_t *>(Mem_malloc(size_t(n) + 2));
    if (!out)
        return nullptr;
    out[0] = uint8_t(n);
    out[1] = uint8_t(n >> 8);
    if (n)
        memcpy(out + 2, bytes, n);
    return out;
}

WordListLevel *emptyLevel()
{
    WordListLevel *level = static_cast<WordListLevel *>(Mem_calloc(1, sizeof(WordListLevel)));
    if (level)
        level->iStartAt = 1;
    return level;
}

// Reads one level (LVLF, its modifiers and number text) at *at of data
// (end bytes). 0; 1 when out of memory; 2 when the level runs past end.
int readLevel(const uint8_t *data, uint32_t end, uint32_t *at, WordListLevel **out)
{
    *out = nullptr;
    uint32_t p = *at;
    if (end < lvlfBytes || p > end - lvlfBytes)
        return 2;
    const uint8_t *b = data + p;
    WordListLevel *level = static_cast<WordListLevel *>(Mem_calloc(1, sizeof(WordListLevel)));
    if (!level)
        return Res_noMemory;
    level->iStartAt = int32_t(Bytes_peekU32Le(b));
    level->nfc = b[4];
    level->flags = b[5] & 0x7F;
    memcpy(level->rgbxchNums, b + 6, 9);
    level->ixchFollow = b[15];
    level->dxaSpace = int32_t(Bytes_peekU32Le(b + 16));
    level->dxaIndent = int32_t(Bytes_peekU32Le(b + 20));
    uint32_t cbChpx = b[24], cbPapx = b[25];
    p += lvlfBytes;
    int err = Res_ok;
    if (end - p < cbPapx + cbChpx + 2u) {
        err = 2;
    } else {
        if (cbPapx && !(level->papx = modifierList(data + p, cbPapx)))
            err = Res_noMemory;
        p += cbPapx;
        if (!err && cbChpx && !(level->chpx = modifierList(data + p, cbChpx)))
            err = Res_noMemory;
        p += cbChpx;
    }
    if (!err) {
        uint32_t cch = Bytes_peekU16Le(data + p);
        p += 2;
        if (uint64_t(cch) * 2 > end - p) {
            err = 2;
        } else if (cch) {
            level->text = static_cast<char16_t *>(Mem_malloc(size_t(cch) * sizeof(char16_t)));
            if (!level->text) {
                err = Res_noMemory;
            } else {
                for (uint32_t i = 0; i < cch; i++)
                    level->text[i] = char16_t(Bytes_peekU16Le(data + p + 2 * i));
                level->cch = uint16_t(cch);
            }
            p += 2 * cch;
        }
    }
    if (err) {
        Word_listLevelFree(level);
        return err;
    }
    *at = p;
    *out = level;
    return Res_ok;
}

int growLists(WordReader *r, uint32_t need)
{
    if (need <= r->listCapacity)
        return Res_ok;
    uint32_t capacity = r->listCapacity ? r->listCapacity * 2 : 8;
    while (capacity < need)
        capacity *= 2;
    void *grown = Mem_realloc(r->lists, size_t(capacity) * sizeof(WordList));
    if (!grown)
        return Res_noMemory;
    r->lists = static_cast<WordList *>(grown);
    memset(r->lists + r->listCapacity, 0, size_t(capacity - r->listCapacity) * sizeof(WordList));
    r->listCapacity = capacity;
    return Res_ok;
}

// Appends a list with lsid and no levels; its index goes to *index.
int appendList(WordReader *r, uint32_t lsid, uint32_t *index)
{
    int err = growLists(r, r->listCount + 1);
    if (err)
        return err;
    WordList &list = r->lists[r->listCount];
    memset(&list, 0, sizeof list);
    list.lsid = lsid;
    for (uint16_t &istd : list.rgistd)
        istd = Word_noStyle;
    *index = r->listCount++;
    return Res_ok;
}

void clearIndentMemory(WordReader *r)
{
    for (uint32_t i = 0; i < r->listCount; i++) {
        r->lists[i].indentSeen = 0;
        r->lists[i].indentM = 0;
        r->lists[i].indentK = 0;
    }
}

int fixedLists(WordReader *r)
{
    for (uint32_t i = 0; i < 4; i++) {
        uint32_t index = 0;
        int err = appendList(r, i + 1, &index);
        if (err)
            return err;
        WordList &list = r->lists[index];
        list.tplc = uint32_t(-2 - int32_t(i));
        for (uint32_t l = 0; l < maxLevels; l++) {
            if (!(list.levels[l] = emptyLevel()))
                return Res_noMemory;
            list.levels[l]->flags = WordLevel_word6Tab;
        }
        if ((err = Word_listReset(index, r)) != Res_ok)
            return err;
    }
    return Res_ok;
}

} // namespace

void Word_listLevelFree(WordListLevel *level)
{
    if (!level)
        return;
    Mem_free(level->chpx);
    Mem_free(level->papx);
    Mem_free(level->text);
    Mem_free(level);
}

void Word_listTableFree(WordReader *r)
{
    for (uint32_t i = 0; r->lists && i < r->listCount; i++)
        for (WordListLevel *&level : r->lists[i].levels) {
            Word_listLevelFree(level);
            level = nullptr;
        }
    Mem_free(r->lists);
    r->lists = nullptr;
    r->listCount = 0;
    r->listCapacity = 0;
}

void Word_lfoTableFree(WordReader *r)
{
    for (uint32_t i = 0; r->lfos && i < r->lfoCount; i++)
        for (WordLfoLevel *&o : r->lfos[i].overrides) {
            if (o)
                Word_listLevelFree(o->level);
            Mem_free(o);
            o = nullptr;
        }
    Mem_free(r->lfos);
    r->lfos = nullptr;
    r->lfoCount = 0;
    // The lists' overrides in force pointed into the freed table.
    for (uint32_t i = 0; r->lists && i < r->listCount; i++)
        memset(r->lists[i].override, 0, sizeof r->lists[i].override);
}

int Word_findList(uint32_t lsid, uint32_t *index, const WordReader *r)
{
    for (uint32_t i = 0; i < r->listCount; i++)
        if (r->lists[i].lsid == lsid) {
            *index = i;
            return Res_ok;
        }
    return Res_wordNoList;
}

int Word_listLevelReset(uint32_t list, uint32_t level, WordReader *r)
{
    if (list >= r->listCount || level >= maxLevels)
        return Res_wordBadListIndex;
    WordList &l = r->lists[list];
    if (!l.levels[level])
        return Res_ok;
    l.number[level] = l.levels[level]->iStartAt;
    l.used[level] = 0;
    l.override[level] = nullptr;
    return Res_ok;
}

int Word_listReset(uint32_t list, WordReader *r)
{
    if (list >= r->listCount)
        return Res_wordBadListIndex;
    uint32_t n = r->lists[list].simple ? 1u : uint32_t(maxLevels);
    for (uint32_t level = 0; level < n; level++) {
        int err = Word_listLevelReset(list, level, r);
        if (err)
            return err;
    }
    return Res_ok;
}

int Word_readListTable(WordReader *r)
{
    Word_listTableFree(r);
    if (isWord6(r))
        return fixedLists(r);
    const WordFcLcb &pair = r->fib.pairs[WordPair_plfLst];
    if (pair.lcb == 0)
        return Res_ok;
    // The definitions are read by their own length and the levels that
    // follow them up to the end of the table stream; neither depends on
    // where the override table lies.
    uint64_t size = r->tableStream ? Ole_streamSize(r->tableStream) : 0;
    if (pair.fc < 0 || uint64_t(pair.fc) > size || pair.lcb > size - uint64_t(pair.fc) ||
        pair.lcb < 2)
        return Res_wordShortLists;
    uint64_t total = size - uint64_t(pair.fc);
    if (total > 0x7FFFFFFFu)
        total = 0x7FFFFFFFu;
    uint8_t *data = nullptr;
    int err = Word_readBlock(r->tableStream, pair.fc, uint32_t(total), &data);
    if (err)
        return err;
    uint32_t count = Bytes_peekU16Le(data);
    if (count == 0) {
        Mem_free(data);
        return Res_ok;
    }
    if (uint64_t(count) * lstfBytes + 2 > pair.lcb) {
        Mem_free(data);
        return Res_wordShortLists;
    }
    if ((err = growLists(r, count)) != Res_ok) {
        Mem_free(data);
        return err;
    }
    for (uint32_t i = 0; i < count; i++) {
        const uint8_t *b = data + 2 + size_t(i) * lstfBytes;
        uint32_t index = 0;
        (void)appendList(r, Bytes_peekU32Le(b), &index);
        WordList &list = r->lists[index];
        list.tplc = Bytes_peekU32Le(b + 4);
        for (uint32_t k = 0; k < 9; k++)
            list.rgistd[k] = Bytes_peekU16Le(b + 8 + 2 * k);
        list.simple = b[26] & 1;
        list.restartHdn = (b[26] >> 1) & 1;
    }
    uint32_t at = pair.lcb;
    for (uint32_t i = 0; i < count && !err; i++) {
        WordList &list = r->lists[i];
        uint32_t n = list.simple ? 1u : uint32_t(maxLevels);
        for (uint32_t l = 0; l < n && !err; l++) {
            err = readLevel(data, uint32_t(total), &at, &list.levels[l]);
            if (err == 2)
                err = Res_noMemory; // a number text running past the data
        }
    }
    Mem_free(data);
    for (uint32_t i = 0; i < r->listCount; i++)
        (void)Word_listReset(i, r);
    clearIndentMemory(r);
    return err;
}

int Word_readLfoTable(WordReader *r)
{
    Word_lfoTableFree(r);
    if (isWord6(r)) {
        r->lfos = static_cast<WordLfo *>(Mem_calloc(4, sizeof(WordLfo)));
        if (!r->lfos)
            return Res_noMemory;
        for (uint32_t i = 0; i < 4; i++)
            r->lfos[i].lsid = i + 1;
        r->lfoCount = 4;
        return Res_ok;
    }
    const WordFcLcb &pair = r->fib.pairs[WordPair_plfLfo];
    if (pair.lcb == 0)
        return Res_ok;
    uint8_t *data = nullptr;
    int err = Word_readBlock(r->tableStream, pair.fc, pair.lcb, &data);
    if (err)
        return err;
    uint32_t end = pair.lcb;
    uint32_t count = end >= 4 ? Bytes_peekU32Le(data) : 0;
    if (count == 0) {
        Mem_free(data);
        return end >= 4 ? Res_ok : Res_wordNotFound;
    }
    if (uint64_t(count) * lfoBytes > end - 4) {
        Mem_free(data);
        return Res_wordNotFound;
    }
    r->lfos = static_cast<WordLfo *>(Mem_calloc(count, sizeof(WordLfo)));
    if (!r->lfos) {
        Mem_free(data);
        return Res_noMemory;
    }
    r->lfoCount = count;
    uint32_t at = 4;
    for (uint32_t i = 0; i < count && !err; i++, at += lfoBytes) {
        r->lfos[i].lsid = Bytes_peekU32Le(data + at);
        r->lfos[i].clfolvl = data[at + 12];
        if (r->lfos[i].clfolvl > 9)
            err = Res_wordNotFound;
    }
    for (uint32_t i = 0; i < count && !err; i++) {
        WordLfo &lfo = r->lfos[i];
        if (lfo.clfolvl == 0)
            continue;
        if (end - at < 4) {
            err = Res_wordNotFound;
            break;
        }
        at += 4;
        for (uint32_t k = 0; k < lfo.clfolvl && !err; k++) {
            if (end - at < lfolvlBytes) {
                err = Res_wordNotFound;
                break;
            }
            WordLfoLevel *o = static_cast<WordLfoLevel *>(Mem_calloc(1, sizeof(WordLfoLevel)));
            if (!o) {
                err = Res_noMemory;
                break;
            }
            lfo.overrides[k] = o;
            o->iStartAt = int32_t(Bytes_peekU32Le(data + at));
            uint8_t flags = data[at + 4];
            o->ilvl = flags & 0x0F;
            o->fStartAt = (flags >> 4) & 1;
            o->fFormatting = (flags >> 5) & 1;
            at += lfolvlBytes;
            if (o->fFormatting) {
                // The override level, with its modifiers and text, must lie
                // inside the override table.
                int e = readLevel(data, end, &at, &o->level);
                if (e)
                    err = e == 2 ? Res_wordNotFound : e;
            }
        }
    }
    Mem_free(data);
    if (err)
        Word_lfoTableFree(r);
    return err;
}

int Word_readLists(WordReader *r)
{
    int err = Word_readListTable(r);
    if (!err)
        err = Word_readLfoTable(r);
    return err;
}

namespace {

// The stored modifier list of an older descriptor's character flags.
uint8_t *anldChpx(const WordAnlv *lv, WordReader *r)
{
    uint8_t buf[64];
    uint32_t n = 0;
    bool w97 = isWord97(r);
    static constexpr uint8_t ops6[6] = {85, 86, 90, 91, 87, 94};
    static constexpr uint16_t ops97[6] = {0x0835, 0x0836, 0x083A, 0x083B, 0x0837, 0x2A3E};
    // set-flags: bold, italic, small caps, caps (flags1 bits 4-7), strike,
    // underline (flags2 bits 0-1); values: flags2 bits 3-7 and kulIco.
    bool set[6] = {(lv->flags1 & 0x10) != 0, (lv->flags1 & 0x20) != 0, (lv->flags1 & 0x40) != 0,
                   (lv->flags1 & 0x80) != 0, (lv->flags2 & 0x01) != 0, (lv->flags2 & 0x02) != 0};
    uint8_t value[6] = {uint8_t((lv->flags2 >> 3) & 1), uint8_t((lv->flags2 >> 4) & 1),
                        uint8_t((lv->flags2 >> 5) & 1), uint8_t((lv->flags2 >> 6) & 1),
                        uint8_t((lv->flags2 >> 7) & 1), uint8_t(lv->kulIco & 7)};
    auto op = [&](uint32_t k) {
        if (w97) {
            buf[n++] = uint8_t(ops97[k]);
            buf[n++] = uint8_t(ops97[k] >> 8);
        } else {
            buf[n++] = ops6[k];
        }
    };
    for (uint32_t k = 0; k < 6; k++)
        if (set[k]) {
            op(k);
            buf[n++] = value[k];
        }
    // Colour, always.
    if (w97) {
        buf[n++] = 0x42;
        buf[n++] = 0x2A;
    } else {
        buf[n++] = 98;
    }
    buf[n++] = uint8_t(lv->kulIco >> 3);
    if (int16_t(lv->ftc) >= 0) {
        if (w97) {
            buf[n++] = 0x3D;
            buf[n++] = 0x4A;
        } else {
            buf[n++] = 93;
        }
        buf[n++] = uint8_t(lv->ftc);
        buf[n++] = uint8_t(lv->ftc >> 8);
    }
    if (lv->hps) {
        if (w97) {
            buf[n++] = 0x43;
            buf[n++] = 0x4A;
        } else {
            buf[n++] = 99;
        }
        buf[n++] = uint8_t(lv->hps);
        buf[n++] = uint8_t(lv->hps >> 8);
    }
    return modifierList(buf, n);
}

} // namespace

int Word_anldToLevel(const WordAnlv *lv, const char16_t *text, uint32_t kind, uint32_t index,
                     WordReader *r)
{
    if (index >= maxLevels || kind < 1 || kind > 4)
        return Res_wordBadListIndex;
    // The list that LFO number kind names.
    if (kind > r->lfoCount)
        return Res_wordNoList;
    uint32_t li = 0;
    int err = Word_findList(r->lfos[kind - 1].lsid, &li, r);
    if (err)
        return err;
    WordList &list = r->lists[li];
    WordListLevel *level = list.levels[index];
    if (!level) {
        if (!(level = emptyLevel()))
            return Res_noMemory;
        level->flags = WordLevel_word6Tab;
        list.levels[index] = level;
    }
    Mem_free(level->chpx);
    Mem_free(level->papx);
    Mem_free(level->text);
    level->chpx = level->papx = nullptr;
    level->text = nullptr;
    level->cch = 0;
    level->iStartAt = lv->iStartAt;
    level->nfc = lv->nfc;
    uint32_t fPrev = (lv->flags1 >> 2) & 1, fPrevSpace = (lv->flags2 >> 2) & 1;
    level->flags =
        uint8_t((level->flags & ~0x33u) | (lv->flags1 & 3) | (fPrev << 4) | (fPrevSpace << 5));
    level->dxaSpace = lv->dxaSpace;
    level->dxaIndent = lv->dxaIndent;
    if (!(level->chpx = anldChpx(lv, r)))
        return Res_noMemory;
    // The number text: the level above's text when fPrev, the characters
    // before, this level's placeholder, the characters after.
    char16_t out[160];
    uint32_t n = 0;
    memset(level->rgbxchNums, 0, sizeof level->rgbxchNums);
    if (fPrev && index > 0 && list.levels[index - 1]) {
        const WordListLevel *above = list.levels[index - 1];
        for (uint32_t i = 0; i < above->cch && n < 64; i++)
            out[n++] = above->text[i];
        for (uint32_t k = 0; k < index && k < 9; k++)
            level->rgbxchNums[k] = above->rgbxchNums[k];
    }
    uint32_t before = lv->cxchTextBefore, after = lv->cxchTextAfter;
    if (before > 32)
        before = 32;
    if (after > 32 - before)
        after = 32 - before;
    for (uint32_t i = 0; text && i < before; i++)
        out[n++] = text[i];
    if (kind != 4 && lv->nfc < 255) {
        uint32_t slot = fPrev ? index : 0;
        out[n++] = char16_t(index);
        level->rgbxchNums[slot] = uint8_t(n);
        if (slot + 1 < 9)
            level->rgbxchNums[slot + 1] = 0;
    }
    for (uint32_t i = 0; text && i < after; i++)
        out[n++] = text[before + i];
    if (n) {
        level->text = static_cast<char16_t *>(Mem_malloc(size_t(n) * sizeof(char16_t)));
        if (!level->text)
            return Res_noMemory;
        memcpy(level->text, out, n * sizeof(char16_t));
        level->cch = uint16_t(n);
    }
    return Res_ok;
}

int Word_olstToLevels(const WordAnlv *levels, uint32_t restart, const char16_t *text, WordReader *r)
{
    if (!r->lfos || r->lfoCount < 2)
        return Res_ok; // the list tables are not read yet
    uint32_t at = 0;
    for (uint32_t i = 0; i < maxLevels; i++) {
        const WordAnlv &lv = levels[i];
        char16_t own[32] = {};
        uint32_t n = uint32_t(lv.cxchTextBefore) + lv.cxchTextAfter;
        for (uint32_t k = 0; k < n && at + k < 32 && k < 32; k++)
            own[k] = text ? text[at + k] : 0;
        at += n;
        int err = Word_anldToLevel(&lv, own, 2, i, r);
        if (err)
            return err;
    }
    if (restart) {
        uint32_t li = 0;
        if (Word_findList(r->lfos[1].lsid, &li, r) == Res_ok)
            return Word_listReset(li, r);
    }
    return Res_ok;
}

namespace {

bool sameText(const char16_t *a, uint32_t na, const char16_t *b, uint32_t nb)
{
    return na == nb && (na == 0 || memcmp(a, b, na * sizeof(char16_t)) == 0);
}

// The level in force: a formatting override's level, else the list's.
const WordListLevel *levelInForce(const WordList &list, uint32_t k)
{
    const WordLfoLevel *o = list.override[k];
    if (o && o->fFormatting && o->level)
        return o->level;
    return list.levels[k];
}

int appendChars(char16_t **buf, uint32_t *n, uint32_t *cap, const char16_t *s, uint32_t count)
{
    if (*n + count + 1 > *cap) {
        uint32_t capacity = (*n + count + 1) * 2;
        void *grown = Mem_realloc(*buf, size_t(capacity) * sizeof(char16_t));
        if (!grown)
            return Res_noMemory;
        *buf = static_cast<char16_t *>(grown);
        *cap = capacity;
    }
    if (count)
        memcpy(*buf + *n, s, count * sizeof(char16_t));
    *n += count;
    (*buf)[*n] = 0;
    return Res_ok;
}

} // namespace

int Word_listNumberText(WordPap *pap, char16_t **outText, uint32_t *outLength, WordChp *outChp,
                        WordReader *r)
{
    *outText = nullptr;
    *outLength = 0;
    r->numberedList = -1;
    if (!r->lfos)
        return Res_ok;
    if (!isWord6(r) && !isWord97(r))
        return Res_wordNotWord;
    uint32_t lfoIndex = 0, lvl = 0;
    int err = Res_ok;
    if (isWord6(r)) {
        uint32_t code = pap->ilvl;
        if (code == 0 || code > 11)
            return Res_ok;
        if (code <= 9) {
            lvl = code - 1;
            if (pap->istd >= 1 && pap->istd <= 9) {
                if ((err = Word_anldToLevel(&pap->anld.lv, pap->anld.text, 1, lvl, r)) != Res_ok)
                    return err;
                lfoIndex = 0;
            } else {
                lfoIndex = 1;
            }
        } else if (code == 10) {
            lfoIndex = 2;
            uint32_t li = 0;
            if (r->lfoCount < 3 || (err = Word_findList(r->lfos[2].lsid, &li, r)) != Res_ok)
                return err;
            const WordListLevel *old = r->lists[li].levels[0];
            char16_t saved[160];
            uint32_t savedN = 0, savedNfc = 0;
            if (old) {
                savedN = old->cch < 160 ? old->cch : 160;
                if (savedN)
                    memcpy(saved, old->text, savedN * sizeof(char16_t));
                savedNfc = old->nfc;
            }
            if ((err = Word_anldToLevel(&pap->anld.lv, pap->anld.text, 3, 0, r)) != Res_ok)
                return err;
            const WordListLevel *now = r->lists[li].levels[0];
            if (now && now->cch &&
                (now->nfc != savedNfc || !sameText(now->text, now->cch, saved, savedN)))
                (void)Word_listLevelReset(li, 0, r);
        } else {
            lfoIndex = 3;
            if ((err = Word_anldToLevel(&pap->anld.lv, pap->anld.text, 4, 0, r)) != Res_ok)
                return err;
        }
    } else {
        if (pap->ilfo == 0 || pap->ilvl == 255)
            return Res_ok;
        lfoIndex = uint32_t(pap->ilfo) - 1;
        lvl = pap->ilvl;
    }
    if (lfoIndex >= r->lfoCount || lvl >= maxLevels)
        return Res_ok;
    const WordLfo &lfo = r->lfos[lfoIndex];
    uint32_t li = 0;
    if (Word_findList(lfo.lsid, &li, r) != Res_ok) {
        if ((err = appendList(r, lfo.lsid, &li)) != Res_ok)
            return err;
        (void)Word_listReset(li, r);
    }
    WordList &list = r->lists[li];
    // The overrides of this LFO come into force once.
    for (uint32_t k = 0; k < lfo.clfolvl && k < 9; k++) {
        const WordLfoLevel *o = lfo.overrides[k];
        if (!o || o->ilvl >= maxLevels || list.override[o->ilvl] == o)
            continue;
        list.override[o->ilvl] = o;
        if (o->fStartAt) {
            list.number[o->ilvl] = o->iStartAt;
            list.used[o->ilvl] = 0;
        }
    }
    const WordListLevel *level = levelInForce(list, lvl);
    if (!level)
        return Res_ok;
    r->numberedList = int32_t(li);
    r->numberedLevel = lvl;
    if (list.used[lvl]) {
        list.number[lvl]++;
        list.used[lvl] = 0;
    }
    // Indents of the level, with the first-use memory.
    if (level->papx) {
        int32_t l0 = pap->dxaLeft, f0 = pap->dxaLeft1;
        if ((err = Word_applyGrpprl(nullptr, pap, nullptr, nullptr, nullptr, WordGrpprl_papList,
                                    level->papx, r)) != Res_ok)
            return err;
        int32_t l1 = pap->dxaLeft, f1 = pap->dxaLeft1;
        if (!list.indentSeen) {
            list.indentSeen = 1;
            list.indentM = l0;
            list.indentK = l1;
            if (int64_t(l0) + f0 > int64_t(l1) + f1) {
                list.indentM = l1;
                pap->dxaLeft = l0;
            }
        } else if (pap->dxaLeft == list.indentK) {
            int64_t shift = int64_t(l0) - list.indentM;
            if (shift >= 0)
                pap->dxaLeft = int32_t(l1 + shift);
            else if (l0 != 0)
                pap->dxaLeft = l0;
        }
    }
    // The text with every placeholder replaced by its level's counter.
    char16_t *buf = nullptr;
    uint32_t n = 0, cap = 0;
    uint32_t from = 0;
    err = appendChars(&buf, &n, &cap, nullptr, 0);
    for (uint32_t k = 0; k < 9 && !err && level->rgbxchNums[k]; k++) {
        uint32_t pos = level->rgbxchNums[k];
        if (pos > level->cch || pos <= from)
            break;
        err = appendChars(&buf, &n, &cap, level->text + from, pos - 1 - from);
        uint32_t which = level->text[pos - 1];
        const WordListLevel *named = which < maxLevels ? levelInForce(list, which) : nullptr;
        if (!err && !named)
            err = Res_wordAbsentLevel;
        if (!err) {
            uint32_t nfc = (level->flags & WordLevel_legal) ? 0 : named->nfc;
            char16_t *number = nullptr;
            err = ListNum_wordFormatText(list.number[which], nfc, &number);
            if (!err) {
                uint32_t len = 0;
                while (number[len])
                    len++;
                err = appendChars(&buf, &n, &cap, number, len);
            }
            Mem_free(number);
        }
        from = pos;
    }
    if (!err && level->cch > from)
        err = appendChars(&buf, &n, &cap, level->text + from, level->cch - from);
    if (!err && level->ixchFollow == 0) {
        static const char16_t tab = 9;
        err = appendChars(&buf, &n, &cap, &tab, 1);
        int32_t stop = level->dxaSpace + level->dxaIndent;
        if (!err && (level->flags & WordLevel_word6Tab) && stop > 0 && pap->itbdMac == 0) {
            pap->itbdMac = 1;
            pap->tabs[0].position = int16_t(stop > 0x7FFF ? 0x7FFF : stop);
            pap->tabs[0].jc = 0;
            pap->tabs[0].leader = 0;
        }
    } else if (!err && level->ixchFollow == 1) {
        static const char16_t space = u' ';
        err = appendChars(&buf, &n, &cap, &space, 1);
    }
    // The character record: the paragraph style's, with the level's
    // modifiers.
    WordChp chp;
    if (pap->istd < r->styleCount && r->styles && r->styles[pap->istd].defined)
        chp = r->styles[pap->istd].chp;
    else if (r->styles && r->istdNormal < r->styleCount && r->styles[r->istdNormal].defined)
        chp = r->styles[r->istdNormal].chp;
    else
        Word_defaultChp(&chp);
    uint16_t styleHps = chp.hps;
    if (!err && level->chpx)
        err = Word_applyGrpprl(nullptr, nullptr, &chp, nullptr, nullptr, WordGrpprl_chpList,
                               level->chpx, r);
    if (chp.hps >= 0x7F00 && chp.hps <= 0x7FFE)
        chp.hps = styleHps;
    // A number text in a symbol font becomes the characters it shows.
    bool symbol = r->symbolFont >= 0 && chp.ftc[0] == uint32_t(r->symbolFont);
    bool wingdings = r->wingdingsFont >= 0 && chp.ftc[0] == uint32_t(r->wingdingsFont);
    if (!err && n && (symbol || wingdings)) {
        uint8_t *bytes = static_cast<uint8_t *>(Mem_malloc(n));
        uint8_t *wide = static_cast<uint8_t *>(Mem_malloc(size_t(n) * 8 + 2));
        if (!bytes || !wide) {
            err = Res_noMemory;
        } else {
            for (uint32_t i = 0; i < n; i++)
                bytes[i] = uint8_t(buf[i]);
            size_t consumed = 0, produced = 0;
            err = symbol ? Charset_symbolToUtf16(r->ctx, bytes, n, wide, size_t(n) * 8, &consumed,
                                                 &produced, nullptr)
                         : Charset_wingdingsToUtf16(r->ctx, bytes, n, wide, size_t(n) * 8,
                                                    &consumed, &produced, nullptr);
            if (!err) {
                uint32_t m = uint32_t(produced / 2);
                if (m + 1 > cap) {
                    void *grown = Mem_realloc(buf, (size_t(m) + 1) * sizeof(char16_t));
                    if (!grown)
                        err = Res_noMemory;
                    else {
                        buf = static_cast<char16_t *>(grown);
                        cap = m + 1;
                    }
                }
                if (!err) {
                    memcpy(buf, wide, size_t(m) * sizeof(char16_t));
                    buf[m] = 0;
                    n = m;
                }
            }
        }
        Mem_free(bytes);
        Mem_free(wide);
    }
    // Deeper levels restart; this level and those above it count as used.
    for (uint32_t k = lvl + 1; k < maxLevels && !err; k++) {
        const WordListLevel *below = list.levels[k];
        if (below && !(below->flags & WordLevel_noRestart))
            err = Word_listLevelReset(li, k, r);
    }
    for (uint32_t k = 0; k <= lvl; k++)
        list.used[k] = 1;
    if (err || n == 0) {
        Mem_free(buf);
        return err;
    }
    *outText = buf;
    *outLength = n;
    *outChp = chp;
    return Res_ok;
}
