// The image store's decoding pass: subsampling, opening the decoder,
// choosing the codec, decoding with its coarser retries, publishing the
// outcome, and the row output of codecs that write whole rows.
#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "core/task/task.h"
#include "graphics/image.h"
#include "graphics/imagecodec.h"
#include "graphics/imageview.h"
#include "graphics/pixelbuf.h"
#include "platform/api/engine.h"

namespace {

// n reduced by 2^level, rounded up; 0 for a shift of 32 or more.
int32_t levelSize(int32_t n, int32_t level)
{
    if (level <= 0)
        return n;
    if (level >= 32)
        return 0;
    return int32_t((int64_t(n) + (int64_t(1) << level) - 1) >> level);
}

ImageStore *storeOf(const ImageObject *image)
{
    return image->app ? image->app->imageStore : nullptr;
}

} // namespace

// ------------------------------------------------------------ subsampling

void Image_setNominalSize(ImageObject *image, int32_t width, int32_t height, int32_t resolution,
                          int32_t level)
{
    image->nominalWidth = width;
    image->nominalHeight = height;
    image->nominalResolution = resolution;
    image->fullWidth = width;
    image->fullHeight = height;
    ImageStore *store = storeOf(image);
    int64_t t = store ? store->subsampleThreshold : 0;
    if (image->options & ImageOpt_staticSubsample) {
        int64_t w = width, h = height, r = resolution;
        int32_t halvings = 0, extra = 0;
        if (t > 0) {
            uint64_t limit = uint64_t(t) * uint64_t(t);
            while (halvings < level && uint64_t(w) * uint64_t(h) > limit) {
                w = (w + 1) / 2, h = (h + 1) / 2, r = (r + 1) / 2;
                halvings++;
            }
            if (image->stagingRows != 0) {
                while (extra < image->maxExtraLevels && uint64_t(w) * uint64_t(h) > limit) {
                    w = (w + 1) / 2, h = (h + 1) / 2, r = (r + 1) / 2;
                    extra++;
                }
            }
        }
        image->width = int32_t(w);
        image->height = int32_t(h);
        image->resolution = r > 0 ? int32_t(r) : 1;
        image->extraLevels = extra;
        image->levelAchieved = halvings + extra;
        return;
    }
    int32_t extra = 0;
    if (image->stagingRows != 0) {
        int32_t d = std::min(image->maxExtraLevels + level, image->levelStart) - level;
        if (d > 0)
            extra = d;
    }
    int32_t total = level + extra;
    image->width = levelSize(levelSize(width, level), extra);
    image->height = levelSize(levelSize(height, level), extra);
    int32_t r = levelSize(resolution, total);
    image->resolution = r > 0 ? r : 1;
    image->extraLevels = extra;
    image->levelAchieved = total;
}

void Image_codecSize(const ImageObject *image, int32_t *width, int32_t *height)
{
    int32_t shift = image->levelAchieved - image->extraLevels;
    *width = levelSize(image->nominalWidth, shift);
    *height = levelSize(image->nominalHeight, shift);
}

// ---------------------------------------------- in-memory encoded copies

