// MIME archives: a multipart source parsed once into a part tree, one part
// chosen as the document, a URL for every part, and part streams. The
// archive is the handler object of every URL into it, so that the page's
// references (by "cid:" or by the locations the page had when it was
// saved) reach the stream layer's Mime row and open the matching part as a
// memory stream over its decoded bytes.
#include <cstdio>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "html/web/mime.h"
#include "platform/vfs/memfile.h"
#include "platform/vfs/vfs.h"

namespace {

constexpr uint32_t kReadSize = 4096;
constexpr uint32_t kHandOver = 0x10;
constexpr uint32_t kCollectMask = 0x60000010;
constexpr uint32_t kCollectValue = 0x20000000;

void retainHandler(UrlHandler *handler)
{
    MimeArchive_addRef(reinterpret_cast<MimeArchive *>(handler));
}

void releaseHandler(UrlHandler *handler)
{
    MimeArchive_release(reinterpret_cast<MimeArchive *>(handler));
}

const UrlHandlerOps kArchiveOps = {retainHandler, releaseHandler};

// The archive lock, taken only on an engine task: elsewhere (the host's
// thread holding the baton) no task can run meanwhile.
bool lockArchive(MimeArchive *a)
{
    if (!Task_hasCurrent(a->ctx))
        return false;
    Lock_acquire(&a->lock);
    return true;
}

void unlockArchive(MimeArchive *a, bool held)
{
    if (held)
        Lock_release(&a->lock);
}

MimeArchive *archiveOf(const UrlHandler *handler)
{
    return MimeArchive_isArchive(handler)
               ? reinterpret_cast<MimeArchive *>(const_cast<UrlHandler *>(handler))
               : nullptr;
}

bool isMultipart(const MimePart *part)
{
    return part->type == MimeType_multipart || part->type == MimeType_message;
}

// The next part after p in document order inside top's subtree, or null.
MimePart *nextInTree(MimePart *p, const MimePart *top)
{
    if (p->firstChild)
        return p->firstChild;
    for (; p && p != top; p = p->parent)
        if (p->nextSibling)
            return p->nextSibling;
    return nullptr;
}

char16_t *widen(const char *s)
{
    size_t n = strlen(s);
    char16_t *out = static_cast<char16_t *>(Mem_malloc((n + 1) * sizeof(char16_t)));
    if (!out)
        return nullptr;
    for (size_t i = 0; i <= n; i++)
        out[i] = uint8_t(s[i]);
    return out;
}

// Whether the part's URL is url: a file URL by scheme and path, any other
// by all its parts (mask 31).
bool partHasUrl(const MimePart *part, const Url *url, uint32_t mask, EngineContext *ctx)
{
    Url *own = Mime_partUrl(ctx, part);
    bool same = own && Url_compare(own, url, mask) == 0;
    Url_free(own);
    return same;
}

uint32_t maskFor(const Url *url)
{
    return Url_getScheme(url) == UrlScheme_file ? (UrlPart_scheme | UrlPart_path) : 31u;
}

} // namespace

// ------------------------------------------------------------- records

int MimeArchive_isArchive(const UrlHandler *handler)
{
    return handler && handler->ops == &kArchiveOps && handler->streamType == VfsType_mime;
}

int Mime_claimsHandler(const UrlHandler *handler)
{
    return MimeArchive_isArchive(handler);
}

int Mime_moduleInit(EngineContext *)
{
    return Res_ok;
}

void Mime_moduleFini(EngineContext *) {}

void MimeArchive_addRef(MimeArchive *archive)
{
    if (!archive)
        return;
    bool held = lockArchive(archive);
    archive->refCount++;
    unlockArchive(archive, held);
}

void MimeArchive_release(MimeArchive *archive)
{
    if (!archive)
        return;
    bool held = lockArchive(archive);
    uint32_t left = --archive->refCount;
    unlockArchive(archive, held);
    if (left)
        return;
    Mime_partFree(archive->root);
    Url_free(archive->baseUrl);
    (void)Vfs_close(archive->source);
    Lock_fini(&archive->lock);
    Mem_free(archive);
}

