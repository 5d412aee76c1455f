// docrender: renders one page of a document to a PNG picture, headless.
//
//   docrender FILE --page N --size WxH [--scale Z] [--box-font] [--heap MiB] [--png-level L]
//             --out page.png
//
// It starts the engine on the headless host with the real application
// entry, opens FILE through the engine's command API (App_openDocument),
// gives the engine time slices until the document has loaded and the
// document manager's layout pass has published its pages and settled, and
// then draws page N (counted from 1) with the banded page renderer through
// the display manager's 71680 bytes of band memory into a W x H bitmap of
// 16-bit pixels (5-6-5). The page is fitted into the picture and centred,
// or, with --scale, drawn at Z x 96 pixels per inch from the top-left
// corner; the rest of the picture is light grey. The pixels are written as
// an 8-bit RGB PNG, each channel's bits replicated into the low bits, at
// deflate level 1 with the "sub" row filter unless --png-level says other.
// The picture is a still: animated pictures show their first frame.
//
// With --screen the picture is the viewer's screen instead: the headless
// screen is W x H, the viewer fits the first page it shows as a user would
// see it and goes to page N, and the picture is what the screen presented
// last. The page's place is printed as "page N of C, zoom 0xZ, frame x0 y0
// x1 y1" (the zoom 16.16, the frame the page's rectangle on the screen).
//
// With --box-font the font engine's catalogue is emptied before the file
// opens, so that every font list falls back on the box font (every glyph a
// hollow box, one advance for all): a picture that does not depend on the
// fonts installed.
//
// --heap MiB gives the engine a heap of that size instead of the default.
// An engine that runs out of memory while opening, translating, laying out
// or drawing ends the run with status 1 and a message: a document cut short
// by a full heap is never drawn as if it were the whole.
//
// A wrong command line exits with status 2; a missing or unreadable file,
// a failed load, a document without pages or a page out of range with
// status 1 and a message saying why ("page 7 of 3").
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/context/context.h"
#include "core/geom/matrix.h"
#include "core/geom/rect.h"
#include "core/result.h"
#include "core/task/lock.h"
#include "document/edr/doc.h"
#include "document/edr/handler.h"
#include "document/edr/page.h"
#include "document/types/translate.h"
#include "fonts/catalogue.h"
#include "fonts/fontengine.h"
#include "layout/layout.h"
#include "document/manager/manager.h"
#include "graphics/bitmap.h"
#include "viewer/pagerender.h"
#include "graphics/pixelbuf.h"
#include "host/headless/headless.h"
#include "tools/common/toolhost.h"
#include "app/app.h"
#include "platform/api/appqueue.h"
#include "platform/api/command.h"
#include "platform/api/engine.h"
#include "platform/api/hostevent.h"
#include "viewer/dispman.h"
#include "viewer/docview.h"
#include "viewer/fvdisplay.h"
#include "viewer/navigate.h"
#include "viewer/viewer.h"
#include "graphics/rects.h"

