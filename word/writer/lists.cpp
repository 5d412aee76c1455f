// The list tables of a saved document: the lists and overrides that the
// list paragraphs name, gathered while the paragraphs are written, then
// PlfLst (list headers and their nine levels), PlfLfo (overrides with
// their override levels) and SttbListNames in "1Table".
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "office/ole2/ole.h"
#include "office/ole2/olewriter.h"
#include "office/pack/pack.h"
#include "word/reader/build.h"
#include "word/reader/paralist.h"
#include "word/writer/writer.h"

namespace {

enum : uint32_t {
    pairSttbListNames = 91,
};

int copyBytes(const uint8_t *from, uint32_t n, uint8_t **to)
{
    *to = nullptr;
    if (!from || !n)
        return Res_ok;
    *to = static_cast<uint8_t *>(Mem_malloc(n));
    if (!*to)
        return Res_noMemory;
    memcpy(*to, from, n);
    return Res_ok;
}

int sameBytes(const void *a, const void *b, uint32_t n)
{
    return n == 0 || (a && b && memcmp(a, b, n) == 0);
}

int grow(void **array, uint32_t *capacity, uint32_t count, size_t size)
{
    if (count < *capacity)
        return Res_ok;
    void *bigger = Mem_realloc(*array, (size_t(*capacity) + 8) * size);
    if (!bigger)
        return Res_noMemory;
    *array = bigger;
    *capacity += 8;
    return Res_ok;
}

WordParaList *findList(WordListTables *t, uint32_t lsid)
{
    for (uint32_t i = 0; i < t->listCount; i++)
        if (t->lists[i]->lsid == lsid)
            return t->lists[i];
    return nullptr;
}

void lfoFree(WordOutLfo *lfo)
{
    if (!lfo)
        return;
    for (WordOutLfoLevel *l : lfo->levels)
        if (l) {
            WordListLevel_free(l->level);
            Mem_free(l);
        }
    Mem_free(lfo);
}

int addLfo(WordListTables *t, uint32_t lsid, uint32_t *index)
{
    int err = grow(reinterpret_cast<void **>(&t->lfos), &t->lfoCapacity, t->lfoCount,
                   sizeof(WordOutLfo *));
    if (err)
        return err;
    WordOutLfo *lfo = static_cast<WordOutLfo *>(Mem_calloc(1, sizeof(WordOutLfo)));
    if (!lfo)
        return Res_noMemory;
    lfo->lsid = lsid;
    t->lfos[t->lfoCount] = lfo;
    *index = t->lfoCount++;
    return Res_ok;
}

// The list of the source document with the lsid, lent by the root data.
const WordParaList *sourceList(const WordWriter *w, uint32_t lsid)
{
    const WordRootData *d = w->rootData;
    if (!d || !d->lists)
        return nullptr;
    const WordParaList *const *lists = static_cast<const WordParaList *const *>(d->lists);
    for (uint32_t i = 0; i < d->listCount; i++)
        if (lists[i] && lists[i]->lsid == lsid)
            return lists[i];
    return nullptr;
}

// Levels 1 to 9 of every list, missing ones copied from the source's list
// or made with the default values.
int completeLists(WordWriter *w)
{
    WordListTables *t = &w->lists;
    for (uint32_t i = 0; i < t->listCount; i++) {
        WordParaList *list = t->lists[i];
        const WordParaList *source = sourceList(w, list->lsid);
        for (uint32_t k = 0; k < 9; k++) {
            if (list->levels[k])
                continue;
            const WordParaListLevel *from = source ? source->levels[k] : nullptr;
            list->levels[k] = from ? WordListLevel_copy(from) : WordListLevel_createDefault();
            if (!list->levels[k])
                return Res_noMemory;
        }
    }
    return Res_ok;
}

// An override with some override levels gets all nine; a level without a
// level record takes the list's, with the override's start number when
// it restarts. Every override level that carries a level says so in its
// fFormatting bit, since readers look for a level only then.
int completeLfo(WordListTables *t, WordOutLfo *lfo)
{
    if (lfo->clfolvl == 0)
        return Res_ok;
    const WordParaList *list = findList(t, lfo->lsid);
    for (uint32_t k = 0; k < 9; k++) {
        WordOutLfoLevel *l = lfo->levels[k];
        if (!l) {
            l = static_cast<WordOutLfoLevel *>(Mem_calloc(1, sizeof(WordOutLfoLevel)));
            if (!l)
                return Res_noMemory;
            l->flags = uint8_t(k);
            lfo->levels[k] = l;
        }
        if (!l->level && list && list->levels[k]) {
            l->level = WordListLevel_copy(list->levels[k]);
            if (!l->level)
                return Res_noMemory;
            if (l->flags & WordLfoLevel_startAt)
                l->level->iStartAt = l->iStartAt;
        }
        if (l->level)
            l->flags |= WordLfoLevel_formatting;
    }
    lfo->clfolvl = 9;
    return Res_ok;
}

int writeBuf(WordWriter *w, WordBuf *buf, uint32_t pair, uint32_t at, uint32_t lcb)
{
    int err =
        buf->length ? OleWriter_streamWrite(w->tableStream, buf->data, buf->length) : int(Res_ok);
    if (!err) {
        w->fib.pairs[pair].fc = int32_t(at);
        w->fib.pairs[pair].lcb = int32_t(lcb);
    }
    buf->length = 0;
    return err;
}

} // namespace

