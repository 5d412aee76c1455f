// The headless host services.
#include "host/headless/headless.h"

#include <pthread.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include <unistd.h>

#include "fonts/fontengine.h"
#include "platform/api/command.h"
#include "viewer/hostquery.h"
#include "platform/api/hostevent.h"
#include "platform/host/hostthread.h"

namespace {

struct HeadlessData {
    int manualClock;
    int64_t manualMs;
    void (*clockHook)(void *arg);
    void *clockHookArg;
    int clockStarted;
    int64_t clockBase;
    int capture;
    char *debugText;
    size_t debugLen;
    size_t debugCap;
    // The engine timer.
    int timerArmed;
    int32_t timerId;
    int32_t lastTimerId;
    int64_t timerDue;
    // What the engine sent.
    HeadlessRequest *requests;
    int requestCount;
    int requestCap;
    int32_t *alerts;
    int alertCount;
    int alertCap;
    int closeDowns;
    HeadlessPageReport *pages;
    int pageCount;
    int pageCap;
    void (*requestHook)(void *arg, int32_t code, void *record);
    void *requestHookArg;
    // Host blocks.
    int64_t blocksHeld;
    int failBlocks;
    int manualLocalTime;
    HostLocalTime localTime;
    char *cwd;                                                // the last text Host_getcwd gave
    int configureResult;                                      // what Host_configure answers
    void (*configureHook)(EngineContext *context, void *arg); // run by Host_configure
    void *configureHookArg;
    // The screen.
    int32_t geometry[11];          // what AlienScreen_getGeometry reports
    HeadlessScreenUpdate *updates; // a copy of each hand-over
    int updateCount;
    int updateCap;
    int dropUpdates; // hand-overs are not kept
    // Host queries: how they are answered, and those held for the test.
    int queryMode;
    int32_t queryStatus;
    int32_t queryAnswer;
    HostQuery **heldQueries;
    int heldCount;
    int heldCap;
    HostQuery **answered; // answered at once, handed back at the next firing
    int answeredCount;
    int answeredCap;
    int queriesSeen;
};

// A 240 x 320 display whose usable area leaves 20 rows at the top, 16-bit
// 5-6-5 pixels, no minimum back buffer and no alignment.
constexpr int32_t defaultGeometry[11] = {0, 0, 20, 240, 300, 240, 320, 0, 0, 0x10005, 0x10000};

void freeUpdates(HeadlessData *d)
{
    for (int i = 0; i < d->updateCount; i++)
        free(d->updates[i].pixels);
    d->updateCount = 0;
}

HostContext *currentHost;

constexpr size_t defaultHeap = size_t(64) << 20;
constexpr size_t minimumHeap = size_t(1) << 20;

HeadlessData *dataOf(HostContext *host)
{
    return host ? static_cast<HeadlessData *>(host->hostPrivate) : nullptr;
}

int64_t monotonicMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

} // namespace

HostContext *Headless_createContext(size_t heapBytes)
{
    HostContext *host = static_cast<HostContext *>(calloc(1, sizeof(HostContext)));
    HeadlessData *data = static_cast<HeadlessData *>(calloc(1, sizeof(HeadlessData)));
    if (!host || !data) {
        free(host);
        free(data);
        return nullptr;
    }
    if (heapBytes == 0)
        heapBytes = defaultHeap;
    host->heapBytes = heapBytes < minimumHeap ? minimumHeap : heapBytes;
    host->hostPrivate = data;
    memcpy(data->geometry, defaultGeometry, sizeof(data->geometry));
    return host;
}

void Headless_destroyContext(HostContext *host)
{
    if (!host)
        return;
    if (currentHost == host)
        currentHost = nullptr;
    HeadlessData *data = dataOf(host);
    if (data) {
        free(data->debugText);
        free(data->requests);
        free(data->alerts);
        free(data->pages);
        free(data->cwd);
        freeUpdates(data);
        free(data->updates);
        free(data->heldQueries);
        free(data->answered);
    }
    free(data);
    free(host);
}

void Headless_setCurrent(HostContext *host)
{
    currentHost = host;
}

HostContext *Headless_current()
{
    return currentHost;
}

void Headless_setManualClock(HostContext *host, int manual)
{
    if (HeadlessData *d = dataOf(host))
        d->manualClock = manual;
}

