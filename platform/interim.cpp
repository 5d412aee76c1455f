// Interim definitions of platform services whose modules are not built yet.
#include "platform/vfs/vfs.h"

// Interim: the extension table is not built yet, so every file answers the
// default type "application/octet-stream" (id 36), cached in the handle.
int Vfs_fileMimeInfo(VfsHandle *handle, const char16_t **mime, uint32_t *id)
{
    *mime = u"application/octet-stream";
    *id = 36;
    if (handle) {
        handle->mime = *mime;
        handle->mimeId = *id;
    }
    return 0;
}
