// Word drawings: the shape anchor and text-box tables, the OfficeArt
// drawing group of the table stream, floating shapes placed as positioned
// groups at their anchors, and text boxes that flow their stories into
// their shapes.
#include "word/reader/drawing.h"

#include <cstring>

#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/stylerule.h"
#include "core/stream/bytestream.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "office/officeart/escher.h"
#include "office/ole2/ole.h"
#include "office/shape/place.h"
#include "platform/api/request.h"
#include "word/reader/build.h"

namespace {

enum : uint32_t {
    pairPlcspaMom = 40,
    pairPlcspaHdr = 41,
    pairDggInfo = 50,
    pairPlcftxbxTxt = 56,
    pairPlcfHdrtxbxTxt = 58,
    pairPlcfTxbxBkd = 75,
    pairPlcfTxbxHdrBkd = 76,
    subdocMain = 0,
    subdocHeaders = 2,
    subdocTextBoxes = 6,
    subdocHeaderTextBoxes = 7,
    stopped = 48,
    maxStoryDepth = 64,
    textBoxType = 202,
};

int32_t twipsToUnits(int32_t v)
{
    return int32_t(int64_t(v) * 65536 / 1440);
}

int32_t emuToUnits(uint32_t v)
{
    return int32_t(int64_t(int32_t(v)) * 65536 / 914400);
}

WordDrawings *drawingsOf(WordReader *r)
{
    return r->load ? r->load->drawings : nullptr;
}

} // namespace

// ------------------------------------------------------------------ tables

int Word_readPlex(WordReader *r, uint32_t pair, uint32_t size, WordPlex *out)
{
    memset(out, 0, sizeof *out);
    out->elementBytes = size;
    if (pair >= Word_fcLcbCount || !r->tableStream)
        return Res_ok;
    const WordFcLcb &p = r->fib.pairs[pair];
    if (p.lcb < 4)
        return Res_ok;
    uint32_t n = (p.lcb - 4) / (size + 4);
    uint32_t bytes = (n + 1) * 4 + n * size;
    uint8_t *raw = nullptr;
    int err = Word_readBlock(r->tableStream, p.fc, bytes, &raw);
    if (err == Res_oleStreamEnd || err == Res_oleSeekBeyond)
        return Res_wordShortPlex;
    if (err)
        return err;
    out->bytes = raw;
    out->count = n;
    return Res_ok;
}

void Word_plexFree(WordPlex *plex)
{
    Mem_free(plex->bytes);
    plex->bytes = nullptr;
    plex->count = 0;
}

uint32_t Word_plexCp(const WordPlex *plex, uint32_t i)
{
    return plex->bytes && i <= plex->count ? Bytes_peekU32Le(plex->bytes + 4 * size_t(i)) : 0;
}

const uint8_t *Word_plexElement(const WordPlex *plex, uint32_t i)
{
    if (!plex->bytes || i >= plex->count)
        return nullptr;
    return plex->bytes + 4 * (size_t(plex->count) + 1) + size_t(i) * plex->elementBytes;
}

int Word_readShapeAnchors(WordReader *r)
{
    WordDrawings *d = drawingsOf(r);
    if (!d)
        return Res_ok;
    int err = Word_readPlex(r, pairPlcspaMom, Word_fspaBytes, &d->anchors[0]);
    if (!err)
        err = Word_readPlex(r, pairPlcspaHdr, Word_fspaBytes, &d->anchors[1]);
    return err == Res_wordShortPlex ? Res_ok : err;
}

int Word_readTextBoxTables(WordReader *r)
{
    if (r->fib.wIdent != Word_identWord97 || !r->load)
        return Res_ok;
    if (!r->load->drawings) {
        r->load->drawings = static_cast<WordDrawings *>(Mem_calloc(1, sizeof(WordDrawings)));
        if (!r->load->drawings)
            return Res_noMemory;
    }
    WordDrawings *d = r->load->drawings;
    static constexpr uint32_t stories[2] = {pairPlcftxbxTxt, pairPlcfHdrtxbxTxt};
    static constexpr uint32_t breaks[2] = {pairPlcfTxbxBkd, pairPlcfTxbxHdrBkd};
    for (uint32_t i = 0; i < 2; i++) {
        int err = Word_readPlex(r, stories[i], Word_txbxBytes, &d->textBoxes[i]);
        if (!err)
            err = Word_readPlex(r, breaks[i], Word_txbxBreakBytes, &d->breaks[i]);
        // A table the stream cuts short leaves its stories out.
        if (err == Res_wordShortPlex)
            continue;
        if (err)
            return err;
    }
    return Res_ok;
}

