// Frame and inline-frame documents: a new document held by a sub-document
// node under the frame's group, given the frame's URL to load.
#include "core/result.h"
#include "core/task/task.h"
#include "document/edr/doc.h"
#include "document/edr/docevents.h"
#include "document/edr/node.h"
#include "html/docweb.h"
#include "platform/url/url.h"

int Html_createSubdocument(EngineContext *context, Edr_Doc *doc, int32_t kind, Edr_Node *node, int32_t, int32_t,
                           int32_t, int32_t, int32_t, const Url *source)
{
    int err = Task_checkStop(context);
    if (err)
        return err;
    if (!doc || !node)
        return Res_missingArgument;
    Edr_Doc *child = nullptr;
    if ((err = Edr_Doc_create(context, &child, nullptr)))
        return err;
    if (!Edr_Doc_getStartFlag(doc))
        err = Edr_Doc_clearStartFlag(child);
    Url *url = nullptr;
    if (err == Res_ok && Edr_Doc_getUrl(doc, &url) == Res_ok && url) {
        if (source)
            Url_setClass(url, Url_getClass(source));
        err = Edr_Doc_setUrl(child, url);
    }
    Url_free(url);
    static constexpr int32_t identity[6] = {0x10000, 0, 0, 0x10000, 0, 0};
    if (err == Res_ok)
        err = Edr_Node_createSubdoc(doc, node, Edr_Insert_lastChild, nullptr, child, identity, 0, kind);
    // The frame's source loads into the new document.
    if (err == Res_ok && source) {
        Url *copy = Url_copy(source);
        err = copy ? Edr_Doc_followUrl(context, child, copy, nullptr, Edr_Follow_keepDocUrl, nullptr) : Res_noMemory;
    }
    Edr_Doc_release(child);
    return err;
}