namespace {

// A byte stream over the image's in-memory copy of its data.
struct MemoryStream {
    ByteStream base;
    const uint8_t *data;
    size_t size;
};

int memGetByte(ByteStream *s)
{
    // The whole copy is the window: once it is used up the data end.
    if (s->readPtr < s->end)
        return *s->readPtr++;
    return ByteStream_end;
}

int memSeek(ByteStream *s, uint64_t position)
{
    MemoryStream *m = reinterpret_cast<MemoryStream *>(s);
    if (position > m->size)
        return Res_byteStreamEnded;
    s->readPtr = m->data + position;
    return Res_ok;
}

int memClose(ByteStream *s)
{
    Mem_free(s);
    return Res_ok;
}

int memControl(ByteStream *s, uint32_t op, void *arg)
{
    MemoryStream *m = reinterpret_cast<MemoryStream *>(s);
    if (op == ByteStream_opIsMemory && arg) {
        *static_cast<uint32_t *>(arg) = 1;
        return Res_ok;
    }
    if (op == ByteStream_opLength && arg) {
        *static_cast<uint64_t *>(arg) = m->size;
        return Res_ok;
    }
    if (op == ByteStream_opPosition && arg) {
        *static_cast<uint64_t *>(arg) = uint64_t(s->readPtr - m->data);
        return Res_ok;
    }
    return Res_byteStreamNoControl;
}

// Reads the rest of stream into one heap block. 0, 1 or the stream's error.
int readAll(ByteStream *stream, uint8_t **out, size_t *outSize)
{
    *out = nullptr;
    *outSize = 0;
    uint8_t *data = nullptr;
    size_t size = 0;
    for (;;) {
        int64_t n = ByteStream_available(stream, 0);
        if (n <= 0)
            break;
        uint8_t *grown = static_cast<uint8_t *>(Mem_realloc(data, size + size_t(n)));
        if (!grown) {
            Mem_free(data);
            return Res_noMemory;
        }
        data = grown;
        memcpy(data + size, stream->readPtr, size_t(n));
        size += size_t(n);
        stream->readPtr += n;
    }
    int status = ByteStream_takeStatus(stream);
    if (status != Res_ok) {
        Mem_free(data);
        return status;
    }
    *out = data;
    *outSize = size;
    return Res_ok;
}

int openMemoryStream(ImageObject *image, ByteStream **out)
{
    *out = nullptr;
    MemoryStream *m = static_cast<MemoryStream *>(Mem_calloc(1, sizeof(MemoryStream)));
    if (!m)
        return Res_noMemory;
    m->data = image->encoded;
    m->size = image->encodedSize;
    m->base.getByte = memGetByte;
    m->base.seek = memSeek;
    m->base.close = memClose;
    m->base.control = memControl;
    m->base.length = image->encodedSize;
    m->base.readPtr = m->data;
    m->base.end = m->data + m->size;
    *out = &m->base;
    return Res_ok;
}

// Opens the stream the codec reads, unless one is open: the source's
// stream, or with the store's keep-encoded flag an in-memory copy of it.
int openDecoder(EngineContext *app, ImageObject *image)
{
    if (image->stream)
        return Res_ok;
    ImageStore *store = app->imageStore;
    if ((store->flags & ImageStore_keepEncoded) && image->encoded)
        return openMemoryStream(image, &image->stream);
    ImageSource *source = image->source;
    if (!source || !source->openStream)
        return Res_notFound;
    ByteStream *stream = nullptr;
    int r = source->openStream(app, source, &stream);
    if (r != Res_ok)
        return r;
    if (!(store->flags & ImageStore_keepEncoded)) {
        image->stream = stream;
        return Res_ok;
    }
    r = readAll(stream, &image->encoded, &image->encodedSize);
    // The stream was only read from: a failed close loses nothing.
    (void)ByteStream_close(stream);
    if (r != Res_ok)
        return r;
    return openMemoryStream(image, &image->stream);
}

} // namespace

void Image_closeCodec(ImageObject *image)
{
    ImageCodec *codec = ImageCodec_of(image);
    if (image->codecInstance && codec && codec->destroyInstance)
        codec->destroyInstance(image, image->codecInstance);
    image->codecInstance = nullptr;
    PixelBuf_destroy(image->stagingPicture);
    PixelBuf_destroy(image->stagingMask);
    image->stagingPicture = image->stagingMask = nullptr;
}

void Image_dropDecoder(ImageObject *image, int partial)
{
    Image_closeCodec(image);
    // The stream was only read from: a failed close loses nothing.
    (void)ByteStream_close(image->stream);
    image->stream = nullptr;
    ImageStore *store = storeOf(image);
    bool keep = partial && store && (store->flags & ImageStore_keepEncoded);
    if (!keep) {
        Mem_free(image->encoded);
        image->encoded = nullptr;
        image->encodedSize = 0;
    }
}

// ------------------------------------------------------- choosing a codec

