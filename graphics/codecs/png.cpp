// The PNG decoder over libpng's progressive reader (libpng 1.6).
//
// Both entry points push the data into the library piece by piece and let
// its callbacks do the work: the header callback sets up the
// transformations to 8-bit RGBA and the picture, the row callback converts
// each finished row into the current band of the store, the end callback
// hands the last band over. The library allocates from the engine heap;
// its errors, and every failure met inside a callback, leave the library
// through the engine's non-local exit set on the library's jump buffer.
// No object with a destructor lives across it: the decoder's state is a
// plain record on the caller's stack, reached through a pointer.
#include "graphics/codecs/png.h"

#include <png.h>

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "core/task/task.h"
#include "graphics/imagecodec.h"
#include "graphics/imageconv.h"
#include "graphics/pixelbuf.h"
#include "platform/vfs/helpers.h"

// The rows the library writes are R, G, B, A bytes, which the row
// converters read as 0xAABBGGRR words.
static_assert(std::endian::native == std::endian::little,
              "RGBA rows are read as little-endian words");

namespace {

struct PngDecodeState {
    int error; // set by a callback before it leaves the library
    EngineContext *app;
    ImageObject *image;
    uint32_t pictureFormat, maskFormat;
    int32_t width, height, dpi;
    PixelBuf *bandPicture, *bandMask;
    int32_t bandFirst, bandRows, bandNext;
    int32_t hasAlpha, interlaced;
    uint8_t *rows; // one row, or the whole image when interlaced
    size_t rowBytes;
    int32_t lowRow, highRow; // rows written since the last report (none: low > high)
    RowConvAlphaFn convert;
    int32_t headerOnly, headerSeen, ended;
    int32_t rowsWritten; // rows converted (every pass counts)
    int32_t nextRow;     // non-interlaced: the row after the last one written
    PeekStream *peek;
    png_structp png;
    png_infop info;
};

PngDecodeState *stateOf(png_structp png)
{
    return static_cast<PngDecodeState *>(png_get_progressive_ptr(png));
}

png_voidp pngMalloc(png_structp png, png_alloc_size_t size)
{
    void *p = Mem_malloc(size);
    if (!p) {
        if (PngDecodeState *s = static_cast<PngDecodeState *>(png_get_mem_ptr(png)))
            s->error = Res_noMemory;
    }
    return p;
}

void pngFree(png_structp, png_voidp p)
{
    Mem_free(p);
}

// The library's messages are shown nowhere; an error leaves the library.
[[noreturn]] void pngError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

// Stores code and leaves the library.
[[noreturn]] void fail(PngDecodeState *s, int code)
{
    s->error = code;
    png_longjmp(s->png, 1);
}

int reportRows(PngDecodeState *s)
{
    if (s->lowRow > s->highRow)
        return Res_ok;
    int r = ImageDec_rowsDone(s->image, 0, s->lowRow, s->width, s->highRow - s->lowRow + 1);
    s->lowRow = INT32_MAX;
    s->highRow = -1;
    return r;
}

int takeBand(PngDecodeState *s, int32_t row)
{
    PixelBuf *picture = nullptr, *mask = nullptr;
    int32_t count = 0;
    int r = Image_getRowBuffer(s->image, &picture, &mask, row, &count);
    if (r != Res_ok)
        return r;
    if (!picture || !mask || count <= 0)
        return Res_imageNoPicture;
    s->bandPicture = picture;
    s->bandMask = mask;
    s->bandFirst = row;
    s->bandRows = count;
    s->bandNext = 0;
    return Res_ok;
}

// Hands a band of staging rows to the store. Rows of a band that the data
// never reached are cleared first (white and transparent), so that they do
// not show the rows of the band before.
int putBand(PngDecodeState *s)
{
    if (!s->bandPicture)
        return Res_ok;
    if (!s->interlaced) {
        if (s->bandNext < s->bandRows) {
            int32_t missing = s->bandRows - s->bandNext;
            PixelBuf_fillRectWhite(s->bandPicture, 0, s->bandNext, s->bandPicture->width, missing);
            PixelBuf_fillRect(s->bandMask, 0, s->bandNext, s->bandMask->width, missing, 0);
        }
        if (s->bandNext > 0) {
            s->lowRow = std::min(s->lowRow, s->bandFirst);
            s->highRow = std::max(s->highRow, s->bandFirst + s->bandNext - 1);
        }
    }
    int r = Image_putRows(s->image, s->bandPicture, s->bandMask);
    s->bandPicture = s->bandMask = nullptr;
    return r;
}

void pngHeader(png_structp png, png_infop info)
{
    PngDecodeState *s = stateOf(png);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colourType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colourType, &interlace, nullptr, nullptr);
    png_uint_32 xRes = 0, yRes = 0;
    int unit = 0;
    int present = png_get_pHYs(png, info, &xRes, &yRes, &unit) != 0;
    s->width = int32_t(width);
    s->height = int32_t(height);
    // Without a resolution in pHYs the store's default applies (0).
    bool stated = present && unit == PNG_RESOLUTION_METER && xRes >= 10;
    s->dpi = stated ? Png_resolution(present, uint32_t(unit), xRes) : 0;
    s->interlaced = interlace != PNG_INTERLACE_NONE;
    if (s->headerOnly) {
        s->headerSeen = 1;
        png_longjmp(png, 1);
    }

