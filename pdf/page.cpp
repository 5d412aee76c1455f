// The page tree and page loading: the descent to a page with its inherited
// attributes, the resource scope stack, the page size styles shared by
// pages of equal size, the "page-N" anchors and the page groups.
//
// The descent skips whole subtrees by their Count and is bounded in depth,
// so a Kids cycle or an absurdly deep tree ends with 5940 instead of
// exhausting the stack; the Parent walk of Pdf_Page_indexOf is bounded the
// same way.
#include "pdf/page.h"

#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "core/text/fmt.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "pdf/annot.h"
#include "pdf/document.h"
#include "pdf/interp.h"
#include "pdf/resources/pdfstream.h"
#include "platform/api/request.h"

// A page or a Pages node of the page index: its object's number and
// generation and the index of its Pages node (root: none).
struct PdfPageIndexEntry {
    uint32_t number;
    uint16_t generation;
    uint16_t parent;
};

// Every page of a tree whose counts agree with its pages, in page order,
// and the Pages nodes on their paths (the root first). The root node is
// reached through the catalogue, the others by their object numbers.
struct PdfPageIndex {
    PdfPageIndexEntry *pages;
    uint32_t pageCount;
    uint32_t pageCapacity;
    PdfPageIndexEntry *nodes;
    uint32_t nodeCount;
    uint32_t nodeCapacity;
};

// One page size and the key of its style rule.
struct PdfSizeStyle {
    int32_t width;
    int32_t height;
    uint32_t key;
};

