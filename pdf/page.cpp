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

// One page size and the key of its style rule.
struct PdfSizeStyle {
    int32_t width;
    int32_t height;
    uint32_t key;
};

namespace
{

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
    PdfObj *typeObj = nullptr;
    if ((err = Pdf_Obj_dictGet(doc, "Type", node, &typeObj)) != Res_ok)
        return err;
    PdfObj *kids = nullptr;
    if ((err = Pdf_Obj_dictGet(doc, "Kids", node, &kids)) != Res_ok)
        return err;
    int isPages = 0;
    if (typeObj) {
        const char *name = nullptr;
        if (Pdf_Obj_getName(doc, typeObj, &name) != Res_ok)
            return Res_pdfPageNode;
        if (std::strcmp(name, "Pages") == 0)
            isPages = 1;
        else if (std::strcmp(name, "Page") != 0)
            return Res_pdfPageNode;
    } else {
        isPages = kids != nullptr;
    }
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
    float c[4] = {std::max(box[0], within[0]), std::max(box[1], within[1]), std::min(box[2], within[2]),
                  std::min(box[3], within[3])};
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
    static constexpr const char *kBoxes[5] = {"MediaBox", "CropBox", "BleedBox", "TrimBox", "ArtBox"};
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
    int64_t remaining = page;
    err = findPage(doc, &remaining, root, out, 0);
    if (err == Res_ok && !*out)
        err = Res_pdfPageRange;
    return err;
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
    float *allBoxes[5] = {attrs.mediaBox, attrs.cropBox, attrs.bleedBox, attrs.trimBox, attrs.artBox};
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
