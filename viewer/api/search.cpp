// Search requests: the host's entry points, the steps of the viewer's
// search engine and the results turned into view moves and host reports.
//
// Results arrive on the search worker and are copied into a message posted
// to the application thread, where every other step runs. A document whose
// pages are built on demand is searched one page at a time: a page without
// a match tells the host that the search goes on (0x10004), the host asks
// for the next step, the view moves to the next page (wrapping around at
// either end) and the step starts again there once the page is ready. The
// walk ends when it is back at its start page.
#include "platform/api/search.h"

#include <cstring>

#include "core/context/context.h"
#include "core/geom/geom.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset.h"
#include "document/edit/selection.h"
#include "document/edr/doc.h"
#include "document/edr/page.h"
#include "platform/api/app.h"
#include "platform/api/appqueue.h"
#include "viewer/fvdisplay.h"
#include "viewer/navigate.h"
#include "viewer/pageset.h"
#include "viewer/screen/resize.h"
#include "viewer/screen/screen.h"
#include "viewer/search/searchops.h"
#include "viewer/viewer.h"
#include "viewer/zoompan.h"

namespace {

// The start request.
struct StartRequest {
    char16_t *text;
    intptr_t a, b, c;
};

// A result on its way to the application thread.
struct ResultMessage {
    int32_t viewId;
    int32_t status;
    SearchOutcome result;
};

void freeStart(StartRequest *request)
{
    if (!request)
        return;
    Mem_free(request->text);
    Mem_free(request);
}

FvViewer *viewerOf(EngineInstance *instance)
{
    return Fv_fromApp(instance);
}

// The page record with the view id: 0 the current one, another the
// viewer's record of that key; null when gone.
FvPage *pageById(FvViewer *viewer, int32_t id)
{
    if (!viewer)
        return nullptr;
    if (id == 0 || (viewer->page && viewer->page->key == id))
        return viewer->page;
    return viewer->pageSet ? PageSet_page(viewer->pageSet, uint32_t(id)) : nullptr;
}

// The document and page index that the page record shows.
bool findDocument(FvPage *page, Edr_Doc **doc, int32_t *index)
{
    *doc = nullptr;
    *index = -1;
    return page && page->pageView && Edr_Fwd_findSubdocPage(page->pageView, doc, index) && *doc;
}

// The engine's search operations, installed on its context at start-up
// (null without them).
const SearchOps *opsOf(FvViewer *viewer)
{
    return viewer && viewer->context ? viewer->context->searchOps : nullptr;
}

// The length of a UTF-16 text in units.
uint32_t textLength(const char16_t *text)
{
    uint32_t n = 0;
    while (text[n])
        n++;
    return n;
}

bool pagedSearch(FvViewer *viewer, Edr_Doc *doc)
{
    return viewer->searchState && doc && Edr_Doc_isPageOnDemand(doc);
}

int32_t directionWord(int32_t status)
{
    return status == 0   ? SearchReport_forward
           : status == 1 ? SearchReport_backward
                         : SearchReport_silent;
}

void send(EngineInstance *instance, int32_t outcome, int32_t direction, int32_t page)
{
    SearchReport report{outcome, direction, page};
    App_sendRequest(instance, App_requestSearch, &report);
}

void discardMessage(void *block)
{
    Mem_free(reinterpret_cast<void *>(static_cast<intptr_t *>(block)[3]));
}

// A step forward (0) or backward (1) asked by the host.
void runStep(EngineInstance *instance, int32_t direction)
{
    FvViewer *viewer = viewerOf(instance);
    if (!viewer)
        return;
    SearchWalkState *state = viewer->searchState;
    FvPage *page = viewer->page;
    if (state && state->phase == SearchPhase_stepPending) {
        // The walk goes on in its own direction, whichever step the host
        // asked for: it answers every 0x10004 with a forward step.
        uint32_t count = 0;
        Edr_Doc *doc = nullptr;
        int32_t index = -1;
        if (findDocument(page, &doc, &index) && Edr_Page_count(doc, &count) == Res_ok &&
            count > 0) {
            int32_t next = state->direction == 1 ? state->current - 1 : state->current + 1;
            if (next < 0)
                next = int32_t(count) - 1;
            if (next >= int32_t(count))
                next = 0;
            state->current = next;
            state->phase = SearchPhase_moving;
            if (Fv_gotoPage(viewer, page, next) == Res_ok)
                return;
        }
    } else {
        if (state && state->phase != SearchPhase_started && state->phase != SearchPhase_found) {
            state->phase = SearchPhase_started;
            if (direction == 1)
                state->wrapped = 0;
        }
        if (Search_step(viewer, page, direction) == Res_ok)
            return;
    }
    if (state)
        state->phase = SearchPhase_idle;
    Search_setBusy(viewer, 0);
    Search_reportStatus(instance, Search_outcomeMatch);
}

// Posts a routine without arguments: 1 when posted.
int postPlain(EngineInstance *instance, AppCallFn routine)
{
    if (!viewerOf(instance))
        return 0;
    return App_postCall(instance, routine, nullptr, nullptr) == 0 ? 1 : 0;
}

} // namespace

