// Document translation and deferred loads.
//
// Translation turns a URL into a filled document: a worker job named
// "docTranslate" opens a stream on the URL, refuses files above the
// "translateFileSize" setting, asks the document-type registry
// (document/types/doctype.h) which handler reads it, records the handler
// and the MIME type in the document and calls the handler's open, which
// builds the tree. For page-on-demand documents the same job later serves
// page requests through the handler's step. Every outcome reaches the
// application's event processor: code message 0 when the job starts, 13
// when it succeeded, otherwise one report (a kind-0 document message
// {kind, code, document view, text}).
//
// The second half is each document's deferred-load queue: sub-documents,
// images and callbacks that importers and editing ask for while the tree
// is built, carried out later by the eDR manager's pass. The queue is the
// document's translateAux record: its two words are the head and the tail
// of the item list, its count the accepting flag.
#pragma once

#include <cstdint>

struct EngineContext;
struct Edr_Doc;
struct Edr_Node;
struct Edr_HandlerDesc;
struct Obj;
struct Url;
struct VfsHandle;

// Report kinds of a translation failure.
enum : int32_t {
    Translate_kindUnknownType = 0, // nothing took the stream; text: the MIME type
    Translate_kindNoData = 1,      // "No data received"
    Translate_kindError = 2,       // any other failure
    Translate_kindRefused = 3,     // the stream or network refused it
    Translate_kindAborted = 4,     // stopped before or while running
    Translate_kindNoMemory = 5,
};

// Settings and limits.
enum : uint32_t {
    Translate_jobStack = 16384,
    Translate_jobPriority = 1,
    Translate_memoryCopyLimit = 204800, // streams below this size may keep a memory duplicate
};

// One running translation, owned by its job.
struct TranslateJob {
    EngineContext *ctx;
    Url *url; // owned; null for a job that only serves pages
    Edr_Doc *doc;
    Edr_Node *target;         // counted reference
    Obj *openArg;             // owned, handed to the handler's open
    uint32_t started;         // the body has begun
    Edr_HandlerDesc *handler; // chosen by recognition
    VfsHandle *stream;        // owned until the handler's open
    const char16_t *mime;     // reported by recognition (lent)
    uint32_t extFlags;        // the path extension's flags in the MIME table
    char16_t *pathText;       // owned: the URL's path part
    int32_t result;
};

// Starts translating url into doc under target. Takes over url and
// openArg in every case. Nothing happens (they are freed) when an argument
// is missing, when the document's translation is claimed already, or when
// url is null and the document does not load pages on demand (a job
// without URL can only serve pages). Failures to start are reported to
// the application.
void Translate_start(EngineContext *ctx, Edr_Doc *doc, Edr_Node *target, Url *url, Obj *openArg);
// The job body and its end routine (entry and done callback of the worker
// job); argument: the TranslateJob.
void Translate_run(void *job);
void Translate_cleanup(void *job);
// Posts the job's outcome (the table of kinds) and releases the target
// reference; the job's result becomes the final code.
void Translate_report(TranslateJob *job);

// For a page-on-demand document: records page as the requested page and,
// when it is not the current page, starts a job that serves it. Returns the
// page window's result for the page (0 for other documents).
[[nodiscard]] int Translate_requestPage(Edr_Doc *doc, Edr_Node *target, uint32_t page);
// Resolves a URL fragment: *page (-1 when nothing matched) and the
// fragment's rectangle (four words, cleared first). 0 or the lookup error.
[[nodiscard]] int Translate_findFragment(Edr_Doc *doc, const char16_t *name, int32_t rect[4],
                                         int32_t *page);
// "page-N" names of documents of type 226 and 229: *page = N - 1 (-1 for
// a name that is not one), then the handler's fragment operation. 8 when
// an argument is null; 0 or the handler's result.
[[nodiscard]] int Translate_fragmentPage(Edr_Doc *doc, const char16_t *name, int32_t *page,
                                         int32_t rect[4]);

// Stops the deferred loads of a document being destroyed: the queue stops
// accepting and is run without work (every item disposed of).
void Translate_stopPageWork(Edr_Doc *doc);
// Called for every new image node: one with a URL still to fetch is
// queued on the document's load queue and a manager pass asked for.
// 0; 1 no memory; 1551 the node was deleted.
[[nodiscard]] int Translate_registerImage(Edr_Doc *doc, Edr_Node *node);

// ------------------------------------------------------ deferred loads

// The completion callback of a sub-document load: (application context,
// child document, child node, URL, argument); it takes over the URL and
// the argument.
typedef void (*Edr_SubdocDoneFn)(EngineContext *app, Edr_Doc *child, Edr_Node *childNode, Url *url,
                                 Obj *arg);
// A deferred call: function(node, a, b, c).
typedef void (*Edr_LoadCallFn)(Edr_Node *node, intptr_t a, intptr_t b, intptr_t c);

// Item kinds.
enum : uint32_t {
    Edr_LoadItem_subdoc = 0,
    Edr_LoadItem_image = 1,
    Edr_LoadItem_call = 2,
};

struct Edr_LoadItem {
    uint32_t kind;
    Edr_LoadItem *next;
    Edr_Node *node;  // counted: parent node, image node or callback node
    uint32_t active; // sub-documents and images: cleared by a cancel
    // Sub-documents.
    Edr_SubdocDoneFn done;
    Edr_Doc *parentDoc;
    Edr_Doc *childDoc;   // counted
    Edr_Node *childNode; // counted
    Url *url;            // owned
    Obj *arg;            // owned
    // Callbacks.
    Edr_LoadCallFn call;
    intptr_t words[3];
};

// The queue record exists with the document; these manage its items.
// Drops accepting: later posts dispose of their item at once.
void Edr_LoadQueue_stopAccepting(Edr_Doc *doc);
// Clears active of every queued sub-document (mask bit 0) or image (bit
// 1) item.
void Edr_LoadQueue_cancel(Edr_Doc *doc, uint32_t mask);
// Handles the items queued when it starts, one by one with a yield before
// each (items posted meanwhile wait for the next run): with work, loads
// sub-documents and images and makes the calls; without work (or once the
// document is closed) only disposes of them. The eDR manager's pass runs
// it with work 1.
void Edr_LoadQueue_runAll(Edr_Doc *doc, int work);
// Queues the load of child into the parent's sub-document node. 0; 1 no
// memory; 1551 a node was deleted; 1557 the URL is already open in the
// parent or one of its ancestors. url and arg are taken over in every case.
[[nodiscard]] int Edr_LoadQueue_postSubdoc(Edr_Doc *parent, Edr_Node *parentNode, Edr_Doc *child,
                                           Edr_Node *childNode, Url *url, Edr_SubdocDoneFn done,
                                           Obj *arg);
// Queues an image node's load; with wake a manager pass is asked for.
// 0; 1 no memory; 1551 the node was deleted.
[[nodiscard]] int Edr_LoadQueue_postImage(Edr_Doc *doc, Edr_Node *image, int wake);
// Queues function(node, a, b, c) and asks for a manager pass. 0, 1, 1551.
[[nodiscard]] int Edr_LoadQueue_postCall(Edr_Doc *doc, Edr_LoadCallFn function, Edr_Node *node,
                                         intptr_t a, intptr_t b, intptr_t c);
