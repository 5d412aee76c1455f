// The eDR document record: what every importer fills and layout, display
// and editing read.
//
// An Edr_Doc owns its node tree (document/edr/node.h), its page-list
// record, its locks, its identity (URL, MIME type, type code) and the
// bookkeeping of the work that runs for it. It is created empty (a root
// group only), filled by its importer and destroyed when its last
// reference goes. A view reference keeps the record's memory alive after
// close: the document then becomes a closed stub (tree gone, page list and
// load accounting still readable) that is freed with the last view.
//
// Locks, outermost first: translateLock; the tree lock (RwLock); the
// page-list lock (RwLock); the manager's lock; the document mutex
// (innermost, a few instructions only: reference and view counts, every
// node's count, the source stream). hookLock is taken with no other
// document lock held. Engine locks are not recursive: code inside a tree
// write section reads the tree through the unlocked accessors.
//
// The application side: each engine context has one eDR record
// (Edr_App_init) with the document list, the count of documents still
// being destroyed on workers, the default property table and the hook
// words each new document copies.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/style/prop.h"
#include "core/task/lock.h"

struct EngineContext;
struct Edr_Doc;
struct Edr_Node;
struct EventProc;
struct Request;
struct StrTable;
struct Url;
struct VfsHandle;
struct WorkerJob;
struct LoadProgress;
struct DocRequestTable;
struct RedirectState;
struct Edr_HandlerDesc;
struct Edr_AttrRecord;
struct Edr_Selection;
struct StyleRule;
struct Edr_StyleCtx;

// ----------------------------------------------------------------- hooks

// The image hook (hookContext, node cell, a, b) and page hook words.
typedef int (*Edr_ImageHookFn)(void *hookContext, void *cell, intptr_t a, intptr_t b);
typedef int (*Edr_PageHookFn)(void *hookContext, void *cell, intptr_t a, intptr_t b);
// The display hooks: the display manager installs them on the application
// record and every document created afterwards copies them. The area hook
// hears that an area of a page changed (sub-code, mode 0 an area record or
// mode 1 a whole page, a thumbnail flag, an interrupt word and an optional
// progress record); the object hook that an object's area must be redrawn;
// the thumbnail hook that a page's thumbnail is out of date. Each gets the
// argument word first and returns 0 or an error.
struct DispmanArea;
typedef int (*Edr_AreaHookFn)(EngineContext *argument, uint32_t subCode, int32_t mode,
                              const DispmanArea *area, int32_t notifyThumbnails, uint32_t interrupt,
                              const intptr_t *progress);
typedef int (*Edr_ObjectHookFn)(EngineContext *argument, const DispmanArea *area, int32_t mode,
                                const intptr_t *progress);
typedef int (*Edr_ThumbHookFn)(EngineContext *argument, uint32_t kind, Edr_Doc *document,
                               int32_t pageKey, uint32_t pageKind);
struct Edr_DisplayHooks {
    EngineContext *argument;
    Edr_AreaHookFn areaChanged;
    Edr_ObjectHookFn objectChanged;
    Edr_ThumbHookFn thumbnail;
};

// The importer's save callback: write the document to target.
typedef int (*Edr_SaveFn)(Edr_Doc *doc, const Url *target);
// The loader's node test (document, word, out).
typedef int (*Edr_NodeTestFn)(Edr_Doc *doc, intptr_t word, intptr_t *out);
// The ancestor test (document, node, in/out flag).
typedef int (*Edr_AncestorTestFn)(Edr_Doc *doc, Edr_Node *node, int *flag);

// ---------------------------------------------------------------- records

enum : uint32_t {
    Edr_defaultPropCount = 155,
    Edr_typeCodeNew = 225,
    Edr_mimeIdUnknown = 36,
    Edr_referrerUnread = 3,
    Edr_maxDepth = 7,
    Edr_featurePageOnDemand = 4,
};

// A document job: {job, key, word}.
struct Edr_DocJob {
    WorkerJob *job;
    intptr_t key;
    intptr_t word;
};

// Keyed groups: {key, three group slots, next}.
struct Edr_KeyedGroup {
    intptr_t key;
    Edr_Node *groups[3];
    Edr_KeyedGroup *next;
};

// Numbered groups: {number, group, next}.
struct Edr_NumberedGroup {
    uint32_t number;
    Edr_Node *group;
    Edr_NumberedGroup *next;
};