namespace {

constexpr double kUnit = 65536.0 / 72.0;

int nameIs(PdfDoc *doc, PdfObj *dict, const char *key, const char *want, int *present)
{
    PdfObj *type = nullptr;
    *present = 0;
    int err = Pdf_Obj_dictGet(doc, key, dict, &type);
    if (err || !type)
        return err == Res_ok ? 0 : -err;
    *present = 1;
    const char *name = nullptr;
    if (Pdf_Obj_getName(doc, type, &name) != Res_ok)
        return 0;
    return std::strcmp(name, want) == 0;
}

// Whether a page-tree node is an inner node (Type Pages, or no Type and a
// Kids entry) or a page (Type Page, or neither), with its Kids (null when
// none); any other Type is a damaged tree.
int pageNodeKind(PdfDoc *doc, PdfObj *node, PdfObj **kids, int *isPages)
{
    PdfObj *typeObj = nullptr;
    int err = Pdf_Obj_dictGet(doc, "Type", node, &typeObj);
    if (err == Res_ok)
        err = Pdf_Obj_dictGet(doc, "Kids", node, kids);
    if (err != Res_ok)
        return err;
    *isPages = 0;
    if (typeObj) {
        const char *name = nullptr;
        if (Pdf_Obj_getName(doc, typeObj, &name) != Res_ok)
            return Res_pdfPageNode;
        if (std::strcmp(name, "Pages") == 0)
            *isPages = 1;
        else if (std::strcmp(name, "Page") != 0)
            return Res_pdfPageNode;
    } else {
        *isPages = *kids != nullptr;
    }
    return Res_ok;
}

// The recursive step: remaining counts down the pages met; depth bounds
// the descent.
int findPage(PdfDoc *doc, int64_t *remaining, PdfObj *node, PdfObj **out, uint32_t depth)
{
    if (depth > PdfPage_maxDepth)
        return Res_pdfPageNode;
    int err = Pdf_Obj_resolve(doc, &node);
    if (err)
        return err;
    if (!node || (node->type != PdfObj_dict && node->type != PdfObj_stream))
        return Res_pdfPageNode;
    PdfObj *kids = nullptr;
    int isPages = 0;
    if ((err = pageNodeKind(doc, node, &kids, &isPages)) != Res_ok)
        return err;
    if (!isPages) {
        if ((*remaining)-- == 1)
            *out = node;
        return Res_ok;
    }
    PdfObj *countObj = nullptr;
    int32_t count = 0;
    if ((err = Pdf_Obj_dictGet(doc, "Count", node, &countObj)) != Res_ok)
        return err;
    if (countObj && (err = Pdf_Obj_getInt(doc, countObj, &count)) != Res_ok)
        return err;
    if (countObj && *remaining > count) {
        *remaining -= count;
        return Res_ok;
    }
    // The node is on the path to the page: its attributes are inherited.
    // A node met again on this path is a cycle.
    PdfXrefEntry *entry = node->owner;
    if (entry && (entry->flags & PdfXref_busy))
        return Res_pdfPageNode;
    if ((err = Pdf_Page_readAttrs(doc, node)) != Res_ok)
        return err;
    uint32_t n = 0;
    if (kids && (err = Pdf_Obj_getCount(doc, kids, &n)) != Res_ok)
        return err;
    if (entry)
        entry->flags |= PdfXref_busy;
    for (uint32_t i = 0; i < n && *remaining >= 1 && !*out && err == Res_ok; i++) {
        PdfObj *kid = nullptr;
        err = Pdf_Obj_arrayGet(doc, i, kids, &kid);
        if (err == Res_ok && !kid)
            err = Res_pdfPageNode;
        if (err == Res_ok)
            err = findPage(doc, remaining, kid, out, depth + 1);
    }
    if (entry)
        entry->flags &= uint16_t(~PdfXref_busy);
    return err;
}

constexpr uint32_t kIndexNoParent = 0xFFFF;

// Resolves a node of the page tree, telling whether its object was parsed
// since the cache held `before` objects (so the index walk may drop it
// again): the one object parsed since, owned by an unpinned entry.
int indexResolve(PdfDoc *doc, PdfObj **node, uint32_t before, PdfXrefEntry **parsed)
{
    *parsed = nullptr;
    int err = Pdf_Obj_resolve(doc, node);
    PdfObj *obj = *node;
    if (err == Res_ok && obj && obj->owner && obj->owner->cached == obj &&
        doc->cachedCount == before + 1 && !(obj->owner->flags & PdfXref_pinned))
        *parsed = obj->owner;
    return err;
}

// Appends a node or a page to the index. 0, or 1 when the index is full.
int indexAppend(PdfPageIndexEntry **items, uint32_t *count, uint32_t *capacity, PdfXrefEntry *owner,
                uint32_t parent)
{
    if (*count == *capacity) {
        if (*capacity >= kIndexNoParent)
            return Res_noMemory;
        uint32_t grown = std::min<uint32_t>(std::max<uint32_t>(*capacity * 2, 16), kIndexNoParent);
        PdfPageIndexEntry *more = static_cast<PdfPageIndexEntry *>(
            Mem_realloc(*items, grown * sizeof(PdfPageIndexEntry)));
        if (!more)
            return Res_noMemory;
        *items = more;
        *capacity = grown;
    }
    PdfPageIndexEntry &e = (*items)[(*count)++];
    e.number = owner ? owner->number : 0xFFFFFFFFu;
    e.generation = owner ? owner->generation : 0;
    e.parent = uint16_t(parent);
    return Res_ok;
}

// The walk that fills the index: the same classification as findPage, every
// subtree entered. Fails (and the index is not used) on a node findPage
// would refuse, a kid written in place rather than referenced, a cycle, a
// tree past the depth limit, and a Count that differs from the pages found
// under its node, for findPage's numbering then skips by the stated count.
int indexNode(PdfDoc *doc, PdfPageIndex *ix, PdfObj *node, uint32_t before, uint32_t parent,
              uint32_t depth)
{
    if (depth > PdfPage_maxDepth)
        return Res_pdfPageNode;
    PdfXrefEntry *parsed = nullptr;
    int err = indexResolve(doc, &node, before, &parsed);
    if (err)
        return err;
    if (!node || (node->type != PdfObj_dict && node->type != PdfObj_stream))
        return Res_pdfPageNode;
    PdfXrefEntry *owner = node->owner;
    if (!owner && parent != kIndexNoParent)
        return Res_pdfPageNode;
    PdfObj *kids = nullptr;
    int isPages = 0;
    if ((err = pageNodeKind(doc, node, &kids, &isPages)) != Res_ok)
        return err;
    if (!isPages) {
        if (parent == kIndexNoParent)
            return Res_pdfPageNode; // a root that is a page is left to findPage
        if (ix->pageCount == ix->pageCapacity)
            return Res_pdfPageRange;
        err = indexAppend(&ix->pages, &ix->pageCount, &ix->pageCapacity, owner, parent);
        if (err == Res_ok && parsed) {
            // Nothing holds the page just parsed: drop it, so the walk
            // keeps one page dictionary at a time.
            Pdf_Obj_release(doc, parsed->cached);
            parsed->cached = nullptr;
            doc->cachedCount--;
        }
        return err;
    }
    PdfObj *countObj = nullptr;
    int32_t count = 0;
    if ((err = Pdf_Obj_dictGet(doc, "Count", node, &countObj)) != Res_ok)
        return err;
    if (countObj && (err = Pdf_Obj_getInt(doc, countObj, &count)) != Res_ok)
        return err;
    if (owner && (owner->flags & PdfXref_busy))
        return Res_pdfPageNode;
    uint32_t self = ix->nodeCount;
    if ((err = indexAppend(&ix->nodes, &ix->nodeCount, &ix->nodeCapacity, owner, parent)) != Res_ok)
        return err;
    uint32_t n = 0, first = ix->pageCount;
    if (kids && (err = Pdf_Obj_getCount(doc, kids, &n)) != Res_ok)
        return err;
    if (owner)
        owner->flags |= PdfXref_busy;
    for (uint32_t i = 0; i < n && err == Res_ok; i++) {
        PdfObj *kid = nullptr;
        uint32_t cached = doc->cachedCount;
        err = Pdf_Obj_arrayGet(doc, i, kids, &kid);
        if (err == Res_ok && !kid)
            err = Res_pdfPageNode;
        if (err == Res_ok)
            err = indexNode(doc, ix, kid, cached, self, depth + 1);
    }
    if (owner)
        owner->flags &= uint16_t(~PdfXref_busy);
    if (err == Res_ok && countObj && int64_t(ix->pageCount - first) != int64_t(count))
        err = Res_pdfPageNode;
    return err;
}

// Builds the page index from the tree's root, room for `capacity` pages.
// Null when the tree cannot be indexed or memory runs out.
PdfPageIndex *indexBuild(PdfDoc *doc, PdfObj *root, uint32_t capacity)
{
    PdfPageIndex *ix = static_cast<PdfPageIndex *>(Mem_calloc(1, sizeof(PdfPageIndex)));
    if (!ix)
        return nullptr;
    ix->pages = static_cast<PdfPageIndexEntry *>(
        Mem_malloc(size_t(capacity ? capacity : 1) * sizeof(PdfPageIndexEntry)));
    ix->pageCapacity = ix->pages ? capacity : 0;
    int err = ix->pages ? indexNode(doc, ix, root, doc->cachedCount, kIndexNoParent, 0)
                        : int(Res_noMemory);
    if (err != Res_ok) {
        Mem_free(ix->pages);
        Mem_free(ix->nodes);
        Mem_free(ix);
        return nullptr;
    }
    return ix;
}

// The object of an index entry, parsed when not cached.
int indexObject(PdfDoc *doc, const PdfPageIndexEntry &e, PdfObj **out)
{
    *out = nullptr;
    PdfXrefEntry *entry = Pdf_Xref_find(doc, e.number, e.generation);
    if (!entry || !(entry->flags & PdfXref_inUse))
        return Res_pdfPageNode;
    PdfObj ref{};
    ref.type = PdfObj_indirect;
    ref.value.entry = entry;
    PdfObj *obj = &ref;
    int err = Pdf_Obj_resolve(doc, &obj);
    if (err == Res_ok && (!obj || (obj->type != PdfObj_dict && obj->type != PdfObj_stream)))
        err = Res_pdfPageNode;
    if (err == Res_ok)
        *out = obj;
    return err;
}

// findPage through the index: the attributes of the Pages nodes on the
// page's path, root first, then the page itself.
int indexLookup(PdfDoc *doc, const PdfPageIndex *ix, PdfObj *root, uint32_t page, PdfObj **out)
{
    if (page < 1 || page > ix->pageCount)
        return Res_pdfPageRange;
    const PdfPageIndexEntry &leaf = ix->pages[page - 1];
    uint16_t path[PdfPage_maxDepth + 2];
    uint32_t depth = 0;
    for (uint32_t at = leaf.parent; at != kIndexNoParent && depth < PdfPage_maxDepth + 2;
         at = ix->nodes[at].parent)
        path[depth++] = uint16_t(at);
    int err = Res_ok;
    while (depth && err == Res_ok) {
        const PdfPageIndexEntry &e = ix->nodes[path[--depth]];
        PdfObj *node = root;
        if (e.parent != kIndexNoParent)
            err = indexObject(doc, e, &node);
        if (err == Res_ok)
            err = Pdf_Page_readAttrs(doc, node);
    }
    if (err == Res_ok)
        err = indexObject(doc, leaf, out);
    return err;
}

int addProp(StyleRule *rule, const Prop &p)
{
    return StyleRule_appendProp(rule, &p);
}

// Gives group the style of its page size, shared by pages of equal size.
int setSize(PdfDoc *doc, Edr_Node *group, uint32_t page)
{
    int32_t width = 0, height = 0;
    Pdf_Page_size(doc->pageAttrs, &width, &height);
    doc->pageWidth = width;
    doc->pageHeight = height;
    Edr_Doc *ed = doc->edrDoc;
    for (uint32_t i = 0; i < doc->sizeStyleCount; i++)
        if (doc->sizeStyles[i].width == width && doc->sizeStyles[i].height == height)
            return Edr_Node_setStyle(ed, group, doc->sizeStyles[i].key);
    int err = Res_ok;
    if (!doc->sizeRequest) {
        Request *request = nullptr;
        if ((err = Request_new(Edr_Doc_getApp(ed), 0, &request)) != Res_ok)
            return err;
        if ((err = Edr_Doc_addRequest(ed, request)) != Res_ok) {
            Request_release(request);
            return err;
        }
        doc->sizeRequest = request;
    }
    PdfSizeStyle *grown = static_cast<PdfSizeStyle *>(
        Mem_realloc(doc->sizeStyles, (doc->sizeStyleCount + 1) * sizeof(PdfSizeStyle)));
    if (!grown)
        return Res_noMemory;
    doc->sizeStyles = grown;
    StyleRule *rule = nullptr;
    if ((err = StyleRule_create(&rule)) != Res_ok)
        return err;
    Prop p{};
    Prop_setLength(&p, PropId_width, width);
    err = addProp(rule, p);
    if (!err) {
        Prop_setLength(&p, PropId_height, height);
        err = addProp(rule, p);
    }
    if (!err) {
        Prop_setWord(&p, PropId_backgroundColor, PropType_colour, 0xFFFFFFFFu);
        err = addProp(rule, p);
    }
    if (!err) {
        Prop_setType(&p, PropId_display, KwId_block);
        err = addProp(rule, p);
    }
    if (!err)
        err = StyleRule_addMatch1(rule, page);
    if (!err)
        err = Request_addItem(doc->sizeRequest, &rule);
    StyleRule_destroy(rule);
    if (err)
        return err;
    doc->sizeStyles[doc->sizeStyleCount++] = PdfSizeStyle{width, height, page};
    return Edr_Node_setStyle(ed, group, page);
}

int setAnchor(PdfDoc *doc, Edr_Node *group, uint32_t page)
{
    char text[24];
    int n = Fmt_snprintf(text, sizeof text, "page-%u", page);
    char16_t name[24];
    for (int i = 0; i < n; i++)
        name[i] = char16_t(text[i]);
    return Edr_Node_setInternedText(doc->edrDoc, group, name, uint32_t(n));
}

} // namespace

