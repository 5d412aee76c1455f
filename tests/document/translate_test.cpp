// Placeholder replaced below.
#include "tests/document/types_support.h"
int testTextOpen(EngineContext *, Edr_HandlerDesc *, void *, VfsHandle *stream, Edr_Doc *, Edr_Node *)
{
    Vfs_close(stream);
    return 0;
}
