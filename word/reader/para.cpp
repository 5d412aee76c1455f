// The Word paragraph builder: a paragraph's node and style, its runs,
// bookmark anchors at its ends, the empty-paragraph fill, and the two edit
// tests that the loader installs on the document.
#include <cstring>

#include "core/geom/tabstops.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "core/text/strtable.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "core/style/triple.h"
#include "word/reader/build.h"
#include "word/reader/paralist.h"

namespace {

int32_t twipsSigned(int32_t v)
{
    return int32_t(int64_t(v) * 65536 / 1440);
}

uint32_t twipsUnsigned(uint32_t v)
{
    return uint32_t(uint64_t(v) * 65536 / 1440);
}

} // namespace

int Word_papToProps(const WordPap *pap, int32_t leftMargin, WordPropList *list, WordReader *r)
{
    Word_propListInit(list);
    int err = Res_ok;
    auto add = [&](uint32_t id, uint32_t type, uint32_t word) {
        if (!err)
            err = Word_propAdd(list, id, type, word, r);
    };
    if (pap->dxaWidth)
        add(90, WordValue_length, uint32_t(twipsSigned(pap->dxaWidth)));
    if (!err) {
        PropLineSpacing *triple = nullptr;
        if (pap->fMultLinespace) {
            int32_t line = pap->dyaLine < 0 ? -pap->dyaLine : pap->dyaLine;
            err = Obj_newTriple(&triple, 1, int32_t(100u * ((uint32_t(line) * 65536u) / 240u)),
                                105 * 65536);
        } else if (pap->dyaLine >= 0) {
            err = Obj_newTriple(&triple, 2, twipsSigned(pap->dyaLine), 105 * 65536);
        } else {
            err = Obj_newTriple(&triple, 0, twipsSigned(-pap->dyaLine), 100 * 65536);
        }
        if (!err) {
            WordPropValue v{};
            v.id = 110;
            v.type = WordValue_triple;
            v.payload = reinterpret_cast<uintptr_t>(triple);
            err = Word_propListAdd(list, &v, r);
        }
    }
    if (pap->dyaBefore)
        add(51, WordValue_length, twipsUnsigned(uint32_t(pap->dyaBefore)));
    if (pap->dyaAfter)
        add(53, WordValue_length, twipsUnsigned(uint32_t(pap->dyaAfter)));
    if (pap->dxaRight)
        add(52, WordValue_length, uint32_t(twipsSigned(pap->dxaRight)));
    if (pap->dxaLeft)
        add(54, WordValue_length, uint32_t(twipsSigned(pap->dxaLeft)));
    if (pap->dxaLeft1)
        add(81, WordValue_length, uint32_t(twipsSigned(pap->dxaLeft1)));
    // A page break before the paragraph (page-break-before: always) and a
    // right-to-left paragraph (direction: rtl) stay with it, for the
    // writer to give back.
    if (pap->fPageBreakBefore)
        add(72, WordValue_keyword, 32);
    if (pap->fBiDi)
        add(33, WordValue_keyword, 118);
    static constexpr uint32_t justify[4] = {86, 45, 117, 80};
    add(79, WordValue_keyword, pap->jc < 4 ? justify[pap->jc] : 0);
    if (!err && pap->brcp)
        err = Word_boxBorders(pap->brcp, pap->brcl, list, r);
    for (uint32_t side = 0; side < 4 && !err; side++)
        if (pap->brc[side].style > 0)
            err = Word_borderToProps(&pap->brc[side], side, list, r);
    add(103, WordValue_length, twipsUnsigned(uint32_t(leftMargin)));
    if (!err && pap->itbdMac) {
        uint32_t n = pap->itbdMac < Word_maxTabs ? uint32_t(pap->itbdMac) : uint32_t(Word_maxTabs);
        TabStopList *tabs = nullptr;
        err = TabStops_create(&tabs, int32_t(n));
        for (uint32_t i = 0; i < n && !err; i++) {
            TabStop stop{int32_t(twipsUnsigned(uint16_t(pap->tabs[i].position))),
                         uint32_t(pap->tabs[i].jc & 7) | (uint32_t(pap->tabs[i].leader & 7) << 3)};
            err = TabStops_set(tabs, int32_t(i), stop);
        }
        if (!err) {
            WordPropValue v{};
            v.id = 105;
            v.type = WordValue_tabs;
            v.payload = reinterpret_cast<uintptr_t>(tabs);
            err = Word_propListAdd(list, &v, r);
        } else {
            TabStops_free(tabs);
        }
    }
    if (err)
        Word_propListClear(list);
    return err;
}

