// Class-typed objects: creation, sizes, destruction, and list insertion.
#include "core/container/obj.h"

#include "core/mem/mem.h"

namespace {

ObjHeader *nextOf(const ObjHeader *obj)
{
    return reinterpret_cast<ObjHeader *>(obj->owner[0]);
}

void setNext(ObjHeader *obj, ObjHeader *next)
{
    obj->owner[0] = reinterpret_cast<uintptr_t>(next);
}

} // namespace

int32_t Obj_classPartSize(const ObjClass *cls)
{
    if (!cls || cls->partSize < 0)
        return -1;
    return cls->partSize;
}

ObjHeader *Obj_create(const ObjClass *cls, size_t extra)
{
    int32_t part = Obj_classPartSize(cls);
    if (part < 0)
        return nullptr;
    size_t fixed = sizeof(ObjHeader) + static_cast<size_t>(part);
    if (extra > SIZE_MAX - fixed)
        return nullptr;
    ObjHeader *obj = static_cast<ObjHeader *>(Mem_calloc(1, fixed + extra));
    if (!obj)
        return nullptr;
    obj->cls = cls;
    obj->flags = Obj_initialFlags;
    return obj;
}

void Obj_destroy(ObjHeader *obj)
{
    if (!obj)
        return;
    if (obj->cls && obj->cls->freePayloads)
        obj->cls->freePayloads(obj);
    Mem_free(obj->block);
    Mem_free(obj->matrix);
    Mem_free(obj);
}

void *Obj_part(ObjHeader *obj)
{
    return reinterpret_cast<uint8_t *>(obj) + sizeof(ObjHeader);
}

size_t Obj_size(const ObjHeader *obj)
{
    int32_t part = Obj_classPartSize(obj->cls);
    return sizeof(ObjHeader) + static_cast<size_t>(part < 0 ? 0 : part);
}

void ObjList_insertBefore(ObjList *list, ObjHeader *item, ObjHeader *before)
{
    if (!list->head) {
        setNext(item, nullptr);
        list->head = item;
        list->tail = item;
        return;
    }
    if (before == list->head) {
        setNext(item, list->head);
        list->head = item;
        return;
    }
    for (ObjHeader *p = list->head; p; p = nextOf(p)) {
        if (before && nextOf(p) == before) {
            setNext(item, before);
            setNext(p, item);
            return;
        }
    }
    setNext(item, nullptr);
    setNext(list->tail, item);
    list->tail = item;
}