    bool transparencyChunk = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (colourType == PNG_COLOR_TYPE_PALETTE || (colourType == PNG_COLOR_TYPE_GRAY && depth < 8) ||
        transparencyChunk)
        png_set_expand(png);
    if (depth == 16)
        png_set_strip_16(png);
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    if (s->interlaced)
        (void)png_set_interlace_handling(png);

    int r = ImageDec_setHeader(s->image, s->width, s->height, s->dpi, s->interlaced ? 0 : 8, 3,
                               nullptr);
    if (r == Res_ok)
        r = Image_beginPicture(s->image, s->pictureFormat, s->maskFormat, 1, 0x10000);
    if (r != Res_ok)
        fail(s, r);
    s->hasAlpha = (colourType & PNG_COLOR_MASK_ALPHA) || transparencyChunk;
    if (s->hasAlpha)
        ImageDec_setTransparency(s->image, 1);
    else
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_read_update_info(png, info);

    s->rowBytes = png_get_rowbytes(png, info);
    if (s->rowBytes != size_t(width) * 4)
        fail(s, Res_pngLibrary);
    // The size is the header's word: computed in 64 bits, and a buffer the
    // heap cannot hold fails as out of memory.
    uint64_t bytes = uint64_t(s->rowBytes) * (s->interlaced ? uint64_t(height) : 1);
    if (bytes > SIZE_MAX / 2)
        fail(s, Res_noMemory);
    s->rows = static_cast<uint8_t *>(Mem_malloc(size_t(bytes)));
    if (!s->rows)
        fail(s, Res_noMemory);
    s->lowRow = INT32_MAX;
    s->highRow = -1;
}

void pngRow(png_structp png, png_bytep newRow, png_uint_32 rowNumber, int)
{
    PngDecodeState *s = stateOf(png);
    Task_yield(s->app);
    if (!newRow || rowNumber >= png_uint_32(s->height))
        return;
    int32_t row = int32_t(rowNumber);
    uint8_t *buffer = s->interlaced ? s->rows + size_t(row) * s->rowBytes : s->rows;
    png_progressive_combine_row(png, buffer, newRow);
    // Rows come in order; a band that does not hold this one is finished.
    if (s->bandPicture && !s->interlaced &&
        (row < s->bandFirst || row >= s->bandFirst + s->bandRows)) {
        int r = putBand(s);
        if (r != Res_ok)
            fail(s, r);
    }
    if (!s->bandPicture) {
        int r = takeBand(s, s->interlaced ? 0 : row);
        if (r != Res_ok)
            fail(s, r);
    }
    int32_t at = s->interlaced ? row : row - s->bandFirst;
    if (at >= s->bandPicture->height || at >= s->bandMask->height)
        return;
    uint32_t n = uint32_t(std::min({s->width, s->bandPicture->width, s->bandMask->width}));
    s->convert(reinterpret_cast<const uint32_t *>(buffer),
               s->bandPicture->pixels + size_t(at) * s->bandPicture->stride,
               s->bandMask->pixels + size_t(at) * s->bandMask->stride, n);
    s->rowsWritten++;
    s->nextRow = row + 1;
    if (s->interlaced) {
        s->lowRow = std::min(s->lowRow, row);
        s->highRow = std::max(s->highRow, row);
        return;
    }
    s->bandNext = at + 1;
    if (s->bandNext >= s->bandRows) {
        int r = putBand(s);
        if (r != Res_ok)
            fail(s, r);
    }
}

// The library forgives damaged image data that still ends properly (a
// broken compressed stream is a "benign" error when reading): an image
// that got no row at all is a failure, and one whose last rows are missing
// keeps its mask so that they stay transparent.
void pngEnd(png_structp png, png_infop)
{
    PngDecodeState *s = stateOf(png);
    s->ended = 1;
    int r = putBand(s);
    if (r == Res_ok && s->rowsWritten == 0)
        r = Res_pngLibrary;
    bool complete = s->interlaced || s->nextRow >= s->height;
    if (!s->hasAlpha && complete)
        ImageDec_dropMask(s->image);
    if (r != Res_ok)
        fail(s, r);
}

