// The page list: a document's laid-out pages, sorted by key and kind.
//
// Layout turns the tree into page records and publishes each under a
// (key, kind) pair; the display side and the page-related engine calls
// look them up. Readers may still hold a record while layout publishes its
// successor, so lookups hand out the entry with the tree lock and the
// page-list lock held (the manager counts the access), and publishing swaps
// records under the page-list write lock and frees the replaced record only
// after that lock is dropped. The list's head is the first word of the
// document's view record (viewer/docview.h); the page-list record's RwLock
// guards it. Lock order: the tree lock, the page-list lock, the manager's
// lock.
//
// The list also keeps the page window of documents shown page by page: the
// pages around the current one whose contents the page hook is asked to
// load, all others being unloaded.
#pragma once

struct MimeSrcList;

#include <cstdint>

#include "core/task/lock.h"
#include "graphics/pagerec.h"

struct AltRect;
struct Bitmap;
struct ClipEntry;
struct EngineContext;
struct Edr_Doc;
struct Matrix;
struct ObjHeader;
struct PageView;
struct PixelBuf;
struct Point;
struct Rect;

enum : uint32_t {
    Edr_Page_noSuchPage = 4097,
    // Lookup mode bits.
    Edr_Page_treeWrite = 1, // take the tree lock for writing (else reading)
    Edr_Page_listWrite = 2, // take the page-list lock for writing (else reading)
    // Hook requests of the page window.
    Edr_PageHook_load = 0,
    Edr_PageHook_unload = 2,
};

// The page record (Edr_PageRec) and its build states: graphics/pagerec.h.

// One entry of the list: the current record of page (key, kind).
struct PageView;
struct Edr_PageEntry {
    Edr_PageRec *rec;
    PageView *views; // the viewer's views of the page, chained by their next field
    uint32_t kind;
    int32_t key;
    uint32_t tag;   // given by the publisher
    uint32_t stale; // marked for purging
    Edr_PageEntry *nextEntry;
};

// The alternate-rectangle records of page records: create from a source,
// free (null allowed), query two values, merge a new record with the old
// one. 0 or an error.
[[nodiscard]] int AltRect_create(const void *source, AltRect **out);
void AltRect_free(AltRect *record);
int AltRect_merge(AltRect *fresh, AltRect *old);
// The drawing object's two position words, read under its lock.
void AltRect_readPair(AltRect *record, int32_t *a, int32_t *b);

// The application's thumbnail side limits {minimum, maximum} (0: none),
// kept by the viewer's thumbnail settings.
void App_thumbnailLimits(EngineContext *app, int32_t *minimum, int32_t *maximum);

// A counted holder of a record chain.
struct Edr_PageRecRef {
    Lock mutex;
    Edr_PageRec *chain;
    uint32_t refs;
};

// What the document's page hook receives as its cell: the page. The hook's
// first word argument is the request (Edr_PageHook_load, _unload, or the
// caller's flag), the second 0.
struct Edr_PageRef {
    Edr_Doc *doc;
    int32_t key;
    uint32_t kind;
};

// ----------------------------------------------------------------- lookup

// Finds page (key, kind) and returns its entry in *entry with the tree
// lock and the page-list lock held as mode says, the access counted by the
// manager. 4097 (no lock held, *entry null) when absent; a stoppable write
// lock's error as it is.
[[nodiscard]] int Edr_Page_find(Edr_PageEntry **entry, Edr_Doc *doc, int32_t key, uint32_t kind,
                                uint32_t mode);
// The same by position in the list.
[[nodiscard]] int Edr_Page_findByIndex(Edr_PageEntry **entry, Edr_Doc *doc, uint32_t index,
                                       uint32_t mode);
// Ends a lookup: the manager hears that the access ended, then both locks
// are released as mode says. The entry and its record are dead for the
// caller afterwards.
void Edr_Page_release(Edr_PageEntry *entry, uint32_t mode);
// The entry's record, the next entry, the first entry of the entry's list
// (valid while the lookup's locks are held).
Edr_PageRec *Edr_Page_deref(Edr_PageEntry *entry);
Edr_PageEntry *Edr_Page_nextEntry(Edr_PageEntry *entry);
Edr_PageEntry *Edr_Page_first(Edr_PageEntry *entry);