WordParaListLevel *WordListLevel_createDefault()
{
    WordParaListLevel *l =
        static_cast<WordParaListLevel *>(Mem_calloc(1, sizeof(WordParaListLevel)));
    if (l) {
        l->iStartAt = 1;
        l->dxaSpace = 360;
    }
    return l;
}

WordParaListLevel *WordListLevel_copy(const WordParaListLevel *level)
{
    WordParaListLevel *l =
        static_cast<WordParaListLevel *>(Mem_calloc(1, sizeof(WordParaListLevel)));
    if (!l)
        return nullptr;
    *l = *level;
    l->grpprlPapx = l->grpprlChpx = nullptr;
    l->text = nullptr;
    int err = copyBytes(level->grpprlPapx, level->cbGrpprlPapx, &l->grpprlPapx);
    if (!err)
        err = copyBytes(level->grpprlChpx, level->cbGrpprlChpx, &l->grpprlChpx);
    if (!err && level->text && level->textLength) {
        l->text = static_cast<char16_t *>(Mem_malloc(size_t(level->textLength) * sizeof(char16_t)));
        if (!l->text)
            err = Res_noMemory;
        else
            memcpy(l->text, level->text, size_t(level->textLength) * sizeof(char16_t));
    }
    if (err) {
        WordListLevel_free(l);
        return nullptr;
    }
    if (!l->grpprlPapx)
        l->cbGrpprlPapx = 0;
    if (!l->grpprlChpx)
        l->cbGrpprlChpx = 0;
    if (!l->text)
        l->textLength = 0;
    return l;
}

int WordListLevel_compare(const WordParaListLevel *a, const WordParaListLevel *b)
{
    if ((a->flags & 0x7F) != (b->flags & 0x7F) || a->nfc != b->nfc ||
        memcmp(a->rgbxchNums, b->rgbxchNums, 9) != 0 || a->ixchFollow != b->ixchFollow ||
        a->dxaSpace != b->dxaSpace || a->dxaIndent != b->dxaIndent ||
        a->cbGrpprlPapx != b->cbGrpprlPapx || a->cbGrpprlChpx != b->cbGrpprlChpx ||
        a->textLength != b->textLength ||
        !sameBytes(a->grpprlPapx, b->grpprlPapx, a->cbGrpprlPapx) ||
        !sameBytes(a->grpprlChpx, b->grpprlChpx, a->cbGrpprlChpx) ||
        !sameBytes(a->text, b->text, uint32_t(a->textLength) * 2))
        return 2;
    return a->iStartAt != b->iStartAt ? 1 : 0;
}

