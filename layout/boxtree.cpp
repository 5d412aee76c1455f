// The layout box tree: every group under the document's root is a section
// laid out into a root box whose page boxes each own a page record, a
// display-item list and a float area. Finished pages are published to the
// document's page list in order; pages of a section that a new pass no
// longer makes are removed.
#include <algorithm>
#include <cstring>

#include "core/container/intern.h"
#include "layout/layerlist.h"
#include "core/container/obj.h"
#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/task/task.h"
#include "document/edr/doc.h"
#include "document/manager/manager.h"
#include "document/edr/docmsg.h"
#include "document/edr/node.h"
#include "document/edr/page.h"
#include "layout/sections.h"
#include "document/style/lookup.h"
#include "document/style/style.h"
#include "document/style/styleread.h"
#include "layout/bytesrc.h"
#include "layout/boxiter.h"
#include "layout/floatarea.h"
#include "layout/block.h"
#include "document/edr/webops.h"
#include "layout/layout.h"
#include "layout/line.h"
#include "layout/listmarker.h"
#include "layout/replaced.h"
#include "document/edr/areareport.h"
#include "document/edr/viewops.h"

namespace {

// Document types laid out as one unbounded page per section, whose pages
// are not marked stale before a pass.
constexpr uint32_t kUnpagedTypes[] = {178, 227};
// The web page type, whose root element's or body's background covers
// the whole page.
constexpr uint32_t kWebPageType = 227;
// Document types whose pages carry anchored drawing objects.
constexpr uint32_t kAnchoredTypes[] = {226, 228, 230, 231, 232, 233};
constexpr uint32_t kFlowModePageless = 3;
// The feature flag that lets a document be laid out in a flow mode.
constexpr uint32_t kFeatureFlow = 1;
// The style flag of a section laid out in a flow mode.
constexpr uint16_t kStyleFlowLayout = 1;

bool unpagedType(uint32_t type)
{
    for (uint32_t t : kUnpagedTypes)
        if (t == type)
            return true;
    return false;
}

bool anchoredType(uint32_t type)
{
    for (uint32_t t : kAnchoredTypes)
        if (t == type)
            return true;
    return false;
}

void post(Edr_Doc *doc, int32_t code)
{
    EngineContext *app = doc ? doc->app : nullptr;
    if (!app || !app->eventProc)
        return;
    EventProcCodeMsg m{code, doc, nullptr, 0};
    // A notice that cannot be posted is lost; what it reports is done either way.
    (void)EventProc_postCode(app->eventProc, &m);
}

// The no-region answer of unbounded sections.
int noRegion(LayoutBox **, int *moved)
{
    *moved = 0;
    return Res_ok;
}

// The page record's background: the section's background-color, white
// when it has none or it is transparent.
void backgroundOf(const Edr_Style *style, uint8_t out[4])
{
    out[0] = out[1] = out[2] = out[3] = 0xFF;
    Edr_StylePayload p{};
    if (style && Edr_Style_get(style, PropId_backgroundColor, &p) == PropType_colour) {
        uint32_t c = uint32_t(p.word);
        if (c >> 24) {
            for (int i = 0; i < 4; i++)
                out[i] = uint8_t(c >> (8 * i));
        }
    }
}

// Frees what a page box holds that was not handed to the page list.
void freePageParts(LayoutBox *page)
{
    if (page->pageRecord) {
        Edr_Page_freeRecords(page->pageRecord);
        page->pageRecord = nullptr;
    }
    FloatArea_destroy(page->items);
    page->items = nullptr;
    if (page->layers) {
        LayerList_freeItems(page->layers);
        LayerList_destroy(page->layers);
        page->layers = nullptr;
    }
    if (page->backLayers) {
        LayerList_freeItems(page->backLayers);
        LayerList_destroy(page->backLayers);
        page->backLayers = nullptr;
    }
    Mem_free(page->section);
    page->section = nullptr;
    Edr_Web_freeSources(nullptr, page->sources);
    page->sources = nullptr;
}

void uniteBounds(int32_t b[4], const Rect &r)
{
    if (r.x0 > r.x1 || r.y0 > r.y1)
        return;
    b[0] = std::min(b[0], r.x0);
    b[1] = std::min(b[1], r.y0);
    b[2] = std::max(b[2], r.x1);
    b[3] = std::max(b[3], r.y1);
}

int32_t magnitude(int32_t v)
{
    return v == INT32_MIN ? INT32_MAX : (v < 0 ? -v : v);
}

void freeList(BoxList *list, int depth)
{
    if (!list)
        return;
    while (LayoutBox *b = list->first) {
        Box_unlinkChild(list, b);
        Box_freeTree(b, depth);
    }
    BoxList_free(list);
}

// Whether a style set names a background picture.
bool namesPicture(Edr_Style *style)
{
    Edr_StylePayload p{};
    return style && Edr_Style_get(style, PropId_backgroundImageRef, &p) == PropType_int &&
           p.word != 0;
}

// Whether the set gives a background colour that is not transparent.
bool namesColour(Edr_Style *style)
{
    Edr_StylePayload p{};
    return style && Edr_Style_get(style, PropId_backgroundColor, &p) == PropType_colour &&
           (uint32_t(p.word) >> 24) != 0;
}

// The set whose background covers the page: the first shown group at most
// depth levels below node (the document's root element, then its body)
// whose set names a picture, or with colours too a background colour.
// *out is held for the caller, null when no such group exists.
int findCanvasStyle(Edr_Doc *doc, Edr_Style *parent, Edr_Node *node, int depth, bool colours,
                    Edr_Style **out, Edr_Node **found = nullptr)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c && !*out; c = Edr_Node_nextSibling(c)) {
        if (Edr_Node_type(c) != Edr_NodeType_group)
            continue;
        Edr_Style *style = nullptr;
        int err = Edr_Style_computeForNode(doc, &style, parent, c);
        if (err)
            return err;
        if (Edr_Style_get(style, PropId_display, nullptr) != KwId_none) {
            if (namesPicture(style) || (colours && namesColour(style))) {
                *out = style;
                if (found)
                    *found = c;
                return Res_ok;
            }
            if (depth > 1)
                err = findCanvasStyle(doc, style, c, depth - 1, colours, out, found);
        }
        Edr_Style_release(style);
        if (err)
            return err;
    }
    return Res_ok;
}

} // namespace

