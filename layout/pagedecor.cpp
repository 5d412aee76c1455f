// Page headers, footers and page backgrounds: the groups a section entry
// names for the page are laid out into the page box, and in paged layout
// their room is kept free at the top and bottom of the page.
#include <cstdlib>
#include <cstring>

#include "layout/layerlist.h"
#include "core/result.h"
#include "core/style/propids.h"
#include "document/edr/doc.h"
#include "document/style/style.h"
#include "document/style/styleread.h"
#include "layout/block.h"
#include "layout/floatarea.h"
#include "layout/layout.h"
#include "layout/replaced.h"

namespace {

// Section ids: {first page, even pages, odd pages} for the whole section,
// the header and the footer.
constexpr uint32_t kPropWhole = 113;
constexpr uint32_t kPropHeader = 116;
constexpr uint32_t kPropFooter = 119;

enum : uint32_t { kSlotHeader = 0, kSlotFooter = 1, kSlotBackground = 2 };

int32_t sat(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v);
}

int32_t boxHeight(const LayoutBox *box)
{
    return sat(int64_t(box->pageRect[3]) - box->pageRect[1]);
}

// Lays out group into the box under a fresh float area over the page
// rectangle, between the side margins; *bottom gets the content's bottom
// (the page top when nothing was placed).
int layOut(LayoutBox *box, Edr_Style *pageStyle, Edr_Node *group, int32_t left, int32_t right,
           int32_t *bottom)
{
    *bottom = box->pageRect[3];
    Edr_Style *style = nullptr;
    int err = Edr_Style_computeForNode(box->document, &style, pageStyle, group);
    if (err)
        return err;
    Rect area{box->pageRect[0], box->pageRect[1], box->pageRect[2], box->pageRect[3]};
    FloatArea *fresh = nullptr;
    err = FloatArea_create(&area, &fresh);
    if (err) {
        Edr_Style_release(style);
        return err;
    }
    FloatArea_setBand(fresh, 0, 0, 0, 0);
    FloatArea *savedItems = box->items;
    int32_t savedBounds[4] = {box->bounds[0], box->bounds[1], box->bounds[2], box->bounds[3]};
    Rect empty = Rect_emptyBound;
    box->bounds[0] = empty.x0;
    box->bounds[1] = empty.y0;
    box->bounds[2] = empty.x1;
    box->bounds[3] = empty.y1;
    box->items = fresh;
    LayoutBox *b = box;
    err = Layout_layoutBlock(&b, group, style, left, right, nullptr, 0);
    Rect placed{box->bounds[0], box->bounds[1], box->bounds[2], box->bounds[3]};
    if (Rect_isNonEmpty(&placed))
        *bottom = placed.y0;
    box->items = savedItems;
    for (int i = 0; i < 4; i++)
        box->bounds[i] = savedBounds[i];
    Rect all{savedBounds[0], savedBounds[1], savedBounds[2], savedBounds[3]};
    Rect_unionNonEmpty(&all, &placed);
    box->bounds[0] = all.x0;
    box->bounds[1] = all.y0;
    box->bounds[2] = all.x1;
    box->bounds[3] = all.y1;
    FloatArea_destroy(fresh);
    Edr_Style_release(style);
    return err;
}

void sideMargins(const LayoutBox *box, Edr_Style *pageStyle, int32_t *left, int32_t *right)
{
    *left = *right = 0;
    if (pageStyle) {
        // An unset property leaves the value set above.
        (void)Edr_Style_getLength(pageStyle, PropId_marginLeft, left);
        (void)Edr_Style_getLength(pageStyle, PropId_marginRight, right);
    }
    if (box->flowMode) {
        int32_t cut = box->pageRect[2] / 128;
        if (*left > cut)
            *left = cut;
        if (*right > cut)
            *right = cut;
    }
}

int header(LayoutBox *box, Edr_Style *pageStyle, Edr_Node *group, int32_t *height)
{
    *height = 0;
    int32_t left = 0, right = 0, bottom = 0;
    sideMargins(box, pageStyle, &left, &right);
    int err = layOut(box, pageStyle, group, left, right, &bottom);
    if (!err)
        *height = sat(int64_t(box->pageRect[3]) - bottom);
    return err;
}

int footer(LayoutBox *box, Edr_Style *pageStyle, Edr_Node *group, int32_t *height)
{
    *height = 0;
    int32_t left = 0, right = 0, bottom = 0;
    sideMargins(box, pageStyle, &left, &right);
    LayerList *layers = LayerList_create();
    LayerList *back = LayerList_create();
    if (!layers || !back) {
        LayerList_destroy(layers);
        LayerList_destroy(back);
        return Res_noMemory;
    }
    LayerList *savedLayers = box->layers, *savedBack = box->backLayers;
    box->layers = layers;
    box->backLayers = back;
    int err = layOut(box, pageStyle, group, left, right, &bottom);
    box->layers = savedLayers;
    box->backLayers = savedBack;
    int32_t ownMargin = 0;
    Edr_Style *style = nullptr;
    if (!err && Edr_Style_computeForNode(box->document, &style, pageStyle, group) == Res_ok) {
        // An unset property leaves the value set above.
        (void)Edr_Style_getLength(style, PropId_marginBottom, &ownMargin);
        Edr_Style_release(style);
    }
    int64_t content = int64_t(box->pageRect[3]) - bottom;
    int64_t free = int64_t(boxHeight(box)) - ownMargin - content;
    if (!err && free >= 1) {
        LayerList_translate(layers, 0, sat(-free));
        LayerList_translate(back, 0, sat(-free));
        err = LayerList_merge(box->layers, layers);
        if (!err && LayerList_hasItems(back)) {
            if (!box->backLayers) {
                box->backLayers = back;
                back = nullptr;
            } else {
                err = LayerList_merge(box->backLayers, back);
            }
        }
        if (!err)
            *height = sat(int64_t(box->pageRect[3]) - free - box->pageRect[1]);
    }
    // A footer without room is dropped.
    LayerList_freeItems(layers);
    LayerList_destroy(layers);
    if (back) {
        LayerList_freeItems(back);
        LayerList_destroy(back);
    }
    return err;
}

} // namespace

