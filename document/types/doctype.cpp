// The document-type registry: registration of handler descriptors and the
// staged choice of a handler for a stream.
//
// Recognition peeks at the stream only through the handlers' sniffers,
// which hand their borrowed bytes back unconsumed, and through the
// stream's information codes, so the stream stays at its start for the
// chosen handler's open.
#include "document/types/doctype.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "platform/api/engine.h"
#include "platform/vfs/vfs.h"

namespace {

// Stream information codes the registry asks for.
constexpr uint32_t kInfoSize = 0;
constexpr uint32_t kInfoMime = 1;
constexpr uint32_t kInfoFileName = 15;

bool hasRequiredOps(const Edr_HandlerDesc &d)
{
    return d.matchMime && d.sniff && d.open && d.release;
}

// An empty stream: its size reads 0 and a one-byte peek gives nothing.
// Any failure of the test only says "not known to be empty".
bool streamIsEmpty(VfsHandle *stream)
{
    uintptr_t value = 0;
    if (Vfs_getInfo(stream, kInfoSize, &value) != Res_ok || !value)
        return false;
    if (*reinterpret_cast<const uint64_t *>(value) != 0)
        return false;
    const uint8_t *bytes = nullptr;
    size_t got = 0;
    if (Vfs_getReadBuf(stream, 1, &bytes, &got) != Res_ok)
        return false;
    // Only gives the lent read buffer back; the next read reports any stream fault.
    (void)Vfs_readDone(stream, 0);
    return got == 0;
}

} // namespace

DocTypeRegistry *DocType_registry(EngineContext *context)
{
    return context ? static_cast<DocTypeRegistry *>(context->docHandlers) : nullptr;
}

int DocType_newRegistry(EngineContext *context, DocTypeRegistry **out)
{
    *out = nullptr;
    DocTypeRegistry *r = static_cast<DocTypeRegistry *>(Mem_calloc(1, sizeof(DocTypeRegistry)));
    if (!r)
        return Res_noMemory;
    int err = Lock_init(context, &r->lock);
    if (err != Res_ok) {
        Mem_free(r);
        return err;
    }
    *out = r;
    return Res_ok;
}

int DocType_register(EngineContext *context, Edr_DescribeFn describe)
{
    DocTypeRegistry *registry = DocType_registry(context);
    if (!registry || !describe)
        return Res_missingArgument;
    // 1. The handler fills a cleared descriptor.
    Edr_HandlerDesc desc;
    memset(&desc, 0, sizeof desc);
    int err = describe(context, &desc);
    if (err != Res_ok)
        return err;
    // 2. The four required operations.
    if (!hasRequiredOps(desc)) {
        if (desc.release)
            desc.release(context, &desc);
        return Res_nullInput;
    }
    // 3. Appended at the tail under the lock.
    DocTypeNode *node = static_cast<DocTypeNode *>(Mem_calloc(1, sizeof(DocTypeNode)));
    if (!node)
        return Res_noMemory;
    node->desc = desc;
    node->next = nullptr;
    Lock_acquire(&registry->lock);
    DocTypeNode **link = &registry->head;
    while (*link)
        link = &(*link)->next;
    *link = node;
    Lock_release(&registry->lock);
    return Res_ok;
}

int Engine_registerHandler(EngineContext *app, Edr_DescribeFn describe)
{
    if (!app || !describe)
        return 0;
    return DocType_register(app, describe) == Res_ok ? 1 : 0;
}

int Request_registerHandler(const RequestHandlerReg *reg)
{
    if (!reg || !reg->context)
        return 0;
    return Engine_registerHandler(reg->context, reg->describe);
}

int DocType_keepError(EngineContext *context, int error)
{
    if (Task_checkStop(context) == Res_stopRequested)
        error = Res_stopRequested;
    return error == Res_stopRequested || error == Res_noMemory ? error : Res_ok;
}

int DocType_matchMime(EngineContext *context, DocTypeNode *first, const char16_t *mime,
                      DocTypeNode **best, int32_t *bestScore)
{
    for (DocTypeNode *n = first; n && *bestScore != DocType_scoreCertain; n = n->next) {
        int32_t score = 0;
        int err = n->desc.matchMime(context, &n->desc, mime, &score);
        if (err != Res_ok) {
            err = DocType_keepError(context, err);
            if (err != Res_ok)
                return err;
            continue;
        }
        if (*bestScore < score) {
            *best = n;
            *bestScore = score;
        }
    }
    return Res_ok;
}