// ------------------------------------------------------- entry points

int App_searchStart(EngineInstance *instance, const char *text, intptr_t a, intptr_t b, intptr_t c)
{
    if (!viewerOf(instance) || !text || !*text)
        return 0;
    StartRequest *request = static_cast<StartRequest *>(Mem_calloc(1, sizeof(StartRequest)));
    if (!request)
        return 0;
    if (Charset_toUstr(nullptr, text, &request->text, CharsetCode_utf8) != Res_ok ||
        !request->text || !request->text[0]) {
        freeStart(request);
        return 0;
    }
    request->a = a;
    request->b = b;
    request->c = c;
    return App_postCall(instance, Search_runStart, request, Search_freeStartRequest) == 0 ? 1 : 0;
}

int App_searchNext(EngineInstance *instance)
{
    return postPlain(instance, Search_runNext);
}

int App_searchPrevious(EngineInstance *instance)
{
    return postPlain(instance, Search_runPrevious);
}

int App_searchFollowUp(EngineInstance *instance)
{
    return postPlain(instance, Search_runFollowUp);
}

int App_searchSetPage(EngineInstance *instance, intptr_t index)
{
    if (!viewerOf(instance))
        return 0;
    intptr_t *copy = static_cast<intptr_t *>(Mem_malloc(sizeof(intptr_t)));
    if (!copy)
        return 0;
    *copy = index;
    return App_postCall(instance, Search_runSetPage, copy, discardMessage) == 0 ? 1 : 0;
}

int App_searchCancel(EngineInstance *instance)
{
    return postPlain(instance, Search_runCancel);
}

void Search_freeStartRequest(void *block)
{
    freeStart(reinterpret_cast<StartRequest *>(static_cast<intptr_t *>(block)[3]));
}

// ------------------------------------------------- the deferred calls

void Search_runStart(EngineInstance *instance, void *argument)
{
    StartRequest *request = static_cast<StartRequest *>(argument);
    FvViewer *viewer = viewerOf(instance);
    FvPage *page = viewer ? viewer->page : nullptr;
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    int r = findDocument(page, &doc, &index) ? int(Res_ok) : int(Res_notFound);
    if (r == Res_ok && Edr_Doc_isPageOnDemand(doc)) {
        if (!viewer->searchState)
            viewer->searchState =
                static_cast<SearchWalkState *>(Mem_calloc(1, sizeof(SearchWalkState)));
        if (!viewer->searchState) {
            r = Res_noMemory;
        } else {
            SearchWalkState *state = viewer->searchState;
            *state = SearchWalkState{};
            state->current = index;
            state->start = index;
            state->phase = SearchPhase_started;
        }
    }
    if (r == Res_ok) {
        Edr_Sel_clear(doc);
        Point origin{0, 0};
        Search_viewOrigin(viewer, page, &origin);
        const SearchOps *ops = opsOf(viewer);
        // b and c become the two scale words of the match's zoom range. The
        // engine's option word holds matching flags (bit 0: exact case), so
        // the host's backward hint is not passed in it: every step names
        // its own direction.
        r = ops ? ops->setText(doc, request->text, textLength(request->text), index, 0u, origin.x,
                               origin.y, int32_t(uint32_t(request->b) << 16),
                               int32_t(uint32_t(request->c) << 16))
                : int(Res_notImplemented);
    }
    freeStart(request);
    if (r != Res_ok)
        Search_reportStatus(instance, SearchReport_silent);
}

void Search_runNext(EngineInstance *instance, void *)
{
    runStep(instance, 0);
}

void Search_runPrevious(EngineInstance *instance, void *)
{
    runStep(instance, 1);
}

void Search_runFollowUp(EngineInstance *instance, void *)
{
    FvViewer *viewer = viewerOf(instance);
    if (viewer && Search_step(viewer, viewer->page, 2) != Res_ok)
        Search_reportStatus(instance, SearchReport_silent);
}

