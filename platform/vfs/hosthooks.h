// Objects with a finaliser.
//
// A record whose first word is its finaliser (called with the object before
// it is freed) and whose second word is its clone function; the rest of the
// record is its owner's.
#pragma once

struct Obj {
    void (*finalize)(Obj *obj);
    Obj *(*clone)(Obj *obj);
};

// When *obj is non-null: calls its finaliser, frees it and clears *obj.
void Obj_finalizeFree(Obj **obj);
