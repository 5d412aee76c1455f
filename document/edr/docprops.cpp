// Document properties: identity from the source stream, URLs and the base
// URL switch, the referrer and secure-leave questions, requests and URL
// properties, keyed and numbered groups, fonts and the importer callbacks.
//
// Getters take the tree read lock and hand out copies; setters take the
// write lock and free their copy when the lock cannot be had.
#include <cstring>

#include "core/config/config.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "core/task/eventproc.h"
#include "document/edr/docmsg.h"
#include "core/text/strtable.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/edr_internal.h"
#include "document/edr/node.h"
#include "document/edr/requests.h"
#include "document/manager/manager.h"
#include "document/types/translate.h"
#include "graphics/image.h"
#include "graphics/imagecodec.h"
#include "document/edr/loadprogress.h"
#include "document/edr/webops.h"
#include "platform/api/engine.h"
#include "platform/api/request.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"

using edr::group;
using edr::isGroup;

namespace {

void postCode(Edr_Doc *doc, int32_t code)
{
    EngineContext *app = doc->app;
    if (!app || !app->eventProc)
        return;
    EventProcCodeMsg m{code, doc, nullptr, 0};
    // A notice that cannot be posted is lost; what it reports is done either way.
    (void)EventProc_postCode(app->eventProc, &m);
}

// Copies n units (n 0: null) into a new string; *ok false when out of memory.
char16_t *dupN(const char16_t *chars, uint32_t n, bool *ok)
{
    *ok = true;
    if (!chars || !n)
        return nullptr;
    char16_t *s = Ustr_dupN(chars, n);
    *ok = s != nullptr;
    return s;
}

int copyString(Edr_Doc *doc, char16_t *const *field, char16_t **out)
{
    *out = nullptr;
    Edr_Doc_readLock(doc);
    int err = Res_ok;
    if (*field) {
        *out = Ustr_dup(*field);
        if (!*out)
            err = Res_noMemory;
    }
    Edr_Doc_readUnlock(doc);
    return err;
}

int setString(Edr_Doc *doc, char16_t **field, const char16_t *chars, uint32_t n)
{
    bool ok;
    char16_t *copy = dupN(chars, n, &ok);
    if (!ok)
        return Res_noMemory;
    int err = Edr_Doc_writeLock(doc);
    if (err) {
        Mem_free(copy);
        return err;
    }
    char16_t *old = *field;
    *field = copy;
    Edr_Doc_writeUnlock(doc);
    Mem_free(old);
    return Res_ok;
}

int copyUrl(Edr_Doc *doc, Url *const *field, Url **out)
{
    *out = nullptr;
    Edr_Doc_readLock(doc);
    int err = Res_ok;
    if (*field) {
        *out = Url_copy(*field);
        if (!*out)
            err = Res_noMemory;
    }
    Edr_Doc_readUnlock(doc);
    return err;
}

int setWord(Edr_Doc *doc, uint32_t *field, uint32_t value)
{
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    *field = value;
    Edr_Doc_writeUnlock(doc);
    return Res_ok;
}

uint32_t getWord(Edr_Doc *doc, const uint32_t *field)
{
    Edr_Doc_readLock(doc);
    uint32_t v = *field;
    Edr_Doc_readUnlock(doc);
    return v;
}

// The base for resolution: baseUrl, else url (lent; read lock held).
const Url *baseOf(const Edr_Doc *doc)
{
    return doc->baseUrl ? doc->baseUrl : doc->url;
}

// Rewrites a group's URL as absolute against base (no locking).
struct Rebase {
    const Url *base;
    EngineContext *app;
};

int rebaseGroup(Edr_Node *node, int *, int *, void *context)
{
    Rebase *r = static_cast<Rebase *>(context);
    Edr_GroupExt *ext = group(node)->ext;
    if (!ext || !ext->url || !r->base)
        return 0;
    Url *url = Url_unpack(ext->url);
    if (!url)
        return Res_noMemory;
    Url *abs = Url_resolve(r->base, url);
    Url_free(url);
    if (!abs)
        return Res_noMemory;
    UrlPacked *packed = Url_pack(abs);
    Url_free(abs);
    if (!packed)
        return Res_noMemory;
    Url_free(reinterpret_cast<Url *>(ext->url));
    ext->url = packed;
    return 0;
}

char *latin1(const Url *url)
{
    return url ? Url_toLatin1(url) : nullptr;
}

int findLink(Edr_Node *node, int *stop, int *, void *context)
{
    if (Edr_Node_hasUrl(node)) {
        *static_cast<int *>(context) = 1;
        *stop = 1;
    }
    return 0;
}

// The change notice of a document's requests.
int requestChanged(void *argument)
{
    return Edr_Mgr_queueChange(static_cast<Edr_Doc *>(argument));
}

} // namespace