void Headless_advanceClock(HostContext *host, int64_t ms)
{
    if (HeadlessData *d = dataOf(host))
        d->manualMs = int64_t(uint64_t(d->manualMs) + uint64_t(ms)); // wraps like a real counter
}

void Headless_setClockHook(HostContext *host, void (*hook)(void *arg), void *arg)
{
    if (HeadlessData *d = dataOf(host)) {
        d->clockHook = hook;
        d->clockHookArg = arg;
    }
}

void Headless_captureDebug(HostContext *host, int on)
{
    if (HeadlessData *d = dataOf(host))
        d->capture = on;
}

const char *Headless_debugText(HostContext *host)
{
    HeadlessData *d = dataOf(host);
    return d && d->debugText ? d->debugText : "";
}

void Headless_clearDebug(HostContext *host)
{
    if (HeadlessData *d = dataOf(host)) {
        d->debugLen = 0;
        if (d->debugText)
            d->debugText[0] = 0;
    }
}

EngineInstance *Host_getThreadContext()
{
    return currentHost ? currentHost->instance : nullptr;
}

void Host_setInstance(HostContext *host, EngineInstance *instance)
{
    if (host)
        host->instance = instance;
}

void *AlienMemory_malloc(size_t *size)
{
    HeadlessData *d = dataOf(currentHost);
    if (d && d->failBlocks)
        return nullptr;
    size_t want = currentHost ? currentHost->heapBytes : defaultHeap;
    if (want < minimumHeap)
        want = minimumHeap;
    if (*size > want)
        want = *size;
    void *block = malloc(want);
    if (block) {
        *size = want;
        if (d)
            d->blocksHeld++;
    }
    return block;
}

void Host_releaseBlock(void *block)
{
    if (!block)
        return;
    if (HeadlessData *d = dataOf(currentHost))
        d->blocksHeld--;
    free(block);
}

int64_t AlienTimer_getMs(HostContext *host)
{
    HeadlessData *d = dataOf(host);
    if (!d)
        return 0;
    if (d->clockHook)
        d->clockHook(d->clockHookArg);
    if (d->manualClock)
        return d->manualMs;
    int64_t now = monotonicMs();
    if (!d->clockStarted) {
        d->clockStarted = 1;
        d->clockBase = now;
    }
    return now - d->clockBase;
}

void HostDebug_print(const char *text)
{
    HeadlessData *d = dataOf(currentHost);
    if (!d || !d->capture || !text)
        return;
    size_t n = strlen(text);
    if (d->debugLen + n + 1 > d->debugCap) {
        size_t cap = (d->debugLen + n + 1) * 2;
        char *grown = static_cast<char *>(realloc(d->debugText, cap));
        if (!grown)
            return;
        d->debugText = grown;
        d->debugCap = cap;
    }
    memcpy(d->debugText + d->debugLen, text, n + 1);
    d->debugLen += n;
}

// ------------------------------------------------ engine to host traffic

