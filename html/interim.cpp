// Interim definitions of web-layer services whose modules are not built
// yet. Each does the least its callers need and says so.
#include "core/mem/mem.h"
#include "core/result.h"
#include "document/interim.h"
#include "document/types/doctype.h"
#include "html/history.h"
#include "html/module.h"
#include "platform/api/appqueue.h"
#include "platform/api/engine.h"
#include "platform/url/url.h"
#include "core/time/date.h"
#include "html/web/cookie.h"
#include "html/web/httpcache.h"
#include "html/web/mime.h"
#include "platform/vfs/memfile.h"
#include "platform/vfs/vfs.h"


// Interim document services of the web layer.
#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/node.h"
#include "document/edr/doc.h"
#include "graphics/image.h"
#include "html/docweb.h"
#include "platform/api/request.h"


// Interim: no form records exist before the web layer; controls belong
// to no form and have no values.
int Form_registerControl(Edr_Node *)
{
    return 0;
}

int Form_unregisterControl(Edr_Doc *, Edr_Node *)
{
    return 0;
}

void Form_dropControl(Edr_Doc *, Edr_Node *)
{
}

void Form_releaseControl(void *)
{
}

void Form_freeValue(void *)
{
}

int Form_setValue(Edr_Node *, void *)
{
    return 0;
}

int Form_findOwner(Edr_Doc *doc, Edr_Node *node, Edr_Node **form)
{
    *form = nullptr;
    for (Edr_Node *p = node ? Edr_Node_parent(node) : nullptr; p; p = Edr_Node_parent(p)) {
        if (Edr_Node_type(p) == Edr_NodeType_group && Edr_Node_group(p)->element == 47) {
            int err = Edr_Node_addRefLocked(doc, p);
            if (!err)
                *form = p;
            return err;
        }
    }
    return 0;
}


// Interim: no application has a URL-mapping hook yet.
int Url_mapHookPresent(EngineContext *)
{
    return 0;
}

int Url_mapHook(EngineContext *, const Url *, int *flag)
{
    *flag = 0;
    return 0;
}

// Interim: the Cache stream type's open and stream slots come with the
// cache's stream layer; no Cache stream can be made yet.
int HttpCache_openStream(VfsHandle *, const Url *, uint32_t, uint32_t *accepted, EngineContext *,
                         uintptr_t)
{
    *accepted = 0;
    return Res_notImplemented;
}

// Interim: the name and the reader operations; no handle ever becomes a
// Cache stream yet.
const VfsTypeOps VfsCacheOps = {
    .name = "Cache",
    .flags = 0,
    .subscribe = HttpCacheHandle_setNotify,    // 27
    .getLength32 = HttpCacheHandle_available,  // 28
    .events = HttpCacheHandle_events,          // 29
};

// Interim: the web layer keeps no display, browsing or form settings
// before it is built.
int Web_initDisplaySettings(EngineContext *)
{
    return Res_ok;
}

void Web_freeDisplaySettings(EngineContext *)
{
}

// Interim: of the browsing settings only the cookie store is kept so far.
int Web_initBrowsing(EngineContext *context, const char *, int, int32_t)
{
    return CookieStore_open(context);
}

void Web_freeBrowsing(EngineContext *context)
{
    CookieStore_close(context);
}

int History_initModule(EngineContext *)
{
    return Res_ok;
}

void History_freeModule(EngineContext *)
{
}

// ------------------------------------------------------- body sources

#include "office/zip/mimesrc.h"

// Interim: the body-source list is a bare locked record until the MIME
// reader fills such lists.
int Mime_srcListCreate(EngineContext *ctx, MimeSrcList **out)
{
    *out = static_cast<MimeSrcList *>(Mem_calloc(1, sizeof(MimeSrcList)));
    if (!*out)
        return Res_noMemory;
    int err = Lock_init(ctx, &(*out)->lock);
    if (err) {
        Mem_free(*out);
        *out = nullptr;
    }
    return err;
}

void Mime_srcListFree(MimeSrcList *list)
{
    if (!list)
        return;
    for (uint32_t i = 0; i < list->count; i++)
        Mime_srcFree(list->sources[i]);
    Mem_free(list->sources);
    Lock_fini(&list->lock);
    Mem_free(list);
}

// ------------------------------------------------------------ list boxes

#include "html/forms/listbox.h"

// Interim: the list box class is not registered yet, so no widget has a
// list box's data: every list operation answers 6656 and changes nothing,
// and each getter clears its out word.
int Form_listRegister(EngineContext *)
{
    return Res_ok;
}

void Form_listUnregister(EngineContext *) {}

int Form_listInsertOption(FormWidget *, FormWidget *, int32_t)
{
    return Res_formNoWidget;
}

int Form_listRemoveOption(FormWidget *, FormWidget *)
{
    return Res_formNoWidget;
}

int Form_listSetRows(FormWidget *, uint32_t)
{
    return Res_formNoWidget;
}

int Form_listGetAutoRows(FormWidget *, uint32_t *value)
{
    *value = 0;
    return Res_formNoWidget;
}

int Form_listGetCount(FormWidget *, uint16_t *count)
{
    *count = 0;
    return Res_formNoWidget;
}

int Form_listSetFlag(FormWidget *, uint32_t)
{
    return Res_formNoWidget;
}

int Form_listGetFlag(FormWidget *, uint32_t *value)
{
    *value = 0;
    return Res_formNoWidget;
}

// ------------------------------------------------ tree-building services

#include "html/plugin.h"

// Interim: no plug-in object exists before the object module.
int Plugin_begin(PluginState *)
{
    return Res_ok;
}

int Plugin_end(PluginState *)
{
    return Res_ok;
}

void Plugin_free(PluginState *) {}

// Interim: no control exists before the form controls, so there is no
// label or value to set.
int Form_ctlAppendLabel(void *, const char16_t *, size_t)
{
    return Res_ok;
}

int Form_ctlSetDefault(void *, const char16_t *, size_t)
{
    return Res_ok;
}


// Interim: nothing writes HTML back out before the serialiser; there is no
// text, as when the handler had no export.
int Html_serialise(Edr_Doc *, Edr_Node *, int, int, char16_t **out)
{
    *out = nullptr;
    return Res_ok;
}
