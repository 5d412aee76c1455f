// The PDF handler's open, step and close: a file is opened and its pages
// translated; a document that loads pages on demand keeps its PdfDoc as
// the eDR document's loader data until it is closed.
#include "core/result.h"
#include "document/edr/doc.h"
#include "pdf/document.h"
#include "pdf/pdf.h"
#include "platform/vfs/vfs.h"

enum : uint32_t {
    Pdf_typeCode = 229,          // the eDR document's type code of PDF files
    Pdf_featurePagesOnDemand = 4, // pages can be translated on demand
    Pdf_featureFlag2 = 2,
};

int Pdf_open(EngineContext *context, Edr_HandlerDesc *, void *argument, VfsHandle *stream, Edr_Doc *doc,
             Edr_Node *)
{
    int err = Edr_Doc_setFlags(doc, Pdf_featurePagesOnDemand | Pdf_featureFlag2);
    if (err == Res_ok)
        err = Edr_Doc_setTypeCode(doc, Pdf_typeCode);
    if (err == Res_ok)
        err = Edr_Doc_setupFromStream(doc, stream);
    PdfDoc *pdf = nullptr;
    if (err == Res_ok)
        err = Pdf_openDocument(&pdf, context, stream, doc, reinterpret_cast<intptr_t>(argument));
    if (err != Res_ok) {
        (void)Vfs_close(stream);
        return err;
    }
    // The document owns the stream from here on.
    err = Pdf_translateDocument(pdf);
    if (Edr_Doc_isPageOnDemand(doc) && err == Res_ok) {
        Edr_Doc_setLoaderData(doc, pdf);
        Pdf_Doc_flushCache(pdf, doc, 0);
        return Res_ok;
    }
    Pdf_closeDocument(pdf, doc);
    return err;
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