int MimeArchive_open(EngineContext *context, VfsHandle *source, MimeArchive **out)
{
    *out = nullptr;
    if (!source)
        return Res_missingArgument;
    MimeArchive *a = static_cast<MimeArchive *>(Mem_calloc(1, sizeof(MimeArchive)));
    if (!a) {
        (void)Vfs_close(source);
        return Res_noMemory;
    }
    a->header.ops = &kArchiveOps;
    a->header.owner = a;
    a->header.streamType = VfsType_mime;
    a->refCount = 1;
    a->ctx = context;
    a->source = source;
    int err = Lock_init(context, &a->lock);
    if (err != Res_ok) {
        (void)Vfs_close(source);
        Mem_free(a);
        return err;
    }
    uint32_t flags = 0;
    (void)Vfs_getFlags(source, &flags);
    a->handOver = (flags & kHandOver) ? 1 : 0;
    Url *sourceUrl = nullptr;
    (void)Vfs_getUrl(source, &sourceUrl);
    if (sourceUrl && !(a->baseUrl = Url_copy(sourceUrl)))
        err = Res_noMemory;
    if (err == Res_ok)
        err = MimeArchive_load(context, a, (flags & kCollectMask) == kCollectValue);
    if (err != Res_ok) {
        MimeArchive_release(a);
        return err;
    }
    *out = a;
    return Res_ok;
}

int MimeArchive_load(EngineContext *context, MimeArchive *archive, uint32_t collect)
{
    MimePart *root = nullptr;
    MimeParser *parser = Mime_parserNew(&root, collect);
    if (!parser)
        return Res_noMemory;
    Mime_partFree(archive->root);
    archive->root = root;
    uint8_t *carry = nullptr;
    uint32_t carryLength = 0, carryCapacity = 0;
    uint32_t base = 0;
    bool held = lockArchive(archive);
    VfsHandle *source = archive->source;
    int err = source ? Vfs_seek(source, 0) : Res_fileCannotOpen;
    while (err == Res_ok) {
        const uint8_t *buf = nullptr;
        size_t got = 0;
        err = Vfs_getReadBuf(source, kReadSize, &buf, &got);
        if (err != Res_ok)
            break;
        if (got > 0xFFFFFFFFu - carryLength) {
            (void)Vfs_readDone(source, 0);
            err = Res_fileSize;
            break;
        }
        uint32_t len = uint32_t(got);
        int final = len < kReadSize;
        const uint8_t *chunk = buf;
        uint32_t chunkLength = len;
        uint32_t before = carryLength; // carry bytes in front of the stream's
        if (carryLength) {
            if (carryLength + len > carryCapacity) {
                uint32_t cap = carryLength + len + kReadSize;
                uint8_t *grown = static_cast<uint8_t *>(Mem_realloc(carry, cap));
                if (!grown) {
                    (void)Vfs_readDone(source, 0);
                    err = Res_noMemory;
                    break;
                }
                carry = grown;
                carryCapacity = cap;
            }
            memcpy(carry + carryLength, buf, len);
            carryLength += len;
            chunk = carry;
            chunkLength = carryLength;
        }
        uint32_t used = 0;
        err = Mime_parse(context, chunk, chunkLength, &used, base, final, parser);
        if (err != Res_ok) {
            (void)Vfs_readDone(source, 0);
            break;
        }
        if (used || final) {
            base += used;
            if (used >= before) {
                (void)Vfs_readDone(source, used - before);
                carryLength = 0;
            } else {
                // Part of the carry is left: keep it, and read the
                // stream's bytes again next time.
                memmove(carry, carry + used, before - used);
                carryLength = before - used;
                (void)Vfs_readDone(source, 0);
            }
        } else {
            // Nothing consumed: the bytes wait in the carry for more.
            if (!before) {
                if (len > carryCapacity) {
                    uint32_t cap = len + kReadSize;
                    uint8_t *grown = static_cast<uint8_t *>(Mem_realloc(carry, cap));
                    if (!grown) {
                        (void)Vfs_readDone(source, 0);
                        err = Res_noMemory;
                        break;
                    }
                    carry = grown;
                    carryCapacity = cap;
                }
                memcpy(carry, buf, len);
                carryLength = len;
            }
            (void)Vfs_readDone(source, len);
        }
        if (final)
            break;
    }
    unlockArchive(archive, held);
    Mime_parserFree(parser);
    Mem_free(parser);
    Mem_free(carry);
    return err;
}