void Word_freeTextBoxTables(WordReader *r)
{
    WordDrawings *d = drawingsOf(r);
    if (!d)
        return;
    for (uint32_t i = 0; i < 2; i++) {
        Word_plexFree(&d->textBoxes[i]);
        Word_plexFree(&d->breaks[i]);
    }
}

int Word_findShapeAnchor(uint32_t cp, WordFspa *fspa, WordReader *r)
{
    WordDrawings *d = drawingsOf(r);
    uint32_t table;
    if (r->subdoc == subdocMain)
        table = 0;
    else if (r->subdoc == subdocHeaders)
        table = 1;
    else
        return Res_wordNoShapes;
    if (!d)
        return Res_wordNoShapeAnchor;
    const WordPlex *plex = &d->anchors[table];
    uint32_t rel = cp - r->subdocStart[r->subdoc];
    uint32_t lo = 0, hi = plex->count;
    // The last interval whose start is at or below rel.
    while (lo < hi) {
        uint32_t mid = (lo + hi) / 2;
        if (Word_plexCp(plex, mid) <= rel)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo == 0)
        return Res_wordNoShapeAnchor;
    uint32_t i = lo - 1;
    if (!(Word_plexCp(plex, i) <= rel && rel < Word_plexCp(plex, i + 1)))
        return Res_wordNoShapeAnchor;
    const uint8_t *at = Word_plexElement(plex, i);
    Word_readFspa(&at, fspa);
    return Res_ok;
}

// --------------------------------------------------------- drawing group

int Word_shapeStyle(void *user, StyleRule *rule, uint32_t *id)
{
    WordReader *r = static_cast<WordReader *>(user);
    *id = 0;
    if (!r || !r->load || !rule)
        return Res_ok;
    StyleRule *copy = nullptr;
    int err = StyleRule_clone(&copy, rule);
    if (err)
        return err;
    uint32_t styleId = r->load->nextStyleId++;
    if ((err = StyleRule_addMatch10(copy, styleId)) == Res_ok)
        err = Request_addItem(r->load->request, &copy);
    if (err) {
        StyleRule_destroy(copy);
        return err;
    }
    *id = styleId;
    return Res_ok;
}

int Word_loadDrawings(WordReader *r)
{
    if (r->fib.wIdent != Word_identWord97 || !r->load)
        return Res_ok;
    if (!r->load->drawings) {
        r->load->drawings = static_cast<WordDrawings *>(Mem_calloc(1, sizeof(WordDrawings)));
        if (!r->load->drawings)
            return Res_noMemory;
    }
    WordDrawings *d = r->load->drawings;
    int err = Word_readShapeAnchors(r);
    if (err)
        return err;
    const WordFcLcb &p = r->fib.pairs[pairDggInfo];
    if (p.lcb == 0 || p.fc < 0 || !r->tableStream)
        return Res_ok;
    uint64_t end = uint64_t(uint32_t(p.fc)) + p.lcb;
    if (end > Ole_streamSize(r->tableStream))
        return Res_ok; // a drawing group outside its stream: the document loads without drawings
    if ((err = Ole_streamSeek(r->tableStream, uint32_t(p.fc), 0)) != Res_ok)
        return Res_ok;
    err = Escher_openDrawingStreams(r->ctx, r->tableStream, r->docStream, &d->drawing,
                                    Word_shapeStyle, Word_shapeTextBox, nullptr, r);
    if (err == Res_noMemory)
        return err;
    if (err)
        return Res_ok; // a malformed drawing group: no drawings
    while (Ole_streamTell(r->tableStream) < end) {
        uint8_t kind = 0;
        if (Ole_streamReadExact(r->tableStream, &kind, 1) != Res_ok)
            break;
        EscherDrawingGroup *g = nullptr;
        err = Escher_readDrawingGroup(d->drawing, &g);
        if (err == Res_noMemory)
            return err;
        if (err || !g)
            break; // the drawings read so far are kept
        void *grown =
            Mem_realloc(d->groups, (size_t(d->groupCount) + 1) * sizeof(EscherDrawingGroup *));
        void *kinds = grown ? Mem_realloc(d->groupKinds, size_t(d->groupCount) + 1) : nullptr;
        if (grown)
            d->groups = static_cast<EscherDrawingGroup **>(grown);
        if (!grown || !kinds) {
            Escher_drawingGroupFreeBlips(d->drawing, g);
            return Res_noMemory;
        }
        d->groupKinds = static_cast<uint8_t *>(kinds);
        d->groups[d->groupCount] = g;
        d->groupKinds[d->groupCount] = kind;
        d->groupCount++;
    }
    return err == int(stopped) ? int(stopped) : int(Res_ok);
}

