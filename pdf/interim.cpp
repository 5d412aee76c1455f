// Interim definitions of the PDF reader's handler operations: the reader
// is not built yet, so no PDF file can be opened. Each does the least the
// document model needs.
#include "core/result.h"
#include "pdf/pdf.h"
#include "platform/vfs/vfs.h"

// Interim: open takes the stream over, so it closes it, and fails.
int Pdf_open(EngineContext *, Edr_HandlerDesc *, void *, VfsHandle *stream, Edr_Doc *, Edr_Node *)
{
    (void)Vfs_close(stream);
    return Res_notImplemented;
}

int Pdf_step(Edr_Doc *, uint32_t)
{
    return Res_notImplemented;
}

// Interim: no loader state exists to free.
void Pdf_close(Edr_Doc *)
{
}

int Pdf_fragmentRect(Edr_Doc *, const char16_t *, int32_t *)
{
    return Res_notImplemented;
}
