// Where a sub-document is shown: the box of its node's display items in
// the parent document's page views.
#include "core/result.h"
#include "document/edr/doc.h"
#include "viewer/docview.h"
#include "viewer/select/focus.h"

int View_focusHitTest(Edr_Doc *doc, Edr_Node *subdoc, int32_t out[4], void *)
{
    for (int i = 0; i < 4; i++)
        out[i] = 0;
    const HighlightStyle *style =
        doc && doc->pageList ? static_cast<const HighlightStyle *>(doc->pageList->view) : nullptr;
    if (!style || !subdoc)
        return Res_ok;
    int32_t rect[4];
    int32_t index = -1;
    Edr_Page_readLockList(doc);
    int err = Select_findFocusAt(style->pages, subdoc, rect, &index);
    Edr_Page_readUnlockList(doc);
    // A sub-document no view shows is taken to be where its parent is.
    if (err || index < 0)
        return err;
    for (int i = 0; i < 4; i++)
        out[i] = rect[i];
    return Res_ok;
}