// ------------------------------------------------------------------ URLs

int Edr_Doc_getUrl(Edr_Doc *doc, Url **out)
{
    return copyUrl(doc, &doc->url, out);
}

int Edr_Doc_setUrl(Edr_Doc *doc, const Url *url)
{
    Url *copy = nullptr;
    if (url && !(copy = Url_copy(url)))
        return Res_noMemory;
    int err = Edr_Doc_writeLock(doc);
    if (err) {
        Url_free(copy);
        return err;
    }
    Url *old = doc->url;
    doc->url = copy;
    Edr_Doc_writeUnlock(doc);
    Url_free(old);
    return Res_ok;
}

int Edr_Doc_setUrlFromStream(Edr_Doc *doc, VfsHandle *stream)
{
    Url *url = nullptr;
    (void)Vfs_getUrl(stream, &url);
    return Edr_Doc_setUrl(doc, url);
}

int Edr_Doc_getBaseUrl(Edr_Doc *doc, Url **out)
{
    *out = nullptr;
    Edr_Doc_readLock(doc);
    const Url *base = baseOf(doc);
    int err = Res_noMemory;
    if (base) {
        *out = Url_copy(base);
        err = *out ? int(Res_ok) : int(Res_noMemory);
    }
    Edr_Doc_readUnlock(doc);
    return err;
}

int Edr_Doc_setBaseUrl(Edr_Doc *doc, const Url *url)
{
    Url *copy = nullptr;
    if (url && !(copy = Url_copy(url)))
        return Res_noMemory;
    int err = Edr_Doc_writeLock(doc);
    if (err) {
        Url_free(copy);
        return err;
    }
    Rebase r{baseOf(doc), doc->app};
    err = Edr_Node_walk(rebaseGroup, nullptr, &r, 1, doc->root);
    Url *old = nullptr;
    if (!err) {
        old = doc->baseUrl;
        doc->baseUrl = copy;
        copy = nullptr;
    }
    Edr_Doc_writeUnlock(doc);
    Url_free(old);
    Url_free(copy);
    return err;
}

int Edr_Doc_resolveUrl(Edr_Doc *doc, const char16_t *relative, Url **out)
{
    *out = nullptr;
    Edr_Doc_readLock(doc);
    const Url *base = baseOf(doc);
    *out = base ? Url_resolveText(doc->app, relative, base) : Url_new(relative);
    Edr_Doc_readUnlock(doc);
    return *out ? int(Res_ok) : int(Res_noMemory);
}

// --------------------------------------------------------------- identity

int Edr_Doc_getMimeType(Edr_Doc *doc, char16_t **out, uint32_t *id)
{
    if (out)
        *out = nullptr;
    Edr_Doc_readLock(doc);
    int err = Res_ok;
    if (out && doc->mimeType && !(*out = Ustr_dup(doc->mimeType)))
        err = Res_noMemory;
    if (id)
        *id = doc->mimeId;
    Edr_Doc_readUnlock(doc);
    return err;
}

int Edr_Doc_setMimeType(Edr_Doc *doc, const char16_t *mime, uint32_t id)
{
    char16_t *copy = nullptr;
    if (mime && !(copy = Ustr_dup(mime)))
        return Res_noMemory;
    int err = Edr_Doc_writeLock(doc);
    if (err) {
        Mem_free(copy);
        return err;
    }
    char16_t *old = doc->mimeType;
    doc->mimeType = copy;
    doc->mimeId = id;
    Edr_Doc_writeUnlock(doc);
    Mem_free(old);
    postCode(doc, DocMsg_codeMimeTypeSet);
    return Res_ok;
}

uint32_t Edr_Doc_getTypeCodeLocked(Edr_Doc *doc)
{
    return getWord(doc, &doc->typeCode);
}

int Edr_Doc_setTypeCode(Edr_Doc *doc, uint32_t code)
{
    return setWord(doc, &doc->typeCode, code);
}

void Edr_SourceDetails_free(Edr_SourceDetails *info)
{
    if (!info)
        return;
    for (char16_t *s : info->strings)
        Mem_free(s);
    Mem_free(info);
}

namespace {

Edr_SourceDetails *copyDetails(const char16_t *const strings[4], const uint32_t words[2])
{
    Edr_SourceDetails *c =
        static_cast<Edr_SourceDetails *>(Mem_calloc(1, sizeof(Edr_SourceDetails)));
    if (!c)
        return nullptr;
    for (int i = 0; i < 4; i++) {
        if (strings[i] && !(c->strings[i] = Ustr_dup(strings[i]))) {
            Edr_SourceDetails_free(c);
            return nullptr;
        }
    }
    c->words[0] = words[0];
    c->words[1] = words[1];
    return c;
}

} // namespace

