// Interim definitions of web-layer services whose modules are not built
// yet. Each does the least its callers need and says so.
#include "core/result.h"
#include "html/link.h"
#include "html/web/httpcache.h"
#include "html/web/mime.h"
#include "platform/vfs/memfile.h"
#include "platform/vfs/vfs.h"

// Interim: no link reference exists before the web layer, so there is
// nothing to release.
void Link_release(Link *)
{
}

// ------------------------------------------------------- stream types

// Interim: no MIME archive exists before the MIME module, so no part can
// be found.
int MimeStream_open(VfsHandle *, const Url *, uint32_t, uint32_t *accepted, EngineContext *)
{
    *accepted = 0;
    return Res_fileCannotOpen;
}

// Interim: no handler object belongs to the MIME module yet.
int Mime_claimsHandler(const UrlHandler *)
{
    return 0;
}

// Interim: the MIME module keeps no state.
int Mime_moduleInit(EngineContext *)
{
    return Res_ok;
}

void Mime_moduleFini(EngineContext *)
{
}

// Interim: the open and the Mem type's operations; the archive queries
// (slots 22 and 23) come with the MIME module.
const VfsTypeOps VfsMimeOps = {
    "Mime",             // name
    0,                  // flags
    nullptr,            // 2
    MimeStream_open,    // 3
    MemFile_close,      // 4
    MemFile_getReadBuf, // 5
    MemFile_readDone,   // 6
    nullptr,            // 7
    nullptr,            // 8
    nullptr,            // 9
    nullptr,            // 10
    MemFile_tell,       // 11
    MemFile_seek,       // 12
    MemFile_getInfo,    // 13
};

// Interim: there is no HTTP cache yet, so no Cache stream can be made.
int HttpCache_openStream(VfsHandle *, const Url *, uint32_t, uint32_t *accepted, EngineContext *,
                         uintptr_t)
{
    *accepted = 0;
    return Res_notImplemented;
}

// Interim: nothing to install before the cache exists.
int HttpCache_install(EngineContext *)
{
    return Res_ok;
}

void HttpCache_uninstall(EngineContext *)
{
}

// Interim: only the name; no handle ever becomes a Cache stream yet.
const VfsTypeOps VfsCacheOps = {
    "Cache", // name
    0,       // flags
};