// Under the page-list read lock. The position of (key, kind) into *index;
// 4097 when absent.
[[nodiscard]] int Edr_Page_indexOf(uint32_t *index, Edr_Doc *doc, int32_t key, uint32_t kind);
// The number of entries whose key is below key.
uint32_t Edr_Page_indexOfKey(Edr_Doc *doc, int32_t key);
// The key pair at position index; 4097 past the end.
[[nodiscard]] int Edr_Page_getKeyByIndex(int32_t *key, uint32_t *kind, Edr_Doc *doc,
                                         uint32_t index);
// The number of entries into *count; null arguments give 0 and leave
// *count as it was.
int Edr_Page_count(Edr_Doc *doc, uint32_t *count);
int Edr_Page_hasPages(Edr_Doc *doc);
// The record's bounds of page (key, kind) into out; Res_noSuchPage when absent.
[[nodiscard]] int Edr_Page_getRect(Edr_Doc *doc, int32_t key, uint32_t kind, int32_t out[4]);
// Width and height of the page in units (both 0 when absent). 0 or 4097.
[[nodiscard]] int Edr_Page_getSizeFloat(Edr_Doc *doc, int32_t key, uint32_t kind, float *width,
                                        float *height);
// The entry's tag, 0 when absent.
uint32_t Edr_Page_getTag(Edr_Doc *doc, int32_t key, uint32_t kind);

// --------------------------------------------------- alternate rectangles

int Edr_Page_hasAltRect(const Edr_PageRec *record);
// The record's bounds, or the shared default rectangle when altRect is set.
const int32_t *Edr_Page_rectOrDefault(const Edr_PageRec *record);
// Gives the record an alternate rectangle made from source (the old one
// is freed). 0 or the creation error.
[[nodiscard]] int Edr_Page_setAltRect(Edr_PageRec *record, const void *source);

// The two position words of the drawing object of page (key, kind) into
// *a and *b, read under the object's lock; a page without one leaves them
// as they are. 0, or the lookup's error (Res_noSuchPage when absent).
[[nodiscard]] int Edr_Page_objectPair(Edr_Doc *doc, int32_t key, uint32_t kind, int32_t *a,
                                      int32_t *b);

// ------------------------------------------------------------- thumbnails

// The thumbnail bounds of a record in 1/8 units, {0, 0, w, h}, fitted to
// the application's thumbnail limits. True when both sides are at least 1.
int Edr_Page_getBounds(EngineContext *app, const Edr_PageRec *record, int32_t out[4]);
// Fits the sides *w and *h to the limits {minimum, maximum} (0: none):
// a side below the minimum scales the shorter side up to it, a side above
// the maximum scales the longer side down to it, then each side is raised
// to the minimum.
void Edr_Page_fitThumb(int32_t *w, int32_t *h, int32_t minimum, int32_t maximum);

// ------------------------------------------------------------- publishing

// Publishes (record non-null) or removes (record null) page (key, kind)
// under the page-list write lock. A new page posts code 1 {1, doc, position}
// to the application's processor, a removed one code 2 {2, doc}. With
// keepTaller, a record whose y0 is unset or above the current one's is
// refused and freed. The current thumbnail moves to the new record unless
// noThumbTransfer is set (refitted when its size changed; dropped when that
// fails). Replaced records are freed after the lock is dropped. 0, 1 when
// memory runs out (the record stays the caller's then), or the lock's
// error; removing an absent page changes nothing.
// Holds back the page-added notices of Edr_Page_publishLayout while a
// layout pass publishes a run of pages: every page still goes into the
// list at once, but the application hears one notice when the last hold is
// released (Edr_Page_releaseNotices) instead of one per page, so that a
// document of thousands of pages does not wake the viewer thousands of
// times. Holds nest. 0, Res_nullInput without a page list, or the lock's error.
[[nodiscard]] int Edr_Page_holdNotices(Edr_Doc *doc);
// Releases a hold; the last release posts one page-added notice carrying
// the position of the first page added meanwhile, when any was.
[[nodiscard]] int Edr_Page_releaseNotices(Edr_Doc *doc);
[[nodiscard]] int Edr_Page_publishLayout(Edr_Doc *doc, int32_t key, uint32_t kind, uint32_t tag,
                                         Edr_PageRec *record, int keepTaller, int noThumbTransfer);
// The list step of publishing with a record, under the page-list write
// lock of doc: *old gets the replaced (or refused) record, *position the
// place, *added 1 when a new entry was made. 0 or 1.
[[nodiscard]] int Edr_Page_publish(Edr_Doc *doc, int32_t key, uint32_t kind, uint32_t tag,
                                   Edr_PageRec *record, int keepTaller, int noThumbTransfer,
                                   Edr_PageRec **old, uint32_t *position, int *added);
