// Word inline pictures: the picture header (PICF) in the "Data" stream,
// monochrome bitmaps, OfficeArt pictures, metafile and bitmap data, the
// fallback that hands a picture's look to a floating shape, and the
// placeholder box.
#include <cstring>

#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/stylerule.h"
#include "core/task/task.h"
#include "core/stream/bytestream.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "graphics/image.h"
#include "graphics/imagerender.h"
#include "document/import/metafile.h"
#include "graphics/path.h"
#include "graphics/pixelbuf.h"
#include "graphics/imageconv.h"
#include "document/edr/attach.h"
#include "office/officeart/escher.h"
#include "office/ole2/ole.h"
#include "office/shape/place.h"
#include "platform/vfs/vfs.h"
#include "word/reader/build.h"

namespace {

WordReader *readerOf(WordRunState *rs)
{
    return rs->para->section->builder->reader;
}

Edr_Doc *docOf(WordRunState *rs)
{
    return rs->para->section->builder->doc;
}

// The object id and the innermost field of the run, as picture properties.
int pictureFieldProps(WordRunState *rs, WordPropList *list)
{
    WordReader *r = readerOf(rs);
    WordLoad *l = r->load;
    int err = Res_ok;
    if (rs->chp.fObj)
        err = Word_propAdd(list, 153, WordValue_int, rs->chp.fcObj, r);
    if (!err && l->fieldDepth && l->fieldDepth <= Word_maxFieldDepth) {
        const WordFieldLevel &f = l->fields[l->fieldDepth];
        if (f.instruction)
            err = Word_propAddString(list, 148, f.instruction, r);
        if (!err)
            err = Word_propAdd(list, 149, WordValue_int, f.type, r);
        if (!err)
            err = Word_propAdd(list, 150, WordValue_int, l->fieldDepth, r);
    }
    return err;
}

// The style of a picture group: property 34 or 139 first, then the size,
// the picture position and the field properties.
int pictureStyle(WordRunState *rs, uint32_t firstId, uint32_t firstKeyword, int32_t width,
                 int32_t height, uint32_t *styleId)
{
    WordReader *r = readerOf(rs);
    WordPropList list;
    Word_propListInit(&list);
    int err = Word_propAdd(&list, firstId, WordValue_keyword, firstKeyword, r);
    if (!err)
        err = Word_propAdd(&list, 90, WordValue_length, uint32_t(width), r);
    if (!err)
        err = Word_propAdd(&list, 44, WordValue_length, uint32_t(height), r);
    if (!err)
        err = Word_propAdd(&list, 146, WordValue_int, uint32_t(rs->chp.fcPic), r);
    if (!err)
        err = pictureFieldProps(rs, &list);
    if (!err)
        err = Word_styleIntern(&list, styleId, r);
    Word_propListClear(&list);
    return err;
}

void destroyPixels(void *data)
{
    PixelBuf_destroy(static_cast<PixelBuf *>(data));
}

// The image group of a bitmap: a group in the run's text group holding a
// picture node over the pixel buffer (taken in every case).
int emitBitmapGroup(WordRunState *rs, PixelBuf *pixels, int32_t width, int32_t height)
{
    Edr_Doc *doc = docOf(rs);
    uint32_t styleId = 0;
    int err = Word_ensureTextGroup(rs);
    if (!err)
        err = pictureStyle(rs, 34, 175, width, height, &styleId);
    Edr_Node *group = nullptr, *picture = nullptr;
    if (!err)
        err = Edr_Node_createGroup(doc, rs->textGroup, Edr_Insert_lastChild, 0, &group);
    Edr_PictureRecord *record = nullptr;
    if (!err) {
        record = static_cast<Edr_PictureRecord *>(Mem_calloc(1, sizeof(Edr_PictureRecord)));
        if (!record)
            err = Res_noMemory;
    }
    if (!err) {
        record->words[0] = width;
        record->words[1] = height;
        record->words[2] = 1;
        record->buffer = pixels;
        record->ownsBuffer = 0;
        err = Edr_Node_createTriple(doc, group, Edr_Insert_lastChild, &picture, record, 0, 0);
        if (err)
            Mem_free(record);
    }
    if (!err) {
        // The node keeps the pixels and frees them with itself.
        err = Edr_Node_setPrivate(doc, picture, pixels, destroyPixels);
        if (!err)
            pixels = nullptr;
    }
    if (!err)
        err = Word_nodeSetStyle(doc, group, WordClass_picture, styleId);
    if (picture)
        Edr_Node_release(doc, picture);
    if (group)
        Edr_Node_release(doc, group);
    PixelBuf_destroy(pixels);
    return err;
}

int32_t goalSize(uint16_t goal, uint16_t scale)
{
    return int32_t(int64_t(int16_t(goal)) * 65536 / 1440 * scale / 1000);
}

} // namespace

