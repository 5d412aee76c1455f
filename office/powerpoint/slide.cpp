// Slide building: the page group of a slide with its colour scheme in
// force, scheme-indexed colours turned into plain colours (kept for the
// slide's own drawing, restored afterwards for the master's, which serves
// the next slide too), the background stretched over the slide, the
// master's shapes with its placeholders filtered by the header and footer
// switches, and the slide's own shapes, each placed at its anchor.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/fmt.h"
#include "core/stream/bytestream.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "office/powerpoint/ppt.h"
#include "office/shape/place.h"

namespace {

enum : uint32_t {
    SchemeBit = 0x08000000u,
    PropFillColour = 385,
    PropFillBackColour = 387,
    PropLineColour = 448,
};

// One edge of a slide anchor: a signed 16-bit value in master units, so
// that a shape may start left of or above the slide.
int64_t slideAnchorEdge(const uint8_t *b)
{
    return int16_t(Bytes_peekU16Le(b));
}

uint32_t schemeRgb(const uint8_t scheme[Ppt_schemeColours][4], uint32_t value)
{
    const uint8_t *c = scheme[value & 7];
    return uint32_t(c[0]) | (uint32_t(c[1]) << 8) | (uint32_t(c[2]) << 16);
}

// The writable value of property id when it holds a scheme index.
uint32_t *schemeValue(EscherPropSet *set, uint32_t id)
{
    const EscherProp *p = Escher_propFind(id, set);
    if (!p || (p->flags & EscherProp_complex) || !(p->value & SchemeBit))
        return nullptr;
    return const_cast<uint32_t *>(&p->value);
}

// Calls fn for every scheme-indexed colour of the drawing, in the order
// line, fill, fill-back of each shape, then fill and fill-back of the
// background shape.
template <typename Fn> void forEachSchemeColour(EscherDrawingGroup *d, Fn fn)
{
    const uint32_t shapeIds[] = {PropLineColour, PropFillColour, PropFillBackColour};
    for (uint32_t i = 0; i < d->count; i++)
        for (uint32_t id : shapeIds)
            if (uint32_t *v = schemeValue(d->shapes[i].props, id))
                fn(v);
    const uint32_t backgroundIds[] = {PropFillColour, PropFillBackColour};
    for (uint32_t id : backgroundIds)
        if (uint32_t *v = schemeValue(d->self.props, id))
            fn(v);
}

// The client data of a master shape: 1 when it is drawn on this slide.
bool masterShapeDrawn(const PptReader *r, const EscherShape *s)
{
    const uint8_t *b = s->clientData.bytes;
    uint32_t length = b ? s->clientData.length : 0;
    uint32_t at = 0;
    while (length - at >= 8) {
        EscherRecordHeader h;
        Escher_parseRecordHeader(b + at, &h);
        if (h.type == PptRec_placeholderAtom) {
            if (r->placeholderMode && r->slideHf.words[0] == 0)
                return false;
            if (h.length < 5 || length - at - 8 < 5)
                return false;
            const PptHeadersFooters *hf = r->slideHf.words[0] ? &r->docHf : &r->slideHf;
            switch (b[at + 8 + 4]) {
            case 7: return hf->words[1] != 0;  // date
            case 8: return hf->words[4] != 0;  // slide number
            case 9: return hf->words[6] != 0;  // footer
            case 10: return hf->words[5] != 0; // header
            default: return false;
            }
        }
        if (h.length > length - at - 8)
            break;
        at += 8 + h.length;
    }
    return true;
}

int placeShape(PptReader *r, Edr_Node *slide, EscherDrawingGroup *d, uint32_t i)
{
    const EscherShape *s = &d->shapes[i];
    int32_t rect[4];
    if (!Ppt_anchorRect(s->clientAnchor.bytes, s->clientAnchor.length, rect))
        return Res_ok;
    ShapeRect box{rect[0], rect[1], rect[2], rect[3]};
    int err = Shape_placeTree(r->doc, slide, r->drawingGroup, d, int32_t(i), &box, 0);
    // A shape whose content cannot be had (a picture whose blip is missing,
    // as in a file without "Pictures", or does not decode) is left out;
    // the slide goes on. Running out of memory, a stop request and nesting
    // too deep still end the slide.
    if (err != Res_noMemory && err != Res_stopRequested && err != Res_stackExhausted &&
        err != Res_ok) {
        Fmt_debugPrint("slide shape %u left out: %d\n", unsigned(s->shapeId), err);
        err = Res_ok;
    }
    return err;
}

// The master of id: the title master, the first main master or one of the
// more masters; null when none has that id.
PptMaster *slideMasterById(PptReader *r, uint32_t id)
{
    if (r->titleMaster.drawing && r->titleMaster.id == id)
        return &r->titleMaster;
    if (r->mainMaster.id == id)
        return &r->mainMaster;
    for (uint32_t i = 0; i < r->moreMasterCount; i++)
        if (r->moreMasters[i].id == id)
            return &r->moreMasters[i];
    return nullptr;
}

// The master a slide follows: the one its atom names, else the first main
// master (a file whose master id names no master).
PptMaster *slideMaster(PptReader *r)
{
    PptMaster *m = slideMasterById(r, r->slideAtom.masterId);
    return m ? m : &r->mainMaster;
}

// The text styles of a later main master replace the context's for the
// slide being composed; the replaced levels go to saved (one table),
// null when nothing was replaced. A title master's text follows its main
// master.
int swapMasterStyles(PptReader *r, const PptMaster *master, PptMasterLevel (**saved)[Ppt_levels])
{
    *saved = nullptr;
    const PptMaster *main = master;
    if (!master->styles && master->mainId != master->id) {
        const PptMaster *named = slideMasterById(r, master->mainId);
        main = named ? named : master;
    }
    if (!main->styles || !main->styleTypes)
        return Res_ok;
    *saved = static_cast<PptMasterLevel(*)[Ppt_levels]>(Mem_malloc(sizeof r->ppt.masterStyles));
    if (!*saved)
        return Res_noMemory;
    memcpy(*saved, r->ppt.masterStyles, sizeof r->ppt.masterStyles);
    for (uint32_t t = 0; t < Ppt_textTypes; t++)
        if (main->styleTypes & (1u << t))
            memcpy(r->ppt.masterStyles[t], main->styles[t], sizeof r->ppt.masterStyles[t]);
    return Res_ok;
}

void restoreMasterStyles(PptReader *r, PptMasterLevel (*saved)[Ppt_levels])
{
    if (!saved)
        return;
    memcpy(r->ppt.masterStyles, saved, sizeof r->ppt.masterStyles);
    Mem_free(saved);
}

// A shape that the slide places itself: a top-level shape of the drawing.
bool topLevel(const EscherShape *s)
{
    return s->level == 1;
}

// Shapes inside a group that give their place with a client anchor (slide
// coordinates in master units: top, left, right, bottom) and no child
// anchor, as older presentations write them, get their place in the group
// from it: the group's own rectangle (its FSPGR) in the same units maps
// onto the group's box.
void slideGroupClientAnchors(EscherDrawingGroup *d)
{
    for (uint32_t i = 0; d && i < d->count; i++) {
        EscherShape *s = &d->shapes[i];
        if (s->level < 2 || !s->clientAnchor.bytes || s->clientAnchor.length < 8)
            continue;
        if (s->childLeft || s->childTop || s->childRight || s->childBottom || s->anchorLeft ||
            s->anchorTop || s->anchorWidth || s->anchorHeight)
            continue;
        // The group's own shape: the nearest one before at the level above.
        const EscherShape *g = nullptr;
        for (uint32_t k = i; k-- > 0;) {
            const EscherShape *c = &d->shapes[k];
            if (c->level < s->level - 1)
                break;
            if (c->level == s->level - 1) {
                g = (c->flags & EscherFsp_group) ? c : nullptr;
                break;
            }
        }
        if (!g)
            continue;
        int64_t gw = int64_t(g->groupRight) - g->groupLeft,
                gh = int64_t(g->groupBottom) - g->groupTop;
        if (gw <= 0 || gh <= 0)
            continue;
        const uint8_t *a = s->clientAnchor.bytes;
        int64_t top = slideAnchorEdge(a), left = slideAnchorEdge(a + 2);
        int64_t right = slideAnchorEdge(a + 4), bottom = slideAnchorEdge(a + 6);
        auto part = [](int64_t v, int64_t whole) {
            int64_t f = v * 65536 / whole;
            return int32_t(f < INT32_MIN ? INT32_MIN : f > INT32_MAX ? INT32_MAX : f);
        };
        s->anchorLeft = part(left - g->groupLeft, gw);
        s->anchorTop = part(top - g->groupTop, gh);
        s->anchorWidth = part(right > left ? right - left : 0, gw);
        s->anchorHeight = part(bottom > top ? bottom - top : 0, gh);
    }
}

} // namespace

