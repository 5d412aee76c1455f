// The table of web operations handed to the document model.
#include "html/docops.h"

#include "core/context/context.h"
#include "core/result.h"
#include "document/edr/webops.h"
#include "html/forms/websupport.h"
#include "html/docweb.h"
#include "html/forms/widgetclass.h"
#include "html/link.h"
#include "html/web/mime.h"

namespace {

// Draws a control in box at (dx, dy): its class's draw handler, under the
// form lock.
int Html_drawControlForLayout(EngineContext *, void *control, const int32_t box[4], int32_t dx,
                              int32_t dy, const Matrix *matrix, const DrawTarget *target)
{
    FormDrawRequest request{{box[0], box[1], box[2], box[3]}, dx, dy, nullptr, 0, 0};
    return Form_Widget_dispatchLocked(static_cast<FormWidget *>(control), &request, matrix, target,
                                      0);
}

constexpr Edr_WebOps kHtmlWebOps = {
    Form_registerControl,    Form_unregisterControl,
    Form_releaseControl,     Form_freeValue,
    Form_setValue,           Form_controlEnabled,
    Form_controlFlag12,      Form_controlKind,
    Form_ctlGetKind,         Form_Widget_getFlags,
    Form_Widget_getRect,     Edr_Widget_sendEvent,
    Form_findOwner,          Html_attributeId,
    Html_attributeText,      Redirect_create,
    Redirect_free,           Host_askQuestion,
    Url_mapHookPresent,      Url_mapHook,
    Link_fromNode,           Link_fragmentRect,
    MimeArchive_openInPlace, Mime_srcListFree,
    Html_listOrdinal,        Html_createSubdocument,
    Form_Widget_setRect,     Form_Widget_preferredSize,
    Form_Widget_applyStyle,  Html_drawControlForLayout,
};

} // namespace

int Html_installDocumentOps(EngineContext *context)
{
    if (!context)
        return Res_missingArgument;
    context->webOps = &kHtmlWebOps;
    return Res_ok;
}