namespace {

// True when a stream information error only says the stream lacks it.
bool infoMissing(int err)
{
    return err == Res_vfsNotAvailable || err == Res_vfsInfoUnknown;
}

} // namespace

int Edr_Doc_setupFromStream(Edr_Doc *doc, VfsHandle *stream)
{
    uint64_t size = 0;
    int32_t word4 = -1;
    const char16_t *mime = nullptr;
    bool haveSize = false, haveWord4 = false, haveMime = false;
    uint32_t code7 = 0;
    bool read7 = false;
    uintptr_t value = 0;
    int err = Vfs_getInfo(stream, VfsInfo_size, &value);
    if (!err && value) {
        size = *reinterpret_cast<const uint64_t *>(value);
        haveSize = true;
    } else if (err && !infoMissing(err)) {
        goto event;
    }
    err = Vfs_getInfo(stream, VfsInfo_modTime, &value);
    if (!err) {
        word4 = int32_t(value);
        haveWord4 = true;
    } else if (!infoMissing(err)) {
        goto event;
    }
    Edr_Doc_readLock(doc);
    haveMime = doc->mimeType != nullptr;
    Edr_Doc_readUnlock(doc);
    if (!haveMime) {
        err = Vfs_getInfo(stream, VfsInfo_mime, &value);
        if (!err)
            mime = reinterpret_cast<const char16_t *>(value);
        else if (!infoMissing(err))
            goto event;
    }
    {
        char16_t *mimeCopy = nullptr;
        if (mime && !(mimeCopy = Ustr_dup(mime)))
            return Res_noMemory;
        err = Edr_Doc_writeLock(doc);
        if (err) {
            Mem_free(mimeCopy);
            return err;
        }
        doc->sourceSize = haveSize ? size : 0;
        if (mimeCopy) {
            Mem_free(doc->mimeType);
            doc->mimeType = mimeCopy;
            doc->mimeId = Mime_typeFromString(mimeCopy, Ustr_len(mimeCopy));
        }
        doc->sourceWord = haveWord4 ? word4 : -1;
        Edr_Doc_writeUnlock(doc);
    }
    if (Vfs_getTypeFlags(doc->app, doc->url)) {
        if (Vfs_getInfo(stream, VfsInfo_code7, &value) == 0) {
            code7 = uint32_t(value);
            read7 = true;
            Edr_SourceDetails *copy = nullptr;
            if (code7) {
                if (Vfs_getInfo(stream, VfsInfo_code8, &value) == 0 && value) {
                    const VfsInfo8 *info = reinterpret_cast<const VfsInfo8 *>(value);
                    copy = copyDetails(info->strings, info->words);
                }
            }
            Edr_Doc_writeLockWait(doc);
            doc->sourceLoadState = code7;
            Edr_SourceDetails *old = doc->sourceDetails;
            if (copy || !code7)
                doc->sourceDetails = copy;
            else
                old = nullptr;
            Edr_Doc_writeUnlock(doc);
            Edr_SourceDetails_free(old);
        }
    }
    err = Res_ok;
event:
    // Load-state event: 41 without a code-7 answer (or 0), 39 for 1, 40 for
    // 2; a value above 2 posts nothing.
    if (!read7 || code7 == 0)
        postCode(doc, 41);
    else if (code7 == 1)
        postCode(doc, 39);
    else if (code7 == 2)
        postCode(doc, 40);
    return err;
}

int Edr_Doc_setTargetName(Edr_Doc *doc, const char16_t *chars, uint32_t n)
{
    return setString(doc, &doc->targetName, chars, n);
}

int Edr_Doc_copyTargetName(Edr_Doc *doc, char16_t **out)
{
    return copyString(doc, &doc->targetName, out);
}

int Edr_Doc_setAuxText(Edr_Doc *doc, const char16_t *chars, uint32_t n)
{
    return setString(doc, &doc->auxText, chars, n);
}

int Edr_Doc_copyAuxText(Edr_Doc *doc, char16_t **out)
{
    return copyString(doc, &doc->auxText, out);
}

int Edr_Doc_setCharset(Edr_Doc *doc, uint32_t charset)
{
    return setWord(doc, &doc->charset, charset);
}

uint32_t Edr_Doc_getCharset(Edr_Doc *doc)
{
    return getWord(doc, &doc->charset);
}

// ----------------------------------------------------------- name table

int Edr_Doc_setStringTable(Edr_Doc *doc, StrTable *table)
{
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    StrTable *old = doc->strings;
    doc->strings = table;
    Edr_Doc_writeUnlock(doc);
    if (old != table)
        StrTable_destroy(old);
    return Res_ok;
}

