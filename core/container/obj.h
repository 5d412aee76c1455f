// Class-typed objects and the singly linked object list.
//
// A class-typed object (display items, for one) is a header, then the part
// that its class defines, then any extra bytes its creator asked for, all
// in one heap block. The header names the object's class record, which
// says how large the class part is and how to release what the class part
// owns; the subsystem that defines a class fills its record, so this module
// knows no class by name.
//
// Objects are owned by whoever created them and are freed with
// Obj_destroy. Nothing here takes a lock.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/geom/rect.h"

struct ObjHeader;

// Releases what the class part of obj owns (buffers, child records, shared
// records it holds a reference on); the object itself is freed afterwards.
typedef void (*ObjFreeFn)(ObjHeader *obj);

// A class record: constant data of the subsystem that defines the class.
struct ObjClass {
    const void *ops;        // the defining subsystem's operation table
    int32_t partSize;       // bytes of the class part behind the header
    ObjFreeFn freePayloads; // null when the class part owns nothing
    uint32_t itemKind;      // display items: Obj_itemPlain, _itemContainer or _itemText
};

struct Edr_Node;
struct Matrix;

struct ObjHeader {
    const ObjClass *cls; // the class record
    uintptr_t owner[6];  // words of the object's owner; owner[0] links an ObjList
    void *block;         // a heap block freed with the object (null at creation)
    uintptr_t spare[2];  // cleared at creation
    uint32_t flags;      // 8 at creation
    // The display-item words (see below); zero at creation.
    int32_t origin[2]; // x, y: where the item's box is shown (added to the box)
    Edr_Node *node;    // the document node the item shows (no reference)
    Matrix *matrix;    // the item's own transform, owned; null for the identity
};

enum : uint32_t { Obj_initialFlags = 8 };

// A new object of class cls with extra bytes behind the class part, every
// byte but the class pointer and the flags (8) zero. Null for a null class
// or a class with a negative part size, or when memory runs out.
ObjHeader *Obj_create(const ObjClass *cls, size_t extra);

// Releases the class part's payloads through the class, then frees the
// header's block, the item matrix and the object. Null is ignored.
void Obj_destroy(ObjHeader *obj);

// The class part of obj (right behind the header); extra bytes follow it.
void *Obj_part(ObjHeader *obj);

// Bytes of header and class part (extra bytes not counted).
size_t Obj_size(const ObjHeader *obj);

// The class part size of cls, or -1 for a null class or a negative size.
int32_t Obj_classPartSize(const ObjClass *cls);

// A singly linked list of objects through owner[0], with a tail pointer.
struct ObjList {
    ObjHeader *head;
    ObjHeader *tail;
};

// Links item before the element before: at the head when the list is
// empty or before is the head, after the tail when before is not on the
// list (null included).
void ObjList_insertBefore(ObjList *list, ObjHeader *item, ObjHeader *before);

// ------------------------------------------------------------ display items
//
// Display items (what layout places on a page, what the page and view
// renderers draw, what the overlay and highlights show) are class-typed
// objects, and this header is their one record. Every display list reads
// the same words:
// - cls->ops: the item class's operations (ObjItemOps): draw, measure (or,
//   for classes that have nothing to measure, identify), bounds;
// - owner[0]: the next item of a chain (as ObjList links it);
// - owner[1..4]: the item's box {x0, y0, x1, y1} (signed 32-bit values);
// - owner[5]: a container's first child (its children chain through their
//   own next words);
// - origin: the offset at which the box is shown;
// - flags: the Obj_* bits below (bit 7 hidden, bits 11-12 fixed axes);
// - node: the document node the item shows;
// - matrix: the item's own transform.
// The class record's itemKind tells plain items, containers, text and image
// items apart. A container class's part begins with ObjContainerPart and a
// text item class's part with ObjTextPart; the class's freePayloads
// destroys a container's children and releases its payload.

struct DrawFlags;
struct DrawTarget;
struct EngineContext;

// Draws item into target: clip is the drawing area in the units of the item's
// list, matrix maps them to device units (its translation 0: the target's dx
// and dy place the list's origin), flags the renderer's DrawFlags
// (graphics/drawflags.h), extra a word of the caller's. 0, Res_stopRequested
// when the task is asked to stop, or another error (which list walks ignore).
typedef int (*ObjDrawFn)(EngineContext *context, ObjHeader *item, const Rect *clip,
                         const Matrix *matrix, const DrawTarget *target, const DrawFlags *flags,
                         intptr_t extra);
// Measures what drawing item would cost into *amount (classes with nothing
// to measure write their identifier word instead). 0 or an error.
typedef int (*ObjMeasureFn)(EngineContext *context, ObjHeader *item, const Rect *clip,
                            const Matrix *matrix, const DrawTarget *target, const DrawFlags *flags,
                            uint32_t *amount);
// Grows *bounds by what the item covers. 0 or an error.
typedef int (*ObjBoundsFn)(EngineContext *context, ObjHeader *item, Rect *bounds);

