// The presentation reader: the current user, the user-edit chain and the
// persist directory, the document walk, the master list, the slide list
// with its text blocks (text, paragraph and character runs, rulers), the
// master text styles, and loading one slide on demand.
//
// Every record is read through the OfficeArt record source over the
// "PowerPoint Document" stream; atoms are read into small buffers and
// unpacked field by field, little-endian.
#include <cstring>
#include <initializer_list>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/stylerule.h"
#include "core/task/task.h"
#include "core/text/fmt.h"
#include "core/stream/bytestream.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "office/ole2/oleprobe.h"
#include "document/edr/loadprogress.h"
#include "office/ole2/ole.h"
#include "office/powerpoint/ppt.h"

namespace {

// Reads up to n bytes of a record's data at the source's position into
// buf; bytes the record does not hold read as 0.
int readAtom(PptReader *r, const EscherRecordHeader *h, uint8_t *buf, uint32_t n)
{
    memset(buf, 0, n);
    return EscherSource_read(&r->source, buf, h->length < n ? h->length : n);
}

// The whole data of a record into a new buffer (one spare NUL unit).
int readBody(PptReader *r, const EscherRecordHeader *h, uint8_t **out)
{
    *out = nullptr;
    uint64_t size = r->docStream ? Ole_streamSize(r->docStream) : 0;
    if (h->length > size)
        return Res_pptNotPresentation;
    auto *b = static_cast<uint8_t *>(Mem_malloc(size_t(h->length) + 2));
    if (!b)
        return Res_noMemory;
    int err = EscherSource_read(&r->source, b, h->length);
    if (err) {
        Mem_free(b);
        return err;
    }
    b[h->length] = b[h->length + 1] = 0;
    *out = b;
    return Res_ok;
}

// The record header at offset of the presentation stream.
int headerAt(PptReader *r, uint32_t offset, EscherRecordHeader *h)
{
    int err = EscherSource_seek(&r->source, offset, 0);
    if (!err)
        err = Escher_readRecordHeader(&r->source, h);
    return err;
}

// Whether err says the bytes are damaged (rather than memory or a stop):
// records or streams that end early or point past their end.
bool pptDamaged(int err)
{
    return err == Res_oleSeekBeyond || err == Res_oleStreamEnd || err == Res_oleChainEnds ||
           err == Res_oleExactShort || (err >= Escher_errNoSource && err <= Escher_errBeyond);
}

void freeHeadersFooters(PptHeadersFooters *hf)
{
    Mem_free(hf->userDate);
    Mem_free(hf->footer);
    Mem_free(hf->header);
    memset(hf, 0, sizeof *hf);
}

// ------------------------------------------------------ headers and footers

struct HfWalk {
    PptReader *reader;
    PptHeadersFooters *hf;
    int first;
};

int hfChild(void *user, EscherWalk *, const EscherRecordHeader *h)
{
    auto *w = static_cast<HfWalk *>(user);
    PptReader *r = w->reader;
    if (w->first) {
        w->first = 0;
        if (h->length != 4)
            return Res_pptNotPresentation;
        uint8_t b[4];
        int err = readAtom(r, h, b, 4);
        if (err)
            return err;
        w->hf->formatId = Bytes_peekU16Le(b);
        uint16_t flags = Bytes_peekU16Le(b + 2);
        w->hf->words[0] = 0;
        for (int k = 0; k < 6; k++)
            w->hf->words[k + 1] = (flags >> k) & 1u;
        return Res_ok;
    }
    if (h->type != PptRec_cString)
        return Res_pptNotPresentation;
    uint8_t *body = nullptr;
    int err = readBody(r, h, &body);
    if (err)
        return err;
    uint32_t units = h->length / 2;
    auto *text = static_cast<char16_t *>(Mem_malloc((size_t(units) + 1) * sizeof(char16_t)));
    if (!text) {
        Mem_free(body);
        return Res_noMemory;
    }
    for (uint32_t i = 0; i < units; i++)
        text[i] = char16_t(Bytes_peekU16Le(body + 2 * i));
    text[units] = 0;
    Mem_free(body);
    char16_t **slot = h->instance == 0   ? &w->hf->userDate
                      : h->instance == 2 ? &w->hf->footer
                                         : &w->hf->header;
    Mem_free(*slot);
    *slot = text;
    return Res_ok;
}

int readHeadersFooters(PptReader *r, const EscherRecordHeader *h, PptHeadersFooters *hf)
{
    freeHeadersFooters(hf);
    HfWalk w{r, hf, 1};
    return Escher_forEachChild(r->context, &r->source, h->length, hfChild, &w);
}

// ------------------------------------------------------------ slide records

struct SlideWalk {
    PptReader *reader;
    PptSlideAtom *atom;
    EscherDrawingGroup **drawing;
    PptScheme *scheme;
    PptHeadersFooters *hf; // null: not read
    int mainMaster;        // the record is a main master: its text styles are read
    PptMaster *into;       // a later main master keeping its own styles; null: the context's
};

// A TxMasterStyleAtom: the styles of text type instance replace what was
// there. fromMaster: the main master's, which the document's own defaults
// (the Environment's) never override.
// into: a later main master, which keeps its styles apart from the
// context's (they replace the context's while its slides are composed).
int readMasterStyle(PptReader *r, const EscherRecordHeader *h, bool fromMaster,
                    PptMaster *into = nullptr)
{
    uint32_t type = h->instance;
    if (type >= Ppt_textTypes || (!fromMaster && (r->masterStyleTypes & (1u << type))))
        return Res_ok;
    if (into && !into->styles) {
        into->styles = static_cast<PptMasterLevel(*)[Ppt_levels]>(
            Mem_calloc(Ppt_textTypes, sizeof(PptMasterLevel[Ppt_levels])));
        if (!into->styles)
            return Res_noMemory;
    }
    uint8_t *body = nullptr;
    int err = readBody(r, h, &body);
    if (err)
        return err;
    PptMasterLevel levels[Ppt_levels];
    err = Ppt_parseMasterStyle(body, h->length, type, levels);
    Mem_free(body);
    // A malformed style leaves the type as it was.
    if (err == Res_pptNotPresentation)
        return Res_ok;
    if (err)
        return err;
    if (into) {
        memcpy(into->styles[type], levels, sizeof levels);
        into->styleTypes |= 1u << type;
        return Res_ok;
    }
    memcpy(r->ppt.masterStyles[type], levels, sizeof levels);
    if (fromMaster)
        r->masterStyleTypes |= 1u << type;
    return Res_ok;
}

int slideChild(void *user, EscherWalk *, const EscherRecordHeader *h)
{
    auto *w = static_cast<SlideWalk *>(user);
    PptReader *r = w->reader;
    switch (h->type) {
    case PptRec_slideAtom: {
        uint8_t b[22];
        int err = readAtom(r, h, b, sizeof b);
        if (err)
            return err;
        w->atom->geometry = Bytes_peekU32Le(b);
        memcpy(w->atom->placeholders, b + 4, 8);
        w->atom->masterId = Bytes_peekU32Le(b + 12);
        w->atom->notesId = Bytes_peekU32Le(b + 16);
        w->atom->flags = Bytes_peekU16Le(b + 20);
        return Res_ok;
    }
    case PptRec_drawing: {
        // Without a drawing group there is no blip store and no cluster
        // table to read a drawing against: the slide stays without shapes.
        if (!r->drawingGroup || *w->drawing || h->length < 8)
            return Res_ok;
        // A damaged drawing (a record running past its container, a shape
        // before its group) costs the slide its shapes, not the whole
        // presentation: its text still comes from the slide list.
        // A drawing container that claims more than its record holds is
        // damaged too: its walk would take the records after it as shapes.
        uint32_t at = EscherSource_tell(&r->source);
        EscherRecordHeader dg;
        int err = Escher_readRecordHeader(&r->source, &dg);
        if (err == Res_ok && uint64_t(dg.length) + 8 > h->length)
            return Res_ok;
        if (err == Res_ok)
            err = EscherSource_seek(&r->source, at, 0);
        if (err == Res_ok)
            err = Escher_readDrawingGroup(r->drawingGroup, w->drawing);
        return pptDamaged(err) ? int(Res_ok) : err;
    }
    case PptRec_colorSchemeAtom: {
        // Instance 1 is the scheme in force; the others list the schemes
        // offered for the slide.
        if (h->instance != 1)
            return Res_ok;
        uint8_t b[32];
        int err = readAtom(r, h, b, sizeof b);
        if (err)
            return err;
        w->scheme->word = Bytes_peekU32Le(b);
        for (uint32_t i = 0; i < Ppt_schemeColours; i++) {
            memcpy(w->scheme->colours[i], b + 4 * i, 3);
            w->scheme->colours[i][3] = 255;
        }
        w->scheme->present = 1;
        return Res_ok;
    }
    case PptRec_headersFooters: return w->hf ? readHeadersFooters(r, h, w->hf) : Res_ok;
    case PptRec_txMasterStyleAtom:
        return w->mainMaster ? readMasterStyle(r, h, true, w->into) : Res_ok;
    default: return Res_ok;
    }
}

// Walks the Slide or MainMaster record whose header was just read.
int readSlideRecord(PptReader *r, const EscherRecordHeader *h, PptSlideAtom *atom,
                    EscherDrawingGroup **drawing, PptScheme *scheme, PptHeadersFooters *hf,
                    int mainMaster, PptMaster *into = nullptr)
{
    SlideWalk w{r, atom, drawing, scheme, hf, mainMaster, into};
    return Escher_forEachChild(r->context, &r->source, h->length, slideChild, &w);
}

// The stream offset of a persist id, Ppt_noOffset when there is none.
uint32_t persistOffset(const PptReader *r, uint32_t id)
{
    return id < r->persistCount ? r->persist[id] : uint32_t(Ppt_noOffset);
}

// ----------------------------------------------------------- the master list

int masterChild(void *user, EscherWalk *, const EscherRecordHeader *h)
{
    auto *r = static_cast<PptReader *>(user);
    if (h->type != PptRec_slidePersistAtom)
        return Res_pptBadMasterList;
    // The atom's flags (outline data present, collapsed) say nothing about
    // the master itself: presentations saved with them set are ordinary.
    uint8_t b[16];
    int err = readAtom(r, h, b, sizeof b);
    if (err)
        return err;
    uint32_t offset = persistOffset(r, Bytes_peekU32Le(b));
    if (offset == Ppt_noOffset)
        return Res_ok;
    EscherRecordHeader sh;
    if ((err = headerAt(r, offset, &sh)) != Res_ok)
        return err;
    // The first main master and the first title master are kept in their
    // own records; every further master (a presentation may have several,
    // each slide naming its own) is added to the list of more masters.
    if (sh.type != PptRec_slide && sh.type != PptRec_mainMaster)
        return Res_ok;
    PptMaster *m = nullptr;
    if (sh.type == PptRec_slide && !r->titleMasterSeen) {
        r->titleMasterSeen = 1;
        m = &r->titleMaster;
    } else if (sh.type == PptRec_mainMaster && !r->mainMasterSeen) {
        r->mainMasterSeen = 1;
        m = &r->mainMaster;
    } else {
        if (r->moreMasterCount == r->moreMasterCapacity) {
            uint32_t capacity = r->moreMasterCapacity ? r->moreMasterCapacity * 2 : 4;
            auto *grown = static_cast<PptMaster *>(
                Mem_realloc(r->moreMasters, size_t(capacity) * sizeof(PptMaster)));
            if (!grown)
                return Res_noMemory;
            r->moreMasters = grown;
            r->moreMasterCapacity = capacity;
        }
        m = &r->moreMasters[r->moreMasterCount++];
        memset(m, 0, sizeof *m);
    }
    m->id = Bytes_peekU32Le(b + 12);
    PptSlideAtom atom{};
    Escher_drawingGroupFree(m->drawing);
    m->drawing = nullptr;
    const int isMain = sh.type == PptRec_mainMaster;
    err = readSlideRecord(r, &sh, &atom, &m->drawing, &m->scheme, nullptr, isMain,
                          isMain && m != &r->mainMaster ? m : nullptr);
    m->mainId = isMain ? m->id : atom.masterId;
    return err;
}

// ------------------------------------------------------------- the slide list

void freeBlocks(PptReader *r)
{
    for (uint32_t i = 0; i < r->blockCount; i++) {
        PptOutlineText *b = &r->blocks[i];
        Mem_free(b->text);
        Ppt_freeRuns(b->paraRuns, b->charRuns);
        memset(b, 0, sizeof *b);
    }
    r->blockCount = 0;
    r->ppt.outlineTexts = r->blocks;
    r->ppt.outlineTextCount = 0;
}

// Drops what the current slide collected.
void clearSlide(PptReader *r)
{
    freeBlocks(r);
    Escher_drawingGroupFree(r->drawing);
    r->drawing = nullptr;
    freeHeadersFooters(&r->slideHf);
    r->slideHf.words[0] = 1;
    memset(&r->slideAtom, 0, sizeof r->slideAtom);
    memset(&r->slideScheme, 0, sizeof r->slideScheme);
    r->slideOpen = 0;
}

// The header/footer records as the text side reads them.
void shareHeadersFooters(PptReader *r)
{
    const PptHeadersFooters *src[2] = {&r->docHf, &r->slideHf};
    HeaderFooterRec *dst[2] = {&r->ppt.headerFooterA, &r->ppt.headerFooterB};
    for (int k = 0; k < 2; k++) {
        dst[k]->first = src[k]->words[0];
        dst[k]->userDate = src[k]->words[3];
        dst[k]->formatId = src[k]->formatId;
        dst[k]->userDateText = src[k]->userDate;
        dst[k]->footerText = src[k]->footer;
    }
}

// Builds the slide collected so far: its page in a full load; in a
// page-on-demand load the first page, and a dropped page for the others.
int finishSlide(PptReader *r)
{
    if (!r->slideOpen)
        return Res_ok;
    uint32_t index = r->slideCount ? r->slideCount - 1 : 0;
    r->ppt.slideNumber = int32_t(r->docAtom.firstSlideNumber + index);
    shareHeadersFooters(r);
    int err;
    if (!r->onDemand) {
        err = Ppt_composeSlide(r, nullptr);
    } else if (index == 0) {
        err = Ppt_composeSlideAt(r, 0);
        if (err == Res_ok)
            err = Edr_Doc_markRootChild(r->doc, 0);
    } else {
        err = Ppt_startSlide(r);
    }
    clearSlide(r);
    return err;
}

int recordPosition(PptReader *r, const EscherRecordHeader *h)
{
    if (r->slideCount == r->slideCapacity) {
        uint32_t capacity = r->slideCapacity ? r->slideCapacity * 2 : 10;
        auto *grown =
            static_cast<PptSlidePos *>(Mem_realloc(r->slides, capacity * sizeof(PptSlidePos)));
        if (!grown)
            return Res_noMemory;
        r->slides = grown;
        r->slideCapacity = capacity;
    }
    uint32_t at = EscherSource_tell(&r->source);
    PptSlidePos *p = &r->slides[r->slideCount++];
    p->offset = at;
    p->remaining = r->listStart + r->listLength - (at - 8);
    p->length = h->length;
    return Res_ok;
}

// A SlidePersistAtom: reads the slide record at its persist offset.
int startListSlide(PptReader *r, const EscherRecordHeader *h)
{
    uint8_t b[16];
    int err = readAtom(r, h, b, sizeof b);
    if (err)
        return err;
    r->slideOpen = 1;
    r->slideSchemeId = r->slideCounter;
    uint32_t offset = persistOffset(r, Bytes_peekU32Le(b));
    if (offset == Ppt_noOffset)
        return Res_ok;
    EscherRecordHeader sh;
    if ((err = headerAt(r, offset, &sh)) != Res_ok)
        return err;
    if (sh.type != PptRec_slide)
        return Res_ok;
    return readSlideRecord(r, &sh, &r->slideAtom, &r->drawing, &r->slideScheme, &r->slideHf, 0);
}

PptOutlineText *currentBlock(PptReader *r)
{
    return r->blockCount ? &r->blocks[r->blockCount - 1] : nullptr;
}

int textChild(PptReader *r, const EscherRecordHeader *h)
{
    PptOutlineText *b = currentBlock(r);
    if (!b)
        return Res_ok;
    uint8_t *body = nullptr;
    int err = readBody(r, h, &body);
    if (err)
        return err;
    uint32_t units = h->type == PptRec_textCharsAtom ? h->length / 2 : h->length;
    auto *text = static_cast<char16_t *>(Mem_malloc((size_t(units) + 1) * sizeof(char16_t)));
    if (!text) {
        Mem_free(body);
        return Res_noMemory;
    }
    // 8-bit text is in character set 0, whose codes are the first 256 of
    // Unicode.
    for (uint32_t i = 0; i < units; i++)
        text[i] = h->type == PptRec_textCharsAtom ? char16_t(Bytes_peekU16Le(body + 2 * i))
                                                  : char16_t(body[i]);
    text[units] = 0;
    Mem_free(body);
    Mem_free(b->text);
    b->text = text;
    b->word = units;
    return Res_ok;
}

int listChild(void *user, EscherWalk *walk, const EscherRecordHeader *h)
{
    auto *r = static_cast<PptReader *>(user);
    LoadProgress *stats = r->walkingOne ? nullptr : Edr_Doc_getLoadStats(r->doc);
    if (stats)
        (void)LoadProgress_addDone(stats, 1,
                                   int32_t(h->length > 0x7FFFFFF0u ? 0x7FFFFFF0u : h->length + 8));
    int err = Res_ok;
    switch (h->type) {
    case PptRec_slidePersistAtom:
        if (r->walkingOne) {
            // The walk of one slide starts at its own atom; the next ends it.
            if (r->slideOpen) {
                Escher_stopWalk(walk);
                return Res_ok;
            }
            return startListSlide(r, h);
        }
        {
            // Building the previous slide reads pictures and may move the
            // stream: come back to this atom's data.
            uint32_t at = EscherSource_tell(&r->source);
            if ((err = finishSlide(r)) != Res_ok)
                return err;
            if ((err = EscherSource_seek(&r->source, at, 0)) != Res_ok)
                return err;
        }
        if ((err = recordPosition(r, h)) != Res_ok)
            return err;
        return startListSlide(r, h);
    case PptRec_textHeaderAtom: {
        if (!r->slideOpen || r->blockCount == Ppt_maxTextBlocks)
            return Res_ok;
        uint8_t b[4];
        if ((err = readAtom(r, h, b, 4)) != Res_ok)
            return err;
        PptOutlineText *block = &r->blocks[r->blockCount++];
        memset(block, 0, sizeof *block);
        block->textType = Bytes_peekU32Le(b);
        r->ppt.outlineTextCount = r->blockCount;
        return Res_ok;
    }
    case PptRec_textCharsAtom:
    case PptRec_textBytesAtom: return textChild(r, h);
    case PptRec_styleTextPropAtom: {
        PptOutlineText *b = currentBlock(r);
        if (!b || !b->text)
            return Res_ok;
        uint8_t *body = nullptr;
        if ((err = readBody(r, h, &body)) != Res_ok)
            return err;
        Ppt_freeRuns(b->paraRuns, b->charRuns);
        b->paraRuns = nullptr;
        b->charRuns = nullptr;
        err = Ppt_parseRuns(body, h->length, b->word, &b->paraRuns, &b->charRuns);
        if (err == Res_ok)
            Ppt_applyCharMax(b->paraRuns, b->charRuns);
        Mem_free(body);
        return err;
    }
    case PptRec_textRulerAtom: {
        PptOutlineText *b = currentBlock(r);
        if (!b || !b->paraRuns)
            return Res_ok;
        uint8_t *body = nullptr;
        if ((err = readBody(r, h, &body)) != Res_ok)
            return err;
        Ppt_applyRuler(body, h->length, b->paraRuns);
        Mem_free(body);
        return Res_ok;
    }
    default: return Res_ok;
    }
}

// ------------------------------------------------------------ the document

int documentChild(void *user, EscherWalk *, const EscherRecordHeader *h);

// A FontEntityAtom of the font collection: its instance is the font index.
int fontChild(void *user, EscherWalk *, const EscherRecordHeader *h)
{
    auto *r = static_cast<PptReader *>(user);
    if (h->type != PptRec_fontEntityAtom)
        return Res_ok;
    uint8_t b[64];
    int err = readAtom(r, h, b, sizeof b);
    if (err)
        return err;
    return Ppt_addFont(&r->ppt, h->instance, b,
                       h->length < sizeof b ? h->length : uint32_t(sizeof b));
}

int walkDocumentChildren(PptReader *r, const EscherRecordHeader *h)
{
    if (Escher_tooDeep(r->context))
        return Res_stackExhausted;
    return Escher_forEachChild(r->context, &r->source, h->length, documentChild, r);
}

// The style sheet starts once the slide size is known (the slide class
// carries it), or before the first record that adds styles when the
// document has no DocumentAtom before it.
int ensureStyleSheet(PptReader *r)
{
    return r->ppt.styleSheet ? int(Res_ok) : Ppt_initStyleSheet(&r->ppt);
}

int readDocumentAtom(PptReader *r, const EscherRecordHeader *h)
{
    uint8_t b[40];
    int err = readAtom(r, h, b, sizeof b);
    if (err)
        return err;
    PptDocumentAtom *a = &r->docAtom;
    a->slideWidth = Bytes_peekU32Le(b);
    a->slideHeight = Bytes_peekU32Le(b + 4);
    a->notesWidth = Bytes_peekU32Le(b + 8);
    a->notesHeight = Bytes_peekU32Le(b + 12);
    a->zoomNumerator = Bytes_peekU32Le(b + 16);
    a->zoomDenominator = Bytes_peekU32Le(b + 20);
    a->notesMaster = Bytes_peekU32Le(b + 24);
    a->handoutMaster = Bytes_peekU32Le(b + 28);
    a->firstSlideNumber = Bytes_peekU16Le(b + 32);
    a->slideSizeType = Bytes_peekU16Le(b + 34);
    a->saveWithFonts = b[36];
    a->omitTitlePlace = b[37];
    a->rightToLeft = b[38];
    a->showComments = b[39];
    r->ppt.slideWidth = int32_t(a->slideWidth);
    r->ppt.slideHeight = int32_t(a->slideHeight);
    return ensureStyleSheet(r);
}

int readDrawingGroupRecord(PptReader *r, const EscherRecordHeader *h)
{
    if (r->drawingGroup || h->length < 8)
        return Res_ok;
    int err = ensureStyleSheet(r);
    if (err)
        return err;
    EscherSource delay;
    if (r->picStream)
        EscherSource_initStream(&delay, r->picStream);
    else
        EscherSource_initNone(&delay);
    // The shape converter hands each text box to the text side and each
    // style rule to the presentation's style list.
    err = Escher_openDrawing(
        r->context, &r->source, &delay, &r->drawingGroup,
        [](void *user, StyleRule *rule, uint32_t *id) {
            // The shape converter keeps and frees its rule: the style
            // sheet takes a copy.
            StyleRule *copy = nullptr;
            int cloneErr = StyleRule_clone(&copy, rule);
            if (!cloneErr)
                cloneErr = Ppt_addItemWithSerial(static_cast<PptContext *>(user), copy, id);
            if (cloneErr)
                StyleRule_destroy(copy);
            return cloneErr;
        },
        [](void *user, Edr_Node *node, const EscherShape *shape, const int32_t rect[4],
           int32_t rotation) {
            return PptText_buildTextBox(static_cast<PptContext *>(user), node, shape, rect,
                                        rotation);
        },
        nullptr, r);
    // Placeholders draw no fill and no outline unless they or their master
    // shapes say otherwise.
    if (err == Res_ok && r->drawingGroup)
        r->drawingGroup->placeholderRecord = PptRec_placeholderAtom;
    return err;
}

int walkSlideList(PptReader *r, const EscherRecordHeader *h)
{
    int err = ensureStyleSheet(r);
    if (err)
        return err;
    Ppt_prepareSlides(&r->ppt, nullptr);
    r->listStart = EscherSource_tell(&r->source);
    r->listLength = h->length;
    LoadProgress *stats = Edr_Doc_getLoadStats(r->doc);
    if (stats)
        (void)LoadProgress_addTotal(stats, 1,
                                    int32_t(h->length > 0x7FFFFFF0u ? 0x7FFFFFF0u : h->length));
    err = Escher_forEachChild(r->context, &r->source, h->length, listChild, r);
    // A list whose records run past its end keeps the slides before them.
    if (pptDamaged(err))
        err = Res_ok;
    if (err == Res_ok)
        err = finishSlide(r);
    return err;
}

int documentChild(void *user, EscherWalk *, const EscherRecordHeader *h)
{
    auto *r = static_cast<PptReader *>(user);
    switch (h->type) {
    case PptRec_documentAtom: return readDocumentAtom(r, h);
    case PptRec_drawingGroup: return readDrawingGroupRecord(r, h);
    case PptRec_headersFooters:
        // Instance 4 holds the settings of notes pages, which are not shown.
        return h->instance == 4 ? int(Res_ok) : readHeadersFooters(r, h, &r->docHf);
    case PptRec_environment: return walkDocumentChildren(r, h);
    case PptRec_fontCollection:
        return Escher_forEachChild(r->context, &r->source, h->length, fontChild, r);
    case PptRec_txMasterStyleAtom: return readMasterStyle(r, h, false);
    case PptRec_slideListWithText:
        if (h->instance == 0)
            return walkSlideList(r, h);
        if (h->instance == 1) {
            int err = ensureStyleSheet(r);
            return err ? err
                       : Escher_forEachChild(r->context, &r->source, h->length, masterChild, r);
        }
        return Res_ok;
    default: return Res_ok;
    }
}

// ------------------------------------------------------------ edit chain

int readUserEdit(PptReader *r, uint32_t offset, PptUserEdit *edit)
{
    EscherRecordHeader h;
    int err = headerAt(r, offset, &h);
    if (err)
        return err == Res_oleSeekBeyond || err == Res_oleStreamEnd ? int(Res_pptNotPresentation)
                                                                   : err;
    if (h.type != PptRec_userEditAtom || h.length < 24)
        return Res_pptNotPresentation;
    uint8_t b[26];
    if ((err = readAtom(r, &h, b, sizeof b)) != Res_ok)
        return err;
    edit->lastSlideId = Bytes_peekU32Le(b);
    edit->version = Bytes_peekU16Le(b + 4);
    edit->minorVersion = b[6];
    edit->majorVersion = b[7];
    edit->previousEdit = Bytes_peekU32Le(b + 8);
    edit->persistDirectory = Bytes_peekU32Le(b + 12);
    edit->documentPersistId = Bytes_peekU32Le(b + 16);
    edit->persistIdSeed = Bytes_peekU32Le(b + 20);
    edit->lastView = Bytes_peekU16Le(b + 24);
    return Res_ok;
}

// Fills the directory slots still 0 from the persist directory at offset.
// Ids past the seed have no slot and are ignored.
int readPersistDirectory(PptReader *r, uint32_t offset)
{
    EscherRecordHeader h;
    int err = headerAt(r, offset, &h);
    if (err)
        return err == Res_oleSeekBeyond || err == Res_oleStreamEnd ? int(Res_pptNotPresentation)
                                                                   : err;
    uint8_t *body = nullptr;
    if ((err = readBody(r, &h, &body)) != Res_ok)
        return err;
    uint32_t at = 0;
    while (at + 4 <= h.length) {
        uint32_t group = Bytes_peekU32Le(body + at);
        at += 4;
        uint32_t first = group & 0xFFFFFu, count = group >> 20;
        for (uint32_t k = 0; k < count && at + 4 <= h.length; k++, at += 4) {
            uint32_t id = first + k;
            if (id < r->persistCount && r->persist[id] == Ppt_noOffset)
                r->persist[id] = Bytes_peekU32Le(body + at);
        }
    }
    Mem_free(body);
    return Res_ok;
}

} // namespace

