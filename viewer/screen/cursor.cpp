// The cursor and the busy indicator (see cursor.h).
#include "viewer/screen/cursor.h"

#include <algorithm>
#include <cstdlib>

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/eventproc.h"
#include "core/task/listeners.h"
#include "document/edr/docmsg.h"
#include "platform/api/app.h"
#include "platform/api/appqueue.h"
#include "viewer/api/keys.h"
#include "platform/url/url.h"
#include "viewer/fvdisplay.h"
#include "viewer/screen/overlay.h"
#include "viewer/screen/resize.h"
#include "viewer/screen/screen.h"
#include "viewer/view.h"
#include "viewer/viewer.h"

namespace {

enum : int32_t {
    kDocumentLoaded = 38, // application message code: a document was loaded or changed
    kKeyUp = 0x10003,
    kKeyDown = 0x10004,
    kKeyLeft = 0x10005,
    kKeyRight = 0x10006,
    kKeyZoomIn = 0x10007,
    kKeyZoomOut = 0x10009,
};

CursorState *stateOf(FvViewer *viewer)
{
    return viewer ? viewer->cursor : nullptr;
}

Screen *screenOf(FvViewer *viewer)
{
    return viewer ? ScreenBinding_screen(viewer->screen) : nullptr;
}

int32_t property(FvViewer *viewer, OverlaySprite *sprite, int32_t id)
{
    int32_t v = 0;
    // A property the sprite does not have reads as 0, which is what the
    // cursor code wants for it.
    (void)Overlay_getProperty(viewer->context, sprite, id, &v);
    return v;
}

bool setProperty(FvViewer *viewer, OverlaySprite *sprite, int32_t id, int32_t v)
{
    return Overlay_setProperty(viewer->context, sprite, id, &v) == Res_ok;
}

// The hot-spot height: the sprite shown now, or the cursor sprite's.
int32_t hotHeight(FvViewer *viewer, CursorState *c)
{
    return c->height ? c->height : property(viewer, c->cursorSprite, OverlayProp_height);
}

void moveBoth(FvViewer *viewer, CursorState *c, Point p)
{
    OverlaySprite *both[2] = {c->cursorSprite, c->busySprite};
    for (OverlaySprite *s : both) {
        if (!s)
            continue;
        setProperty(viewer, s, OverlayProp_x, p.x);
        setProperty(viewer, s, OverlayProp_y, p.y);
    }
}

void presentScreen(FvViewer *viewer)
{
    if (Screen *screen = screenOf(viewer))
        Screen_presentNow(screen);
}

int keyHook(FvView *view, int32_t key, int32_t repeatCount, int isRelease)
{
    return Cursor_onKey(view ? view->viewer : nullptr, key, repeatCount, isRelease ? 1 : 0);
}

void pushHook(FvViewer *viewer, CursorState *c)
{
    FvView *view = viewer->context->instance ? viewer->context->instance->keyView : nullptr;
    if (!c->hooked && view && Key_pushHook(view, keyHook) == Res_ok)
        c->hooked = 1;
}

void dropHook(FvViewer *viewer, CursorState *c)
{
    FvView *view = viewer->context->instance ? viewer->context->instance->keyView : nullptr;
    if (!c->hooked || !view)
        return;
    for (KeyHook **link = &view->hooks; *link; link = &(*link)->next) {
        if ((*link)->hook == keyHook) {
            KeyHook *gone = *link;
            *link = gone->next;
            Mem_free(gone);
            break;
        }
    }
    c->hooked = 0;
}

bool showsWordDocument(FvViewer *viewer)
{
    return viewer->page && viewer->page->document && viewer->page->docType == Cursor_wordDocType;
}

// On the engine thread after a document was loaded or changed.
void documentCheck(EngineInstance *, void *argument)
{
    FvViewer *viewer = static_cast<FvViewer *>(argument);
    CursorState *c = stateOf(viewer);
    if (!c)
        return;
    c->visible = showsWordDocument(viewer) ? 1 : 0;
    Cursor_centre(viewer);
    if (!Listener_hasFunction(&viewer->listeners, Cursor_onResizeStart)) {
        (void)Listener_add(&viewer->listeners, FvListen_resizeStart, Cursor_onResizeStart);
        (void)Listener_add(&viewer->listeners, FvListen_resizeDone, Cursor_onResizeDone);
    }
    pushHook(viewer, c);
}

void onAppMessage(EngineContext *context, EventProcMsg *msg, void *argument, int *)
{
    const EventProcCodeMsg *m = msg && msg->kind == EventProc_kindCode
                                    ? static_cast<const EventProcCodeMsg *>(msg->payload)
                                    : nullptr;
    if (m && m->code == kDocumentLoaded && context->instance)
        (void)App_postCall(context->instance, documentCheck, argument, nullptr);
}

void removeSprites(FvViewer *viewer, CursorState *c)
{
    (void)Overlay_removeSprite(viewer->context, &c->cursorSprite);
    (void)Overlay_removeSprite(viewer->context, &c->busySprite);
    c->current = nullptr;
}

int loadSprite(FvViewer *viewer, const char *key, const char16_t *fallback, uint32_t alpha,
               Point at, OverlaySprite **out)
{
    EngineContext *context = viewer->context;
    char16_t *text = Config_getUstrA(context, context->config, nullptr, key, fallback);
    Url *url = text ? Url_new(text) : nullptr;
    Mem_free(text);
    if (!url)
        return Res_noMemory;
    int r = Overlay_createSpriteFromImage(context, url, at.x, at.y, alpha, out, Cursor_depth, 0);
    Url_free(url);
    return r;
}

int setUpSprites(FvViewer *viewer, CursorState *c)
{
    EngineContext *context = viewer->context;
    uint32_t alpha =
        Config_getIntA(context, context->config, nullptr, "Vexlan_cursorTransparency", 255);
    Screen *screen = screenOf(viewer);
    Point middle{Screen_width(screen) / 2, Screen_height(screen) / 2};
    int r = loadSprite(viewer, "Vexlan_pointerBitmap", u"file://root/okala_dir/Img/cursor.png",
                       alpha, middle, &c->cursorSprite);
    if (r == Res_ok)
        r = loadSprite(viewer, "Vexlan_hourglassBitmap", u"file://root/okala_dir/Img/hourglass.png",
                       alpha, middle, &c->busySprite);
    if (r == Res_ok) {
        (void)Cursor_setMode(viewer, Cursor_modeNone);
        OverlaySprite *both[2] = {c->cursorSprite, c->busySprite};
        for (OverlaySprite *s : both) {
            bool ok = setProperty(viewer, s, OverlayProp_rectX0, 0) &&
                      setProperty(viewer, s, OverlayProp_rectY0, 0) &&
                      setProperty(viewer, s, OverlayProp_rectWidth, 0x7fffffff) &&
                      setProperty(viewer, s, OverlayProp_rectHeight, 0x7fffffff);
            if (!ok)
                r = Res_nullInput;
        }
    }
    if (r != Res_ok)
        removeSprites(viewer, c);
    return r;
}

// One key's move on one axis; 0 when the coordinate is at its limit.
struct Move {
    int32_t axis;  // 0 x, 1 y
    int32_t delta; // signed step
    int32_t limit; // the clamp
    bool lower;    // the limit is a lower one
};

} // namespace

