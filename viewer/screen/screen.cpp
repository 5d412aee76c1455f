// Screens, their list and the set that holds their pixel memory (see
// screen.h).
#include "viewer/screen/screen.h"

#include <cstring>

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "graphics/pixelbuf.h"
#include "graphics/texttone.h"
#include "core/host/hostservices.h"
#include "viewer/screen/overlay.h"

namespace {

bool turned(const Screen *screen)
{
    return ((screen->flags & Screen_orientationMask) >> Screen_orientationShift) & 1;
}

ScreenList *listOf(EngineContext *context)
{
    return context && context->instance ? context->instance->screens : nullptr;
}

int32_t areaIndex(const Screen *screen)
{
    return screen->index >= 0 && screen->index < 4 ? screen->index : 0;
}

uint32_t bytesPerPixel(const Screen *screen)
{
    return Pixel_bytesPerPixel(screen->format);
}

// The back-buffer fit of the screen's current image.
void computeFit(ScreenSet *set, const Screen *screen)
{
    uint64_t image = uint64_t(Screen_rowBytes(screen->width, bytesPerPixel(screen))) *
                     uint64_t(screen->height > 0 ? screen->height : 0);
    if (image > set->memorySize / 2) {
        if (!set->singleScreen)
            set->backBufferTooSmall = 1;
    } else {
        set->backBufferTooSmall = 0;
    }
}

// The device-oriented size of the screen's image.
void deviceSize(const Screen *screen, int32_t *width, int32_t *height)
{
    bool swap = Screen_bufferOrientation(screen) & 1;
    *width = swap ? screen->height : screen->width;
    *height = swap ? screen->width : screen->height;
}

// Hands the output buffer, or the changed rectangle of it, to the host.
// The set's lock is held. A rectangle counts y upwards from the bottom and
// is taken only for buffer orientation 0.
void handOver(Screen *screen, ScreenSet *set, const Rect *rect)
{
    int32_t w, h;
    deviceSize(screen, &w, &h);
    uint32_t rowBytes = Screen_rowBytes(w, bytesPerPixel(screen));
    Rect area{0, 0, w, h};
    if (rect && Screen_bufferOrientation(screen) == 0) {
        Rect whole = area;
        area = Rect{rect->x0, int32_t(int64_t(h) - rect->y1), rect->x1,
                    int32_t(int64_t(h) - rect->y0)};
        Rect_intersect(&area, &whole);
    }
    if (area.x1 > area.x0 && area.y1 > area.y0 && area.x0 < w && area.y0 < h) {
        int32_t ox, oy;
        const Rect &r = set->areas[areaIndex(screen)];
        ox = r.x0;
        oy = r.y0;
        Host_screenUpdate(set->host, reinterpret_cast<const uint16_t *>(set->outputBuffer),
                          set->hostFormat, w, h, int32_t(rowBytes), area.x0, area.y0,
                          area.x1 - area.x0, area.y1 - area.y0, ox, oy);
        set->presentCount++;
        if (set->engine && set->engine->instance)
            set->engine->instance->lastPresented = screen;
    }
    set->pending = 0;
}

// Presents under the set's lock: the overlay composes and flushes itself
// when it can; otherwise the back buffer is turned into the output buffer
// and handed over, or marked pending while updates are blocked.
void presentLocked(Screen *screen, ScreenSet *set, const Rect *rect)
{
    if (set->overlayPresent && Overlay_redrawAll(set->engine))
        return;
    Screen_copyBackBuffer(screen, set->outputBuffer);
    if (set->blockCount == 0)
        handOver(screen, set, rect);
    else
        set->pending = 1;
}

int lockAndPresent(Screen *screen, void *argument, int32_t op, const Rect *rect)
{
    ScreenSet *set = static_cast<ScreenSet *>(argument);
    if (!screen || !set)
        return Res_nullInput;
    switch (op) {
    case Screen_opLock: Screen_lock(screen); break;
    case Screen_opUnlock: Screen_unlock(screen); break;
    case Screen_opPresent:
        Lock_acquire(&set->lock);
        presentLocked(screen, set, rect);
        Lock_release(&set->lock);
        break;
    default: break;
    }
    return Res_ok;
}

void freeSet(ScreenSet *set)
{
    Lock_fini(&set->lock);
    Mem_free(set->memory);
    Mem_free(set);
}

void releaseSet(void *argument)
{
    ScreenSet *set = static_cast<ScreenSet *>(argument);
    if (set && --set->refCount <= 0)
        freeSet(set);
}

int areaCallback(Screen *screen, void *argument, int32_t op, const Rect *area)
{
    ScreenSet *set = static_cast<ScreenSet *>(argument);
    if (!screen || !set)
        return 1;
    if (op != Screen_areaSet && op != Screen_areaRestore)
        return 1;
    Lock_acquire(&set->lock);
    int32_t i = areaIndex(screen);
    if (op == Screen_areaSet) {
        set->savedAreas[i] = set->areas[i];
        if (area)
            set->areas[i] = *area;
    } else {
        set->areas[i] = set->savedAreas[i];
    }
    const Rect &r = set->areas[i];
    int32_t w = r.x1 - r.x0, h = r.y1 - r.y0;
    screen->width = turned(screen) ? h : w;
    screen->height = turned(screen) ? w : h;
    computeFit(set, screen);
    Lock_release(&set->lock);
    return 1;
}

// The host formats 0x10003 to 0x10007 as pixel formats.
constexpr uint32_t hostFormats[5] = {Pixel_formatGrey8, Pixel_format555, Pixel_format565,
                                     Pixel_formatRGBA, Pixel_format444};

} // namespace