int WordListLevel_serialize(const WordParaListLevel *level, WordBuf *out)
{
    uint8_t head[28];
    Pack_write(head, "lcc", uint32_t(level->iStartAt), level->nfc, level->flags & 0x7F);
    memcpy(head + 6, level->rgbxchNums, 9);
    Pack_write(head + 15, "c2l2cs", level->ixchFollow, uint32_t(level->dxaSpace),
               uint32_t(level->dxaIndent), level->cbGrpprlChpx, level->cbGrpprlPapx, 0);
    int err = WordBuf_append(out, head, 28);
    if (!err && level->cbGrpprlPapx)
        err = WordBuf_append(out, level->grpprlPapx, level->cbGrpprlPapx);
    if (!err && level->cbGrpprlChpx)
        err = WordBuf_append(out, level->grpprlChpx, level->cbGrpprlChpx);
    if (!err)
        err = WordBuf_u16(out, level->textLength);
    for (uint32_t i = 0; i < level->textLength && !err; i++)
        err = WordBuf_u16(out, level->text[i]);
    return err;
}

void WordList_serialize(const WordParaList *list, uint8_t *out)
{
    Pack_write(out, "ll", list->lsid, list->tplc);
    for (uint32_t k = 0; k < 9; k++)
        Pack_write(out + 8 + 2 * k, "s", list->rgistd[k]);
    Pack_write(out + 26, "cc", list->flags, 0);
}

int WordListTables_addParagraph(WordWriter *w, const WordParaList *list, const uint8_t *papx,
                                uint32_t papxLength, const uint8_t *chpx, uint32_t chpxLength,
                                uint32_t *ilvl, uint32_t *ilfo)
{
    WordListTables *t = &w->lists;
    const WordParaListLevel *level = Word_paraListFirstLevel(list);
    if (!level)
        return Res_wordBadListIndex;
    uint32_t k = 0;
    while (list->levels[k] != level)
        k++;
    *ilvl = k;
    // The writer's list of that lsid.
    WordParaList *mine = findList(t, list->lsid);
    if (!mine) {
        int err = grow(reinterpret_cast<void **>(&t->lists), &t->listCapacity, t->listCount,
                       sizeof(WordParaList *));
        if (err)
            return err;
        mine = static_cast<WordParaList *>(Mem_calloc(1, sizeof(WordParaList)));
        if (!mine)
            return Res_noMemory;
        mine->flags = uint8_t(list->flags & ~WordParaList_simple);
        mine->lsid = list->lsid;
        mine->tplc = list->tplc;
        memcpy(mine->rgistd, list->rgistd, sizeof mine->rgistd);
        t->lists[t->listCount++] = mine;
    }
    // The paragraph's level with the modifiers it takes from the paragraph.
    WordParaListLevel *copy = WordListLevel_copy(level);
    if (!copy)
        return Res_noMemory;
    Mem_free(copy->grpprlPapx);
    Mem_free(copy->grpprlChpx);
    copy->grpprlPapx = copy->grpprlChpx = nullptr;
    copy->cbGrpprlPapx = uint8_t(papxLength > 255 ? 0 : papxLength);
    copy->cbGrpprlChpx = uint8_t(chpxLength > 255 ? 0 : chpxLength);
    int err = copyBytes(papx, copy->cbGrpprlPapx, &copy->grpprlPapx);
    if (!err)
        err = copyBytes(chpx, copy->cbGrpprlChpx, &copy->grpprlChpx);
    if (err) {
        WordListLevel_free(copy);
        return err;
    }
    if (!mine->levels[k]) {
        // The first paragraph of this level defines it.
        mine->levels[k] = copy;
        copy = nullptr;
    }
    int same = copy ? WordListLevel_compare(copy, mine->levels[k]) : 0;
    // An override that says the same about this level: none for a level
    // like the list's, a restart at the same number, or the same level.
    for (uint32_t i = 0; i < t->lfoCount; i++) {
        WordOutLfo *lfo = t->lfos[i];
        if (lfo->lsid != list->lsid)
            continue;
        const WordOutLfoLevel *ol = lfo->levels[k];
        int fits = 0;
        if (same == 0)
            fits = ol == nullptr;
        else if (same == 1)
            fits = ol && (ol->flags & WordLfoLevel_startAt) && !ol->level &&
                   ol->iStartAt == copy->iStartAt;
        else
            fits = ol && ol->level && WordListLevel_compare(ol->level, copy) == 0;
        if (fits) {
            WordListLevel_free(copy);
            *ilfo = i + 1;
            return Res_ok;
        }
    }
    uint32_t index = 0;
    err = addLfo(t, list->lsid, &index);
    if (!err && same) {
        WordOutLfoLevel *ol =
            static_cast<WordOutLfoLevel *>(Mem_calloc(1, sizeof(WordOutLfoLevel)));
        if (!ol) {
            err = Res_noMemory;
        } else {
            WordOutLfo *lfo = t->lfos[index];
            ol->flags = uint8_t(k);
            if (same == 1) {
                ol->flags |= WordLfoLevel_startAt;
                ol->iStartAt = copy->iStartAt;
            } else {
                ol->flags |= WordLfoLevel_formatting;
                ol->iStartAt = copy->iStartAt;
                ol->level = copy;
                copy = nullptr;
            }
            lfo->levels[k] = ol;
            lfo->clfolvl = 1;
        }
    }
    WordListLevel_free(copy);
    if (!err)
        *ilfo = index + 1;
    return err;
}