void Word_drawingsFree(WordReader *r)
{
    WordDrawings *d = drawingsOf(r);
    if (!d)
        return;
    for (uint32_t i = 0; i < 2; i++)
        Word_plexFree(&d->anchors[i]);
    Word_freeTextBoxTables(r);
    for (uint32_t i = 0; i < d->groupCount; i++)
        Escher_drawingGroupFreeBlips(d->drawing, d->groups[i]);
    Mem_free(d->groups);
    Mem_free(d->groupKinds);
    Escher_drawingStateFree(d->drawing);
    Mem_free(d);
    r->load->drawings = nullptr;
}

// ------------------------------------------------------------------ shapes

namespace {

// The first drawing whose shape list holds spid, and the shape's index.
bool findShape(WordDrawings *d, uint32_t spid, EscherDrawingGroup **group, int32_t *index)
{
    for (uint32_t g = 0; g < d->groupCount; g++) {
        EscherDrawingGroup *dg = d->groups[g];
        for (uint32_t i = 0; dg && i < dg->count; i++)
            if (dg->shapes[i].shapeId == spid) {
                *group = dg;
                *index = int32_t(i);
                return true;
            }
    }
    return false;
}

uint32_t horizontalKeyword(uint32_t ref)
{
    return ref == 0 ? 220 : ref == 1 ? 219 : 223;
}

uint32_t floatKeyword(uint32_t wrap, uint32_t below)
{
    switch (wrap) {
    case 0:
    case 2: return 130;
    case 3: return below ? 211 : 212;
    case 4: return 210;
    case 5: return 214;
    default: return 213;
    }
}

} // namespace

