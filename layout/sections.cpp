// Sections of a document laid out without pages. The page box of such a
// section carries a section list; each nested block closes the section page
// being filled (its items moved up so that the page's bottom edge lies at
// 0 and handed to a page record of their own), is queued as a job, and a
// new section page is opened. Jobs run when the page is finished, each
// laying its block out into section pages that follow the job in the list.
#include "layout/sections.h"

#include <cstring>

#include "layout/layerlist.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "document/edr/doc.h"
#include "document/edr/page.h"
#include "document/style/style.h"
#include "document/style/styleread.h"
#include "graphics/boxitem.h"
#include "layout/bytesrc.h"
#include "layout/floatarea.h"
#include "layout/layout.h"
#include "layout/rectcollector.h"
#include "layout/replaced.h"

namespace {

constexpr uint32_t kSectionFlowModePageless = 3;
constexpr uint32_t kBackgroundPalette = 17;
constexpr int32_t kBackgroundRise = 1000;

const Rect kEmpty = {INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN};

ByteSrcList *listOf(const LayoutBox *box)
{
    return box && box->sources ? ByteSrcList_of(box->sources) : nullptr;
}

// The entry at the list's current position when it is a section page.
SectionPage *currentPage(ByteSrcList *list)
{
    ByteSrcEntry *e = list ? ByteSrcList_entry(list, list->position) : nullptr;
    return e && e->kind == ByteSrc_page ? static_cast<SectionPage *>(e->src.data) : nullptr;
}

uint32_t colourWord(const uint8_t c[4])
{
    return uint32_t(c[0]) | uint32_t(c[1]) << 8 | uint32_t(c[2]) << 16 | uint32_t(c[3]) << 24;
}

// The background style of a job laying out style's block: its own when it
// has a background picture or colour, else the list's default, else none.
Edr_Style *backgroundFor(Edr_Style *style, ByteSrcList *list)
{
    Edr_StylePayload p{};
    uint8_t colour[4] = {};
    Edr_Style_getWithFallback(style, PropId_backgroundColor, colour, kBackgroundPalette);
    if ((Edr_Style_get(style, PropId_backgroundImageRef, &p) == PropType_int && p.word != 0) ||
        colour[3] != 0)
        return style;
    return list ? list->info.style : nullptr;
}

// A box copy of templ for a job, owning nothing of templ's: no display
// lists, free area, children or section list.
int childBox(LayoutBox *templ, LayoutBox **out)
{
    bool hadList = templ->children != nullptr;
    int err = Box_addChild(templ, out, templ);
    if (err)
        return err;
    Box_unlinkChild(templ->children, *out);
    if (!hadList) {
        // The child list made for the copy is not the template's to keep.
        BoxList_free(templ->children);
        templ->children = nullptr;
    }
    LayoutBox *b = *out;
    b->layers = nullptr;
    b->backLayers = nullptr;
    b->items = nullptr;
    b->children = nullptr;
    b->sources = nullptr;
    return Res_ok;
}

} // namespace

void Edr_Sect_freeLists(LayoutBox *box)
{
    if (box->layers) {
        LayerList_freeItems(box->layers);
        LayerList_destroy(box->layers);
        box->layers = nullptr;
    }
    if (box->backLayers) {
        LayerList_freeItems(box->backLayers);
        LayerList_destroy(box->backLayers);
        box->backLayers = nullptr;
    }
    FloatArea_destroy(box->items);
    box->items = nullptr;
}