void Word_mergeCondChp(const WordChp *from, WordChp *into)
{
    into->fBold |= from->fBold;
    into->fItalic |= from->fItalic;
    into->fRMarkDel |= from->fRMarkDel;
    into->fRMark |= from->fRMark;
    into->fSmallCaps |= from->fSmallCaps;
    into->fCaps |= from->fCaps;
    into->fVanish |= from->fVanish;
    into->fStrike |= from->fStrike;
    into->iss |= from->iss;
    into->kul |= from->kul;
    into->hps = from->hps;
    into->hpsPos = from->hpsPos;
    memcpy(into->ftc, from->ftc, sizeof into->ftc);
    if (from->ico) {
        into->ico = from->ico;
        memcpy(into->rgb, from->rgb, sizeof into->rgb);
    }
    if (from->fHighlight) {
        into->icoHighlight = from->icoHighlight;
        into->fHighlight = from->fHighlight;
    }
}

int Word_paraBegin(uint32_t cp, WordSectionContext *section, WordParaState **out,
                   uint32_t storyFlag)
{
    *out = nullptr;
    WordParaState *para = static_cast<WordParaState *>(Mem_calloc(1, sizeof(WordParaState)));
    if (!para)
        return Res_noMemory;
    para->section = section;
    para->storyFlag = storyFlag;
    WordNodeBuilder *b = section->builder;
    WordReader *r = b->reader;
    Word_defaultPap(&para->pap);
    Word_clearTap(&para->tap);
    para->pap.fBiDi = section->sep.fBiDi;
    int err = Word_applyParaProps(cp, &para->pap, &para->tap, r);
    if (err == Res_wordNotFound)
        err = Res_ok;
    if (err) {
        Mem_free(para);
        return err;
    }
    if (para->pap.fTtp || para->pap.fInnerTtp) {
        para->skipped = 1;
        *out = para;
        return Res_ok;
    }
    Edr_Node *parent = nullptr;
    if ((err = Word_tableParent(para, &parent)) != Res_ok) {
        Mem_free(para);
        return err;
    }
    // The list number text that leads the paragraph. A number text naming
    // a level the list lacks leaves the paragraph without a number rather
    // than the document without the paragraph.
    err = Word_listNumberText(&para->pap, &para->leadIn, &para->leadInLength, &para->leadInChp, r);
    if (err == Res_wordAbsentLevel)
        err = Res_ok;
    if (!err && r->fib.wIdent == Word_identWord6 && para->pap.ilvl == 0) {
        uint32_t list1 = 0;
        if (Word_findList(1, &list1, r) == Res_ok)
            for (uint32_t level = 0; level < 9 && !err; level++)
                err = Word_listLevelReset(list1, level, r);
    }
    if (err) {
        Mem_free(para->leadIn);
        Mem_free(para);
        return err;
    }
    // The paragraph style's character record is the base of its runs.
    uint32_t istd = para->pap.istd;
    if (istd < r->styleCount && r->styles[istd].defined)
        para->baseChp = r->styles[istd].chp;
    else if (r->istdNormal < r->styleCount && r->styles[r->istdNormal].defined)
        para->baseChp = r->styles[r->istdNormal].chp;
    else
        Word_defaultChp(&para->baseChp);
    para->baseChp.istdPara = uint16_t(istd);
    // In a table with a table style: the style's regions of this cell.
    uint32_t ts = para->pap.styleWord, regions = para->pap.secondWord;
    if (section->tableDepth && ts && ts < r->styleCount && r->styles[ts].defined) {
        const WordStyleEntry &style = r->styles[ts];
        if (regions == 0x1000) {
            para->baseChp = style.chp;
        } else if (style.conditional) {
            static constexpr uint8_t passes[3][2] = {{4, 7}, {0, 3}, {8, 11}};
            for (const auto &pass : passes)
                for (uint32_t bit = pass[0]; bit <= pass[1]; bit++)
                    if (regions & (1u << bit))
                        Word_mergeCondChp(&style.conditional[bit], &para->baseChp);
        }
    }
    if ((err = Edr_Node_createGroup(b->doc, parent, Edr_Insert_lastChild, 0, &para->container)) !=
        Res_ok) {
        Mem_free(para->leadIn);
        Mem_free(para);
        return err;
    }
    int32_t left = storyFlag ? 0 : int32_t(uint16_t(section->sep.dxaLeft));
    WordPropList list;
    err = Word_papToProps(&para->pap, left, &list, r);
    if (!err)
        err = Word_styleIntern(&list, &para->styleId, r);
    Word_propListClear(&list);
    if (!err)
        err = Word_nodeSetStyle(b->doc, para->container, WordClass_paragraph, para->styleId);
    // The paragraph's list for the writer: its list definition with the
    // level in force.
    if (!err && r->numberedList >= 0 && uint32_t(r->numberedList) < r->listCount) {
        const WordList &l = r->lists[r->numberedList];
        uint32_t k = r->numberedLevel;
        const WordListLevel *level =
            k < 9 && l.override[k] && l.override[k]->fFormatting && l.override[k]->level
                ? l.override[k]->level
            : k < 9 ? l.levels[k]
                    : nullptr;
        WordParaList *record = nullptr;
        if (level && (err = Word_paraListCreate(&l, k, level, l.override[k], &record)) == Res_ok)
            err = Word_paraAttachList(b->doc, para->container, record);
    }
    r->numberedList = -1;
    if (err) {
        Edr_Node_release(b->doc, para->container);
        Mem_free(para->leadIn);
        Mem_free(para);
        return err;
    }
    *out = para;
    return Res_ok;
}