int Image_pickCodec(EngineContext *app, ImageObject *image, int32_t *reason)
{
    if (image->codecIndex >= 0)
        return Res_ok;
    ImageStore *store = app->imageStore;
    PeekStream *peek = PeekStream_create(image->stream, 0);
    if (!peek)
        return Res_noMemory;
    size_t n = PeekStream_fill(peek, 12);
    int err = Res_ok;
    if (n == 0) {
        int status = ByteStream_takeStatus(&peek->base);
        if (status == Res_noMemory) {
            err = Res_noMemory;
        } else {
            err = Res_imageEmpty;
            *reason = ImageReason_source;
        }
    } else if (n < 12) {
        err = ByteStream_takeStatus(&peek->base);
    }
    int32_t best = -1, bestScore = 0;
    if (err == Res_ok) {
        // Codecs are registered before images open and torn down after
        // the workers have ended, so the table is read without the lock.
        uint32_t flags = Image_getCapFlags(image);
        for (int32_t i = 0; i < ImageStore_codecSlots; i++) {
            ImageCodec *codec = store->codecs[i];
            if (!codec || !codec->recognise)
                continue;
            int32_t score = 0;
            err = codec->recognise(&score, image->hook, image->hookArg, peek->base.readPtr,
                                   uint32_t(n), flags);
            if (err != Res_ok)
                break;
            if (score > bestScore) {
                best = i;
                bestScore = score;
                if (score >= 100)
                    break;
            }
        }
    }
    // The stream was only read from: a failed close loses nothing.
    (void)ByteStream_close(&peek->base);
    if (err != Res_ok)
        return err;
    if (best < 0) {
        uint32_t mime = 0;
        if (ByteStream_control(image->stream, ByteStream_opMimeId, &mime) == Res_ok && mime == 11) {
            *reason = ImageReason_source;
            return Res_imageEmpty;
        }
        *reason = ImageReason_noCodec;
        return Res_imageNoCodec;
    }
    image->codecIndex = best;
    return Res_ok;
}

// ---------------------------------------------------------------- decoding

namespace {

// One decode from the start of the stream with the chosen codec.
int decodeOnce(EngineContext *app, ImageObject *image)
{
    ImageStore *store = app->imageStore;
    ImageCodec *codec = ImageCodec_of(image);
    if (!codec || !codec->decode)
        return Res_imageNoCodec;
    int err = ByteStream_seek(image->stream, 0);
    // An instance left open by an animation is replaced, not leaked.
    if (err == Res_ok && image->codecInstance)
        Image_closeCodec(image);
    if (err == Res_ok && codec->createInstance) {
        void *instance = nullptr;
        err = codec->createInstance(app, image, Image_getCapFlags(image), &instance);
        image->codecInstance = instance;
    }
    if (err == Res_ok) {
        ImageCodecParams params{Image_getCapFlags(image), store->targetFormat, store->targetWord,
                                image->hook, image->hookArg};
        err = codec->decode(app, image->codecInstance, image->stream, image, &params);
    }
    if (err == Res_ok) {
        if (image->moreFrames) {
            // A low-memory animation reads its next frame's time now; the
            // animation clock that would be armed with it comes with the
            // frame sequences. The instance stays open for the next frame.
            if ((image->options & ImageOpt_lowMemAnim) && codec->nextFrame) {
                int32_t timeMs = 0;
                (void)codec->nextFrame(image, image->codecInstance, 0, &timeMs, nullptr);
            }
            return Res_ok;
        }
        if (image->kind != 2 && (!image->targetView || !image->targetView->picture))
            err = Res_imageNoPicture;
    }
    Image_lockFields(image);
    Image_closeCodec(image);
    Image_unlockFields(image);
    return err;
}

// The state and reason an error leads to.
void mapResult(const ImageObject *image, int err, bool sync, bool headerRead, int32_t passReason,
               int32_t *state, int32_t *reason)
{
    if (err == Res_ok) {
        *reason = 0;
        if (!image->moreFrames)
            *state = ImageState_done;
        else if (!(image->options & ImageOpt_lowMemAnim))
            *state = ImageState_animated;
        else {
            ImageCodec *codec = ImageCodec_of(image);
            *state = codec && codec->nextFrame ? ImageState_animOnDemand : ImageState_animated;
        }
        return;
    }
    if (err == Res_noMemory || err == Res_stopRequested) {
        if (sync && (err == Res_stopRequested || !headerRead)) {
            *state = ImageState_done;
            *reason = 0;
        } else {
            *state = ImageState_failed;
            *reason = ImageReason_decode;
        }
        return;
    }
    *state = ImageState_failed;
    *reason = err == Res_imageNoCodec ? ImageReason_noCodec : passReason;
}

// Tells the size to the handles once (not from synchronous passes).
void markHeaderKnown(ImageObject *image, bool sync)
{
    Image_lockFields(image);
    image->headerKnown = 1;
    bool tell = !sync && !image->sizeReported;
    if (tell)
        image->sizeReported = 1;
    int32_t w = image->nominalWidth, h = image->nominalHeight, r = image->nominalResolution;
    Image_unlockFields(image);
    if (tell)
        Image_notifySize(image, w, h, r);
}

} // namespace