int Pdf_Box_isEmpty(const float *box)
{
    return box[0] >= box[2] || box[1] >= box[3];
}

void Pdf_Box_copy(float *dst, const float *src)
{
    std::memcpy(dst, src, 4 * sizeof(float));
}

void Pdf_Box_normalise(float *box)
{
    if (box[0] > box[2])
        std::swap(box[0], box[2]);
    if (box[1] > box[3])
        std::swap(box[1], box[3]);
}

void Pdf_Box_clip(float *box, const float *within)
{
    float c[4] = {std::max(box[0], within[0]), std::max(box[1], within[1]),
                  std::min(box[2], within[2]), std::min(box[3], within[3])};
    Pdf_Box_copy(box, Pdf_Box_isEmpty(c) ? within : c);
}

int Pdf_Res_push(PdfDoc *doc, PdfObj *resources)
{
    if (!resources || !doc->pageAttrs)
        return Res_ok;
    PdfResScope *scope = static_cast<PdfResScope *>(Mem_malloc(sizeof(PdfResScope)));
    if (!scope)
        return Res_noMemory;
    scope->resources = resources;
    scope->next = doc->pageAttrs->resources;
    doc->pageAttrs->resources = scope;
    return Res_ok;
}

void Pdf_Res_pop(PdfDoc *doc)
{
    if (!doc->pageAttrs || !doc->pageAttrs->resources)
        return;
    PdfResScope *scope = doc->pageAttrs->resources;
    doc->pageAttrs->resources = scope->next;
    Mem_free(scope);
}