int Word_paraOpenAnchor(WordParaState *para, const char16_t *name)
{
    if (!name || para->skipped)
        return Res_ok;
    Edr_Doc *doc = para->section->builder->doc;
    Edr_Node *anchor = nullptr;
    int err = Edr_Node_createGroup(doc, para->container, Edr_Insert_lastChild, 0, &anchor);
    if (err)
        return err;
    if (name[0] == u'_')
        name++;
    uint32_t n = 0;
    while (name[n])
        n++;
    err = Edr_Node_setInternedText(doc, anchor, name, n);
    if (!err)
        err = Edr_Node_setStyle(doc, anchor, WordClass_anchorGroup);
    if (err) {
        Edr_Node_release(doc, anchor);
        return err;
    }
    Edr_Node_release(doc, para->container);
    para->container = anchor;
    return Res_ok;
}

int Word_paraEmitRuns(uint32_t cpStart, uint32_t *cpEnd, WordParaState *para, WordReader *r)
{
    int err = Res_ok;
    // Bookmarks that start inside an earlier paragraph's text have passed.
    for (WordBookmarks *bm = r->bookmarks;
         bm && bm->firstStart != Word_noBookmark && bm->entries[bm->firstStart].start < cpStart;)
        Word_bookmarkStarted(r, 0, bm->firstStart);
    // Bookmarks that start at the paragraph's start open anchors (bounded:
    // each pass moves the start cursor on).
    for (uint32_t guard = 0; !para->skipped && guard < 1000; guard++) {
        uint32_t index = Word_bookmarkStartAt(r, cpStart, *cpEnd);
        if (index == Word_noBookmark)
            break;
        if ((err = Word_paraOpenAnchor(para, Word_bookmarkName(r, index))) != Res_ok)
            return err;
        Word_bookmarkStarted(r, index + 1, index);
    }
    uint32_t cp = cpStart, lastCp = 0xFFFFFFFF, repeats = 0;
    para->cpEnd = *cpEnd;
    while (cp < *cpEnd) {
        // The repeat guard: a run lookup that makes no progress ends the
        // paragraph on the third pass at one CP.
        if (cp == lastCp) {
            if (++repeats >= 3)
                return err;
        } else {
            lastCp = cp;
            repeats = 0;
        }
        if (r->ctx && Task_checkStop(r->ctx))
            return Res_stopRequested;
        uint32_t runEnd = 0;
        if (Word_nextRunEnd(cp, &runEnd, r) != Res_ok || runEnd < cp || runEnd > *cpEnd)
            runEnd = *cpEnd;
        // Split at piece boundaries.
        for (uint32_t at = cp; at < runEnd && !err;) {
            uint32_t start = 0, end = 0, is16 = 0;
            uint32_t partEnd = runEnd;
            if (Word_pieceAtCp(at, &start, &end, &is16, r) == Res_ok && end < partEnd && end > at)
                partEnd = end;
            err = Word_emitTextRange(at, partEnd, para);
            at = partEnd;
        }
        if (err)
            return err;
        if (runEnd > cp)
            cp = runEnd;
    }
    // Bookmarks that end in the paragraph close the anchor they opened.
    for (WordBookmarks *bm = r->bookmarks; bm && bm->firstEnd != Word_noBookmark;) {
        uint32_t pair = bm->firstEnd;
        if (bm->ends[pair].end > *cpEnd)
            break;
        if (!para->skipped && para->container && Edr_Node_parent(para->container) &&
            Edr_Node_group(para->container)->element == WordClass_anchorGroup) {
            Edr_Node *parent = nullptr;
            if ((err = Edr_Node_getParent(para->section->builder->doc, para->container, &parent)) !=
                Res_ok)
                return err;
            Edr_Node_release(para->section->builder->doc, para->container);
            para->container = parent;
        }
        Word_bookmarkEnded(r, pair);
    }
    return err;
}