uint32_t Screen_rowBytes(int32_t width, uint32_t bytesPerPixel)
{
    if (width <= 0)
        return 0;
    return uint32_t((uint64_t(width) * bytesPerPixel + 3) & ~uint64_t(3));
}

int32_t Screen_width(const Screen *screen)
{
    if (!screen)
        return 0;
    return turned(screen) ? screen->height : screen->width;
}

int32_t Screen_height(const Screen *screen)
{
    if (!screen)
        return 0;
    return turned(screen) ? screen->width : screen->height;
}

int32_t Screen_orientation(const Screen *screen)
{
    return screen ? int32_t((screen->flags & Screen_orientationMask) >> Screen_orientationShift)
                  : 0;
}

int32_t Screen_bufferOrientation(const Screen *screen)
{
    return screen ? int32_t((screen->flags & Screen_bufferMask) >> Screen_bufferShift) : 0;
}

ScreenSet *Screen_set(const Screen *screen)
{
    return screen && screen->lockOp == lockAndPresent
               ? static_cast<ScreenSet *>(screen->callbackArg)
               : nullptr;
}

int Screen_isFullSize(const Screen *screen)
{
    return screen && screen->width == screen->fullWidth && screen->height == screen->fullHeight;
}

// ------------------------------------------------------------ the module

int Screen_startModule(EngineContext *context)
{
    if (!context || !context->instance)
        return Res_nullInput;
    if (!context->instance->screens) {
        ScreenList *list = static_cast<ScreenList *>(Mem_calloc(1, sizeof(ScreenList)));
        if (!list)
            return Res_noMemory;
        context->instance->screens = list;
    }
    ConfigStore *store = context->config;
    if (Config_getIntA(context, store, nullptr, "FV_textEdgeTuningAdjustEnable", 0)) {
        uint32_t intensity =
            Config_getIntA(context, store, nullptr, "FV_textEdgeTuningIntensity", 0x10000);
        uint32_t brightness =
            Config_getIntA(context, store, nullptr, "FV_textEdgeTuningBrightness", 64);
        uint32_t contrast =
            Config_getIntA(context, store, nullptr, "FV_textEdgeTuningContrast", 32);
        TextTone_setTuning(context, double(intensity) / 65536.0, int32_t(brightness),
                           int32_t(contrast));
    }
    return Res_ok;
}

