// The identity screen shown at start-up: a picture of the product with a
// notice line below it, drawn by a short-lived task "Ident" that keeps the
// screen frozen until its time is up or it is stopped.
//
// The task's block is made on the heap and belongs to the task, which
// frees it when it ends: the caller may return as soon as the picture is
// shown. The only thing of the caller's that the task touches is the
// semaphore it signals once the picture is on the screen (or could not be
// drawn); the caller waits on it until then.
#include "viewer/screen/ident.h"

#include <algorithm>
#include <cstring>

#include "core/context/context.h"
#include "core/geom/matrix.h"
#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/lock.h"
#include "core/task/task.h"
#include "core/task/timerq.h"
#include "core/text/charset.h"
#include "core/text/ustr.h"
#include "fonts/fontengine.h"
#include "viewer/screen/bitmapscale.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "graphics/imagerender.h"
#include "graphics/pixelbuf.h"
#include "fonts/textrun.h"
#include "platform/api/appqueue.h"
#include "platform/api/engine.h"
#include "viewer/screen/screen.h"
#include "viewer/viewer.h"

namespace {

// The notice line under the picture (at most 39 characters).
constexpr char16_t noticeText[] = u"Vexlan document viewer";
static_assert(sizeof noticeText / sizeof noticeText[0] - 1 <= 39, "the notice fits one line");
const char *const noticeFamily = "tahoma";

// The host request that tells the host the screen may be redrawn.
constexpr int32_t requestIdentEnded = 0x10007;

struct IdentBlock {
    EngineContext *context;
    Sem *shown; // the caller's: signalled once, then cleared
    FvScreen *screen;
    int32_t ms;
    IdentDone done;      // routine null: none
    char16_t *portrait;  // owned
    char16_t *landscape; // owned; null: none
};

void freeBlock(IdentBlock *block)
{
    Mem_free(block->portrait);
    Mem_free(block->landscape);
    Mem_free(block);
}

void releaseCaller(IdentBlock *block)
{
    if (block->shown) {
        Sem_signal(block->shown);
        block->shown = nullptr;
    }
}

void timerDone(EngineContext *, void *argument)
{
    Sem_signal(static_cast<Sem *>(static_cast<TimerRun *>(argument)->argument));
}

// Draws the notice line centred at height (pixels from the bottom).
void drawLine(EngineContext *context, Bitmap *bitmap, int32_t width, int32_t resolution,
              int32_t height)
{
    FontList *fonts = nullptr;
    if (Font_listCreate(context ? context->instance : nullptr, &noticeFamily, 1, 0, nullptr,
                        &fonts) != Res_ok)
        return;
    uint32_t count = uint32_t(Ustr_len(noticeText));
    const int32_t size = 5 << 16;
    Matrix m{resolution, 0, 0, resolution, 0, 0};
    Rect extent{};
    if (TextRun_measureXform(fonts, size, 0, nullptr, noticeText, count, 0, 0, &m, &extent) ==
        Res_ok) {
        m.tx = (width - (extent.x1 - extent.x0)) / 2 - extent.x0;
        m.ty = height;
        DrawTarget target{bitmap, nullptr, 0, 0};
        (void)TextRun_outline(fonts, size, 0, nullptr, noticeText, count, 0, 0, &m, nullptr,
                              &target, 0xFF888888);
    }
    Font_listRelease(fonts);
}

// The completion routine on the application thread, and its copy freed
// when the post is refused.
void runDone(EngineInstance *, void *argument)
{
    IdentDone *done = static_cast<IdentDone *>(argument);
    done->routine(done->argument);
    Mem_free(done);
}

void discardDone(void *block)
{
    Mem_free(reinterpret_cast<void *>(static_cast<intptr_t *>(block)[3]));
}

} // namespace

void Ident_draw(EngineContext *context, Screen *screen, const PixelBuf *picture)
{
    Bitmap *bitmap = Bitmap_createFromRecord(screen);
    if (!bitmap)
        return;
    // The bitmap carries the screen's resolution as its scale; the notice
    // is placed in pixels, its size scaled by the resolution through the
    // text matrix instead.
    bitmap->scale = 0x10000;
    (void)Bitmap_fillColour(bitmap, 0xFF000000);
    int32_t w = bitmap->width, h = bitmap->height;
    int32_t x = w > picture->width ? (w - picture->width) / 2 : 0;
    int32_t y = h > picture->height + 29 ? (h - (picture->height + 29)) / 2 : 0;
    // The picture is copied row by row, clipped to the screen, when it is
    // in the screen's pixel format.
    uint8_t *rows = Bitmap_firstRow(bitmap);
    uint32_t bpp = Pixel_bytesPerPixel(bitmap->format);
    if (rows && picture->pixels && picture->format == bitmap->format && bpp) {
        int32_t cw = std::min(picture->width, w - x);
        for (int32_t r = 0; r < picture->height && y + r < h; r++)
            memcpy(rows + size_t(y + r) * bitmap->stride + size_t(x) * bpp,
                   picture->pixels + size_t(r) * picture->stride, size_t(cw) * bpp);
    }
    int32_t p = h - (y + picture->height) - 10;
    drawLine(context, bitmap, w, screen->resolution > 0 ? screen->resolution : 72, p - 14);
    Bitmap_destroy(bitmap);
}