int Word_readPicf(WordReader *r, uint32_t fc, WordPicf *out)
{
    memset(out, 0, sizeof *out);
    if (!r->dataStream)
        return Res_wordNoShapes;
    uint8_t b[Word_picf97Bytes];
    size_t got = 0;
    int err = Ole_streamReadAt(r->dataStream, fc, 6, &got, b);
    if (err == Res_oleStreamEnd || (!err && got < 6))
        return Res_wordShortPicture;
    if (err)
        return err;
    bool word6 = r->fib.wIdent == Word_identWord6;
    out->total = Bytes_peekU32Le(b);
    out->headerBytes = Bytes_peekU16Le(b + 4);
    if (out->headerBytes != (word6 ? Word_picf6Bytes : Word_picf97Bytes))
        return Res_wordBadPicfLength;
    err = Ole_streamReadAt(r->dataStream, fc, out->headerBytes, &got, b);
    if (err == Res_oleStreamEnd || (!err && got < out->headerBytes))
        return Res_wordShortPicture;
    if (err)
        return err;
    out->mode = Bytes_peekU16Le(b + 6);
    out->xExt = int16_t(Bytes_peekU16Le(b + 8));
    out->yExt = int16_t(Bytes_peekU16Le(b + 10));
    out->metafile = Bytes_peekU16Le(b + 12);
    out->dxaGoal = Bytes_peekU16Le(b + 28);
    out->dyaGoal = Bytes_peekU16Le(b + 30);
    out->mx = Bytes_peekU16Le(b + 32);
    out->my = Bytes_peekU16Le(b + 34);
    for (uint32_t i = 0; i < 4; i++)
        out->crop[i] = Bytes_peekU16Le(b + 36 + 2 * i);
    out->flags = b[44];
    if (word6) {
        for (uint32_t i = 0; i < 4; i++)
            out->borders[i] = Bytes_peekU16Le(b + 46 + 2 * i);
        out->originX = Bytes_peekU16Le(b + 54);
        out->originY = Bytes_peekU16Le(b + 56);
    } else {
        for (uint32_t i = 0; i < 4; i++)
            out->borders[i] = Bytes_peekU32Le(b + 46 + 4 * i);
        out->originX = Bytes_peekU16Le(b + 62);
        out->originY = Bytes_peekU16Le(b + 64);
    }
    return Res_ok;
}

int Word_readPictureData(WordReader *r, uint32_t fc, const WordPicf *picf, uint8_t **out,
                         uint32_t *length)
{
    *out = nullptr;
    *length = 0;
    if (picf->total < picf->headerBytes)
        return Res_wordShortPicture;
    uint32_t n = picf->total - picf->headerBytes;
    if (n == 0)
        return Res_ok;
    uint64_t at = uint64_t(fc) + picf->headerBytes;
    if (at + n > Ole_streamSize(r->dataStream))
        return Res_wordShortPicture; // checked before a buffer of that size is made
    int err = Word_readBlock(r->dataStream, int64_t(at), n, out);
    if (err == Res_oleStreamEnd || err == Res_oleSeekBeyond)
        err = Res_wordShortPicture;
    if (err) {
        Mem_free(*out);
        *out = nullptr;
        return err;
    }
    *length = n;
    return Res_ok;
}