int Ppt_anchorRect(const uint8_t *anchor, uint32_t length, int32_t rect[4])
{
    if (!anchor || length < 8)
        return 0;
    int64_t top = slideAnchorEdge(anchor), left = slideAnchorEdge(anchor + 2);
    int64_t right = slideAnchorEdge(anchor + 4), bottom = slideAnchorEdge(anchor + 6);
    // An anchor whose right edge lies left of its left edge, or whose bottom
    // lies above its top, holds no area: an empty box, never a negative one.
    int64_t w = right > left ? right - left : 0, h = bottom > top ? bottom - top : 0;
    rect[0] = int32_t(left * 65536 / Ppt_masterUnitsPerInch);
    rect[1] = int32_t(top * 65536 / Ppt_masterUnitsPerInch);
    rect[2] = int32_t(w * 65536 / Ppt_masterUnitsPerInch);
    rect[3] = int32_t(h * 65536 / Ppt_masterUnitsPerInch);
    return 1;
}

int Ppt_startSlide(PptReader *r)
{
    // A slide without a drawing of its own is a page all the same (its
    // background and its master's objects), as in a full load.
    const bool own = !(r->slideAtom.flags & PptSlide_masterScheme) && r->slideScheme.present &&
                     r->slideSchemeId == r->slideCounter;
    const PptScheme *scheme = own ? &r->slideScheme : &slideMaster(r)->scheme;
    r->backgroundWord = scheme->word;
    // The slide's own scheme is in force when it has one; else the master's.
    if (own || (r->slideAtom.flags & PptSlide_masterScheme))
        memcpy(r->ppt.scheme, scheme->colours, sizeof r->ppt.scheme);
    Edr_Node *group = nullptr;
    int err = Edr_Node_createGroup(r->doc, r->root, Edr_Insert_lastChild, 0, &group);
    if (err == Res_ok)
        err = Edr_Node_setStyle(r->doc, group, r->slideStyle ? r->slideStyle : r->ppt.slideClass);
    if (err == Res_ok)
        err = Edr_Doc_dropPage(r->doc, r->slideCounter - r->firstSlide, 1);
    if (group)
        Edr_Node_release(r->doc, group);
    r->slideCounter++;
    return err;
}