int Edr_Doc_internString(Edr_Doc *doc, const char16_t *chars, uint32_t n, uint32_t *id)
{
    *id = 0;
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    if (doc->strings && chars)
        *id = StrTable_internN(doc->strings, chars, n);
    Edr_Doc_writeUnlock(doc);
    return *id ? int(Res_ok) : int(Res_noMemory);
}

int Edr_Doc_internStringZ(Edr_Doc *doc, const char16_t *chars, uint32_t *id)
{
    return Edr_Doc_internString(doc, chars, chars ? uint32_t(Ustr_len(chars)) : 0, id);
}

int Edr_Doc_lookupString(Edr_Doc *doc, uint32_t id, char16_t **out)
{
    *out = nullptr;
    if (!id)
        return Res_ok;
    Edr_Doc_readLock(doc);
    int err = Res_ok;
    if (doc->strings && id <= StrTable_maxId)
        *out = StrTable_getName(doc->strings, uint16_t(id));
    Edr_Doc_readUnlock(doc);
    return err;
}

// -------------------------------------------------------------- words

uint32_t Edr_Doc_getStartFlag(Edr_Doc *doc)
{
    return getWord(doc, &doc->startFlag);
}

int Edr_Doc_setStartFlag(Edr_Doc *doc)
{
    return setWord(doc, &doc->startFlag, 1);
}

int Edr_Doc_clearStartFlag(Edr_Doc *doc)
{
    return setWord(doc, &doc->startFlag, 0);
}

int Edr_Doc_setMode(Edr_Doc *doc, uint32_t mode)
{
    return setWord(doc, &doc->mode, mode);
}

uint32_t Edr_Doc_getMode(Edr_Doc *doc)
{
    return getWord(doc, &doc->mode);
}

uint32_t Edr_Doc_parentMarkFlag(Edr_Doc *doc)
{
    Edr_Doc_readLock(doc);
    Edr_Doc *parent = doc->parent;
    Edr_Doc_readUnlock(doc);
    return parent ? parent->markFlag : 1;
}

int Edr_Doc_markRootChild(Edr_Doc *doc, uint32_t index)
{
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    doc->selectedRootChild = index;
    Edr_Node *c = group(doc->root)->firstChild;
    for (uint32_t i = 0; c && i < index; i++)
        c = c->next;
    if (c)
        c->flags |= Edr_Node_selectedBit;
    Edr_Doc_writeUnlock(doc);
    return Res_ok;
}

int Edr_Doc_markPlaceholder(Edr_Doc *doc, uint32_t index, int count)
{
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    Edr_Node *c = group(doc->root)->firstChild;
    for (uint32_t i = 0; c && i < index; i++)
        c = c->next;
    if (c)
        c->flags |= Edr_Node_selectedBit;
    Edr_Doc_writeUnlock(doc);
    if (c && count)
        // A change whose pass cannot be scheduled now is retried by the next change.
        (void)Edr_Mgr_queueChange(doc);
    return Res_ok;
}

uint32_t Edr_Doc_getSelectedRootChild(Edr_Doc *doc)
{
    return getWord(doc, &doc->selectedRootChild);
}

namespace {

// Edr_Doc_dropPage's work on the page group c (null: nothing), under the
// write lock.
void dropChild(Edr_Doc *doc, Edr_Node *c, int drop)
{
    if (c) {
        if (drop && isGroup(c) && group(c)->firstChild) {
            Edr_Node *first = group(c)->firstChild;
            edr::unlinkRun(doc, first, nullptr);
            edr::appendUnlinked(doc, first);
        }
        Edr_Node_setDropped(c, drop);
        c->flags |= Edr_Node_selectedBit;
    }
}

} // namespace

int Edr_Doc_dropPage(Edr_Doc *doc, uint32_t index, int drop)
{
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    Edr_Node *c = group(doc->root)->firstChild;
    for (uint32_t i = 0; c && i < index; i++)
        c = c->next;
    dropChild(doc, c, drop);
    Edr_Doc_writeUnlock(doc);
    return Res_ok;
}

int Edr_Doc_dropPageNode(Edr_Doc *doc, Edr_Node *page, int drop)
{
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    dropChild(doc, page && Edr_Node_parent(page) == doc->root ? page : nullptr, drop);
    Edr_Doc_writeUnlock(doc);
    return Res_ok;
}

int Edr_Doc_setTranslateState(Edr_Doc *doc, uint32_t state)
{
    return setWord(doc, &doc->translateState, state);
}

uint32_t Edr_Doc_getTranslateState(Edr_Doc *doc)
{
    return getWord(doc, &doc->translateState);
}

int Edr_Doc_setHandler(Edr_Doc *doc, Edr_HandlerDesc *handler)
{
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    doc->handler = handler;
    Edr_Doc_writeUnlock(doc);
    return Res_ok;
}

