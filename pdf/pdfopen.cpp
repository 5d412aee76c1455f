// The PDF open path of the viewer (see pdfopen.h).
#include "pdf/pdfopen.h"

#include "core/result.h"
#include "document/edit/selection.h"
#include "document/edr/doc.h"
#include "pdf/document.h"
#include "platform/vfs/vfs.h"

int Pdf_importOpen(EngineContext *context, uint32_t *pageCount, VfsHandle *stream, Edr_Doc *doc,
                   intptr_t options)
{
    if (pageCount)
        *pageCount = 0;
    int err = doc ? Edr_Doc_setTypeCode(doc, PdfImport_typeCode) : Res_nullInput;
    if (err == Res_ok)
        err = Edr_Doc_setupFromStream(doc, stream);
    // A page's drawn text can be selected and copied, never edited.
    if (err == Res_ok)
        Edr_Sel_installReadOnlyTests(doc);
    PdfDoc *pdf = nullptr;
    if (err == Res_ok)
        err = Pdf_openDocument(context, &pdf, stream, doc, options);
    if (err != Res_ok) {
        // The stream was only read or probed: a failed close loses nothing.
        (void)Vfs_close(stream);
        return err;
    }
    // The PDF owns the stream from here on: closing the PDF closes it.
    int r = Pdf_translateDocument(pdf);
    uint32_t last = pdf->currentPage;
    if (Edr_Doc_isPageOnDemand(doc)) {
        if (r == Res_ok) {
            if (pageCount)
                *pageCount = last;
            Edr_Doc_setLoaderData(doc, pdf);
            Pdf_Doc_flushCache(pdf, doc, 0);
            return Res_ok;
        }
        if (pageCount)
            *pageCount = last > 0 ? last - 1 : 0;
    } else if (pageCount) {
        *pageCount = last;
    }
    Pdf_closeDocument(pdf, doc);
    return r;
}