// Pushes the data into the library until it ends (or the picture does).
int feed(PngDecodeState *s)
{
    ByteStream *in = &s->peek->base;
    while (!s->ended) {
        int64_t available = ByteStream_available(in, 0);
        if (available <= 0)
            break;
        Task_yield(s->app);
        size_t n = size_t(std::min<int64_t>(available, Png_feedBytes));
        png_bytep piece = const_cast<png_bytep>(in->readPtr);
        in->readPtr += n;
        png_process_data(s->png, s->info, piece, n);
        int r = reportRows(s);
        if (r != Res_ok)
            return r;
    }
    int status = ByteStream_takeStatus(in);
    if (s->headerOnly)
        return status != Res_ok ? status : Res_byteStreamEnded;
    return status;
}

// Everything that may leave the library through its jump buffer.
int runGuarded(PngDecodeState *s)
{
    if (Jmp_set(*png_set_longjmp_fn(s->png, Jmp_long, sizeof(JmpBuf)))) {
        if (s->headerOnly && s->headerSeen && s->error == Res_ok)
            return ImageDec_setHeader(s->image, s->width, s->height, s->dpi, s->interlaced ? 0 : 8,
                                      3, nullptr);
        return s->error != Res_ok ? s->error : Res_pngLibrary;
    }
    s->info = png_create_info_struct(s->png);
    if (!s->info)
        return Res_pngInfo;
    if (s->headerOnly)
        png_set_progressive_read_fn(s->png, s, pngHeader, nullptr, nullptr);
    else
        png_set_progressive_read_fn(s->png, s, pngHeader, pngRow, pngEnd);
    if (PeekStream_fill(s->peek, 8) < 8) {
        int status = ByteStream_takeStatus(&s->peek->base);
        return status != Res_ok ? status : Res_pngNotPng;
    }
    if (png_sig_cmp(s->peek->base.readPtr, 0, 8) != 0)
        return Res_pngNotPng;
    return feed(s);
}

int run(EngineContext *app, ByteStream *stream, ImageObject *image, const ImageCodecParams *params)
{
    PngDecodeState s;
    memset(&s, 0, sizeof(s));
    s.app = app;
    s.image = image;
    s.headerOnly = params ? 0 : 1;
    s.lowRow = INT32_MAX;
    s.highRow = -1;
    if (params) {
        s.pictureFormat = params->pixelFormat;
        s.maskFormat = params->maskFormat;
        s.convert = RowConvAlpha_forFormat(app, s.pictureFormat, s.maskFormat);
        if (!s.convert)
            return Res_pngNoConverter;
    }
    s.peek = PeekStream_create(stream, 0);
    if (!s.peek)
        return Res_noMemory;
    int r;
    s.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &s, pngError, pngWarning, &s, pngMalloc,
                                     pngFree);
    if (!s.png)
        r = s.error != Res_ok ? s.error : Res_pngCreate;
    else
        r = runGuarded(&s);
    // The data ended inside a band: what came is kept.
    if (r == Res_ok && s.bandPicture) {
        r = putBand(&s);
        int reported = reportRows(&s);
        if (r == Res_ok)
            r = reported;
    }
    // The stream was only read from: a failed close loses nothing.
    (void)ByteStream_close(&s.peek->base);
    Mem_free(s.rows);
    (void)putBand(&s);
    if (s.png)
        png_destroy_read_struct(&s.png, &s.info, nullptr);
    return r;
}

int32_t pngTypeId()
{
    return Png_typeId;
}

} // namespace

int32_t Png_resolution(int present, uint32_t unit, uint32_t xPerMetre)
{
    if (present && unit == PNG_RESOLUTION_METER && xPerMetre >= 10)
        return int32_t(uint64_t(xPerMetre) * 254 / 10000);
    return 72;
}

int Png_recognise(int32_t *score, ImageHook, void *, const uint8_t *bytes, uint32_t count,
                  uint32_t flags)
{
    *score = 0;
    if ((flags & ImageDec_flagRecognise) && count >= 8 && png_sig_cmp(bytes, 0, 8) == 0)
        *score = 100;
    return Res_ok;
}

int Png_readHeader(EngineContext *app, ByteStream *stream, ImageObject *image, ImageHook, void *)
{
    return run(app, stream, image, nullptr);
}

int Png_decode(EngineContext *app, void *, ByteStream *stream, ImageObject *image,
               const ImageCodecParams *params)
{
    return run(app, stream, image, params);
}

ImageCodec *Codec_pngDescriptor()
{
    ImageCodec *codec = static_cast<ImageCodec *>(Mem_calloc(1, sizeof(ImageCodec)));
    if (!codec)
        return nullptr;
    codec->recognise = Png_recognise;
    codec->readHeader = Png_readHeader;
    codec->decode = Png_decode;
    codec->typeId = pngTypeId;
    return codec;
}