int Word_placeDrawnObject(WordRunState *rs, uint32_t cp)
{
    WordParaState *para = rs->para;
    WordNodeBuilder *b = para->section->builder;
    WordReader *r = b->reader;
    if (r->fib.wIdent != Word_identWord97)
        return Res_ok; // drawn objects of Word 6/95 files are not read
    WordDrawings *d = drawingsOf(r);
    if (!d || !d->drawing)
        return Res_ok;
    WordFspa fspa{};
    if (Word_findShapeAnchor(cp, &fspa, r) != Res_ok)
        return Res_ok;
    EscherDrawingGroup *group = nullptr;
    int32_t index = 0;
    if (!findShape(d, fspa.spid, &group, &index))
        return Res_ok;
    if (r->subdoc == subdocHeaders && fspa.top > para->section->sep.yaPage)
        return Res_ok;
    int32_t left = twipsToUnits(fspa.left), top = twipsToUnits(fspa.top);
    int64_t w = int64_t(twipsToUnits(fspa.right)) - left,
            h = int64_t(twipsToUnits(fspa.bottom)) - top;
    int32_t width = int32_t(w < 0 ? -w : w), height = int32_t(h < 0 ? -h : h);

    WordPropList list;
    Word_propListInit(&list);
    int err = Res_ok;
    auto add = [&](uint32_t id, uint32_t type, uint32_t word) {
        if (!err)
            err = Word_propAdd(&list, id, type, word, r);
    };
    uint32_t yRef = WordFspa_yRef(&fspa);
    uint32_t vertical = yRef == 0 ? 220 : yRef == 1 ? 219 : 221;
    if (yRef > 1) {
        const EscherProp *p = Escher_propFind(914, group->shapes[index].props);
        if (p && p->value == 1)
            vertical = 219;
    }
    add(141, WordValue_keyword, horizontalKeyword(WordFspa_xRef(&fspa)));
    add(142, WordValue_keyword, vertical);
    add(45, WordValue_length, uint32_t(left));
    add(84, WordValue_length, uint32_t(top));
    add(90, WordValue_length, uint32_t(width));
    add(44, WordValue_length, uint32_t(height));
    uint32_t wrap = WordFspa_wrap(&fspa);
    if (wrap == 0 || wrap == 2 || wrap == 4 || wrap == 5) {
        static constexpr uint32_t sides[4] = {215, 216, 217, 218};
        uint32_t side = WordFspa_wrapSide(&fspa);
        if (side < 4)
            add(140, WordValue_keyword, sides[side]);
    }
    add(146, WordValue_int, fspa.spid);
    uint32_t styleId = 0;
    if (!err)
        err = Word_styleIntern(&list, &styleId, r);
    Word_propListClear(&list);
    if (err)
        return err;

    StyleRule *rule = nullptr;
    Prop scratch;
    Prop_zero(&scratch);
    if ((err = StyleRule_create(&rule)) != Res_ok)
        return err;
    if ((err = StyleRule_addKeyword(rule, &scratch, 139,
                                    uint16_t(floatKeyword(wrap, WordFspa_belowText(&fspa))))) !=
        Res_ok) {
        StyleRule_destroy(rule);
        return err;
    }
    // One shape waits per paragraph: an earlier one is completed first.
    (void)Word_paraFinishShape(para, 1);
    Edr_Doc *doc = b->doc;
    Edr_Node *outer = nullptr, *inner = nullptr;
    err = Word_ensureTextGroup(rs);
    if (!err)
        err = Edr_Node_createGroup(doc, rs->textGroup, Edr_Insert_lastChild, 0, &outer);
    if (!err)
        err = Edr_Node_createGroup(doc, outer, Edr_Insert_lastChild, 0, &inner);
    if (!err) {
        WordSectionContext *saved = d->section;
        d->section = para->section;
        d->drawing->current = group;
        // The shapes take the box from its top-left corner, as layout places
        // the drawing, whether it floats at its anchor or (a picture shape
        // whose paragraph keeps it in line) sits on its line.
        ShapeRect bounds = {0, 0, width, height};
        d->floatHeight = height;
        err = Shape_placeTree(doc, inner, d->drawing, group, index, &bounds, 0);
        d->floatHeight = 0;
        d->section = saved;
    }
    if (err) {
        StyleRule_destroy(rule);
        if (inner)
            Edr_Node_release(doc, inner);
        if (outer)
            Edr_Node_release(doc, outer);
        return err;
    }
    WordPendingShape &p = para->pendingShape;
    p.outer = outer;
    p.inner = inner;
    p.styleId = styleId;
    p.wrapRule = rule;
    p.bounds[0] = left;
    p.bounds[1] = top;
    p.bounds[2] = width;
    p.bounds[3] = height;
    p.spid = fspa.spid;
    return Res_ok;
}

int Word_paraFinishShape(WordParaState *para, int commit)
{
    WordPendingShape &p = para->pendingShape;
    if (!p.outer)
        return Res_ok;
    Edr_Doc *doc = para->section->builder->doc;
    int err = Res_ok;
    if (commit) {
        err = Edr_Node_setPropList2Resolved(doc, p.inner, p.wrapRule);
        if (!err) {
            p.wrapRule = nullptr; // the group owns it now
            err = Word_nodeSetStyle(doc, p.inner, WordClass_picture, p.styleId);
        }
    }
    StyleRule_destroy(p.wrapRule);
    Edr_Node_release(doc, p.inner);
    Edr_Node_release(doc, p.outer);
    p = WordPendingShape{};
    return err;
}

// -------------------------------------------------------------- text boxes

int Word_textBoxRange(uint32_t story, uint32_t, WordReader *r, uint32_t *start, uint32_t *end)
{
    *start = *end = 0;
    WordDrawings *d = drawingsOf(r);
    bool header = r->subdoc == subdocHeaders || r->subdoc == subdocHeaderTextBoxes;
    const WordPlex *plex = d ? &d->textBoxes[header ? 1 : 0] : nullptr;
    if (!plex || story >= plex->count)
        return Res_wordNoStory;
    uint32_t base = r->subdocStart[header ? subdocHeaderTextBoxes : subdocTextBoxes];
    uint32_t limit = r->subdocStart[header ? 8u : uint32_t(subdocHeaderTextBoxes)];
    uint32_t s = Word_plexCp(plex, story), e = Word_plexCp(plex, story + 1);
    if (e <= s || uint64_t(base) + e > limit)
        return Res_wordNoStory;
    *start = base + s;
    *end = base + e;
    return Res_ok;
}