Point Cursor_viewToSprite(int32_t o, int32_t w, int32_t h, int32_t height, int32_t x, int32_t y)
{
    switch (o) {
    case 1: return Point{y - height, w - x};
    case 2: return Point{w - x, h - y + height};
    case 3: return Point{h - y + height, x};
    default: return Point{x, y - height};
    }
}

Point Cursor_spriteToView(int32_t o, int32_t w, int32_t h, int32_t height, int32_t sx, int32_t sy)
{
    switch (o) {
    case 1: return Point{sx + height, w - sy};
    case 2: return Point{sx, h - sy + height};
    case 3: return Point{sx - height, w - sy};
    default: return Point{sx, h - sy - height};
    }
}

int Overlay_createCursor(FvViewer *viewer, CursorReleaseFn onRelease)
{
    if (!viewer || viewer->cursor)
        return 0;
    EngineContext *context = viewer->context;
    if (!context->config)
        return 1;
    if (Config_getIntA(context, context->config, nullptr, "Vexlan_cursorEnable", 1) == 0)
        return 0;
    CursorState *c = static_cast<CursorState *>(Mem_calloc(1, sizeof(CursorState)));
    if (!c)
        return 1;
    viewer->cursor = c;
    c->onRelease = onRelease;
    if (!Listener_add(&viewer->listeners, FvListen_resizeStart, Cursor_onResizeStart) ||
        !Listener_add(&viewer->listeners, FvListen_resizeDone, Cursor_onResizeDone) ||
        setUpSprites(viewer, c) != Res_ok) {
        Cursor_remove(viewer);
        return 1;
    }
    pushHook(viewer, c);
    if (context->eventProc)
        (void)EventProc_addListener(context, context->eventProc, EventProc_kindCode, onAppMessage,
                                    viewer);
    if (showsWordDocument(viewer)) {
        c->visible = 1;
        Cursor_centre(viewer);
    }
    return 0;
}

