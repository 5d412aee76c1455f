// PDF images: the answers to the image store's questions, and loading
// image XObjects and inline images into the store.
#include "pdf/resources/pdfimage.h"

#include <cstring>
#include <initializer_list>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/image.h"
#include "graphics/imagerender.h"
#include "pdf/colour.h"
#include "pdf/document.h"
#include "pdf/lexer.h"
#include "pdf/obj.h"
#include "pdf/page.h"
#include "pdf/filter.h"
#include "pdf/resources/pdfstream.h"
#include "platform/vfs/vfs.h"

namespace {

enum : int32_t {
    kRelease = 0,
    kWidth = 1,
    kHeight = 2,
    kResolution = 3,
    kColour = 13,
    kDecode = 14,
    kDecodeColours = 15,
    kMask = 16,
    kImageMask = 17,
    kEarlyChange = 18,
    kPredictor = 19,
    kColors = 20,
    kColumns = 21,
    kBits = 22,
    kModel = 23,
    kSamples = 24,
    kPalette = 25,
    kK = 26,
    kEndOfLine = 27,
    kByteAlign = 28,
    kEndOfBlock = 29,
    kBlackIs1 = 30,
    kDamagedRows = 31,
};

// The kind answered by each "is ..." question.
int32_t kindQuestion(int32_t id)
{
    switch (id) {
    case 4: return PdfImg_kindCcitt;
    case 5: return PdfImg_kindRaw;
    case 6: return PdfImg_kindLzw;
    case 7: return PdfImg_kindFlate;
    case 8: return PdfImg_kindRunLength;
    case 11: return PdfImg_kindJbig2;
    case 12: return PdfImg_kindJpx;
    default: return -1;
    }
}

// Where the answers come from: the codec parameters first, then the image
// dictionary, as one merged dictionary would answer (its first key wins).
struct Sources {
    PdfDoc *doc;
    PdfObj *parms;
    PdfObj *image;
};

int lookup(const Sources &s, const char *key, const char *abbreviation, PdfObj **out)
{
    *out = nullptr;
    for (PdfObj *d : {s.parms, s.image}) {
        if (!d || (d->type != PdfObj_dict && d->type != PdfObj_stream))
            continue;
        for (const char *k : {key, abbreviation}) {
            if (!k)
                continue;
            int err = Pdf_Obj_dictGet(s.doc, k, d, out);
            if (err || *out)
                return err;
        }
    }
    return Res_ok;
}

int readInt(const Sources &s, PdfImgParams *p, int32_t id, const char *key,
            const char *abbreviation)
{
    PdfObj *v = nullptr;
    int err = lookup(s, key, abbreviation, &v);
    if (err || !v)
        return err;
    err = Pdf_Obj_getInt(s.doc, v, &p->ints[id]);
    if (!err)
        p->present |= 1u << id;
    return err;
}

int readBool(const Sources &s, PdfImgParams *p, int32_t id, const char *key,
             const char *abbreviation, int fallback)
{
    PdfObj *v = nullptr;
    p->ints[id] = fallback;
    p->present |= 1u << id;
    int err = lookup(s, key, abbreviation, &v);
    if (err || !v)
        return err;
    return Pdf_Obj_getBool(s.doc, v, &p->ints[id]);
}

// The image's colour space: a name looked up in the resources unless it
// is a family, or an array; null when there is none.
int colourSpaceObject(const Sources &s, PdfObj **out)
{
    *out = nullptr;
    PdfObj *v = nullptr;
    int err = lookup(s, "ColorSpace", "CS", &v);
    if (err || !v)
        return err;
    if (v->type == PdfObj_name) {
        PdfObj *named = nullptr;
        err = Pdf_Res_lookup(s.doc, "ColorSpace", v->value.name, &named);
        if (err)
            return err;
        if (named)
            v = named;
    }
    *out = v;
    return Res_ok;
}

// The Indexed lookup as (hival + 1) RGB triples; a short lookup is padded
// with zeros.
int readPalette(const Sources &s, PdfObj *space, const PdfColourSpace &cs, PdfImgParams *p)
{
    PdfObj *lookupObj = nullptr;
    int err = Pdf_Obj_arrayGet(s.doc, 3, space, &lookupObj);
    if (err)
        return err;
    PdfString *owned = nullptr;
    const uint8_t *bytes = nullptr;
    uint32_t length = 0;
    if (lookupObj && lookupObj->type == PdfObj_string && lookupObj->value.str) {
        bytes = PdfString_bytes(lookupObj->value.str);
        length = lookupObj->value.str->length;
    } else if (lookupObj && lookupObj->type == PdfObj_stream) {
        err = Pdf_Stream_readAsString(s.doc, lookupObj, &owned);
        if (err)
            return err;
        bytes = PdfString_bytes(owned);
        length = owned->length;
    } else {
        return Res_pdfSyntax;
    }
    uint32_t per = cs.baseFamily == PdfCs_gray   ? 1
                   : cs.baseFamily == PdfCs_rgb  ? 3
                   : cs.baseFamily == PdfCs_cmyk ? 4
                                                 : 0;
    uint32_t entries = (cs.hival > 255 ? 255 : cs.hival) + 1;
    if (!per) {
        Mem_free(owned);
        return Res_pdfSyntax;
    }
    p->palette = static_cast<uint8_t *>(Mem_calloc(entries, 3));
    if (!p->palette) {
        Mem_free(owned);
        return Res_noMemory;
    }
    p->paletteSize = entries * 3;
    for (uint32_t i = 0; i < entries; i++) {
        uint8_t c[4] = {0, 0, 0, 0};
        for (uint32_t k = 0; k < per; k++)
            if (i * per + k < length)
                c[k] = bytes[i * per + k];
        uint8_t *o = p->palette + 3 * i;
        if (per == 1) {
            o[0] = o[1] = o[2] = c[0];
        } else if (per == 3) {
            o[0] = c[0];
            o[1] = c[1];
            o[2] = c[2];
        } else {
            for (int k = 0; k < 3; k++) {
                int v = 255 - c[k] - c[3];
                o[k] = uint8_t(v < 0 ? 0 : v);
            }
        }
    }
    Mem_free(owned);
    return Res_ok;
}

// Colour model, samples per pixel, palette and decode colours from the
// image's colour space.
int readColour(const Sources &s, PdfImgParams *p)
{
    PdfObj *space = nullptr;
    int err = colourSpaceObject(s, &space);
    if (err)
        return err;
    p->present |= 1u << kModel | 1u << kSamples;
    p->ints[kModel] = 0;
    p->ints[kSamples] = 1;
    p->paletteError = -1;
    p->decodeColoursError = -1;
    if (!space)
        return Res_ok;
    PdfColourSpace cs{};
    err = Pdf_Cs_parse(s.doc, space, &cs);
    if (err) {
        p->modelError = err;
        return Res_ok;
    }
    switch (cs.family) {
    case PdfCs_gray:
    case PdfCs_separation: p->ints[kModel] = 1; break;
    case PdfCs_rgb:
        p->ints[kModel] = 2;
        p->ints[kSamples] = 3;
        break;
    case PdfCs_indexed: p->ints[kModel] = 3; break;
    case PdfCs_cmyk:
        p->ints[kModel] = 4;
        p->ints[kSamples] = 4;
        break;
    default: p->modelError = Res_pdfColourModel; break;
    }
    if (cs.family == PdfCs_indexed) {
        if (space->type != PdfObj_array)
            p->paletteError = Res_pdfSyntax;
        else if (int e = readPalette(s, space, cs, p))
            p->paletteError = e;
        else
            p->paletteError = 0;
    }
    // Decode colours: the even-indexed Decode values make the first
    // colour, the odd-indexed ones the second.
    if (p->present & 1u << kDecode) {
        if (p->decodeCount % 2)
            p->decodeColoursError = Res_pdfSyntax;
        else {
            for (int which = 0; which < 2; which++) {
                PdfColourSpace c = cs;
                for (uint32_t i = 0; i < 8; i++)
                    c.c[i] = 0;
                for (uint32_t i = 0; 2 * i + uint32_t(which) < p->decodeCount && i < 8; i++)
                    c.c[i] = p->decode[2 * i + uint32_t(which)];
                p->decodeColours[which] = Pdf_Cs_toRgb(&c);
            }
            p->decodeColoursError = 0;
        }
    }
    return Res_ok;
}

int readArrays(const Sources &s, PdfImgParams *p)
{
    PdfObj *v = nullptr;
    int err = lookup(s, "Decode", "D", &v);
    if (!err && v) {
        uint32_t n = 0;
        err = Pdf_Obj_getCount(s.doc, v, &n);
        if (!err && v->type != PdfObj_array)
            err = Res_pdfNotArray;
        if (!err) {
            n = n > PdfImg_maxDecode ? PdfImg_maxDecode : n;
            err = Pdf_Obj_getNumberArray(s.doc, v, n, p->decode);
            p->decodeCount = n;
            if (!err)
                p->present |= 1u << kDecode;
        }
        if (err)
            return err;
    }
    // A Mask that is a stream (an explicit mask) is not read: the image is
    // drawn without it. Only a colour-key array answers.
    v = nullptr;
    err = lookup(s, "Mask", nullptr, &v);
    if (!err && v && v->type == PdfObj_array) {
        uint32_t n = v->value.arr ? v->value.arr->count : 0;
        n = n > PdfImg_maxKey ? PdfImg_maxKey : n;
        if (Pdf_Obj_getIntArray(s.doc, v, n, p->key) == Res_ok) {
            p->keyCount = n;
            p->present |= 1u << kMask;
        }
    }
    return err;
}

int answerInt(int32_t v, void *value, int32_t *size)
{
    *size = 4;
    if (value)
        std::memcpy(value, &v, 4);
    return Res_ok;
}

int answerBytes(const void *bytes, uint32_t count, void *value, int32_t *size)
{
    *size = int32_t(count);
    if (value && count)
        std::memcpy(value, bytes, count);
    return Res_ok;
}

} // namespace

