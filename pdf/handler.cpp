// The PDF handler's open, step and close: the open sets the document's
// feature flags and takes the viewer's PDF open path (Pdf_importOpen); a
// document that loads pages on demand keeps its PdfDoc as the eDR
// document's loader data until it is closed.
#include "core/result.h"
#include "document/edr/doc.h"
#include "pdf/document.h"
#include "pdf/pdf.h"
#include "platform/vfs/vfs.h"
#include "pdf/pdfopen.h"

enum : uint32_t {
    Pdf_featurePagesOnDemand = 4, // pages can be translated on demand
    Pdf_featureFlag2 = 2,
};

int Pdf_open(EngineContext *context, Edr_HandlerDesc *, void *argument, VfsHandle *stream,
             Edr_Doc *doc, Edr_Node *)
{
    int err = Edr_Doc_setFlags(doc, Pdf_featurePagesOnDemand | Pdf_featureFlag2);
    if (err != Res_ok) {
        // The stream was only read or probed: a failed close loses nothing.
        (void)Vfs_close(stream);
        return err;
    }
    return Pdf_importOpen(context, nullptr, stream, doc, reinterpret_cast<intptr_t>(argument));
}

int Pdf_step(Edr_Doc *doc, uint32_t page)
{
    PdfDoc *pdf = static_cast<PdfDoc *>(Edr_Doc_getLoaderData(doc));
    if (!pdf)
        return Res_notImplemented;
    return Pdf_pageTranslate(pdf, page + 1);
}

void Pdf_close(Edr_Doc *doc)
{
    PdfDoc *pdf = static_cast<PdfDoc *>(Edr_Doc_getLoaderData(doc));
    if (!pdf)
        return;
    Pdf_closeDocument(pdf, doc);
    Edr_Doc_setLoaderData(doc, nullptr);
}
