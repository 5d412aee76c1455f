// The host's archive listing: directory entries in batches for its dialog.
//
// The entry points run on the host's GUI thread: they only copy and post a
// deferred call. On the application thread the listing is an ordinary
// stream of the stream layer opened for listing (access mode 8), so a
// folder inside a zip archive lists through the zip stream type and a
// plain directory through the file driver. Each entry found is opened once
// more to tell a folder (it lists) from a file (its size and info word 4).
// Every answer is a host request (0x18000 to 0x18003); a call the queue
// discards answers as a failure, so the host never waits for nothing.
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset.h"
#include "core/text/ustr.h"
#include "platform/api/appqueue.h"
#include "platform/api/editing.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"

namespace {

void freeRequest(ZipListRequest *request)
{
    if (!request)
        return;
    Mem_free(request->path);
    Mem_free(request);
}

EngineInstance *instanceOf(void *block)
{
    return reinterpret_cast<EngineInstance *>(static_cast<intptr_t *>(block)[1]);
}

ZipListRequest *requestOf(void *block)
{
    return reinterpret_cast<ZipListRequest *>(static_cast<intptr_t *>(block)[3]);
}

// Completions of calls that never ran.
void discardOpen(void *block)
{
    freeRequest(requestOf(block));
    App_sendRequest(instanceOf(block), App_requestListFailed, nullptr);
}

void discardNext(void *block)
{
    App_sendRequest(instanceOf(block), App_requestListFailed, nullptr);
}

void discardClose(void *block)
{
    ZipListRequest *request = requestOf(block);
    if (request)
        (void)Vfs_close(request->stream);
    freeRequest(request);
}

// Appends src to text (freed when memory runs out; null text stays null).
char16_t *append(char16_t *text, const char16_t *src)
{
    if (!text)
        return nullptr;
    char16_t *joined = Ustr_appendDup(text, src);
    if (!joined)
        Mem_free(text);
    return joined;
}

// 1 when the last part of the path (after its last "/") holds a wildcard.
bool isPattern(const char16_t *path)
{
    const char16_t *slash = Ustr_rchr(path, u'/');
    const char16_t *last = slash ? slash + 1 : path;
    return Ustr_chr(last, u'*') || Ustr_chr(last, u'?');
}

// A copy of the path up to its last "/" (kept), or null.
char16_t *patternFolder(const char16_t *path)
{
    const char16_t *slash = Ustr_rchr(path, u'/');
    return slash ? Ustr_dupN(path, size_t(slash - path) + 1) : Ustr_dup(u"./");
}

// The entry for name in the listed directory: a folder when it lists,
// else its size and info word 4 when it opens for reading. 0; 1; the
// URL's or the name's conversion error.
int makeEntry(EngineInstance *instance, const ZipListRequest *request, const char16_t *name,
              ZipEntryInfo **out)
{
    *out = nullptr;
    EngineContext *ctx = instance->context;
    // A listing given as a pattern ("dir/*", the file driver's way of
    // listing a disk folder) names its entries in the folder before the
    // pattern, and a folder among them lists as "folder/*": a pattern of
    // the entry's own name would list the entry itself, file or not.
    // Archive folders are given as they are and list as they are.
    bool pattern = isPattern(request->path);
    char16_t *dir = pattern ? patternFolder(request->path) : Ustr_dup(request->path);
    size_t n = dir ? Ustr_len(dir) : 0;
    bool slash = n > 0 && dir[n - 1] == u'/';
    char16_t *full = append(append(dir, slash ? u"" : u"/"), name);
    char16_t *listText = pattern && full ? append(Ustr_dup(full), u"/*") : nullptr;
    if (!full || (pattern && !listText)) {
        Mem_free(full);
        Mem_free(listText);
        return Res_noMemory;
    }
    Url *url = nullptr, *listUrl = nullptr;
    int r = Url_newFromUserUstr(full, &url, 1);
    if (r == Res_ok && pattern)
        r = Url_newFromUserUstr(listText, &listUrl, 1);
    Mem_free(full);
    Mem_free(listText);
    if (r != Res_ok) {
        Url_free(url);
        return r;
    }
    ZipEntryInfo *entry = static_cast<ZipEntryInfo *>(Mem_calloc(1, sizeof(ZipEntryInfo)));
    if (!entry) {
        Url_free(url);
        Url_free(listUrl);
        return Res_noMemory;
    }
    VfsHandle *stream = nullptr;
    uint32_t accepted = 0;
    if (Vfs_open(ctx, listUrl ? listUrl : url, Vfs_modeList, &stream, &accepted) == Res_ok) {
        entry->isDirectory = 1;
    } else if (Vfs_open(ctx, url, Vfs_modeRead, &stream, &accepted) == Res_ok) {
        uintptr_t value = 0;
        if (Vfs_getInfo(stream, VfsInfo_size, &value) == Res_ok && value)
            entry->size = *reinterpret_cast<const uint64_t *>(value);
        if (Vfs_getInfo(stream, VfsInfo_modTime, &value) == Res_ok)
            entry->info4 = uint32_t(value);
    }
    (void)Vfs_close(stream);
    Url_free(url);
    Url_free(listUrl);
    r = Charset_fromUstr(nullptr, name, &entry->name, CharsetCode_utf8);
    if (r != Res_ok) {
        Mem_free(entry);
        return r;
    }
    *out = entry;
    return Res_ok;
}

} // namespace