// The operation table of a display-item class (ObjClass::ops), slots in
// this order. The measure slot's answer is a drawing cost only for a class
// that sets measuresCost; every other class writes its identifier word
// there, which a cost sum must not count.
struct ObjItemOps {
    ObjDrawFn draw;
    ObjMeasureFn measure;
    ObjBoundsFn bounds;
    uint32_t measuresCost; // 1: the measure slot reports a cost
};

struct FontList;

enum : uint32_t {
    Obj_itemPlain = 0,
    Obj_itemContainer = 1,
    Obj_itemText = 2,
    Obj_itemImage = 3, // shows the image of its node's group

    // Flag bits of display items.
    Obj_ownsData = 1u << 0,       // the item owns its class data (path, text, ...)
    Obj_overlayCounted = 1u << 2, // an overlay counted in a page's object area
    Obj_focusCandidate = 1u << 3, // its node is a focus target
    Obj_focusInside = 1u << 4,    // its box meets the focus walk's area
    Obj_alignTop = 1u << 5,       // aligned to the line top
    Obj_alignBottom = 1u << 6,    // aligned to the line bottom
    Obj_hidden = 1u << 7,         // skipped by list walks; keeps its focus bits untested
    Obj_effectShift = 8,          // bits 8-9: the drawing effect of every fill
    Obj_effectMask = 3u << 8,
    Obj_formatInterned = 1u << 10, // the text format is interned

    Obj_fixedX = 1u << 11, // the item keeps its x when its list moves
    Obj_fixedY = 1u << 12, // the item keeps its y when its list moves
    Obj_fixedShift = 11,   // axes (bit 0 x, bit 1 y) = (flags >> 11) & 3
    Obj_fixedMask = Obj_fixedX | Obj_fixedY,
};

// The start of a container class's part: the group payload the container
// took over from a layer of a layer list (null when none).
struct ObjContainerPart {
    void *payload;
};

// The start of a text item class's part: the run a layer list measures when
// it cuts the item at a clip edge (TextRun_measureFit's arguments) and the
// item's characters, chars[start] to chars[start + count - 1].
struct ObjTextPart {
    FontList *fonts;
    int32_t size; // points, 16.16
    uint32_t styleFlags;
    const int32_t *style;
    int32_t charSpacing;
    int32_t wordSpacing;
    const char16_t *chars;
    uint32_t start;
    uint32_t count;
};

inline ObjHeader *Obj_next(const ObjHeader *item)
{
    return reinterpret_cast<ObjHeader *>(item->owner[0]);
}

inline void Obj_setNext(ObjHeader *item, ObjHeader *next)
{
    item->owner[0] = reinterpret_cast<uintptr_t>(next);
}

inline ObjHeader *Obj_children(const ObjHeader *item)
{
    return reinterpret_cast<ObjHeader *>(item->owner[5]);
}

inline void Obj_setChildren(ObjHeader *item, ObjHeader *first)
{
    item->owner[5] = reinterpret_cast<uintptr_t>(first);
}

// The box words as a rectangle.
inline Rect Obj_box(const ObjHeader *item)
{
    auto word = [item](int i) {
        return static_cast<int32_t>(static_cast<intptr_t>(item->owner[1 + i]));
    };
    return Rect{word(0), word(1), word(2), word(3)};
}

inline void Obj_setBox(ObjHeader *item, const Rect *box)
{
    const int32_t v[4] = {box->x0, box->y0, box->x1, box->y1};
    for (int i = 0; i < 4; i++)
        item->owner[1 + i] = static_cast<uintptr_t>(static_cast<intptr_t>(v[i]));
}

// The fixed axes, 0 to 3 (bit 0 x, bit 1 y).
inline uint32_t Obj_fixedAxes(const ObjHeader *item)
{
    return (item->flags & Obj_fixedMask) >> Obj_fixedShift;
}

inline void Obj_setFixedAxes(ObjHeader *item, uint32_t axes)
{
    item->flags = (item->flags & ~Obj_fixedMask) | ((axes << Obj_fixedShift) & Obj_fixedMask);
}

inline uint32_t Obj_itemKind(const ObjHeader *item)
{
    return item->cls ? item->cls->itemKind : Obj_itemPlain;
}

// The box moved by the origin: where the item is shown.
inline Rect Obj_shownBox(const ObjHeader *item)
{
    Rect b = Obj_box(item);
    auto add = [](int32_t a, int32_t d) {
        return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(d));
    };
    return Rect{add(b.x0, item->origin[0]), add(b.y0, item->origin[1]), add(b.x1, item->origin[0]),
                add(b.y1, item->origin[1])};
}

// The class's operation table, or null when the item has none.
inline const ObjItemOps *Obj_itemOps(const ObjHeader *item)
{
    return item->cls ? static_cast<const ObjItemOps *>(item->cls->ops) : nullptr;
}