namespace {

// Appends one item to a growable array of the system allocator; false when
// memory ran out (the item is then not recorded).
template <typename T> bool push(T **items, int *count, int *cap, const T &item)
{
    if (*count == *cap) {
        int grown = *cap ? *cap * 2 : 16;
        T *p = static_cast<T *>(realloc(*items, sizeof(T) * size_t(grown)));
        if (!p)
            return false;
        *items = p;
        *cap = grown;
    }
    (*items)[(*count)++] = item;
    return true;
}

void sleepMs(int64_t ms)
{
    if (ms <= 0)
        return;
    timespec ts{time_t(ms / 1000), long(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
}

} // namespace

void Host_engineRequest(HostContext *host, int32_t code, void *record)
{
    HeadlessData *d = dataOf(host);
    if (!d)
        return;
    push(&d->requests, &d->requestCount, &d->requestCap, HeadlessRequest{code, record});
    if (d->requestHook)
        d->requestHook(d->requestHookArg, code, record);
}

void Host_showErrorAlert(HostContext *host, int32_t code)
{
    if (HeadlessData *d = dataOf(host))
        push(&d->alerts, &d->alertCount, &d->alertCap, code);
}

void Host_postCloseDown(HostContext *host)
{
    if (HeadlessData *d = dataOf(host))
        d->closeDowns++;
}

void HostTimer_start(HostContext *host, int32_t *timerId, int32_t ms)
{
    HeadlessData *d = dataOf(host);
    if (!d || !timerId)
        return;
    d->lastTimerId = d->lastTimerId == INT32_MAX ? 1 : d->lastTimerId + 1;
    d->timerId = d->lastTimerId;
    d->timerDue = AlienTimer_getMs(host) + (ms > 0 ? ms : 0);
    d->timerArmed = 1;
    *timerId = d->timerId;
}

int HostTimer_stop(HostContext *host, int32_t *timerId)
{
    HeadlessData *d = dataOf(host);
    if (!d || !timerId)
        return 0;
    if (d->timerArmed && d->timerId == *timerId)
        d->timerArmed = 0;
    return 1;
}

int Headless_startEngine(HostContext *host, const char *document, EngineEntryFn entry,
                         int heapFlags)
{
    if (!host)
        return 0;
    Headless_setCurrent(host);
    intptr_t options[4] = {reinterpret_cast<intptr_t>(document), 0, 0, 0};
    int r = Engine_start(host, options, entry, AlienThread_getInstaller(), heapFlags);
    if (host->instance) {
        Engine_setQueueOptions(host->instance, 0, 0);
        Engine_setTimeSlice(host->instance, 0, 100);
    }
    return r;
}

int Headless_timerArmed(HostContext *host, int32_t *timerId, int64_t *dueMs)
{
    HeadlessData *d = dataOf(host);
    if (!d || !d->timerArmed)
        return 0;
    if (timerId)
        *timerId = d->timerId;
    if (dueMs)
        *dueMs = d->timerDue;
    return 1;
}

namespace {

// Hands back the queries answered at once. 1 when there were any.
int deliverAnswered(HostContext *host, HeadlessData *d)
{
    if (d->answeredCount == 0)
        return 0;
    while (d->answeredCount > 0 && host->instance) {
        HostQuery *query = d->answered[0];
        memmove(d->answered, d->answered + 1, sizeof(HostQuery *) * size_t(d->answeredCount - 1));
        d->answeredCount--;
        (void)App_deliverReply(host->instance, query);
    }
    d->answeredCount = 0;
    return 1;
}

// Drops query from a list; 1 when it was there.
int dropFrom(HostQuery **list, int *count, HostQuery *query)
{
    for (int i = 0; i < *count; i++) {
        if (list[i] == query) {
            memmove(list + i, list + i + 1, sizeof(HostQuery *) * size_t(*count - i - 1));
            --*count;
            return 1;
        }
    }
    return 0;
}

} // namespace

int Headless_fireTimer(HostContext *host)
{
    HeadlessData *d = dataOf(host);
    if (d && deliverAnswered(host, d))
        return 1;
    if (!d || !d->timerArmed)
        return 0;
    int64_t wait = d->timerDue - AlienTimer_getMs(host);
    if (wait > 0) {
        if (d->manualClock)
            Headless_advanceClock(host, wait);
        else
            sleepMs(wait);
    }
    d->timerArmed = 0;
    if (host->instance)
        Engine_timerExpired(host->instance, d->timerId);
    return 1;
}

int Headless_runTimers(HostContext *host, int limit)
{
    int fired = 0;
    while (fired < limit && Headless_fireTimer(host))
        fired++;
    return fired;
}

int Headless_requestCount(HostContext *host)
{
    HeadlessData *d = dataOf(host);
    return d ? d->requestCount : 0;
}

HeadlessRequest Headless_request(HostContext *host, int index)
{
    HeadlessData *d = dataOf(host);
    if (!d || index < 0 || index >= d->requestCount)
        return HeadlessRequest{0, nullptr};
    return d->requests[index];
}

int Headless_requestsOf(HostContext *host, int32_t code)
{
    HeadlessData *d = dataOf(host);
    int n = 0;
    for (int i = 0; d && i < d->requestCount; i++)
        if (d->requests[i].code == code)
            n++;
    return n;
}

int Headless_alertCount(HostContext *host)
{
    HeadlessData *d = dataOf(host);
    return d ? d->alertCount : 0;
}

int32_t Headless_alert(HostContext *host, int index)
{
    HeadlessData *d = dataOf(host);
    return d && index >= 0 && index < d->alertCount ? d->alerts[index] : 0;
}

int Headless_closeDownCount(HostContext *host)
{
    HeadlessData *d = dataOf(host);
    return d ? d->closeDowns : 0;
}

void Headless_clearRecords(HostContext *host)
{
    if (HeadlessData *d = dataOf(host)) {
        d->requestCount = 0;
        d->alertCount = 0;
        d->closeDowns = 0;
        d->pageCount = 0;
        freeUpdates(d);
    }
}

void Headless_setScreenGeometry(HostContext *host, const int32_t geometry[11])
{
    if (HeadlessData *d = dataOf(host))
        memcpy(d->geometry, geometry ? geometry : defaultGeometry, sizeof(d->geometry));
}

void AlienScreen_getGeometry(HostContext *host, int32_t out[11])
{
    HeadlessData *d = dataOf(host);
    memcpy(out, d ? d->geometry : defaultGeometry, sizeof(int32_t) * 11);
}

void Host_screenUpdate(HostContext *host, const uint16_t *pixels, int32_t format, int32_t width,
                       int32_t height, int32_t lineStep, int32_t x, int32_t y, int32_t w, int32_t h,
                       int32_t originX, int32_t originY)
{
    HeadlessData *d = dataOf(host);
    if (!d || d->dropUpdates)
        return;
    // The buffer changes after the call: the whole image is copied now.
    HeadlessScreenUpdate u{format, width, height,  lineStep, x,       y,
                           w,      h,     originX, originY,  nullptr, 0};
    if (pixels && lineStep > 0 && height > 0) {
        u.size = size_t(lineStep) * size_t(height);
        u.pixels = static_cast<uint8_t *>(malloc(u.size));
        if (u.pixels)
            memcpy(u.pixels, pixels, u.size);
        else
            u.size = 0;
    }
    if (!push(&d->updates, &d->updateCount, &d->updateCap, u))
        free(u.pixels);
}

void Headless_keepScreenUpdates(HostContext *host, int keep)
{
    if (HeadlessData *d = dataOf(host))
        d->dropUpdates = !keep;
}

int Headless_screenUpdateCount(HostContext *host)
{
    HeadlessData *d = dataOf(host);
    return d ? d->updateCount : 0;
}

const HeadlessScreenUpdate *Headless_screenUpdate(HostContext *host, int index)
{
    HeadlessData *d = dataOf(host);
    return d && index >= 0 && index < d->updateCount ? &d->updates[index] : nullptr;
}

void Headless_setRequestHook(HostContext *host, void (*hook)(void *arg, int32_t code, void *record),
                             void *arg)
{
    if (HeadlessData *d = dataOf(host)) {
        d->requestHook = hook;
        d->requestHookArg = arg;
    }
}

int64_t Headless_blocksHeld(HostContext *host)
{
    HeadlessData *d = dataOf(host);
    return d ? d->blocksHeld : 0;
}

void Headless_failHostBlocks(HostContext *host, int on)
{
    if (HeadlessData *d = dataOf(host))
        d->failBlocks = on;
}

void Headless_setLocalTime(HostContext *host, const HostLocalTime *time)
{
    if (HeadlessData *d = dataOf(host)) {
        d->manualLocalTime = time != nullptr;
        d->localTime = time ? *time : HostLocalTime{};
    }
}

void Host_getLocalTime(HostContext *host, HostLocalTime *out)
{
    HeadlessData *d = dataOf(host);
    if (d && d->manualLocalTime) {
        *out = d->localTime;
        return;
    }
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    time_t now = ts.tv_sec;
    tm local;
    if (!localtime_r(&now, &local)) {
        *out = HostLocalTime{1970, 1, 1, 0, 0, 0, 4, 0};
        return;
    }
    out->year = local.tm_year + 1900;
    out->month = local.tm_mon + 1;
    out->day = local.tm_mday;
    out->hour = local.tm_hour;
    out->minute = local.tm_min;
    out->second = local.tm_sec;
    out->weekday = local.tm_wday;
    out->millisecond = int32_t(ts.tv_nsec / 1000000);
}

int Host_getcwd(HostContext *host, const char **dir)
{
    *dir = nullptr;
    HeadlessData *d = dataOf(host);
    if (!d)
        return 1;
    char *text = getcwd(nullptr, 0);
    if (!text)
        return 1;
    free(d->cwd);
    d->cwd = text;
    *dir = text;
    return 0;
}

void Headless_setConfigureResult(HostContext *host, int result)
{
    if (HeadlessData *d = dataOf(host))
        d->configureResult = result;
}

void Headless_setConfigureHook(HostContext *host, void (*hook)(EngineContext *context, void *arg),
                               void *arg)
{
    if (HeadlessData *d = dataOf(host)) {
        d->configureHook = hook;
        d->configureHookArg = arg;
    }
}

int Host_configure(EngineContext *context)
{
    // The built-in fonts, CMaps and charset tables of the language modules.
    FontEngine_registerBuiltins(context);
    HeadlessData *d = dataOf(currentHost);
    if (d && d->configureHook)
        d->configureHook(context, d->configureHookArg);
    return d ? d->configureResult : 0;
}

// ------------------------------------------------------------ host queries

void Host_onOverlayChange(HostContext *host, HostQuery *query)
{
    HeadlessData *d = dataOf(host);
    if (!query)
        return;
    if (!d || d->queryMode == HeadlessQuery_refuse) {
        query->status = HostQuery_refused;
        return;
    }
    d->queriesSeen++;
    if (d->queryMode == HeadlessQuery_hold) {
        if (!push(&d->heldQueries, &d->heldCount, &d->heldCap, query))
            query->status = HostQuery_refused;
        return;
    }
    if (query->code == HostQuery_linkQuestion && query->data)
        static_cast<HostQueryLink *>(query->data)->answer = d->queryAnswer;
    query->status = d->queryStatus;
    // The answer goes back from the host's own thread, at the next timer
    // firing: an engine task may not call in.
    if (!push(&d->answered, &d->answeredCount, &d->answeredCap, query))
        query->status = HostQuery_refused;
}

int Host_cancelQuery(HostContext *host, HostQuery *query)
{
    HeadlessData *d = dataOf(host);
    if (!d || !query)
        return 0;
    return dropFrom(d->heldQueries, &d->heldCount, query) ||
           dropFrom(d->answered, &d->answeredCount, query);
}

void Headless_setQueryMode(HostContext *host, int mode, int32_t status, int32_t answer)
{
    if (HeadlessData *d = dataOf(host)) {
        d->queryMode = mode;
        d->queryStatus = status;
        d->queryAnswer = answer;
    }
}

int Headless_queryCount(HostContext *host)
{
    HeadlessData *d = dataOf(host);
    return d ? d->queriesSeen : 0;
}

int Headless_heldQueryCount(HostContext *host)
{
    HeadlessData *d = dataOf(host);
    return d ? d->heldCount : 0;
}

HostQuery *Headless_heldQuery(HostContext *host, int index)
{
    HeadlessData *d = dataOf(host);
    return d && index >= 0 && index < d->heldCount ? d->heldQueries[index] : nullptr;
}

HostQuery *Headless_takeQuery(HostContext *host, int index)
{
    HeadlessData *d = dataOf(host);
    if (!d || index < 0 || index >= d->heldCount)
        return nullptr;
    HostQuery *query = d->heldQueries[index];
    memmove(d->heldQueries + index, d->heldQueries + index + 1,
            sizeof(HostQuery *) * size_t(d->heldCount - index - 1));
    d->heldCount--;
    return query;
}

int Headless_answerQuery(HostContext *host, HostQuery *query, int32_t status)
{
    if (!host || !query)
        return 0;
    query->status = status;
    return App_deliverReply(host->instance, query);
}

void Host_reportPage(HostContext *host, int32_t page, int32_t count)
{
    if (HeadlessData *d = dataOf(host))
        push(&d->pages, &d->pageCount, &d->pageCap, HeadlessPageReport{page, count});
}

int Headless_pageReportCount(HostContext *host)
{
    HeadlessData *d = dataOf(host);
    return d ? d->pageCount : 0;
}

HeadlessPageReport Headless_pageReport(HostContext *host, int index)
{
    HeadlessData *d = dataOf(host);
    return d && index >= 0 && index < d->pageCount ? d->pages[index] : HeadlessPageReport{0, 0};
}
