// The application event ring: admission with its key and move limits, the
// filters that make room, the placement of deferred calls among moves, and
// the take on which the application thread sleeps.
//
// Entries are kept contiguous from the head: logical position i is slot
// wrap(head + i). Removing an entry shifts the later ones toward the head;
// inserting before a position shifts the earlier ones back by one and moves
// the head back. An entry removed without being run is disposed of (its
// completion routine runs) only after the ring is consistent again, so a
// completion routine may post.
#include "core/task/appevent.h"

#include <cstring>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"

namespace {

bool isEmpty(const AppEvent *e)
{
    return e->kind == AppEvent_kindHost && e->block[0] == AppEvent_codeEmpty;
}

bool isKeyPressAny(const AppEvent *e)
{
    return e->kind == AppEvent_kindHost && e->block[0] == AppEvent_codeKeyPress;
}

bool isKeyPress(const AppEvent *e)
{
    return isKeyPressAny(e) && e->block[3] == 0;
}

bool isRepeatKeyPress(const AppEvent *e)
{
    return isKeyPressAny(e) && e->block[3] > 0;
}

bool isKeyRelease(const AppEvent *e)
{
    return e->kind == AppEvent_kindHost && e->block[0] == AppEvent_codeKeyRelease;
}

bool isMoveState(intptr_t w)
{
    return w == AppEvent_moveLive || w == AppEvent_moveStep;
}

bool isPanMove(const AppEvent *e)
{
    return e->kind == AppEvent_kindApp && e->block[0] == AppEvent_codePan &&
           isMoveState(e->block[4]);
}

bool isPointerMove(const AppEvent *e)
{
    return e->kind == AppEvent_kindApp && e->block[0] == AppEvent_codePointer &&
           isMoveState(e->block[5]);
}

bool isCall6(const AppEvent *e)
{
    return e->kind == AppEvent_kindApp && e->block[0] == AppEvent_codeCallAmongMoves;
}

bool sameTarget(const AppEvent *a, const AppEvent *b)
{
    return a->block[2] == b->block[2] && a->block[3] == b->block[3];
}

AppEvent *slotAt(AppEventRing *r, int32_t i)
{
    return &r->slots[EventQ_wrap(r, r->head + i)];
}

// Removes the entry at logical position i; disposes of it afterwards when
// asked. 0 for a position outside the queue or an empty slot.
int removeAt(AppEventRing *r, int32_t i, bool dispose)
{
    if (i < 0 || i >= r->count || i >= r->capacity)
        return 0;
    AppEvent *slot = slotAt(r, i);
    if (isEmpty(slot))
        return 0;
    AppEvent removed = *slot;
    if (i == 0) {
        r->head = EventQ_wrap(r, r->head + 1);
    } else {
        for (int32_t j = i; j + 1 < r->count; j++)
            *slotAt(r, j) = *slotAt(r, j + 1);
    }
    EventQ_emptyEntry(slotAt(r, i == 0 ? -1 : r->count - 1));
    r->count--;
    if (r->count == 0)
        r->head = 0;
    if (dispose)
        EventQ_dispose(&removed);
    return 1;
}

// Appends at the tail; the caller has admitted the event.
void append(AppEventRing *r, const AppEvent *e)
{
    *slotAt(r, r->count) = *e;
    r->count++;
    Sem_signal(&r->sem);
}

// Inserts before logical position i (0 moves the head back); the caller
// has admitted the event and the position holds an entry.
void insertBefore(AppEventRing *r, int32_t i, const AppEvent *e)
{
    r->head = EventQ_wrap(r, r->head - 1);
    for (int32_t j = 0; j < i; j++)
        *slotAt(r, j) = *slotAt(r, j + 1);
    *slotAt(r, i) = *e;
    r->count++;
    Sem_signal(&r->sem);
}

int countIf(const AppEventRing *r, bool (*pred)(const AppEvent *))
{
    int n = 0;
    for (int32_t i = 0; i < r->capacity; i++)
        if (pred(&r->slots[i]))
            n++;
    return n;
}

// ---------------------------------------------------------------- filters

int mergePanMoves(AppEventRing *r)
{
    for (int32_t i = 0; i + 1 < r->count; i++) {
        AppEvent *a = slotAt(r, i), *b = slotAt(r, i + 1);
        if (isPanMove(a) && isPanMove(b)) {
            b->block[2] = intptr_t(uintptr_t(b->block[2]) + uintptr_t(a->block[2]));
            b->block[3] = intptr_t(uintptr_t(b->block[3]) + uintptr_t(a->block[3]));
            return removeAt(r, i, false);
        }
    }
    return 0;
}

int mergePointerMoves(AppEventRing *r)
{
    for (int32_t i = 0; i + 1 < r->count; i++) {
        AppEvent *a = slotAt(r, i), *b = slotAt(r, i + 1);
        if (isPointerMove(a) && isPointerMove(b) && sameTarget(a, b))
            return removeAt(r, i, false);
    }
    return 0;
}

int dropRepeats(AppEventRing *r)
{
    if (r->optionA)
        return 0;
    int removed = 0;
    for (int32_t i = 0; i < r->count;) {
        if (isRepeatKeyPress(slotAt(r, i)) && removeAt(r, i, true))
            removed = 1;
        else
            i++;
    }
    return removed;
}

int dropPressReleasePair(AppEventRing *r)
{
    if (r->optionB)
        return 0;
    for (int32_t i = 0; i < r->count; i++) {
        AppEvent *press = slotAt(r, i);
        if (!isKeyPress(press))
            continue;
        for (int32_t j = i + 1; j < r->count; j++) {
            AppEvent *rel = slotAt(r, j);
            if (isKeyRelease(rel) && rel->block[2] == press->block[2]) {
                removeAt(r, j, true);
                return removeAt(r, i, true);
            }
        }
    }
    return 0;
}

int dropKeyPress(AppEventRing *r)
{
    for (int32_t i = 0; i < r->count; i++)
        if (isKeyPress(slotAt(r, i)))
            return removeAt(r, i, true);
    return 0;
}

int dropKeyRelease(AppEventRing *r)
{
    if (r->optionB)
        return 0;
    for (int32_t i = 0; i < r->count; i++)
        if (isKeyRelease(slotAt(r, i)))
            return removeAt(r, i, true);
    return 0;
}

constexpr EventQ_FilterFn filterTable[EventQ_filterSlots] = {
    mergePanMoves, mergePointerMoves, dropRepeats, dropPressReleasePair,
    dropKeyPress,  dropKeyRelease,    nullptr,     nullptr,
};

// Where a deferred call of code 6 goes: the logical position to insert
// before, or -1 for the tail. Mode 1 follows a run of pan moves, mode 2 a
// run of pointer moves.
int32_t placeCall(AppEventRing *r, const AppEvent *call)
{
    intptr_t mode = call->block[4];
    if (mode != 1 && mode != 2)
        return -1;
    bool (*opens)(const AppEvent *) = mode == 1 ? isPanMove : isPointerMove;
    bool (*other)(const AppEvent *) = mode == 1 ? isPointerMove : isPanMove;
    bool inRun = false;
    for (int32_t i = 0; i < r->count; i++) {
        const AppEvent *e = slotAt(r, i);
        if (!inRun) {
            inRun = opens(e);
            continue;
        }
        if (isCall6(e) && e->block[4] == mode)
            inRun = false;
        else if (other(e) || (isCall6(e) && e->block[2] != call->block[2]))
            return i;
    }
    return -1;
}

struct SameFunction {
    intptr_t function;
};

int sameCall6(const AppEvent *e, void *arg)
{
    return isCall6(e) && e->block[2] == static_cast<SameFunction *>(arg)->function;
}

} // namespace