// ------------------------------------------------------------ part URLs

char16_t *Mime_partUrlString(EngineContext *context, const MimePart *part)
{
    char *value = Mime_getHeaderValue(part, MimeHdr_contentLocation);
    if (value && *value) {
        char16_t *text = Mime_decodeHeaderText(context, value);
        Mem_free(value);
        return text;
    }
    Mem_free(value);
    value = Mime_getHeaderValue(part, MimeHdr_contentId);
    if (value && *value) {
        size_t n = strlen(value);
        const char *id = value;
        if (n >= 2 && value[0] == '<' && value[n - 1] == '>') {
            value[n - 1] = 0;
            id++;
        }
        size_t size = strlen(id) + 5;
        char *cid = static_cast<char *>(Mem_malloc(size));
        char16_t *text = nullptr;
        if (cid) {
            snprintf(cid, size, "cid:%s", id);
            text = Mime_decodeHeaderText(context, cid);
            Mem_free(cid);
        }
        Mem_free(value);
        return text;
    }
    Mem_free(value);
    char number[32];
    snprintf(number, sizeof number, "cid:oKALA%lu", static_cast<unsigned long>(part->number));
    return widen(number);
}

Url *Mime_partUrl(EngineContext *context, const MimePart *part)
{
    char16_t *text = Mime_partUrlString(context, part);
    if (!text)
        return nullptr;
    for (char16_t *c = text; *c; c++)
        if (*c == u'\\')
            *c = u'/';
    Url *url = Url_new(text);
    Mem_free(text);
    return url;
}

// ------------------------------------------------------------- lookups

MimePart *MimeArchive_findPartByUrl(EngineContext *context, MimePart *part, const Url *url)
{
    if (!url)
        return nullptr;
    uint32_t mask = maskFor(url);
    for (MimePart *p = part; p; p = nextInTree(p, part))
        if (partHasUrl(p, url, mask, context))
            return p;
    return nullptr;
}

MimePart *Mime_findChildByType(MimePart *part, const char *type)
{
    if (!part || !type)
        return nullptr;
    size_t n = strlen(type);
    // Each part in document order offers its direct children: the
    // children of part first, then each child's subtree in turn.
    for (MimePart *p = part; p; p = nextInTree(p, part)) {
        for (MimePart *c = p->firstChild; c; c = c->nextSibling) {
            char *value = Mime_getHeaderValue(c, MimeHdr_contentType);
            bool match = value && strlen(value) >= n && memcmp(value, type, n) == 0;
            Mem_free(value);
            if (match)
                return c;
        }
    }
    return nullptr;
}

MimePart *MimeArchive_findDocPart(EngineContext *context, MimePart *part, const char *wanted)
{
    // The search goes down only: a jump by "start", "type" or the wanted
    // type lands strictly below the part searched, and a part whose
    // children are tried in turn keeps the next one on a stack no deeper
    // than the tree.
    MimePart *resume[Mime_maxDepth + 2];
    uint32_t depth = 0;
    MimePart *p = part;
    for (;;) {
        MimePart *jump = nullptr;
        bool failed = false;
        if (!p) {
            failed = true;
        } else if (!isMultipart(p)) {
            if (p->type >= 1 && p->type <= 6)
                return p;
            failed = true;
        } else {
            if (p->type == MimeType_multipart && p->subtype == MimeSub_related) {
                char *start = Mime_getParam(p, MimeHdr_contentType, MimeParam_start);
                if (start) {
                    char16_t *text = Mime_decodeHeaderText(context, start);
                    Url *url = text ? Url_new(text) : nullptr;
                    MimePart *found = MimeArchive_findPartByUrl(context, p, url);
                    if (found != p)
                        jump = found;
                    Url_free(url);
                    Mem_free(text);
                    Mem_free(start);
                }
                if (!jump) {
                    char *type = Mime_getParam(p, MimeHdr_contentType, MimeParam_type);
                    if (type)
                        jump = Mime_findChildByType(p, type);
                    Mem_free(type);
                }
            }
            if (!jump && wanted)
                jump = Mime_findChildByType(p, wanted);
            if (jump) {
                if (!isMultipart(jump))
                    return jump;
                p = jump;
                continue;
            }
            if (p->firstChild && depth < Mime_maxDepth + 2) {
                resume[depth++] = p->firstChild->nextSibling;
                p = p->firstChild;
                continue;
            }
            failed = true;
        }
        if (failed) {
            while (depth && !resume[depth - 1])
                depth--;
            if (!depth)
                return nullptr;
            p = resume[depth - 1];
            resume[depth - 1] = p->nextSibling;
        }
    }
}

