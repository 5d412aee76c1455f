// Interim definition of the Word reader's load sequence, which is not
// built yet: recognition works, loading does not.
#include "core/result.h"
#include "platform/vfs/vfs.h"
#include "word/reader/word.h"

// Interim: open takes the stream over, so it closes it, and fails.
int Word_loadDocument(EngineContext *, Edr_HandlerDesc *, void *, VfsHandle *stream, Edr_Doc *,
                      Edr_Node *)
{
    (void)Vfs_close(stream);
    return Res_notImplemented;
}

// Interim: the list tables are not built yet, so the outline list has no
// levels to refresh.
int Word_olstToLevels(const WordAnlv *, uint32_t, const char16_t *, WordReader *)
{
    return Res_ok;
}
