// The document-type registry: which importer builds a document from a
// stream.
//
// Every importer describes itself once, at start-up, by filling a handler
// descriptor (document/edr/handler.h) in its describe routine. The registry
// keeps a copy of each accepted descriptor in registration order and, for
// the translation job, chooses the handler for a stream in fixed stages:
// the content scores of the enabled sniffers first (the first highest wins,
// 100 ends the walk), then the stream's MIME type, which must beat the
// content score, then a refusal of empty streams, then the extension of
// the stream's file name. A handler chosen only by type or name must accept
// content that no sniffer recognised. Nothing falls back to a default
// handler.
//
// The registry lives for the engine run: created at module start-up
// (EngineContext::docHandlers), appended to under its lock, walked without
// it during recognition (entries are only ever appended), freed at module
// shut-down after every document is gone.
#pragma once

#include <cstdint>

#include "core/task/lock.h"
#include "document/edr/handler.h"

struct EngineContext;
struct VfsHandle;

// Scores a handler gives: 0 unknown to 100 certain.
enum : int32_t {
    DocType_scoreCertain = 100,
};

// A handler's describe routine fills the descriptor (zero on entry); a
// non-zero result refuses the registration.
typedef int (*Edr_DescribeFn)(EngineContext *context, Edr_HandlerDesc *desc);

// One registered handler: the descriptor's copy, then the next one. The
// descriptor is first, so a node and its descriptor share one address.
struct DocTypeNode {
    Edr_HandlerDesc desc;
    DocTypeNode *next;
};

struct DocTypeRegistry {
    DocTypeNode *head;
    Lock lock;
};

// The registry of the engine context (its docHandlers word), or null.
DocTypeRegistry *DocType_registry(EngineContext *context);

// A new empty registry into *out (the caller stores it in the context and
// frees it with DocType_freeRegistry). 0, or 1 when memory runs out (*out
// null).
[[nodiscard]] int DocType_newRegistry(EngineContext *context, DocTypeRegistry **out);

// Calls describe on a cleared descriptor and appends a copy to the context's
// registry. The describe routine's non-zero result comes back unchanged
// (nothing registered, release not called); Res_nullInput when matchMime,
// sniff, open or release is missing (release, when present, is called first); 1
// when memory runs out (release is not called); Res_missingArgument without a
// registry or routine.
[[nodiscard]] int DocType_register(EngineContext *context, Edr_DescribeFn describe);

// The engine's registration entry: 1 when DocType_register accepted the
// handler, 0 when either argument is null or the registry refused it.
[[nodiscard]] int Engine_registerHandler(EngineContext *app, Edr_DescribeFn describe);

// A registration record: the engine context and the handler's describe
// routine.
struct RequestHandlerReg {
    EngineContext *context;
    Edr_DescribeFn describe;
};
// Registers the record's describe routine with the document-type registry
// (Engine_registerHandler) when the record's context is set: its result
// (1 accepted, 0 refused); 0 for a null record or context.
[[nodiscard]] int Request_registerHandler(const RequestHandlerReg *reg);

// Filters an error met while rating: when the current task has been asked
// to stop the result is 48; otherwise 1 stays 1 and every other error
// becomes 0, which tells the caller to skip that handler.
int DocType_keepError(EngineContext *context, int error);

// Rates mime with every node from first on while the best score is not
// exactly 100; a node replaces *best only with a higher score (the first of
// equals stays). The enabled word is not consulted. 0, or a kept error.
[[nodiscard]] int DocType_matchMime(EngineContext *context, DocTypeNode *first,
                                    const char16_t *mime, DocTypeNode **best, int32_t *bestScore);

// The state of one recognition, passed through its stages.
struct DocTypeRecognition {
    DocTypeNode *best;
    int32_t bestScore;
    uint32_t bestType;          // MIME-table type id of the best handler's find
    const char16_t *mime;       // last MIME text met (lent: the stream's or the table's)
    uint32_t answered;          // some enabled sniffer answered without error
    uint32_t contentRecognised; // cleared when no sniffer scored above 0
};

// The content stage: every enabled sniffer from the head, each with its
// score and type cleared first, until one is certain. 0 or a kept error.
[[nodiscard]] int DocType_contentStage(EngineContext *context, VfsHandle *stream,
                                       DocTypeRecognition *state);
// The MIME stage: rates mime (the stream's MIME type) against the best so
// far. 0 or a kept error.
[[nodiscard]] int DocType_mimeStage(EngineContext *context, const char16_t *mime,
                                    DocTypeRecognition *state);
// The file-name stage: the extension's MIME type becomes the state's MIME
// text and is rated against the best so far; the extension's type id
// becomes the best type only when a handler wins by it. 0 or a kept error.
[[nodiscard]] int DocType_fileNameStage(EngineContext *context, const char16_t *name,
                                        DocTypeRecognition *state);
// The result of the stages: 0 with *handler (a registry descriptor, lent
// for the engine run) and *mime (the table's text for the best type, null
// when the table lacks it); 20481 with *mime the last MIME text when no
// handler rated anything; 20483 (nothing stored) when only type or name
// matched and the handler does not accept that.
[[nodiscard]] int DocType_result(const DocTypeRecognition *state, const char16_t **mime,
                                 Edr_HandlerDesc **handler);

// Chooses the handler for a stream left at its start; the stream is only peeked
// at. 0 with *handler and *mime as DocType_result; Res_docTypeNoMime when the
// content was not certain and the stream has no MIME type; 20481 (with *mime)
// when nothing matched; Res_docTypeNoData when no enabled sniffer answered or
// the stream is empty; Res_docTypeNeedsContent when only type or name matched a
// handler that needs recognised content; Res_stopRequested when the task was
// asked to stop; 1 when memory ran out; a stream error of the MIME or file-name
// query. Both outs are cleared first.
[[nodiscard]] int DocType_recognise(EngineContext *context, VfsHandle *stream,
                                    const char16_t **mime, Edr_HandlerDesc **handler);

// Calls every node's release in list order, frees the nodes, the lock and
// the record. Null allowed.
void DocType_freeRegistry(EngineContext *context, DocTypeRegistry *registry);