int Word_monoBitmapCheck(const WordPicf *picf, uint32_t length)
{
    if (picf->xExt < 0 || picf->yExt < 0)
        return Res_wordShortPicture;
    uint64_t bits = uint64_t(uint16_t(picf->xExt)) * uint16_t(picf->yExt);
    if ((bits + 7) / 8 > length)
        return Res_wordShortPicture;
    return Res_ok;
}

namespace {

// Mode 99: one bit per pixel, rows one after the other, 1 white.
int expandMonoBitmap(WordRunState *rs, const WordPicf *picf, const uint8_t *data, uint32_t length)
{
    int err = Word_monoBitmapCheck(picf, length);
    if (err)
        return err;
    WordReader *r = readerOf(rs);
    if ((err = Word_ensureTextGroup(rs)) != Res_ok)
        return err;
    uint32_t w = uint32_t(picf->xExt), h = uint32_t(picf->yExt);
    uint32_t format = Pixel_normaliseFormat(Pixel_format565);
    PixelBuf *pixels = nullptr;
    if ((err = PixelBuf_create(&pixels, int32_t(w), int32_t(h), format, 96)) != Res_ok)
        return err;
    // The row converter from 32-bit pixels to the buffer's format.
    RowConvFn convert = RowConv_forFormat(r->ctx, format);
    if (!convert) {
        PixelBuf_destroy(pixels);
        return Res_wordNoRowConverter;
    }
    uint32_t *row = static_cast<uint32_t *>(Mem_malloc((size_t(w) + 1) * sizeof(uint32_t)));
    if (!row) {
        PixelBuf_destroy(pixels);
        return Res_noMemory;
    }
    for (uint32_t y = 0; y < h; y++) {
        for (uint32_t x = 0; x < w; x++) {
            uint64_t bit = uint64_t(y) * w + x;
            row[x] = (data[bit / 8] >> (7 - bit % 8)) & 1 ? 0xFFFFFFu : 0;
        }
        RowConv_applyRowsDirect(convert, reinterpret_cast<const uint8_t *>(row), size_t(w) * 4, w,
                                1, pixels->pixels + size_t(y) * pixels->stride, pixels->stride);
        if (y && y % 15 == 0 && r->ctx)
            Task_yield(r->ctx);
    }
    Mem_free(row);
    int32_t width = int32_t(int64_t(int16_t(picf->dxaGoal)) * picf->mx / 1000 * 65536 / 1440);
    int32_t height = int32_t(int64_t(int16_t(picf->dyaGoal)) * picf->my / 1000 * 65536 / 1440);
    return emitBitmapGroup(rs, pixels, width, height);
}

// Hands the picture's look to the pending floating shape, if any, with a
// placeholder box over the shape; the picture group itself keeps no style
// and an empty text.
int pictureFallback(WordRunState *rs, Edr_Node *group, uint32_t styleId)
{
    WordParaState *para = rs->para;
    Edr_Doc *doc = docOf(rs);
    int err = Res_ok;
    WordPendingShape &p = para->pendingShape;
    if (p.outer) {
        err = Word_nodeSetStyle(doc, p.outer, 0, styleId);
        StyleRule *list = nullptr;
        if (!err)
            err = StyleRule_create(&list);
        if (!err) {
            Prop v;
            Prop_zero(&v);
            Prop_setInt(&v, 146, int32_t(p.spid));
            err = StyleRule_appendProp(list, &v);
            if (!err)
                err = Edr_Node_setPropList2Resolved(doc, p.outer, list);
            if (!err)
                list = nullptr;
            StyleRule_destroy(list);
        }
        Edr_Node *parent = nullptr;
        if (!err)
            err = Edr_Node_getParent(doc, p.outer, &parent);
        if (!err && parent) {
            err = Word_drawPlaceholderBox(doc, parent, p.bounds[0], p.bounds[1], p.bounds[2],
                                          p.bounds[3]);
            Edr_Node_release(doc, parent);
        }
        int dropErr = Word_paraFinishShape(para, 0);
        if (!err)
            err = dropErr;
    }
    int err2 = Edr_Node_setStyle(doc, group, 0);
    if (!err2)
        err2 = Edr_Node_createText(doc, group, Edr_Insert_lastChild, nullptr, u"", 0);
    return err ? err : err2;
}

// Mode 100: an SpContainer and its FBSE after the header.
int placeOfficeArtPicture(WordRunState *rs, uint32_t fc, const WordPicf *picf, int32_t width,
                          int32_t height)
{
    WordReader *r = readerOf(rs);
    Edr_Doc *doc = docOf(rs);
    uint32_t styleId = 0;
    int err = pictureStyle(rs, 139, 74, width, height, &styleId);
    Edr_Node *group = nullptr;
    if (!err)
        err = Edr_Node_createGroup(doc, rs->para->container, Edr_Insert_lastChild, 0, &group);
    if (!err)
        err = Word_nodeSetStyle(doc, group, WordClass_picture, styleId);
    if (err) {
        if (group)
            Edr_Node_release(doc, group);
        return err;
    }
    EscherDrawing *drawing = nullptr;
    err = Ole_streamSeek(r->dataStream, fc + picf->headerBytes, 0);
    if (!err)
        err = Escher_openInlinePicture(r->ctx, r->dataStream, &drawing, Word_shapeStyle,
                                       Word_shapeTextBox, r);
    if (err) {
        if (rs->para->pendingShape.outer)
            (void)pictureFallback(rs, group, styleId);
        Edr_Node_release(doc, group);
        return err;
    }
    EscherDrawingGroup *g = drawing->current;
    EscherShape *shape = g && g->count ? &g->shapes[0] : nullptr;
    EscherProp *blip =
        shape ? const_cast<EscherProp *>(Escher_propFind(260, shape->props)) : nullptr;
    if (blip) {
        blip->flags = EscherProp_blipId;
        // The record after the shape is the picture's own blip store of one
        // entry; the shape may still name the blip by its number in the
        // document's store (an embedded object's preview does), which is
        // not this one.
        if (drawing->blipCount == 1 && blip->value > drawing->blipCount)
            blip->value = 1;
        WordDrawings *d = r->load->drawings;
        WordSectionContext *saved = d ? d->section : nullptr;
        if (d)
            d->section = rs->para->section;
        ShapeRect bounds = {0, 0, width, height};
        err = Shape_placeTree(doc, group, drawing, g, 0, &bounds, 0);
        if (d)
            d->section = saved;
    } else {
        err = pictureFallback(rs, group, styleId);
    }
    Escher_drawingGroupFreeBlips(drawing, g);
    drawing->current = nullptr;
    Escher_drawingStateFree(drawing);
    Edr_Node_release(doc, group);
    return err;
}

bool isMetafile(const uint8_t *data, uint32_t length)
{
    if (length >= 4 && Bytes_peekU32Le(data) == 0x9AC6CDD7u)
        return true;
    return length >= 18 && Wmf_isHeader(data);
}

// Other modes: metafile or bitmap data after the header.
int placePictureData(WordRunState *rs, uint32_t fc, const WordPicf *picf, int32_t width,
                     int32_t height)
{
    WordReader *r = readerOf(rs);
    Edr_Doc *doc = docOf(rs);
    uint8_t *data = nullptr;
    uint32_t length = 0;
    int err = Word_readPictureData(r, fc, picf, &data, &length);
    if (err || !data)
        return err;
    uint32_t styleId = 0;
    err = pictureStyle(rs, 139, 74, width, height, &styleId);
    Edr_Node *group = nullptr;
    if (!err)
        err = Edr_Node_createGroup(doc, rs->para->container, Edr_Insert_lastChild, 0, &group);
    if (!err)
        err = Word_nodeSetStyle(doc, group, WordClass_picture, styleId);
    if (!err && isMetafile(data, length)) {
        const Rect target = {0, 0, width, height};
        err = Wmf_playToDoc(data, length, doc, group, &target, nullptr, 0, Word_shapeStyle, r);
        Mem_free(data);
    } else if (!err) {
        VfsHandle *stream = nullptr;
        uint32_t accepted = 0;
        ImageHandle *image = nullptr;
        // The memory stream takes the bytes.
        err = Vfs_openMemory(r->ctx, data, length, 1, Vfs_modeRead | Vfs_modeSeekable, &stream,
                             &accepted);
        if (!err)
            err = Image_createFromStream(r->ctx, stream, nullptr, nullptr, nullptr, 0, 0, 0x205, 0,
                                         &image);
        if (!err) {
            err = Edr_Node_createImageFrom(doc, group, Edr_Insert_lastChild, nullptr, image);
            if (err)
                ImageHandle_release(image);
        }
    } else {
        Mem_free(data);
    }
    if (group)
        Edr_Node_release(doc, group);
    return err;
}

} // namespace