// ------------------------------------------------------------------ ring

int32_t EventQ_wrap(const AppEventRing *ring, int32_t index)
{
    int32_t cap = ring->capacity;
    index %= cap;
    return index < 0 ? index + cap : index;
}

void EventQ_emptyEntry(AppEvent *event)
{
    memset(event, 0, sizeof *event);
    event->kind = AppEvent_kindHost;
    event->block[0] = AppEvent_codeEmpty;
}

const AppEvent *EventQ_at(const AppEventRing *ring, int32_t i)
{
    if (!ring || i < 0 || i >= ring->count)
        return nullptr;
    return &ring->slots[EventQ_wrap(ring, ring->head + i)];
}

void EventQ_dispose(const AppEvent *event)
{
    if (!event || !event->completion)
        return;
    AppEvent copy = *event;
    if (copy.kind == AppEvent_kindApp && copy.block[0] == 1)
        copy.completion(reinterpret_cast<void *>(copy.block[2]));
    else
        copy.completion(copy.block);
}

int EventQ_create(EngineContext *context, AppEventRing **ring)
{
    if (ring)
        *ring = nullptr;
    if (!context || !ring)
        return Res_missingArgument;
    AppEventRing *r = static_cast<AppEventRing *>(Mem_calloc(1, sizeof(AppEventRing)));
    if (!r)
        return Res_noMemory;
    Lock_init(context, &r->lock);
    Sem_init(context, &r->sem, 0, 1);
    r->capacity = EventQ_capacity;
    for (int32_t i = 0; i < r->capacity; i++)
        EventQ_emptyEntry(&r->slots[i]);
    r->moveLimit = EventQ_moveLimit;
    EngineInstance *inst = context->instance;
    int a = inst ? inst->queueOptionA : 0;
    int b = inst ? inst->queueOptionB : 0;
    r->optionA = a ? 1 : 0;
    r->optionB = b ? 1 : 0;
    r->keyLimit = r->optionB ? EventQ_keyLimitB : EventQ_keyLimit;
    for (int i = 0; i < EventQ_filterSlots; i++)
        r->filters[i] = filterTable[i];
    *ring = r;
    return Res_ok;
}