int Word_paraEnd(WordParaState **state)
{
    WordParaState *para = *state;
    if (!para)
        return Res_ok;
    (void)Word_paraFinishShape(para, 1);
    int tableErr = Word_tableParaEnd(para);
    int fillErr = Res_ok;
    if (para->container && !para->hasContent)
        fillErr = Word_emptyParagraphFill(para);
    if (para->container)
        Edr_Node_release(para->section->builder->doc, para->container);
    Mem_free(para->leadIn);
    Mem_free(para);
    *state = nullptr;
    return tableErr ? tableErr : fillErr;
}

namespace {

uint32_t classOf(Edr_Node *node)
{
    return Edr_Node_type(node) == Edr_NodeType_group ? Edr_Node_group(node)->element : 0;
}

} // namespace

int Word_nodeEditable(Edr_Doc *, Edr_Node *node, int *flag)
{
    *flag = 1;
    if (!node)
        return Res_ok;
    switch (Edr_Node_type(node)) {
    case Edr_NodeType_group: {
        uint32_t cls = classOf(node);
        if (cls == WordClass_section && !Edr_Node_parent(node))
            *flag = 0;
        break;
    }
    case Edr_NodeType_text: {
        Edr_Node *parent = Edr_Node_parent(node);
        *flag = parent && classOf(parent) == WordClass_textGroup ? 1 : 0;
        break;
    }
    case Edr_NodeType_path: *flag = 0; break;
    default: {
        Edr_Node *parent = Edr_Node_parent(node);
        *flag = parent && Edr_Node_wrapsImage(parent) ? 0 : 1;
        break;
    }
    }
    return Res_ok;
}

int Word_nodeChainEditable(Edr_Doc *doc, Edr_Node *node, int *flag)
{
    *flag = 1;
    for (Edr_Node *n = node; n && *flag; n = Edr_Node_parent(n)) {
        int err = Word_nodeEditable(doc, n, flag);
        if (err)
            return err;
    }
    return Res_ok;
}

int Word_textGroupEditable(Edr_Doc *doc, intptr_t value, intptr_t *flag)
{
    // A list lead-in is the paragraph's first text group when the list
    // record attached to the paragraph gives it content: a number text or
    // a follow character.
    *flag = 1;
    Edr_Node *node = reinterpret_cast<Edr_Node *>(value);
    if (!node || Edr_Node_type(node) != Edr_NodeType_group || classOf(node) != WordClass_textGroup)
        return Res_ok;
    Edr_Node *para = Edr_Node_parent(node);
    const WordParaListLevel *level = Word_paraListFirstLevel(Word_paraListOf(doc, para));
    if (!level || (level->textLength == 0 && level->ixchFollow == 2))
        return Res_ok;
    for (Edr_Node *c = Edr_Node_firstChild(para); c; c = Edr_Node_nextSibling(c))
        if (Edr_Node_type(c) == Edr_NodeType_group && classOf(c) == WordClass_textGroup) {
            if (c == node)
                *flag = 0;
            break;
        }
    return Res_ok;
}