void Screen_stopModule(EngineContext *context)
{
    ScreenList *list = listOf(context);
    if (!list)
        return;
    while (ScreenNode *node = list->head) {
        list->head = node->next;
        Screen_destroy(node->screen);
        Mem_free(node);
    }
    Mem_free(list);
    context->instance->screens = nullptr;
    context->instance->lastPresented = nullptr;
}

int Screen_create(EngineContext *context, Screen **screen)
{
    *screen = static_cast<Screen *>(Mem_calloc(1, sizeof(Screen)));
    if (!*screen)
        return Res_noMemory;
    (*screen)->engine = context;
    return Res_ok;
}

void Screen_destroy(Screen *screen)
{
    if (!screen)
        return;
    if (screen->release)
        screen->release(screen->callbackArg);
    Mem_free(screen);
}

// --------------------------------------------------------------- the list

namespace {

void renumber(ScreenList *list)
{
    int32_t i = 0;
    for (ScreenNode *n = list->head; n; n = n->next)
        n->screen->index = i++;
    list->count = i;
}

} // namespace

int ScreenList_add(EngineContext *context, Screen *screen)
{
    ScreenList *list = listOf(context);
    if (!list || !screen)
        return Res_nullInput;
    ScreenList_remove(context, screen);
    ScreenNode *node = static_cast<ScreenNode *>(Mem_calloc(1, sizeof(ScreenNode)));
    if (!node)
        return Res_noMemory;
    node->screen = screen;
    ScreenNode **tail = &list->head;
    while (*tail)
        tail = &(*tail)->next;
    *tail = node;
    renumber(list);
    return Res_ok;
}

void ScreenList_remove(EngineContext *context, Screen *screen)
{
    ScreenList *list = listOf(context);
    if (!list)
        return;
    for (ScreenNode **p = &list->head; *p; p = &(*p)->next) {
        if ((*p)->screen == screen) {
            ScreenNode *gone = *p;
            *p = gone->next;
            Mem_free(gone);
            renumber(list);
            return;
        }
    }
}

Screen *ScreenList_get(EngineContext *context, int32_t index)
{
    ScreenList *list = listOf(context);
    if (!list || index < 0)
        return nullptr;
    for (ScreenNode *n = list->head; n; n = n->next, index--)
        if (index == 0)
            return n->screen;
    return nullptr;
}

int32_t ScreenList_count(EngineContext *context)
{
    ScreenList *list = listOf(context);
    return list ? list->count : 0;
}

namespace {

Screen *findByOrientation(EngineContext *context, int32_t code, int32_t *index, uint32_t allowed,
                          bool check)
{
    ScreenList *list = listOf(context);
    int32_t i = 0;
    for (ScreenNode *n = list ? list->head : nullptr; n; n = n->next, i++) {
        if (Screen_orientation(n->screen) != code)
            continue;
        if (check && i >= 1 && (i - 1 >= 32 || !(allowed >> (i - 1) & 1)))
            continue;
        if (index)
            *index = i;
        return n->screen;
    }
    if (index)
        *index = i;
    return nullptr;
}

} // namespace

Screen *Screen_findByOrientation(EngineContext *context, int32_t code, int32_t *index)
{
    return findByOrientation(context, code, index, 0, false);
}

Screen *Screen_findAllowedByOrientation(EngineContext *context, int32_t code, int32_t *index)
{
    uint32_t allowed =
        context ? Config_getIntA(context, context->config, nullptr, "Vexlan_rotatedScreens", 1) : 1;
    return findByOrientation(context, code, index, allowed, true);
}

// ---------------------------------------------------------------- the set