int Image_decode(EngineContext *app, ImageObject *image, int32_t *reason, int32_t firstLevel,
                 int32_t maxLevel, ImageView *view)
{
    bool sync = image->state == ImageState_done;
    image->syncPass = sync ? 1 : 0;
    Image_lockFields(image);
    image->result = 0;
    image->targetView = view;
    Image_unlockFields(image);

    int32_t passReason = ImageReason_decode;
    int err = openDecoder(app, image);
    if (err != Res_ok)
        passReason = ImageReason_source;
    else
        err = Image_pickCodec(app, image, &passReason);
    if (err == Res_ok) {
        image->levelStart = firstLevel;
        bool restarted = false;
        for (;;) {
            err = decodeOnce(app, image);
            // The size changed under the decode: decode once more at the
            // size the codec reported last.
            if (err == Res_imageSizeChanged && !restarted) {
                restarted = true;
                continue;
            }
            // Out of memory: a coarser level needs a quarter of the pixels.
            if (err == Res_noMemory && !(image->options & ImageOpt_staticSubsample) &&
                image->levelAchieved >= image->levelStart && image->levelAchieved < maxLevel) {
                image->levelStart = image->levelAchieved + 1;
                continue;
            }
            break;
        }
    }
    if (err != Res_ok) {
        Image_lockFields(image);
        ImageView_freeIfAny(image->targetView);
        Image_unlockFields(image);
    }
    int32_t state = 0, mapped = 0;
    mapResult(image, err, sync, false, passReason, &state, &mapped);

    if (state == ImageState_done && image->stream) {
        (void)ByteStream_control(image->stream, ByteStream_opKeepInfo, nullptr);
        uint32_t memory = 0;
        if ((image->options & ImageOpt_staticSubsample) &&
            ByteStream_control(image->stream, ByteStream_opIsMemory, &memory) == Res_ok && memory &&
            ByteStream_getLength(image->stream) > ImageView_byteSize(view))
            image->options |= ImageOpt_releaseDecoder;
    }
    Image_lockFields(image);
    if (state == ImageState_failed) {
        Image_dropDecoder(image, 0);
        image->errorCode = err;
    } else if ((image->options & ImageOpt_releaseDecoder) && state != ImageState_animated &&
               state != ImageState_animOnDemand) {
        Image_dropDecoder(image, 1);
    }
    image->result = state;
    Image_unlockFields(image);
    markHeaderKnown(image, sync);
    image->syncPass = 0;
    *reason = mapped;
    return err == Res_stopRequested ? Res_stopRequested : Res_ok;
}

int Image_readHeaderNow(ImageObject *image, int32_t *state, int32_t *reason)
{
    *state = image->state;
    *reason = image->reason;
    if (image->state != ImageState_done || image->headerKnown)
        return Res_ok;
    EngineContext *app = image->app;
    image->syncPass = 1;
    int32_t passReason = ImageReason_decode;
    int err = openDecoder(app, image);
    if (err != Res_ok)
        passReason = ImageReason_source;
    else
        err = Image_pickCodec(app, image, &passReason);
    if (err == Res_ok) {
        ImageCodec *codec = ImageCodec_of(image);
        if (codec && codec->readHeader) {
            err = ByteStream_seek(image->stream, 0);
            if (err == Res_ok)
                err = codec->readHeader(app, image->stream, image, image->hook, image->hookArg);
        }
    }
    mapResult(image, err, true, true, passReason, state, reason);
    if (err != Res_stopRequested)
        markHeaderKnown(image, true);
    image->syncPass = 0;
    return err == Res_stopRequested ? Res_stopRequested : Res_ok;
}

// --------------------------------------------- output of row-writing codecs

int Image_beginPicture(ImageObject *image, uint32_t pictureFormat, uint32_t maskFormat,
                       int withMask, int32_t word)
{
    Image_lockFields(image);
    image->kind = 1;
    image->pictureFormat = pictureFormat;
    image->maskFormat = maskFormat;
    image->pictureWord = word;
    image->changed = Rect{0x7fffffff, 0x7fffffff, int32_t(0x80000000), int32_t(0x80000000)};
    PixelBuf_destroy(image->stagingPicture);
    PixelBuf_destroy(image->stagingMask);
    image->stagingPicture = image->stagingMask = nullptr;
    image->noMask = withMask ? 0 : 1;
    int r =
        image->targetView ? Image_prepareCanvas(image, image->targetView, withMask) : Res_notFound;
    if (!image->syncPass)
        image->version++;
    Image_unlockFields(image);
    return r;
}