uint32_t Pdf_Img_kindOf(const char *f)
{
    if (!f)
        return PdfImg_kindRaw;
    struct Name {
        const char *full, *abbreviation;
        uint32_t kind;
    };
    static const Name names[] = {
        {"DCTDecode", "DCT", PdfImg_kindDct},
        {"CCITTFaxDecode", "CCF", PdfImg_kindCcitt},
        {"LZWDecode", "LZW", PdfImg_kindLzw},
        {"FlateDecode", "Fl", PdfImg_kindFlate},
        {"RunLengthDecode", "RL", PdfImg_kindRunLength},
        {"JBIG2Decode", nullptr, PdfImg_kindJbig2},
        {"JPXDecode", nullptr, PdfImg_kindJpx},
    };
    for (const Name &n : names)
        if (!std::strcmp(f, n.full) || (n.abbreviation && !std::strcmp(f, n.abbreviation)))
            return n.kind;
    return PdfImg_kindRaw;
}

int Pdf_Img_readParams(PdfDoc *doc, PdfObj *image, uint32_t kind, PdfObj *codecParms, uint32_t fill,
                       PdfImgParams *p)
{
    *p = PdfImgParams{};
    p->kind = kind;
    Sources s{doc, codecParms, image};
    p->ints[kColour] = int32_t(fill & 0xFFFFFF);
    p->ints[kResolution] = 72;
    p->present |= 1u << kColour | 1u << kResolution;
    int err = readInt(s, p, kWidth, "Width", "W");
    if (!err)
        err = readInt(s, p, kHeight, "Height", "H");
    if (!err && !(p->present & 1u << kWidth))
        err = Res_pdfNoInt;
    if (!err && !(p->present & 1u << kHeight))
        err = Res_pdfNoInt;
    struct IntKey {
        int32_t id;
        const char *key, *abbreviation;
    };
    static const IntKey ints[] = {
        {kEarlyChange, "EarlyChange", nullptr},
        {kPredictor, "Predictor", nullptr},
        {kColors, "Colors", nullptr},
        {kColumns, "Columns", nullptr},
        {kBits, "BitsPerComponent", "BPC"},
        {kK, "K", nullptr},
        {kDamagedRows, "DamagedRowsBeforeError", nullptr},
    };
    for (const IntKey &k : ints)
        if (!err)
            err = readInt(s, p, k.id, k.key, k.abbreviation);
    struct BoolKey {
        int32_t id;
        const char *key, *abbreviation;
        int fallback;
    };
    static const BoolKey bools[] = {
        {kImageMask, "ImageMask", "IM", 0},           {kEndOfLine, "EndOfLine", nullptr, 0},
        {kByteAlign, "EncodedByteAlign", nullptr, 0}, {kEndOfBlock, "EndOfBlock", nullptr, 1},
        {kBlackIs1, "BlackIs1", nullptr, 0},
    };
    for (const BoolKey &k : bools)
        if (!err)
            err = readBool(s, p, k.id, k.key, k.abbreviation, k.fallback);
    if (!err)
        err = readArrays(s, p);
    if (!err)
        err = readColour(s, p);
    if (err)
        Pdf_Img_freeParams(p);
    return err;
}