void Search_runSetPage(EngineInstance *instance, void *argument)
{
    intptr_t index = *static_cast<intptr_t *>(argument);
    Mem_free(argument);
    FvViewer *viewer = viewerOf(instance);
    Edr_Doc *doc = nullptr;
    int32_t current = -1;
    const SearchOps *ops = viewer ? opsOf(viewer) : nullptr;
    int r = ops && findDocument(viewer->page, &doc, &current)
                ? ops->setStartPage(doc, int32_t(index))
                : int(Res_notFound);
    if (r != Res_ok)
        Search_reportStatus(instance, SearchReport_silent);
}

void Search_runCancel(EngineInstance *instance, void *)
{
    FvViewer *viewer = viewerOf(instance);
    if (!viewer)
        return;
    if (viewer->searchState)
        viewer->searchState->phase = SearchPhase_idle;
    Search_setBusy(viewer, 0);
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    const SearchOps *ops = opsOf(viewer);
    if (ops && findDocument(viewer->page, &doc, &index))
        ops->stop(doc);
}

// ------------------------------------------------------------ results

void Search_onResult(void *owner, int32_t status, const SearchOutcome *result)
{
    EngineInstance *instance = static_cast<EngineInstance *>(owner);
    FvViewer *viewer = viewerOf(instance);
    if (!result || !viewer)
        return;
    ResultMessage *message = static_cast<ResultMessage *>(Mem_malloc(sizeof(ResultMessage)));
    if (!message)
        return;
    message->viewId = viewer->page ? viewer->page->key : 0;
    message->status = status;
    message->result = *result;
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    bool paged = findDocument(viewer->page, &doc, &index) && pagedSearch(viewer, doc);
    (void)App_postCall(instance, paged ? Search_onResultPaged : Search_deliverResult, message,
                       discardMessage);
}

void Search_deliverResult(EngineInstance *instance, void *argument)
{
    ResultMessage *message = static_cast<ResultMessage *>(argument);
    FvViewer *viewer = viewerOf(instance);
    FvPage *page = pageById(viewer, message->viewId);
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    if (!page || !findDocument(page, &doc, &index)) {
        Search_reportStatus(instance, message->status);
        Mem_free(message);
        return;
    }
    int32_t pageNumber = index + 1;
    int32_t direction = directionWord(message->status);
    const SearchOutcome &result = message->result;
    // A result code above 4 reports the end of the search, as an error does.
    int32_t outcome = Search_outcomeError;
    switch (result.code) {
    case 0: outcome = Search_outcomeNoMatch; break;
    case 2:
    case 3: outcome = Search_outcomeEnd; break;
    case 1: {
        if (result.page != index && Fv_gotoPage(viewer, page, result.page) != Res_ok) {
            Mem_free(message);
            return;
        }
        int32_t current = Fv_pageZoom(page);
        int32_t zoom = current;
        if (result.scaleSmall > 0 && zoom < result.scaleSmall)
            zoom = result.scaleSmall;
        if (result.scaleLarge > 0 && zoom > result.scaleLarge)
            zoom = result.scaleLarge;
        if (zoom != current) {
            int32_t width = 0, height = 0, cx = 0, cy = 0;
            Fv_getViewArea(viewer, &width, &height, &cx, &cy);
            Fv_setPageZoom(page, zoom, 10, cx, cy);
            viewer->zoom = zoom;
        }
        Rect rect{result.x0, result.y0, result.x1, result.y1};
        Fv_showRect(viewer, page, &rect, 1, 0);
        outcome = Search_outcomeMatch;
        break;
    }
    default: break;
    }
    if (message->status != 2)
        send(instance, outcome, direction, pageNumber);
    Mem_free(message);
}

