// Opening plain texts through the running application, page by page
// ("FV_singlePageLoad" 1), on the headless host with the engine's default
// 64 MiB heap and its real clock. In one run:
//   - FirstPage/1MB and FirstPage/100MB: from App_openDocument until the
//     first display was reported and a picture of it reached the screen;
//   - Page10000/100MB: from the display's move to page 10,000 of the large
//     text until that page was built, laid out and a new picture reached
//     the screen.
// The texts (lines of 64 bytes, 66 lines a page) are written to the
// temporary directory first and removed at the end. Each benchmark reports
// the highest engine heap use seen while it ran (heap_peak_MiB, sampled
// every few timer firings), and the page count.
//
// Goals: the 100 MB text's first page within 2x the 1 MB text's; page
// 10,000 within 2x the first page; the heap's high-water mark independent
// of the text's size.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/mem/mem.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/edr/page.h"
#include "document/manager/manager.h"
#include "host/headless/headless.h"
#include "app/app.h"
#include "platform/api/appqueue.h"
#include "platform/api/command.h"
#include "platform/api/engine.h"
#include "platform/api/hostevent.h"
#include "viewer/dispqueue.h"
#include "viewer/fvdisplay.h"
#include "viewer/reports.h"
#include "viewer/viewer.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t lineBytes = 64;
constexpr int sampleEvery = 256;
constexpr int fireLimit = 2000000;

std::string textPath(size_t bytes)
{
    const char *tmp = getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/vexlan-textopen-" +
           std::to_string(bytes >> 20) + "mb.txt";
}

void writeText(const std::string &path, size_t bytes)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return;
    std::string block;
    char line[lineBytes + 1];
    for (size_t n = 0; n * lineBytes < bytes; n++) {
        snprintf(line, sizeof line,
                 "%07zu the quick brown fox jumps over the lazy dog, again.....\n", n);
        block.append(line, lineBytes);
        if (block.size() >= (size_t(1) << 20)) {
            fwrite(block.data(), 1, block.size(), f);
            block.clear();
        }
    }
    fwrite(block.data(), 1, block.size(), f);
    fclose(f);
}

struct Session {
    HostContext *host = nullptr;
    EngineInstance *inst = nullptr;
    int ready = 0;
    int failed = 0;
    int loaded = 0;
    size_t peak = 0;
    int fires = 0;

    static void onRequest(void *arg, int32_t code, void *record)
    {
        Session *s = static_cast<Session *>(arg);
        if (code == Engine_requestReady)
            s->ready = 1;
        if (code == Engine_requestFailed)
            s->failed = 1;
        if (code == Fv_requestDocInfo && record)
            s->loaded++;
    }

    // Runs fn on the application thread and waits for it.
    template <typename Fn> bool onAppThread(Fn fn)
    {
        struct Call {
            Fn *fn;
            bool ran;
        } call{&fn, false};
        if (App_postCall(
                inst,
                [](EngineInstance *, void *arg) {
                    Call *c = static_cast<Call *>(arg);
                    (*c->fn)();
                    c->ran = true;
                },
                &call, nullptr) != 0)
            return false;
        return drive([&] { return call.ran; }, false);
    }

    void sample()
    {
        MemStats st{};
        onAppThread([&] {
            if (Mem_getStats(&st) == 0 && st.usedBytes > peak)
                peak = st.usedBytes;
        });
    }

    template <typename Done> bool drive(Done done, bool sampling = true)
    {
        for (int i = 0; i < fireLimit && !done(); i++) {
            if (!host->instance)
                return false;
            if (!Headless_fireTimer(host))
                usleep(200);
            if (sampling && ++fires % sampleEvery == 0)
                sample();
        }
        return done();
    }

    bool start()
    {
        host = Headless_createContext(0);
        if (!host)
            return false;
        Headless_setRequestHook(host, onRequest, this);
        if (!Headless_startEngine(host, nullptr, App_start, 0))
            return false;
        inst = host->instance;
        if (!drive([&] { return ready || failed; }) || !ready)
            return false;
        return App_setConfigInt(inst, "FV_singlePageLoad", 1) == 1;
    }

    void stop()
    {
        if (!host)
            return;
        Headless_setRequestHook(host, nullptr, nullptr);
        if (host->instance)
            Engine_stop(host->instance);
        Headless_destroyContext(host);
        host = nullptr;
    }

    Edr_Doc *document()
    {
        FvViewer *viewer = Fv_fromApp(inst);
        return viewer && viewer->page ? viewer->page->document : nullptr;
    }