void Pdf_Img_freeParams(PdfImgParams *p)
{
    Mem_free(p->palette);
    p->palette = nullptr;
    p->paletteSize = 0;
}

int Pdf_Img_queryAttribute(void *holder, int32_t id, void *value, int32_t *size)
{
    PdfImgParams *p = static_cast<PdfImgParams *>(holder);
    if (id == kRelease) {
        if (p) {
            Pdf_Img_freeParams(p);
            Mem_free(p);
        }
        return Res_ok;
    }
    if (!p || !size)
        return Res_nullInput;
    *size = -1;
    if (int32_t kind = kindQuestion(id); kind >= 0) {
        if (p->kind == uint32_t(kind))
            *size = 0;
        return Res_ok;
    }
    switch (id) {
    case kDecode:
        return p->present & 1u << kDecode ? answerBytes(p->decode, 4 * p->decodeCount, value, size)
                                          : Res_ok;
    case kDecodeColours:
        if (p->decodeColoursError > 0)
            return p->decodeColoursError;
        return p->decodeColoursError == 0 ? answerBytes(p->decodeColours, 8, value, size) : Res_ok;
    case kMask:
        return p->present & 1u << kMask ? answerBytes(p->key, 4 * p->keyCount, value, size)
                                        : Res_ok;
    case kModel:
    case kSamples:
        if (p->modelError)
            return p->modelError;
        break;
    case kPalette:
        if (p->paletteError > 0)
            return p->paletteError;
        return p->paletteError == 0 ? answerBytes(p->palette, p->paletteSize, value, size) : Res_ok;
    default: break;
    }
    if (id > 0 && id < 32 && (p->present & 1u << id))
        return answerInt(p->ints[id], value, size);
    return Res_ok;
}

