// PDF colour spaces. Device and calibrated gray, RGB and CMYK are
// converted; Lab, Indexed, Pattern and Separation colours keep their
// family but paint as half-transparent grey.
#include "pdf/colour.h"

#include <cstring>

#include "core/result.h"
#include "pdf/document.h"
#include "pdf/page.h"

namespace {

struct FamilyName {
    const char *name;
    uint32_t family;
    uint32_t count;
};

// Names of a bare operand (and of an array's first element where marked).
constexpr FamilyName kNames[] = {
    {"DeviceGray", PdfCs_gray, 1}, {"G", PdfCs_gray, 1},    {"CalGray", PdfCs_gray, 1},
    {"DeviceRGB", PdfCs_rgb, 3},   {"RGB", PdfCs_rgb, 3},   {"CalRGB", PdfCs_rgb, 3},
    {"DeviceCMYK", PdfCs_cmyk, 4}, {"CMYK", PdfCs_cmyk, 4}, {"CalCMYK", PdfCs_cmyk, 4},
};

const FamilyName *findName(const char *name)
{
    for (const FamilyName &f : kNames)
        if (std::strcmp(f.name, name) == 0)
            return &f;
    return nullptr;
}

void reset(PdfColourSpace *cs)
{
    std::memset(cs, 0, sizeof *cs);
    cs->family = PdfCs_none;
    cs->baseFamily = PdfCs_none;
}

void setFamily(PdfColourSpace *cs, uint32_t family, uint32_t count)
{
    cs->family = family;
    cs->count = count;
    cs->baseCount = count;
}

int parseDepth(PdfDoc *doc, PdfObj *operand, PdfColourSpace *cs, uint32_t depth);

int parseArray(PdfDoc *doc, PdfObj *array, PdfColourSpace *cs, uint32_t depth)
{
    PdfObj *first = nullptr;
    const char *name = nullptr;
    int err = Pdf_Obj_arrayGet(doc, 0, array, &first);
    if (err == Res_ok && (!first || Pdf_Obj_getName(doc, first, &name) != Res_ok))
        err = Res_pdfSyntax;
    if (err)
        return err;
    if (const FamilyName *f = findName(name)) {
        if (std::strcmp(name, "G") == 0 || std::strcmp(name, "RGB") == 0)
            return Res_pdfSyntax;
        setFamily(cs, f->family, f->count);
        return Res_ok;
    }
    if (std::strcmp(name, "Lab") == 0) {
        setFamily(cs, PdfCs_lab, 3);
        return Res_ok;
    }
    if (std::strcmp(name, "Pattern") == 0) {
        cs->family = PdfCs_pattern;
        PdfObj *under = nullptr;
        if ((err = Pdf_Obj_arrayGet(doc, 1, array, &under)) != Res_ok || !under)
            return err;
        PdfColourSpace base{};
        reset(&base);
        if ((err = parseDepth(doc, under, &base, depth + 1)) != Res_ok)
            return err;
        cs->baseFamily = base.family;
        cs->count = base.count;
        cs->baseCount = base.count;
        return Res_ok;
    }
    if (std::strcmp(name, "ICCBased") == 0) {
        PdfObj *stream = nullptr, *alt = nullptr, *nObj = nullptr;
        if ((err = Pdf_Obj_arrayGet(doc, 1, array, &stream)) != Res_ok)
            return err;
        if ((err = Pdf_Obj_dictGet(doc, "Alternate", stream, &alt)) != Res_ok)
            return err;
        if (alt)
            return parseDepth(doc, alt, cs, depth + 1);
        int32_t n = 0;
        if ((err = Pdf_Obj_dictGet(doc, "N", stream, &nObj)) != Res_ok ||
            (err = Pdf_Obj_getInt(doc, nObj, &n)) != Res_ok)
            return err;
        if (n == 1)
            setFamily(cs, PdfCs_gray, 1);
        else if (n == 3)
            setFamily(cs, PdfCs_rgb, 3);
        else if (n == 4)
            setFamily(cs, PdfCs_cmyk, 4);
        else
            return Res_pdfSyntax;
        return Res_ok;
    }
    if (std::strcmp(name, "Separation") == 0 || std::strcmp(name, "DeviceN") == 0) {
        PdfObj *alt = nullptr;
        if ((err = Pdf_Obj_arrayGet(doc, 2, array, &alt)) != Res_ok)
            return err;
        if (!alt)
            return Res_pdfSyntax;
        if ((err = parseDepth(doc, alt, cs, depth + 1)) != Res_ok)
            return err;
        if (name[0] == 'S') {
            cs->baseFamily = cs->family;
            cs->family = PdfCs_separation;
            cs->count = 1;
        }
        return Res_ok;
    }
    if (std::strcmp(name, "Indexed") == 0 || std::strcmp(name, "I") == 0) {
        PdfObj *base = nullptr, *hival = nullptr;
        if ((err = Pdf_Obj_arrayGet(doc, 1, array, &base)) != Res_ok || !base)
            return err;
        PdfColourSpace b{};
        reset(&b);
        if ((err = parseDepth(doc, base, &b, depth + 1)) != Res_ok)
            return err;
        if (b.family > PdfCs_lab)
            return Res_pdfSyntax;
        int32_t h = 0;
        if ((err = Pdf_Obj_arrayGet(doc, 2, array, &hival)) == Res_ok && hival)
            err = Pdf_Obj_getInt(doc, hival, &h);
        if (err)
            return err;
        cs->family = PdfCs_indexed;
        cs->baseFamily = b.family;
        cs->count = 1;
        cs->baseCount = b.count;
        cs->hival = uint32_t(h < 0 ? 0 : h);
        return Res_ok;
    }
    return Res_pdfSyntax;
}

int parseDepth(PdfDoc *doc, PdfObj *operand, PdfColourSpace *cs, uint32_t depth)
{
    if (depth > PdfCs_maxAlternates)
        return Res_pdfSyntax;
    int err = Pdf_Obj_resolve(doc, &operand);
    if (err)
        return err;
    if (!operand)
        return Res_pdfSyntax;
    if (operand->type == PdfObj_name) {
        const char *name = operand->value.name;
        if (findName(name) || std::strcmp(name, "Pattern") == 0)
            return Pdf_Cs_fromName(doc, name, cs);
        return Pdf_Cs_fromName(doc, name, cs) == Res_ok ? Res_ok : Res_pdfSyntax;
    }
    if (operand->type != PdfObj_array)
        return Res_pdfSyntax;
    // An array met again on the way down names itself.
    PdfXrefEntry *entry = operand->owner;
    if (entry && (entry->flags & PdfXref_busy))
        return Res_pdfSyntax;
    if (entry)
        entry->flags |= PdfXref_busy;
    err = parseArray(doc, operand, cs, depth);
    if (entry)
        entry->flags &= uint16_t(~PdfXref_busy);
    return err;
}

float clamp01(float x)
{
    return x < 0.0f ? 0.0f : x > 1.0f ? 1.0f : x;
}

uint8_t byteOf(float x)
{
    return uint8_t(clamp01(x) * 255.0f);
}

} // namespace