int Ppt_resolveSchemeColours(PptReader *r)
{
    if (r->drawing)
        forEachSchemeColour(r->drawing, [&](uint32_t *v) { *v = schemeRgb(r->ppt.scheme, *v); });
    return Res_ok;
}

int Ppt_applySchemeColours(PptReader *r, EscherDrawingGroup *d)
{
    Ppt_restoreSchemeColours(r);
    if (!d)
        return Res_ok;
    uint32_t count = 0;
    forEachSchemeColour(d, [&](uint32_t *) { count++; });
    r->saved = static_cast<PptReader::SavedColour *>(
        Mem_calloc(size_t(count) + 1, sizeof(PptReader::SavedColour)));
    if (!r->saved)
        return Res_noMemory;
    uint32_t i = 0;
    forEachSchemeColour(d, [&](uint32_t *v) {
        r->saved[i].value = v;
        r->saved[i].old = *v;
        *v = schemeRgb(r->ppt.scheme, *v);
        i++;
    });
    return Res_ok;
}

void Ppt_restoreSchemeColours(PptReader *r)
{
    if (!r->saved)
        return;
    for (PptReader::SavedColour *s = r->saved; s->value; s++)
        *s->value = s->old;
    Mem_free(r->saved);
    r->saved = nullptr;
}

void Ppt_attachDrawing(PptReader *r, EscherDrawingGroup *drawing)
{
    if (r->pageDrawing != drawing)
        Escher_drawingGroupFree(r->pageDrawing);
    r->pageDrawing = drawing;
}