BoxList *BoxList_create(LayoutBox *first)
{
    BoxList *list = static_cast<BoxList *>(Mem_calloc(1, sizeof(BoxList)));
    if (list && first)
        BoxList_append(list, first);
    return list;
}

void BoxList_append(BoxList *list, LayoutBox *box)
{
    box->prev = list->last;
    box->next = nullptr;
    if (list->last)
        list->last->next = box;
    else
        list->first = box;
    list->last = box;
}

void Box_unlinkChild(BoxList *list, LayoutBox *box)
{
    if (box->prev)
        box->prev->next = box->next;
    else if (list->first == box)
        list->first = box->next;
    if (box->next)
        box->next->prev = box->prev;
    else if (list->last == box)
        list->last = box->prev;
    box->prev = box->next = nullptr;
}

void BoxList_free(BoxList *list)
{
    Mem_free(list);
}

void Box_freeTree(LayoutBox *box, int depth)
{
    if (!box)
        return;
    // Boxes below the depth limit stay linked to nothing and are left to
    // their own owners; a page box's children are its nested boxes.
    if (box->children && depth > 0) {
        freeList(box->children, depth - 1);
        box->children = nullptr;
    }
    freePageParts(box);
    Box_free(box);
}

void BoxList_freeAll(BoxList *list)
{
    freeList(list, 0);
}

int BoxList_finishAll(BoxList *list)
{
    int err = Res_ok;
    for (LayoutBox *b = list ? list->first : nullptr; b; b = b->next) {
        if (!b->finish)
            continue;
        LayoutBox *p = b;
        int e = b->finish(&p, Res_ok);
        if (!err)
            err = e;
    }
    return err;
}