Edr_HandlerDesc *Edr_Doc_getHandler(Edr_Doc *doc)
{
    Edr_Doc_readLock(doc);
    Edr_HandlerDesc *h = doc->handler;
    Edr_Doc_readUnlock(doc);
    return h;
}

void Edr_Doc_setLoaderData(Edr_Doc *doc, void *data)
{
    Edr_Doc_writeLockWait(doc);
    doc->loaderData = data;
    Edr_Doc_writeUnlock(doc);
}

void *Edr_Doc_getLoaderData(Edr_Doc *doc)
{
    Edr_Doc_readLock(doc);
    void *d = doc->loaderData;
    Edr_Doc_readUnlock(doc);
    return d;
}

void Edr_Doc_setSourceStream(Edr_Doc *doc, VfsHandle *stream)
{
    Lock_acquire(&doc->mutex);
    doc->sourceStream = stream;
    Lock_release(&doc->mutex);
}

void Edr_Doc_setLoadStats(Edr_Doc *doc, LoadProgress *stats)
{
    Edr_Doc_writeLockWait(doc);
    doc->loadStats = stats;
    Edr_Doc_writeUnlock(doc);
}

LoadProgress *Edr_Doc_getLoadStats(Edr_Doc *doc)
{
    Edr_Doc_readLock(doc);
    LoadProgress *s = doc->loadStats;
    Edr_Doc_readUnlock(doc);
    return s;
}

int Edr_Doc_chargeLoad(Edr_Doc *doc, uint32_t done, uint32_t total)
{
    if (!doc || !doc->loadStats)
        return Res_ok;
    int err = LoadProgress_addTotal(doc->loadStats, 4, int32_t(total));
    if (err)
        return err;
    return LoadProgress_addDone(doc->loadStats, 4, int32_t(done));
}

uint32_t Edr_Doc_getMarkFlagLocked(Edr_Doc *doc)
{
    return getWord(doc, &doc->markFlag);
}

void Edr_Doc_setMarkFlag(Edr_Doc *doc, uint32_t on)
{
    Edr_Doc_writeLockWait(doc);
    doc->markFlag = on;
    Edr_Doc_writeUnlock(doc);
}

void Edr_Doc_setStopFlag(Edr_Doc *doc)
{
    Edr_Doc_writeLockWait(doc);
    doc->stopFlag = 1;
    Edr_Doc_writeUnlock(doc);
}

uint32_t Edr_Doc_getStopFlag(Edr_Doc *doc)
{
    if (!doc)
        return 0;
    Edr_Doc_readLock(doc);
    uint32_t flag = doc->stopFlag;
    Edr_Doc_readUnlock(doc);
    return flag;
}

int Edr_Doc_orFeatureFlags(Edr_Doc *doc, uint32_t bits)
{
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    doc->featureFlags |= bits;
    Edr_Doc_writeUnlock(doc);
    return Res_ok;
}

int Edr_Doc_hasFeatureFlags(Edr_Doc *doc, uint32_t bits)
{
    return (getWord(doc, &doc->featureFlags) & bits) == bits;
}

int Edr_Doc_setFlags(Edr_Doc *doc, uint32_t bits)
{
    if (!doc)
        return Res_ok;
    return Edr_Doc_orFeatureFlags(doc, bits);
}

int Edr_Doc_testFlags(Edr_Doc *doc, uint32_t bits)
{
    if (!doc)
        return 0;
    return Edr_Doc_hasFeatureFlags(doc, bits);
}

// ------------------------------------------------------------- callbacks

void Edr_Doc_setCallbackA(Edr_Doc *doc, Edr_SaveFn fn)
{
    Edr_Doc_writeLockWait(doc);
    doc->callbackA = fn;
    Edr_Doc_writeUnlock(doc);
}

int Edr_Doc_callA(Edr_Doc *doc, const Url *target)
{
    Edr_Doc_readLock(doc);
    Edr_SaveFn fn = doc->callbackA;
    Edr_Doc_readUnlock(doc);
    return fn ? fn(doc, target) : int(Res_noSaveCallback);
}

int Edr_Doc_hasCallbackA(Edr_Doc *doc)
{
    Edr_Doc_readLock(doc);
    int r = doc->callbackA != nullptr;
    Edr_Doc_readUnlock(doc);
    return r;
}

void Edr_Doc_setNodeTest(Edr_Doc *doc, Edr_NodeTestFn fn)
{
    Edr_Doc_writeLockWait(doc);
    doc->nodeTest = fn;
    Edr_Doc_writeUnlock(doc);
}

int Edr_Doc_testNode(Edr_Doc *doc, intptr_t word, intptr_t *out)
{
    Edr_Doc_readLock(doc);
    int err = doc->nodeTest ? doc->nodeTest(doc, word, out) : int(Res_noNodeTest);
    Edr_Doc_readUnlock(doc);
    return err;
}

