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

struct ObjHeader;

// Releases what the class part of obj owns (buffers, child records, shared
// records it holds a reference on); the object itself is freed afterwards.
typedef void (*ObjFreeFn)(ObjHeader *obj);

// A class record: constant data of the subsystem that defines the class.
struct ObjClass {
    const void *ops;         // the defining subsystem's operation table
    int32_t partSize;        // bytes of the class part behind the header
    ObjFreeFn freePayloads;  // null when the class part owns nothing
};

struct ObjHeader {
    const ObjClass *cls;  // the class record
    uintptr_t owner[6];   // words of the object's owner; owner[0] links an ObjList
    void *block;          // a heap block freed with the object (null at creation)
    uintptr_t spare[2];   // cleared at creation
    uint32_t flags;       // 8 at creation
};

enum : uint32_t { Obj_initialFlags = 8 };

// A new object of class cls with extra bytes behind the class part, every
// byte but the class pointer and the flags (8) zero. Null for a null class
// or a class with a negative part size, or when memory runs out.
ObjHeader *Obj_create(const ObjClass *cls, size_t extra);

// Releases the class part's payloads through the class, then frees the
// header's block and the object. Null is ignored.
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
