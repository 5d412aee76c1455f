// Interim definitions of the PDF services that later parts of the reader
// provide: the handler operations (recognition and the open of a whole
// document) and page loading. Each does the least its callers
// need.
#include "core/result.h"
#include "pdf/page.h"
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

// Interim: the page tree is not read yet, so loading a page adds nothing.
int Pdf_Page_load(PdfDoc *, uint32_t)
{
    return Res_ok;
}

// Interim: no page groups exist yet, so a placeholder is nothing.
int Pdf_Page_addPlaceholder(PdfDoc *, uint32_t)
{
    return Res_ok;
}