void Search_onResultPaged(EngineInstance *instance, void *argument)
{
    ResultMessage *message = static_cast<ResultMessage *>(argument);
    FvViewer *viewer = viewerOf(instance);
    FvPage *page = pageById(viewer, message->viewId);
    SearchWalkState *state = viewer ? viewer->searchState : nullptr;
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    uint32_t count = 0;
    if (!page || !state || !findDocument(page, &doc, &index) ||
        Edr_Page_count(doc, &count) != Res_ok) {
        if (viewer)
            Search_setBusy(viewer, 0);
        Search_reportStatus(instance, message->status);
        Mem_free(message);
        return;
    }
    int32_t code = message->result.code;
    int32_t status = message->status;
    if ((code == 0 || code == 2 || code == 3) && count > 1 && status != 2) {
        state->direction = status;
        int32_t next;
        if (status == 1) {
            if (!state->wrapped) {
                // The first end going backward: one more backward step
                // before the walk moves on.
                state->wrapped = 1;
                Mem_free(message);
                if (!App_searchPrevious(instance))
                    Search_setBusy(viewer, 0);
                return;
            }
            state->wrapped = 0;
            next = state->current - 1 < 0 ? int32_t(count) - 1 : state->current - 1;
        } else {
            next = state->current + 1 >= int32_t(count) ? 0 : state->current + 1;
        }
        if (next == state->start) {
            // Every page has been searched.
            message->result.code = 0;
            state->phase = SearchPhase_stepPending;
            Search_deliverResult(instance, message);
            return;
        }
        if ((code == 3 && state->current == int32_t(count) - 1) ||
            (code == 2 && state->current == 0 && state->wrapped)) {
            state->phase = SearchPhase_stepPending;
            Search_setBusy(viewer, 1);
            Search_deliverResult(instance, message);
            return;
        }
        Search_setBusy(viewer, 1);
        state->phase = SearchPhase_stepPending;
        send(instance, Search_outcomeNextPage, directionWord(status), state->current + 1);
        Mem_free(message);
        return;
    }
    state->phase = code == 1 ? SearchPhase_found : SearchPhase_idle;
    Search_setBusy(viewer, 0);
    Search_deliverResult(instance, message);
}

void Search_onPageReady(FvViewer *viewer)
{
    SearchWalkState *state = viewer ? viewer->searchState : nullptr;
    if (!state || state->phase != SearchPhase_moving)
        return;
    EngineInstance *instance = viewer->context ? viewer->context->instance : nullptr;
    state->phase = SearchPhase_started;
    if (state->direction == 0)
        (void)App_searchNext(instance);
    else if (state->direction == 1)
        (void)App_searchPrevious(instance);
    else
        state->phase = SearchPhase_idle;
}

// ------------------------------------------------------------ helpers

void Search_reportStatus(EngineInstance *instance, int32_t status)
{
    send(instance, Search_outcomeError, status, 0);
}

void Search_setBusy(FvViewer *viewer, int flag)
{
    SearchWalkState *state = viewer ? viewer->searchState : nullptr;
    Screen *screen = viewer && viewer->screen ? ScreenBinding_screen(viewer->screen) : nullptr;
    if (flag) {
        if (state && !state->busy) {
            state->busy = 1;
            if (screen)
                Screen_blockUpdates(screen, 1);
        }
        return;
    }
    if (state && state->busy) {
        state->busy = 0;
        if (screen) {
            Screen_blockUpdates(screen, 0);
            Screen_flushUpdates(screen);
        }
    }
}

void Search_viewOrigin(FvViewer *viewer, FvPage *page, Point *out)
{
    *out = Point{0, 0};
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    if (!viewer || !findDocument(page, &doc, &index))
        return;
    int32_t left = 0, top = 0;
    Fv_queryMargins(viewer, &left, nullptr, &top, nullptr);
    // The view maps document points linearly: two points give its scale
    // and offset, which turn the screen point back into the document's.
    const int32_t unit = 0x10000;
    Point a{0, 0}, b{unit, unit}, va{}, vb{};
    if (Edr_Fwd_scalePoint(page->pageView, doc, &a, &va) != Res_ok ||
        Edr_Fwd_scalePoint(page->pageView, doc, &b, &vb) != Res_ok || vb.x == va.x || vb.y == va.y)
        return;
    out->x = int32_t(int64_t(left - va.x) * unit / (int64_t(vb.x) - va.x));
    out->y = int32_t(int64_t(top - va.y) * unit / (int64_t(vb.y) - va.y));
}

int Search_step(FvViewer *viewer, FvPage *page, int32_t direction)
{
    Edr_Doc *doc = nullptr;
    int32_t index = -1;
    if (!viewer || !findDocument(page, &doc, &index))
        return Res_ok;
    const SearchOps *ops = opsOf(viewer);
    if (!ops)
        return Res_notImplemented;
    if (!ops->isActive(doc)) {
        Point origin{0, 0};
        if (!viewer->searchState)
            Search_viewOrigin(viewer, page, &origin);
        int r = ops->restart(doc, index, origin.x, origin.y);
        if (r != Res_ok)
            return r;
    }
    return ops->start(doc, direction, viewer->context ? viewer->context->instance : nullptr,
                      Search_onResult);
}