// ------------------------------------------------------------ public

int Ppt_parseCurrentUser(const uint8_t *b, uint32_t length, PptCurrentUser *user)
{
    memset(user, 0, sizeof *user);
    if (length < 28)
        return Res_pptNotPresentation;
    EscherRecordHeader h;
    Escher_parseRecordHeader(b, &h);
    if (h.type != PptRec_currentUserAtom)
        return Res_pptNotPresentation;
    user->size = Bytes_peekU32Le(b + 8);
    user->headerToken = Bytes_peekU32Le(b + 12);
    user->currentEdit = Bytes_peekU32Le(b + 16);
    user->userNameLength = Bytes_peekU16Le(b + 20);
    user->docFileVersion = Bytes_peekU16Le(b + 22);
    user->majorVersion = b[24];
    user->minorVersion = b[25];
    const bool versionOk = user->docFileVersion == Ppt_fileVersion && user->majorVersion == 3 &&
                           user->minorVersion == 0;
    if (versionOk && user->headerToken == Ppt_encryptedToken)
        return Res_pptEncrypted;
    if (!versionOk || user->headerToken != Ppt_headerToken)
        return Res_pptNotPresentation;
    uint32_t at = 28u + user->userNameLength;
    if (at + 4 > length)
        return Res_pptNotPresentation;
    user->releaseVersion = Bytes_peekU32Le(b + at);
    if (user->releaseVersion < 8 || user->releaseVersion > 10) {
        Fmt_debugPrint("\nVersion %08x\n", unsigned(user->releaseVersion));
        return Res_pptNotPresentation;
    }
    return Res_ok;
}

