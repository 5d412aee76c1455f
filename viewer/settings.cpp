// The viewer's settings at configuration.
#include "viewer/settings.h"

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "platform/api/app.h"
#include "platform/url/url.h"

namespace {

// The extension of a path (from its last '.'), lower-cased ASCII, into out
// (empty when none or too long).
void extensionOf(const char16_t *path, char *out, size_t size)
{
    out[0] = 0;
    if (!path)
        return;
    const char16_t *dot = nullptr;
    for (const char16_t *p = path; *p; p++) {
        if (*p == '.')
            dot = p;
        else if (*p == '/')
            dot = nullptr;
    }
    if (!dot)
        return;
    size_t n = 0;
    for (const char16_t *p = dot; *p; p++) {
        if (n + 1 >= size || *p > 0x7f) {
            out[0] = 0;
            return;
        }
        char c = char(*p);
        out[n++] = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    }
    out[n] = 0;
}

bool isOneOf(const char *ext, const char *const *list)
{
    for (; *list; list++) {
        const char *a = ext, *b = *list;
        while (*a && *a == *b) {
            a++;
            b++;
        }
        if (!*a && !*b)
            return true;
    }
    return false;
}

char16_t *pathOf(const Url *url)
{
    char16_t *path = nullptr;
    if (!url || !Url_getPart(url, UrlPart_path, &path))
        return nullptr;
    return path;
}

ConfigStore *storeOf(FvViewer *viewer)
{
    return viewer->context->config;
}

intptr_t option(FvViewer *viewer, int word)
{
    return viewer->options.word[word];
}

// Memory at least (KiB) -> threshold, largest first.
constexpr struct {
    uint32_t kib;
    uint32_t threshold;
} subsampleTable[] = {{4096, 1024}, {3584, 904}, {3072, 808}, {2560, 640}};

} // namespace

void Fv_registerDefaults(FvViewer *viewer, int secondApplication)
{
    EngineContext *c = viewer->context;
    ConfigStore *store = storeOf(viewer);
    // Read only to store the default when the setting is missing; the value is not needed.
    (void)Config_getIntA(c, store, u"Core", "Vexlan_thumbnailsMax",
                         uint32_t(option(viewer, FvStart_thumbnailsMax)));
    if (secondApplication)
        return;
    (void)Config_getIntA(c, store, u"Core", "EnableAutoDetect", 1);
    Config_setIntA(c, store, u"eDR", "page.on.demand", 0, 0);
    Config_setIntA(c, store, u"eDR", "reflow.reject.width", 0, 0);
    Config_setIntA(c, store, u"eDR", "reflow.reject.height", 0, 0);
    (void)Config_getIntA(c, store, u"Core", "EnableImages", 1);
    (void)Config_getIntA(c, store, u"Core", "EnableFlash", 0);
    (void)Config_getIntA(c, store, u"Core", "EnableJS", 1);
    (void)Config_getIntA(c, store, u"Core", "HttpProxyEnable", 0);
    (void)Config_getIntA(c, store, nullptr, "Vexlan_CacheMaxSize",
                         uint32_t(option(viewer, FvStart_cacheMaxSize)));
    Fv_setThumbMaxSizeDefault(viewer, int32_t(option(viewer, FvStart_pageMode)));
}

void Fv_setThumbMaxSizeDefault(FvViewer *viewer, int32_t mode)
{
    // Read only to store the default when the setting is missing; the value is not needed.
    (void)Config_getIntA(viewer->context, storeOf(viewer), nullptr, "DispmanthumbMaxSize",
                         mode == 0x10000 ? 1048 : 4096);
}

void Fv_setFontCacheSizes(FvViewer *viewer, const Url *url)
{
    if (!url)
        return;
    static constexpr const char *pictures[] = {".bmp", ".gif",  ".jpg", ".jpeg",
                                               ".png", ".wbmp", nullptr};
    char16_t *path = pathOf(url);
    char ext[16];
    extensionOf(path, ext, sizeof ext);
    Mem_free(path);
    bool picture = isOneOf(ext, pictures);
    EngineContext *c = viewer->context;
    Config_setIntA(c, storeOf(viewer), u"Font Engine", "cache.path.size", picture ? 0 : 64, 0);
    Config_setIntA(c, storeOf(viewer), u"Font Engine", "cache.clipmask.size", picture ? 0 : 128, 0);
}