int DocType_contentStage(EngineContext *context, VfsHandle *stream, DocTypeRecognition *state)
{
    DocTypeRegistry *registry = DocType_registry(context);
    for (DocTypeNode *n = registry ? registry->head : nullptr;
         n && state->bestScore != DocType_scoreCertain; n = n->next) {
        if (!n->desc.enabled)
            continue;
        // Each sniffer starts from nothing: a sniffer that fails to write
        // its score must not inherit the previous handler's.
        int32_t score = 0;
        uint32_t type = 0;
        int err = n->desc.sniff(context, &n->desc, stream, &score, &type);
        if (err != Res_ok) {
            err = DocType_keepError(context, err);
            if (err != Res_ok)
                return err;
            continue;
        }
        state->answered = 1;
        if (score > state->bestScore) {
            state->best = n;
            state->bestScore = score;
            state->bestType = type;
        }
    }
    return Res_ok;
}

int DocType_mimeStage(EngineContext *context, const char16_t *mime, DocTypeRecognition *state)
{
    DocTypeRegistry *registry = DocType_registry(context);
    state->mime = mime;
    return DocType_matchMime(context, registry ? registry->head : nullptr, mime, &state->best,
                             &state->bestScore);
}

int DocType_fileNameStage(EngineContext *context, const char16_t *name, DocTypeRecognition *state)
{
    DocTypeRegistry *registry = DocType_registry(context);
    const char16_t *extMime = nullptr;
    uint32_t extType = Mime_typeFromFileName(name, &extMime);
    state->mime = extMime;
    DocTypeNode *before = state->best;
    int32_t scoreBefore = state->bestScore;
    int err = DocType_matchMime(context, registry ? registry->head : nullptr, extMime, &state->best,
                                &state->bestScore);
    if (err != Res_ok)
        return err;
    // The extension's type only describes the stream when a handler won by
    // it; a content or MIME winner keeps the type it was chosen for.
    if (state->best != before || state->bestScore != scoreBefore)
        state->bestType = extType;
    return Res_ok;
}

int DocType_result(const DocTypeRecognition *state, const char16_t **mime,
                   Edr_HandlerDesc **handler)
{
    *mime = nullptr;
    *handler = nullptr;
    if (!state->best) {
        *mime = state->mime;
        return Res_docTypeUnknown;
    }
    if (!state->contentRecognised && !state->best->desc.acceptsTypeOnly)
        return Res_docTypeNeedsContent;
    *handler = &state->best->desc;
    const char16_t *text = nullptr;
    (void)Mime_stringForType(state->bestType, &text);
    *mime = text;
    return Res_ok;
}

int DocType_recognise(EngineContext *context, VfsHandle *stream, const char16_t **mime,
                      Edr_HandlerDesc **handler)
{
    *mime = nullptr;
    *handler = nullptr;
    DocTypeRecognition state;
    memset(&state, 0, sizeof state);
    state.contentRecognised = 1;

    // 1. Content.
    int err = DocType_contentStage(context, stream, &state);
    if (err != Res_ok)
        return err;
    // 2. Certain, nothing, or something uncertain.
    if (state.bestScore >= DocType_scoreCertain)
        return DocType_result(&state, mime, handler);
    if (state.bestScore <= 0) {
        if (!state.answered)
            return Res_docTypeNoData;
        state.contentRecognised = 0;
    }
    // 3. The stream's MIME type.
    uintptr_t value = 0;
    err = Vfs_getInfo(stream, kInfoMime, &value);
    if (err != Res_ok)
        return err;
    const char16_t *streamMime = reinterpret_cast<const char16_t *>(value);
    if (!streamMime)
        return Res_docTypeNoMime;
    err = DocType_mimeStage(context, streamMime, &state);
    if (err != Res_ok)
        return err;
    if (state.bestScore >= DocType_scoreCertain)
        return DocType_result(&state, mime, handler);
    // 4. An empty stream is refused.
    if (streamIsEmpty(stream))
        return Res_docTypeNoData;
    // 5. The file name's extension.
    value = 0;
    err = Vfs_getInfo(stream, kInfoFileName, &value);
    if (err == Res_vfsInfoUnknown) {
        value = 0;
    } else if (err != Res_ok) {
        return err;
    }
    const char16_t *name = reinterpret_cast<const char16_t *>(value);
    if (name) {
        err = DocType_fileNameStage(context, name, &state);
        if (err != Res_ok)
            return err;
    }
    // 6. The result.
    return DocType_result(&state, mime, handler);
}

void DocType_freeRegistry(EngineContext *context, DocTypeRegistry *registry)
{
    if (!registry)
        return;
    DocTypeNode *n = registry->head;
    while (n) {
        DocTypeNode *next = n->next;
        n->desc.release(context, &n->desc);
        Mem_free(n);
        n = next;
    }
    registry->head = nullptr;
    Lock_fini(&registry->lock);
    Mem_free(registry);
}
