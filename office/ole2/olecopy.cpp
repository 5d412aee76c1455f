// The copy of a compound file's storages and streams into a writer: what
// a saved document keeps of its source file beside the streams its writer
// rebuilds (embedded objects, summary information, macros).
//
// The walk keeps a work list of storages instead of recursing, so a deep
// or malformed directory cannot exhaust the stack; each storage is copied
// once at most, so a directory whose parent links loop ends.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "office/ole2/ole.h"
#include "office/ole2/olewriter.h"

namespace {

enum : uint32_t {
    copyBlock = 4096,
};

struct Pending {
    uint32_t source;
    uint32_t out;
};

bool skipped(const char16_t *name, const char16_t *const *skip)
{
    for (; skip && *skip; skip++)
        if (!Ustr_cmp(name, *skip))
            return true;
    return false;
}

int copyStream(OleHandle *source, uint32_t id, OleHandle *out, uint32_t parent,
               const char16_t *name, uint8_t **block)
{
    uint32_t outId = 0;
    int err = OleWriter_addStream(out, parent, name, &outId);
    if (err)
        return err;
    if (!*block) {
        *block = static_cast<uint8_t *>(Mem_malloc(copyBlock));
        if (!*block)
            return Res_noMemory;
    }
    OleStream *to = nullptr, *from = nullptr;
    err = Ole_streamOpen(out, &to, outId);
    if (!err)
        err = Ole_streamOpen(source, &from, id);
    while (!err) {
        size_t got = 0;
        err = Ole_streamRead(from, copyBlock, &got, *block);
        if (err == Res_oleStreamEnd)
            err = Res_ok; // the last block
        if (err || got == 0)
            break;
        err = OleWriter_streamWrite(to, *block, uint32_t(got));
        if (got < copyBlock)
            break;
    }
    (void)Ole_streamClose(&from);
    (void)Ole_streamClose(&to);
    return err;
}

} // namespace

int OleWriter_copyStorage(OleHandle *source, uint32_t sourceId, OleHandle *out, uint32_t outParent,
                          const char16_t *const *skip)
{
    uint32_t entries = 0;
    for (OleDirEntry *e = source->entries; e; e = e->next)
        entries++;
    // At most one work item per storage of the source.
    Pending *work = static_cast<Pending *>(Mem_malloc((size_t(entries) + 1) * sizeof(Pending)));
    if (!work)
        return Res_noMemory;
    uint8_t *visited = static_cast<uint8_t *>(Mem_calloc(size_t(entries) + 1, 1));
    if (!visited) {
        Mem_free(work);
        return Res_noMemory;
    }
    uint32_t top = 0;
    work[top++] = Pending{sourceId, outParent};
    uint8_t *block = nullptr;
    int err = Res_ok;
    while (top && !err) {
        Pending p = work[--top];
        for (OleDirEntry *e = source->entries; e && !err; e = e->next) {
            if (e->id == p.source || e->parentId != p.source || e->type == OleEntry_root)
                continue;
            if (e->type == OleEntry_storage) {
                // Index of the entry in the list, for the visited marks.
                uint32_t index = 0;
                for (OleDirEntry *f = source->entries; f && f != e; f = f->next)
                    index++;
                if (visited[index] || top >= entries)
                    continue;
                visited[index] = 1;
                uint32_t outId = 0;
                err = OleWriter_addStorage(out, p.out, e->name, e->classId, &outId);
                if (!err)
                    work[top++] = Pending{e->id, outId};
            } else if (e->type == OleEntry_stream) {
                if (p.source == 0 && sourceId == 0 && skipped(e->name, skip))
                    continue;
                err = copyStream(source, e->id, out, p.out, e->name, &block);
            }
        }
    }
    Mem_free(block);
    Mem_free(visited);
    Mem_free(work);
    return err;
}