int Box_addChild(LayoutBox *parent, LayoutBox **out, const LayoutBox *templ)
{
    *out = nullptr;
    LayoutBox *box = static_cast<LayoutBox *>(Mem_malloc(sizeof(LayoutBox)));
    if (!box)
        return Res_noMemory;
    if (!parent->children) {
        parent->children = BoxList_create(nullptr);
        if (!parent->children) {
            Mem_free(box);
            return Res_noMemory;
        }
    }
    *box = *templ;
    // The template's own children stay its own: a copy sharing the list
    // would free it twice.
    box->children = nullptr;
    if (box->shared)
        box->shared->refCount++;
    BoxList_append(parent->children, box);
    *out = box;
    return Res_ok;
}

int Layout_newPageBox(LayoutBox *sectionBox, LayoutBox **out, const SectionRec *rec)
{
    *out = nullptr;
    EngineContext *app = sectionBox->context;
    if (app && Task_hasCurrent(app) && Task_checkStop(app))
        return Res_stopRequested;
    Rect area = {sectionBox->pageRect[0], sectionBox->pageRect[1], sectionBox->pageRect[2],
                 sectionBox->pageRect[3]};
    FloatArea *items = nullptr;
    int err = FloatArea_create(&area, &items);
    if (err)
        return err;
    Edr_PageRec *record = static_cast<Edr_PageRec *>(Mem_calloc(1, sizeof(Edr_PageRec)));
    LayerList *layers = LayerList_create();
    SectionRec *copy = static_cast<SectionRec *>(Mem_malloc(sizeof(SectionRec)));
    MimeSrcList *sources = nullptr;
    LayoutBox *page = nullptr;
    err = record && layers && copy ? Res_ok : Res_noMemory;
    if (!err && sectionBox->flowMode == kFlowModePageless) {
        ByteSrcList *list = nullptr;
        err = ByteSrcList_create(app, sectionBox->pageRect[2] - sectionBox->pageRect[0], &list);
        sources = list ? &list->base : nullptr;
    }
    if (!err)
        err = Box_addChild(sectionBox, &page, sectionBox);
    if (err) {
        FloatArea_destroy(items);
        Mem_free(record);
        if (layers)
            LayerList_destroy(layers);
        Mem_free(copy);
        Edr_Web_freeSources(app, sources);
        return err;
    }
    record->doc = sectionBox->document;
    record->words1[0] = rec->index;
    record->words1[1] = rec->pageNumber;
    std::memcpy(record->bounds, sectionBox->pageRect, sizeof(record->bounds));
    backgroundOf(namesColour(rec->canvasStyle) ? rec->canvasStyle : rec->style, record->background);
    *copy = *rec;
    copy->owner = page;
    page->items = items;
    page->pageRecord = record;
    page->layers = layers;
    page->backLayers = nullptr;
    page->sources = sources;
    page->section = copy;
    page->parent = sectionBox;
    page->children = nullptr;
    page->counters = sectionBox->counters;
    page->bounds[0] = page->bounds[1] = INT32_MAX;
    page->bounds[2] = page->bounds[3] = INT32_MIN;
    page->overflow = copy->paged ? Layout_nextPage : noRegion;
    page->finish = Layout_finishPage;
    *out = page;
    return Res_ok;
}

int Layout_nextPage(LayoutBox **box, int *moved)
{
    *moved = 0;
    LayoutBox *old = *box;
    LayoutBox *next = old->next;
    int err = Res_ok;
    if (!next) {
        SectionRec rec = *old->section;
        rec.pageNumber++;
        err = Layout_newPageBox(old->parent, &next, &rec);
        if (!err && next->flowMode != 3) {
            err = PageDecor_place(next);
            FloatArea_setFlag(next->items, 1);
        }
        if (!err && old->items) {
            int32_t l, r, t, b;
            FloatArea_margins(old->items, &l, &r, &t, &b);
            FloatArea_setBand(next->items, l, r, 0, b);
        }
        if (err)
            return err;
    }
    if (old->section->holdCount <= 0)
        err = Layout_finishPage(&old, Res_ok);
    if (err)
        return err;
    next->block = (*box)->block;
    next->availableWidth = (*box)->availableWidth;
    *box = next;
    *moved = 1;
    return Res_ok;
}