void Pdf_Res_popAll(PdfDoc *doc)
{
    while (doc->pageAttrs && doc->pageAttrs->resources)
        Pdf_Res_pop(doc);
}

int Pdf_Res_lookup(PdfDoc *doc, const char *category, const char *name, PdfObj **out)
{
    *out = nullptr;
    for (PdfResScope *s = doc->pageAttrs ? doc->pageAttrs->resources : nullptr; s; s = s->next) {
        PdfObj *sub = nullptr;
        int err = Pdf_Obj_dictGet(doc, category, s->resources, &sub);
        if (err == Res_ok && sub)
            err = Pdf_Obj_dictGet(doc, name, sub, out);
        if (err != Res_ok)
            return err;
        if (*out)
            return Res_ok;
    }
    return Res_ok;
}

int Pdf_Page_readAttrs(PdfDoc *doc, PdfObj *node)
{
    PdfPageAttrs *a = doc->pageAttrs;
    static constexpr const char *kBoxes[5] = {"MediaBox", "CropBox", "BleedBox", "TrimBox",
                                              "ArtBox"};
    float *boxes[5] = {a->mediaBox, a->cropBox, a->bleedBox, a->trimBox, a->artBox};
    int err = Res_ok;
    for (int i = 0; i < 5 && err == Res_ok; i++)
        err = Pdf_dictGetNumbers4(doc, node, kBoxes[i], boxes[i]);
    if (err)
        return err;
    PdfObj *res = nullptr;
    if ((err = Pdf_Obj_dictGet(doc, "Resources", node, &res)) != Res_ok)
        return err;
    if ((err = Pdf_Res_push(doc, res)) != Res_ok)
        return err;
    PdfObj *rot = nullptr;
    if ((err = Pdf_Obj_dictGet(doc, "Rotate", node, &rot)) != Res_ok)
        return err;
    if (rot)
        err = Pdf_Obj_getInt(doc, rot, &a->rotate);
    return err;
}