int Image_getRowBuffer(ImageObject *image, PixelBuf **pictureRows, PixelBuf **maskRows, int32_t row,
                       int32_t *count)
{
    *pictureRows = *maskRows = nullptr;
    *count = 0;
    // Banded codecs always write into the staging rows: the view may be
    // narrower than the rows the codec produces.
    if (image->stagingPicture) {
        int32_t width = 0, height = 0;
        Image_codecSize(image, &width, &height);
        int32_t n = std::min(image->stagingPicture->height, height - row);
        if (row < 0 || n <= 0)
            return Res_ok;
        image->stagingRow = row;
        *pictureRows = image->stagingPicture;
        *maskRows = image->stagingMask;
        *count = n;
        return Res_ok;
    }
    ImageView *view = image->targetView;
    if (row == 0 && view) {
        *pictureRows = view->picture;
        *maskRows = view->mask;
        *count = view->height;
    }
    return Res_ok;
}

namespace {

// Reduces one row by 2^level pixels to one: 565 pixels and bytes (masks,
// 32-bit pixels per channel) are averaged, other formats sampled.
void reduceRow(const uint8_t *src, int32_t srcWidth, uint8_t *dst, int32_t dstWidth,
               uint32_t format, int32_t level)
{
    int32_t step = 1 << level;
    for (int32_t x = 0; x < dstWidth; x++) {
        int32_t first = x * step;
        int32_t n = std::min(step, srcWidth - first);
        if (n <= 0)
            break;
        if (format == Pixel_format565 || format == Pixel_format565Alt) {
            const uint16_t *s = reinterpret_cast<const uint16_t *>(src) + first;
            uint32_t r = 0, g = 0, b = 0;
            for (int32_t i = 0; i < n; i++) {
                r += s[i] >> 11;
                g += (s[i] >> 5) & 0x3F;
                b += s[i] & 0x1F;
            }
            reinterpret_cast<uint16_t *>(dst)[x] =
                uint16_t(((r / n) << 11) | ((g / n) << 5) | (b / n));
        } else if (format == Pixel_formatGrey8 || format == Pixel_formatRGBA) {
            uint32_t bpp = Pixel_bytesPerPixel(format);
            for (uint32_t c = 0; c < bpp; c++) {
                uint32_t sum = 0;
                for (int32_t i = 0; i < n; i++)
                    sum += src[size_t(first + i) * bpp + c];
                dst[size_t(x) * bpp + c] = uint8_t(sum / uint32_t(n));
            }
        } else {
            uint32_t bpp = Pixel_bytesPerPixel(format);
            memcpy(dst + size_t(x) * bpp, src + size_t(first) * bpp, bpp);
        }
    }
}

void copyBand(const PixelBuf *band, PixelBuf *into, int32_t firstRow, int32_t rows, int32_t level)
{
    if (!band || !into || band->format != into->format)
        return;
    int32_t mask = (1 << level) - 1;
    for (int32_t i = 0; i < rows; i++) {
        int32_t r = firstRow + i;
        if (r & mask)
            continue;
        int32_t to = r >> level;
        if (to < 0 || to >= into->height)
            continue;
        const uint8_t *src = band->pixels + size_t(i) * band->stride;
        uint8_t *dst = into->pixels + size_t(to) * into->stride;
        // Unreduced rows are copied as they are.
        if (level == 0) {
            size_t n = size_t(std::max(std::min(band->width, into->width), 0));
            memcpy(dst, src, n * Pixel_bytesPerPixel(into->format));
        } else {
            reduceRow(src, band->width, dst, into->width, into->format, level);
        }
    }
}

} // namespace

bool Image_rowDropped(const ImageObject *image, int32_t row)
{
    if (!image->stagingPicture || image->extraLevels <= 0)
        return false;
    return (row & ((int32_t(1) << std::min(image->extraLevels, 30)) - 1)) != 0;
}

int Image_putRows(ImageObject *image, PixelBuf *pictureRows, PixelBuf *maskRows)
{
    if (!image->stagingPicture || pictureRows != image->stagingPicture || !image->targetView)
        return Res_ok;
    int32_t width = 0, height = 0;
    Image_codecSize(image, &width, &height);
    int32_t rows = std::min(image->stagingPicture->height, height - image->stagingRow);
    if (rows <= 0)
        return Res_ok;
    int32_t level = std::min(image->extraLevels, 30);
    ImageView *view = image->targetView;
    copyBand(pictureRows, view->picture, image->stagingRow, rows, level);
    if (maskRows && maskRows == image->stagingMask)
        copyBand(maskRows, view->mask, image->stagingRow, rows, level);
    return Res_ok;
}