namespace {

// The reader state that a story's paragraphs change, kept while the story
// is emitted in the middle of another paragraph.
struct StorySave {
    uint32_t subdoc;
    uint32_t windowStart, windowLength, window16;
    char16_t *window;
    uint32_t fieldDepth, fieldOverflow, showText, lastPropDepth;
    WordFieldLevel fields[Word_maxFieldDepth + 1];
    uint32_t hasBookmarks;
    WordBookmarks bookmarks;
};

void storySave(WordReader *r, StorySave *s)
{
    WordLoad *l = r->load;
    s->subdoc = r->subdoc;
    s->windowStart = l->windowStart;
    s->windowLength = l->windowLength;
    s->window16 = l->window16;
    s->window = l->window;
    s->fieldDepth = l->fieldDepth;
    s->fieldOverflow = l->fieldOverflow;
    s->showText = l->showText;
    s->lastPropDepth = l->lastPropDepth;
    memcpy(s->fields, l->fields, sizeof s->fields);
    s->hasBookmarks = r->bookmarks ? 1 : 0;
    if (r->bookmarks)
        s->bookmarks = *r->bookmarks;
    l->window = nullptr;
    l->windowLength = 0;
    l->fieldDepth = 0;
    l->fieldOverflow = 0;
    l->showText = 1;
    l->lastPropDepth = 0;
    memset(l->fields, 0, sizeof l->fields);
}

void storyRestore(WordReader *r, StorySave *s)
{
    WordLoad *l = r->load;
    for (uint32_t k = 1; k <= l->fieldDepth && k <= Word_maxFieldDepth; k++)
        Mem_free(l->fields[k].instruction);
    Mem_free(l->window);
    r->subdoc = s->subdoc;
    l->windowStart = s->windowStart;
    l->windowLength = s->windowLength;
    l->window16 = s->window16;
    l->window = s->window;
    l->fieldDepth = s->fieldDepth;
    l->fieldOverflow = s->fieldOverflow;
    l->showText = s->showText;
    l->lastPropDepth = s->lastPropDepth;
    memcpy(l->fields, s->fields, sizeof s->fields);
    if (s->hasBookmarks && r->bookmarks)
        *r->bookmarks = s->bookmarks;
}

} // namespace

int Word_emitStoryRange(uint32_t cpStart, uint32_t cpEnd, Edr_Node *group, WordReader *r)
{
    WordDrawings *d = drawingsOf(r);
    if (!d || !d->section)
        return Res_ok;
    // A story can hold a picture whose shape holds a text box of the same
    // story: the depth is bounded by the stack left, and by a count where
    // the host cannot tell the stack.
    if (d->storyDepth >= maxStoryDepth || Escher_tooDeep(r->ctx))
        return Res_wordTextBoxTooDeep;
    StorySave *save = static_cast<StorySave *>(Mem_malloc(sizeof(StorySave)));
    if (!save)
        return Res_noMemory;
    storySave(r, save);
    uint32_t subdoc = subdocMain;
    for (uint32_t k = 0; k < 8; k++)
        if (cpStart >= r->subdocStart[k] && cpStart < r->subdocStart[k + 1])
            subdoc = k;
    r->subdoc = subdoc;
    WordSectionContext context = *d->section;
    context.group = group;
    // The story builds its own tables: sharing the section's table state
    // would let either free it under the other.
    context.table = nullptr;
    context.tableDepth = 0;
    context.story = 1;
    if (r->bookmarks)
        Word_bookmarksForRange(r, cpStart, cpEnd);
    d->storyDepth++;
    int err = Res_ok;
    for (uint32_t cp = cpStart; cp < cpEnd && !err;) {
        uint32_t paraEnd = 0;
        err = Word_nextParaEnd(cp, &paraEnd, r);
        if (err == Res_wordSubdocEnd) {
            paraEnd = cpEnd;
            err = Res_ok;
        }
        if (err)
            break;
        if (paraEnd > cpEnd)
            paraEnd = cpEnd;
        if (paraEnd <= cp)
            break;
        WordParaState *para = nullptr;
        if ((err = Word_paraBegin(cp, &context, &para, 1)) != Res_ok)
            break;
        err = Word_paraEmitRuns(cp, &paraEnd, para, r);
        int endErr = Word_paraEnd(&para);
        if (!err)
            err = endErr;
        cp = paraEnd;
    }
    // A table that runs to the story's end is finished here.
    int flushErr = Word_tableFlush(&context);
    if (!err)
        err = flushErr;
    d->storyDepth--;
    storyRestore(r, save);
    Mem_free(save);
    return err;
}