int Pdf_Page_lookup(PdfDoc *doc, uint32_t page, PdfObj **out)
{
    *out = nullptr;
    PdfObj *root = nullptr;
    int err = Pdf_Obj_dictGet(doc, "Pages", doc->catalog, &root);
    if (err)
        return err;
    if (!root)
        return Res_pdfPageRange;
    int present = 0;
    int is = nameIs(doc, root, "Type", "Pages", &present);
    if (is < 0)
        return -is;
    if (present && !is)
        return Res_pdfPagesType;
    if (page > 1 && !doc->pageIndexTried) {
        // Room for the pages the root states, never more than the objects
        // the table holds.
        doc->pageIndexTried = 1;
        PdfObj *countObj = nullptr;
        int32_t count = 0;
        uint64_t objects = 0;
        for (PdfXrefSubsection *s = doc->xrefHead; s; s = s->next)
            objects += s->count;
        if (Pdf_Obj_dictGet(doc, "Count", root, &countObj) == Res_ok && countObj &&
            Pdf_Obj_getInt(doc, countObj, &count) == Res_ok && count > 0)
            doc->pageIndex =
                indexBuild(doc, root, uint32_t(std::min<uint64_t>(uint64_t(count), objects)));
    }
    if (doc->pageIndex) {
        err = indexLookup(doc, doc->pageIndex, root, page, out);
        if (err != Res_ok)
            *out = nullptr;
        return err;
    }
    int64_t remaining = page;
    err = findPage(doc, &remaining, root, out, 0);
    if (err == Res_ok && !*out)
        err = Res_pdfPageRange;
    return err;
}

