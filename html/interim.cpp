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
#include "html/web/httpcache.h"
#include "html/web/httpdate.h"
#include "html/web/mime.h"
#include "platform/vfs/memfile.h"
#include "platform/vfs/vfs.h"


// ------------------------------------------------------- stream types

// Interim: no MIME archive exists before the MIME module, so no part can
// be found.
int MimeStream_open(VfsHandle *, const Url *, uint32_t, uint32_t *accepted, EngineContext *)
{
    *accepted = 0;
    return Res_fileCannotOpen;
}

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

// Interim: no handler object belongs to the MIME module yet.
int Mime_claimsHandler(const UrlHandler *)
{
    return 0;
}

// Interim: the MIME module keeps no state.
int Mime_moduleInit(EngineContext *)
{
    return Res_ok;
}

void Mime_moduleFini(EngineContext *) {}

// Interim: the open and the Mem type's operations; the archive queries
// (slots 22 and 23) come with the MIME module.
const VfsTypeOps VfsMimeOps = {
    "Mime",             // name
    0,                  // flags
    nullptr,            // 2
    MimeStream_open,    // 3
    MemFile_close,      // 4
    MemFile_getReadBuf, // 5
    MemFile_readDone,   // 6
    nullptr,            // 7
    nullptr,            // 8
    nullptr,            // 9
    nullptr,            // 10
    MemFile_tell,       // 11
    MemFile_seek,       // 12
    MemFile_getInfo,    // 13
};

// Interim: there is no HTTP cache yet, so no Cache stream can be made.
int HttpCache_openStream(VfsHandle *, const Url *, uint32_t, uint32_t *accepted, EngineContext *,
                         uintptr_t)
{
    *accepted = 0;
    return Res_notImplemented;
}

// Interim: nothing to install before the cache exists.
int HttpCache_install(EngineContext *)
{
    return Res_ok;
}

void HttpCache_uninstall(EngineContext *) {}

// Interim: the name and the reader operations; no handle ever becomes a
// Cache stream yet.
const VfsTypeOps VfsCacheOps = {
    .name = "Cache",
    .flags = 0,
    .subscribe = HttpCacheHandle_setNotify,    // 27
    .getLength32 = HttpCacheHandle_available,  // 28
    .events = HttpCacheHandle_events,          // 29
};

// Interim: the HTTP cache's entry operations, as its entries will answer.
namespace {
int entryAvailable(HttpCacheEntry *entry, uint32_t *count)
{
    *count = uint32_t(entry->totalLength);
    return entry->totalLength ? Res_ok : Res_fileSize;
}
uint32_t entryEvents(HttpCacheEntry *)
{
    return 15;
}
} // namespace
const HttpCacheEntryOps HttpCache_entryOps = {entryAvailable, entryEvents};

// Interim: the web layer keeps no display, browsing or form settings
// before it is built.
int Web_initDisplaySettings(EngineContext *)
{
    return Res_ok;
}

void Web_freeDisplaySettings(EngineContext *)
{
}

int Web_initBrowsing(EngineContext *, const char *, int, int32_t)
{
    return Res_ok;
}

void Web_freeBrowsing(EngineContext *)
{
}

int History_initModule(EngineContext *)
{
    return Res_ok;
}

void History_freeModule(EngineContext *)
{
}

// Interim: local time is the time plus the engine's zone offset; the
// engine never applies daylight saving.
void Date_toLocalParts(BrokenTime *out, int64_t time)
{
    if (out)
        Time_gmtime(time + Time_zoneOffset(), out);
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