void Layout_holdPage(LayoutBox *box)
{
    if (box && box->section)
        box->section->holdCount++;
}

int Layout_finishPage(LayoutBox **boxRef, int previousError)
{
    LayoutBox *box = boxRef ? *boxRef : nullptr;
    if (!box || !box->layers)
        return Res_ok;
    Edr_Doc *doc = box->document;
    int err = BoxList_finishAll(box->children);
    if (!err && box->backLayers) {
        err = LayerList_merge(box->layers, box->backLayers);
        if (!err) {
            LayerList_destroy(box->backLayers);
            box->backLayers = nullptr;
        }
    }
    if (!err)
        LayerList_setFixed(box->layers, 0);
    Edr_PageRec *record = box->pageRecord;
    if (!err && record && record->bounds[0] < record->bounds[2] &&
        record->bounds[1] < record->bounds[3] && box->section) {
        // The page's own border and background item, behind everything.
        Rect content = {record->bounds[0], record->bounds[1], record->bounds[2], record->bounds[3]};
        const int32_t none[4] = {0, 0, 0, 0};
        ObjHeader *item = nullptr;
        Rect extent{};
        LayerList_selectFirst(box->layers);
        Edr_Style *pageStyle = box->section->style;
        if (Edr_Style *body = box->section->bodyStyle; body && !err) {
            // The body's box, in front of the root element's background:
            // the page less the margins its content was laid out within
            // (the page ends with its content: no margin below).
            auto clamp = [](int64_t v) {
                return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
            };
            Edr_Edges m{};
            Edr_Style_getEdges(box->section->style, &m, nullptr, nullptr,
                               clamp(int64_t(content.x1) - content.x0));
            Rect inner{clamp(int64_t(content.x0) + m.left), content.y0,
                       clamp(int64_t(content.x1) - m.right), clamp(int64_t(content.y1) - m.top)};
            ObjHeader *bodyItem = nullptr;
            Rect bodyExtent{};
            if (inner.x0 < inner.x1 && inner.y0 < inner.y1)
                err = Layout_makeBoxItem(box, nullptr, &bodyItem, &bodyExtent, body, &inner, none,
                                         none, 1, 0);
            if (!err && bodyItem)
                LayerList_prepend(box->layers, bodyItem);
        }
        if (Edr_Style *canvas = box->section->canvasStyle) {
            // The root element's or body's picture is tiled over the whole
            // page, in front of the page's own background colour; its
            // colour, when it gives one, is the page's.
            Edr_StylePayload p{};
            if (namesColour(canvas)) {
                // The page's item draws both.
                pageStyle = canvas;
            } else {
                (void)Edr_Style_get(canvas, PropId_backgroundImageRef, &p);
                BoxBackground *image = nullptr;
                err = BoxBackground_create(canvas, int32_t(p.word), &content, &image);
                if (!err)
                    err = BoxBackground_addItem(box, image, 0);
                BoxBackground_free(image);
            }
        }
        if (!err)
            err = Layout_makeBoxItem(box, nullptr, &item, &extent, pageStyle, &content, none, none,
                                     1, 0);
        if (!err && item) {
            LayerList_prepend(box->layers, item);
            uniteBounds(box->bounds, extent);
        }
    }
    // A page without pages closes its last section page and runs the
    // section jobs its blocks queued before its section list goes.
    if (!err && box->flowMode == kFlowModePageless)
        err = Edr_Sect_finishPage(box);
    if (!err && record && (doc->markFlag || LayerList_hasItems(box->layers))) {
        ObjHeader *items = nullptr;
        err = LayerList_takeItems(box->layers, &items);
        if (!err)
            record->objects = items;
    }
    if (!err && record && box->flowMode == kFlowModePageless && box->sources) {
        Edr_Page_setSources(record, box->sources);
        box->sources = nullptr;
    }
    if (!err && record) {
        // What the view is told changed: the page, or everything for the
        // page of a section laid out without pages.
        ViewChangeReport report{doc, box->section->index, box->section->pageNumber, {}};
        const Rect *changed = box->flowMode == kFlowModePageless ? Rect_getInfinite() : nullptr;
        if (changed) {
            const int32_t r[4] = {changed->x0, changed->y0, changed->x1, changed->y1};
            std::memcpy(report.rect, r, sizeof(report.rect));
        } else {
            std::memcpy(report.rect, record->bounds, sizeof(report.rect));
        }
        Edr_Sect_unlockAll(doc);
        err = Edr_Page_publishLayout(doc, box->section->index, uint32_t(box->section->pageNumber),
                                     box->flowMode, record, previousError, int(box->noContent));
        // The first page of a frame's page is what its parent shows in the
        // frame's box: the parent lays out and draws again with it, also
        // when the frame finished after the parent's own pass (asked before
        // the sections are locked again).
        if (!err && box->section->index == 0 && box->section->pageNumber == 0 &&
            Edr_Doc_getTypeCode(doc) == kWebPageType)
            Edr_Doc_nudgeParent(doc);
        int relock = Edr_Sect_lockAll(doc, nullptr);
        if (!err) {
            box->pageRecord = nullptr;
            // Pages published once the document has started showing are
            // reported to its view; a failed report leaves the page
            // published, and the view catches up at its next full redraw.
            // A document built page by page shows its built page alone:
            // the others are placeholders (emptied, or never built), and a
            // document of thousands of them would wake the display for
            // each.
            bool placeholder = Edr_Doc_isPageOnDemand(doc) &&
                               (box->noContent ||
                                uint32_t(box->section->index) != Edr_Doc_getSelectedRootChild(doc));
            if (Edr_Doc_getStartFlag(doc) && !placeholder)
                (void)View_invalidateRect(&report, box->noContent ? 0 : 1, 0);
        }
        if (!err)
            err = relock;
    }
    freePageParts(box);
    return err;
}

