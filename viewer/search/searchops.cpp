// The engine's text search operations and the search worker.
#include "viewer/search/searchops.h"

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/worker.h"
#include "document/edr/doc.h"
#include "document/edr/page.h"

namespace {

// What a step's job needs: the document and the requester's callback.
struct SearchJob {
    Edr_Doc *doc;
    int32_t direction;
    void *context;
    SearchCallback callback;
};

void lock(Edr_Doc *doc)
{
    Edr_Doc_readLock(doc);
    Edr_Page_readLockList(doc);
}

void unlock(Edr_Doc *doc)
{
    Edr_Page_readUnlockList(doc);
    Edr_Doc_readUnlock(doc);
}

// Cancels the document's running step and waits for it. The job takes the
// document's read locks too, so the wait happens with none of them held:
// a writer queued between the two readers would otherwise block the job,
// and the job this wait.
void finishJob(Edr_Doc *doc)
{
    lock(doc);
    WorkerJob **slot = Search_jobSlot(doc);
    WorkerJob *job = slot ? *slot : nullptr;
    if (slot)
        *slot = nullptr;
    unlock(doc);
    if (job) {
        Worker_cancel(job);
        Worker_waitAndFree(job);
    }
}

// "doSearchWorker": one step under the document's locks.
void searchWorker(void *argument)
{
    SearchJob *job = static_cast<SearchJob *>(argument);
    lock(job->doc);
    switch (job->direction) {
    case SearchDir_forward: (void)Search_forward(job->doc, job->callback, job->context); break;
    case SearchDir_backward: (void)Search_backward(job->doc, job->callback, job->context); break;
    default: (void)Search_repeat(job->doc, job->callback, job->context); break;
    }
    unlock(job->doc);
}

void freeJobRecord(void *argument)
{
    Mem_free(argument);
}

} // namespace

int Search_setText(Edr_Doc *doc, const char16_t *text, uint32_t length, int32_t startPage,
                   uint32_t options, int32_t x, int32_t y, int32_t scale1, int32_t scale2)
{
    if (!doc || !text || !length)
        return Res_ok;
    finishJob(doc);
    lock(doc);
    int err = Search_begin(doc, text, length, startPage, options, x, y, scale1, scale2);
    unlock(doc);
    return err;
}

void Search_clearText(Edr_Doc *doc)
{
    if (!doc)
        return;
    finishJob(doc);
    lock(doc);
    Search_free(Search_slot(doc, 0));
    unlock(doc);
}

int Search_start(Edr_Doc *doc, int32_t direction, void *context, SearchCallback callback)
{
    if (!doc)
        return Res_ok;
    lock(doc);
    WorkerJob **slot = Search_jobSlot(doc);
    if (slot && *slot) {
        // Finish the earlier step with the locks released (see finishJob),
        // then look again: the search may have changed meanwhile.
        unlock(doc);
        finishJob(doc);
        lock(doc);
        slot = Search_jobSlot(doc);
    }
    int err = Res_ok;
    if (slot) {
        SearchJob *job = static_cast<SearchJob *>(Mem_calloc(1, sizeof(SearchJob)));
        if (!job) {
            err = Res_noMemory;
        } else {
            *job = SearchJob{doc, direction, context, callback};
            err = Worker_submit(Edr_Doc_getApp(doc), slot, 1, searchWorker, job, freeJobRecord,
                                4096, "doSearchWorker");
            if (err)
                Mem_free(job);
        }
    }
    unlock(doc);
    return err;
}

void Search_stop(Edr_Doc *doc)
{
    if (!doc)
        return;
    finishJob(doc);
    lock(doc);
    Search_end(doc);
    unlock(doc);
}

int Search_restartLocked(Edr_Doc *doc, int32_t startPage, int32_t x, int32_t y)
{
    if (!doc)
        return Res_ok;
    finishJob(doc);
    lock(doc);
    int err = Search_restart(doc, startPage, x, y);
    unlock(doc);
    return err;
}

int32_t Search_isActive(Edr_Doc *doc)
{
    if (!doc)
        return 0;
    lock(doc);
    SearchSlot *slot = Search_slot(doc, 0);
    int32_t busy = slot ? slot->busy : 0;
    unlock(doc);
    return busy;
}

int Search_setStartPage(Edr_Doc *doc, int32_t page)
{
    if (!doc)
        return Res_ok;
    lock(doc);
    uint32_t count = 0;
    int err = Edr_Page_count(doc, &count);
    if (!err && page >= 0 && uint32_t(page) < count)
        err = Search_limitToPage(doc, page);
    unlock(doc);
    return err;
}

int Search_createInterface(EngineContext *context)
{
    if (!context || context->searchOps)
        return Res_ok;
    SearchOps *ops = static_cast<SearchOps *>(Mem_calloc(1, sizeof(SearchOps)));
    if (!ops)
        return Res_noMemory;
    *ops = SearchOps{Search_setText,       Search_clearText, Search_start,       Search_stop,
                     Search_restartLocked, Search_isActive,  Search_setStartPage};
    context->searchOps = ops;
    return Res_ok;
}

void Search_destroyInterface(EngineContext *context)
{
    if (!context)
        return;
    Mem_free(context->searchOps);
    context->searchOps = nullptr;
}

int32_t *Search_newPair(void)
{
    return static_cast<int32_t *>(Mem_calloc(2, sizeof(int32_t)));
}

void Search_freePair(int32_t *pair)
{
    Mem_free(pair);
}
