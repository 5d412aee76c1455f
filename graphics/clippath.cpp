// Clip records of the document model and the clip groups of display lists.
#include "graphics/clippath.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "graphics/pagerec.h"
#include "graphics/drawitem.h"
#include "graphics/path.h"
#include "graphics/piecedraw.h"

namespace {

void destroyClip(PropCounted *self)
{
    ClipPath *c = reinterpret_cast<ClipPath *>(self);
    Path_destroy(c->path);
    Mem_free(c);
}

ClipGroupPart *partOf(ObjHeader *item)
{
    return static_cast<ClipGroupPart *>(Obj_part(item));
}

// The children are drawn as a content piece whose one clip entry is the
// group's path, placed where the group is shown.
int drawGroup(EngineContext *ctx, ObjHeader *item, const Rect *, const Matrix *matrix,
              const DrawTarget *target, const DrawFlags *flags, intptr_t)
{
    ClipGroupPart *p = partOf(item);
    if (!target || !target->bitmap || !matrix)
        return Res_nullInput;
    if (!p->clip || !Obj_children(item))
        return Res_ok;
    ClipEntry entry{};
    entry.fillRule = p->fillRule;
    entry.dx = int32_t(uint32_t(p->dx) + uint32_t(item->origin[0]));
    entry.dy = int32_t(uint32_t(p->dy) + uint32_t(item->origin[1]));
    entry.path = p->clip->path;
    Edr_PageRec piece{};
    piece.buildState = Edr_PageBuild_ready;
    piece.layout = &entry;
    piece.objects = Obj_children(item);
    return Piece_draw(ctx, &piece, matrix, target, flags);
}

int identifyGroup(EngineContext *, ObjHeader *, const Rect *, const Matrix *, const DrawTarget *,
                  const DrawFlags *, uint32_t *amount)
{
    if (amount)
        *amount = 0x436C7067; // "Clpg"
    return Res_ok;
}

int boundsGroup(EngineContext *, ObjHeader *item, Rect *rect)
{
    *rect = Obj_shownBox(item);
    return Res_ok;
}

void freeGroup(ObjHeader *item)
{
    ClipGroupPart *p = partOf(item);
    ObjHeader *c = Obj_children(item);
    while (c) {
        ObjHeader *next = Obj_next(c);
        Obj_destroy(c);
        c = next;
    }
    Obj_setChildren(item, nullptr);
    ClipPath_release(p->clip);
    p->clip = nullptr;
}

const ObjItemOps kGroupOps = {drawGroup, identifyGroup, boundsGroup};

} // namespace

const ObjClass ClipGroup_class = {&kGroupOps, int32_t(sizeof(ClipGroupPart)), freeGroup,
                                  Obj_itemContainer};

int ClipPath_create(Path *path, ClipPath **out)
{
    *out = nullptr;
    ClipPath *c = path ? static_cast<ClipPath *>(Mem_calloc(1, sizeof(ClipPath))) : nullptr;
    if (!c) {
        Path_destroy(path);
        return Res_noMemory;
    }
    c->base.refs = 1;
    c->base.destroy = destroyClip;
    c->path = path;
    *out = c;
    return Res_ok;
}

void ClipPath_release(ClipPath *clip)
{
    if (clip)
        PropCounted_release(&clip->base);
}

void ClipPath_setValue(Prop *out, ClipPath *clip, int evenOdd)
{
    *out = Prop{};
    Prop_set(out, ClipPath_property, evenOdd ? PropType_counted13 : PropType_counted,
             reinterpret_cast<uintptr_t>(clip), 0);
}

const ClipPath *ClipPath_fromValue(const Prop *value, int *evenOdd)
{
    if (evenOdd)
        *evenOdd = 0;
    if (!value || value->id != ClipPath_property ||
        (value->type != PropType_counted && value->type != PropType_counted13))
        return nullptr;
    const ClipPath *c = reinterpret_cast<const ClipPath *>(value->payload);
    if (!c || !c->path)
        return nullptr;
    if (evenOdd)
        *evenOdd = value->type == PropType_counted13;
    return c;
}

int ClipPath_isEnd(const Prop *value)
{
    return value && value->id == ClipPath_property && value->type == ClipPath_endValue;
}

int ClipGroup_create(const ClipPath *clip, int evenOdd, int32_t dx, int32_t dy, ObjHeader **out)
{
    *out = nullptr;
    ObjHeader *o = Obj_create(&ClipGroup_class, 0);
    if (!o)
        return Res_noMemory;
    ClipGroupPart *p = partOf(o);
    ClipPath *shared = const_cast<ClipPath *>(clip);
    if (PropCounted_addRef(&shared->base) != Res_ok) {
        Obj_destroy(o);
        return Res_noMemory;
    }
    p->clip = shared;
    p->fillRule = evenOdd ? 1 : 0;
    p->dx = dx;
    p->dy = dy;
    const Rect empty{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    Obj_setBox(o, &empty);
    *out = o;
    return Res_ok;
}

void ClipEntry_freeList(ClipEntry *list)
{
    while (list) {
        ClipEntry *next = list->next;
        Path_destroy(list->path);
        Mem_free(list->matrix);
        Mem_free(list);
        list = next;
    }
}