namespace {

using namespace toolhost;

// Checks in a row that must find the layout settled.
constexpr int settledChecks = 3;
constexpr int32_t maxSide = 16384;
constexpr double maxScale = 64.0;
constexpr uint32_t backgroundGrey = 0xFFD3D3D3; // light grey, 0xAABBGGRR
constexpr int32_t inch = 0x10000;
constexpr long maxResolution = 4800;
// The PNG's deflate level: 1 with the cheap "sub" row filter writes a page
// several times faster than the library's defaults (level 6, every filter
// tried per row) at a somewhat larger file, so that timing a run measures
// the drawing rather than the compressor.
constexpr int defaultPngLevel = 1;

struct Options {
    const char *path = nullptr;
    long page = 0;
    int32_t width = 0;
    int32_t height = 0;
    double scale = 0;    // 0: fit the page
    long resolution = 0; // with scale: the screen's pixels per inch (0: 96, whole pixels)
    const char *out = nullptr;
    bool boxFont = false;
    bool screen = false;
    size_t heapBytes = 0; // 0: the engine's default
    int pngLevel = defaultPngLevel;
};

struct State {
    int ready;
    int loaded;
    int failed;
};

// What the calls on the application thread report.
struct Probe {
    int done;
    int hasDocument;
    int settled;
    int countPages; // asked: count the pages (else pages is 1 when there are any)
    uint32_t pages;
    int error;
    int onDemand;    // the document's step operation builds its pages when shown
    uint32_t built;  // the index of the page built last
    int translating; // a translation job runs
};

struct RenderCall {
    const Options *options;
    int done;
    int status; // 0 drawn; 1 page out of range; 2 drawing failed
    uint32_t pages;
    int error;
    std::vector<uint8_t> pixels; // rows top first, stride bytes apart
    uint32_t stride;
};

void onRequest(void *arg, int32_t code, void *record)
{
    State *s = static_cast<State *>(arg);
    if (code == Fv_requestDocInfo && record)
        s->loaded = 1;
    if (code == Engine_requestReady)
        s->ready = 1;
    if (code == Engine_requestFailed)
        s->failed = 1;
}

Edr_Doc *documentOf(EngineInstance *instance)
{
    FvViewer *viewer = Fv_fromApp(instance);
    FvPage *page = viewer ? viewer->page : nullptr;
    return page ? page->document : nullptr;
}

// On the application thread: has the manager published pages and nothing
// is scheduled or running?
// Empties the font engine's catalogue (on the engine's thread): font lists
// made afterwards are the box font's.
struct BoxFontCall {
    bool done;
    bool ok;
};

void useBoxFont(EngineInstance *instance, void *arg)
{
    BoxFontCall *call = static_cast<BoxFontCall *>(arg);
    EngineContext *context = instance->context;
    FontEngine *fe = context ? context->fontEngine : nullptr;
    FontCatalogue *empty = nullptr;
    if (fe && FontCatalogue_create(context, &empty) == 0) {
        FontCatalogue_free(fe->catalogue);
        fe->catalogue = empty;
        fe->match.knownReady = 0;
        call->ok = true;
    }
    call->done = true;
}

void probe(EngineInstance *instance, void *arg)
{
    Probe *p = static_cast<Probe *>(arg);
    Edr_Doc *doc = documentOf(instance);
    p->hasDocument = doc != nullptr;
    p->pages = 0;
    p->settled = 0;
    if (doc) {
        // Counting walks the page list: the settling checks, many for a
        // document of thousands of pages, only ask whether there are any.
        if (p->countPages)
            (void)Edr_Page_count(doc, &p->pages);
        else
            p->pages = Edr_Page_hasPages(doc) ? 1 : 0;
        const Edr_MgrState *st = Edr_Mgr_state(doc);
        p->settled = st && !st->timerSet && !st->passRunning;
        // Pages built on demand are the root's children that the
        // document's step operation fills, one at a time; a document
        // without a step or its state lays its pages out of one tree.
        Edr_HandlerDesc *handler = Edr_Doc_getHandler(doc);
        p->onDemand =
            Edr_Doc_isPageOnDemand(doc) && handler && handler->step && Edr_Doc_getLoaderData(doc);
        p->built = Edr_Doc_getSelectedRootChild(doc);
        p->translating = doc->translating != 0;
    }
    p->done = 1;
}

// On the application thread: the layout pass the manager runs for a shown
// document, for a document that no view shows (whose manager has no work).
void layOut(EngineInstance *instance, void *arg)
{
    Probe *p = static_cast<Probe *>(arg);
    Edr_Doc *doc = documentOf(instance);
    if (doc && !Edr_Doc_needsManager(doc)) {
        Edr_Doc_readLock(doc);
        p->error = Layout_document(doc);
        Edr_Doc_readUnlock(doc);
        if (!p->error)
            (void)View_publishLayout(doc);
    }
    p->done = 1;
}

void noteDrawn(void *, const Rect *) {}

// On the application thread: suspends the display manager's views (or
// resumes them), so that nothing draws into the viewer's screen. Without
// --screen nobody looks at that screen, and drawing the page there (again
// at each layout change) would draw it a second time beside the render
// call. Going to a page that is built when shown needs the screen's
// drawing, which asks for the page: the views are resumed for that.
struct SuspendCall {
    int32_t suspended;
    int done;
};

void suspendScreen(EngineInstance *instance, void *arg)
{
    SuspendCall *call = static_cast<SuspendCall *>(arg);
    DispmanCtx *dm =
        instance->context ? static_cast<DispmanCtx *>(instance->context->dispman) : nullptr;
    if (dm) {
        Lock_acquire(&dm->viewLock);
        for (DispmanView *view = dm->views; view; view = view->next)
            view->suspended = call->suspended;
        Lock_release(&dm->viewLock);
    }
    call->done = 1;
}

// On the application thread: the viewer goes to the page; then, in a later
// call, it says where the page is.
struct ScreenCall {
    long page;
    int done;
    int status; // 0 shown; 1 page out of range; 2 the viewer failed
    uint32_t pages;
    int error;
    int32_t index;
    int32_t zoom;
    Rect frame;
};

void showPage(EngineInstance *instance, void *arg)
{
    ScreenCall *call = static_cast<ScreenCall *>(arg);
    FvViewer *viewer = Fv_fromApp(instance);
    FvPage *page = viewer ? viewer->page : nullptr;
    call->status = 2;
    if (page && page->document) {
        (void)Edr_Page_count(page->document, &call->pages);
        if (call->page > long(call->pages)) {
            call->status = 1;
        } else {
            call->error = Fv_gotoPage(viewer, page, int32_t(call->page - 1));
            call->status = call->error ? 2 : 0;
        }
    }
    call->done = 1;
}

void readPlace(EngineInstance *instance, void *arg)
{
    ScreenCall *call = static_cast<ScreenCall *>(arg);
    FvViewer *viewer = Fv_fromApp(instance);
    FvPage *page = viewer ? viewer->page : nullptr;
    if (page && page->pageView) {
        call->index = page->currentIndex;
        call->zoom = Edr_Fwd_subdocScale(page->pageView);
        Edr_Fwd_getViewRect(page->pageView, &call->frame);
    }
    call->done = 1;
}

// On the application thread: draws the page into the call's pixels.
void render(EngineInstance *instance, void *arg)
{
    RenderCall *call = static_cast<RenderCall *>(arg);
    const Options &o = *call->options;
    call->status = 2;
    Edr_Doc *doc = documentOf(instance);
    EngineContext *ctx = instance->context;
    if (!doc) {
        call->done = 1;
        return;
    }
    (void)Edr_Page_count(doc, &call->pages);
    if (o.page > long(call->pages)) {
        call->status = 1;
        call->done = 1;
        return;
    }
    int32_t key = 0;
    uint32_t kind = 0;
    Edr_PageEntry *entry = nullptr;
    int err = Edr_Page_getKeyByIndex(&key, &kind, doc, uint32_t(o.page - 1));
    if (!err)
        err = Edr_Page_find(&entry, doc, key, kind, 0);
    if (err) {
        call->error = err;
        call->done = 1;
        return;
    }
    Edr_PageRec *chain = Edr_Page_deref(entry);
    const int32_t *pr = Edr_Page_rectOrDefault(chain);
    int64_t pageW = int64_t(pr[2]) - pr[0], pageH = int64_t(pr[3]) - pr[1];
    uint64_t bytes = 0;
    Pixel_bufferSize(o.width, o.height, Pixel_format565, &call->stride, &bytes);
    call->pixels.assign(size_t(bytes), 0);
    Bitmap *bitmap = nullptr;
    // With a resolution the bitmap converts inches to pixels as a screen of
    // that resolution does, and the matrix carries the 16.16 zoom.
    err = Bitmap_create(ctx, &bitmap, o.width, o.height, Pixel_format565,
                        o.resolution ? int32_t(o.resolution) : 0x10000, call->pixels.data(), 0);
    std::vector<uint8_t> band(Dispman_pageBandDefault);
    RenderBuffers *buffers = nullptr;
    if (!err)
        err = RenderBuffers_create(ctx, &buffers, band.data(), uint32_t(band.size()));
    if (!err) {
        Bitmap_fillRect16(bitmap, nullptr, backgroundGrey);
        // Page units to pixels: a is pixels per inch (the 16.16 factor of
        // a length of one inch); y grows upward in both.
        double ppi = o.scale > 0 ? o.scale * 96.0 : 0;
        if (ppi == 0 && pageW > 0 && pageH > 0)
            ppi = std::min(double(o.width) * inch / double(pageW),
                           double(o.height) * inch / double(pageH));
        // A fitted page never overflows the picture: the factor rounds down.
        int32_t a = int32_t(o.scale > 0 ? std::lround(ppi) : std::floor(ppi));
        double wPx = double(pageW) * a / 65536.0, hPx = double(pageH) * a / 65536.0;
        int32_t tx = 0, ty = o.height;
        if (o.scale <= 0) {
            tx = int32_t(std::lround((o.width - wPx) / 2));
            ty = o.height - int32_t(std::lround((o.height - hPx) / 2));
        }
        tx -= int32_t(std::lround(double(pr[0]) * a / 65536.0));
        ty -= int32_t(std::lround(double(pr[3]) * a / 65536.0));
        Matrix m{a, 0, 0, a, tx, ty};
        if (o.resolution) {
            // The zoom as the viewer holds it; the translation in page units,
            // the page's top-left corner on the picture's (0, 0).
            int32_t zoom = int32_t(std::lround(o.scale * 65536.0));
            int64_t top = int64_t(o.height) * 65536 / o.resolution;
            m = Matrix{zoom,
                       0,
                       0,
                       zoom,
                       int32_t(-(int64_t(pr[0]) * zoom / 65536)),
                       int32_t(top - int64_t(pr[3]) * zoom / 65536)};
        }
        Rect page{pr[0], pr[1], pr[2], pr[3]}, device;
        Rect_toDevice(&device, &page, &m, bitmap, RectDevice_round);
        Rect clip = device, all{0, 0, o.width, o.height};
        Rect_intersect(&clip, &all);
        DrawFlags flags;
        DrawFlags_clear(ctx, &flags);
        flags.flags |= DrawFlags_offscreen | DrawFlags_noHighlights | DrawFlags_still;
        if (clip.x0 < clip.x1 && clip.y0 < clip.y1)
            err = PageRender_walk(ctx, chain, &m, &clip, &device, bitmap, nullptr, &flags,
                                  noteDrawn, nullptr, PageRender_drawBanded, buffers, 1, 0);
    }
    RenderBuffers_free(buffers);
    if (bitmap)
        Bitmap_destroy(bitmap);
    Edr_Page_release(entry, 0);
    call->error = err;
    call->status = err ? 2 : 0;
    call->done = 1;
}

int usage(const char *self)
{
    fprintf(
        stderr,
        "usage: %s FILE --page N --size WxH [--scale Z [--resolution R] | --screen] [--box-font]\n"
        "       [--heap MiB] [--png-level L] --out PAGE.png\n"
        "Opens FILE with the engine, lays it out and writes page N (from 1) as a\n"
        "W x H picture: the page fitted and centred, or with --scale at Z x 96\n"
        "pixels per inch from the top-left corner, on light grey; --resolution R\n"
        "draws at Z x R pixels per inch as a screen of R pixels per inch does (the\n"
        "16.16 zoom Z, not rounded to whole pixels per inch). --screen shows\n"
        "page N on the viewer's W x H screen, placed as the viewer places it.\n"
        "--box-font draws every glyph as a box, whatever fonts are installed.\n"
        "--heap MiB gives the engine a heap of MiB mebibytes (default: the\n"
        "engine's default of 64); running out of it is an error (exit 1), never\n"
        "a shorter document.\n"
        "--png-level L sets the PNG's compression level, 0 (stored) to 9\n"
        "(smallest, slowest; every row filter tried); the default 1 writes fast\n"
        "with the \"sub\" row filter.\n",
        self);
    return 2;
}

bool parseLong(const char *text, long *out)
{
    char *end = nullptr;
    errno = 0;
    long v = strtol(text, &end, 10);
    if (!*text || *end || errno)
        return false;
    *out = v;
    return true;
}

bool parseSize(const char *text, int32_t *w, int32_t *h)
{
    const char *x = strchr(text, 'x');
    if (!x)
        return false;
    std::string a(text, x), b(x + 1);
    long wv = 0, hv = 0;
    if (!parseLong(a.c_str(), &wv) || !parseLong(b.c_str(), &hv))
        return false;
    if (wv < 1 || hv < 1 || wv > maxSide || hv > maxSide)
        return false;
    *w = int32_t(wv);
    *h = int32_t(hv);
    return true;
}

bool parseOptions(int argc, char **argv, Options *o)
{
    bool havePage = false, haveSize = false, havePngLevel = false;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        bool hasValue = i + 1 < argc;
        if (a == "--page" && hasValue) {
            if (havePage || !parseLong(argv[++i], &o->page) || o->page < 1)
                return false;
            havePage = true;
        } else if (a == "--size" && hasValue) {
            if (haveSize || !parseSize(argv[++i], &o->width, &o->height))
                return false;
            haveSize = true;
        } else if (a == "--scale" && hasValue) {
            char *end = nullptr;
            const char *t = argv[++i];
            errno = 0;
            double z = strtod(t, &end);
            if (o->scale > 0 || o->screen || !*t || *end || errno || !(z > 0) || z > maxScale)
                return false;
            o->scale = z;
        } else if (a == "--resolution" && hasValue) {
            if (o->resolution || !parseLong(argv[++i], &o->resolution) || o->resolution < 1 ||
                o->resolution > maxResolution)
                return false;
        } else if (a == "--screen") {
            if (o->screen || o->scale > 0)
                return false;
            o->screen = true;
        } else if (a == "--heap" && hasValue) {
            if (o->heapBytes || !parseHeapMiB(argv[++i], &o->heapBytes))
                return false;
        } else if (a == "--png-level" && hasValue) {
            long level = -1;
            if (havePngLevel || !parseLong(argv[++i], &level) || level < 0 || level > 9)
                return false;
            o->pngLevel = int(level);
            havePngLevel = true;
        } else if (a == "--box-font") {
            if (o->boxFont)
                return false;
            o->boxFont = true;
        } else if (a == "--out" && hasValue) {
            if (o->out || !*argv[i + 1])
                return false;
            o->out = argv[++i];
        } else if (!o->path && (a.empty() || a[0] != '-')) {
            o->path = argv[i];
        } else {
            return false;
        }
    }
    // A resolution only means something for a drawing at a scale.
    if (o->resolution && !(o->scale > 0))
        return false;
    return o->path && havePage && haveSize && o->out;
}

