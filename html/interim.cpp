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