void Ident_taskMain(void *argument)
{
    IdentBlock *block = static_cast<IdentBlock *>(argument);
    EngineContext *context = block->context;
    Sem wake;
    Sem_init(context, &wake, 0, 1);
    uint32_t timer = 0;
    bool ok = block->ms <= 0 || TimerQ_add(context, context->eventProc, block->ms, 0, timerDone,
                                           &wake, &timer) == Res_ok;
    Screen *screen = block->screen ? ScreenBinding_screen(block->screen) : nullptr;
    if (ok && screen) {
        bool landscape = block->landscape && Screen_height(screen) < Screen_width(screen);
        const char16_t *url = landscape ? block->landscape : block->portrait;
        PixelBuf *picture = nullptr;
        if (url && Image_loadUrlText(context, url, &picture, nullptr) != Res_ok && landscape &&
            block->portrait)
            (void)Image_loadUrlText(context, block->portrait, &picture, nullptr);
        if (picture) {
            Screen_blockUpdates(screen, 1);
            Screen_lock(screen);
            Ident_draw(context, screen, picture);
            Screen_unlock(screen);
            Screen_presentNow(screen);
            Task_expireSlice(context);
        }
        PixelBuf_destroy(picture);
        releaseCaller(block);
        // Frozen until the timer fires or, without a duration, a stop.
        (void)Sem_waitStoppable(&wake);
    }
    if (timer)
        // A timer that has already ended needs no cancelling.
        (void)TimerQ_cancel(context->eventProc, &timer);
    Sem_fini(&wake);
    releaseCaller(block);
    if (block->done.routine) {
        IdentDone *done = static_cast<IdentDone *>(Mem_malloc(sizeof(IdentDone)));
        if (done) {
            *done = block->done;
            (void)App_postCallRetry(context->instance, runDone, done, discardDone);
        }
    }
    freeBlock(block);
}

int Ident_show(EngineContext *context, const char *portrait, const char *landscape, Task **task,
               FvScreen *screen, int32_t ms, const IdentDone *done)
{
    if (task)
        *task = nullptr;
    if (!context || !task)
        return Res_nullInput;
    IdentRecord *record = context->instance ? context->instance->ident : nullptr;
    if (record && record->result)
        return int(record->result);
    if (record && record->portraitUrl)
        portrait = static_cast<const char *>(record->portraitUrl);
    if (record && record->landscapeUrl)
        landscape = static_cast<const char *>(record->landscapeUrl);
    IdentBlock *block = static_cast<IdentBlock *>(Mem_calloc(1, sizeof(IdentBlock)));
    if (!block)
        return Res_noMemory;
    block->context = context;
    block->screen = screen;
    block->ms = ms;
    if (done)
        block->done = *done;
    int r = portrait ? Charset_toUstr(nullptr, portrait, &block->portrait, CharsetCode_utf8)
                     : int(Res_ok);
    if (r == Res_ok && landscape)
        r = Charset_toUstr(nullptr, landscape, &block->landscape, CharsetCode_utf8);
    if (r != Res_ok) {
        freeBlock(block);
        return r;
    }
    Sem shown;
    Sem_init(context, &shown, 0, 1);
    block->shown = &shown;
    Task *t = nullptr;
    r = Task_create(context, &t, 2, Ident_taskMain, block, "Ident", 4096);
    if (r != Res_ok) {
        freeBlock(block);
    } else if (Sem_waitStoppable(&shown) == Res_stopRequested) {
        // The caller is asked to stop while the picture is drawn: the task
        // ends with it.
        (void)Task_requestStop(t);
        (void)Task_join(t);
        t = nullptr;
    }
    Sem_fini(&shown);
    *task = t;
    return r;
}

int Ident_stop(EngineContext *context, FvScreen *screen, Task **task)
{
    if (!task || !*task)
        return Res_ok;
    Screen *s = screen ? ScreenBinding_screen(screen) : nullptr;
    if (s)
        Screen_blockUpdates(s, 0);
    App_sendRequest(context ? context->instance : nullptr, requestIdentEnded, nullptr);
    if (s)
        Screen_flushUpdates(s);
    // A task that has already ended needs no stop.
    (void)Task_requestStop(*task);
    (void)Task_join(*task);
    *task = nullptr;
    return Res_ok;
}

int Ident_isRunning(Task *const *task)
{
    return task && *task ? 1 : 0;
}