void Cursor_remove(FvViewer *viewer)
{
    CursorState *c = stateOf(viewer);
    if (!c)
        return;
    Listener_remove(&viewer->listeners, Cursor_onResizeStart);
    Listener_remove(&viewer->listeners, Cursor_onResizeDone);
    dropHook(viewer, c);
    removeSprites(viewer, c);
    viewer->cursor = nullptr;
    Mem_free(c);
}

void Cursor_destroy(FvViewer *viewer)
{
    CursorState *c = stateOf(viewer);
    if (!c)
        return;
    if (viewer->context->eventProc)
        // A listener that is already gone needs no removing; teardown goes on.
        (void)EventProc_removeListener(viewer->context->eventProc, EventProc_kindCode, onAppMessage,
                                       viewer);
    Cursor_remove(viewer);
    presentScreen(viewer);
}

int Cursor_setMode(FvViewer *viewer, int32_t mode)
{
    CursorState *c = stateOf(viewer);
    if (!c || (!c->cursorSprite && !c->busySprite))
        return 0;
    c->current = mode == Cursor_modeCursor && c->visible ? c->cursorSprite
                 : mode == Cursor_modeBusy               ? c->busySprite
                                                         : nullptr;
    if (c->cursorSprite)
        setProperty(viewer, c->cursorSprite, OverlayProp_hidden,
                    !(mode == Cursor_modeCursor && c->visible));
    if (c->busySprite)
        setProperty(viewer, c->busySprite, OverlayProp_hidden, mode != Cursor_modeBusy);
    if (c->current && c->visible) {
        c->height = property(viewer, c->current, OverlayProp_height);
        if (!Cursor_setRotation(viewer))
            return 0;
    } else {
        c->height = 0;
    }
    // When the overlay cannot redraw now, the change shows at the screen's next present.
    (void)Overlay_redrawAll(viewer->context);
    return 1;
}

namespace {

struct PostedMode {
    FvViewer *viewer;
    int32_t mode;
};

} // namespace

int Cursor_getViewPoint(FvViewer *viewer, Point *point)
{
    CursorState *c = stateOf(viewer);
    if (!c || !c->current || !c->visible)
        return 0;
    Screen *screen = screenOf(viewer);
    *point =
        Cursor_spriteToView(Screen_orientation(screen), Screen_width(screen), Screen_height(screen),
                            hotHeight(viewer, c), property(viewer, c->current, OverlayProp_x),
                            property(viewer, c->current, OverlayProp_y));
    return 1;
}

void Cursor_centre(FvViewer *viewer)
{
    CursorState *c = stateOf(viewer);
    Screen *screen = screenOf(viewer);
    if (!c || !screen)
        return;
    int32_t w = Screen_width(screen), h = Screen_height(screen);
    moveBoth(viewer, c,
             Cursor_viewToSprite(Screen_orientation(screen), w, h, hotHeight(viewer, c),
                                 int32_t(uint32_t(w) / 2), int32_t(uint32_t(h) / 2)));
}

int Cursor_setRotation(FvViewer *viewer)
{
    CursorState *c = stateOf(viewer);
    if (!c)
        return 0;
    static constexpr int32_t angles[4] = {0, 0x10e0000, 0xb40000, 0x5a0000};
    int32_t angle = angles[Screen_orientation(screenOf(viewer)) & 3];
    OverlaySprite *both[2] = {c->cursorSprite, c->busySprite};
    for (OverlaySprite *s : both) {
        if (!s)
            continue;
        Matrix *m = static_cast<Matrix *>(Mem_malloc(sizeof(Matrix)));
        if (!m)
            return 0;
        Matrix_setIdentity(m);
        Matrix_rotation(m, angle);
        Overlay_setSpriteTransform(s, m);
    }
    return 1;
}

