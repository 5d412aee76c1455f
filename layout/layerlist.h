// Layer lists: display items collected in painting order.
//
// A layer list splits its items (display items, core/container/obj.h) into
// layers that paint one after the other. In key mode every layer has a
// signed key and the layers stay in ascending key order, so that items with
// a stacking index can be added in any order and still paint right: layer 1
// is the normal layer (a new list is one empty layer of key 1), 0x80000000
// the lowest. In payload mode the layers carry group payloads
// (graphics/layerpayload.h) instead of keys and nest through a parent link,
// so that a builder can push and pop groups while its items keep their
// order; a list enters payload mode at its first push and never leaves it.
// The list can move, transform and clip all its items at once, honouring
// items fixed along an axis.
//
// The list owns its layers and their payloads, not its items: the caller
// frees them (LayerList_freeItems) or takes them (LayerList_takeItems,
// LayerList_wrapLayers) before destroying the list. Nothing here locks.
#pragma once

#include <cstdint>

#include "core/container/obj.h"
#include "core/geom/matrix.h"
#include "core/geom/rect.h"

struct LayerPayload;
struct RectCollector;

// One layer: a chain of items linked through their next words.
struct Layer {
    ObjHeader *first;    // the first item, null when the layer is empty
    ObjHeader *lastItem; // the item appends link after, null when empty
    Layer *next;         // the layer painted after this one
    Layer *parent;       // payload mode: the layer whose group encloses this one
    int32_t marked;      // the layer holds items fixed along an axis
    union {
        int32_t key;           // key mode
        LayerPayload *payload; // payload mode (null: none)
    };
};

struct LayerList {
    Layer *first;
    Layer *last;
    Layer *current; // where appends go
    int32_t payloadMode;
};

enum : int32_t {
    LayerList_lowestKey = INT32_MIN, // only the lowest layer has it
    LayerList_normalKey = 1,         // the layer of items without a stacking index
};

// A new list in key mode with one empty layer of key 1; null when memory
// runs out.
LayerList *LayerList_create();
// Frees the layers (releasing their payloads) and the list; null allowed.
// The items are not freed.
void LayerList_destroy(LayerList *list);
// Frees all layers but the first (releasing payloads), leaving one empty
// layer as first, last and current (key 1 in key mode, no payload in
// payload mode). The items are not freed.
void LayerList_clear(LayerList *list);
// Destroys the items of every layer (Obj_destroy) and, in payload mode,
// releases the payloads; the layers stay, empty.
void LayerList_freeItems(LayerList *list);
// Destroys the items of one layer, which stays, empty.
void LayerList_freeLayerItems(Layer *layer);

// Appends the item after the current layer's last item (its next word is
// cleared), or puts it first.
void LayerList_append(LayerList *list, ObjHeader *item);
void LayerList_prepend(LayerList *list, ObjHeader *item);

// The layer key of stacking index k: k + 2 for k >= 0 (0x7FFFFFFF at most),
// negative k as it is but 0x80000000, which gives 0x80000001.
int32_t LayerList_mapKey(int32_t k);
// Key mode: makes the layer with the key current, creating it in key order
// (a single empty layer simply takes any key but the lowest). Nothing in
// payload mode; without memory the current layer stays.
void LayerList_selectKey(LayerList *list, int32_t key);
// Key mode: the lowest layer (created when missing) becomes current;
// payload mode: the first layer.
void LayerList_selectFirst(LayerList *list);
// Merges the layers from the first that is not the lowest (as collapsing
// does: with keep set, layers whose key is negative or at least 2 and not
// key stay apart) into one layer of that key, kept in key order, which
// becomes current; selects key 1 when no layer is left to merge into.
void LayerList_collapseAll(LayerList *list, int32_t key, int keep);

// Collapses everything into the first layer, which becomes current with no
// payload, and switches the list to payload mode (nothing when it is
// already there).
void LayerList_enterPayloadMode(LayerList *list);
// Opens a group: a new layer at the end, made current, whose parent is the
// current layer and whose payload is derived from the current payload and
// argument. Enters payload mode first. 0, or 1 when memory runs out (no
// layer is added).
[[nodiscard]] int LayerList_pushLayer(LayerList *list, const void *argument);
// Closes the current group: a continuation layer of its parent (payload
// derived from the parent's with no argument, parent the parent's parent)
// is added at the end and made current. Nothing without a parent. Enters
// payload mode first. 0, or 1 when memory runs out (no layer is added).
[[nodiscard]] int LayerList_popLayer(LayerList *list);

