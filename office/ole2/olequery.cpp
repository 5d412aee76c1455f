// Directory queries of an open compound file: an entry's type and the
// step from one child of a storage to the next, over the handle's entry
// list. The compound-file writers walk a source file's storage tree with
// them when they copy it.
#include "core/result.h"
#include "office/ole2/ole.h"

int Ole_entryGetType(OleHandle *handle, uint32_t id, uint32_t *type)
{
    OleDirEntry *e = nullptr;
    int err = Ole_entryFindById(handle->entries, id, &e);
    if (err)
        return err;
    *type = e->type;
    return Res_ok;
}

int Ole_entryNextChild(OleHandle *handle, uint32_t parentId, uint32_t *id)
{
    bool found = false;
    for (OleDirEntry *e = handle->entries; e; e = e->next) {
        if (e->parentId != parentId || e->id == parentId)
            continue;
        if (found) {
            *id = e->id;
            return Res_ok;
        }
        found = e->id == *id;
    }
    return found ? Res_oleLastChild : Res_oleNoSuchEntry;
}
