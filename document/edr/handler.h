// The document-handler descriptor that each importer fills.
//
// The document keeps the descriptor of the importer that built it, and the
// document model calls its optional operations: close at destruction, and
// the five further operations of the HTML importer for replacing, exporting
// and querying a group's contents. The registry that chooses a handler for
// a stream reads the rest.
#pragma once

#include <cstdint>

struct EngineContext;
struct Edr_Doc;
struct Edr_Node;
struct Edr_HandlerDesc;
struct VfsHandle;

typedef int (*Edr_MatchMimeFn)(EngineContext *context, Edr_HandlerDesc *desc, const char16_t *mime,
                               int32_t *score);
typedef int (*Edr_SniffFn)(EngineContext *context, Edr_HandlerDesc *desc, VfsHandle *stream,
                           int32_t *score, uint32_t *typeId);
typedef int (*Edr_OpenFn)(EngineContext *context, Edr_HandlerDesc *desc, void *argument,
                          VfsHandle *stream, Edr_Doc *doc, Edr_Node *target);
typedef int (*Edr_StepFn)(Edr_Doc *doc, uint32_t page);
typedef void (*Edr_CloseFn)(Edr_Doc *doc);
// extOp1: export a group; extOp2: export with a word.
typedef int (*Edr_ExportFn)(EngineContext *app, Edr_HandlerDesc *desc, Edr_Doc *doc,
                            Edr_Node *group, void **out);
typedef int (*Edr_Export2Fn)(EngineContext *app, Edr_HandlerDesc *desc, Edr_Doc *doc,
                             Edr_Node *group, intptr_t word, void **out);
// extOp3 and extOp4: replace a group's contents by text.
typedef int (*Edr_ReplaceFn)(EngineContext *app, Edr_HandlerDesc *desc, Edr_Doc *doc,
                             Edr_Node *group, const char16_t *text, uint32_t length);
// extOp5: a query about a node.
typedef int (*Edr_QueryFn)(Edr_Doc *doc, Edr_Node *node, const uint8_t *bytes, uint32_t n,
                           void **out);
typedef int (*Edr_FindFragmentFn)(Edr_Doc *doc, const char16_t *name, int32_t *rect);
typedef void (*Edr_ReleaseFn)(EngineContext *context, Edr_HandlerDesc *desc);

struct Edr_HandlerDesc {
    uint32_t acceptsTypeOnly;
    Edr_MatchMimeFn matchMime;
    Edr_SniffFn sniff;
    Edr_OpenFn open;
    Edr_StepFn step;                 // optional
    Edr_CloseFn close;               // optional
    Edr_ExportFn extOp1;             // optional
    Edr_Export2Fn extOp2;            // optional
    Edr_ReplaceFn extOp3;            // optional
    Edr_ReplaceFn extOp4;            // optional
    Edr_QueryFn extOp5;              // optional
    Edr_FindFragmentFn findFragment; // optional
    Edr_ReleaseFn release;
    void *priv;
    uint32_t reserved;
    uint32_t enabled;
};