int Layout_nestedBlock(LayoutBox **box, Edr_Node *node, Edr_Style *style)
{
    Edr_Doc *doc = (*box)->document;
    if (Edr_Style_stackLeft(doc) <= Layout_nestedStackMargin) {
        // Too deep to descend: the block's content is reported missing and
        // the pass goes on with what it has.
        post(doc, DocMsg_codeStackExhausted);
        return Res_stackExhausted;
    }
    BoxIter *iter = nullptr;
    int err = BoxIter_create(&iter, *box, node, style, 0);
    if (err)
        return err;
    ListCounter counter{};
    bool resets = ((*box)->stateFlags & BoxState_resetsCounter) != 0;
    if (resets) {
        if (ListCounter_value(*box) != 0)
            (*box)->block.edgeMask = 12;
        ListCounter_push(&counter, *box);
        // A list that gives its first number counts on from the one
        // before it.
        int32_t first = 0;
        if (Edr_Web_listOrdinal(nullptr, (*box)->document, node, &first))
            counter.count = first > INT32_MIN ? first - 1 : first;
    }
    err = Layout_buildBlock(box, node, iter, style, nullptr);
    if (resets)
        ListCounter_pop(*box);
    BoxIter_free(iter);
    return err;
}

namespace {

// Layout_section with the section's style given (a reference of the
// caller's is taken) or computed (given null); *computed, when asked,
// receives a reference to the style used.
int boxtreeSection(Edr_Doc *doc, int32_t sectionIndex, uint32_t paged, Edr_Style *parentStyle,
                   Edr_Node *sectionNode, Edr_Style *given, Edr_Style **computed)
{
    LayoutBox *root = Box_create(doc);
    SectionRec *rec = static_cast<SectionRec *>(Mem_calloc(1, sizeof(SectionRec)));
    if (!root || !rec) {
        Box_free(root);
        Mem_free(rec);
        return Res_noMemory;
    }
    root->styleContext = Edr_StyleCtx_get(doc);
    Edr_Style *style = Edr_Style_retain(given);
    int err = given ? int(Res_ok) : Edr_Style_computeForNode(doc, &style, parentStyle, sectionNode);
    if (!err && computed)
        *computed = Edr_Style_retain(style);
    if (!err && Edr_Style_get(style, PropId_display, nullptr) == KwId_none) {
        Edr_Style_release(style);
        Mem_free(rec);
        Box_free(root);
        return Res_ok;
    }
    // Without a picture of its own the section shows the one its root
    // element or body names across the page.
    if (!err && !namesPicture(style)) {
        bool colours = Edr_Doc_getTypeCode(doc) == kWebPageType;
        Edr_Node *canvasNode = nullptr;
        err = findCanvasStyle(doc, style, sectionNode, 2, colours, &rec->canvasStyle, &canvasNode);
        // When the root element paints the page, a coloured body paints
        // its own box over it.
        if (!err && colours && canvasNode && canvasNode->parentNode == sectionNode)
            err = findCanvasStyle(doc, rec->canvasStyle, canvasNode, 1, true, &rec->bodyStyle);
        if (err) {
            Edr_Style_release(style);
            if (rec->canvasStyle)
                Edr_Style_release(rec->canvasStyle);
            if (rec->bodyStyle)
                Edr_Style_release(rec->bodyStyle);
        }
    }
    if (err) {
        Mem_free(rec);
        Box_free(root);
        return err;
    }
    // The section's own list counter, at 0.
    ListCounter sectionCounter{};
    ListCounter_push(&sectionCounter, root);

    // Flow mode: the engine's view mode, for documents that allow it.
    bool marking = Edr_Doc_getMarkFlag(doc) != 0;
    uint32_t mode = 0;
    int32_t flowWidth = 0;
    Edr_View_viewMode(doc->app, &mode, &flowWidth);
    if (!marking && mode != 0 && flowWidth > 0 && Edr_Doc_testFlags(doc, kFeatureFlow)) {
        root->flowMode = mode;
        Edr_Style_setFlags(style, kStyleFlowLayout);
    } else {
        flowWidth = 0;
    }
    root->nestedBlock = Layout_nestedBlock;
    if (!marking && root->flowMode == 0 && anchoredType(Edr_Doc_getTypeCode(doc)))
        root->positioned = Layout_positionedObjects;
    root->flowOrAnchored = root->flowMode != 0 || root->positioned ? 1 : 0;

    // Width: a negative width is fixed, replaced by the flow width only
    // when that is smaller.
    int32_t width = Layout_defaultPageWidth;
    bool fixedWidth = false;
    int32_t length = 0;
    if (Edr_Style_getLength(style, PropId_width, &length) && length != 0) {
        width = magnitude(length);
        fixedWidth = length < 0;
    }
    if (flowWidth > 0 && (!fixedWidth || flowWidth < width))
        width = flowWidth;
    // Height: a negative height in normal flow is exact.
    int32_t bottom = Layout_unset;
    int32_t height = 0;
    bool hasHeight = Edr_Style_getLength(style, PropId_height, &length) && length != 0;
    bool exactHeight = false;
    if (hasHeight) {
        height = magnitude(length);
        exactHeight = length < 0 && root->flowMode == 0;
    }
    bool pageless = root->flowMode == kFlowModePageless;
    if (hasHeight && paged && !pageless)
        bottom = -height;
    bool unbounded = bottom == Layout_unset;
    root->pageRect[0] = 0;
    root->pageRect[1] = bottom;
    root->pageRect[2] = width;
    root->pageRect[3] = 0;
    std::memcpy(root->avail, root->pageRect, sizeof(root->avail));
    root->availableWidth = width;
    root->block.contentRight = width;
    root->noContent = (sectionNode->flags & Edr_Node_droppedBit) ? 1 : 0;
    root->rtl = Edr_Style_get(style, PropId_direction, nullptr) == KwId_rtl ? 1 : 0;
    root->overflow = !unbounded ? Layout_nextPage : noRegion;
    Edr_Sect_prepareBox(root);
    root->section = rec;
    rec->style = style;
    rec->index = sectionIndex;
    rec->firstPageIndex = sectionIndex == 0 ? 0 : Edr_Page_indexOfKey(doc, sectionIndex);
    rec->paged = unbounded ? 0 : 1;

    LayoutBox *page = nullptr;
    err = Layout_newPageBox(root, &page, rec);
    if (!err && !pageless) {
        err = PageDecor_place(page);
        FloatArea_setFlag(page->items, 1);
    }
    // A later section that starts on a left (even) or right (odd) page
    // leaves a blank page first when its first page would be of the other
    // kind (pages are numbered from 1, so index 0 is a right page).
    if (!err && !pageless && rec->paged && sectionIndex > 0) {
        uint32_t start = Edr_Style_get(style, PropId_pageBreakBefore, nullptr);
        bool right = rec->firstPageIndex % 2 == 0;
        if ((start == KwId_right && !right) || (start == KwId_left && right)) {
            int moved = 0;
            err = Layout_nextPage(&page, &moved);
        }
    }
    LayoutBox *current = page;
    LineCounter lines{};
    int32_t indent = root->flowMode ? width / 128 : 0;
    if (!err && !root->noContent)
        err = Layout_layoutBlock(&current, sectionNode, style, indent, indent, &lines,
                                 rec->paged ? 12 : 0);
    if (!err && unbounded) {
        // The page takes its size from its content: wider content widens a
        // page of free width in normal flow; an exact height is kept, a
        // shorter page grows to its height and its min-height, and an empty
        // page without a height gets the default one.
        LayoutBox *last = root->children->last;
        int32_t right = width;
        if (root->flowMode == 0 && !fixedWidth) {
            if (last->bounds[0] <= last->bounds[2])
                right = std::max(right, last->bounds[2]);
            right = std::max(right, last->maxX);
        }
        int32_t low = 0;
        if (last->bounds[1] <= last->bounds[3]) {
            int64_t b = int64_t(last->bounds[1]) - last->block.margin[1];
            low = int32_t(std::clamp<int64_t>(std::min<int64_t>(low, b), INT32_MIN + 1, 0));
        }
        if (last->minY < low)
            low = last->minY;
        if (exactHeight)
            low = -height;
        else if (hasHeight && -int64_t(height) < low)
            low = -height;
        if (low == 0 && !hasHeight)
            low = -Layout_defaultPageHeight;
        int32_t minHeight = 0;
        if (Edr_Style_getLength(style, PropId_minHeight, &minHeight) && minHeight > 0 &&
            -int64_t(minHeight) < low)
            low = -minHeight;
        for (LayoutBox *b = root->children->first; b; b = b->next)
            if (b->pageRecord) {
                b->pageRecord->bounds[1] = low;
                b->pageRecord->bounds[2] = right;
            }
    }
    // Cleanup: every page not yet finished is finished (published) now.
    ListCounter_pop(root);
    if (root->children) {
        for (LayoutBox *b = root->children->first; b; b = b->next) {
            LayoutBox *p = b;
            int e = Layout_finishPage(&p, err);
            if (!err)
                err = e;
        }
        BoxList_freeAll(root->children);
        root->children = nullptr;
    }
    Edr_Style_release(style);
    if (rec->canvasStyle)
        Edr_Style_release(rec->canvasStyle);
    if (rec->bodyStyle)
        Edr_Style_release(rec->bodyStyle);
    Mem_free(rec);
    Box_free(root);
    return err;
}

} // namespace