int ScreenSet_create(EngineContext *context, uint32_t options)
{
    if (!context || !listOf(context))
        return Res_nullInput;
    ScreenSet *set = static_cast<ScreenSet *>(Mem_calloc(1, sizeof(ScreenSet)));
    if (!set)
        return Res_noMemory;
    Lock_init(context, &set->lock);
    HostContext *host = context->instance->host;
    int32_t g[11] = {};
    AlienScreen_getGeometry(host, g);
    int32_t x0 = g[1], y0 = g[2], w = g[3], h = g[4], fw = g[5], fh = g[6], bw = g[7], bh = g[8];
    int32_t hostFormat = g[9], alignment = g[10];
    set->displayArea = Rect{x0, y0, x0 + w, y0 + h};
    set->engine = context;
    set->host = host;
    set->singleScreen = options & ScreenSet_optionSingle ? 1 : 0;

    uint32_t full = Config_getIntA(context, context->config, nullptr, "Vexlan_startFullscreen", 0);
    bool fullScreen = full || (options & ScreenSet_optionFullScreen);
    Rect start = fullScreen ? Rect{0, 0, fw, fh} : set->displayArea;
    for (Rect &r : set->areas)
        r = start;
    for (Rect &r : set->savedAreas)
        r = start;
    int32_t sw = fullScreen ? fw : w, sh = fullScreen ? fh : h;

    if (hostFormat < int32_t(Screen_hostFormatFirst) ||
        hostFormat > int32_t(Screen_hostFormatLast) || w < 0 || h < 0 || fw <= 0 || fh <= 0 ||
        bw < 0 || bh < 0 || sw <= 0 || sh <= 0 || w > fw || h > fh) {
        freeSet(set);
        return hostFormat < int32_t(Screen_hostFormatFirst) ||
                       hostFormat > int32_t(Screen_hostFormatLast)
                   ? Res_screenBadFormat
                   : Res_nullInput;
    }
    set->hostFormat = hostFormat;
    uint32_t format = hostFormats[hostFormat - Screen_hostFormatFirst];
    uint32_t bpp = Pixel_bytesPerPixel(format);

    uint64_t size;
    if (set->singleScreen) {
        size = uint64_t(fh) * Screen_rowBytes(fw, bpp);
    } else {
        uint64_t across = uint64_t(fh) * Screen_rowBytes(fw, bpp);
        uint64_t turnedSize = uint64_t(fw) * Screen_rowBytes(fh, bpp);
        uint64_t minimum = uint64_t(bh) * Screen_rowBytes(bw, bpp);
        size = 2 * (across > turnedSize ? across : turnedSize);
        size = minimum > size ? minimum : size;
    }
    bool aligned = alignment == 4 || alignment == 8 || alignment == 16 || alignment == 32;
    uint64_t allocation = size + (aligned ? uint64_t(alignment) - 1 : 0);
    if (allocation > UINT32_MAX || !(set->memory = Mem_calloc(1, size_t(allocation)))) {
        freeSet(set);
        return Res_noMemory;
    }
    set->memorySize = size_t(size);
    uintptr_t base = reinterpret_cast<uintptr_t>(set->memory);
    if (aligned)
        base = (base + uintptr_t(alignment) - 1) & ~(uintptr_t(alignment) - 1);
    set->outputBuffer = reinterpret_cast<uint8_t *>(base);
    set->drawingBuffer = set->outputBuffer;

    int32_t count = set->singleScreen ? 1 : 4;
    int r = Res_ok;
    for (int32_t code = 0; code < count && r == Res_ok; code++) {
        Screen *screen = nullptr;
        r = Screen_create(context, &screen);
        if (r != Res_ok)
            break;
        bool swap = code & 1;
        screen->flags = Screen_flagIndirect | uint32_t(code) << Screen_bufferShift |
                        uint32_t(code) << Screen_orientationShift;
        screen->thirdWord = Screen_thirdWord;
        screen->format = format;
        screen->resolution = Screen_defaultResolution;
        screen->width = swap ? sh : sw;
        screen->height = swap ? sw : sh;
        screen->fullWidth = swap ? fh : fw;
        screen->fullHeight = swap ? fw : fh;
        screen->pixels = set;
        screen->lockOp = lockAndPresent;
        screen->release = releaseSet;
        screen->areaOp = areaCallback;
        screen->callbackArg = set;
        r = ScreenList_add(context, screen);
        if (r != Res_ok) {
            screen->release = nullptr;
            Screen_destroy(screen);
            break;
        }
        set->refCount++;
        computeFit(set, screen);
    }
    if (r != Res_ok && set->refCount == 0)
        freeSet(set);
    return r;
}