// The source's load details (stream information code 8): four strings
// and two words, copied.
struct Edr_SourceDetails {
    char16_t *strings[4];
    uint32_t words[2];
};

// The translator's page-on-demand control record.
struct Edr_LoadItem;

struct Edr_TranslateAux {
    Edr_LoadItem *head; // deferred loads: the queue's first item
    Edr_LoadItem *tail; // and its last
    Lock lock;
    int32_t count; // 1 at creation
};

// The page-list record: the page-list lock, its owner, the view record
// (whose first word heads the page-entry list), the shared lists and the
// selection.
struct Edr_PageList {
    RwLock lock;
    Edr_Doc *owner;
    void *view;
    void *sharedLists;
    Edr_Selection *selection;
    // Page-added notices held back while a layout pass publishes many
    // pages at once (Edr_Page_holdNotices): the hold depth, whether a page
    // was added meanwhile and the position of the first one added.
    uint32_t noticesHeld;
    uint32_t heldAdded;
    uint32_t heldPosition;
};

// The words of the small records list of the spreadsheet side.
struct Edr_SubRecords {
    intptr_t lead;  // the word before the list, kept
    void *list;     // records chained through their fourth word
    intptr_t trail; // the word after the list, kept
};

// The table of node attachments (document/edr/attach.h): its entry
// array first, then the entries in use and the room.
struct Edr_SideRecord {
    void *buffer;
    uint32_t count;
    uint32_t capacity;
};

// The manager's words (the manager module decides their use).
struct Edr_MgrWords {
    Lock lock;
    void *record;        // the manager's own record, freed at destruction
    intptr_t layoutWord; // a word of layout's (Edr_Doc_setLayoutWord)
    intptr_t words[12];
};

struct Edr_Doc {
    Lock mutex;
    uint32_t refCount;
    uint32_t viewCount;
    int32_t pendingLoads;
    RwLock treeLock;
    uint32_t closed;
    uint32_t closing;
    uint32_t extraFlags;
    Edr_Node *root;
    Edr_Node *unlinked; // head of the unlinked chain
    StrTable *strings;
    Lock translateLock;
    uint32_t translating;
    WorkerJob *translateJob;
    uint32_t pageOnDemand;
    Edr_KeyedGroup *keyedGroups;
    Edr_NumberedGroup *numberedGroups;
    uint32_t featureFlags;
    int32_t sourceWord; // the word of stream information code 4 (-1 when absent)
    char16_t *mimeType;
    uint64_t sourceSize; // the source stream's size (information code 0; 0 when absent)
    uint32_t mimeId;
    uint32_t typeCode;
    VfsHandle *sourceStream;
    uint32_t jobCount;
    uint32_t jobCapacity;
    Edr_DocJob **jobs;
    Url *url;
    Url *baseUrl;
    char16_t *targetName;
    Edr_Doc *parent; // not counted
    Edr_Node *hostNode;
    char16_t *auxText;
    uint32_t charset;
    DocRequestTable *requests;
    RedirectState *redirect;
    Edr_AttrRecord *freeRecords;
    uint32_t stopFlag;
    EventProc *events;
    intptr_t eventsSide[4];
    Edr_MgrWords manager;
    Edr_Doc *nextDoc;
    uint32_t serial;
    EngineContext *app;
    uint32_t markFlag;
    uint32_t mode;
    uint32_t spare;
    void **fonts;
    uint32_t fontCapacity;
    uint32_t fontCount;
    LoadProgress *loadStats;
    Edr_TranslateAux *translateAux;
    uint16_t stamp;
    uint32_t sourceLoadState; // the source's load state (stream information code 7)
    uint32_t secureLeaveAnswer;
    Sem questionSem;
    Edr_SourceDetails *sourceDetails;
    uint32_t variantFlag;
    uint32_t startFlag;
    uint32_t depth;
    Edr_HandlerDesc *handler;
    void *loaderData;
    uint32_t referrerPolicy;
    uint32_t selectedRootChild;
    uint32_t translateState;
    Edr_PageList *pageList;
    Edr_SubRecords subRecords;
    Edr_SideRecord *sideRecord;
    Lock hookLock;
    void *hookContext;
    void *hookSpare;
    Edr_ImageHookFn imageHook;
    Edr_PageHookFn pageHook;
    Edr_SaveFn callbackA;
    Edr_NodeTestFn nodeTest;
    Edr_AncestorTestFn ancestorTest;
    Edr_StyleCtx *styleCtx;        // style sets: defaults, rule index, buffers (document/style)
    Edr_DisplayHooks displayHooks; // copied from the application record at creation
    void *currentForm;             // the form record the HTML tree builder is filling, or null
    void **ownedControls; // form widgets that go with their group nodes (html/forms/form.h)
    uint32_t ownedCount;
    uint32_t ownedCapacity;
};