namespace {

bool isWhite(uint8_t c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == 0;
}

// The bytes of unfiltered inline data: rows of width x components x bits,
// each padded to a byte. 0 when they cannot be known.
uint64_t inlineSize(const PdfImgParams &p)
{
    int64_t bits = p.ints[kImageMask] ? 1 : (p.present & 1u << kBits) ? p.ints[kBits] : 0;
    int64_t comps = p.ints[kImageMask] ? 1 : p.modelError ? 0 : p.ints[kSamples];
    int64_t w = p.ints[kWidth], h = p.ints[kHeight];
    if (bits <= 0 || bits > 16 || comps <= 0 || w <= 0 || h <= 0 || w > 0x1000000 || h > 0x1000000)
        return 0;
    return uint64_t((w * comps * bits + 7) / 8) * uint64_t(h);
}

// Steps over the white space and the "EI" after inline data read to its
// size; data that do not end there are skipped up to the first "EI" that
// stands between white space.
void finishInline(PdfLexer *lexer)
{
    uint8_t c = 0;
    size_t n = 1;
    do {
        n = 1;
        if (Pdf_Lex_readRaw(lexer, &n, &c) != Res_ok || n)
            return;
    } while (isWhite(c));
    uint8_t d = 0;
    n = 1;
    if (c == 'E' && Pdf_Lex_readRaw(lexer, &n, &d) == Res_ok && !n && d == 'I')
        return;
    int prev2 = c, prev1 = d;
    for (;;) {
        n = 1;
        if (Pdf_Lex_readRaw(lexer, &n, &c) != Res_ok || n)
            return;
        if (isWhite(uint8_t(prev2)) && prev1 == 'E' && c == 'I')
            return;
        prev2 = prev1;
        prev1 = c;
    }
}

} // namespace

