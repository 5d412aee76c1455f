// "about:" URLs as streams: the About stream type.
//
// Built-in pages are looked up by the URL's path, compared ignoring case
// ("about:Blank" is "about:blank"). A stream keeps only its position;
// the bytes stay in the constant page table.
#include "graphics/aboutstream.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "platform/url/url.h"
#include "platform/vfs/memfile.h"
#include "platform/vfs/vfs.h"

namespace {

struct AboutPage {
    const char *name;
    const char *content;
    size_t length;
    const char16_t *mime;
    uint32_t mimeId;
};

constexpr AboutPage aboutPages[] = {
    {"blank", "", 0, u"text/html", 11},
};

struct AboutStream {
    const AboutPage *page;
    size_t position;
    uint64_t size; // answered by info code 0
};

AboutStream *recordOf(VfsHandle *h)
{
    return h ? static_cast<AboutStream *>(h->priv) : nullptr;
}

bool isLent(const VfsHandle *h)
{
    return (h->mode & Vfs_modeLent) != 0;
}

const AboutPage *findPage(const char16_t *name)
{
    if (!name)
        return nullptr;
    for (const AboutPage &p : aboutPages) {
        if (Ustr_icmpCstr(name, p.name) == 0)
            return &p;
    }
    return nullptr;
}

} // namespace

const VfsTypeOps VfsAboutOps = {
    .name = "About",
    .flags = 0,
    .open = AboutStream_open,             // 3
    .close = AboutStream_close,           // 4
    .getReadBuf = AboutStream_getReadBuf, // 5
    .readDone = AboutStream_readDone,     // 6
    .tell = AboutStream_tell,             // 11
    .getInfo = AboutStream_getInfo,       // 13
};

int AboutStream_open(EngineContext *ctx, VfsHandle *handle, const Url *url, uint32_t mode,
                     uint32_t *accepted)
{
    *accepted = 0;
    if (!handle || !url)
        return Res_missingArgument;
    if ((mode & Vfs_modeAccessMask) != Vfs_modeRead)
        return Res_vfsNotAvailable;
    const AboutPage *page = findPage(url->path);
    if (!page)
        return Res_fileCannotOpen;
    AboutStream *s = static_cast<AboutStream *>(Mem_calloc(1, sizeof(AboutStream)));
    if (!s)
        return Res_noMemory;
    s->page = page;
    s->size = page->length;
    handle->priv = s;
    handle->ctx = ctx;
    handle->mime = page->mime;
    handle->mimeId = page->mimeId;
    *accepted = Vfs_modeRead;
    return Res_ok;
}

int AboutStream_close(VfsHandle *handle)
{
    AboutStream *s = recordOf(handle);
    if (!s)
        return Res_ok;
    int r = isLent(handle) ? Res_vfsBufferLent : Res_ok;
    handle->mode &= ~uint32_t(Vfs_modeLent);
    Mem_free(s);
    handle->priv = nullptr;
    return r;
}

int AboutStream_getReadBuf(VfsHandle *handle, size_t, const uint8_t **ptr, size_t *len)
{
    *ptr = nullptr;
    *len = 0;
    AboutStream *s = recordOf(handle);
    if (!s)
        return Res_missingArgument;
    return MemFile_lendBytes(handle, reinterpret_cast<const uint8_t *>(s->page->content),
                             s->page->length, s->position, ptr, len);
}

int AboutStream_readDone(VfsHandle *handle, size_t n)
{
    AboutStream *s = recordOf(handle);
    if (!s)
        return Res_vfsNothingLent;
    return MemFile_endLending(handle, s->page->length, &s->position, n);
}

int AboutStream_tell(VfsHandle *handle, uint64_t *position)
{
    *position = 0;
    AboutStream *s = recordOf(handle);
    if (!s)
        return Res_missingArgument;
    return MemFile_tellPosition(handle, s->position, position);
}

int AboutStream_getInfo(VfsHandle *handle, uint32_t code, uintptr_t *value)
{
    *value = 0;
    AboutStream *s = recordOf(handle);
    if (!s)
        return Res_missingArgument;
    switch (code) {
    case VfsInfo_size: *value = reinterpret_cast<uintptr_t>(&s->size); return Res_ok;
    case VfsInfo_mime: *value = reinterpret_cast<uintptr_t>(s->page->mime); return Res_ok;
    case VfsInfo_mimeId: *value = s->page->mimeId; return Res_ok;
    default: return Res_vfsInfoUnknown;
    }
}