int Word_shapeTextBox(void *user, Edr_Node *node, const EscherShape *shape, const int32_t rect[4],
                      int32_t)
{
    WordReader *r = static_cast<WordReader *>(user);
    if (!r || !r->load || !shape || !node)
        return Res_ok;
    const EscherProp *txid = Escher_propFind(128, shape->props);
    // A text box: a client text-box record, or the text-box shape type.
    if (!txid ||
        !(shape->textbox.bytes || shape->textbox.length || shape->shapeType == textBoxType))
        return Res_ok;
    int32_t x = rect[0], y = rect[1], w = rect[2], h = rect[3];
    if (w < 0) {
        x += w;
        w = -w;
    }
    if (h < 0) {
        y += h;
        h = -h;
    }
    if (w > int32_t(Word_maxTextBoxSide) || h > int32_t(Word_maxTextBoxSide))
        return Res_ok;
    auto inset = [&](uint32_t id, int32_t fallback) {
        const EscherProp *p = Escher_propFind(id, shape->props);
        return p ? emuToUnits(p->value) : fallback;
    };
    int32_t li = inset(129, Word_insetLeftRight), ri = inset(131, Word_insetLeftRight);
    int32_t ti = inset(130, Word_insetTopBottom), bi = inset(132, Word_insetTopBottom);
    if (int64_t(li) + ri < w) {
        w -= li + ri;
        x += li;
    }
    if (int64_t(ti) + bi < h) {
        h -= ti + bi;
        y += ti;
    }
    int32_t angle = 0;
    const EscherProp *flow = Escher_propFind(136, shape->props);
    if (flow && (flow->value == 1 || flow->value == 3 || flow->value == 5))
        angle = 90 * 65536;
    else if (flow && flow->value == 2)
        angle = -90 * 65536;
    if (angle) {
        // The box turns about its centre: width and height trade places.
        int32_t cx = x + w / 2, cy = y + h / 2;
        int32_t t = w;
        w = h;
        h = t;
        x = cx - w / 2;
        y = cy - h / 2;
    }
    Edr_Doc *doc = r->load->doc;
    WordPropList list;
    Word_propListInit(&list);
    int err = Word_propAdd(&list, 90, WordValue_length, uint32_t(w), r);
    if (!err)
        err = Word_propAdd(&list, 44, WordValue_length, uint32_t(h), r);
    if (!err)
        err = Word_propAdd(&list, 146, WordValue_int, shape->shapeId, r);
    if (!err)
        err = Word_propAdd(&list, 151, WordValue_int, txid->value, r);
    StyleRule *rule = nullptr;
    if (!err)
        err = Word_buildStyleRule(&list, &rule, r);
    Word_propListClear(&list);
    if (!err && angle) {
        Matrix *m = static_cast<Matrix *>(Mem_malloc(sizeof(Matrix)));
        if (!m) {
            err = Res_noMemory;
        } else {
            Matrix_setIdentity(m);
            Matrix_rotation(m, -angle);
            Prop p;
            Prop_zero(&p);
            Prop_setMatrix(&p, 134, m);
            err = StyleRule_appendProp(rule, &p);
            Prop_free(&p);
        }
    }
    uint32_t styleId = 0;
    if (!err)
        err = Word_shapeStyle(r, rule, &styleId);
    StyleRule_destroy(rule);
    if (err)
        return err;
    WordDrawings *d = drawingsOf(r);
    if (d && d->floatHeight > 0) {
        // In a floating drawing the story starts at its box's top, not
        // after the shapes drawn before it.
        Prop origin;
        Prop_zero(&origin);
        Prop_set(&origin, 74, PropType_pointer, uintptr_t(uint32_t(x)), uint32_t(y));
        if ((err = Edr_Node_createData(doc, node, Edr_Insert_lastChild, nullptr, &origin)) !=
            Res_ok)
            return err;
    }
    Edr_Node *group = nullptr;
    if ((err = Edr_Node_createGroup(doc, node, Edr_Insert_lastChild, 0, &group)) != Res_ok)
        return err;
    err = Word_nodeSetStyle(doc, group, WordClass_textBox, styleId);
    uint32_t start = 0, end = 0;
    if (!err) {
        err = Word_textBoxRange((txid->value >> 16) - 1, txid->value & 0xFFFF, r, &start, &end);
        if (!err && end > start + 1)
            err = Word_emitStoryRange(start, end - 1, group, r);
        if (err == Res_wordNoStory)
            err = Res_ok;
    }
    Edr_Node_release(doc, group);
    return err;
}