// The application's eDR record.
struct Edr_App {
    Lock lock;
    Edr_Doc *firstDoc;
    uint32_t docCounter;
    uint32_t pendingDestroys;
    Sem destroyed; // count 0, max 1: signalled when pendingDestroys reaches 0
    intptr_t zero1;
    intptr_t zero2;
    uint32_t reflowLimit; // text size limit for reflow, 16.16 points (0x80000: 8.0)
    intptr_t zero3;
    Prop *defaults; // 155 default property values
    uint32_t rejectWidth;
    uint32_t rejectHeight;
    void *block;             // owned, null at creation
    uint32_t options;        // bit 0: documents' dispatchers run in inline mode
    intptr_t navigationMode; // focus navigation: 0 links and form controls, 1 images, 2 none
    void *hookContext;
    void *hookSpare;
    Edr_ImageHookFn imageHook;
    Edr_PageHookFn pageHook;
    Edr_DisplayHooks displayHooks; // copied by every new document (the display manager's)
    const struct AppDocCallbacks *docCallbacks; // the application's document callbacks
                                                // (document/edr/appdoc.h; null: none)
};

// ------------------------------------------------------------ application

// Creates the application's eDR record into app->edrApp. 0, 1 when memory
// runs out, Res_slotInUse when there is one already.
[[nodiscard]] int Edr_App_init(EngineContext *app, uint32_t options);
// Waits until no document is being destroyed on a worker, then frees the
// record (null allowed). From a task.
void Edr_App_fini(EngineContext *app);
// The application's eDR record, or null.
Edr_App *Edr_App_get(EngineContext *app);

// -------------------------------------------------------------- lifecycle

// Creates an empty document with one reference into *doc and its root group
// (no extra reference) into *root. 0 or an error; on failure everything
// made is undone and both outs are null.
[[nodiscard]] int Edr_Doc_create(EngineContext *app, Edr_Doc **doc, Edr_Node **root);
// The same, marking the document a variant.
[[nodiscard]] int Edr_Doc_createVariant(EngineContext *app, Edr_Doc **doc, Edr_Node **root);

// Adds a document reference (null allowed).
void Edr_Doc_addRef(Edr_Doc *doc);
// Drops a reference the caller holds (null allowed). The last one closes
// and destroys the document; while views remain the record stays as a
// closed stub until the last view goes.
void Edr_Doc_release(Edr_Doc *doc);
// *out = doc with a new reference while it is alive, else null.
void Edr_Doc_tryAddRef(Edr_Doc *doc, Edr_Doc **out);
// Drops one reference only when more than one is held; 1 when it did.
int Edr_Doc_dropRefKeep(Edr_Doc *doc);

// View references (null allowed).
void Edr_Doc_getView(Edr_Doc **out, Edr_Doc *doc);
void Edr_Doc_addView(Edr_Doc *doc);
void Edr_Doc_releaseView(Edr_Doc *doc);

int Edr_Doc_isSame(const Edr_Doc *a, const Edr_Doc *b);

// The translator's side of translateLock.
int Edr_Doc_stopTranslation(Edr_Doc *doc);
void Edr_Doc_startTranslation(Edr_Doc *doc, WorkerJob *job);
WorkerJob *Edr_Doc_detachTranslation(Edr_Doc *doc);
int Edr_Doc_claimTranslation(Edr_Doc *doc);
void Edr_Doc_endTranslation(Edr_Doc *doc);

// Document jobs: queued as "f" with a record {job, key, word} as argument
// (entry(record)); Res_docClosing when the document is closing.
typedef void (*Edr_DocJobFn)(void *record);
[[nodiscard]] int Edr_Doc_startJob(Edr_Doc *doc, intptr_t key, int32_t priority, Edr_DocJobFn entry,
                                   intptr_t word, Edr_DocJobFn cancel, size_t stack);