// Moves every item of other into list and leaves other one empty layer.
// Two key-mode lists merge by key (LayerList_mergeSorted); otherwise both
// enter payload mode and other's layers follow list's in order: a non-empty
// layer without payload joins list's last layer when that has none either,
// any other non-empty layer becomes a new last layer with its payload, and
// empty layers are dropped (payloads released). 0, or 1 when memory runs
// out (nothing moved). A list merged into itself stays as it is.
[[nodiscard]] int LayerList_merge(LayerList *list, LayerList *other);
// Both lists in key mode (else as LayerList_merge): the items of other's
// lowest layer first move to the front of
// the layer after it (they stay in the lowest layer when there is none);
// then every non-empty layer of other joins list's layer of the same key
// (its items appended) or is linked into list in key order. 0 or 1 (no
// memory; nothing moved).
[[nodiscard]] int LayerList_mergeSorted(LayerList *list, LayerList *other);
// Collapses everything into the first layer and hands its item chain to
// *items (null when there is none); the layer stays, empty, with its marked
// flag. 0.
int LayerList_takeItems(LayerList *list, ObjHeader **items);
// Payload mode: the first layer's items are appended to the children of
// record (a container item), and every later non-empty layer becomes a new
// container of record's class that takes the layer's items as children and
// its payload, with record's box when the layer has no payload and else the
// payload's bounds, chained after the last item of record's chain. The
// layers after the first are freed (payloads of empty ones released). 0;
// 8 when record is null or not of a container class (nothing moves); 1 when
// a container cannot be made: the walk stops there and the layers not yet
// wrapped stay in the list. A key-mode list is handed over like
// LayerList_takeItems into record's children.
[[nodiscard]] int LayerList_wrapLayers(LayerList *list, ObjHeader *record);

// Writes axes (0 to 3; bit 0 x, bit 1 y) into the fixed bits of every item
// and marks every layer; container children already fixed keep their own
// axes. With 0 only marked layers are visited: their items (children
// included) are unfixed and the layers unmarked.
void LayerList_setFixed(LayerList *list, uint32_t axes);
// Moves every item by (dx, dy) except along its fixed axes (a container's
// children move with it, each also keeping its own fixed axes); in payload
// mode each payload's origin moves by (dx, dy). Coordinates wrap.
void LayerList_translate(LayerList *list, int32_t dx, int32_t dy);
// Maps every item that is fixed on no axis through the 16.16 matrix about
// origin (p -> origin + M(p - origin)); an item's box becomes the box of its
// four mapped corners, a container's children are mapped too. A text
// item's run turns, scales or shears with it: the matrix (without its
// offset) joins the item's own matrix, and the item's pen lands where the
// matrix maps it. With payloads set the payload origins are mapped as well.
// 0, or 1 when an item's matrix cannot be made (the walk stops there: the
// items before it are mapped, that item and the rest are not).
[[nodiscard]] int LayerList_transform(LayerList *list, const Matrix *matrix, const Point *origin,
                                      int payloads);
// Clips every item to rect. An empty rectangle (x0 >= x1 or y0 >= y1)
// frees every item. Otherwise a text item that crosses the rectangle's left
// or right edge keeps only the characters that lie wholly inside it
// (measured with TextRun_measureFit; its box and character range shrink to
// them) and is freed when none do; a turned run is not cut. Then layout's
// item clipping (RectCollector_clipItem, with flags) decides whether an
// item goes. A container whose box stays has its children clipped the
// same way. 0 or the measurer's error (the clip stops there).
[[nodiscard]] int LayerList_clipToRect(LayerList *list, const Rect *rect, uint32_t flags);
// The same for the items of one layer.
[[nodiscard]] int LayerList_clipLayer(Layer *layer, const Rect *rect, uint32_t flags);
// Resets the collector and adds the box of every item (containers as a
// whole) that is fixed on no axis and whose box is ordered.
void LayerList_collectRects(LayerList *list, RectCollector *collector);

// The first item of the first layer that has one, or null.
ObjHeader *LayerList_firstItem(const LayerList *list);
// 1 when any layer holds an item, else 0.
int LayerList_hasItems(const LayerList *list);
int LayerList_isPayloadMode(const LayerList *list);