int Ppt_currentUserKind(const uint8_t *b, uint32_t length)
{
    if (length < 28)
        return 0;
    EscherRecordHeader h;
    Escher_parseRecordHeader(b, &h);
    if (h.type != PptRec_currentUserAtom || Bytes_peekU16Le(b + 22) != Ppt_fileVersion ||
        b[24] != 3 || b[25] != 0)
        return 0;
    const uint32_t token = Bytes_peekU32Le(b + 12);
    return token == Ppt_headerToken ? 1 : token == Ppt_encryptedToken ? 2 : 0;
}

int Ppt_findStorage(OleHandle *ole, uint32_t *storage)
{
    *storage = 0;
    // The root first, then the storage of a file saved for two versions.
    uint32_t parents[2] = {0, 0};
    int count = 1;
    if (Ole_entryFindByName(ole, 0, &parents[1], u"PP97_DUALSTORAGE") == Res_ok) {
        uint32_t type = 0;
        if (Ole_entryGetType(ole, parents[1], &type) == Res_ok && type == OleEntry_storage)
            count = 2;
    }
    for (int i = 0; i < count; i++) {
        OleStream *s = nullptr;
        int err = Ole_streamOpenByName(ole, &s, parents[i], u"Current User");
        if (err == Res_oleNoSuchEntry)
            continue;
        if (err)
            return err;
        uint8_t b[28];
        size_t got = 0;
        err = Ole_streamReadAt(s, 0, sizeof b, &got, b);
        (void)Ole_streamClose(&s);
        if (err == Res_noMemory)
            return err;
        if (err == Res_ok && Ppt_currentUserKind(b, uint32_t(got)) != 0) {
            *storage = parents[i];
            return Res_ok;
        }
    }
    return Res_ok;
}