// ------------------------------------------------------------ archives

int MimeArchive_mainUrl(EngineContext *context, MimeArchive *archive, Url **out, const char *wanted)
{
    *out = nullptr;
    if (!archive || archive->state != 0)
        return Res_fileCannotOpen;
    MimePart *part = MimeArchive_findDocPart(context, archive->root, wanted);
    Url *url = part ? Mime_partUrl(context, part) : nullptr;
    if (!url)
        return Res_mimeNoDocPart;
    Url_setHandler(url, &archive->header);
    *out = url;
    return Res_ok;
}

int MimeArchive_getBaseUrl(MimeArchive *archive, Url **out)
{
    *out = nullptr;
    if (!archive || archive->state != 0)
        return Res_fileCannotOpen;
    *out = archive->baseUrl;
    return Res_ok;
}

void MimeArchive_closeSource(MimeArchive *archive)
{
    if (!archive)
        return;
    bool held = lockArchive(archive);
    VfsHandle *source = archive->source;
    archive->source = nullptr;
    (void)Vfs_close(source);
    unlockArchive(archive, held);
}

int MimeArchive_hasUrl(EngineContext *context, Url *url)
{
    MimeArchive *a = archiveOf(Url_getHandler(url));
    if (a && a->state == 0 && MimeArchive_findPartByUrl(context, a->root, url))
        return 1;
    Url_setHandler(url, nullptr);
    return 0;
}

int MimeArchive_openInPlace(EngineContext *context, VfsHandle **stream, Url **url)
{
    uintptr_t value = 0;
    if (!*stream || Vfs_getInfo(*stream, VfsInfo_mime, &value) != Res_ok || !value)
        return Res_ok;
    static constexpr char kRelated[] = "multipart/related";
    const char16_t *mime = reinterpret_cast<const char16_t *>(value);
    for (size_t i = 0; i < sizeof kRelated; i++) {
        char16_t c = mime[i] >= u'A' && mime[i] <= u'Z' ? char16_t(mime[i] + 32) : mime[i];
        if (c != char16_t(kRelated[i]))
            return Res_ok;
    }
    MimeArchive *archive = nullptr;
    int err = MimeArchive_open(context, *stream, &archive);
    *stream = nullptr;
    if (err != Res_ok)
        return err;
    Url *main = nullptr;
    err = MimeArchive_mainUrl(context, archive, &main, "text/html");
    MimeArchive_release(archive); // the main URL holds the archive now
    if (err != Res_ok)
        return err;
    Url_free(*url);
    *url = main;
    return Res_ok;
}

// ---------------------------------------------------------- part streams