void ScreenSet_refreshArea(EngineContext *, Screen *screen)
{
    ScreenSet *set = Screen_set(screen);
    if (!set)
        return;
    int32_t g[11] = {};
    AlienScreen_getGeometry(set->host, g);
    Lock_acquire(&set->lock);
    set->displayArea = Rect{g[1], g[2], g[1] + g[3], g[2] + g[4]};
    Lock_release(&set->lock);
}

// ------------------------------------------------------ drawing, presenting

void Screen_lock(Screen *screen)
{
    ScreenSet *set = Screen_set(screen);
    if (!set)
        return;
    Lock_acquire(&set->lock);
    set->overlayPresent = Overlay_exists(set->engine) ? 1 : 0;
    // A single-screen set has no second half of memory: it always draws
    // into the output buffer, as does a set whose back buffer cannot hold
    // the image.
    bool back = !set->singleScreen && !set->backBufferTooSmall &&
                (Screen_orientation(screen) != 0 || set->overlayPresent);
    set->drawingBuffer = back ? set->outputBuffer + set->memorySize / 2 : set->outputBuffer;
}

void Screen_unlock(Screen *screen)
{
    if (ScreenSet *set = Screen_set(screen))
        Lock_release(&set->lock);
}

void Screen_flushUpdates(Screen *screen)
{
    ScreenSet *set = Screen_set(screen);
    if (!set)
        return;
    Lock_acquire(&set->lock);
    if (set->blockCount != 0)
        set->pending = 1;
    else
        presentLocked(screen, set, nullptr);
    Lock_release(&set->lock);
}

int Screen_hasPendingUpdates(Screen *screen)
{
    ScreenSet *set = Screen_set(screen);
    if (!set)
        return 0;
    Lock_acquire(&set->lock);
    int pending = set->pending;
    Lock_release(&set->lock);
    return pending;
}

void Screen_presentNow(Screen *screen)
{
    ScreenSet *set = Screen_set(screen);
    if (!set)
        return;
    Lock_acquire(&set->lock);
    if (!(set->overlayPresent && Overlay_redrawAll(set->engine))) {
        Screen_copyBackBuffer(screen, set->outputBuffer);
        handOver(screen, set, nullptr);
    }
    Lock_release(&set->lock);
}

void Screen_blockUpdates(Screen *screen, int raise)
{
    ScreenSet *set = Screen_set(screen);
    if (!set)
        return;
    Lock_acquire(&set->lock);
    if (raise)
        set->blockCount++;
    else if (set->blockCount >= 1)
        set->blockCount--;
    Lock_release(&set->lock);
}

namespace {

int usesBackBuffer(const ScreenSet *set)
{
    return !set->singleScreen && !set->backBufferTooSmall;
}

} // namespace

int Screen_usesBackBuffer(Screen *screen)
{
    ScreenSet *set = Screen_set(screen);
    if (!set)
        return 0;
    Lock_acquire(&set->lock);
    int uses = usesBackBuffer(set);
    Lock_release(&set->lock);
    return uses;
}

int Screen_usesBackBufferLocked(Screen *screen)
{
    ScreenSet *set = Screen_set(screen);
    return set ? usesBackBuffer(set) : 0;
}

int Screen_lockUnlessHeld(Screen *screen)
{
    ScreenSet *set = Screen_set(screen);
    if (!set || (set->lock.owner && set->lock.owner == Task_current(set->engine)))
        return 0;
    Lock_acquire(&set->lock);
    return 1;
}

void Screen_flushLocked(Screen *screen)
{
    ScreenSet *set = Screen_set(screen);
    if (!set)
        return;
    if (set->blockCount == 0)
        handOver(screen, set, nullptr);
    else
        set->pending = 1;
}