int Ppt_readEditChain(PptReader *r)
{
    int err = readUserEdit(r, r->user.currentEdit, &r->edit);
    if (err)
        return err;
    // Persist ids are 20-bit numbers: a larger seed cannot be genuine.
    if (r->edit.persistIdSeed > 0xFFFFFu)
        return Res_pptNotPresentation;
    Mem_free(r->persist);
    r->persistCount = r->edit.persistIdSeed + 1;
    r->persist = static_cast<uint32_t *>(Mem_malloc(size_t(r->persistCount) * sizeof(uint32_t)));
    if (!r->persist) {
        r->persistCount = 0;
        return Res_noMemory;
    }
    for (uint32_t i = 0; i < r->persistCount; i++)
        r->persist[i] = Ppt_noOffset;
    // The offsets of the edits read so far: a chain that comes back to one
    // of them would loop for ever.
    uint32_t *seen = nullptr;
    uint32_t seenCount = 0, seenCapacity = 0;
    uint32_t offset = r->user.currentEdit;
    PptUserEdit edit = r->edit;
    for (;;) {
        bool again = false;
        for (uint32_t i = 0; i < seenCount && !again; i++)
            again = seen[i] == offset;
        if (again)
            break;
        if (seenCount == seenCapacity) {
            uint32_t capacity = seenCapacity ? seenCapacity * 2 : 8;
            auto *grown = static_cast<uint32_t *>(Mem_realloc(seen, capacity * sizeof(uint32_t)));
            if (!grown) {
                err = Res_noMemory;
                break;
            }
            seen = grown;
            seenCapacity = capacity;
        }
        seen[seenCount++] = offset;
        if ((err = readPersistDirectory(r, edit.persistDirectory)) != Res_ok)
            break;
        offset = edit.previousEdit;
        if (offset == 0)
            break;
        Task_yield(r->context);
        if ((err = readUserEdit(r, offset, &edit)) != Res_ok)
            break;
    }
    Mem_free(seen);
    return err;
}