// Marks every entry of the key stale. 0 or the lock's error.
[[nodiscard]] int Edr_Page_markKey(Edr_Doc *doc, int32_t key);
// Removes every stale entry; posts {2, doc} when any went. 0 or the lock's
// error.
[[nodiscard]] int Edr_Page_purgeStale(Edr_Doc *doc);

// --------------------------------------------------------------- freeing

// Hands the body-source list to the record, which frees it with itself (a
// list it held before is freed now). Null record: the list is freed.
void Edr_Page_setSources(Edr_PageRec *record, MimeSrcList *sources);
// Frees a record chain (through nextRec) and what each record owns.
// Returns 0.
int Edr_Page_freeRecords(Edr_PageRec *chain);
// Frees an entry list (through nextEntry) with the records and the page
// views (through the viewer's table of context; the calling thread's when
// null); a failure to free a record stops the engine.
void Edr_Page_freeEntries(EngineContext *context, Edr_PageEntry *list);
// Frees a display-item chain (Obj_destroy on each).
void Edr_Page_freeObjects(ObjHeader *chain);

// Counted holders of a record chain: created with one reference; the last
// release frees the chain (a failure stops the engine) and the holder.
[[nodiscard]] int Edr_PageRecRef_create(EngineContext *ctx, Edr_PageRec *chain,
                                        Edr_PageRecRef **out);
void Edr_PageRecRef_addRef(Edr_PageRecRef *ref);
void Edr_PageRecRef_release(Edr_PageRecRef *ref);

// ------------------------------------------------------------ page window

// Moves the page window to the current index (documents with the start
// flag only): page-on-demand documents keep just the current page, others
// the thumbnail maximum's width of pages around it; pages leaving it are
// unloaded and pages entering it loaded through the page hook. 0 or the
// first hook error.
[[nodiscard]] int Edr_Page_updateWindow(Edr_Doc *doc, int32_t current);
// Calls the page hook under hookLock for the page at index with the
// request how. 0 without a hook, 4097 past the end, else the hook's result.
[[nodiscard]] int Edr_Page_loadByIndex(Edr_Doc *doc, uint32_t index, intptr_t how);
// Asks the page hook for one page (with flag as the request) when the view
// has no window width, the parent document's mark flag allows it, or the
// page lies in the current window. 0 when not asked.
[[nodiscard]] int Edr_Page_requestByKey(Edr_Doc *doc, int32_t key, uint32_t kind, intptr_t flag);

// Tells the document's thumbnail hook (its display hooks) that the thumbnail of
// page (key, kind) is out of date, with flag as the hook's kind. A document
// whose thumbnails are kept for a window of pages only skips pages outside it
// when flag is 0. 0 when not asked or without a hook, else the hook's result;
// Res_noSuchPage when the page is absent; Res_nullInput for null.
[[nodiscard]] int Edr_Page_notifyThumbnail(Edr_Doc *doc, int32_t key, uint32_t kind, intptr_t flag);

// ------------------------------------------------------- page background

// The screen hooks a background fill reports to: an optional routine
// called with phase 0 before the drawing and 1 after it.
struct Edr_ScreenHooks {
    void (*beginEnd)(Edr_ScreenHooks *hooks, int phase);
    void *user;
};

// Called after a successful background fill with its argument and the
// rectangle filled.
typedef void (*Edr_FillDoneFn)(void *argument, const Rect *rect);

// Fills rect (y-up pixels) of the bitmap through the bitmap's draw item as
// a rectangle: painted with the paint buffer at its origin ((0, 0) when
// none is given), else with the page's background colour (format 6); under
// the mask buffer at its origin, else the background's alpha byte; the
// cached row operation is cleared first. The hooks' routine brackets the
// drawing; after a successful drawing after(argument, rect) is called.
// Returns the drawing's result (graphics/drawitem.h).
[[nodiscard]] int Edr_Page_fillBackground(const PixelBuf *paint, const Point *paintOrigin,
                                          const PixelBuf *mask, const Point *maskOrigin,
                                          const Edr_PageRec *page, Edr_ScreenHooks *hooks,
                                          Bitmap *bitmap, const Rect *rect, Edr_FillDoneFn after,
                                          void *argument);