int Edr_Sect_begin(LayoutBox *box, int reinit)
{
    ByteSrcList *list = listOf(box);
    if (list && ByteSrcList_isOpen(list)) {
        SectionPage *page = static_cast<SectionPage *>(Mem_calloc(1, sizeof(SectionPage)));
        if (!page)
            return Res_noMemory;
        if (int err = Lock_init(box->context, &page->lock)) {
            Mem_free(page);
            return err;
        }
        page->box = kEmpty;
        page->owner = box;
        if (int err = ByteSrcList_insertPage(list, page, Edr_Sect_pageRef, Edr_Sect_pageExtent,
                                             Edr_Sect_destroyPage)) {
            Edr_Sect_destroyPage(page);
            return err;
        }
    }
    if (!reinit)
        return Res_ok;
    box->layers = LayerList_create();
    box->backLayers = nullptr;
    box->items = nullptr;
    if (!box->layers)
        return Res_noMemory;
    std::memcpy(box->bounds, &kEmpty, sizeof(box->bounds));
    box->flowMode = kSectionFlowModePageless;
    int32_t width = list ? ByteSrcList_width(list) : box->pageRect[2] - box->pageRect[0];
    box->avail[0] = width / 50;
    box->avail[2] = width - width / 50;
    box->avail[1] = Layout_unset;
    box->avail[3] = 0;
    Rect content = {box->avail[0], box->avail[1], box->avail[2], box->avail[3]};
    if (int err = FloatArea_create(&content, &box->items)) {
        Edr_Sect_freeLists(box);
        return err;
    }
    box->availableWidth = box->avail[2] - box->avail[0];
    box->block.contentLeft = 0;
    box->block.contentRight = box->availableWidth;
    return Res_ok;
}

int Edr_Sect_end(LayoutBox *box, int freeLists)
{
    if (!box->layers)
        return Res_ok;
    ByteSrcList *list = listOf(box);
    SectionPage *page = currentPage(list);
    int err = Res_ok;
    if (page) {
        if (box->backLayers) {
            err = LayerList_merge(box->layers, box->backLayers);
            if (!err) {
                LayerList_destroy(box->backLayers);
                box->backLayers = nullptr;
            }
        }
        if (!err)
            LayerList_setFixed(box->layers, 0);
        Lock_acquire(&page->lock);
        page->box = kEmpty;
        RectCollector collector{};
        if (!err)
            LayerList_collectRects(box->layers, &collector);
        Rect r = collector.bounds;
        if (!err && r.x0 < r.x1 && r.y0 < r.y1) {
            // The page's bottom edge goes to 0.
            LayerList_translate(box->layers, 0, -r.y1);
            page->box = {box->avail[0], int32_t(int64_t(r.y0) - r.y1), box->avail[2], 0};
            ByteSrcInfo *info = ByteSrcList_info(list);
            if (info && info->style)
                err = Edr_Sect_paintBackground(info->style, &page->box, box);
        }
        if (!err) {
            Edr_PageRecRef_release(page->holder);
            page->holder = nullptr;
            Edr_PageRec *record = static_cast<Edr_PageRec *>(Mem_calloc(1, sizeof(Edr_PageRec)));
            if (!record)
                err = Res_noMemory;
            if (record) {
                // The page template: the first fields of the box's page record.
                const Edr_PageRec *t = box->pageRecord;
                record->doc = t ? t->doc : box->document;
                if (t) {
                    record->words1[0] = t->words1[0];
                    record->words1[1] = t->words1[1];
                    std::memcpy(record->bounds, t->bounds, sizeof(record->bounds));
                    record->boundsTail = t->boundsTail;
                }
                err = Edr_PageRecRef_create(box->context, record, &page->holder);
                if (err)
                    Edr_Page_freeRecords(record);
            }
            if (!err) {
                ObjHeader *items = nullptr;
                err = LayerList_takeItems(box->layers, &items);
                page->holder->chain->objects = items;
            }
        }
        Lock_release(&page->lock);
    }
    if (freeLists)
        Edr_Sect_freeLists(box);
    return err;
}