int Ppt_readerCreate(EngineContext *context, Edr_Doc *doc, Edr_Node *root, PptReader **out)
{
    *out = nullptr;
    auto *r = static_cast<PptReader *>(Mem_calloc(1, sizeof(PptReader)));
    if (!r)
        return Res_noMemory;
    r->context = context;
    r->doc = doc;
    r->root = root;
    r->ppt.context = context;
    r->ppt.doc = doc;
    r->ppt.outlineTexts = r->blocks;
    r->slideHf.words[0] = 1;
    EscherSource_initNone(&r->source);
    *out = r;
    return Res_ok;
}

void Ppt_readerFree(PptReader *r)
{
    if (!r)
        return;
    clearSlide(r);
    Ppt_restoreSchemeColours(r);
    Escher_drawingGroupFree(r->pageDrawing);
    Escher_drawingGroupFree(r->mainMaster.drawing);
    Escher_drawingGroupFree(r->titleMaster.drawing);
    for (uint32_t i = 0; i < r->moreMasterCount; i++) {
        Escher_drawingGroupFree(r->moreMasters[i].drawing);
        Mem_free(r->moreMasters[i].styles);
    }
    Mem_free(r->moreMasters);
    Escher_drawingStateFree(r->drawingGroup);
    freeHeadersFooters(&r->docHf);
    freeHeadersFooters(&r->slideHf);
    Ppt_freeStyleTables(&r->ppt);
    Ppt_freeFonts(&r->ppt);
    Mem_free(r->persist);
    Mem_free(r->slides);
    (void)Ole_streamClose(&r->userStream);
    (void)Ole_streamClose(&r->docStream);
    (void)Ole_streamClose(&r->picStream);
    Ole_close(&r->ole);
    Mem_free(r);
}