int ZipList_open(EngineInstance *instance, const char *path)
{
    if (!instance || !path)
        return 0;
    ZipListRequest *request = static_cast<ZipListRequest *>(Mem_calloc(1, sizeof(ZipListRequest)));
    if (!request)
        return 0;
    if (Charset_toUstr(nullptr, path, &request->path, CharsetCode_utf8) != Res_ok) {
        Mem_free(request);
        return 0;
    }
    return App_postCallHeld(instance, ZipList_runOpen, request, discardOpen) == 0 ? 1 : 0;
}

int ZipList_next(EngineInstance *instance, ZipListRequest *request, int32_t batchSize)
{
    if (!instance || !request || batchSize < 1)
        return 0;
    request->batchSize = batchSize;
    return App_postCallHeld(instance, ZipList_runNext, request, discardNext) == 0 ? 1 : 0;
}

int ZipList_close(EngineInstance *instance, ZipListRequest *request)
{
    if (!instance || !request)
        return 0;
    return App_postCallHeld(instance, ZipList_runClose, request, discardClose) == 0 ? 1 : 0;
}

int ZipList_free(ZipEntryList *list)
{
    if (!list)
        return 1;
    for (int32_t i = 0; list->entries && i < list->count; i++) {
        if (list->entries[i])
            Mem_free(list->entries[i]->name);
        Mem_free(list->entries[i]);
    }
    Mem_free(list->entries);
    Mem_free(list);
    return 1;
}

void ZipList_runOpen(EngineInstance *instance, void *argument)
{
    ZipListRequest *request = static_cast<ZipListRequest *>(argument);
    Url *url = nullptr;
    int r = Url_newFromUserUstr(request->path, &url, 1);
    VfsHandle *stream = nullptr;
    uint32_t accepted = 0;
    if (r == Res_ok)
        r = Vfs_open(instance->context, url, Vfs_modeList, &stream, &accepted);
    Url_free(url);
    if (r != Res_ok) {
        freeRequest(request);
        App_sendRequest(instance, App_requestListFailed, nullptr);
        return;
    }
    request->stream = stream;
    request->pathLength = int32_t(Ustr_len(request->path));
    App_sendRequest(instance, App_requestListOpened, request);
}

void ZipList_runNext(EngineInstance *instance, void *argument)
{
    ZipListRequest *request = static_cast<ZipListRequest *>(argument);
    int32_t batch = request->batchSize;
    ZipEntryList *list = static_cast<ZipEntryList *>(Mem_calloc(1, sizeof(ZipEntryList)));
    if (list)
        list->entries =
            static_cast<ZipEntryInfo **>(Mem_calloc(size_t(batch), sizeof(ZipEntryInfo *)));
    if (!list || !list->entries) {
        ZipList_free(list);
        App_sendRequest(instance, App_requestListFailed, nullptr);
        return;
    }
    list->request = request;
    bool failed = false;
    while (list->count < batch) {
        const char16_t *name = nullptr;
        if (Vfs_readDir(request->stream, &name) != Res_ok) {
            // A listing error before any entry is a failure: the host
            // would otherwise ask again forever. After some entries they
            // go out, and the next batch meets the error again.
            failed = list->count == 0;
            break;
        }
        if (!name) {
            if (list->count == 0) {
                App_sendRequest(instance, App_requestListEnd, list);
                return;
            }
            break;
        }
        if (Ustr_cmp(name, u".") == 0 || Ustr_cmp(name, u"..") == 0)
            continue;
        ZipEntryInfo *entry = nullptr;
        if (makeEntry(instance, request, name, &entry) != Res_ok) {
            failed = true;
            break;
        }
        list->entries[list->count++] = entry;
    }
    if (failed) {
        (void)Vfs_close(request->stream);
        request->stream = nullptr;
        ZipList_free(list);
        App_sendRequest(instance, App_requestListFailed, nullptr);
        return;
    }
    App_sendRequest(instance, App_requestListEntries, list);
}

void ZipList_runClose(EngineInstance *, void *argument)
{
    ZipListRequest *request = static_cast<ZipListRequest *>(argument);
    (void)Vfs_close(request->stream);
    freeRequest(request);
}