int Edr_Doc_hasNodeTest(Edr_Doc *doc)
{
    Edr_Doc_readLock(doc);
    int r = doc->nodeTest != nullptr;
    Edr_Doc_readUnlock(doc);
    return r;
}

void Edr_Doc_setAncestorTest(Edr_Doc *doc, Edr_AncestorTestFn fn)
{
    Edr_Doc_writeLockWait(doc);
    doc->ancestorTest = fn;
    Edr_Doc_writeUnlock(doc);
}

int Edr_Doc_testNodeChain(Edr_Doc *doc, Edr_Node *node, int *flag)
{
    Edr_Doc_readLock(doc);
    int err = Res_noAncestorTest;
    if (doc->ancestorTest) {
        *flag = 1;
        err = doc->ancestorTest(doc, node, flag);
        while (!err && *flag && node && node->parentNode) {
            Edr_Node *parent = node->parentNode;
            // A count at its maximum stays there and the node is never freed, so the reference
            // holds either way.
            (void)Edr_Node_addRefLocked(doc, parent);
            err = doc->ancestorTest(doc, parent, flag);
            Edr_Node_dropRefLocked(doc, parent);
            node = parent;
        }
    }
    Edr_Doc_readUnlock(doc);
    return err;
}

EngineContext *Edr_Doc_queryApp(Edr_Doc *doc)
{
    return doc ? doc->app : nullptr;
}

// --------------------------------------------------------------- parents

void Edr_Doc_getParentDoc(Edr_Doc *doc, Edr_Doc **out)
{
    *out = nullptr;
    Edr_Doc_readLock(doc);
    Edr_Doc *parent = doc->parent;
    Edr_Doc_readUnlock(doc);
    Edr_Doc_tryAddRef(parent, out);
}

void Edr_Doc_getParentView(Edr_Doc **out, Edr_Doc *doc)
{
    Edr_Doc_readLock(doc);
    Edr_Doc *parent = doc->parent;
    Edr_Doc_readUnlock(doc);
    Edr_Doc_getView(out, parent);
}

void Edr_Doc_findMarkedAncestor(Edr_Doc *doc, Edr_Doc **out)
{
    *out = nullptr;
    Edr_Doc *cur = nullptr;
    Edr_Doc_tryAddRef(doc, &cur);
    while (cur) {
        if (Edr_Doc_getMarkFlagLocked(cur)) {
            *out = cur;
            return;
        }
        Edr_Doc *parent = nullptr;
        Edr_Doc_getParentDoc(cur, &parent);
        Edr_Doc_release(cur);
        cur = parent;
    }
}

int Edr_Doc_hasLinks(Edr_Doc *doc, int *flag)
{
    *flag = 0;
    Edr_Doc_readLock(doc);
    int err = Edr_Node_walk(findLink, nullptr, flag, 1, doc->root);
    Edr_Doc_readUnlock(doc);
    return err;
}

int Edr_Doc_isPageOnDemand(Edr_Doc *doc)
{
    Edr_Doc_readLock(doc);
    int r = (doc->featureFlags & Edr_featurePageOnDemand) && doc->pageOnDemand;
    Edr_Doc_readUnlock(doc);
    return r;
}

int Edr_Doc_callImageHook(Edr_Doc *doc, void *cell, intptr_t a, intptr_t b)
{
    if (!doc)
        return 0;
    Lock_acquire(&doc->hookLock);
    int r = doc->imageHook ? doc->imageHook(doc->hookContext, cell, a, b) : 0;
    Lock_release(&doc->hookLock);
    return r;
}

int Edr_Doc_imagesEnabled(EngineContext *app)
{
    return Config_getIntA(app, app ? app->config : nullptr, u"Core", "EnableImages", 1) != 0;
}

uint32_t Edr_Doc_getSecureLeaveAnswer(Edr_Doc *doc)
{
    return getWord(doc, &doc->secureLeaveAnswer);
}

int Edr_Doc_setSecureLeaveAnswer(Edr_Doc *doc, uint32_t answer)
{
    return setWord(doc, &doc->secureLeaveAnswer, answer);
}

// ---------------------------------------------- referrer and secure leave

