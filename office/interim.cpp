// Interim definitions of office services whose modules are not built yet.
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