int Ppt_openStreams(PptReader *r, OleHandle *ole)
{
    r->ole = ole;
    uint32_t storage = 0;
    int err = Ppt_findStorage(ole, &storage);
    if (err)
        return err;
    err = Ole_streamOpenByName(ole, &r->userStream, storage, u"Current User");
    if (err)
        return err == Res_oleNoSuchEntry ? int(Res_pptNoCurrentUser) : err;
    err = Ole_streamOpenByName(ole, &r->docStream, storage, u"PowerPoint Document");
    if (err)
        return err == Res_oleNoSuchEntry ? int(Res_pptNoDocument) : err;
    err = Ole_streamOpenByName(ole, &r->picStream, storage, u"Pictures");
    if (err == Res_oleNoSuchEntry)
        err = Res_ok;
    if (err)
        return err;
    EscherSource_initStream(&r->source, r->docStream);
    uint8_t b[512];
    size_t got = 0;
    err = Ole_streamReadAt(r->userStream, 0, sizeof b, &got, b);
    if (err == Res_oleStreamEnd)
        err = Res_ok;
    if (err)
        return err;
    return Ppt_parseCurrentUser(b, uint32_t(got), &r->user);
}

int Ppt_loadDocument(PptReader *r)
{
    int err = Ppt_readEditChain(r);
    if (err)
        return err;
    uint32_t offset = persistOffset(r, r->edit.documentPersistId);
    EscherRecordHeader h;
    if (offset == Ppt_noOffset)
        return Res_pptNotPresentation;
    err = headerAt(r, offset, &h);
    if (err)
        return err == Res_oleSeekBeyond || err == Res_oleStreamEnd ? int(Res_pptNotPresentation)
                                                                   : err;
    if (h.type != PptRec_document)
        return Res_pptNotPresentation;
    err = walkDocumentChildren(r, &h);
    // Records running past the end of the document container (a damaged
    // length) end it; the slides read before them are the presentation.
    if (pptDamaged(err) && r->slideCount > 0)
        err = Res_ok;
    return err ? err : ensureStyleSheet(r);
}

int Ppt_walkRecords(PptReader *r, uint32_t index)
{
    if (!r || index >= r->slideCount)
        return Res_pptNotPresentation;
    const PptSlidePos *p = &r->slides[index];
    clearSlide(r);
    int err = EscherSource_seek(&r->source, p->offset - 8, 0);
    r->walkingOne = 1;
    r->slideCounter = index;
    if (err == Res_ok)
        err = Escher_forEachChild(r->context, &r->source, p->remaining, listChild, r);
    r->walkingOne = 0;
    if (err == Res_ok) {
        r->ppt.slideNumber = int32_t(r->docAtom.firstSlideNumber + index);
        shareHeadersFooters(r);
        err = Ppt_composeSlideAt(r, index);
    }
    clearSlide(r);
    return err;
}

// ------------------------------------------------------------ runs