int Edr_Doc_referrerAllowed(Edr_Doc *doc, const Url *from, const Url *to)
{
    EngineContext *app = doc->app;
    if (!Vfs_getTypeFlags(app, from) || !Vfs_getTypeFlags(app, to) || Url_getClass(from) == 2)
        return 0;
    Edr_Doc_writeLockWait(doc);
    uint32_t policy = doc->referrerPolicy;
    Edr_Doc_writeUnlock(doc);
    if (policy == Edr_referrerUnread) {
        uint32_t setting =
            Config_getIntA(app, app->config, nullptr, "Vexlan_httpReferrerPolicy", 0);
        if (setting == 0) {
            policy = 0;
        } else if (setting == 2) {
            HostQuestion q{1, {latin1(from), latin1(to)}, 0};
            policy = 1;
            if (q.texts[0] && q.texts[1] && Edr_Web_askQuestion(app, app->eventProc, &q) == 0 &&
                q.answer == 1)
                policy = 0;
            Mem_free(q.texts[0]);
            Mem_free(q.texts[1]);
        } else {
            policy = 1;
        }
        Edr_Doc_writeLockWait(doc);
        doc->referrerPolicy = policy;
        Edr_Doc_writeUnlock(doc);
    }
    return policy == 0;
}

int Edr_Doc_confirmLeaveSecure(EngineContext *app, Edr_Doc *doc, const Url *target, int askAgain)
{
    Url *docUrl = nullptr;
    if (Edr_Doc_getUrl(doc, &docUrl) != 0 || !docUrl)
        return 0;
    int result = 1;
    if (Url_getScheme(docUrl) == UrlScheme_https && Url_getScheme(target) != UrlScheme_https) {
        if (Sem_waitStoppable(&doc->questionSem) != 0) {
            Url_free(docUrl);
            return 0;
        }
        uint32_t answer = Edr_Doc_getSecureLeaveAnswer(doc);
        if (answer == 2) {
            result = 1;
        } else if (answer == 1 && !askAgain) {
            result = 0;
        } else {
            HostQuestion q{3, {latin1(docUrl), nullptr}, 0};
            result = q.texts[0] &&
                     Edr_Web_askQuestion(app, app ? app->eventProc : nullptr, &q) == 0 &&
                     q.answer == 1;
            Mem_free(q.texts[0]);
            Edr_Doc_writeLockWait(doc);
            doc->secureLeaveAnswer = result ? 2 : 1;
            Edr_Doc_writeUnlock(doc);
        }
        // Every path after a successful wait gives the question back.
        Sem_signal(&doc->questionSem);
    }
    Url_free(docUrl);
    return result;
}

// -------------------------------------------------------------- requests

int Edr_Doc_addRequest(Edr_Doc *doc, Request *request)
{
    if (!request)
        return Res_missingArgument;
    Edr_Doc_readLock(doc);
    bool hasUrl = doc->url != nullptr;
    Edr_Doc_readUnlock(doc);
    if (hasUrl && Edr_Doc_imagesEnabled(doc->app)) {
        for (StyleRule *r = Request_firstItem(request); r; r = Request_nextItem(request, r)) {
            int err = Edr_Doc_resolveUrlProps(doc, request, r, PropId_backgroundImage);
            if (!err)
                err = Edr_Doc_resolveUrlProps(doc, request, r, PropId_listStyleImage);
            if (err)
                return err;
        }
    }
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    Request_addRef(request);
    err = DocRequests_append(doc->requests, request);
    Edr_Doc_writeUnlock(doc);
    if (err) {
        Request_release(request);
        return err;
    }
    Request_setCallback(request, doc, requestChanged);
    // A change whose pass cannot be scheduled now is retried by the next change.
    (void)Edr_Mgr_queueChange(doc);
    return Res_ok;
}

int Edr_Doc_getRequest(Edr_Doc *doc, Request *previous, Request **out)
{
    *out = nullptr;
    Edr_Doc_readLock(doc);
    Request *r =
        previous ? Request_nextOfDoc(doc->requests, previous) : Request_firstOfDoc(doc->requests);
    Edr_Doc_readUnlock(doc);
    *out = r;
    return Res_ok;
}

int Edr_Doc_requestHasProp(Edr_Doc *doc, uint32_t key, uint32_t property, int *out)
{
    *out = 0;
    Request *r = nullptr;
    int err = Edr_Doc_getRequest(doc, nullptr, &r);
    while (!err && r && !*out) {
        Request_lock(r);
        for (StyleRule *rule = Request_firstItem(r); rule && !*out;
             rule = Request_nextItem(r, rule))
            if (StyleRule_firstKey(rule) == key && StyleRule_findProp(rule, property))
                *out = 1;
        Request_unlock(r);
        Request *next = nullptr;
        err = Edr_Doc_getRequest(doc, r, &next);
        Request_release(r);
        r = next;
    }
    Request_release(r);
    return err;
}