void Fv_storeSubsampleThreshold(FvViewer *viewer, const char16_t *path, size_t memoryBytes)
{
    EngineContext *c = viewer->context;
    uint32_t forced =
        Config_getIntA(c, storeOf(viewer), nullptr, "FV_StaticSubsampleThresholdOverride", 0);
    if (forced) {
        Config_setIntA(c, storeOf(viewer), u"Image", "subsample.threshold", forced, 0);
        return;
    }
    if (!path)
        return;
    static constexpr const char *jpeg[] = {".jpg", ".jpeg", nullptr};
    static constexpr const char *png[] = {".png", nullptr};
    char ext[16];
    extensionOf(path, ext, sizeof ext);
    uint32_t threshold = 0;
    if (isOneOf(ext, png)) {
        threshold = 640;
    } else if (isOneOf(ext, jpeg)) {
        size_t kib = memoryBytes / 1024;
        if (memoryBytes == 0)
            threshold = 640;
        for (const auto &row : subsampleTable) {
            if (memoryBytes && kib >= row.kib) {
                threshold = row.threshold;
                break;
            }
        }
    }
    if (threshold)
        Config_setIntA(c, storeOf(viewer), u"Image", "subsample.threshold", threshold, 0);
}

int Fv_readSubsampleThreshold(FvViewer *viewer, const Url *url)
{
    char16_t *path = pathOf(url);
    // The initial memory is not known in small-chunk mode.
    size_t memory = Mem_chunkSize() == Mem_smallChunkSize ? 0 : Mem_getInitialSize();
    Fv_storeSubsampleThreshold(viewer, path, memory);
    Mem_free(path);
    return Res_ok;
}

void Fv_setLowMemoryAnimations(FvViewer *viewer, const char16_t *name)
{
    uint32_t value = 1;
    if (option(viewer, FvStart_noLowMemoryAnimations) ||
        (name && Ustr_findAsciiNoCase(name, ".gif")))
        value = 0;
    // Read only to store the default when the setting is missing; the value is not needed.
    (void)Config_getIntA(viewer->context, storeOf(viewer), u"Core", "LowMemoryAnimations", value);
}

void Fv_allocReserve(FvViewer *viewer)
{
    if (viewer->reserveBuffers)
        return;
    intptr_t count = option(viewer, FvStart_reserveBufferCount);
    if (count <= 0 || count > 64)
        return;
    void **buffers = static_cast<void **>(Mem_calloc(size_t(count), sizeof(void *)));
    if (!buffers)
        return;
    for (intptr_t i = 0; i < count; i++)
        buffers[i] = Mem_malloc(Fv_reserveBufferBytes);
    viewer->reserveBuffers = buffers;
}

void Fv_freeReserve(FvViewer *viewer)
{
    if (!viewer->reserveBuffers)
        return;
    intptr_t count = option(viewer, FvStart_reserveBufferCount);
    for (intptr_t i = 0; i < count && i <= 64; i++)
        Mem_free(viewer->reserveBuffers[i]);
    Mem_free(viewer->reserveBuffers);
    viewer->reserveBuffers = nullptr;
}

// ------------------------------------------------ module steps

// The viewer's settings live in the configuration store and are read when
// they are used (Fv_registerDefaults gives them their defaults per viewer),
// and its display settings are the display manager's, read by
// Dispman_init; so neither module step keeps a record.
int View_initSettings(EngineContext *)
{
    return Res_ok;
}

void View_freeSettings(EngineContext *) {}

int View_initDisplaySettings(EngineContext *)
{
    return Res_ok;
}

void View_freeDisplaySettings(EngineContext *) {}