int PageDecor_layoutGroups(LayoutBox *box, Edr_Style *pageStyle, const Edr_KeyedGroup *whole,
                           Edr_Node *head, Edr_Node *foot, int32_t *headerHeight,
                           int32_t *footerHeight)
{
    *headerHeight = *footerHeight = 0;
    Edr_Node *background = whole ? whole->groups[kSlotBackground] : nullptr;
    if (whole) {
        head = whole->groups[kSlotHeader];
        foot = whole->groups[kSlotFooter];
    }
    int err = Res_ok;
    if (background) {
        int32_t bottom = 0;
        err = layOut(box, pageStyle, background, 0, 0, &bottom);
    }
    if (!err && head)
        err = header(box, pageStyle, head, headerHeight);
    if (!err && foot)
        err = footer(box, pageStyle, foot, footerHeight);
    return err;
}

int PageDecor_reserve(LayoutBox *box, Edr_Style *pageStyle, int32_t head, int32_t foot)
{
    auto room = [pageStyle](uint32_t id, int32_t height) {
        int32_t margin = 0;
        if (!pageStyle || !Edr_Style_getLength(pageStyle, id, &margin))
            return height;
        if (margin < 0)
            return margin == INT32_MIN ? INT32_MAX : -margin;
        return margin > height ? margin : height;
    };
    int32_t top = room(PropId_marginTop, head);
    int32_t bottom = room(PropId_marginBottom, foot);
    int err = Res_ok;
    if (top > 0 && box->items) {
        Rect above{INT32_MIN, sat(int64_t(box->pageRect[3]) - top), INT32_MAX, INT32_MAX};
        err = FloatArea_occupy(box->items, &above);
        if (err) {
            if (box->section)
                box->section->decorWord = sat(int64_t(boxHeight(box)) - top - foot);
            return err;
        }
    }
    if (bottom > 0 && box->items) {
        Rect below{INT32_MIN, INT32_MIN, INT32_MAX, sat(int64_t(box->pageRect[1]) + bottom)};
        err = FloatArea_occupy(box->items, &below);
    }
    if (box->section)
        box->section->decorWord = sat(int64_t(boxHeight(box)) - top - bottom);
    return err;
}

void PageDecor_noteStories(LayoutBox *box, const Edr_Style *style)
{
    SectionRec *rec = box->section;
    // The page's own header and footer, while they are laid out, change
    // nothing.
    if (!rec || !rec->paged || !style || rec->decorPageNumber > 0)
        return;
    int32_t ids[6] = {};
    bool any = false;
    for (uint32_t i = 0; i < 6; i++)
        any = Edr_Style_getKeyword(style, kPropHeader + i, &ids[i]) || any;
    if (!any)
        return;
    std::memcpy(rec->decorIds, ids, sizeof(ids));
    rec->decorOverride = 1;
}

int PageDecor_place(LayoutBox *box)
{
    if (!box->section || !box->document)
        return Res_ok;
    Edr_Style *pageStyle = box->section->style;
    int32_t p = box->section->pageNumber + 1;
    uint32_t pick = p == 1 ? 0 : (p % 2 == 0 ? 1 : 2);
    int32_t wholeId = 0, headId = 0, footId = 0;
    bool whole = pageStyle && Edr_Style_getKeyword(pageStyle, kPropWhole + pick, &wholeId);
    if (!whole && box->section->decorOverride) {
        headId = box->section->decorIds[pick];
        footId = box->section->decorIds[3 + pick];
    } else if (!whole && pageStyle) {
        (void)Edr_Style_getKeyword(pageStyle, kPropHeader + pick, &headId);
        (void)Edr_Style_getKeyword(pageStyle, kPropFooter + pick, &footId);
    }
    const Edr_KeyedGroup *found = nullptr;
    Edr_Node *head = nullptr, *foot = nullptr;
    for (const Edr_KeyedGroup *e = box->document->keyedGroups; e; e = e->next) {
        if (whole) {
            if (e->key == wholeId) {
                found = e;
                break;
            }
            continue;
        }
        if (headId && e->key == headId && !head)
            head = e->groups[kSlotHeader];
        if (footId && e->key == footId && !foot)
            foot = e->groups[kSlotFooter];
    }
    // Content laid out here never moves to another page.
    auto savedOverflow = box->overflow;
    box->overflow = Layout_noRegion;
    int32_t h = 0, f = 0;
    int err = Res_ok;
    if (found || head || foot) {
        box->section->decorPageNumber = int32_t(box->section->firstPageIndex) + p;
        err = PageDecor_layoutGroups(box, pageStyle, found, head, foot, &h, &f);
        box->section->decorPageNumber = 0;
    }
    box->overflow = savedOverflow;
    if (!err && box->section->paged)
        err = PageDecor_reserve(box, pageStyle, h, f);
    return err;
}
