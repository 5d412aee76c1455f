// The handler description that the interims of importers not built yet
// register, and document-model services whose modules are not built yet.
// Each does the least its callers need.
#include "core/result.h"
#include "document/edr/node.h"
#include "document/interim.h"
#include "document/types/doctype.h"
#include "platform/vfs/vfs.h"

// Interim: the handler of an importer not built yet recognises nothing.
namespace {

// The operations of a handler that recognises nothing.
int rateNothing(EngineContext *, Edr_HandlerDesc *, const char16_t *, int32_t *score)
{
    *score = 0;
    return Res_ok;
}

int sniffNothing(EngineContext *, Edr_HandlerDesc *, VfsHandle *, int32_t *score, uint32_t *typeId)
{
    *score = 0;
    *typeId = 0;
    return Res_ok;
}

int openNothing(EngineContext *, Edr_HandlerDesc *, void *, VfsHandle *stream, Edr_Doc *, Edr_Node *)
{
    (void)Vfs_close(stream);
    return Res_notImplemented;
}

void releaseNothing(EngineContext *, Edr_HandlerDesc *)
{
}

} // namespace

int DocType_describeInterim(EngineContext *, Edr_HandlerDesc *desc)
{
    desc->matchMime = rateNothing;
    desc->sniff = sniffNothing;
    desc->open = openNothing;
    desc->release = releaseNothing;
    desc->enabled = 1;
    return Res_ok;
}
