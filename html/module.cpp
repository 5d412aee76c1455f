// The web layer's module steps at engine start-up and teardown
// (html/module.h, html/history.h), and the application's URL-mapping hook
// (html/docweb.h).
#include "core/result.h"
#include "html/docweb.h"
#include "html/history.h"
#include "html/module.h"
#include "html/web/cookie.h"

// The web layer reads its display settings (link colours, fonts, images
// on or off) from the configuration store when it lays a page out, and the
// store watches them itself, so there is no record to make here.
int Web_initDisplaySettings(EngineContext *)
{
    return Res_ok;
}

void Web_freeDisplaySettings(EngineContext *) {}

// Of the browsing settings the cookie store is the one that lives with the
// engine: it is opened here from the settings (html/web/cookie.h) and
// written back and closed at teardown. The directory, flag and mode the
// start-up passes are not needed: the store reads where its file lives
// from the settings itself.
int Web_initBrowsing(EngineContext *context, const char *, int, int32_t)
{
    return CookieStore_open(context);
}

void Web_freeBrowsing(EngineContext *context)
{
    CookieStore_close(context);
}

// The session history belongs to each browsing view (html/web/sessionhistory.h)
// and is made with it, so the module step keeps nothing of its own.
int History_initModule(EngineContext *)
{
    return Res_ok;
}

void History_freeModule(EngineContext *) {}

// The host interface offers the application no URL-mapping hook: a link's
// URL is used as the document gives it, so there is never a hook to ask.
int Url_mapHookPresent(EngineContext *)
{
    return 0;
}

int Url_mapHook(EngineContext *, const Url *, int *flag)
{
    *flag = 0;
    return 0;
}
