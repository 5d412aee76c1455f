// Load progress and the download limit.
#include "document/edr/loadprogress.h"

#include <cstring>

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/docmsg.h"

const uint32_t LoadProgress_defaultWeights[LoadProgress_categories] = {30, 50, 10, 10, 0};

namespace {

inline int32_t &doneOf(int32_t *c, uint32_t k)
{
    return c[2 * k];
}
inline int32_t &totalOf(int32_t *c, uint32_t k)
{
    return c[2 * k + 1];
}

// floor(d x 256 / t) in 64 bits: counts beyond 16 MiB do not overflow.
uint32_t fraction(int32_t d, int32_t t)
{
    return uint32_t(uint64_t(uint32_t(d)) * 256u / uint32_t(t));
}

// 100 x done / total when total > 0, else 0, in 64 bits.
int64_t categoryPercent(int32_t done, int32_t total)
{
    return total > 0 ? int64_t(done) * 100 / total : 0;
}

int post(LoadProgress *t, int32_t code)
{
    EngineContext *app = t->owner;
    if (!app || !app->eventProc)
        return Res_ok;
    EventProcCodeMsg m{code, nullptr, nullptr, 0};
    return EventProc_postPlainCode(app->eventProc, &m);
}

// The update step: compares with the snapshot and announces a move.
int update(LoadProgress *t)
{
    Lock_acquire(&t->lock);
    bool significant = false;
    for (uint32_t k = 0; k < LoadProgress_categories; k++) {
        int64_t now = categoryPercent(doneOf(t->counts, k), totalOf(t->counts, k));
        int64_t then = categoryPercent(doneOf(t->snapshot, k), totalOf(t->snapshot, k));
        if (now - then >= 5 || then - now >= 5)
            significant = true;
    }
    int32_t p = LoadProgress_compute(t->counts, t->limitReached, LoadProgress_defaultWeights);
    bool announce = significant || t->lastPercent - p >= 1 || p - t->lastPercent >= 1;
    if (announce) {
        memcpy(t->snapshot, t->counts, sizeof t->snapshot);
        t->lastPercent = p;
    }
    Lock_release(&t->lock);
    return announce ? post(t, LoadProgress_eventChanged) : Res_ok;
}

} // namespace

int32_t LoadProgress_compute(const int32_t counts[2 * LoadProgress_categories],
                             uint32_t limitReached, const uint32_t w[LoadProgress_categories])
{
    if (limitReached)
        return 100;
    int32_t d0 = counts[0], t0 = counts[1], d1 = counts[2], t1 = counts[3];
    int32_t d2 = counts[4], t2 = counts[5], d3 = counts[6], t3 = counts[7];
    if (d2 == -1 || t2 == -1)
        return -1;
    uint32_t p;
    if (d2 < t2) {
        uint32_t f2 = fraction(d2, t2);
        uint32_t part0 = uint32_t(uint64_t(w[0]) * f2 / 256);
        p = uint32_t(uint64_t(w[2]) * f2 / 256) + part0;
        uint32_t r = w[0] - part0;
        if (t0 == -1)
            p += r * 128 / 256;
        else if (t0 != 0 && d0 != -1)
            p += uint32_t(uint64_t(r) * fraction(d0, t0) / 256);
    } else {
        p = w[2] + w[0];
    }
    if (t3 == -1)
        return -1;
    if (t3 != 0 && d3 != 0 && d3 != -1)
        p += uint32_t(uint64_t(w[3]) * fraction(d3, t3) / 256);
    if (t1 == 0) {
        if (d2 >= t2)
            p += w[1];
    } else if (t1 == -1) {
        if (100 - p == w[1])
            p = 100;
    } else if (d1 != 0 && d1 != -1) {
        p += uint32_t(uint64_t(w[1]) * fraction(d1, t1) / 256);
    }
    return int32_t(p);
}

int LoadProgress_create(EngineContext *context, LoadProgress **out)
{
    *out = nullptr;
    LoadProgress *t = static_cast<LoadProgress *>(Mem_calloc(1, sizeof(LoadProgress)));
    if (!t)
        return Res_noMemory;
    if (Lock_init(context, &t->lock) != Res_ok) {
        Mem_free(t);
        return Res_noMemory;
    }
    t->owner = context;
    t->refs = 1;
    t->limit = int32_t(Config_getIntA(context, context ? context->config : nullptr, nullptr,
                                      "Vexlan_downloadLimit", 0));
    if (context)
        context->loadTrackers++;
    *out = t;
    return Res_ok;
}

