// Frame and inline-frame documents: a new document held by a sub-document
// node under the frame's group, given the frame's URL to load.
#include "core/result.h"
#include "core/task/task.h"
#include "document/edr/doc.h"
#include "document/edr/docevents.h"
#include "document/edr/node.h"
#include "html/docweb.h"
#include "html/link.h"
#include "platform/url/url.h"
#include "platform/vfs/hosthooks.h"

namespace {

// Margins of a frame that gives neither: 9 and 15 pixels.
constexpr int32_t kMarginWidth = 6144;
constexpr int32_t kMarginHeight = 10240;
constexpr int32_t kPlacement = 0x60;

// The frame record that goes with the frame's URL to the load of its
// document: margin width, margin height, width, height, placement.
Obj *frameRecord(int32_t width, int32_t height, int32_t marginHeight, int32_t marginWidth)
{
    Obj *obj = Obj_newDefault();
    if (!obj)
        return nullptr;
    if (marginWidth < 0 && marginHeight < 0) {
        marginWidth = kMarginWidth;
        marginHeight = kMarginHeight;
    }
    const int32_t words[5] = {marginWidth < 0 ? 0 : marginWidth,
                              marginHeight < 0 ? 0 : marginHeight, width, height, kPlacement};
    for (int i = 0; i < 5; i++)
        obj->words[i] = uintptr_t(uint32_t(words[i]));
    return obj;
}

// Frames inside frames go this deep at most.
constexpr int kMaxFrameDepth = 8;
constexpr uint32_t kWithoutFragment = UrlPart_scheme | UrlPart_host | UrlPart_path | UrlPart_query;

// 1 when the source may not load into a frame of doc: a document around
// it already shows that source (the page would hold itself for ever), or
// the frames are nested too deep.
bool recursive(Edr_Doc *doc, const Url *source)
{
    int depth = 0;
    for (Edr_Doc *d = doc; d; d = d->parent, depth++) {
        if (depth >= kMaxFrameDepth)
            return true;
        Url *url = nullptr;
        bool same = Edr_Doc_getUrl(d, &url) == Res_ok && url &&
                    Url_compare(url, source, kWithoutFragment) == 0;
        Url_free(url);
        if (same)
            return true;
    }
    return false;
}

} // namespace

int Html_createSubdocument(EngineContext *context, Edr_Doc *doc, int32_t kind, Edr_Node *node,
                           int32_t width, int32_t height, int32_t marginHeight, int32_t marginWidth,
                           int32_t, const Url *source)
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
        err = Edr_Node_createSubdoc(doc, node, Edr_Insert_lastChild, nullptr, child, identity, 0,
                                    kind);
    // The source loads into the new document (the link names it, not the
    // top-level one) with the frame record; a frame without one stays
    // empty, and so does one that would show a page around it again.
    if (err == Res_ok && source && !recursive(doc, source)) {
        Link target;
        err = Link_resolveTarget(child, &target);
        Url *copy = err ? nullptr : Url_copy(source);
        Obj *record = err ? nullptr : frameRecord(width, height, marginHeight, marginWidth);
        if (copy && record) {
            err = Edr_Doc_followUrl(context, child, copy, &target, Edr_Follow_keepDocUrl, record);
        } else if (!err) {
            Url_free(copy);
            Obj_finalizeFree(&record);
            err = Res_noMemory;
        }
        Link_release(&target);
    }
    Edr_Doc_release(child);
    return err;
}