void EventQ_destroy(AppEventRing *ring)
{
    if (!ring)
        return;
    EventQ_clear(ring);
    Sem_fini(&ring->sem);
    Lock_fini(&ring->lock);
    Mem_free(ring);
}

void EventQ_clear(AppEventRing *ring)
{
    if (!ring)
        return;
    while (ring->count > 0)
        removeAt(ring, 0, true);
    for (int32_t i = 0; i < ring->capacity; i++)
        EventQ_emptyEntry(&ring->slots[i]);
    ring->count = 0;
    ring->head = 0;
}

int EventQ_admit(AppEventRing *ring, const AppEvent *event)
{
    bool pressure = false;
    if (isKeyPressAny(event)) {
        pressure = countIf(ring, isKeyPressAny) >= ring->keyLimit;
    } else if (isPanMove(event) || isPointerMove(event)) {
        pressure = countIf(ring, isPanMove) + countIf(ring, isPointerMove) >= ring->moveLimit;
    }
    if (ring->count >= ring->capacity)
        pressure = true;
    if (!pressure)
        return 1;
    if (isRepeatKeyPress(event))
        return 0;
    for (int i = 0; i < EventQ_filterSlots; i++) {
        if (ring->filters[i] && ring->filters[i](ring))
            return 1;
    }
    return 0;
}

int EventQ_post(AppEventRing *ring, const AppEvent *event)
{
    if (!ring || !event)
        return 0;
    if (isCall6(event)) {
        // Only the newest call of a function stays queued.
        SameFunction same{event->block[2]};
        EventQ_removeIf(ring, &same, sameCall6);
        // A call that is not admitted is refused like any other event: the
        // caller disposes of it. It is never run on the posting thread,
        // which may be the GUI thread.
        if (!EventQ_admit(ring, event))
            return 0;
        int32_t at = placeCall(ring, event);
        if (at >= 0)
            insertBefore(ring, at, event);
        else
            append(ring, event);
        return 1;
    }
    if (!EventQ_admit(ring, event))
        return 0;
    append(ring, event);
    return 1;
}

int EventQ_pushFront(AppEventRing *ring, const AppEvent *event)
{
    if (!ring || !event || !EventQ_admit(ring, event))
        return 0;
    insertBefore(ring, 0, event);
    return 1;
}

int EventQ_take(AppEventRing *ring, AppEvent *out)
{
    if (!ring || !out)
        return Res_missingArgument;
    // The semaphore only wakes the sleeper: its count says nothing of how
    // many entries are queued.
    while (ring->count == 0)
        Sem_wait(&ring->sem);
    *out = *slotAt(ring, 0);
    removeAt(ring, 0, false);
    return Res_ok;
}

int EventQ_takeCall6(AppEventRing *ring, AppEvent *out)
{
    if (!ring || !out)
        return Res_missingArgument;
    EventQ_emptyEntry(out);
    for (int32_t i = 0; i < ring->count; i++) {
        if (isCall6(slotAt(ring, i))) {
            *out = *slotAt(ring, i);
            removeAt(ring, i, false);
            break;
        }
    }
    Task *t = ring->sem.scheduler ? ring->sem.scheduler->current : nullptr;
    uint32_t units = 0;
    (void)Sem_getCount(&ring->sem, &units); // a failed read leaves units 0
    if (units > 0 || (t && (t->flags & Task_stopRequested)))
        return Sem_waitStoppable(&ring->sem);
    return Res_ok;
}

int EventQ_removeIf(AppEventRing *ring, void *argument,
                    int (*predicate)(const AppEvent *entry, void *argument))
{
    if (!ring || !predicate)
        return 0;
    int removed = 0;
    for (int32_t i = 0; i < ring->count;) {
        if (predicate(slotAt(ring, i), argument) && removeAt(ring, i, true))
            removed++;
        else
            i++;
    }
    return removed;
}

void EventQ_compress(AppEventRing *ring, intptr_t code)
{
    if (!ring || (code != AppEvent_codePan && code != AppEvent_codePointer))
        return;
    for (int32_t i = 0; i + 1 < ring->count;) {
        AppEvent *a = slotAt(ring, i), *b = slotAt(ring, i + 1);
        bool pair = code == AppEvent_codePan
                        ? isPanMove(a) && isPanMove(b)
                        : isPointerMove(a) && isPointerMove(b) && sameTarget(a, b);
        if (pair)
            removeAt(ring, i + 1, true);
        else
            i++;
    }
}

int EventQ_setOptions(AppEventRing *ring, int optionA, int optionB)
{
    if (!ring || (optionA != 0 && optionA != 1) || (optionB != 0 && optionB != 1))
        return 0;
    ring->optionA = optionA;
    ring->optionB = optionB;
    ring->keyLimit = optionB ? EventQ_keyLimitB : EventQ_keyLimit;
    return 1;
}