void Pdf_PageIndex_free(PdfDoc *doc)
{
    if (!doc->pageIndex)
        return;
    Mem_free(doc->pageIndex->pages);
    Mem_free(doc->pageIndex->nodes);
    Mem_free(doc->pageIndex);
    doc->pageIndex = nullptr;
}

int Pdf_Page_indexOf(PdfDoc *doc, PdfObj *page, uint32_t *out)
{
    *out = 0;
    uint32_t number = 1;
    PdfObj *node = page;
    for (uint32_t depth = 0;; depth++) {
        PdfObj *parent = nullptr, *kids = nullptr;
        int err = Pdf_Obj_dictGet(doc, "Parent", node, &parent);
        if (err == Res_ok && parent)
            err = Pdf_Obj_dictGet(doc, "Kids", parent, &kids);
        if (err)
            return err;
        if (!kids)
            break;
        if (depth >= PdfPage_maxDepth)
            return Res_pdfPageNode;
        int32_t num = -1, gen = -1;
        if ((err = Pdf_Obj_getRefId(doc, node, &num, &gen)) != Res_ok)
            return err;
        uint32_t n = 0;
        if ((err = Pdf_Obj_getCount(doc, kids, &n)) != Res_ok)
            return err;
        uint32_t i = 0;
        for (; i < n; i++) {
            PdfObj *kid = nullptr;
            if ((err = Pdf_Obj_arrayGet(doc, i, kids, &kid)) != Res_ok || !kid)
                return Res_pdfPageNode;
            int32_t kn = -1, kg = -1;
            if ((err = Pdf_Obj_getRefId(doc, kid, &kn, &kg)) != Res_ok)
                return Res_pdfPageNode;
            if (kn == num && kg == gen)
                break;
            PdfObj *count = nullptr;
            int32_t c = 1;
            if (Pdf_Obj_dictGet(doc, "Count", kid, &count) == Res_ok && count &&
                Pdf_Obj_getInt(doc, count, &c) != Res_ok)
                c = 1;
            number += uint32_t(c);
        }
        if (i == n)
            return Res_pdfPageNode;
        node = parent;
    }
    *out = number;
    return Res_ok;
}

void Pdf_Page_size(const PdfPageAttrs *a, int32_t *width, int32_t *height)
{
    const float *b = a->cropBox;
    int32_t w = int32_t((double(b[2]) - b[0]) * 65536.0 / 72.0 + 0.5);
    int32_t h = int32_t((double(b[3]) - b[1]) * 65536.0 / 72.0 + 0.5);
    int r = a->rotate;
    if (r == 90 || r == 270 || r == -90 || r == -270) {
        int32_t t = w;
        w = h;
        h = t;
    }
    *width = w;
    *height = h;
}

void Pdf_Page_matrix(const PdfPageAttrs *a, float *m)
{
    const float K = float(kUnit);
    const float *b = a->cropBox;
    auto mul = [](float x, float k) { return x == 0.0f ? 0.0f : x * k; };
    switch (a->rotate) {
    case 90:
    case -270: {
        const float v[6] = {0, -K, K, 0, -mul(b[1], K), mul(b[0], K)};
        std::memcpy(m, v, sizeof v);
        break;
    }
    case 180:
    case -180: {
        const float v[6] = {-K, 0, 0, -K, mul(b[2], K), mul(b[1], K)};
        std::memcpy(m, v, sizeof v);
        break;
    }
    case 270:
    case -90: {
        const float v[6] = {0, K, -K, 0, mul(b[3], K), -mul(b[2], K)};
        std::memcpy(m, v, sizeof v);
        break;
    }
    default: {
        const float v[6] = {K, 0, 0, K, -mul(b[0], K), -mul(b[3], K)};
        std::memcpy(m, v, sizeof v);
        break;
    }
    }
}