int Edr_Sect_paintBackground(Edr_Style *style, const Rect *pageBox, LayoutBox *box)
{
    Edr_StylePayload p{};
    int32_t number = Edr_Style_get(style, PropId_backgroundImageRef, &p) == PropType_int
                         ? int32_t(uint32_t(p.word))
                         : 0;
    uint8_t colour[4] = {};
    Edr_Style_getWithFallback(style, PropId_backgroundColor, colour, kBackgroundPalette);
    if (number != 0) {
        // The picture is tiled over the page behind everything else.
        BoxBackground *image = nullptr;
        int err = BoxBackground_create(style, number, pageBox, &image);
        if (!err)
            err = BoxBackground_addItem(box, image, 0);
        BoxBackground_free(image);
        if (err)
            return err;
    }
    if (colour[3] == 0)
        return Res_ok;
    Rect r = {pageBox->x0, int32_t(int64_t(pageBox->y0) - kBackgroundRise), pageBox->x1,
              pageBox->y1};
    if (int64_t(pageBox->y0) - kBackgroundRise < INT32_MIN)
        r.y0 = INT32_MIN;
    ObjHeader *fill = BoxItem_create(&r);
    if (!fill)
        return Res_noMemory;
    BoxItem_part(fill)->background.colour = colourWord(colour);
    LayerList_selectKey(box->layers, 1);
    LayerList_prepend(box->layers, fill);
    return Res_ok;
}

SectionJob *Edr_Sect_newJob(LayoutBox *box, Edr_Style *style)
{
    SectionJob *job = static_cast<SectionJob *>(Mem_calloc(1, sizeof(SectionJob)));
    if (!job)
        return nullptr;
    if (childBox(box, &job->box)) {
        Mem_free(job);
        return nullptr;
    }
    job->style = Edr_Style_retain(style);
    job->background = Edr_Style_retain(backgroundFor(style, listOf(box)));
    return job;
}

void Edr_Sect_freeJob(void *record)
{
    SectionJob *job = static_cast<SectionJob *>(record);
    if (!job)
        return;
    Edr_Style_release(job->style);
    Edr_Style_release(job->background);
    Box_free(job->box);
    Mem_free(job);
}

int Edr_Sect_runJob(void *record, void *item, ByteSrcList *list)
{
    SectionJob *job = static_cast<SectionJob *>(record);
    LayoutBox *child = nullptr;
    if (int err = childBox(job->box, &child))
        return err;
    child->sources = &list->base;
    // The job's pages take the job's background.
    Edr_Style *savedInfo = list->info.style;
    list->info.style = job->background;
    int err = Edr_Sect_begin(child, 1);
    int layoutErr = err;
    if (!err) {
        // The style sheets stay locked by the layout pass that runs the job.
        LayoutBox *current = child;
        layoutErr = Layout_nestedBlock(&current, static_cast<Edr_Node *>(item), job->style);
        child = current;
        err = Edr_Sect_end(child, 1);
    }
    list->info.style = savedInfo;
    Edr_Sect_freeLists(child);
    child->sources = nullptr;
    Box_free(child);
    return layoutErr ? layoutErr : err;
}

int Edr_Sect_layoutBlock(LayoutBox **boxRef, Edr_Node *node, Edr_Style *style)
{
    LayoutBox *box = *boxRef;
    ByteSrcList *list = listOf(box);
    if (!list)
        return Layout_nestedBlock(boxRef, node, style);
    // The content before the first block becomes the list's first page.
    if (!currentPage(list))
        if (int err = Edr_Sect_begin(box, 0))
            return err;
    if (int err = Edr_Sect_end(box, 1))
        return err;
    ByteSrcList_advance(list);
    if (ByteSrcList_isOpen(list)) {
        SectionJob *job = Edr_Sect_newJob(box, style);
        if (!job)
            return Res_noMemory;
        if (int err = ByteSrcList_insertJob(list, job, node, Edr_Sect_runJob, Edr_Sect_freeJob)) {
            Edr_Sect_freeJob(job);
            return err;
        }
        ByteSrcList_advance(list);
    }
    return Edr_Sect_begin(box, 1);
}