uint32_t Edr_Doc_jobCount(Edr_Doc *doc);
// Cancels, waits for and frees every job with the key (or all).
void Edr_Doc_cancelJobs(Edr_Doc *doc, intptr_t key);
void Edr_Doc_cancelAllJobs(Edr_Doc *doc);

// Stops the image loading of the whole tree on a worker.
void Edr_Doc_stopImages(Edr_Doc *doc);
// Releases a document's last reference on a worker ("destroyDocCallback").
void Edr_Doc_destroyOnWorker(Edr_Doc *doc);

// ----------------------------------------------------------------- locks

void Edr_Doc_readLock(Edr_Doc *doc);
void Edr_Doc_readUnlock(Edr_Doc *doc);
// 0, or Res_stopRequested when the task was asked to stop while waiting (lock
// not held).
[[nodiscard]] int Edr_Doc_writeLock(Edr_Doc *doc);
void Edr_Doc_writeLockWait(Edr_Doc *doc);
void Edr_Doc_writeUnlock(Edr_Doc *doc);
void Edr_Page_readLockList(Edr_Doc *doc);
void Edr_Page_readUnlockList(Edr_Doc *doc);
[[nodiscard]] int Edr_Page_writeLockList(Edr_Doc *doc);
// 0, or Res_readersPresent when readers are inside (lock not held).
[[nodiscard]] int Edr_Page_tryWriteLockList(Edr_Doc *doc);
void Edr_Page_writeUnlockList(Edr_Doc *doc);

// ------------------------------------------------------------- properties
// Getters take the read lock, setters the write lock (returning its error);
// strings and URLs handed out are new copies owned by the caller.

[[nodiscard]] int Edr_Doc_getUrl(Edr_Doc *doc, Url **out);
[[nodiscard]] int Edr_Doc_setUrl(Edr_Doc *doc, const Url *url);
[[nodiscard]] int Edr_Doc_setUrlFromStream(Edr_Doc *doc, VfsHandle *stream);
// baseUrl, else url; 1 when neither exists.
[[nodiscard]] int Edr_Doc_getBaseUrl(Edr_Doc *doc, Url **out);
// Rewrites every group URL as absolute against the old base, then switches.
[[nodiscard]] int Edr_Doc_setBaseUrl(Edr_Doc *doc, const Url *url);
[[nodiscard]] int Edr_Doc_resolveUrl(Edr_Doc *doc, const char16_t *relative, Url **out);
[[nodiscard]] int Edr_Doc_getMimeType(Edr_Doc *doc, char16_t **out, uint32_t *id);
[[nodiscard]] int Edr_Doc_setMimeType(Edr_Doc *doc, const char16_t *mime, uint32_t id);
uint32_t Edr_Doc_getTypeCodeLocked(Edr_Doc *doc);
[[nodiscard]] int Edr_Doc_setTypeCode(Edr_Doc *doc, uint32_t code);
void Edr_SourceDetails_free(Edr_SourceDetails *info);
[[nodiscard]] int Edr_Doc_setTargetName(Edr_Doc *doc, const char16_t *chars, uint32_t n);
[[nodiscard]] int Edr_Doc_copyTargetName(Edr_Doc *doc, char16_t **out);
[[nodiscard]] int Edr_Doc_setAuxText(Edr_Doc *doc, const char16_t *chars, uint32_t n);
[[nodiscard]] int Edr_Doc_copyAuxText(Edr_Doc *doc, char16_t **out);
[[nodiscard]] int Edr_Doc_setCharset(Edr_Doc *doc, uint32_t charset);
uint32_t Edr_Doc_getCharset(Edr_Doc *doc);
// Installs the name table (owned by the document from now on; the previous
// one is destroyed).
[[nodiscard]] int Edr_Doc_setStringTable(Edr_Doc *doc, StrTable *table);
[[nodiscard]] int Edr_Doc_internString(Edr_Doc *doc, const char16_t *chars, uint32_t n,
                                       uint32_t *id);