int Pdf_Cs_fromName(PdfDoc *doc, const char *name, PdfColourSpace *cs)
{
    reset(cs);
    if (const FamilyName *f = findName(name)) {
        setFamily(cs, f->family, f->count);
        return Res_ok;
    }
    if (std::strcmp(name, "Pattern") == 0) {
        cs->family = PdfCs_pattern;
        return Res_ok;
    }
    PdfObj *res = nullptr;
    int err = Pdf_Res_lookup(doc, "ColorSpace", name, &res);
    if (err)
        return err;
    if (!res)
        return Res_pdfSyntax;
    return parseDepth(doc, res, cs, 1);
}

int Pdf_Cs_parse(PdfDoc *doc, PdfObj *operand, PdfColourSpace *cs)
{
    reset(cs);
    int err = parseDepth(doc, operand, cs, 0);
    if (err)
        reset(cs);
    return err;
}

int Pdf_Cs_setColourFromOperands(PdfDoc *, PdfColourSpace *cs, PdfObj *const *operands, uint32_t n)
{
    uint32_t take = n < cs->count ? n : cs->count;
    if (take > 8)
        take = 8;
    for (uint32_t i = 0; i < take; i++) {
        const PdfObj *o = operands[i];
        if (o->type == PdfObj_int)
            cs->c[i] = float(o->value.i);
        else if (o->type == PdfObj_real)
            cs->c[i] = o->value.f;
        else if (cs->family == PdfCs_pattern && o->type == PdfObj_name)
            continue;
        else
            return Res_pdfNotNumber;
    }
    return Res_ok;
}

void Pdf_Cs_toRgba(const PdfColourSpace *cs, uint8_t *out)
{
    const float *c = cs->c;
    switch (cs->family) {
    case PdfCs_gray:
        out[0] = out[1] = out[2] = byteOf(c[0]);
        out[3] = 255;
        return;
    case PdfCs_rgb:
        out[0] = byteOf(c[0]);
        out[1] = byteOf(c[1]);
        out[2] = byteOf(c[2]);
        out[3] = 255;
        return;
    case PdfCs_cmyk:
        out[0] = byteOf(1.0f - c[0] - c[3]);
        out[1] = byteOf(1.0f - c[1] - c[3]);
        out[2] = byteOf(1.0f - c[2] - c[3]);
        out[3] = 255;
        return;
    default: out[0] = out[1] = out[2] = out[3] = 128; return;
    }
}

uint32_t Pdf_Cs_toRgb(const PdfColourSpace *cs)
{
    uint8_t b[4];
    Pdf_Cs_toRgba(cs, b);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16;
}
