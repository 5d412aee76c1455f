// Type 3 fonts: the record read from a font dictionary (code range, font
// matrix, widths, the glyph procedure of each code and the font's
// resources), cached on the dictionary. Showing strings with it is the
// interpreter's (pdf/interp.cpp).
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "pdf/document.h"
#include "pdf/font.h"
#include "pdf/obj.h"
#include "pdf/tounicode.h"

namespace {

const char kType3Key[] = "/NativeType3";

void tagRelease(PdfWord data)
{
    Pdf_Type3_free(static_cast<PdfType3Font *>(data.ptr));
}

int readDifferences(PdfDoc *doc, PdfObj *differences, PdfObj *charProcs, PdfType3Font *t)
{
    uint32_t n = 0;
    int err = differences ? Pdf_Obj_getCount(doc, differences, &n) : Res_ok;
    int64_t code = 0;
    for (uint32_t i = 0; !err && i < n; i++) {
        PdfObj *e = nullptr;
        err = Pdf_Obj_arrayGet(doc, i, differences, &e);
        if (err)
            break;
        if (e && e->type == PdfObj_name) {
            PdfObj *proc = nullptr;
            err = Pdf_Obj_dictGet(doc, e->value.name, charProcs, &proc);
            if (!err && proc && code >= t->firstCode && code <= t->lastCode) {
                Pdf_Obj_pin(proc);
                t->procedures[code - t->firstCode] = proc;
            }
            code++;
            continue;
        }
        int32_t v = 0;
        err = Pdf_Obj_getInt(doc, e, &v);
        code = v;
    }
    return err;
}

// A record without codes, attached to the dictionary.
int emptyRecord(PdfDoc *doc, PdfObj *dict, PdfType3Font **out)
{
    *out = nullptr;
    PdfType3Font *t = static_cast<PdfType3Font *>(Mem_calloc(1, sizeof(PdfType3Font)));
    if (!t)
        return Res_noMemory;
    t->lastCode = -1;
    PdfWord w;
    w.ptr = t;
    int err = Pdf_Dict_addTag(doc, dict, kType3Key, w, tagRelease, 0);
    if (err) {
        Pdf_Type3_free(t);
        return err;
    }
    *out = t;
    return Res_ok;
}

} // namespace

void Pdf_Type3_free(PdfType3Font *t)
{
    if (!t)
        return;
    Mem_free(t->widths);
    Mem_free(t->procedures);
    Mem_free(t->textTable);
    Pdf_ToUnicode_free(t->toUnicode);
    Mem_free(t);
}

PdfType3Font *Pdf_Type3_cached(PdfObj *dict)
{
    PdfDict *d = dict->type == PdfObj_stream ? dict->value.stream->dict
                 : dict->type == PdfObj_dict ? dict->value.dict
                                             : nullptr;
    if (!d)
        return nullptr;
    PdfDictEntry *e = PdfDict_entries(d);
    for (uint32_t i = 0; i < d->count; i++)
        if (std::strcmp(e[i].key, kType3Key) == 0 && e[i].value.type == PdfObj_internalTag &&
            e[i].value.value.tag)
            return static_cast<PdfType3Font *>(e[i].value.value.tag->data.ptr);
    return nullptr;
}

int Pdf_Type3_readResources(PdfDoc *doc, PdfObj *dict, PdfType3Font *t)
{
    PdfObj *r = nullptr;
    int err = Pdf_Obj_dictGet(doc, "Resources", dict, &r);
    if (!err && r && (r->type == PdfObj_dict || r->type == PdfObj_stream)) {
        Pdf_Obj_pin(r);
        t->resources = r;
    }
    return err;
}

int Pdf_Type3_parse(PdfDoc *doc, PdfObj *dict, PdfType3Font **out)
{
    *out = nullptr;
    PdfType3Font *t = static_cast<PdfType3Font *>(Mem_calloc(1, sizeof(PdfType3Font)));
    if (!t)
        return Res_noMemory;
    PdfObj *v = nullptr, *encoding = nullptr, *differences = nullptr, *charProcs = nullptr;
    int err = Pdf_Obj_dictGet(doc, "FirstChar", dict, &v);
    if (!err)
        err = Pdf_Obj_getInt(doc, v, &t->firstCode);
    if (!err)
        err = Pdf_Obj_dictGet(doc, "LastChar", dict, &v);
    if (!err)
        err = Pdf_Obj_getInt(doc, v, &t->lastCode);
    if (!err)
        err = Pdf_Obj_dictGet(doc, "FontMatrix", dict, &v);
    if (!err)
        err = Pdf_Obj_getNumberArray(doc, v, 6, t->matrix);
    if (!err && (t->firstCode < 0 || t->firstCode > t->lastCode || t->lastCode > 255))
        err = Res_pdfSyntax;
    uint32_t count = err ? 0 : uint32_t(t->lastCode - t->firstCode + 1);
    if (!err) {
        t->widths = static_cast<float *>(Mem_calloc(count, sizeof(float)));
        t->procedures = static_cast<PdfObj **>(Mem_calloc(count, sizeof(PdfObj *)));
        if (!t->widths || !t->procedures)
            err = Res_noMemory;
    }
    if (!err)
        err = Pdf_Obj_dictGet(doc, "Widths", dict, &v);
    if (!err)
        err = Pdf_Obj_getNumberArray(doc, v, count, t->widths);
    if (!err)
        err = Pdf_Obj_dictGet(doc, "Encoding", dict, &encoding);
    if (!err)
        err = Pdf_Obj_dictGet(doc, "Differences", encoding, &differences);
    if (!err)
        err = Pdf_Obj_dictGet(doc, "CharProcs", dict, &charProcs);
    if (!err && !charProcs)
        err = Res_pdfNoDict;
    if (!err)
        err = readDifferences(doc, differences, charProcs, t);
    if (!err) {
        PdfWord w;
        w.ptr = t;
        err = Pdf_Dict_addTag(doc, dict, kType3Key, w, tagRelease, 0);
    }
    if (err) {
        Pdf_Type3_free(t);
        return err;
    }
    // The dictionary owns the record from here.
    err = Pdf_Type3_readResources(doc, dict, t);
    if (err)
        return err;
    *out = t;
    return Res_ok;
}

int Pdf_Font_loadType3(PdfDoc *doc, PdfObj *dict, PdfFontSel *sel)
{
    PdfType3Font *t = Pdf_Type3_cached(dict);
    if (!t) {
        int err = Pdf_Type3_parse(doc, dict, &t);
        if (err == Res_noMemory)
            return err;
        if (err) {
            // A font that cannot be read shows nothing, and the rest of
            // the page still draws: an empty record stands for it.
            err = emptyRecord(doc, dict, &t);
            if (err)
                return err;
        }
        // What the glyphs read as; a font whose names say nothing reads
        // as private characters.
        err = Pdf_Type3_readText(doc, dict, t);
        if (err == Res_noMemory)
            return err;
    }
    Pdf_Obj_pin(dict);
    sel->type3 = t;
    return Res_ok;
}
