#include "tests/support/document_ops.h"

#include "core/result.h"
#include "html/docops.h"
#include "layout/docops.h"
#include "spreadsheet/gridlayout.h"
#include "viewer/docops.h"

bool TestSupport_installDocumentOps(EngineContext *ctx)
{
    return Html_installDocumentOps(ctx) == Res_ok && Layout_installDocumentOps(ctx) == Res_ok &&
           View_installDocumentOps(ctx) == Res_ok && Excel_installGridLayout(ctx) == Res_ok;
}