int Edr_Doc_resolveUrlProps(Edr_Doc *doc, Request *request, StyleRule *list, uint32_t property)
{
    if (!list)
        return Res_ok;
    StylePropItem *item = StyleRule_findProp(list, property);
    if (!item)
        return Res_ok;
    uint32_t target =
        property == PropId_listStyleImage ? PropId_listImageRef : PropId_backgroundImageRef;
    Prop value;
    Prop_zero(&value);
    if (item->value.type == PropType_none) {
        Prop_setInt(&value, target, 0);
    } else if (item->value.type == PropType_ustr) {
        char16_t *text = Prop_dupUstr(&item->value);
        if (!text)
            return Res_noMemory;
        Url *url = nullptr;
        const Url *reqUrl = request ? Request_getUrl(request) : nullptr;
        if (reqUrl) {
            url = Url_resolveText(doc->app, text, reqUrl);
        } else {
            int err = Edr_Doc_resolveUrl(doc, text, &url);
            if (err)
                url = nullptr;
        }
        Mem_free(text);
        if (!url)
            return Res_noMemory;
        uint32_t number = 0;
        Edr_Node *g = nullptr;
        int err = Edr_Doc_getNumberedGroup(doc, &number, &g);
        if (!err) {
            const int32_t placement[5] = {96, 0, 0, 0, 0};
            // The new node is queued on the load queue like any other
            // image the document asks for; layout draws it once decoded.
            err = Edr_Node_createImageKind(doc, g, Edr_Insert_lastChild, nullptr, url, placement,
                                           524, 0);
            Edr_Node_release(doc, g);
        }
        Url_free(url);
        if (err)
            return err;
        Prop_setInt(&value, target, int32_t(number));
    } else {
        return Res_ok;
    }
    value.flags = item->value.flags;
    int changed = 0;
    return StyleRule_setProp(list, &value, &changed);
}

// ---------------------------------------------------- keyed and numbered

int Edr_Doc_getKeyedGroup(Edr_Doc *doc, intptr_t key, uint32_t slot, Edr_Node **out)
{
    *out = nullptr;
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    Edr_KeyedGroup *e = doc->keyedGroups;
    while (e && e->key != key)
        e = e->next;
    if (!e) {
        e = static_cast<Edr_KeyedGroup *>(Mem_calloc(1, sizeof(Edr_KeyedGroup)));
        if (!e) {
            Edr_Doc_writeUnlock(doc);
            return Res_noMemory;
        }
        e->key = key;
        e->next = doc->keyedGroups;
        doc->keyedGroups = e;
    }
    uint32_t s = (slot == 1 || slot == 2) ? slot : 0;
    if (!e->groups[s])
        err = Edr_Node_newGroup(&e->groups[s], 0);
    if (!err)
        err = Edr_Node_addRefLocked(doc, e->groups[s]);
    if (!err)
        *out = e->groups[s];
    Edr_Doc_writeUnlock(doc);
    return err;
}

int Edr_Doc_getNumberedGroup(Edr_Doc *doc, uint32_t *number, Edr_Node **out)
{
    *out = nullptr;
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    uint32_t n = *number;
    if (n == 0)
        n = doc->numberedGroups ? doc->numberedGroups->number + 1 : 1;
    Edr_NumberedGroup *e = doc->numberedGroups;
    while (e && e->number != n)
        e = e->next;
    if (!e) {
        e = static_cast<Edr_NumberedGroup *>(Mem_calloc(1, sizeof(Edr_NumberedGroup)));
        if (!e) {
            Edr_Doc_writeUnlock(doc);
            return Res_noMemory;
        }
        e->number = n;
        e->next = doc->numberedGroups;
        doc->numberedGroups = e;
    }
    if (!e->group)
        err = Edr_Node_newGroup(&e->group, 0);
    if (!err)
        err = Edr_Node_addRefLocked(doc, e->group);
    if (!err) {
        *out = e->group;
        *number = n;
    }
    Edr_Doc_writeUnlock(doc);
    return err;
}

int Edr_Doc_addFont(Edr_Doc *doc, void *font)
{
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    if (doc->fontCount == doc->fontCapacity) {
        uint32_t cap = doc->fontCapacity ? doc->fontCapacity * 2 : 8;
        void *grown = Mem_realloc(doc->fonts, cap * sizeof(void *));
        if (!grown) {
            Edr_Doc_writeUnlock(doc);
            return Res_noMemory;
        }
        doc->fonts = static_cast<void **>(grown);
        doc->fontCapacity = cap;
    }
    doc->fonts[doc->fontCount++] = font;
    Edr_Doc_writeUnlock(doc);
    return Res_ok;
}

int Edr_App_registerImageCodecs(EngineContext *app)
{
    ImageCodec *(*const getters[])() = {Codec_gifDescriptor, Codec_jpegDescriptor,
                                        Codec_bmpDescriptor, Codec_wbmpDescriptor,
                                        Codec_pngDescriptor};
    // The getter of a decoder left out of the build answers null: that one
    // is skipped.
    for (auto get : getters) {
        ImageCodec *codec = get();
        if (!codec)
            continue;
        int err = Plugin_register(app, codec);
        if (err)
            return err;
    }
    return Res_ok;
}