namespace {

// The fields of a paragraph property set after its mask, in file order:
// bullet flags (any of bits 0-3), bits 7, 4, 6, 5, alignment, line
// spacing, space before and after (11-14), left margin (8), indent (10),
// default tab size (15), the tab list (20: a u16 count, then 4 bytes a
// stop), bit 16, one word for the wrap group (17-19) and text direction
// (21). Bit 9 has no field. withMargins: the margin and indent are marked
// present (master styles); in slide text they come from the ruler. False
// when a field does not fit (the set keeps what was whole).
bool paraFields(ByteCursor *c, uint32_t mask, PptParaProps *p, bool withMargins)
{
    if (mask & 0xF) {
        if (ByteCursor_left(c) < 2)
            return false;
        p->bulletFlags = ByteCursor_u16(c);
        p->mask |= PptPara_bulletFlags;
    }
    struct Field {
        uint32_t bit;
        uint8_t width;
        uint16_t presence;
    };
    // In file order.
    const Field fields[] = {
        {7, 2, PptPara_bulletChar},
        {4, 2, PptPara_bulletFont},
        {6, 2, PptPara_bulletSize},
        {5, 4, PptPara_bulletColour},
        {11, 2, PptPara_alignment},
        {12, 2, PptPara_lineSpacing},
        {13, 2, PptPara_spaceBefore},
        {14, 2, PptPara_spaceAfter},
        {8, 2, PptPara_leftMargin},
        {10, 2, PptPara_indent},
        {15, 2, 0},
    };
    for (const Field &f : fields) {
        if (!(mask & (1u << f.bit)))
            continue;
        if (ByteCursor_left(c) < f.width)
            return false;
        uint32_t v = f.width == 4 ? ByteCursor_u32(c) : ByteCursor_u16(c);
        uint16_t presence = f.presence;
        switch (presence) {
        case PptPara_bulletChar: p->bulletChar = uint16_t(v); break;
        case PptPara_bulletFont: p->bulletFont = uint16_t(v); break;
        case PptPara_bulletSize: p->bulletSize = uint16_t(v); break;
        case PptPara_bulletColour: p->bulletColour = v; break;
        case PptPara_alignment: p->alignment = uint16_t(v & 3); break;
        case PptPara_lineSpacing: p->lineSpacing = int16_t(v); break;
        case PptPara_spaceBefore: p->spaceBefore = int16_t(v); break;
        case PptPara_spaceAfter: p->spaceAfter = int16_t(v); break;
        case PptPara_leftMargin:
            if (withMargins)
                p->leftMargin = int16_t(v);
            else
                presence = 0;
            break;
        case PptPara_indent:
            if (withMargins)
                p->indent = int16_t(v);
            else
                presence = 0;
            break;
        default: break;
        }
        p->mask |= presence;
    }
    if (mask & (1u << 20)) {
        if (ByteCursor_left(c) < 2)
            return false;
        uint32_t stops = ByteCursor_u16(c);
        if (ByteCursor_left(c) < 4 * stops)
            return false;
        c->at += 4 * stops;
    }
    if (mask & (1u << 16)) {
        if (ByteCursor_left(c) < 2)
            return false;
        c->at += 2;
    }
    if (mask & (7u << 17)) {
        if (ByteCursor_left(c) < 2)
            return false;
        c->at += 2;
    }
    if (mask & (1u << 21)) {
        if (ByteCursor_left(c) < 2)
            return false;
        p->spareWord = ByteCursor_u16(c);
        p->mask |= PptPara_spareWord;
    }
    return true;
}

// The fields of a character property set after its mask: style flags (any
// of the low 16 bits; the low byte kept), then bits 16, 21, 22, 23, 17,
// 18, 19, 20, 24-31. False when a field does not fit.
bool charFields(ByteCursor *c, uint32_t mask, PptCharProps *p)
{
    bool whole = true;
    if (mask & 0xFFFF) {
        if (ByteCursor_left(c) < 2) {
            p->mask &= 0x7B;
            return false;
        }
        p->flags = uint8_t(ByteCursor_u16(c));
        p->mask |= PptChar_flags;
    }
    const uint8_t order[] = {16, 21, 22, 23, 17, 18, 19, 20, 24, 25, 26, 27, 28, 29, 30, 31};
    for (uint8_t bit : order) {
        if (!(mask & (1u << bit)))
            continue;
        uint32_t width = bit == 18 ? 4 : 2;
        if (ByteCursor_left(c) < width) {
            whole = false;
            break;
        }
        uint32_t v = width == 4 ? ByteCursor_u32(c) : ByteCursor_u16(c);
        switch (bit) {
        case 16:
            p->font = uint16_t(v);
            p->mask |= PptChar_font;
            break;
        case 21: p->font2 = uint16_t(v); break; // read, not marked present
        case 23:
            p->symbolFont = uint16_t(v);
            p->mask |= PptChar_symbolFont;
            break;
        case 17:
            p->size = uint16_t(v);
            p->mask |= PptChar_size;
            break;
        case 18:
            p->colour = v;
            p->mask |= PptChar_colour;
            break;
        case 19:
            p->escapement = int16_t(v);
            p->mask |= PptChar_escapement;
            break;
        default: break;
        }
    }
    p->mask &= 0x7B;
    return whole;
}

// One paragraph run; false when not even its count, level and mask fit
// (a run cut later keeps what was whole and *complete stays false).
bool paraRun(ByteCursor *c, PptParaRun *run, bool *complete)
{
    *complete = false;
    if (ByteCursor_left(c) < 10)
        return false;
    run->count = ByteCursor_u32(c);
    run->level = ByteCursor_u16(c);
    uint32_t mask = ByteCursor_u32(c);
    *complete = paraFields(c, mask, &run->props, false);
    return true;
}

bool charRun(ByteCursor *c, PptCharRun *run, bool *complete)
{
    *complete = false;
    if (ByteCursor_left(c) < 8)
        return false;
    run->count = ByteCursor_u32(c);
    uint32_t mask = ByteCursor_u32(c);
    *complete = charFields(c, mask, &run->props);
    return true;
}

} // namespace

int Ppt_parseRuns(const uint8_t *body, uint32_t length, uint32_t textLength, PptParaRun **paraRuns,
                  PptCharRun **charRuns)
{
    *paraRuns = nullptr;
    *charRuns = nullptr;
    if (!body)
        return Res_ok;
    ByteCursor c = ByteCursor_make(body, length, 0);
    PptParaRun **ptail = paraRuns;
    uint64_t covered = 0;
    bool more = true;
    // Paragraph runs until their counts pass the text length.
    while (more && covered <= textLength) {
        auto *run = static_cast<PptParaRun *>(Mem_calloc(1, sizeof(PptParaRun)));
        if (!run)
            goto oom;
        bool complete = false;
        if (!paraRun(&c, run, &complete)) {
            Mem_free(run);
            more = false;
            break;
        }
        *ptail = run;
        ptail = &run->next;
        covered += run->count;
        more = complete;
    }
    covered = 0;
    {
        PptCharRun **ctail = charRuns;
        while (more && covered <= textLength) {
            auto *run = static_cast<PptCharRun *>(Mem_calloc(1, sizeof(PptCharRun)));
            if (!run)
                goto oom;
            bool complete = false;
            if (!charRun(&c, run, &complete)) {
                Mem_free(run);
                break;
            }
            *ctail = run;
            ctail = &run->next;
            covered += run->count;
            more = complete;
        }
    }
    return Res_ok;
oom:
    Ppt_freeRuns(*paraRuns, *charRuns);
    *paraRuns = nullptr;
    *charRuns = nullptr;
    return Res_noMemory;
}