int Layout_section(Edr_Doc *doc, int32_t sectionIndex, uint32_t paged, Edr_Style *parentStyle,
                   Edr_Node *sectionNode)
{
    return boxtreeSection(doc, sectionIndex, paged, parentStyle, sectionNode, nullptr, nullptr);
}

// A node whose look changed in place while keeping its size (a later
// frame of an animated picture, more of a picture decoded) is shown again by
// redrawing the area of its display items on the shown pages: its items
// draw what the node holds now. A change that moves things (a picture that
// arrived) is laid out again by its owner instead. A node no view shows
// has nothing to redraw.
int Layout_redrawNode(EngineContext *app, Edr_Doc *doc, Edr_Node *node)
{
    if (!doc || !node)
        return Res_nullInput;
    int r = Edr_View_redrawNode(app ? app : doc->app, doc, node);
    return r == 1 ? Res_ok : r;
}

namespace {

// One layout pass over the document's sections.
int boxtreeLayOutPass(Edr_Doc *doc)
{
    if (LayoutCache *cache = static_cast<LayoutCache *>(Edr_Page_listHead2(doc)))
        FontCache_clearUsed(cache->fonts);
    int changed = 0;
    int err = Edr_Sect_lockAll(doc, &changed);
    if (err)
        return err;
    Edr_Style *rootStyle = nullptr;
    err = Edr_Style_computeForNode(doc, &rootStyle, nullptr, doc->root);
    if (err) {
        Edr_Sect_unlockAll(doc);
        return err;
    }
    uint32_t type = Edr_Doc_getTypeCode(doc);
    bool paged = !unpagedType(type);
    int32_t index = 0;
    // A document built page by page holds thousands of empty placeholder
    // pages in a row: from the third of a run of alike empty groups on,
    // each takes the style computed for the one before instead of
    // computing (and freeing) its own.
    bool reuse = Edr_Doc_isPageOnDemand(doc);
    Edr_Node *alike = nullptr;
    Edr_Style *alikeStyle = nullptr;
    uint32_t run = 0;
    for (Edr_Node *n = Edr_Node_firstChild(doc->root); n && !err; n = Edr_Node_nextSibling(n)) {
        uint32_t nodeType = Edr_Node_type(n);
        if (nodeType == Edr_NodeType_data) {
            err = Edr_Style_setValue(rootStyle, static_cast<const Prop *>(Edr_Node_payload(n)));
            Edr_Style_release(alikeStyle);
            alikeStyle = nullptr;
            alike = nullptr;
            continue;
        }
        if (nodeType != Edr_NodeType_group)
            continue;
        int32_t sectionIndex = index++;
        bool layOut = (n->flags & Edr_Node_changedBit) || (changed && !doc->pageOnDemand);
        if (!layOut)
            continue;
        if (paged) {
            Edr_Sect_unlockAll(doc);
            err = Edr_Page_markKey(doc, sectionIndex);
            int relock = Edr_Sect_lockAll(doc, nullptr);
            if (!err)
                err = relock;
            if (err)
                break;
        }
        bool same = reuse && alike && Edr_Style_sameEmptyGroups(alike, n);
        run = same ? run + 1 : 0;
        Edr_Style *computed = nullptr;
        err = boxtreeSection(doc, sectionIndex, paged ? 1 : 0, rootStyle, n,
                             run >= 2 ? alikeStyle : nullptr,
                             run >= 2 || !reuse ? nullptr : &computed);
        if (computed) {
            Edr_Style_release(alikeStyle);
            alikeStyle = computed;
        }
        alike = n;
        if (paged) {
            Edr_Sect_unlockAll(doc);
            int purged = Edr_Page_purgeStale(doc);
            int relock = Edr_Sect_lockAll(doc, nullptr);
            if (!err)
                err = purged ? purged : relock;
        }
        if (Edr_Doc_getStopFlag(doc))
            break;
    }
    Edr_Style_release(alikeStyle);
    Edr_Style_release(rootStyle);
    // Text formats no display item uses any more go.
    if (LayoutCache *cache = static_cast<LayoutCache *>(Edr_Page_listHead2(doc)))
        InternList_purge(&cache->textStyles);
    Edr_Sect_unlockAll(doc);
    return err;
}

} // namespace

// A document built page by page publishes a page for every one of its
// pages, thousands of them for a long text: the viewer hears of the new
// pages once, at the end of the pass.
int Layout_document(Edr_Doc *doc)
{
    if (!Edr_Doc_isPageOnDemand(doc))
        return boxtreeLayOutPass(doc);
    int err = Edr_Page_holdNotices(doc);
    if (err)
        return err;
    err = boxtreeLayOutPass(doc);
    int released = Edr_Page_releaseNotices(doc);
    return err ? err : released;
}
