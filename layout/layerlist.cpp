// Layer lists: layers of display items in key order or nested by group
// payload, and the operations that move, clip and hand over all their items.
#include "layout/layerlist.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/layerpayload.h"
#include "fonts/textitem.h"
#include "fonts/textrun.h"
#include "layout/rectcollector.h"

namespace {

// ------------------------------------------------------------------ layers

Layer *newLayer(int32_t key)
{
    Layer *layer = static_cast<Layer *>(Mem_calloc(1, sizeof(Layer)));
    if (layer)
        layer->key = key;
    return layer;
}

bool isEmpty(const Layer *layer)
{
    return layer->first == nullptr;
}

// Frees a layer record; in payload mode its payload is released.
void freeLayer(const LayerList *list, Layer *layer)
{
    if (list->payloadMode)
        LayerPayload_release(layer->payload);
    Mem_free(layer);
}

// Moves src's items after dst's (src is left empty); marked flags are
// ORed.
void appendChain(Layer *dst, Layer *src)
{
    if (src->first) {
        if (dst->lastItem)
            Obj_setNext(dst->lastItem, src->first);
        else
            dst->first = src->first;
        dst->lastItem = src->lastItem;
    }
    dst->marked |= src->marked;
    src->first = nullptr;
    src->lastItem = nullptr;
}

// Moves src's items before dst's (src is left empty).
void prependChain(Layer *dst, Layer *src)
{
    if (src->first) {
        Obj_setNext(src->lastItem, dst->first);
        if (!dst->lastItem)
            dst->lastItem = src->lastItem;
        dst->first = src->first;
    }
    dst->marked |= src->marked;
    src->first = nullptr;
    src->lastItem = nullptr;
}

// The layer before target, or null when target is the first.
Layer *layerBefore(const LayerList *list, const Layer *target)
{
    Layer *prev = nullptr;
    for (Layer *l = list->first; l && l != target; l = l->next)
        prev = l;
    return prev;
}

// Links layer (unlinked) into a key-mode list before the first layer whose
// key is above its own.
void linkSorted(LayerList *list, Layer *layer)
{
    Layer *prev = nullptr;
    Layer *at = list->first;
    while (at && at->key <= layer->key) {
        prev = at;
        at = at->next;
    }
    layer->next = at;
    if (prev)
        prev->next = layer;
    else
        list->first = layer;
    if (!at)
        list->last = layer;
}

Layer *findKey(const LayerList *list, int32_t key)
{
    for (Layer *l = list->first; l; l = l->next)
        if (l->key == key)
            return l;
    return nullptr;
}

// Merges, from the layer `from` on, every layer that is not kept into the
// first such layer (the target); with keep, a key-mode layer whose key is
// negative or at least 2 and not keepKey stays apart in its place. The
// target becomes current and the last remaining layer the last. Returns the
// target, or null when every layer was kept.
Layer *collapse(LayerList *list, Layer *from, int32_t keepKey, int keep)
{
    Layer *target = nullptr;
    Layer *prev = layerBefore(list, from);
    for (Layer *l = from; l;) {
        Layer *next = l->next;
        bool kept = keep && !list->payloadMode && (l->key < 0 || l->key >= 2) && l->key != keepKey;
        if (kept || !target) {
            if (!kept)
                target = l;
            prev = l;
        } else {
            appendChain(target, l);
            prev->next = next;
            freeLayer(list, l);
        }
        l = next;
    }
    list->last = prev ? prev : list->first;
    if (target)
        list->current = target;
    return target;
}

// Moves a layer of a key-mode list to its place in key order.
void resort(LayerList *list, Layer *layer)
{
    Layer *prev = layerBefore(list, layer);
    bool ordered =
        (!prev || prev->key <= layer->key) && (!layer->next || layer->key <= layer->next->key);
    if (ordered)
        return;
    if (prev)
        prev->next = layer->next;
    else
        list->first = layer->next;
    if (list->last == layer)
        list->last = prev;
    linkSorted(list, layer);
}

// ------------------------------------------------------------------- items

int32_t wrapAdd(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

void setItemFixed(ObjHeader *item, uint32_t axes)
{
    Obj_setFixedAxes(item, axes);
    if (Obj_itemKind(item) != Obj_itemContainer)
        return;
    for (ObjHeader *c = Obj_children(item); c; c = Obj_next(c))
        if (axes == 0 || Obj_fixedAxes(c) == 0)
            setItemFixed(c, axes);
}

// Moves an item by (dx, dy) but not along its fixed axes; a container's
// children move by what the container moved.
void translateItem(ObjHeader *item, int32_t dx, int32_t dy)
{
    uint32_t axes = Obj_fixedAxes(item);
    if (axes & 1)
        dx = 0;
    if (axes & 2)
        dy = 0;
    if (dx == 0 && dy == 0)
        return;
    Rect box = Obj_box(item);
    box = Rect{wrapAdd(box.x0, dx), wrapAdd(box.y0, dy), wrapAdd(box.x1, dx), wrapAdd(box.y1, dy)};
    Obj_setBox(item, &box);
    if (Obj_itemKind(item) == Obj_itemContainer)
        for (ObjHeader *c = Obj_children(item); c; c = Obj_next(c))
            translateItem(c, dx, dy);
}

// origin + M(p - origin).
Point mapAbout(int32_t x, int32_t y, const Matrix *m, const Point *origin)
{
    Point p;
    Matrix_transformPoint(&p, wrapAdd(x, -origin->x), wrapAdd(y, -origin->y), m);
    return Point{wrapAdd(p.x, origin->x), wrapAdd(p.y, origin->y)};
}

bool linearIsIdentity(const Matrix *m)
{
    return m->a == 0x10000 && m->b == 0 && m->c == 0 && m->d == 0x10000;
}

// A text item's run turns with its box. Its glyphs are drawn at
// L q + L.t + pen, pen the left end of the baseline of its box (L the
// item's own matrix, the identity when it has none). The run maps as
// every point does, so the new own matrix is "L then M" without M's
// offset, and the own offset puts the mapped pen where the mapped box's
// pen lies. 0, or 1 when the item's matrix cannot be made (the item keeps
// its old box and matrix).
int turnText(ObjHeader *item, const Matrix *m, const Point *origin, const Rect *mapped)
{
    if (item->cls != &TextItem_class)
        return Res_ok;
    const int32_t baseline = static_cast<const TextItemPart *>(Obj_part(item))->baseline;
    Matrix own = item->matrix ? *item->matrix : *Matrix_identity();
    const Rect box = Obj_box(item);
    const Point pen =
        mapAbout(wrapAdd(box.x0, own.tx), wrapAdd(wrapAdd(box.y0, baseline), own.ty), m, origin);
    Matrix turn = *m;
    turn.tx = turn.ty = 0;
    own.tx = own.ty = 0;
    Matrix_multiply(&own, &own, &turn);
    own.tx = wrapAdd(pen.x, -mapped->x0);
    own.ty = wrapAdd(pen.y, -wrapAdd(mapped->y0, baseline));
    if (!item->matrix) {
        item->matrix = static_cast<Matrix *>(Mem_malloc(sizeof(Matrix)));
        if (!item->matrix)
            return Res_noMemory;
    }
    *item->matrix = own;
    return Res_ok;
}

int transformItem(ObjHeader *item, const Matrix *m, const Point *origin)
{
    if (Obj_fixedAxes(item) != 0)
        return Res_ok;
    Rect box = Obj_box(item);
    Point corners[4];
    Rect_toQuad(corners, &box);
    for (Point &c : corners)
        c = mapAbout(c.x, c.y, m, origin);
    Rect_boundPoints(&box, corners, 4, 1);
    if (Obj_itemKind(item) == Obj_itemText && !linearIsIdentity(m))
        if (int err = turnText(item, m, origin, &box))
            return err;
    Obj_setBox(item, &box);
    if (Obj_itemKind(item) == Obj_itemContainer)
        for (ObjHeader *c = Obj_children(item); c; c = Obj_next(c))
            if (int err = transformItem(c, m, origin))
                return err;
    return Res_ok;
}

// The advance of the first n characters of a text item's run, and how many
// of them fit within maxWidth.
int measure(const ObjTextPart *t, uint32_t n, int32_t maxWidth, uint32_t *fitted, int32_t *advance)
{
    Rect box{};
    uint32_t fit = 0;
    int err = TextRun_measureFit(t->fonts, t->size, t->styleFlags, t->style, t->chars + t->start, n,
                                 t->charSpacing, t->wordSpacing, maxWidth, &fit, &box);
    *fitted = fit;
    *advance = box.x1;
    return err;
}

int32_t widthBetween(int32_t a, int32_t b)
{
    int64_t w = static_cast<int64_t>(b) - a;
    return w > INT32_MAX ? INT32_MAX : static_cast<int32_t>(w);
}

// Cuts a text item to the characters that lie wholly inside rect's x range.
// *gone is set when none do.
int cutText(ObjHeader *item, const Rect *rect, bool *gone)
{
    ObjTextPart *t = static_cast<ObjTextPart *>(Obj_part(item));
    Rect box = Obj_box(item);
    uint32_t fit;
    int32_t advance;
    if (box.x0 < rect->x0 && rect->x0 < box.x1 && t->count) {
        // Characters that end at or before the edge go; so does the one
        // that crosses it.
        int32_t room = widthBetween(box.x0, rect->x0);
        if (int err = measure(t, t->count, room, &fit, &advance))
            return err;
        if (fit < t->count && advance < room)
            fit++;
        if (fit) {
            if (int err = measure(t, fit, INT32_MAX, &fit, &advance))
                return err;
        }
        t->start += fit;
        t->count -= fit;
        box.x0 = wrapAdd(box.x0, advance);
    }
    if (box.x0 < rect->x1 && rect->x1 < box.x1 && t->count) {
        // The characters that fit before the edge stay.
        if (int err = measure(t, t->count, widthBetween(box.x0, rect->x1), &fit, &advance))
            return err;
        t->count = fit;
        box.x1 = wrapAdd(box.x0, advance);
    }
    Obj_setBox(item, &box);
    *gone = t->count == 0;
    return Res_ok;
}

// Clips the chain that starts at *head, unlinking and destroying the items
// that go; *lastItem (when not null) becomes the chain's last item.
int clipChain(ObjHeader **head, ObjHeader **lastItem, const Rect *rect, uint32_t flags)
{
    ObjHeader *prev = nullptr;
    for (ObjHeader *item = *head; item;) {
        ObjHeader *next = Obj_next(item);
        bool gone = false;
        Rect box = Obj_box(item);
        // A turned run does not lie along x: it goes or stays whole.
        if (Obj_itemKind(item) == Obj_itemText && !Rect_disjoint(&box, rect) &&
            (!item->matrix || linearIsIdentity(item->matrix))) {
            if (int err = cutText(item, rect, &gone))
                return err;
        }
        if (!gone)
            gone = RectCollector_clipItem(item, rect, flags) != 0;
        if (!gone && Obj_itemKind(item) == Obj_itemContainer) {
            ObjHeader *children = Obj_children(item);
            ObjHeader *lastChild = nullptr;
            int err = clipChain(&children, &lastChild, rect, flags);
            Obj_setChildren(item, children);
            if (err)
                return err;
        }
        if (gone) {
            if (prev)
                Obj_setNext(prev, next);
            else
                *head = next;
            Obj_destroy(item);
        } else {
            prev = item;
        }
        item = next;
    }
    if (lastItem)
        *lastItem = prev;
    return Res_ok;
}

void destroyChain(ObjHeader *item)
{
    while (item) {
        ObjHeader *next = Obj_next(item);
        Obj_destroy(item);
        item = next;
    }
}

// The last item of the chain that starts at item.
ObjHeader *chainEnd(ObjHeader *item)
{
    while (Obj_next(item))
        item = Obj_next(item);
    return item;
}

} // namespace

// --------------------------------------------------------------- lifecycle

LayerList *LayerList_create()
{
    LayerList *list = static_cast<LayerList *>(Mem_calloc(1, sizeof(LayerList)));
    if (!list)
        return nullptr;
    Layer *layer = newLayer(LayerList_normalKey);
    if (!layer) {
        Mem_free(list);
        return nullptr;
    }
    list->first = list->last = list->current = layer;
    return list;
}

void LayerList_clear(LayerList *list)
{
    Layer *keep = list->first;
    for (Layer *l = keep->next; l;) {
        Layer *next = l->next;
        freeLayer(list, l);
        l = next;
    }
    keep->next = nullptr;
    keep->parent = nullptr;
    keep->first = keep->lastItem = nullptr;
    keep->marked = 0;
    if (list->payloadMode) {
        LayerPayload_release(keep->payload);
        keep->payload = nullptr;
    } else {
        keep->key = LayerList_normalKey;
    }
    list->last = list->current = keep;
}

void LayerList_destroy(LayerList *list)
{
    if (!list)
        return;
    for (Layer *l = list->first; l;) {
        Layer *next = l->next;
        freeLayer(list, l);
        l = next;
    }
    Mem_free(list);
}

void LayerList_freeLayerItems(Layer *layer)
{
    destroyChain(layer->first);
    layer->first = layer->lastItem = nullptr;
}

void LayerList_freeItems(LayerList *list)
{
    for (Layer *l = list->first; l; l = l->next) {
        LayerList_freeLayerItems(l);
        if (list->payloadMode) {
            LayerPayload_release(l->payload);
            l->payload = nullptr;
        }
    }
}

// ------------------------------------------------------------------- items

void LayerList_append(LayerList *list, ObjHeader *item)
{
    Layer *layer = list->current;
    Obj_setNext(item, nullptr);
    if (layer->lastItem)
        Obj_setNext(layer->lastItem, item);
    else
        layer->first = item;
    layer->lastItem = item;
}

void LayerList_prepend(LayerList *list, ObjHeader *item)
{
    Layer *layer = list->current;
    Obj_setNext(item, layer->first);
    layer->first = item;
    if (!layer->lastItem)
        layer->lastItem = item;
}

// ---------------------------------------------------------------- key mode

int32_t LayerList_mapKey(int32_t k)
{
    if (k >= 0)
        return k > INT32_MAX - 2 ? INT32_MAX : k + 2;
    return k == INT32_MIN ? INT32_MIN + 1 : k;
}

void LayerList_selectKey(LayerList *list, int32_t key)
{
    Layer *current = list->current;
    if (list->payloadMode || current->key == key)
        return;
    if (key != LayerList_lowestKey && list->first == list->last && isEmpty(list->first)) {
        list->first->key = key;
        list->current = list->first;
        return;
    }
    Layer *prev = nullptr;
    Layer *at = list->first;
    if (current->key < key) {
        prev = current;
        at = current->next;
    }
    while (at && at->key < key) {
        prev = at;
        at = at->next;
    }
    if (at && at->key == key) {
        list->current = at;
        return;
    }
    Layer *layer = newLayer(key);
    if (!layer)
        return;
    layer->next = at;
    if (prev)
        prev->next = layer;
    else
        list->first = layer;
    if (!at)
        list->last = layer;
    list->current = layer;
}

void LayerList_selectFirst(LayerList *list)
{
    if (list->payloadMode)
        list->current = list->first;
    else
        LayerList_selectKey(list, LayerList_lowestKey);
}

void LayerList_collapseAll(LayerList *list, int32_t key, int keep)
{
    Layer *from = list->first;
    if (!list->payloadMode && from->key == LayerList_lowestKey)
        from = from->next;
    Layer *target = from ? collapse(list, from, key, keep) : nullptr;
    if (!target) {
        LayerList_selectKey(list, LayerList_normalKey);
        return;
    }
    if (!list->payloadMode) {
        target->key = key;
        // The merged layer takes a new key: keep the layers in key order.
        resort(list, target);
    }
}

// ------------------------------------------------------------ payload mode

void LayerList_enterPayloadMode(LayerList *list)
{
    if (list->payloadMode)
        return;
    collapse(list, list->first, 0, 0);
    list->payloadMode = 1;
    list->first->payload = nullptr;
    list->first->parent = nullptr;
    list->current = list->first;
}

// Adds a layer at the end, derived from `from`'s payload, with the parent
// given, and makes it current.
static int addGroupLayer(LayerList *list, const Layer *from, Layer *parent, const void *argument)
{
    LayerPayload *payload = nullptr;
    if (LayerPayload_derive(from->payload, argument, &payload) != Res_ok)
        return Res_noMemory;
    Layer *layer = newLayer(0);
    if (!layer) {
        LayerPayload_release(payload);
        return Res_noMemory;
    }
    layer->payload = payload;
    layer->parent = parent;
    list->last->next = layer;
    list->last = layer;
    list->current = layer;
    return Res_ok;
}

int LayerList_pushLayer(LayerList *list, const void *argument)
{
    LayerList_enterPayloadMode(list);
    return addGroupLayer(list, list->current, list->current, argument);
}

int LayerList_popLayer(LayerList *list)
{
    LayerList_enterPayloadMode(list);
    Layer *parent = list->current->parent;
    if (!parent)
        return Res_ok;
    return addGroupLayer(list, parent, parent->parent, nullptr);
}

// ----------------------------------------------------------------- merging

// Leaves other's first layer as its only layer, empty.
static void resetOther(LayerList *other, Layer *head)
{
    head->next = nullptr;
    head->parent = nullptr;
    head->first = head->lastItem = nullptr;
    head->marked = 0;
    if (other->payloadMode)
        head->payload = nullptr;
    else
        head->key = LayerList_normalKey;
    other->first = other->last = other->current = head;
}

int LayerList_mergeSorted(LayerList *list, LayerList *other)
{
    if (list == other)
        return Res_ok;
    if (list->payloadMode || other->payloadMode)
        return LayerList_merge(list, other);
    Layer *head = other->first;
    // other's first layer stays with other: when its items need a layer of
    // their own in list, they move to a new one, made before anything moves.
    Layer *spare = nullptr;
    int32_t headKey = head->key;
    bool headJoinsNext = headKey == LayerList_lowestKey && head->next;
    if (!isEmpty(head) && !headJoinsNext && !findKey(list, headKey)) {
        spare = newLayer(headKey);
        if (!spare)
            return Res_noMemory;
    }
    if (headJoinsNext)
        prependChain(head->next, head);
    for (Layer *l = head; l;) {
        Layer *next = l->next;
        if (!isEmpty(l)) {
            if (Layer *same = findKey(list, l->key)) {
                appendChain(same, l);
            } else if (l == head) {
                appendChain(spare, l);
                linkSorted(list, spare);
                spare = nullptr;
            } else {
                l->parent = nullptr;
                linkSorted(list, l);
                l = next;
                continue;
            }
        }
        if (l != head)
            freeLayer(other, l);
        l = next;
    }
    Mem_free(spare);
    resetOther(other, head);
    return Res_ok;
}

// Payload mode: other's layers follow list's.
static int mergeGroups(LayerList *list, LayerList *other)
{
    Layer *head = other->first;
    Layer *spare = nullptr;
    if (!isEmpty(head) && (head->payload || list->last->payload)) {
        spare = newLayer(0);
        if (!spare)
            return Res_noMemory;
    }
    for (Layer *l = head; l;) {
        Layer *next = l->next;
        if (isEmpty(l)) {
            LayerPayload_release(l->payload);
            l->payload = nullptr;
        } else if (!l->payload && !list->last->payload) {
            appendChain(list->last, l);
        } else {
            Layer *into = l;
            if (l == head) {
                into = spare;
                spare = nullptr;
                appendChain(into, l);
                into->payload = l->payload;
                l->payload = nullptr;
            }
            into->next = nullptr;
            into->parent = nullptr;
            list->last->next = into;
            list->last = into;
            if (into == l) {
                l = next;
                continue;
            }
        }
        if (l != head)
            Mem_free(l);
        l = next;
    }
    Mem_free(spare);
    resetOther(other, head);
    return Res_ok;
}

int LayerList_merge(LayerList *list, LayerList *other)
{
    if (list == other)
        return Res_ok;
    if (!list->payloadMode && !other->payloadMode)
        return LayerList_mergeSorted(list, other);
    LayerList_enterPayloadMode(list);
    LayerList_enterPayloadMode(other);
    return mergeGroups(list, other);
}

// ---------------------------------------------------------------- handover

int LayerList_takeItems(LayerList *list, ObjHeader **items)
{
    *items = nullptr;
    Layer *first = collapse(list, list->first, 0, 0);
    *items = first->first;
    first->first = first->lastItem = nullptr;
    return Res_ok;
}

// Appends the chain (first to last) to the container's children.
static void adoptChildren(ObjHeader *container, ObjHeader *first)
{
    if (!first)
        return;
    ObjHeader *children = Obj_children(container);
    if (children)
        Obj_setNext(chainEnd(children), first);
    else
        Obj_setChildren(container, first);
}

int LayerList_wrapLayers(LayerList *list, ObjHeader *record)
{
    if (!record || Obj_itemKind(record) != Obj_itemContainer ||
        Obj_classPartSize(record->cls) < static_cast<int32_t>(sizeof(ObjContainerPart)))
        return Res_nullInput;
    if (!list->payloadMode) {
        ObjHeader *items = nullptr;
        LayerList_takeItems(list, &items);
        adoptChildren(record, items);
        return Res_ok;
    }
    Layer *first = list->first;
    adoptChildren(record, first->first);
    first->first = first->lastItem = nullptr;
    Rect recordBox = Obj_box(record);
    ObjHeader *chainLast = chainEnd(record);
    int err = Res_ok;
    Layer *l = first->next;
    while (l) {
        Layer *next = l->next;
        if (!isEmpty(l)) {
            ObjHeader *container = Obj_create(record->cls, 0);
            if (!container) {
                err = Res_noMemory;
                break;
            }
            Obj_setChildren(container, l->first);
            l->first = l->lastItem = nullptr;
            static_cast<ObjContainerPart *>(Obj_part(container))->payload = l->payload;
            Rect box = recordBox;
            if (l->payload)
                LayerPayload_bounds(l->payload, &box);
            l->payload = nullptr;
            Obj_setBox(container, &box);
            Obj_setNext(chainLast, container);
            chainLast = container;
        }
        freeLayer(list, l);
        l = next;
    }
    // The layers not wrapped (after an error) stay linked behind the first.
    first->next = l;
    list->last = first;
    for (Layer *k = l; k; k = k->next) {
        list->last = k;
        k->parent = nullptr;
    }
    list->current = list->last;
    if (!l)
        list->current = first;
    return err;
}

// ----------------------------------------------------- moving and clipping

void LayerList_setFixed(LayerList *list, uint32_t axes)
{
    axes &= 3;
    for (Layer *l = list->first; l; l = l->next) {
        if (axes == 0 && !l->marked)
            continue;
        for (ObjHeader *item = l->first; item; item = Obj_next(item))
            setItemFixed(item, axes);
        l->marked = axes != 0;
    }
}

void LayerList_translate(LayerList *list, int32_t dx, int32_t dy)
{
    for (Layer *l = list->first; l; l = l->next) {
        for (ObjHeader *item = l->first; item; item = Obj_next(item))
            translateItem(item, dx, dy);
        if (list->payloadMode && l->payload) {
            Point *origin = LayerPayload_origin(l->payload);
            origin->x = wrapAdd(origin->x, dx);
            origin->y = wrapAdd(origin->y, dy);
        }
    }
}

int LayerList_transform(LayerList *list, const Matrix *matrix, const Point *origin, int payloads)
{
    for (Layer *l = list->first; l; l = l->next) {
        for (ObjHeader *item = l->first; item; item = Obj_next(item))
            if (int err = transformItem(item, matrix, origin))
                return err;
        if (payloads && list->payloadMode && l->payload) {
            Point *o = LayerPayload_origin(l->payload);
            *o = mapAbout(o->x, o->y, matrix, origin);
        }
    }
    return Res_ok;
}

int LayerList_clipLayer(Layer *layer, const Rect *rect, uint32_t flags)
{
    return clipChain(&layer->first, &layer->lastItem, rect, flags);
}

int LayerList_clipToRect(LayerList *list, const Rect *rect, uint32_t flags)
{
    bool empty = rect->x0 >= rect->x1 || rect->y0 >= rect->y1;
    for (Layer *l = list->first; l; l = l->next) {
        if (empty) {
            LayerList_freeLayerItems(l);
            continue;
        }
        if (int err = LayerList_clipLayer(l, rect, flags))
            return err;
    }
    return Res_ok;
}

void LayerList_collectRects(LayerList *list, RectCollector *collector)
{
    RectCollector_reset(collector);
    for (Layer *l = list->first; l; l = l->next)
        for (ObjHeader *item = l->first; item; item = Obj_next(item)) {
            Rect box = Obj_box(item);
            if (Obj_fixedAxes(item) == 0 && Rect_isOrdered(&box))
                RectCollector_add(collector, &box);
        }
}

// ------------------------------------------------------------------ status

ObjHeader *LayerList_firstItem(const LayerList *list)
{
    for (Layer *l = list->first; l; l = l->next)
        if (l->first)
            return l->first;
    return nullptr;
}

int LayerList_hasItems(const LayerList *list)
{
    return LayerList_firstItem(list) != nullptr;
}

int LayerList_isPayloadMode(const LayerList *list)
{
    return list->payloadMode;
}