int Word_placePicture(WordRunState *rs)
{
    WordReader *r = readerOf(rs);
    if (!r->dataStream)
        return Res_wordNoShapes;
    if (rs->chp.fcPic < 0)
        return Res_wordShortPicture;
    uint32_t fc = uint32_t(rs->chp.fcPic);
    WordPicf picf;
    int err = Word_readPicf(r, fc, &picf);
    if (err)
        return err;
    int32_t width = goalSize(picf.dxaGoal, picf.mx);
    int32_t height = goalSize(picf.dyaGoal, picf.my);
    switch (picf.mode) {
    case 98: return Res_wordPictureMode98;
    case 99: {
        uint8_t *data = nullptr;
        uint32_t length = 0;
        if ((err = Word_readPictureData(r, fc, &picf, &data, &length)) != Res_ok)
            return err;
        err = expandMonoBitmap(rs, &picf, data, length);
        Mem_free(data);
        return err;
    }
    case 100: return placeOfficeArtPicture(rs, fc, &picf, width, height);
    default: return placePictureData(rs, fc, &picf, width, height);
    }
}

int Word_drawPlaceholderBox(Edr_Doc *doc, Edr_Node *parent, int32_t x, int32_t y, int32_t width,
                            int32_t height)
{
    Prop v;
    Prop_zero(&v);
    int err = Res_ok;
    auto data = [&]() {
        if (!err)
            err = Edr_Node_createData(doc, parent, Edr_Insert_lastChild, nullptr, &v);
        Prop_zero(&v);
    };
    Prop_set(&v, 74, PropType_pointer, uintptr_t(uint32_t(x)), uint32_t(y + height));
    data();
    Prop_setType(&v, 125, 198);
    data();
    const uint8_t black[4] = {0, 0, 0, 0};
    Prop_setColour(&v, 127, black);
    data();
    Prop_setLength(&v, 128, 1000);
    data();
    if (err)
        return err;
    Path *path = nullptr;
    if ((err = Path_create(&path, 0x10000)) != Res_ok)
        return err;
    err = Path_moveTo(path, x, y);
    if (!err)
        err = Path_lineTo(path, x, y + height);
    if (!err)
        err = Path_lineTo(path, x + width, y + height);
    if (!err)
        err = Path_lineTo(path, x + width, y);
    if (!err)
        err = Path_lineTo(path, x, y);
    if (!err)
        err = Path_close(path);
    if (!err)
        err = Edr_Node_createPath(doc, parent, Edr_Insert_lastChild, nullptr, path);
    if (err)
        Path_destroy(path);
    return err;
}
