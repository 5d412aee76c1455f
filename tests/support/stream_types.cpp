#include "tests/support/stream_types.h"

#include "core/result.h"
#include "graphics/aboutstream.h"
#include "html/web/httpcache.h"
#include "html/web/mime.h"
#include "office/zip/zipvfs.h"
#include "platform/vfs/vfs.h"

bool TestSupport_registerStreamTypes(EngineContext *ctx)
{
    const VfsTypeEntry about = {&VfsAboutOps, nullptr, nullptr, nullptr, nullptr};
    const VfsTypeEntry zip = {&VfsZipOps, nullptr, nullptr, nullptr, nullptr};
    const VfsTypeEntry mime = {&VfsMimeOps, nullptr, nullptr, Mime_claimsHandler, nullptr};
    const VfsTypeEntry cache = {&VfsCacheOps, nullptr, nullptr, nullptr, HttpCache_openStream};
    return Vfs_registerType(ctx, VfsType_about, &about) == Res_ok &&
           Vfs_registerType(ctx, VfsType_zvfs, &zip) == Res_ok &&
           Vfs_registerType(ctx, VfsType_mime, &mime) == Res_ok &&
           Vfs_registerType(ctx, VfsType_cache, &cache) == Res_ok;
}