int Pdf_Img_load(PdfDoc *doc, PdfObj *image, PdfLexer *inlineLexer, uint32_t fill,
                 ImageHandle **out, int32_t *width, int32_t *height)
{
    *out = nullptr;
    *width = *height = 0;
    int err = Pdf_Obj_resolve(doc, &image);
    if (err)
        return err;
    if (!image || (inlineLexer ? image->type != PdfObj_dict : image->type != PdfObj_stream))
        return Res_pdfNoStream;
    // The chain reads a stream object; an inline image's dictionary is
    // given one for the purpose.
    PdfStreamRec inlineRec{image->value.dict, 0};
    PdfObj inlineStream{PdfObj_stream, {}, nullptr};
    inlineStream.value.stream = &inlineRec;
    PdfObj *stream = inlineLexer ? &inlineStream : image;
    PdfLexer *lexer = inlineLexer ? inlineLexer : doc->lexer;
    uint64_t saved = Pdf_Lex_tell(lexer);
    int32_t length = 0;
    if (!inlineLexer) {
        PdfObj *lengthObj = nullptr;
        err = Pdf_Obj_dictGet(doc, "Length", image, &lengthObj);
        if (!err)
            err = Pdf_Obj_getInt(doc, lengthObj, &length);
        if (!err && length < 0)
            err = Res_pdfSyntax;
        if (!err)
            err = Pdf_Lex_seek(lexer, image->value.stream->offset);
        if (err)
            return err;
    }
    // The parameters first: an unfiltered inline image is read to the
    // size they give, so that data holding " EI " are not cut.
    PdfObj *filter = nullptr;
    err = Pdf_Obj_dictGet(doc, "Filter", stream, &filter);
    if (!err && !filter)
        err = Pdf_Obj_dictGet(doc, "F", stream, &filter);
    PdfImgParams *params = static_cast<PdfImgParams *>(Mem_calloc(1, sizeof(PdfImgParams)));
    if (!err && !params)
        err = Res_noMemory;
    uint64_t known = 0;
    if (!err && inlineLexer && !filter) {
        err = Pdf_Img_readParams(doc, image, PdfImg_kindRaw, nullptr, fill, params);
        if (!err)
            known = inlineSize(*params);
        Pdf_Img_freeParams(params);
    }
    PdfStreamChain *chain = nullptr;
    PdfChainInfo info{};
    const char *codec = nullptr;
    PdfObj *codecParms = nullptr;
    if (!err)
        err = Pdf_Stream_openChain(doc, lexer, stream, inlineLexer && !known ? "EI" : nullptr,
                                   inlineLexer ? known : uint64_t(length), &info, &chain, &codec,
                                   &codecParms);
    uint8_t *block = nullptr;
    size_t size = 0;
    if (!err)
        err = Pdf_Img_readParams(doc, image, Pdf_Img_kindOf(codec), codecParms, fill, params);
    if (!err && (params->kind == PdfImg_kindJbig2 || params->kind == PdfImg_kindJpx))
        err = Res_pdfColourModel;
    if (!err)
        err = Pdf_Stream_readAll(doc, info.top, &block, &size);
    if (inlineLexer && chain) {
        // The data up to "EI" are consumed whatever the codec read of them.
        uint8_t *rest = nullptr;
        size_t restSize = 0;
        if (Pdf_Stream_readAll(doc, chain->stages[0], &rest, &restSize) == Res_ok)
            Mem_free(rest);
        if (known)
            finishInline(lexer);
    }
    Pdf_Stream_closeChain(chain);
    if (!inlineLexer) {
        int restore = Pdf_Lex_seek(lexer, saved);
        if (!err)
            err = restore;
    }
    if (!err && !size)
        err = Res_pdfImageEmpty;
    VfsHandle *memory = nullptr;
    if (!err) {
        uint32_t accepted = 0;
        err = Vfs_openMemory(doc->context, block, size, 1, Vfs_modeRead | Vfs_modeSeekable, &memory,
                             &accepted);
        block = nullptr; // the stream owns it, also when the open failed
    }
    Mem_free(block);
    if (err) {
        if (params) {
            Pdf_Img_freeParams(params);
            Mem_free(params);
        }
        return err;
    }
    int32_t w = params->ints[kWidth], h = params->ints[kHeight];
    // The store owns the holder from here: it tells the hook when the
    // image goes, also when the open fails.
    err = Image_createFromStream(doc->context, memory, nullptr, Pdf_Img_queryAttribute, params, w,
                                 h, ImageOpt_sync | ImageOpt_recognise, 0, out);
    if (err)
        return err;
    *width = w;
    *height = h;
    return Res_ok;
}