int WordListTables_names(uint32_t count, WordBuf *out)
{
    int err = WordBuf_u16(out, 0xFFFF);
    if (!err)
        err = WordBuf_u16(out, count);
    if (!err)
        err = WordBuf_u16(out, 0);
    for (uint32_t i = 0; i < count && !err; i++)
        err = WordBuf_u16(out, 0);
    return err;
}

int WordListTables_write(WordWriter *w)
{
    WordListTables *t = &w->lists;
    if (!t->listCount)
        return Res_ok;
    int err = completeLists(w);
    for (uint32_t i = 0; i < t->lfoCount && !err; i++)
        err = completeLfo(t, t->lfos[i]);
    WordBuf buf{};
    // PlfLst: the list headers, then every list's nine levels.
    uint32_t at = Ole_streamTell(w->tableStream);
    if (!err)
        err = WordBuf_u16(&buf, t->listCount);
    for (uint32_t i = 0; i < t->listCount && !err; i++) {
        uint8_t lstf[28];
        WordList_serialize(t->lists[i], lstf);
        err = WordBuf_append(&buf, lstf, 28);
    }
    uint32_t lcb = buf.length;
    for (uint32_t i = 0; i < t->listCount && !err; i++)
        for (uint32_t k = 0; k < 9 && !err; k++)
            err = WordListLevel_serialize(t->lists[i]->levels[k], &buf);
    if (!err)
        err = writeBuf(w, &buf, WordPair_plfLst, at, lcb);
    // PlfLfo: the overrides, then each one's override levels.
    at = Ole_streamTell(w->tableStream);
    if (!err)
        err = WordBuf_u32(&buf, t->lfoCount);
    for (uint32_t i = 0; i < t->lfoCount && !err; i++) {
        uint8_t lfo[16];
        Pack_write(lfo, "3lc3c", t->lfos[i]->lsid, 0, 0, t->lfos[i]->clfolvl, 0, 0, 0);
        err = WordBuf_append(&buf, lfo, 16);
    }
    for (uint32_t i = 0; i < t->lfoCount && !err; i++) {
        const WordOutLfo *lfo = t->lfos[i];
        err = WordBuf_u32(&buf, 0xFFFFFFFFu);
        for (uint32_t k = 0; k < 9 && lfo->clfolvl && !err; k++) {
            const WordOutLfoLevel *l = lfo->levels[k];
            uint8_t lfolvl[8];
            Pack_write(lfolvl, "lc3c", uint32_t(l->iStartAt), l->flags & ~0x40u, 0, 0, 0);
            err = WordBuf_append(&buf, lfolvl, 8);
            if (!err && (l->flags & WordLfoLevel_formatting) && l->level)
                err = WordListLevel_serialize(l->level, &buf);
        }
    }
    if (!err)
        err = writeBuf(w, &buf, WordPair_plfLfo, at, buf.length);
    at = Ole_streamTell(w->tableStream);
    if (!err)
        err = WordListTables_names(t->listCount, &buf);
    if (!err)
        err = writeBuf(w, &buf, pairSttbListNames, at, buf.length);
    WordBuf_free(&buf);
    return err;
}

void WordListTables_free(WordListTables *t)
{
    for (uint32_t i = 0; i < t->listCount; i++)
        Word_paraListFree(t->lists[i]);
    for (uint32_t i = 0; i < t->lfoCount; i++)
        lfoFree(t->lfos[i]);
    Mem_free(t->lists);
    Mem_free(t->lfos);
    *t = WordListTables{};
}