namespace {

// Decodes the part's body from the source into the part (archive locked).
int decodeFromSource(MimeArchive *a, MimePart *part, EngineContext *ctx)
{
    CharsetConverter convert = Mime_decoderFor(part);
    if (!convert)
        return Res_mimeNoDecoder;
    uint32_t cap = Mime_decodedSizeEstimate(part);
    if (cap < 6)
        cap = 6;
    uint8_t *buf = static_cast<uint8_t *>(Mem_malloc(cap));
    if (!buf)
        return Res_noMemory;
    uint32_t length = 0;
    int err = Vfs_seek(a->source, part->bodyStart);
    uint32_t remaining = part->bodyLength;
    while (err == Res_ok && remaining) {
        const uint8_t *in = nullptr;
        size_t got = 0;
        err = Vfs_getReadBuf(a->source, remaining < kReadSize ? remaining : kReadSize, &in, &got);
        if (err != Res_ok)
            break;
        uint32_t n = got < remaining ? uint32_t(got) : remaining;
        if (!n) {
            (void)Vfs_readDone(a->source, 0);
            break;
        }
        if (cap - length <= 5) {
            uint8_t *grown = static_cast<uint8_t *>(Mem_realloc(buf, cap + 100));
            if (!grown) {
                (void)Vfs_readDone(a->source, 0);
                err = Res_noMemory;
                break;
            }
            buf = grown;
            cap += 100;
        }
        size_t used = 0, written = 0;
        (void)convert(ctx, in, n, buf + length, cap - length, &used, &written, nullptr);
        (void)Vfs_readDone(a->source, used);
        length += uint32_t(written);
        remaining -= uint32_t(used);
        if (!used)
            break;
    }
    if (err != Res_ok) {
        Mem_free(buf);
        return err;
    }
    part->decoded = buf;
    part->decodedLength = length;
    part->decodedCapacity = cap;
    return Res_ok;
}

int handlerQuery(UrlHandler *handler, uintptr_t *result)
{
    *result = 0;
    MimeArchive *a = archiveOf(handler);
    if (!a)
        return Res_fileCannotOpen;
    Url *base = nullptr;
    int err = MimeArchive_getBaseUrl(a, &base);
    *result = reinterpret_cast<uintptr_t>(base);
    return err;
}

int closeSourceOfUrl(const Url *url, uintptr_t)
{
    MimeArchive_closeSource(archiveOf(Url_getHandler(url)));
    return Res_ok;
}

} // namespace

int MimeStream_open(EngineContext *context, VfsHandle *handle, const Url *url, uint32_t mode,
                    uint32_t *accepted)
{
    *accepted = 0;
    MimeArchive *a = archiveOf(Url_getHandler(url));
    if (!a || a->state != 0 || !a->source)
        return Res_fileCannotOpen;
    // The document part unless the URL names another one.
    MimePart *part = MimeArchive_findDocPart(context, a->root, "text/html");
    if (!part || !partHasUrl(part, url, 31, context))
        part = MimeArchive_findPartByUrl(context, a->root, url);
    if (!part)
        return Res_vfsRetryUnhandled;
    bool held = lockArchive(a);
    int err = Res_ok;
    if (!part->decoded)
        err = a->source ? decodeFromSource(a, part, context) : Res_fileCannotOpen;
    const uint8_t *data = part->decoded;
    uint32_t length = part->decodedLength;
    int own = 0;
    if (err == Res_ok && a->handOver && data) {
        // The memory stream takes the bytes over.
        own = 1;
        part->decoded = nullptr;
        part->decodedLength = part->decodedCapacity = 0;
    }
    unlockArchive(a, held);
    if (err != Res_ok)
        return err;
    if (!length) {
        if (own)
            Mem_free(const_cast<uint8_t *>(data));
        return Res_fileCannotOpen;
    }
    err = MemFile_open(context, handle, data, length, own, mode, accepted);
    if (err != Res_ok)
        return err;
    char *type = Mime_getHeaderValue(part, MimeHdr_contentType);
    if (type) {
        char16_t *wide = widen(type);
        if (wide &&
            MemFile_setInfo(handle, VfsInfo_mime, reinterpret_cast<uintptr_t>(wide)) != Res_ok)
            Mem_free(wide);
        Mem_free(type);
    }
    char *charset = Mime_getParam(part, MimeHdr_contentType, MimeParam_charset);
    if (charset) {
        char16_t *wide = widen(charset);
        if (wide &&
            MemFile_setInfo(handle, VfsInfo_string2, reinterpret_cast<uintptr_t>(wide)) != Res_ok)
            Mem_free(wide);
        Mem_free(charset);
    }
    return Res_ok;
}

const VfsTypeOps VfsMimeOps = {
    .name = "Mime",
    .flags = 0,
    .open = MimeStream_open,            // 3
    .close = MemFile_close,             // 4
    .getReadBuf = MemFile_getReadBuf,   // 5
    .readDone = MemFile_readDone,       // 6
    .tell = MemFile_tell,               // 11
    .seek = MemFile_seek,               // 12
    .getInfo = MemFile_getInfo,         // 13
    .handlerQuery = handlerQuery,       // 22
    .closeUrlSource = closeSourceOfUrl, // 23
};
