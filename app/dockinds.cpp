// The kinds of document the engine opens, registered with the engine's
// document-type registry at start-up.
#include "app/dockinds.h"

#include "document/import/plaintext.h"
#include "document/types/doctype.h"
#include "graphics/image.h"
#include "html/docweb.h"
#include "html/imagehandler.h"
#include "office/powerpoint/ppt.h"
#include "pdf/pdf.h"
#include "spreadsheet/reader/excel.h"
#include "word/reader/word.h"

int App_registerDocumentKinds(EngineContext *context)
{
    const Edr_DescribeFn order[] = {
        Word_describe,    Excel_describe, Ppt_describe,  ImageDoc_describe,
        TextDoc_describe, Pdf_describe,   Html_describe,
    };
    int all = 1;
    for (Edr_DescribeFn describe : order)
        all &= Engine_registerHandler(context, describe);
    return all;
}
