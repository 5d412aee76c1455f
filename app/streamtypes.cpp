// The engine's stream types, each registered with the module that owns it.
#include "app/streamtypes.h"

#include "core/result.h"
#include "graphics/aboutstream.h"
#include "html/web/httpcache.h"
#include "html/web/mime.h"
#include "office/zip/zipvfs.h"
#include "platform/vfs/vfs.h"

int App_registerStreamTypes(EngineContext *context)
{
    const VfsTypeEntry about = {&VfsAboutOps, nullptr, nullptr, nullptr, nullptr};
    const VfsTypeEntry zip = {&VfsZipOps, nullptr, nullptr, nullptr, nullptr};
    const VfsTypeEntry mime = {&VfsMimeOps, Mime_moduleInit, Mime_moduleFini, Mime_claimsHandler,
                               nullptr};
    const VfsTypeEntry cache = {&VfsCacheOps, HttpCache_install, HttpCache_uninstall, nullptr,
                                HttpCache_openStream};
    int r = Vfs_registerType(context, VfsType_about, &about);
    if (r == Res_ok)
        r = Vfs_registerType(context, VfsType_zvfs, &zip);
    if (r == Res_ok)
        r = Vfs_registerType(context, VfsType_mime, &mime);
    if (r == Res_ok)
        r = Vfs_registerType(context, VfsType_cache, &cache);
    return r;
}