void LoadProgress_addRef(LoadProgress *t)
{
    Lock_acquire(&t->lock);
    t->refs++;
    Lock_release(&t->lock);
}

void LoadProgress_release(LoadProgress *t)
{
    if (!t)
        return;
    Lock_acquire(&t->lock);
    uint32_t left = --t->refs;
    Lock_release(&t->lock);
    if (left)
        return;
    if (t->owner)
        t->owner->loadTrackers--;
    Lock_fini(&t->lock);
    Mem_free(t);
}

void LoadProgress_reset(LoadProgress *t)
{
    Lock_acquire(&t->lock);
    memset(t->counts, 0, sizeof t->counts);
    t->limitReached = 0;
    Lock_release(&t->lock);
}

int LoadProgress_setDone(LoadProgress *t, uint32_t k, int32_t value)
{
    Lock_acquire(&t->lock);
    int32_t total = totalOf(t->counts, k);
    doneOf(t->counts, k) = total != -1 && value > total ? total : value;
    Lock_release(&t->lock);
    return update(t);
}

int LoadProgress_setTotal(LoadProgress *t, uint32_t k, int32_t value)
{
    Lock_acquire(&t->lock);
    totalOf(t->counts, k) = value;
    Lock_release(&t->lock);
    return update(t);
}

int LoadProgress_addDone(LoadProgress *t, uint32_t k, int32_t n)
{
    if (!t || k >= LoadProgress_categories)
        return Res_ok;
    bool limitEvent = false;
    Lock_acquire(&t->lock);
    int32_t &done = doneOf(t->counts, k);
    if (done != -1) {
        done = int32_t(uint32_t(done) + uint32_t(n));
        if (t->limit && !t->limitReached && k == 4 && done > t->limit) {
            t->limitReached = 1;
            limitEvent = true;
        }
        int32_t total = totalOf(t->counts, k);
        if (total != -1 && done > total)
            done = total;
    }
    Lock_release(&t->lock);
    if (limitEvent)
        (void)post(t, LoadProgress_eventLimitReached);
    int err = update(t);
    if (err != Res_ok)
        return err;
    Lock_acquire(&t->lock);
    uint32_t reached = t->limitReached;
    Lock_release(&t->lock);
    return reached ? int(Res_downloadLimit) : int(Res_ok);
}

int LoadProgress_addTotal(LoadProgress *t, uint32_t k, int32_t n)
{
    if (!t || k >= LoadProgress_categories)
        return Res_ok;
    Lock_acquire(&t->lock);
    if (t->limitReached) {
        Lock_release(&t->lock);
        return Res_downloadLimit;
    }
    int32_t &total = totalOf(t->counts, k);
    if (total != -1)
        total = int32_t(uint32_t(total) + uint32_t(n));
    Lock_release(&t->lock);
    return update(t);
}

void LoadProgress_rebase(LoadProgress *t)
{
    Lock_acquire(&t->lock);
    for (uint32_t k = 0; k < LoadProgress_categories; k++) {
        int32_t &done = doneOf(t->counts, k), &total = totalOf(t->counts, k);
        if (total != -1 && done == -1)
            continue;
        if (total != -1)
            total = total - done > 0 ? total - done : 0;
        done = 0;
    }
    Lock_release(&t->lock);
}

void LoadProgress_get(LoadProgress *t, uint32_t k, int32_t *done, int32_t *total)
{
    Lock_acquire(&t->lock);
    if (done)
        *done = doneOf(t->counts, k);
    if (total)
        *total = totalOf(t->counts, k);
    Lock_release(&t->lock);
}

int32_t LoadProgress_percent(LoadProgress *t, const uint32_t weights[LoadProgress_categories])
{
    Lock_acquire(&t->lock);
    int32_t p;
    if (!memcmp(weights, LoadProgress_defaultWeights, sizeof LoadProgress_defaultWeights) &&
        t->lastPercent != -1)
        p = t->lastPercent;
    else
        p = LoadProgress_compute(t->counts, t->limitReached, weights);
    Lock_release(&t->lock);
    return p;
}
