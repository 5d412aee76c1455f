// The document handlers the headless host offers, registered with the
// engine's document-type registry at start-up.
//
// The order is the registry's tie order: the first handler of several
// that rate a stream equally wins.
#include "document/import/plaintext.h"
#include "document/types/doctype.h"
#include "host/headless/headless.h"
#include "html/docweb.h"
#include "html/imagehandler.h"
#include "office/powerpoint/ppt.h"
#include "pdf/pdf.h"
#include "spreadsheet/reader/excel.h"
#include "word/reader/word.h"

int Host_registerHandlers(EngineContext *app)
{
    const Edr_DescribeFn order[] = {
        Word_describe, Excel_describe, Ppt_describe, ImageDoc_describe, TextDoc_describe, Pdf_describe, Html_describe,
    };
    int all = 1;
    for (Edr_DescribeFn describe : order)
        all &= Engine_registerHandler(app, describe);
    return all;
}