void Screen_copyBackBuffer(Screen *screen, void *destination)
{
    ScreenSet *set = Screen_set(screen);
    if (!set || !destination || !usesBackBuffer(set))
        return;
    const uint8_t *source = static_cast<const uint8_t *>(set->drawingBuffer);
    uint8_t *out = static_cast<uint8_t *>(destination);
    int32_t w = screen->width, h = screen->height;
    if (w <= 0 || h <= 0)
        return;
    int32_t orientation = Screen_bufferOrientation(screen);
    if (orientation == 0) {
        if (source != out)
            memmove(out, source, size_t(Screen_rowBytes(w, bytesPerPixel(screen))) * size_t(h));
        return;
    }
    if (bytesPerPixel(screen) != 2 || source == out)
        return;
    Screen_turn16(reinterpret_cast<const uint16_t *>(source), w, h,
                  reinterpret_cast<uint16_t *>(out), orientation);
}

void Screen_getSize(Screen *screen, int32_t *width, int32_t *height, void **buffer)
{
    ScreenSet *set = Screen_set(screen);
    int32_t w = 0, h = 0;
    if (screen)
        deviceSize(screen, &w, &h);
    if (width)
        *width = w;
    if (height)
        *height = h;
    if (buffer)
        *buffer = set ? set->outputBuffer : nullptr;
}

void *Screen_getBuffer(Screen *screen)
{
    ScreenSet *set = Screen_set(screen);
    return set ? set->outputBuffer : nullptr;
}

void Screen_presentAll(Screen *screen)
{
    if (!screen || !screen->lockOp)
        return;
    screen->lockOp(screen, screen->callbackArg, Screen_opLock, nullptr);
    screen->lockOp(screen, screen->callbackArg, Screen_opUnlock, nullptr);
    screen->lockOp(screen, screen->callbackArg, Screen_opPresent, nullptr);
}

// ----------------------------------------------------------------- areas

void Screen_getAreaSize(Screen *screen, int32_t *width, int32_t *height)
{
    ScreenSet *set = Screen_set(screen);
    *width = 0;
    *height = 0;
    if (!set)
        return;
    Lock_acquire(&set->lock);
    const Rect &r = set->areas[areaIndex(screen)];
    *width = r.x1 - r.x0;
    *height = r.y1 - r.y0;
    Lock_release(&set->lock);
}

void Screen_getAreaOrigin(Screen *screen, int32_t *x, int32_t *y)
{
    ScreenSet *set = Screen_set(screen);
    *x = 0;
    *y = 0;
    if (!set)
        return;
    Lock_acquire(&set->lock);
    *x = set->areas[areaIndex(screen)].x0;
    *y = set->areas[areaIndex(screen)].y0;
    Lock_release(&set->lock);
}

void Screen_setAreaOrigin(Screen *screen, int32_t x, int32_t y)
{
    ScreenSet *set = Screen_set(screen);
    if (!set)
        return;
    Lock_acquire(&set->lock);
    Rect &r = set->areas[areaIndex(screen)];
    r = Rect{x, y, x + (r.x1 - r.x0), y + (r.y1 - r.y0)};
    Lock_release(&set->lock);
}

void Screen_getViewOrigin(Screen *screen, int32_t *x, int32_t *y)
{
    Screen_getAreaOrigin(screen, x, y);
    if (!Screen_set(screen) || !Screen_isFullSize(screen))
        return;
    int32_t w, h;
    Screen_getAreaSize(screen, &w, &h);
    if (turned(screen)) {
        int32_t t = w;
        w = h;
        h = t;
    }
    if (w < screen->fullWidth || h < screen->fullHeight) {
        *x = 0;
        *y = 0;
    }
}

int Screen_callArea(Screen *screen, int32_t op, const Rect *area)
{
    if (!screen || !screen->areaOp)
        return 0;
    return screen->areaOp(screen, screen->callbackArg, op, area);
}
