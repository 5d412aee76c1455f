// The list record of a numbered paragraph, made for the writer from the
// reader's list definition and attached to the paragraph's node.
#include "word/reader/paralist.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "document/edr/attach.h"
#include "word/reader/word.h"

namespace {

// The modifier bytes of a reader list (a 16-bit length, then the bytes)
// as an owned copy without the length; at most 255 bytes, the most a level
// records.
int copyModifiers(const uint8_t *list, uint8_t **out, uint8_t *length)
{
    *out = nullptr;
    *length = 0;
    if (!list)
        return Res_ok;
    uint32_t n = Bytes_peekU16Le(list);
    if (n > 255)
        n = 255;
    if (n == 0)
        return Res_ok;
    *out = static_cast<uint8_t *>(Mem_malloc(n));
    if (!*out)
        return Res_noMemory;
    memcpy(*out, list + 2, n);
    *length = uint8_t(n);
    return Res_ok;
}

} // namespace

void WordListLevel_free(WordParaListLevel *level)
{
    if (!level)
        return;
    Mem_free(level->grpprlPapx);
    Mem_free(level->grpprlChpx);
    Mem_free(level->text);
    Mem_free(level);
}

int Word_paraListCreate(const WordList *list, uint32_t ilvl, const WordListLevel *level,
                        const WordLfoLevel *override, WordParaList **out)
{
    *out = nullptr;
    if (ilvl > 8)
        return Res_wordBadListIndex;
    WordParaList *p = static_cast<WordParaList *>(Mem_calloc(1, sizeof(WordParaList)));
    if (!p)
        return Res_noMemory;
    p->flags = WordParaList_created;
    p->lsid = list->lsid;
    p->tplc = list->tplc;
    for (uint32_t k = 0; k < 9; k++)
        p->rgistd[k] = list->rgistd[k];
    WordParaListLevel *l =
        static_cast<WordParaListLevel *>(Mem_calloc(1, sizeof(WordParaListLevel)));
    if (!l) {
        Mem_free(p);
        return Res_noMemory;
    }
    p->levels[ilvl] = l;
    l->flags = uint8_t(level->flags & 0x7F);
    l->nfc = level->nfc;
    memcpy(l->rgbxchNums, level->rgbxchNums, sizeof l->rgbxchNums);
    l->ixchFollow = level->ixchFollow;
    l->iStartAt = override && override->fStartAt ? override->iStartAt : level->iStartAt;
    l->dxaSpace = level->dxaSpace;
    l->dxaIndent = level->dxaIndent;
    int err = copyModifiers(level->papx, &l->grpprlPapx, &l->cbGrpprlPapx);
    if (!err)
        err = copyModifiers(level->chpx, &l->grpprlChpx, &l->cbGrpprlChpx);
    if (!err && level->text && level->cch) {
        l->text = static_cast<char16_t *>(Mem_malloc(size_t(level->cch) * sizeof(char16_t)));
        if (!l->text)
            err = Res_noMemory;
        else {
            memcpy(l->text, level->text, size_t(level->cch) * sizeof(char16_t));
            l->textLength = level->cch;
        }
    }
    if (err) {
        Word_paraListFree(p);
        return err;
    }
    *out = p;
    return Res_ok;
}

int Word_paraListCreateAll(const WordList *list, WordParaList **out)
{
    *out = nullptr;
    WordParaList *all = nullptr;
    for (uint32_t k = 0; k < 9; k++) {
        if (!list->levels[k])
            continue;
        WordParaList *one = nullptr;
        int err = Word_paraListCreate(list, k, list->levels[k], nullptr, &one);
        if (err) {
            Word_paraListFree(all);
            return err;
        }
        if (!all) {
            all = one;
            continue;
        }
        all->levels[k] = one->levels[k];
        one->levels[k] = nullptr;
        Word_paraListFree(one);
    }
    if (!all) {
        all = static_cast<WordParaList *>(Mem_calloc(1, sizeof(WordParaList)));
        if (!all)
            return Res_noMemory;
        all->flags = WordParaList_created;
        all->lsid = list->lsid;
        all->tplc = list->tplc;
        for (uint32_t k = 0; k < 9; k++)
            all->rgistd[k] = list->rgistd[k];
    }
    *out = all;
    return Res_ok;
}

void Word_paraListFree(WordParaList *list)
{
    if (!list)
        return;
    for (WordParaListLevel *l : list->levels)
        WordListLevel_free(l);
    Mem_free(list);
}

void Word_paraListDataFree(void *holder)
{
    WordParaListData *d = static_cast<WordParaListData *>(holder);
    if (!d)
        return;
    Word_paraListFree(d->list);
    Mem_free(d);
}

int Word_paraAttachList(Edr_Doc *doc, Edr_Node *node, WordParaList *list)
{
    WordParaListData *d = static_cast<WordParaListData *>(Mem_calloc(1, sizeof(WordParaListData)));
    if (!d) {
        Word_paraListFree(list);
        return Res_noMemory;
    }
    d->list = list;
    int err = Edr_Node_setPrivate(doc, node, d, Word_paraListDataFree);
    if (err)
        Word_paraListDataFree(d);
    return err;
}

const WordParaList *Word_paraListOf(Edr_Doc *doc, Edr_Node *node)
{
    void *data = nullptr;
    Edr_PrivateDestructor destructor = nullptr;
    if (!node || Edr_Node_getPrivate(doc, node, &data) != Res_ok || !data ||
        Edr_Node_getPrivateDestructor(doc, node, &destructor) != Res_ok ||
        destructor != Word_paraListDataFree)
        return nullptr;
    return static_cast<WordParaListData *>(data)->list;
}

const WordParaListLevel *Word_paraListFirstLevel(const WordParaList *list)
{
    if (!list)
        return nullptr;
    for (const WordParaListLevel *l : list->levels)
        if (l)
            return l;
    return nullptr;
}
