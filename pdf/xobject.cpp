// PDF XObjects and the document's image cache.
#include "pdf/xobject.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/image.h"
#include "pdf/document.h"
#include "pdf/interp.h"
#include "pdf/obj.h"
#include "pdf/page.h"
#include "pdf/resources/pdfimage.h"
#include "pdf/resources/pdfstream.h"

// Decoded image XObjects by object number and generation; the slots grow
// by doubling and are probed linearly.
struct PdfImageCacheEntry {
    ImageHandle *image; // null: a free slot
    int32_t width, height;
    int32_t number, generation;
};

struct PdfImageCache {
    uint32_t count;
    uint32_t slots;
    PdfImageCacheEntry *entries;
};

namespace {

uint32_t slotOf(const PdfImageCache *c, int32_t number, int32_t generation)
{
    return (uint32_t(number) + uint32_t(generation)) % c->slots;
}

PdfImageCacheEntry *find(PdfImageCache *c, int32_t number, int32_t generation)
{
    if (!c || !c->slots)
        return nullptr;
    for (uint32_t i = slotOf(c, number, generation), n = 0; n < c->slots;
         i = (i + 1) % c->slots, n++) {
        PdfImageCacheEntry *e = &c->entries[i];
        if (!e->image)
            return nullptr;
        if (e->number == number && e->generation == generation)
            return e;
    }
    return nullptr;
}

void place(PdfImageCache *c, const PdfImageCacheEntry &entry)
{
    for (uint32_t i = slotOf(c, entry.number, entry.generation);; i = (i + 1) % c->slots)
        if (!c->entries[i].image) {
            c->entries[i] = entry;
            c->count++;
            return;
        }
}

// Enters image (a handle of the cache's own) under its key. 0 or 1.
int insert(PdfDoc *doc, const PdfImageCacheEntry &entry)
{
    PdfImageCache *c = doc->imageCache;
    if (!c) {
        c = static_cast<PdfImageCache *>(Mem_calloc(1, sizeof(PdfImageCache)));
        if (!c)
            return Res_noMemory;
        doc->imageCache = c;
    }
    if (!c->slots || c->count + 1 > c->slots / 2) {
        uint32_t slots = c->slots ? c->slots * 2 : 256;
        PdfImageCacheEntry *grown =
            static_cast<PdfImageCacheEntry *>(Mem_calloc(slots, sizeof(PdfImageCacheEntry)));
        if (!grown)
            return Res_noMemory;
        PdfImageCacheEntry *old = c->entries;
        uint32_t oldSlots = c->slots;
        c->entries = grown;
        c->slots = slots;
        c->count = 0;
        for (uint32_t i = 0; i < oldSlots; i++)
            if (old[i].image)
                place(c, old[i]);
        Mem_free(old);
    }
    place(c, entry);
    return Res_ok;
}

// Whether an image names a filter that no decoder here reads: its box
// stays empty and the warning says why.
bool xobjUnreadableFilter(PdfDoc *doc, PdfObj *image)
{
    PdfObj *filter = nullptr;
    if (Pdf_Obj_dictGet(doc, "Filter", image, &filter) != Res_ok || !filter)
        return false;
    uint32_t n = filter->type == PdfObj_array && filter->value.arr ? filter->value.arr->count : 1;
    for (uint32_t i = 0; i < n; i++) {
        PdfObj *item = filter;
        if (filter->type == PdfObj_array && Pdf_Obj_arrayGet(doc, i, filter, &item) != Res_ok)
            return false;
        const char *name = nullptr;
        if (item && item->type == PdfObj_name && Pdf_Obj_getName(doc, item, &name) == Res_ok &&
            (std::strcmp(name, "JPXDecode") == 0 || std::strcmp(name, "JBIG2Decode") == 0))
            return true;
    }
    return false;
}

} // namespace

void Pdf_ImageCache_free(PdfDoc *doc)
{
    PdfImageCache *c = doc ? doc->imageCache : nullptr;
    if (!c)
        return;
    for (uint32_t i = 0; i < c->slots; i++)
        ImageHandle_release(c->entries[i].image);
    Mem_free(c->entries);
    Mem_free(c);
    doc->imageCache = nullptr;
}