void Ppt_applyRuler(const uint8_t *body, uint32_t length, PptParaRun *paraRuns)
{
    if (!body || length < 4)
        return;
    ByteCursor c = ByteCursor_make(body, length, 0);
    uint32_t mask = ByteCursor_u32(&c);
    int32_t indent[Ppt_levels] = {}, margin[Ppt_levels] = {};
    bool hasIndent[Ppt_levels] = {}, hasMargin[Ppt_levels] = {};
    // Bit 1 the level count and bit 0 the default tab size, one word each.
    for (uint32_t bit : {1u, 0u}) {
        if (mask & (1u << bit)) {
            if (ByteCursor_left(&c) < 2)
                return;
            c.at += 2;
        }
    }
    if (mask & 4u) {
        if (ByteCursor_left(&c) < 2)
            return;
        uint32_t stops = ByteCursor_u16(&c);
        if (ByteCursor_left(&c) < 4 * stops)
            return;
        c.at += 4 * stops;
    }
    // Level by level: the left margin where the text starts (bits 3-7),
    // then the first line's start (bits 8-12).
    for (uint32_t level = 0; level < Ppt_levels; level++) {
        if (mask & (1u << (3 + level))) {
            if (ByteCursor_left(&c) < 2)
                break;
            margin[level] = int16_t(ByteCursor_u16(&c));
            hasMargin[level] = true;
        }
        if (mask & (1u << (8 + level))) {
            if (ByteCursor_left(&c) < 2)
                break;
            indent[level] = int16_t(ByteCursor_u16(&c));
            hasIndent[level] = true;
        }
    }
    for (PptParaRun *p = paraRuns; p; p = p->next) {
        uint32_t level = p->level < Ppt_levels ? p->level : Ppt_levels - 1;
        if (hasIndent[level]) {
            p->props.indent = int16_t(indent[level]);
            p->props.mask |= PptPara_indent;
        }
        if (hasMargin[level]) {
            p->props.leftMargin = int16_t(margin[level]);
            p->props.mask |= PptPara_leftMargin;
        }
    }
}

void Ppt_applyCharMax(PptParaRun *paraRuns, const PptCharRun *charRuns)
{
    uint64_t pStart = 0;
    for (PptParaRun *p = paraRuns; p; p = p->next) {
        uint64_t pEnd = pStart + p->count;
        uint64_t cStart = 0;
        for (const PptCharRun *c = charRuns; c; c = c->next) {
            uint64_t cEnd = cStart + c->count;
            bool overlaps = cStart < pEnd && cEnd > pStart;
            if (overlaps && (c->props.mask & PptChar_size) && c->props.size > p->props.textSize)
                p->props.textSize = c->props.size;
            cStart = cEnd;
            if (cStart >= pEnd)
                break;
        }
        pStart = pEnd;
    }
}

void Ppt_prepareSlides(PptContext *ppt, const PptParaProps *documentDefault)
{
    PptMasterLevel(*m)[Ppt_levels] = ppt->masterStyles;
    if (documentDefault && !(m[4][0].para.mask & PptPara_spareWord) &&
        (documentDefault->mask & PptPara_spareWord)) {
        m[4][0].para.spareWord = documentDefault->spareWord;
        m[4][0].para.mask |= PptPara_spareWord;
    }
    // Title and body at level 0 take what other text sets.
    for (uint32_t t = 0; t < 2; t++) {
        Ppt_mergePara(&m[t][0].para, &m[4][0].para);
        Ppt_mergeChar(&m[t][0].chr, &m[4][0].chr);
    }
    for (uint32_t t = 0; t < Ppt_textTypes; t++) {
        // Types 5 to 8 follow the body (type 6, centred body, the title) at
        // the same level; types 7 and 8 take the margin of type 5.
        for (uint32_t level = 0; level < Ppt_levels; level++) {
            if (level > 0) {
                Ppt_mergePara(&m[t][level].para, &m[t][level - 1].para);
                Ppt_mergeChar(&m[t][level].chr, &m[t][level - 1].chr);
            }
            if ((t == 7 || t == 8) && !(m[t][level].para.mask & PptPara_leftMargin) &&
                (m[5][level].para.mask & PptPara_leftMargin)) {
                m[t][level].para.leftMargin = m[5][level].para.leftMargin;
                m[t][level].para.mask |= PptPara_leftMargin;
            }
            if (t >= 5) {
                uint32_t from = t == 6 ? 0 : 1;
                Ppt_mergePara(&m[t][level].para, &m[from][level].para);
                Ppt_mergeChar(&m[t][level].chr, &m[from][level].chr);
            }
        }
    }
}

int Ppt_parseMasterStyle(const uint8_t *body, uint32_t length, uint32_t type,
                         PptMasterLevel levels[Ppt_levels])
{
    memset(levels, 0, sizeof(PptMasterLevel) * Ppt_levels);
    if (!body || length < 2)
        return Res_pptNotPresentation;
    ByteCursor c = ByteCursor_make(body, length, 0);
    uint32_t count = ByteCursor_u16(&c);
    for (uint32_t i = 0; i < count && i < Ppt_levels; i++) {
        uint32_t level = i;
        // Text types from 5 on name each level before its sets.
        if (type >= 5) {
            if (ByteCursor_left(&c) < 2)
                return Res_pptNotPresentation;
            level = ByteCursor_u16(&c);
            if (level >= Ppt_levels)
                return Res_pptNotPresentation;
        }
        PptMasterLevel *m = &levels[level];
        if (ByteCursor_left(&c) < 4)
            return Res_pptNotPresentation;
        if (!paraFields(&c, ByteCursor_u32(&c), &m->para, true))
            return Res_pptNotPresentation;
        if (ByteCursor_left(&c) < 4)
            return Res_pptNotPresentation;
        if (!charFields(&c, ByteCursor_u32(&c), &m->chr))
            return Res_pptNotPresentation;
    }
    return Res_ok;
}

int Ppt_addFont(PptContext *ppt, uint32_t index, const uint8_t *body, uint32_t length)
{
    if (index >= Ppt_maxFonts)
        return Res_ok;
    if (index >= ppt->fontCount) {
        auto *grown =
            static_cast<char16_t **>(Mem_realloc(ppt->fonts, sizeof(char16_t *) * (index + 1)));
        if (!grown)
            return Res_noMemory;
        for (uint32_t i = ppt->fontCount; i <= index; i++)
            grown[i] = nullptr;
        ppt->fonts = grown;
        ppt->fontCount = index + 1;
    }
    // The face: up to 32 UTF-16 units, ended by a NUL or the field's end.
    uint32_t units = 0;
    while (units < 32 && 2 * units + 1 < length && Bytes_peekU16Le(body + 2 * units) != 0)
        units++;
    auto *face = static_cast<char16_t *>(Mem_malloc(sizeof(char16_t) * (units + 1)));
    if (!face)
        return Res_noMemory;
    for (uint32_t i = 0; i < units; i++)
        face[i] = char16_t(Bytes_peekU16Le(body + 2 * i));
    face[units] = 0;
    Mem_free(ppt->fonts[index]);
    ppt->fonts[index] = face;
    return Res_ok;
}

void Ppt_freeFonts(PptContext *ppt)
{
    for (uint32_t i = 0; i < ppt->fontCount; i++)
        Mem_free(ppt->fonts[i]);
    Mem_free(ppt->fonts);
    ppt->fonts = nullptr;
    ppt->fontCount = 0;
}