int Edr_Sect_addSubdoc(LayoutBox *box, Edr_Node *node)
{
    ByteSrcList *list = listOf(box);
    const Edr_SubdocNode *payload =
        node && Edr_Node_type(node) == Edr_NodeType_subdoc ? Edr_Node_subdocPayload(node) : nullptr;
    if (!list || !payload)
        return Res_missingArgument;
    if (int err = Edr_Sect_end(box, 0))
        return err;
    ByteSrcList_advance(list);
    if (ByteSrcList_isOpen(list)) {
        SectionSubdoc *s = static_cast<SectionSubdoc *>(Mem_calloc(1, sizeof(SectionSubdoc)));
        if (!s)
            return Res_noMemory;
        s->payload = *payload;
        if (s->payload.child)
            Edr_Doc_addRef(s->payload.child);
        if (int err = ByteSrcList_insertSubdoc(list, s, node, Edr_Sect_openSubdocPage,
                                               Edr_Sect_closeSubdocPage, Edr_Sect_subdocPageRecord,
                                               Edr_Sect_freeSubdoc)) {
            Edr_Sect_freeSubdoc(s);
            return err;
        }
        ByteSrcList_advance(list);
    }
    return Edr_Sect_begin(box, 0);
}

int Edr_Sect_finishPage(LayoutBox *box)
{
    ByteSrcList *list = listOf(box);
    if (!list)
        return Res_ok;
    int err = Res_ok;
    SectionPage *page = currentPage(list);
    if (page && page->owner == box)
        err = Edr_Sect_end(box, 0);
    if (!err)
        err = ByteSrcList_runJobs(list);
    return err;
}

void Edr_Sect_prepareBox(LayoutBox *sectionBox)
{
    if (sectionBox->flowMode == kSectionFlowModePageless &&
        !Edr_Doc_getMarkFlag(sectionBox->document))
        sectionBox->nestedBlock = Edr_Sect_layoutBlock;
}

Edr_PageRecRef *Edr_Sect_pageRef(void *entry)
{
    SectionPage *page = static_cast<SectionPage *>(entry);
    Lock_acquire(&page->lock);
    Edr_PageRecRef *holder = page->holder;
    if (holder)
        Edr_PageRecRef_addRef(holder);
    Lock_release(&page->lock);
    return holder;
}

void Edr_Sect_pageExtent(void *entry, Rect *out)
{
    SectionPage *page = static_cast<SectionPage *>(entry);
    Lock_acquire(&page->lock);
    *out = page->box;
    Lock_release(&page->lock);
}

void Edr_Sect_destroyPage(void *entry)
{
    SectionPage *page = static_cast<SectionPage *>(entry);
    if (!page)
        return;
    Lock_fini(&page->lock);
    Edr_PageRecRef_release(page->holder);
    Mem_free(page);
}

// The display draws a sub-document's page from its page record, looked up
// by key each time the section is drawn, so a section list never has to
// hold the page open between draws: every page answers 0.
int32_t Layout_pageQuery(const ClipEntry *)
{
    return 0;
}

int Edr_Sect_openSubdocPage(void *entry)
{
    SectionSubdoc *s = static_cast<SectionSubdoc *>(entry);
    if (!s->payload.child || s->handle)
        return 0;
    Edr_PageEntry *handle = nullptr;
    if (Edr_Page_find(&handle, s->payload.child, int32_t(s->payload.pageKey),
                      uint32_t(s->payload.pageKind), 0))
        return 0;
    const Edr_PageRec *record = Edr_Page_deref(handle);
    int32_t answer = record && record->layout ? Layout_pageQuery(record->layout) : 0;
    if (answer == 0) {
        Edr_Page_release(handle, 0);
        return 0;
    }
    s->handle = handle;
    return answer;
}

void Edr_Sect_closeSubdocPage(void *entry)
{
    SectionSubdoc *s = static_cast<SectionSubdoc *>(entry);
    if (s->handle)
        Edr_Page_release(s->handle, 0);
    s->handle = nullptr;
}

void *Edr_Sect_subdocPageRecord(void *entry)
{
    SectionSubdoc *s = static_cast<SectionSubdoc *>(entry);
    return s->handle ? Edr_Page_deref(s->handle) : nullptr;
}

void Edr_Sect_freeSubdoc(void *entry)
{
    SectionSubdoc *s = static_cast<SectionSubdoc *>(entry);
    if (!s)
        return;
    Edr_Sect_closeSubdocPage(s);
    Edr_Doc_release(s->payload.child);
    Mem_free(s);
}