int Pdf_XObj_drawImage(PdfDoc *doc, PdfInterp *in, PdfObj *image)
{
    if (!doc->imagesEnabled)
        return Res_ok;
    int32_t number = -1, generation = -1;
    int err = Pdf_Obj_getRefId(doc, image, &number, &generation);
    if (err)
        return err;
    ImageHandle *handle = nullptr;
    int32_t w = 0, h = 0;
    if (PdfImageCacheEntry *e = number >= 0 ? find(doc->imageCache, number, generation) : nullptr) {
        err = ImageHandle_clone(e->image, &handle);
        w = e->width;
        h = e->height;
    } else {
        err = Pdf_Img_load(doc, image, nullptr, Pdf_Interp_fillRgb(in), &handle, &w, &h);
        ImageHandle *kept = nullptr;
        if (!err && number >= 0 && ImageHandle_clone(handle, &kept) == Res_ok &&
            insert(doc, PdfImageCacheEntry{kept, w, h, number, generation}) != Res_ok)
            ImageHandle_release(kept);
    }
    // An image that cannot be loaded (JBIG2 and JPX have no decoder) is
    // left out and the page goes on; the error is the document's.
    if (err && err != Res_stopRequested && err != Res_noMemory) {
        Pdf_Doc_deferError(doc, err);
        Pdf_Doc_warn(doc, xobjUnreadableFilter(doc, image) ? PdfWarn_imageFilter : PdfWarn_image);
        return Res_ok;
    }
    if (err)
        return err;
    return Pdf_Out_drawImage(doc, in, handle, w, h);
}

int Pdf_XObj_runForm(PdfDoc *doc, PdfInterp *in, const float *target, PdfObj *form)
{
    PdfObj *v = nullptr;
    int err = Pdf_Obj_dictGet(doc, "FormType", form, &v);
    int32_t type = 1;
    if (!err && v)
        err = Pdf_Obj_getInt(doc, v, &type);
    if (err || type != 1)
        return err;
    float bbox[4] = {0, 0, 0, 0};
    err = Pdf_Obj_dictGet(doc, "BBox", form, &v);
    if (!err && !v)
        err = Res_pdfSyntax;
    if (!err)
        err = Pdf_Obj_getNumberArray(doc, v, 4, bbox);
    float m[6] = {1, 0, 0, 1, 0, 0};
    if (!err)
        err = Pdf_Obj_dictGet(doc, "Matrix", form, &v);
    if (!err && v)
        err = Pdf_Obj_getNumberArray(doc, v, 6, m);
    if (err)
        return err;
    if (target && bbox[2] != bbox[0] && bbox[3] != bbox[1]) {
        m[0] *= (target[2] - target[0]) / (bbox[2] - bbox[0]);
        m[3] *= (target[3] - target[1]) / (bbox[3] - bbox[1]);
        m[4] += target[0];
        m[5] += target[1];
    }
    PdfObj *resources = nullptr;
    err = Pdf_Obj_dictGet(doc, "Resources", form, &resources);
    if (err)
        return err;
    // An error inside the form ends the form, not the page that drew it.
    err = Pdf_Content_run(doc, form, in, m, bbox, resources);
    if (err && err != Res_stopRequested && err != Res_noMemory) {
        Pdf_Doc_deferError(doc, err);
        Pdf_Doc_warn(doc, PdfWarn_xobject);
        err = Res_ok;
    }
    return err;
}

int Pdf_XObj_do(PdfDoc *doc, PdfInterp *in, const char *name)
{
    PdfObj *x = nullptr, *subtype = nullptr;
    int err = Pdf_Res_lookup(doc, "XObject", name, &x);
    if (!err)
        err = Pdf_Obj_dictGet(doc, "Subtype", x, &subtype);
    const char *kind = nullptr;
    if (!err)
        err = Pdf_Obj_getName(doc, subtype, &kind);
    if (err)
        return err;
    if (!std::strcmp(kind, "Image"))
        return Pdf_XObj_drawImage(doc, in, x);
    if (!std::strcmp(kind, "Form"))
        return Pdf_XObj_runForm(doc, in, nullptr, x);
    return Res_ok;
}
