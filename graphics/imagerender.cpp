// Image drawing requests and placeholders.
#include "graphics/imagerender.h"

#include <cstdio>
#include <cstring>

#include "core/config/config.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/imagesource.h"
#include "core/text/ustr.h"
#include "graphics/animframe.h"
#include "graphics/imagecache.h"
#include "graphics/imageview.h"
#include "graphics/pixelbuf.h"
#include "platform/api/engine.h"
#include "platform/url/url.h"

namespace {

bool isIdentity(const ImageColourTransform *t)
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

// Fails a request after the image was taken: everything let go.
int failRequest(ImageDrawRequest *req, int result)
{
    ImageObject *image = req->image;
    EngineContext *app = image->app;
    if (req->framePicture)
        Image_releaseFrame(image, req->framePicture);
    Lock_release(&image->imageLock);
    ImageView *views[1] = {req->plain};
    ImageView_release(app, image, req->generation, views, req->plain ? 1 : 0);
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
                 const ImageColourTransform *transform, uint32_t mode, const ImageTarget *target,
                 PixelBuf **picture, PixelBuf **mask, PixelBuf **placeholder, ImageDrawRequest **request)
{
    if (picture)
        *picture = nullptr;
    if (mask)
        *mask = nullptr;
    if (placeholder)
        *placeholder = nullptr;
    *request = nullptr;
    if (!isIdentity(transform) || target)
        return Res_notImplemented;
    ImageDrawRequest *req = static_cast<ImageDrawRequest *>(Mem_calloc(1, sizeof(ImageDrawRequest)));
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
    if (image->options & (ImageOpt_releaseDecoder | ImageOpt_staticSubsample)) {
        low = 0;
        high = ImageStore_noLevelLimit;
    }
    PixelBuf *shownPlaceholder = placeholderOf(image, 0);
    uint32_t bits = 0;
    if (picture)
        bits |= ImageReq_plainPicture;
    if (mask && !image->noMask)
        bits |= ImageReq_plainMask;
    if (image->kind == 2) {
        ImageCache_unlock(app);
        (void)Image_acquireCurrentFrame(image, &req->framePicture, &req->frameMask);
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
    const ImageViewKey plainKey{0, 0};
    ImageView *view = ImageView_find(image, &plainKey);
    int r = Res_ok;
    if (bits && image->state == ImageState_done) {
        if (!view) {
            r = ImageView_create(image, &view);
            if (r == Res_ok)
                ImageView_attach(image, view);
        }
        if (view && (((bits & ImageReq_plainPicture) && !view->picture) ||
                     ((bits & ImageReq_plainMask) && !view->mask && !image->noMask) ||
                     !levelInRange(view, low, high)))
            bits |= ImageReq_decode;
    }
    req->plain = view;
    ImageCache_unlock(app);
    if (r != Res_ok)
        return failRequest(req, r);
    if (bits & ImageReq_decode) {
        if (mode & ImageRender_noDecode)
            return failRequest(req, Res_imageNotDecoded);
        int32_t reason = 0;
        // The pass runs here with the image lock held.
        int32_t wasSync = image->syncPass;
        image->syncPass = 1;
        r = Image_decode(app, image, &reason, low, high + 1 > ImageStore_noLevelLimit ? high : high + 1, view);
        image->syncPass = wasSync;
        image->reason = reason;
        image->state = image->result;
        if (image->state == ImageState_failed)
            ImageView_freeBuffers(view);
        if (r == Res_stopRequested)
            return failRequest(req, r);
    }
    if (view) {
        if (picture && (bits & ImageReq_plainPicture))
            *picture = view->picture;
        if (mask && (bits & ImageReq_plainMask))
            *mask = view->mask;
        if (range)
            range->level = view->level;
        if ((mode & ImageRender_keepWithImage) && (view->picture || view->mask))
            view->viewFlags |= ImageView_keepWithImage;
    }
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
    ImageView *views[1] = {request->plain};
    ImageView_release(app, image, request->generation, views, request->plain ? 1 : 0);
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
    int r = Image_openUrlFlags(app, url, nullptr, nullptr, nullptr,
                               ImageOpt_sync | ImageOpt_recognise | ImageOpt_staticSubsample, &handle);
    if (r != Res_ok)
        return r;
    PixelBuf *shownPicture = nullptr, *shownMask = nullptr, *placeholder = nullptr;
    ImageDrawRequest *req = nullptr;
    r = Image_render(handle, app->imageStore->targetFormat, app->imageStore->targetWord, nullptr, nullptr, 0,
                     nullptr, &shownPicture, mask ? &shownMask : nullptr, &placeholder, &req);
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
    if (!text || Ustr_len(text) < size_t(RamUrl_minChars) || text[0] != 'R' || text[1] != 'A' || text[2] != 'M' ||
        text[3] != ':' || !hexValue(text + 4, &id) || !hexValue(text + 13, &length))
        return Res_ramUrlText;
    char head[64];
    snprintf(head, sizeof head, "file://localhost/RAM:%08x/%08x/.", id, length);
    size_t headLen = strlen(head), nameLen = Ustr_len(text + 22);
    char16_t *full = static_cast<char16_t *>(Mem_malloc((headLen + nameLen + 1) * sizeof(char16_t)));
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
        char16_t *value = Config_getUstrA(app, app->config, nullptr, placeholderSettings[slot].key, nullptr);
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
            char16_t *text = name ? static_cast<char16_t *>(Mem_malloc(n * sizeof(char16_t))) : nullptr;
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

int Image_createFromStream(EngineContext *app, VfsHandle *stream, void *owner, ImageHook hook, void *hookArg,
                           int32_t widthHint, int32_t heightHint, uint32_t options, intptr_t extra,
                           ImageHandle **handle)
{
    *handle = nullptr;
    ImageSource *source = nullptr;
    int r = ImageSource_createForStream(stream, &source);
    if (r != Res_ok)
        return r;
    return Image_open(app, source, nullptr, nullptr, owner, hook, hookArg, widthHint, heightHint, options, extra,
                      handle);
}