    // Opens the file and waits for the first display and its picture.
    bool open(const std::string &path)
    {
        int updates = Headless_screenUpdateCount(host);
        std::string url = "file://root" + path;
        if (!App_openDocument(inst, url.c_str(), 0, 0))
            return false;
        return drive([&] { return loaded > 0 && Headless_screenUpdateCount(host) > updates; });
    }

    // The published page count, and whether the manager is idle.
    bool settled(uint32_t *pages)
    {
        bool quiet = false;
        onAppThread([&] {
            Edr_Doc *doc = document();
            *pages = 0;
            if (!doc)
                return;
            (void)Edr_Page_count(doc, pages);
            const Edr_MgrState *st = Edr_Mgr_state(doc);
            quiet = st && !st->timerSet && !st->passRunning;
        });
        return quiet;
    }

    // Does page group index hold text?
    bool built(uint32_t index)
    {
        bool any = false;
        onAppThread([&] {
            Edr_Doc *doc = document();
            if (!doc)
                return;
            Edr_Doc_readLock(doc);
            Edr_Node *n = Edr_Node_firstChild(Edr_Doc_root(doc));
            for (uint32_t i = 0; n && i < index; i++)
                n = Edr_Node_nextSibling(n);
            any = n && Edr_Node_firstChild(n);
            Edr_Doc_readUnlock(doc);
        });
        return any;
    }

    // Moves the display to page index, as page navigation does.
    bool showPage(uint32_t index)
    {
        bool queued = false;
        onAppThread([&] {
            FvPage *page = Fv_fromApp(inst)->page;
            int32_t key = 0;
            uint32_t kind = 0;
            FvPageView *view = page ? page->pageView : nullptr;
            Edr_SubdocNode *link =
                view && view->node ? Edr_Node_subdocPayload(view->node) : nullptr;
            if (!link || Edr_Page_getKeyByIndex(&key, &kind, page->document, index) != 0)
                return;
            queued = Dispman_queueDocSwitch(view->display->engine, DispmanSub_hqAndQuick,
                                            view->display->view, view->display->viewDocument,
                                            int32_t(link->pageKey), uint32_t(link->pageKind),
                                            view->node, page->document, key, kind) == 0;
        });
        return queued;
    }
};

double seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

void report(benchmark::State &state, const Session &s, uint32_t pages)
{
    state.counters["heap_peak_MiB"] = double(s.peak) / double(1 << 20);
    state.counters["pages"] = pages;
}

void BM_FirstPage(benchmark::State &state)
{
    size_t bytes = size_t(state.range(0)) << 20;
    std::string path = textPath(bytes);
    writeText(path, bytes);
    for (auto _ : state) {
        Session s;
        if (!s.start()) {
            state.SkipWithError("the engine did not start");
            s.stop();
            break;
        }
        Clock::time_point t0 = Clock::now();
        bool shown = s.open(path);
        Clock::time_point t1 = Clock::now();
        uint32_t pages = 0;
        s.drive([&] { return s.settled(&pages); });
        s.sample();
        if (!shown)
            state.SkipWithError("the text did not open");
        state.SetIterationTime(seconds(t0, t1));
        report(state, s, pages);
        s.stop();
    }
    remove(path.c_str());
}

void BM_Page10000(benchmark::State &state)
{
    size_t bytes = size_t(100) << 20;
    std::string path = textPath(bytes);
    writeText(path, bytes);
    for (auto _ : state) {
        Session s;
        uint32_t pages = 0;
        if (!s.start() || !s.open(path) ||
            !s.drive([&] { return s.settled(&pages) && pages > 10000; })) {
            state.SkipWithError("the text did not open and settle");
            s.stop();
            break;
        }
        int updates = Headless_screenUpdateCount(s.host);
        Clock::time_point t0 = Clock::now();
        bool moved = s.showPage(9999);
        bool shown = moved && s.drive([&] {
            uint32_t n = 0;
            return s.built(9999) && s.settled(&n) && Headless_screenUpdateCount(s.host) > updates;
        });
        Clock::time_point t1 = Clock::now();
        s.sample();
        if (!shown)
            state.SkipWithError("page 10,000 was not shown");
        state.SetIterationTime(seconds(t0, t1));
        report(state, s, pages);
        s.stop();
    }
    remove(path.c_str());
}

BENCHMARK(BM_FirstPage)
    ->Arg(1)
    ->Arg(100)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Page10000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