[[nodiscard]] int Edr_Doc_internStringZ(Edr_Doc *doc, const char16_t *chars, uint32_t *id);
[[nodiscard]] int Edr_Doc_lookupString(Edr_Doc *doc, uint32_t id, char16_t **out);
uint32_t Edr_Doc_getStartFlag(Edr_Doc *doc);
[[nodiscard]] int Edr_Doc_setStartFlag(Edr_Doc *doc);
[[nodiscard]] int Edr_Doc_clearStartFlag(Edr_Doc *doc);
[[nodiscard]] int Edr_Doc_setMode(Edr_Doc *doc, uint32_t mode);
uint32_t Edr_Doc_getMode(Edr_Doc *doc);
uint32_t Edr_Doc_parentMarkFlag(Edr_Doc *doc);
[[nodiscard]] int Edr_Doc_markRootChild(Edr_Doc *doc, uint32_t index);
uint32_t Edr_Doc_getSelectedRootChild(Edr_Doc *doc);
// Marks the root child at index as a page not loaded yet (the change scan
// of pages on demand picks it up); with count set the change is queued.
// 0 or the lock error.
[[nodiscard]] int Edr_Doc_markPlaceholder(Edr_Doc *doc, uint32_t index, int count);
[[nodiscard]] int Edr_Doc_dropPage(Edr_Doc *doc, uint32_t index, int drop);
// The same for a page group in hand (a child of the root; any other node
// changes nothing), without the walk to its index.
[[nodiscard]] int Edr_Doc_dropPageNode(Edr_Doc *doc, Edr_Node *page, int drop);
[[nodiscard]] int Edr_Doc_setTranslateState(Edr_Doc *doc, uint32_t state);
uint32_t Edr_Doc_getTranslateState(Edr_Doc *doc);
[[nodiscard]] int Edr_Doc_setHandler(Edr_Doc *doc, Edr_HandlerDesc *handler);
Edr_HandlerDesc *Edr_Doc_getHandler(Edr_Doc *doc);
void Edr_Doc_setLoaderData(Edr_Doc *doc, void *data);
void *Edr_Doc_getLoaderData(Edr_Doc *doc);
void Edr_Doc_setSourceStream(Edr_Doc *doc, VfsHandle *stream);
void Edr_Doc_setLoadStats(Edr_Doc *doc, LoadProgress *stats);
LoadProgress *Edr_Doc_getLoadStats(Edr_Doc *doc);
[[nodiscard]] int Edr_Doc_chargeLoad(Edr_Doc *doc, uint32_t done, uint32_t total);
uint32_t Edr_Doc_getMarkFlagLocked(Edr_Doc *doc);
uint32_t Edr_Doc_getMarkFlag(const Edr_Doc *doc);
void Edr_Doc_setMarkFlag(Edr_Doc *doc, uint32_t on);
void Edr_Doc_setCallbackA(Edr_Doc *doc, Edr_SaveFn fn);
[[nodiscard]] int Edr_Doc_callA(Edr_Doc *doc, const Url *target);
int Edr_Doc_hasCallbackA(Edr_Doc *doc);
void Edr_Doc_setNodeTest(Edr_Doc *doc, Edr_NodeTestFn fn);
[[nodiscard]] int Edr_Doc_testNode(Edr_Doc *doc, intptr_t word, intptr_t *out);
int Edr_Doc_hasNodeTest(Edr_Doc *doc);
void Edr_Doc_setAncestorTest(Edr_Doc *doc, Edr_AncestorTestFn fn);
[[nodiscard]] int Edr_Doc_testNodeChain(Edr_Doc *doc, Edr_Node *node, int *flag);
EngineContext *Edr_Doc_getApp(const Edr_Doc *doc);
EngineContext *Edr_Doc_queryApp(Edr_Doc *doc);
// A form control shown by node changed: a = 1 for a change of size (the
// node is laid out again), b = 1 for a redraw. 0 or an error.
int Edr_Doc_controlChanged(Edr_Doc *doc, Edr_Node *node, int a, int b);
void Edr_Doc_getParentDoc(Edr_Doc *doc, Edr_Doc **out);
void Edr_Doc_getParentView(Edr_Doc **out, Edr_Doc *doc);
void Edr_Doc_findMarkedAncestor(Edr_Doc *doc, Edr_Doc **out);
[[nodiscard]] int Edr_Doc_hasLinks(Edr_Doc *doc, int *flag);
int Edr_Doc_isPageOnDemand(Edr_Doc *doc);
int Edr_Doc_callImageHook(Edr_Doc *doc, void *cell, intptr_t a, intptr_t b);
int Edr_Doc_imagesEnabled(EngineContext *app);
uint32_t Edr_Doc_getSecureLeaveAnswer(Edr_Doc *doc);
[[nodiscard]] int Edr_Doc_setSecureLeaveAnswer(Edr_Doc *doc, uint32_t answer);
void Edr_Doc_setStopFlag(Edr_Doc *doc);
// The stop-request word, read under the read lock (0 for null): non-zero
// ends a page translation.
uint32_t Edr_Doc_getStopFlag(Edr_Doc *doc);
// Feature flags: OR bits in under the write lock; 1 when all bits are set.
[[nodiscard]] int Edr_Doc_orFeatureFlags(Edr_Doc *doc, uint32_t bits);
int Edr_Doc_hasFeatureFlags(Edr_Doc *doc, uint32_t bits);
// The null-tolerant forms that the viewer and the importers call:
// ORs bits into the document's feature flags under its write lock. 0; the
// lock's error when it could not be taken (nothing changes then). A null
// document gives 0.
[[nodiscard]] int Edr_Doc_setFlags(Edr_Doc *doc, uint32_t bits);

