// The headless host services.
#include "host/headless/headless.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

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
    int manualLocalTime;
    HostLocalTime localTime;
};

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
    return host;
}

void Headless_destroyContext(HostContext *host)
{
    if (!host)
        return;
    if (currentHost == host)
        currentHost = nullptr;
    HeadlessData *data = dataOf(host);
    if (data)
        free(data->debugText);
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
    size_t want = currentHost ? currentHost->heapBytes : defaultHeap;
    if (want < minimumHeap)
        want = minimumHeap;
    if (*size > want)
        want = *size;
    void *block = malloc(want);
    if (block)
        *size = want;
    return block;
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
