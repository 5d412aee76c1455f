// Interim definitions of office services whose modules are not built yet.
#include "core/mem/mem.h"
#include "document/edr/doc.h"
#include "office/docside.h"

// Interim: no office importer keeps a record set of nodes yet.
void Edr_Doc_forgetNode(Edr_Doc *, Edr_Node *)
{
}

// Interim: frees the side record and its buffer, the least destruction needs.
void Edr_Doc_freeSideRecord(Edr_Doc *doc)
{
    if (!doc->sideRecord)
        return;
    Mem_free(doc->sideRecord->buffer);
    Mem_free(doc->sideRecord);
    doc->sideRecord = nullptr;
}
// Each does the least its callers need and says so; the real definitions
// replace them when the module is built.
#include "core/result.h"
#include "office/zip/zipvfs.h"
#include "platform/vfs/vfs.h"

// Interim: without the zip module no URL names an archive member, so the
// probe leaves every handle alone.
int ZipVfs_open(VfsHandle *, const Url *, uint32_t, uint32_t *accepted, EngineContext *)
{
    *accepted = 0;
    return Res_ok;
}

// Interim: only the probe; no handle ever becomes a Zvfs stream yet.
const VfsTypeOps VfsZipOps = {
    "Zvfs",      // name
    0,           // flags
    nullptr,     // 2
    ZipVfs_open, // 3
};
