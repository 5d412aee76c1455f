// Image drawing requests and placeholders.
#include "graphics/imagerender.h"

#include <cstdio>
#include <algorithm>
#include <cstring>

#include "core/config/config.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "platform/vfs/imagesource.h"
#include "core/text/ustr.h"
#include "graphics/animframe.h"
#include "graphics/imagecache.h"
#include "graphics/imageview.h"
#include "graphics/pixelbuf.h"
#include "graphics/imageutil.h"
#include "platform/api/engine.h"
#include "platform/url/url.h"

namespace {

bool isIdentity(const ColourTransform *t)
{
    if (!t)
        return true;
    for (int i = 0; i < 4; i++)
        if (t->multiply[i] != 0x10000 || t->offset[i] != 0)
            return false;
    return true;
}

PixelBuf *placeholderOf(const ImageObject *image, int32_t reason)
{
    ImageStore *store = image->app ? image->app->imageStore : nullptr;
    if (!store || reason < 0 || reason > 3)
        return nullptr;
    return store->placeholders[reason];
}

bool levelInRange(const ImageView *view, int32_t low, int32_t high)
{
    return view->level >= low && view->level <= high;
}

inline uint32_t widen5(uint32_t v)
{
    return (v << 3) | (v >> 2);
}
inline uint32_t widen4(uint32_t v)
{
    return (v << 4) | v;
}

// The 8-bit channel tables of the picture words (red, green, blue).
struct ChannelTables {
    uint8_t t[3][256];
};

// One pixel of a format other than grey and 5-6-5 through the picture's
// channel tables.
uint32_t transformPixel(uint32_t p, uint32_t format, const ChannelTables *c)
{
    switch (format) {
    case Pixel_format444: {
        uint32_t r = c->t[0][widen4((p >> 8) & 15)], g = c->t[1][widen4((p >> 4) & 15)],
                 b = c->t[2][widen4(p & 15)];
        return ((r >> 4) << 8) | ((g >> 4) << 4) | (b >> 4);
    }
    case Pixel_format555:
    case Pixel_format1555: {
        // 1555 has red in the high field, 555 blue.
        bool redHigh = format == Pixel_format1555;
        uint32_t hi = c->t[redHigh ? 0 : 2][widen5((p >> 10) & 31)],
                 g = c->t[1][widen5((p >> 5) & 31)], lo = c->t[redHigh ? 2 : 0][widen5(p & 31)];
        return (p & 0x8000) | ((hi >> 3) << 10) | ((g >> 3) << 5) | (lo >> 3);
    }
    case Pixel_formatRGBA: {
        uint32_t r = c->t[0][p & 0xFF], g = c->t[1][(p >> 8) & 0xFF], b = c->t[2][(p >> 16) & 0xFF];
        return (p & 0xFF000000u) | (b << 16) | (g << 8) | r;
    }
    default: return p;
    }
}

// Fills dst (same size and format as src) with src's pixels through t: a
// mask through the grey (alpha) words, a picture through the colour words.
// Grey and 5-6-5 go through the shared colour transform; the other formats
// through 8-bit tables made the same way.
void applyTransform(const PixelBuf *src, PixelBuf *dst, const ColourTransform *t, bool isMask)
{
    if (src->format == Pixel_formatGrey8 || src->format == Pixel_format565 ||
        src->format == Pixel_format565Alt) {
        ColourTransform ct = *t;
        if (src->format == Pixel_formatGrey8 && !isMask) {
            ct.multiply[3] = t->multiply[0];
            ct.offset[3] = t->offset[0];
        }
        // Format 2 has the layout of format 4.
        PixelBuf from = *src, to = *dst;
        if (src->format == Pixel_format565Alt)
            from.format = to.format = Pixel_format565;
        PixelBuf_applyColourTransform(&to, &from, &ct);
        return;
    }
    ChannelTables c;
    for (int i = 0; i < 3; i++)
        ColourTransform_channelTable(t->multiply[i], t->offset[i], 8, c.t[i]);
    uint32_t bpp = Pixel_bytesPerPixel(src->format);
    for (int32_t y = 0; y < src->height; y++) {
        const uint8_t *s = src->pixels + size_t(y) * src->stride;
        uint8_t *d = dst->pixels + size_t(y) * dst->stride;
        for (int32_t x = 0; x < src->width; x++) {
            if (bpp == 2) {
                uint16_t p;
                memcpy(&p, s + 2 * x, 2);
                p = uint16_t(transformPixel(p, src->format, &c));
                memcpy(d + 2 * x, &p, 2);
            } else if (bpp == 4) {
                uint32_t p;
                memcpy(&p, s + 4 * x, 4);
                p = transformPixel(p, src->format, &c);
                memcpy(d + 4 * x, &p, 4);
            } else {
                d[x] = s[x];
            }
        }
    }
}

const ColourTransform identityTransform = {{0x10000, 0x10000, 0x10000, 0x10000}, {0, 0, 0, 0}};

// The words a view's picture (alpha false) or mask (alpha true) was made with
// agree with t.
bool sameWords(const ColourTransform *made, const ColourTransform *t, bool alpha)
{
    const ColourTransform *a = made ? made : &identityTransform, *b = t ? t : &identityTransform;
    if (alpha)
        return a->multiply[3] == b->multiply[3] && a->offset[3] == b->offset[3];
    for (int i = 0; i < 3; i++)
        if (a->multiply[i] != b->multiply[i] || a->offset[i] != b->offset[i])
            return false;
    return true;
}

bool sameTarget(const ImageView *view, const ImageTarget *target)
{
    const ImageTarget *made = static_cast<const ImageTarget *>(view->target);
    return made && made->width == target->width && made->height == target->height &&
           made->format == target->format;
}

void dropPixels(ImageView *view)
{
    PixelBuf_destroy(view->picture);
    PixelBuf_destroy(view->mask);
    view->picture = view->mask = nullptr;
}

// Gives view buffers of the geometry while keeping its transform and
// target, which say what kind of view it is.
int ensureKeepingKind(ImageView *view, bool wantPicture, bool wantMask, const ImageViewGeometry *g)
{
    ColourTransform *transform = view->transform;
    void *target = view->target;
    view->transform = nullptr;
    view->target = nullptr;
    int r = ImageView_ensureBuffers(view, wantPicture, wantMask, g);
    view->transform = transform;
    view->target = target;
    return r;
}

// A new view of the kind {transformed, converted}, keyed at once.
int createKeyed(ImageObject *image, const ColourTransform *transform, const ImageTarget *target,
                ImageView **view)
{
    int r = ImageView_create(image, view);
    if (r != Res_ok)
        return r;
    if (transform)
        r = ImageView_setColourTransform(*view, transform);
    if (r == Res_ok && target) {
        ImageTarget *copy = static_cast<ImageTarget *>(Mem_malloc(sizeof(ImageTarget)));
        if (copy)
            *copy = *target;
        (*view)->target = copy;
        r = copy ? Res_ok : Res_noMemory;
    }
    if (r != Res_ok) {
        ImageView_free(*view);
        *view = nullptr;
    }
    return r;
}

// Remakes the transformed view from the plain view's buffers.
int makeTransformed(ImageObject *image, ImageView *plain, ImageView *view, uint32_t bits,
                    const ColourTransform *transform)
{
    ImageViewGeometry g{plain->width, plain->height, plain->scale, plain->pictureFormat,
                        plain->maskFormat};
    bool wantPicture = (bits & ImageReq_transformPicture) && plain->picture;
    bool wantMask = (bits & ImageReq_transformMask) && plain->mask;
    dropPixels(view);
    int r = ensureKeepingKind(view, wantPicture, wantMask, &g);
    if (r == Res_ok)
        r = ImageView_setColourTransform(view, transform);
    if (r != Res_ok)
        return r;
    if (wantPicture)
        applyTransform(plain->picture, view->picture, transform, false);
    if (wantMask)
        applyTransform(plain->mask, view->mask, transform, true);
    view->level = plain->level;
    view->version = image->version;
    return Res_ok;
}

// Makes the converted copy: the plain picture and/or mask scaled into
// buffers of the target's size and format.
int convertView(ImageObject *image, ImageView *plain, ImageView *view, uint32_t bits,
                const ImageTarget *target)
{
    ImageViewGeometry g{target->width, target->height, plain->scale, target->format,
                        Pixel_formatGrey8};
    bool wantPicture = (bits & ImageReq_convertPicture) && plain->picture;
    bool wantMask = (bits & ImageReq_convertMask) && plain->mask;
    dropPixels(view);
    int r = ensureKeepingKind(view, wantPicture, wantMask, &g);
    if (r != Res_ok)
        return r;
    *static_cast<ImageTarget *>(view->target) = *target;
    int32_t quality = 0;
    if (target->format == Pixel_format565)
        quality = target->width > 2 * plain->width || target->height > 2 * plain->height ? 2 : 1;
    if (wantPicture)
        r = Image_scaleIntoBuffer(image->app, plain->picture, target->width, target->height,
                                  view->picture, 0, 0, quality);
    if (r == Res_ok && wantMask)
        r = Image_scaleIntoBuffer(image->app, plain->mask, target->width, target->height,
                                  view->mask, 0, 0, 0);
    if (r != Res_ok)
        return r;
    view->level = plain->level;
    view->version = image->version;
    return Res_ok;
}

// Fails a request after the image was taken: everything let go.
int failRequest(ImageDrawRequest *req, int result)
{
    ImageObject *image = req->image;
    EngineContext *app = image->app;
    if (req->framePicture)
        Image_releaseFrame(image, req->framePicture);
    Lock_release(&image->imageLock);
    ImageView *views[3] = {req->plain, req->other, req->converted};
    ImageView_release(app, image, req->generation, views, 3);
    Mem_free(req);
    return result;
}

struct PlaceholderSetting {
    const char *key;
    const char *builtIn;
};
const PlaceholderSetting placeholderSettings[4] = {
    {"Vexlan_unloadedImagePlaceholder", "/image/placeholder.png"},
    {"Vexlan_corruptImagePlaceholder", "/image/broken.png"},
    {"Vexlan_missingImagePlaceholder", "/image/unreachable.png"},
    {"Vexlan_unsupportedImagePlaceholder", "/image/unknown.png"},
};

int hexValue(const char16_t *text, uint32_t *value)
{
    uint32_t v = 0;
    for (int i = 0; i < 8; i++) {
        char16_t c = text[i];
        uint32_t d;
        if (c >= '0' && c <= '9')
            d = uint32_t(c - '0');
        else if (c >= 'a' && c <= 'f')
            d = uint32_t(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            d = uint32_t(c - 'A' + 10);
        else
            return 0;
        v = (v << 4) | d;
    }
    *value = v;
    return 1;
}

} // namespace

int Image_render(ImageHandle *handle, uint32_t, uint32_t, ImageLevelRange *range,
                 const ColourTransform *transform, uint32_t mode, const ImageTarget *target,
                 PixelBuf **picture, PixelBuf **mask, PixelBuf **placeholder,
                 ImageDrawRequest **request)
{
    if (picture)
        *picture = nullptr;
    if (mask)
        *mask = nullptr;
    if (placeholder)
        *placeholder = nullptr;
    *request = nullptr;
    if (target &&
        (target->width <= 0 || target->height <= 0 || target->format >= Pixel_formatCount))
        return Res_missingArgument;
    if (isIdentity(transform))
        transform = nullptr;
    ImageDrawRequest *req =
        static_cast<ImageDrawRequest *>(Mem_calloc(1, sizeof(ImageDrawRequest)));
    if (!req)
        return Res_noMemory;
    ImageObject *image = ImageHandle_lockImage(handle, 6);
    if (!image) {
        ImageHandle_unlockImage(handle, nullptr, 6);
        Mem_free(req);
        return Res_imageNoImage;
    }
    EngineContext *app = image->app;
    req->image = image;
    req->generation = image->generation;
    int32_t low = range ? range->low : 0, high = range ? range->high : 0;
    int32_t start = range ? range->start : 0;
    if (target || (image->options & (ImageOpt_releaseDecoder | ImageOpt_staticSubsample))) {
        low = 0;
        high = ImageStore_noLevelLimit;
        // An image decoded once for good is decoded whole.
        if (image->options & (ImageOpt_releaseDecoder | ImageOpt_staticSubsample))
            start = 0;
    }
    start = std::min(std::max(start, low), high);
    PixelBuf *shownPlaceholder = placeholderOf(image, 0);
    uint32_t bits = 0;
    if (picture)
        bits |= transform ? ImageReq_transformPicture
                : target  ? ImageReq_convertPicture
                          : ImageReq_plainPicture;
    if (mask && !image->noMask) {
        bool alphaChanges =
            transform && (transform->multiply[3] != 0x10000 || transform->offset[3] != 0);
        bits |= alphaChanges ? ImageReq_transformMask
                : target     ? ImageReq_convertMask
                             : ImageReq_plainMask;
    }
    if (image->kind == 2) {
        // A frame sequence hands out its frames as they are: a still
        // picture gets its first frame, the screen the frame it shows.
        ImageCache_unlock(app);
        if (mode & ImageRender_still)
            (void)Image_acquireStillFrame(image, &req->framePicture, &req->frameMask);
        else
            (void)Image_acquireShownFrame(image, &req->framePicture, &req->frameMask);
        if (picture)
            *picture = req->framePicture;
        if (mask)
            *mask = req->frameMask;
        if (image->state == ImageState_failed)
            shownPlaceholder = placeholderOf(image, image->reason);
        if (placeholder)
            *placeholder = shownPlaceholder;
        req->bits = bits;
        *request = req;
        return Res_ok;
    }
    int r = Res_ok;
    ImageView *made[3] = {nullptr, nullptr, nullptr};
    if (bits & (ImageReq_transformPicture | ImageReq_transformMask)) {
        const ImageViewKey key{1, 0};
        ImageView *view = ImageView_find(image, &key);
        if (!view && (r = createKeyed(image, transform, nullptr, &view)) == Res_ok)
            made[1] = view;
        if (view) {
            bool current = levelInRange(view, low, high) && view->version >= image->version;
            bool stale =
                ((bits & ImageReq_transformPicture) &&
                 (!current || !view->picture || !sameWords(view->transform, transform, false))) ||
                ((bits & ImageReq_transformMask) &&
                 (!current || !view->mask || !sameWords(view->transform, transform, true)));
            // Both parts are remade together, so the copy never mixes two transforms.
            if (stale && (bits & ImageReq_transformPicture))
                bits |= ImageReq_remakeTransformPicture | ImageReq_plainPicture;
            if (stale && (bits & ImageReq_transformMask))
                bits |= ImageReq_remakeTransformMask | ImageReq_plainMask;
        }
        req->other = view;
    }
    if (r == Res_ok && (bits & (ImageReq_convertPicture | ImageReq_convertMask))) {
        const ImageViewKey key{0, 1};
        ImageView *view = ImageView_find(image, &key);
        if (!view && (r = createKeyed(image, nullptr, target, &view)) == Res_ok)
            made[2] = view;
        if (view) {
            bool stale = view->version < image->version || !sameTarget(view, target) ||
                         ((bits & ImageReq_convertPicture) && !view->picture) ||
                         ((bits & ImageReq_convertMask) && !view->mask);
            if (stale && (bits & ImageReq_convertPicture))
                bits |= ImageReq_remakeConvertPicture | ImageReq_plainPicture;
            if (stale && (bits & ImageReq_convertMask))
                bits |= ImageReq_remakeConvertMask | ImageReq_plainMask;
        }
        req->converted = view;
    }
    ImageView *view = nullptr;
    if (r == Res_ok && (bits & (ImageReq_plainPicture | ImageReq_plainMask))) {
        const ImageViewKey plainKey{0, 0};
        view = ImageView_find(image, &plainKey);
        if (image->state == ImageState_done) {
            if (!view && (r = ImageView_create(image, &view)) == Res_ok)
                made[0] = view;
            if (view && (((bits & ImageReq_plainPicture) && !view->picture) ||
                         ((bits & ImageReq_plainMask) && !view->mask && !image->noMask) ||
                         !levelInRange(view, low, high)))
                bits |= ImageReq_decode;
        }
    }
    req->plain = view;
    if (r != Res_ok) {
        // Views made for this request go; found ones are released.
        for (ImageView *m : made)
            ImageView_free(m);
        req->plain = made[0] ? nullptr : req->plain;
        req->other = made[1] ? nullptr : req->other;
        req->converted = made[2] ? nullptr : req->converted;
        ImageCache_unlock(app);
        return failRequest(req, r);
    }
    for (ImageView *m : made)
        if (m)
            ImageView_attach(image, m);
    ImageCache_unlock(app);
    if (bits & ImageReq_decode) {
        if (mode & ImageRender_noDecode)
            return failRequest(req, Res_imageNotDecoded);
        int32_t reason = 0;
        // The pass runs here with the image lock held.
        int32_t wasSync = image->syncPass;
        image->syncPass = 1;
        r = Image_decode(app, image, &reason, start,
                         high + 1 > ImageStore_noLevelLimit ? high : high + 1, view);
        image->syncPass = wasSync;
        image->reason = reason;
        image->state = image->result;
        if (image->state == ImageState_failed)
            ImageView_freeBuffers(view);
        if (r == Res_stopRequested)
            return failRequest(req, r);
    }
    // A copy that must be remade needs the plain pixels it is made from.
    uint32_t pictureRemakes = ImageReq_remakeTransformPicture | ImageReq_remakeConvertPicture;
    uint32_t maskRemakes = ImageReq_remakeTransformMask | ImageReq_remakeConvertMask;
    if ((bits & pictureRemakes) && (!view || !view->picture))
        bits &= ~(pictureRemakes | ImageReq_transformPicture | ImageReq_convertPicture);
    if ((bits & maskRemakes) && (!view || !view->mask))
        bits &= ~(maskRemakes | ImageReq_transformMask | ImageReq_convertMask);
    if (bits & (ImageReq_remakeTransformPicture | ImageReq_remakeTransformMask)) {
        if (makeTransformed(image, view, req->other, bits, transform) != Res_ok) {
            dropPixels(req->other);
            bits &= ~uint32_t(ImageReq_transformPicture | ImageReq_transformMask);
        }
    } else if (bits & (ImageReq_remakeConvertPicture | ImageReq_remakeConvertMask)) {
        if (convertView(image, view, req->converted, bits, target) != Res_ok) {
            dropPixels(req->converted);
            bits &= ~uint32_t(ImageReq_convertPicture | ImageReq_convertMask);
        }
    }
    ImageView *used[2] = {nullptr, nullptr};
    if (picture) {
        used[0] = (bits & ImageReq_transformPicture) ? req->other
                  : (bits & ImageReq_convertPicture) ? req->converted
                  : (bits & ImageReq_plainPicture)   ? view
                                                     : nullptr;
        *picture = used[0] ? used[0]->picture : nullptr;
    }
    if (mask) {
        used[1] = (bits & ImageReq_transformMask) ? req->other
                  : (bits & ImageReq_convertMask) ? req->converted
                  : (bits & ImageReq_plainMask)   ? view
                                                  : nullptr;
        *mask = used[1] ? used[1]->mask : nullptr;
    }
    if (range && (used[0] || used[1]))
        range->level = (used[0] ? used[0] : used[1])->level;
    if (mode & ImageRender_keepWithImage)
        for (ImageView *u : used)
            if (u && (u->picture || u->mask))
                u->viewFlags |= ImageView_keepWithImage;
    if (image->state == ImageState_failed)
        shownPlaceholder = placeholderOf(image, image->reason);
    if (placeholder)
        *placeholder = shownPlaceholder;
    req->bits = bits;
    *request = req;
    return Res_ok;
}

void Image_endRender(EngineContext *app, ImageDrawRequest *request)
{
    if (!request)
        return;
    ImageObject *image = request->image;
    if (request->framePicture)
        Image_releaseFrame(image, request->framePicture);
    Lock_release(&image->imageLock);
    ImageView *views[3] = {request->plain, request->other, request->converted};
    ImageView_release(app, image, request->generation, views, 3);
    Mem_free(request);
}

int Image_loadUrlToPixels(EngineContext *app, const Url *url, PixelBuf **picture, PixelBuf **mask)
{
    if (picture)
        *picture = nullptr;
    if (mask)
        *mask = nullptr;
    if (!app || !app->imageStore)
        return Res_missingArgument;
    ImageHandle *handle = nullptr;
    int r =
        Image_openUrlFlags(app, url, nullptr, nullptr, nullptr,
                           ImageOpt_sync | ImageOpt_recognise | ImageOpt_staticSubsample, &handle);
    if (r != Res_ok)
        return r;
    PixelBuf *shownPicture = nullptr, *shownMask = nullptr, *placeholder = nullptr;
    ImageDrawRequest *req = nullptr;
    r = Image_render(handle, app->imageStore->targetFormat, app->imageStore->targetWord, nullptr,
                     nullptr, 0, nullptr, &shownPicture, mask ? &shownMask : nullptr, &placeholder,
                     &req);
    if (r == Res_ok) {
        if (picture && shownPicture)
            r = PixelBuf_clone(shownPicture, picture);
        if (r == Res_ok && mask && shownMask)
            r = PixelBuf_clone(shownMask, mask);
        int32_t error = req->image->errorCode;
        if (r == Res_ok && (error != Res_ok || !shownPicture))
            r = error != Res_ok ? error : Res_imageNoPicture;
        Image_endRender(app, req);
    }
    ImageHandle_release(handle);
    if (r != Res_ok) {
        if (picture) {
            PixelBuf_destroy(*picture);
            *picture = nullptr;
        }
        if (mask) {
            PixelBuf_destroy(*mask);
            *mask = nullptr;
        }
    }
    return r;
}

int Image_loadUrlText(EngineContext *app, const char16_t *text, PixelBuf **picture, PixelBuf **mask)
{
    if (picture)
        *picture = nullptr;
    if (mask)
        *mask = nullptr;
    Url *url = text ? Url_new(text) : nullptr;
    if (!url)
        return Res_noMemory;
    int r = Image_loadUrlToPixels(app, url, picture, mask);
    Url_free(url);
    return r;
}

int RamUrl_parse(EngineContext *, const char16_t *text, Url **url)
{
    *url = nullptr;
    uint32_t id = 0, length = 0;
    if (!text || Ustr_len(text) < size_t(RamUrl_minChars) || text[0] != 'R' || text[1] != 'A' ||
        text[2] != 'M' || text[3] != ':' || !hexValue(text + 4, &id) ||
        !hexValue(text + 13, &length))
        return Res_ramUrlText;
    char head[64];
    snprintf(head, sizeof head, "file://localhost/RAM:%08x/%08x/.", id, length);
    size_t headLen = strlen(head), nameLen = Ustr_len(text + 22);
    char16_t *full =
        static_cast<char16_t *>(Mem_malloc((headLen + nameLen + 1) * sizeof(char16_t)));
    if (!full)
        return Res_noMemory;
    for (size_t i = 0; i < headLen; i++)
        full[i] = char16_t(head[i]);
    memcpy(full + headLen, text + 22, (nameLen + 1) * sizeof(char16_t));
    *url = Url_newMarked(full);
    Mem_free(full);
    return *url ? Res_ok : Res_noMemory;
}

int Image_loadPlaceholders(EngineContext *app)
{
    ImageStore *store = app ? app->imageStore : nullptr;
    if (!store)
        return Res_missingArgument;
    for (int slot = 0; slot < 4; slot++) {
        if (store->placeholders[slot])
            continue;
        char16_t *value =
            Config_getUstrA(app, app->config, nullptr, placeholderSettings[slot].key, nullptr);
        Url *url = nullptr;
        int r = Res_ok;
        if (value && *value) {
            r = RamUrl_parse(app, value, &url);
            if (r == Res_ramUrlText) {
                url = Url_new(value);
                r = url ? Res_ok : Res_noMemory;
            }
        } else {
            char16_t *name = Ustr_fromCstr(placeholderSettings[slot].builtIn);
            const char16_t *dir = store->resourceDir ? store->resourceDir : u"";
            size_t n = Ustr_len(dir) + (name ? Ustr_len(name) : 0) + 1;
            char16_t *text =
                name ? static_cast<char16_t *>(Mem_malloc(n * sizeof(char16_t))) : nullptr;
            if (text) {
                memcpy(text, dir, (Ustr_len(dir) + 1) * sizeof(char16_t));
                Ustr_cat(text, name);
                url = Url_new(text);
            }
            r = url ? Res_ok : Res_noMemory;
            Mem_free(text);
            Mem_free(name);
        }
        Mem_free(value);
        if (r == Res_ok)
            r = Image_loadUrlToPixels(app, url, &store->placeholders[slot], nullptr);
        Url_free(url);
        if (r == Res_noMemory)
            return r;
    }
    return Res_ok;
}

int Image_createFromStream(EngineContext *app, VfsHandle *stream, void *owner, ImageHook hook,
                           void *hookArg, int32_t widthHint, int32_t heightHint, uint32_t options,
                           intptr_t extra, ImageHandle **handle)
{
    *handle = nullptr;
    ImageSource *source = nullptr;
    int r = ImageSource_createForStream(stream, &source);
    if (r != Res_ok) {
        // As Image_open does on failure: the owner hears that no image
        // holds its hook argument.
        if (hook)
            (void)hook(hookArg, 0, nullptr, nullptr);
        return r;
    }
    return Image_open(app, source, nullptr, nullptr, owner, hook, hookArg, widthHint, heightHint,
                      options, extra, handle);
}