int Pdf_Page_load(PdfDoc *doc, uint32_t page)
{
    Fmt_debugLevel(2, "Page %d\n", int(page));
    PdfPageAttrs attrs{};
    PdfPageAttrs *saved = doc->pageAttrs;
    doc->pageAttrs = &attrs;
    Edr_Doc *ed = doc->edrDoc;
    PdfObj *dict = nullptr;
    int err = Pdf_Page_lookup(doc, page, &dict);
    if (err == Res_ok) {
        int present = 0;
        int is = nameIs(doc, dict, "Type", "Page", &present);
        if (is < 0)
            err = -is;
        else if (present && !is)
            err = Res_pdfPageType;
    }
    if (err == Res_ok)
        err = Pdf_Page_readAttrs(doc, dict);
    // Boxes may name any two opposite corners.
    float *allBoxes[5] = {attrs.mediaBox, attrs.cropBox, attrs.bleedBox, attrs.trimBox,
                          attrs.artBox};
    for (float *box : allBoxes)
        Pdf_Box_normalise(box);
    if (err == Res_ok && Pdf_Box_isEmpty(attrs.mediaBox))
        err = Res_pdfNoMediaBox;
    if (err == Res_ok) {
        float *boxes[4] = {attrs.cropBox, attrs.bleedBox, attrs.trimBox, attrs.artBox};
        for (float *box : boxes)
            if (Pdf_Box_isEmpty(box))
                Pdf_Box_copy(box, attrs.mediaBox);
        // The visible page is the part of the crop box on the media.
        Pdf_Box_clip(attrs.cropBox, attrs.mediaBox);
    }
    PdfObj *contents = nullptr, *res = nullptr;
    if (err == Res_ok)
        err = Pdf_Obj_dictGet(doc, "Resources", dict, &res);
    if (err == Res_ok)
        err = Pdf_Res_push(doc, res);
    if (err == Res_ok)
        err = Pdf_Obj_dictGet(doc, "Contents", dict, &contents);
    Edr_Node *group = nullptr;
    if (err == Res_ok && ed) {
        if (Edr_Doc_nthRootChild(ed, page - 1, &group) != Res_ok || !group) {
            group = nullptr;
            Edr_Node *root = nullptr;
            err = Edr_Doc_getRoot(ed, &root);
            if (err == Res_ok) {
                err = Edr_Node_createGroup(ed, root, 2, 0, &group);
                Edr_Node_release(ed, root);
            }
        }
        if (err == Res_ok)
            err = setAnchor(doc, group, page);
        if (err == Res_ok)
            err = setSize(doc, group, page);
    }
    PdfInterp *interp = nullptr;
    // Without a document model (the reader used on its own) the content
    // still runs; its output is dropped.
    if (err == Res_ok && (group || !ed))
        err = Pdf_Interp_create(doc, group, &interp);
    if (err == Res_ok && interp) {
        int run = Pdf_Content_run(doc, contents, interp, nullptr, nullptr, nullptr);
        if (run == Res_stopRequested) {
            err = run;
        } else if (run != Res_ok) {
            // The content ends here; what was drawn stays, and the page,
            // its annotations and the other pages go on.
            Pdf_Doc_deferError(doc, run);
            Pdf_Doc_warn(doc, PdfWarn_content);
        }
        // Annotations come after the content; their errors are deferred too.
        run = err ? Res_ok : Pdf_Page_loadAnnots(doc, dict, interp, group);
        if (run == Res_stopRequested)
            err = run;
        else if (run != Res_ok)
            Pdf_Doc_deferError(doc, run);
    }
    if (interp)
        Pdf_Interp_destroy(doc, interp);
    if (err == Res_ok && page == 1 && ed && Edr_Doc_isPageOnDemand(ed))
        err = Edr_Doc_markRootChild(ed, 0);
    if (group)
        Edr_Node_release(ed, group);
    Pdf_Res_popAll(doc);
    doc->pageAttrs = saved;
    return err;
}

int Pdf_Page_addPlaceholder(PdfDoc *doc, uint32_t page)
{
    Edr_Doc *ed = doc->edrDoc;
    if (!ed)
        return Res_ok;
    Edr_Node *root = nullptr, *group = nullptr;
    int err = Edr_Doc_getRoot(ed, &root);
    if (err == Res_ok) {
        err = Edr_Node_createGroup(ed, root, 2, 0, &group);
        Edr_Node_release(ed, root);
    }
    if (err == Res_ok && page)
        err = Edr_Doc_markPlaceholder(ed, page - 1, 1);
    if (err == Res_ok)
        err = Edr_Node_setStyle(ed, group, 1);
    if (group)
        Edr_Node_release(ed, group);
    return err;
}