// Writes 5-6-5 pixels (rows top first) as an 8-bit RGB PNG at deflate
// level `level` (0-9). Levels up to 5 use one cheap row filter ("none" when
// stored, else "sub"); higher levels let the library try every filter per
// row. 0 or 1 with *why set.
int writePng(const char *path, const std::vector<uint8_t> &pixels, uint32_t stride, int32_t w,
             int32_t h, int level, std::string *why)
{
    FILE *f = fopen(path, "wb");
    if (!f) {
        *why = strerror(errno);
        return 1;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<png_byte> row(size_t(w) * 3);
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        fclose(f);
        *why = "the PNG library failed";
        return 1;
    }
    png_init_io(png, f);
    png_set_compression_level(png, level);
    if (level <= 5)
        png_set_filter(png, PNG_FILTER_TYPE_BASE, level == 0 ? PNG_FILTER_NONE : PNG_FILTER_SUB);
    png_set_IHDR(png, info, uint32_t(w), uint32_t(h), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int32_t y = 0; y < h; y++) {
        for (int32_t x = 0; x < w; x++) {
            const uint8_t *at = pixels.data() + size_t(y) * stride + size_t(x) * 2;
            uint32_t p = uint32_t(at[0]) | uint32_t(at[1]) << 8;
            uint32_t r = p >> 11, g = (p >> 5) & 63, b = p & 31;
            row[size_t(x) * 3 + 0] = png_byte(r << 3 | r >> 2);
            row[size_t(x) * 3 + 1] = png_byte(g << 2 | g >> 4);
            row[size_t(x) * 3 + 2] = png_byte(b << 3 | b >> 2);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (fclose(f) != 0) {
        *why = strerror(errno);
        return 1;
    }
    return 0;
}

// Asks the viewer to go to the page and waits for its answer in *call.
// 0 when it answered; 1, said on stderr, when it did not or ran out of
// memory.
int goToPage(HostContext *host, const Options &o, ScreenCall *call)
{
    call->page = o.page;
    if (App_postCall(host->instance, showPage, call, nullptr) != 0 ||
        !drive(host, [&] { return call->done != 0; })) {
        fprintf(stderr, "docrender: the viewer did not go to the page\n");
        return 1;
    }
    if (outOfMemory(host) || call->error == Res_noMemory) {
        fprintf(stderr, "docrender: cannot show page %ld of %s: %s\n", o.page, o.path,
                noMemoryAdvice);
        return 1;
    }
    return 0;
}

// Goes to the page on the viewer's screen, lets the display settle and
// writes what the screen presented last.
int showOnScreen(HostContext *host, const Options &o)
{
    EngineInstance *inst = host->instance;
    ScreenCall call{};
    if (goToPage(host, o, &call) != 0)
        return 1;
    if (call.status == 1) {
        fprintf(stderr, "docrender: %s has no page %ld: page %ld of %u\n", o.path, o.page, o.page,
                call.pages);
        return 1;
    }
    if (call.status != 0) {
        fprintf(stderr, "docrender: going to page %ld of %s failed (engine %s)\n", o.page, o.path,
                errorMeaning(call.error).c_str());
        return 1;
    }
    // The display's passes run on their own threads: a few quiet rounds.
    for (int i = 0; i < 50 && host->instance; i++)
        if (!Headless_fireTimer(host))
            usleep(2000);
    call.done = 0;
    if (App_postCall(inst, readPlace, &call, nullptr) != 0 ||
        !drive(host, [&] { return call.done != 0; })) {
        fprintf(stderr, "docrender: the viewer did not say where the page is\n");
        return 1;
    }
    if (outOfMemory(host)) {
        fprintf(stderr, "docrender: cannot show page %ld of %s: %s\n", o.page, o.path,
                noMemoryAdvice);
        return 1;
    }
    int n = Headless_screenUpdateCount(host);
    const HeadlessScreenUpdate *shown = n > 0 ? Headless_screenUpdate(host, n - 1) : nullptr;
    if (!shown || !shown->pixels) {
        fprintf(stderr, "docrender: the screen showed nothing\n");
        return 1;
    }
    printf("page %d of %u, zoom 0x%x, frame %d %d %d %d\n", call.index + 1, call.pages,
           unsigned(call.zoom), call.frame.x0, call.frame.y0, call.frame.x1, call.frame.y1);
    std::vector<uint8_t> pixels(shown->pixels, shown->pixels + shown->size);
    std::string why;
    if (writePng(o.out, pixels, uint32_t(shown->rowBytes), shown->width, shown->height, o.pngLevel,
                 &why)) {
        fprintf(stderr, "docrender: cannot write %s: %s\n", o.out, why.c_str());
        return 1;
    }
    return 0;
}

// Gives the engine time until the layout has settled: several checks in a
// row find pages published, no pass scheduled or running and, for a
// document that builds its pages when they are shown, page `want` (an
// index; -1: any) built and no translation running. A failure report heard
// on the way (`report`, optional) ends the wait. 0 settled; else the exit
// status, the reason printed.
int settle(HostContext *host, const Options &o, int64_t want, LoadReport *report)
{
    EngineInstance *inst = host->instance;
    // The layout has settled when several checks in a row find pages
    // published and no pass scheduled or running.
    int quiet = 0;
    uint32_t pages = 0;
    bool laidOut = false;
    for (int round = 0; round < fireLimit && quiet < settledChecks; round++) {
        Probe p{};
        if (App_postCall(inst, probe, &p, nullptr) != 0 || !drive(host, [&] { return p.done; }))
            break;
        pages = p.pages;
        bool built = !p.onDemand || want < 0 || (p.built == uint64_t(want) && !p.translating);
        quiet = p.settled && p.pages > 0 && built ? quiet + 1 : 0;
        if (!p.hasDocument)
            break;
        if (laidOut && p.settled && !p.pages)
            break;
        if (p.settled && !p.pages && !laidOut) {
            // Settled without pages: a document no view shows has its
            // layout pass run here.
            Probe pass{};
            laidOut = true;
            if (App_postCall(inst, layOut, &pass, nullptr) != 0 ||
                !drive(host, [&] { return pass.done; }))
                break;
            if (pass.error == Res_noMemory) {
                fprintf(stderr, "docrender: cannot lay out %s: %s\n", o.path, noMemoryAdvice);
                return 1;
            }
            if (pass.error) {
                fprintf(stderr, "docrender: laying out %s failed (engine %s)\n", o.path,
                        errorMeaning(pass.error).c_str());
                return 1;
            }
        }
        if (outOfMemory(host) || (report && report->seen))
            break;
        for (int i = 0; i < 8 && host->instance; i++)
            if (!Headless_fireTimer(host))
                usleep(1000);
    }
    // A full heap stops a load or a layout pass short: the pages there are
    // then not the document's.
    if (outOfMemory(host)) {
        fprintf(stderr, "docrender: cannot show %s: %s\n", o.path, noMemoryAdvice);
        return 1;
    }
    if (report && report->seen) {
        fprintf(stderr, "docrender: cannot build page %ld of %s: %s\n", o.page, o.path,
                report->kind == Translate_kindNoMemory ? noMemoryAdvice
                                                       : openFailure(host, o.path, report).c_str());
        return 1;
    }
    if (quiet < settledChecks) {
        if (pages == 0)
            fprintf(stderr, "docrender: %s loaded, but its layout made no pages\n", o.path);
        else
            fprintf(stderr, "docrender: the layout of %s did not settle\n", o.path);
        return 1;
    }
    return 0;
}

// Suspends (1) or resumes (0) the viewer's screen views. 0, or 1 said on
// stderr.
int setScreenSuspended(HostContext *host, int32_t suspended)
{
    SuspendCall call{suspended, 0};
    if (App_postCall(host->instance, suspendScreen, &call, nullptr) != 0 ||
        !drive(host, [&] { return call.done != 0; })) {
        fprintf(stderr, "docrender: the engine did not answer\n");
        return 1;
    }
    return 0;
}

// A document that builds its pages when they are shown: the viewer goes to
// page N, which the translation then builds, and the layout settles again.
// Other documents have every page already.
int buildPage(HostContext *host, const Options &o)
{
    EngineInstance *inst = host->instance;
    Probe p{};
    p.countPages = 1;
    if (App_postCall(inst, probe, &p, nullptr) != 0 || !drive(host, [&] { return p.done; })) {
        fprintf(stderr, "docrender: the engine did not answer\n");
        return 1;
    }
    if (!p.onDemand || o.page > long(p.pages))
        return 0; // every page is there, or the render says the page is missing
    if (!o.screen && setScreenSuspended(host, 0) != 0)
        return 1;
    LoadReport report{};
    (void)listenForLoadReport(host, &report);
    ScreenCall call{};
    if (goToPage(host, o, &call) != 0)
        return 1;
    if (call.status != 0) {
        fprintf(stderr, "docrender: going to page %ld of %s failed (engine %s)\n", o.page, o.path,
                errorMeaning(call.error).c_str());
        return 1;
    }
    int status = settle(host, o, o.page - 1, report.listening ? &report : nullptr);
    if (report.listening)
        (void)listenForLoadReport(host, &report);
    if (!status && !o.screen && host->instance)
        status = setScreenSuspended(host, 1);
    return status;
}

// Loads the document and waits for its layout to settle; then renders.
int run(HostContext *host, const Options &o, State *state)
{
    EngineInstance *inst = host->instance;
    if (!drive(host, [&] { return state->ready || state->failed; }) || !state->ready) {
        fprintf(stderr, "docrender: the engine did not become ready\n");
        return 1;
    }
    if (o.boxFont) {
        BoxFontCall call{};
        if (App_postCall(inst, useBoxFont, &call, nullptr) != 0 ||
            !drive(host, [&] { return call.done; }) || !call.ok) {
            fprintf(stderr, "docrender: cannot set the box font\n");
            return 1;
        }
    }
    if (!o.screen && setScreenSuspended(host, 1) != 0)
        return 1;
    if (!usePagesOnDemand(host)) {
        fprintf(stderr, "docrender: the engine did not take its settings\n");
        return 1;
    }
    std::string url = fileUrl(o.path);
    Headless_captureDebug(host, 1);
    LoadReport report{};
    (void)listenForLoadReport(host, &report);
    if (!App_openDocument(inst, url.c_str(), 0, 0)) {
        fprintf(stderr, "docrender: the engine refused to open %s\n", o.path);
        return 1;
    }
    drive(host, [&] { return state->loaded || openAlertSeen(host) || state->failed; });
    if (report.listening)
        (void)listenForLoadReport(host, &report);
    if (!state->loaded) {
        fprintf(stderr, "docrender: cannot open %s: %s\n", o.path,
                openFailure(host, o.path, &report).c_str());
        return 1;
    }
    int status = settle(host, o, -1, nullptr);
    if (status)
        return status;
    if (o.page > 1 && (status = buildPage(host, o)))
        return status;
    if (o.screen)
        return showOnScreen(host, o);
    RenderCall call{};
    call.options = &o;
    if (App_postCall(inst, render, &call, nullptr) != 0 ||
        !drive(host, [&] { return call.done != 0; })) {
        fprintf(stderr, "docrender: the engine did not draw the page\n");
        return 1;
    }
    if (outOfMemory(host) || call.error == Res_noMemory) {
        fprintf(stderr, "docrender: cannot draw page %ld of %s: %s\n", o.page, o.path,
                noMemoryAdvice);
        return 1;
    }
    if (call.status == 1) {
        fprintf(stderr, "docrender: %s has no page %ld: page %ld of %u\n", o.path, o.page, o.page,
                call.pages);
        return 1;
    }
    if (call.status != 0) {
        fprintf(stderr, "docrender: drawing page %ld of %s failed (engine %s)\n", o.page, o.path,
                errorMeaning(call.error).c_str());
        return 1;
    }
    std::string why;
    if (writePng(o.out, call.pixels, call.stride, o.width, o.height, o.pngLevel, &why)) {
        fprintf(stderr, "docrender: cannot write %s: %s\n", o.out, why.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && (!strcmp(argv[1], "-h") || !strcmp(argv[1], "--help"))) {
        usage(argv[0]);
        return 0;
    }
    Options o;
    if (!parseOptions(argc, argv, &o))
        return usage(argv[0]);
    // A file URL names the file it stands for.
    std::string file = localPath(o.path);
    o.path = file.c_str();
    HostContext *host = Headless_createContext(o.heapBytes);
    if (!host) {
        fprintf(stderr, "docrender: out of memory\n");
        return 1;
    }
    State state{};
    // The engine's timers fire as soon as they are asked for: a batch
    // render has nothing to wait for in real time.
    Headless_setManualClock(host, 1);
    Headless_setRequestHook(host, onRequest, &state);
    // Only --screen writes what the screen showed; otherwise the screen's
    // hand-overs (a whole screen at every layout change, thousands for a
    // long document) are not kept.
    if (!o.screen)
        Headless_keepScreenUpdates(host, 0);
    if (o.screen) {
        // The whole display is the W x H area.
        const int32_t geometry[11] = {0,        0, 0, o.width, o.height, o.width,
                                      o.height, 0, 0, 0x10005, 0x10000};
        Headless_setScreenGeometry(host, geometry);
    }
    if (!Headless_startEngine(host, nullptr, App_start, 0)) {
        fprintf(stderr, "docrender: the engine did not start\n");
        Headless_destroyContext(host);
        return 1;
    }
    int status = run(host, o, &state);
    printWarnings(host, "docrender");
    Headless_setRequestHook(host, nullptr, nullptr);
    if (host->instance)
        Engine_stop(host->instance);
    Headless_destroyContext(host);
    return status;
}
