// View-size requests: the display manager sets a document's view size in
// the first rule of its first request and waits until the document's
// manager has laid it out again.
#include "core/context/context.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "core/task/lock.h"
#include "document/edr/doc.h"
#include "document/manager/manager.h"
#include "platform/api/request.h"
#include "viewer/dispman.h"
#include "viewer/viewer.h"

int Dispman_writeViewSize(Edr_Doc *doc, int32_t width, int32_t height)
{
    Request *request = nullptr;
    int err = Edr_Doc_getRequest(doc, nullptr, &request);
    if (err)
        return err;
    if (!request)
        return Res_nullInput;
    Request_lock(request);
    StyleRule *rule = Request_firstItem(request);
    StylePropItem *w = rule ? StyleRule_findProp(rule, PropId_width) : nullptr;
    StylePropItem *h = rule ? StyleRule_findProp(rule, PropId_height) : nullptr;
    if (w && h) {
        Prop_free(&w->value);
        Prop_setLength(&w->value, PropId_width, width);
        Prop_free(&h->value);
        Prop_setLength(&h->value, PropId_height, height);
    }
    Request_unlock(request);
    Request_release(request);
    return w && h ? Res_ok : Res_nullInput;
}

int Dispman_setDocViewSize(EngineContext *context, Edr_Doc *doc, int32_t width, int32_t height)
{
    DispmanCtx *dm = context ? static_cast<DispmanCtx *>(context->dispman) : nullptr;
    if (!dm)
        return Res_missingArgument;
    int err = Dispman_writeViewSize(doc, width, height);
    if (err)
        return err;

    dm->awaited = doc;
    err = Edr_Mgr_queueChange(doc);
    if (err) {
        dm->awaited = nullptr;
        return err;
    }
    (void)Edr_Mgr_setTimer(doc);
    // A stop request ends the wait: the display manager's thread must not
    // hang on a document that is never laid out again.
    err = Sem_waitStoppable(&dm->completion);
    dm->awaited = nullptr;
    return err;
}