int Cursor_onKey(FvViewer *viewer, int32_t key, int32_t repeat, int32_t phase)
{
    CursorState *c = stateOf(viewer);
    if (!c || !c->cursorSprite || !c->current)
        return 0;
    Screen *screen = screenOf(viewer);
    int32_t o = Screen_orientation(screen), W = Screen_width(screen), H = Screen_height(screen);
    int32_t h = hotHeight(viewer, c);
    int32_t sx = property(viewer, c->current, OverlayProp_x),
            sy = property(viewer, c->current, OverlayProp_y);
    bool arrow = key >= kKeyUp && key <= kKeyRight;
    if (phase == 1) {
        if (arrow && c->current == c->cursorSprite && c->onRelease) {
            Point p{};
            if (Cursor_getViewPoint(viewer, &p))
                c->onRelease(viewer, 1, p.x, p.y);
        }
        return 0;
    }
    FvView *view = viewer->context->instance ? viewer->context->instance->keyView : nullptr;
    if (key == kKeyZoomIn || key == kKeyZoomOut) {
        Point p = Cursor_spriteToView(o, W, H, h, sx, sy);
        if (view)
            Key_zoom(view, key, repeat, p.x, p.y, 1);
        return 1;
    }
    if (!arrow)
        return 0;
    const FvZoomPanSettings *s = view ? view->settings : nullptr;
    int32_t U = 0, D = 0, L = 0, R = 0;
    if (s) {
        U = std::abs(repeat ? s->panUpRepeat : s->panUp) / 4;
        D = std::abs(repeat ? s->panDownRepeat : s->panDown) / 4;
        L = std::abs(repeat ? s->panLeftRepeat : s->panLeft) / 4;
        R = std::abs(repeat ? s->panRightRepeat : s->panRight) / 4;
    }
    const int32_t m = Cursor_edgeMargin;
    // The table of moves: for each orientation and key, the axis, the step
    // and the clamp.
    const Move moves[4][4] = {
        {{1, U, H - m - h, false}, {1, -D, m - h, true}, {0, -L, m, true}, {0, R, W - m, false}},
        {{1, R, W - m, false}, {1, -L, m, true}, {0, -D, m - h, true}, {0, U, H - m - h, false}},
        {{1, D, H - m + h, false}, {1, -U, m + h, true}, {0, -R, m, true}, {0, L, W - m, false}},
        {{1, R, W - m, false}, {1, -L, m, true}, {0, -U, m + h, true}, {0, D, H - m + h, false}},
    };
    const Move &mv = moves[o & 3][key - kKeyUp];
    int32_t at = mv.axis ? sy : sx;
    // A coordinate at or beyond its limit leaves the key to the pan; a lower
    // limit of 10 needs more than one pixel of room.
    if (mv.lower ? (mv.limit == m ? at < m + 1 : at <= mv.limit) : at >= mv.limit)
        return 0;
    int32_t next = int32_t(int64_t(at) + mv.delta);
    next = mv.lower ? std::max(next, mv.limit) : std::min(next, mv.limit);
    int32_t id = mv.axis ? OverlayProp_y : OverlayProp_x;
    if (!setProperty(viewer, c->cursorSprite, id, next) ||
        (c->busySprite && !setProperty(viewer, c->busySprite, id, next)))
        return 0;
    presentScreen(viewer);
    return 1;
}

void Cursor_onResizeStart(FvViewer *viewer, void *)
{
    CursorState *c = stateOf(viewer);
    if (!c || !c->current)
        return;
    setProperty(viewer, c->current, OverlayProp_hidden, 1);
    // When the overlay cannot redraw now, the change shows at the screen's next present.
    (void)Overlay_redrawAll(viewer->context);
}

void Cursor_onResizeDone(FvViewer *viewer, void *argument)
{
    CursorState *c = stateOf(viewer);
    const ResizeNotice *notice = static_cast<const ResizeNotice *>(argument);
    if (!c || !notice)
        return;
    if (notice->sizeGiven && !Overlay_resetBitmap(viewer->context))
        return;
    if (notice->rotating)
        (void)Overlay_setScreen(viewer->context, notice->screenIndex);
    if (c->current)
        setProperty(viewer, c->current, OverlayProp_hidden, 0);
    (void)Cursor_setRotation(viewer);
    // When the overlay cannot redraw now, the change shows at the screen's next present.
    (void)Overlay_redrawAll(viewer->context);
}