int Ppt_composeSlide(PptReader *r, Edr_Node *slide)
{
    // A slide without a drawing of its own (none saved, no drawing group,
    // or a damaged one dropped) is still a page: its background and the
    // master's objects.
    if (!r->drawing) {
        r->drawing = static_cast<EscherDrawingGroup *>(Mem_calloc(1, sizeof(EscherDrawingGroup)));
        if (!r->drawing) {
            if (slide)
                Edr_Node_release(r->doc, slide);
            return Res_noMemory;
        }
    }
    PptMaster *master = slideMaster(r);
    r->ppt.masterDrawing = master->drawing;
    const uint16_t flags = r->slideAtom.flags;
    if ((flags & PptSlide_masterScheme) && master->scheme.present)
        memcpy(r->ppt.scheme, master->scheme.colours, sizeof r->ppt.scheme);
    else if (!(flags & PptSlide_masterScheme) && r->slideScheme.present)
        memcpy(r->ppt.scheme, r->slideScheme.colours, sizeof r->ppt.scheme);
    int err = Res_ok;
    if (!slide)
        err = Edr_Node_createGroup(r->doc, r->root, Edr_Insert_lastChild, 0, &slide);
    if (err) {
        r->composed++;
        r->slideCounter++;
        return err;
    }
    Edr_Node *background = nullptr;
    PptMasterLevel(*savedStyles)[Ppt_levels] = nullptr;
    err = swapMasterStyles(r, master, &savedStyles);
    if (err == Res_ok)
        err = Edr_Node_setStyle(r->doc, slide, r->ppt.slideClass);
    // The slide's placeholders name their master's shapes for the fill and
    // line they do not set themselves.
    if (r->drawingGroup)
        r->drawingGroup->masterGroup = master->drawing;
    if (err == Res_ok)
        err = Ppt_applySchemeColours(r, master->drawing);
    // A background fill given as a scheme index becomes that colour before
    // the background is placed. It is stored as a plain colour (top byte 0):
    // with 0xFF in the top byte bit 27 would still be set, and the slide's
    // scheme pass below would read the colour as an index once more.
    const uint32_t backgroundIds[] = {PropFillColour, PropFillBackColour};
    for (uint32_t id : backgroundIds) {
        const EscherProp *p = err ? nullptr : Escher_propFind(id, r->drawing->self.props);
        if (p && !(p->flags & EscherProp_complex) && (p->value & SchemeBit) &&
            (p->value & 0xFFFFFF) < 8)
            const_cast<EscherProp *>(p)->value = schemeRgb(r->ppt.scheme, p->value);
    }
    const int32_t width = int32_t(int64_t(r->docAtom.slideWidth) * 1024 / 9);
    const int32_t height = int32_t(int64_t(r->docAtom.slideHeight) * 1024 / 9);
    if (err == Res_ok)
        err = Edr_Node_createGroup(r->doc, slide, Edr_Insert_lastChild, 0, &background);
    if (err == Res_ok && r->drawingGroup) {
        EscherDrawingGroup *from =
            (flags & PptSlide_masterBackground) && master->drawing ? master->drawing : r->drawing;
        ShapeRect box{0, 0, width, height};
        err = Shape_placeTree(r->doc, background, r->drawingGroup, from, -1, &box, 0);
    }
    EscherDrawingGroup *md = master->drawing;
    slideGroupClientAnchors(md);
    slideGroupClientAnchors(r->drawing);
    if (err == Res_ok && md && r->drawingGroup && (flags & PptSlide_masterObjects)) {
        for (uint32_t i = 0; i < md->count && err == Res_ok; i++) {
            const EscherShape *s = &md->shapes[i];
            if (!topLevel(s) || !s->clientAnchor.bytes || !s->clientAnchor.length)
                continue;
            if (!masterShapeDrawn(r, s))
                continue;
            err = placeShape(r, slide, md, i);
        }
    }
    if (err == Res_ok)
        err = Ppt_resolveSchemeColours(r);
    for (uint32_t i = 0; r->drawingGroup && i < r->drawing->count && err == Res_ok; i++) {
        const EscherShape *s = &r->drawing->shapes[i];
        if (topLevel(s) && s->clientAnchor.length == 8)
            err = placeShape(r, slide, r->drawing, i);
    }
    Ppt_restoreSchemeColours(r);
    restoreMasterStyles(r, savedStyles);
    if (r->drawingGroup)
        r->drawingGroup->masterGroup = nullptr;
    if (background)
        Edr_Node_release(r->doc, background);
    Edr_Node_release(r->doc, slide);
    r->composed++;
    r->slideCounter++;
    return err;
}

int Ppt_composeSlideAt(PptReader *r, uint32_t n)
{
    Edr_Node *slide = nullptr;
    if (Edr_Doc_nthRootChild(r->doc, n, &slide) != Res_ok)
        slide = nullptr;
    int err = Ppt_composeSlide(r, slide);
    if (err == Res_ok && r->drawing) {
        Ppt_attachDrawing(r, r->drawing);
        r->drawing = nullptr;
    }
    return err;
}