// 1 when every bit of the mask is set in the document's feature flags (so
// a mask of 0 gives 1), read under its read lock; 0 for a null document.
int Edr_Doc_testFlags(Edr_Doc *doc, uint32_t bits);

// Identity from the source stream, then the load-state event 39/40/41.
[[nodiscard]] int Edr_Doc_setupFromStream(Edr_Doc *doc, VfsHandle *stream);
int Edr_Doc_referrerAllowed(Edr_Doc *doc, const Url *from, const Url *to);
// 1 when leaving for target may go on, 0 when refused.
int Edr_Doc_confirmLeaveSecure(EngineContext *app, Edr_Doc *doc, const Url *target, int askAgain);
// Adds a request (the table takes a reference) and queues a change.
[[nodiscard]] int Edr_Doc_addRequest(Edr_Doc *doc, Request *request);
// The first request (previous null) or the one after previous, with a
// reference; null at the end.
[[nodiscard]] int Edr_Doc_getRequest(Edr_Doc *doc, Request *previous, Request **out);
[[nodiscard]] int Edr_Doc_requestHasProp(Edr_Doc *doc, uint32_t key, uint32_t property, int *out);
[[nodiscard]] int Edr_Doc_resolveUrlProps(Edr_Doc *doc, Request *request, StyleRule *list,
                                          uint32_t property);
// The group in slot (0..2) of the keyed entry, made on demand, with a reference.
[[nodiscard]] int Edr_Doc_getKeyedGroup(Edr_Doc *doc, intptr_t key, uint32_t slot, Edr_Node **out);
// *number 0 takes the next number. The group with a reference.
[[nodiscard]] int Edr_Doc_getNumberedGroup(Edr_Doc *doc, uint32_t *number, Edr_Node **out);
[[nodiscard]] int Edr_Doc_addFont(Edr_Doc *doc, void *font);
// Registers the built-in image codecs (GIF, JPEG, BMP, WBMP, PNG, in this
// order) with the image store, stopping at the first error; a decoder whose
// getter answers null (a decoder left out of the build) is skipped. 0 or
// the error.
[[nodiscard]] int Edr_App_registerImageCodecs(EngineContext *app);

// ---------------------------------------------------- unlocked accessors

uint32_t Edr_Doc_getTypeCode(const Edr_Doc *doc);
DocRequestTable *Edr_Doc_requestTable(const Edr_Doc *doc);
StrTable *Edr_Doc_stringTable(const Edr_Doc *doc);
void *Edr_Page_listHead(const Edr_Doc *doc);
void *Edr_Page_listHead2(const Edr_Doc *doc);
// Stores the current stamp in *copy; 1 when it differed.
int Edr_Doc_stampChanged(const Edr_Doc *doc, uint16_t *copy);
// Asks the parent document (a frame's page) to lay out and draw again.
void Edr_Doc_nudgeParent(Edr_Doc *doc);
int Edr_Doc_needsManager(Edr_Doc *doc);
void Edr_Doc_setLayoutWord(Edr_Doc *doc, intptr_t word);

// ------------------------------------------------------ view rectangles

// The part of a view's display record that the rectangle accessors use:
// its own lock, the four-word rectangle and the current page's two size
// words.
struct DispPageSize {
    int32_t width;
    int32_t height;
};
struct DispView {
    Lock lock;
    int32_t rect[4];
    DispPageSize *currentPage;
    int32_t clip[4]; // the clip rectangle, inside rect (View_setClipRect)
};
