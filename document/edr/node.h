// eDR nodes: the document tree that importers build and layout reads.
//
// A node is a header word, a parent pointer, a next-sibling pointer and a
// payload whose layout depends on the node's type. The header word keeps
// the type in bits 0-3, a 16-bit count of handles held outside the tree in
// bits 4-19 and state bits above; a new node's word is 0x40100000 plus its
// type (enabled, changed, no handles). The tree itself holds no reference:
// a node with count 0 is dead as an anchor and, once it is on the unlinked
// chain, is collected by the manager.
//
// Nodes are created unlinked and placed by Edr_Node_insert (six modes).
// Linking and unlinking run under the document's tree write lock; counts
// change under the document mutex. Every change marks the touched nodes,
// advances the document's 16-bit structure stamp and queues a manager pass
// after the write lock is released.
//
// Readers use the locked getters (which hand out a new reference) or, when
// they hold the tree lock already (for example inside a write section), the
// unlocked accessors. Group nodes also carry attributes (class names, id,
// name, URL, property lists, event-handler records) in an extension record
// made on first use.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/style/prop.h"

struct EngineContext;
struct Edr_Doc;
struct Edr_Node;
struct Path;
struct StyleRule;
struct Url;
struct UrlPacked;
struct VfsHandle;
struct ImageHandle;
struct Request;

// ------------------------------------------------------------ header word

enum : uint32_t {
    Edr_NodeType_group = 1,
    Edr_NodeType_path = 2,
    Edr_NodeType_text = 3,
    Edr_NodeType_picture = 4,
    Edr_NodeType_subdoc = 5,
    Edr_NodeType_data = 6,
    Edr_NodeType_image = 7,
    Edr_NodeType_blob = 8,
    Edr_NodeType_drawList = 9,
    Edr_NodeType_grid = 10,

    Edr_Node_typeMask = 0xF,
    Edr_Node_countShift = 4,
    Edr_Node_countUnit = 0x10,
    Edr_Node_countMask = 0xFFFF0,
    Edr_Node_changedBit = 0x100000,
    Edr_Node_selectedBit = 0x200000,
    Edr_Node_droppedBit = 0x400000,
    Edr_Node_subtypeShift = 23,
    Edr_Node_subtypeMask = 0x7800000,
    Edr_Node_notifiedBit = 0x8000000,
    Edr_Node_deletedBit = 0x20000000,
    Edr_Node_enabledBit = 0x40000000,
    Edr_Node_newFlags = 0x40100000, // enabled and changed, count 0

    Edr_Node_maxCount = 0xFFFF, // a count at this value takes no more references
};

// Group subtypes (header bits 23-26).
enum : uint32_t {
    Edr_Subtype_none = 0,
    Edr_Subtype_formControl = 1,
    Edr_Subtype_formValue = 2,
    Edr_Subtype_word = 4,
    Edr_Subtype_url = 5,
};

// Insertion modes of Edr_Node_insert.
enum : int32_t {
    Edr_Insert_detach = 0,
    Edr_Insert_firstChild = 1,
    Edr_Insert_lastChild = 2,
    Edr_Insert_before = 3,
    Edr_Insert_after = 4,
    Edr_Insert_replace = 5,
};

struct Edr_GroupExt;

// Payload of a group (type 1).
struct Edr_Group {
    uint32_t element; // the importer's element or kind code
    uint32_t *ids;    // owned, ascending, 0-terminated interned class names (or null)
    Edr_Node *firstChild;
    Edr_Node *lastChild;
    void *subtypeValue; // form control, form value, word, or owned Url (subtype 5)
    void *extra;        // layout's record (owned, freed with Mem_free)
    Edr_GroupExt *ext;  // attributes, made on first use
};

// Payload of a text node (type 3): length + 1 units follow, NUL-terminated.
struct Edr_TextNode {
    char16_t *chars; // points at the units that follow
    uint32_t length;
};

// Payload of a picture record node (type 4).
struct Edr_PictureRecord {
    intptr_t words[3];
    void *buffer;        // the fourth word
    intptr_t ownsBuffer; // the fifth word: the buffer is freed with the record
};
struct Edr_PictureNode {
    Edr_PictureRecord *record; // owned
    intptr_t callerWords[2];   // the last two words given to Edr_Node_createTriple
};

// Payload of a sub-document node (type 5).
struct Edr_SubdocNode {
    Edr_Doc *child;       // one counted reference
    int32_t placement[6]; // the first is a 16.16 scale
    intptr_t pageKey;
    intptr_t pageKind;
};

// Payload of an image node (type 7).
struct Edr_ImageNode {
    uint32_t loadState; // low three bits: 0, 1, 2 or 4
    Edr_Doc *owner;
    ImageHandle *image; // image handle, or null
    intptr_t zero;
    Url *imageUrl; // owned
    int32_t placement[5];
    uint32_t imageFlags;
};

// Payload of a blob node (type 8): length bytes follow.
struct Edr_BlobNode {
    uint32_t length;
};

// The shared record of drawing-list nodes (type 9).
struct Edr_DrawList {
    int32_t bounds[4];
    uint32_t count;
    uint32_t shares;
    int32_t words[1]; // count words
};

// Frees the record of a grid record node.
typedef void (*Edr_RecordFreeFn)(void *record);

// Payload of a grid record node (type 10).
struct Edr_GridNode {
    void *record;                // the spreadsheet's grid-layout record, freed with the node
    Edr_RecordFreeFn freeRecord; // frees record (null: the record is not freed)
};

struct Edr_Node {
    uint32_t flags;       // the header word
    Edr_Node *parentNode; // null for the root and unlinked nodes
    Edr_Node *next;       // next sibling, or the unlinked chain's link
    // the payload follows
};

// An event-handler attribute record of a group.
struct Edr_AttrRecord {
    uint32_t key;    // event type
    uint32_t key2;   // phase: 1 capture, 0 target and bubble
    char16_t *value; // owned handler text
    intptr_t word;
    Edr_AttrRecord *next;
};

// Group extension record.
struct Edr_GroupExt {
    uint32_t nameId;     // interned name
    int16_t tabIndex;    // values above 32767 are stored as 0
    uint16_t urlFlag;    // 1 when the URL was given with a non-zero flag
    uint32_t idName;     // interned "#" + id
    StyleRule *props[3]; // property lists 0 to 2 (owned)
    char16_t *text;      // owned
    UrlPacked *url;      // owned, packed
    uint32_t labelId;    // interned
    Edr_AttrRecord *records;
};

// A node event (posted to the document's dispatcher as a kind-5 message).
struct Edr_NodeEvent {
    uint32_t action;      // 2 user action, 3 notice, 5 modification
    uint32_t type;        // event type
    uint32_t ownsTarget;  // the record holds a reference on target
    intptr_t relayout;    // for action 5: lay the document out again
    intptr_t queueChange; // for action 5 with relayout: queue a change (else redraw the node)
    intptr_t more[6];
    intptr_t extra; // the c argument of Edr_Node_postOnce
    uint32_t cancelled;
    uint32_t defaultPrevented;
    Edr_Node *target;
};

// Walk visitors: 0 or an error; *stop ends the walk with 0; *skip keeps
// the walk out of the node's children.
typedef int (*Edr_PreVisitFn)(Edr_Node *node, int *stop, int *skip, void *context);
typedef int (*Edr_PostVisitFn)(Edr_Node *node, int *stop, void *context);
// A getter for Edr_Node_getWith: the node it finds from node (lent), or null.
typedef Edr_Node *(*Edr_NodeGetterFn)(Edr_Node *node);

// ------------------------------------------------------------- payloads

// The payload address of a node (null for null).
void *Edr_Node_payload(Edr_Node *node);
void *Edr_Node_payloadOrNull(Edr_Node *node);
Edr_Group *Edr_Node_group(Edr_Node *node);
Edr_TextNode *Edr_Node_textPayload(Edr_Node *node);
Edr_ImageNode *Edr_Node_imagePayload(Edr_Node *node);
Edr_SubdocNode *Edr_Node_subdocPayload(Edr_Node *node);

// -------------------------------------------------------------- creation

// *out = a new unlinked node of the type with payloadBytes of zeroed
// payload and flags 0x40100000 | type. 0, or 1 with *out null.
[[nodiscard]] int Edr_Node_allocate(Edr_Node **out, uint32_t type, size_t payloadBytes);
// An unlinked group with element set and every other payload word zero.
[[nodiscard]] int Edr_Node_newGroup(Edr_Node **out, uint32_t element);

// Creators: build the node, link it with Edr_Node_insert (anchor, mode) and
// destroy it again when linking fails (returning the error). With a
// non-null out the caller receives the node with one reference.
[[nodiscard]] int Edr_Node_createGroup(Edr_Doc *doc, Edr_Node *anchor, int32_t mode,
                                       uint32_t element, Edr_Node **out);
// 1548 when the path's scale is not 0x10000. Trims the path and embeds a
// copy; the caller's path is freed when the node was made, and also when
// it has no points (then no node is made and the result is 0); on an error
// the path stays the caller's.
[[nodiscard]] int Edr_Node_createPath(Edr_Doc *doc, Edr_Node *anchor, int32_t mode, Edr_Node **out,
                                      Path *path);
// Copies length units; NUL units become U+FFFD; length 0 stores one NUL.
[[nodiscard]] int Edr_Node_createText(Edr_Doc *doc, Edr_Node *anchor, int32_t mode, Edr_Node **out,
                                      const char16_t *chars, uint32_t length);
// A picture record node over record w1 (owned by the node once linked;
// on failure it stays the caller's).
[[nodiscard]] int Edr_Node_createTriple(Edr_Doc *doc, Edr_Node *anchor, int32_t mode,
                                        Edr_Node **out, Edr_PictureRecord *w1, intptr_t w2,
                                        intptr_t w3);
// 1550 when doc's depth is 7. Takes a reference on child and makes doc its
// parent (child's parent, hostNode and depth set under child's write lock).
[[nodiscard]] int Edr_Node_createSubdoc(Edr_Doc *doc, Edr_Node *anchor, int32_t mode,
                                        Edr_Node **out, Edr_Doc *child, const int32_t placement[6],
                                        intptr_t key, intptr_t kind);
// Swaps the child document of a sub-document node; the old child's last
// reference is released on a worker.
[[nodiscard]] int Edr_Node_replaceSubdoc(EngineContext *app, Edr_Doc *doc, Edr_Node *node,
                                         Edr_Doc *child, intptr_t key, intptr_t kind);
// A data node holding a deep copy of value.
[[nodiscard]] int Edr_Node_createData(Edr_Doc *doc, Edr_Node *anchor, int32_t mode, Edr_Node **out,
                                      const Prop *value);
[[nodiscard]] int Edr_Node_createBlob(Edr_Doc *doc, Edr_Node *anchor, int32_t mode, Edr_Node **out,
                                      const void *bytes, uint32_t length);
// Drawing lists: a new shared record (shares 1, +1 for an out pointer), a
// node sharing another's record, share adjustment and comparison.
[[nodiscard]] int Edr_Node_createDrawList(Edr_Doc *doc, Edr_Node *anchor, int32_t mode,
                                          Edr_Node **out, const int32_t *words, uint32_t count);
[[nodiscard]] int Edr_Node_shareDrawList(Edr_Doc *doc, Edr_Node *anchor, int32_t mode,
                                         Edr_Node **out, Edr_Node *source);
[[nodiscard]] int Edr_Node_adjustDrawListShares(Edr_Doc *doc, Edr_Node *node, int32_t delta);
// 0 when the node's list holds the count words of words (as
// DrawList_equal compares them), 1 otherwise.
int Edr_Node_compareDrawList(Edr_Doc *doc, const int32_t *words, uint32_t count, Edr_Node *node);
// A grid record node holding record, freed with freeRecord when the node
// goes; when the node cannot be made the record is freed at once.
[[nodiscard]] int Edr_Node_createRecordRef(Edr_Doc *doc, Edr_Node *anchor, int32_t mode,
                                           Edr_Node **out, void *record,
                                           Edr_RecordFreeFn freeRecord);

// Image nodes. The URL is copied; state 1 when bit 0 of flags is set, else
// kind. The node starts disabled.
[[nodiscard]] int Edr_Node_createImageKind(Edr_Doc *doc, Edr_Node *anchor, int32_t mode,
                                           Edr_Node **out, const Url *url,
                                           const int32_t placement[5], uint32_t flags,
                                           uint32_t kind);
[[nodiscard]] int Edr_Node_createImage(Edr_Doc *doc, Edr_Node *anchor, int32_t mode, Edr_Node **out,
                                       const Url *url, const int32_t placement[5], uint32_t flags);
// An image node over an open image (state 1 when its picture is final,
// else 4); the node takes the handle.
[[nodiscard]] int Edr_Node_createImageFrom(Edr_Doc *doc, Edr_Node *anchor, int32_t mode,
                                           Edr_Node **out, ImageHandle *image);
// An image node whose picture is read from stream (the node takes the
// stream; it is closed on failure), width x height in the producer's
// units, with the flags word.
[[nodiscard]] int Edr_Node_createImageStream(Edr_Doc *doc, Edr_Node *anchor, int32_t mode,
                                             Edr_Node **out, VfsHandle *stream, int32_t width,
                                             int32_t height, uint32_t flags);
// Reads what an image node holds; each out may be null.
void Edr_Node_getImageInfo(Edr_Doc *doc, intptr_t unused, Edr_Node *node, Url **url, int32_t *size,
                           int32_t *first, int32_t *fourth, int32_t *fifth, int *loaded);
// Moves an image node's load state (0, 1, 2 or 4) with its accounting.
void Edr_Node_setImageState(Edr_Node *node, uint32_t state);
// The image's ready callback (a changed region x, y, width, height).
void Edr_Node_imageReady(void *node, int32_t x, int32_t y, int32_t width, int32_t height);

// --------------------------------------------------------------- linking

// Links node relative to anchor (modes above). 0 or an error: 1537 dead anchor,
// 1540 anchor not a group, 1543 anchor without parent, 1545 document closing,
// 1544 node is the anchor or one of its ancestors, 48 stopped while waiting for
// the write lock, Res_missingArgument for a null document or node or a mode
// outside 0-5. Failing checks change nothing. With out, the node gets one more
// reference and is stored there.
[[nodiscard]] int Edr_Node_insert(Edr_Doc *doc, Edr_Node *anchor, int32_t mode, Edr_Node *node,
                                  Edr_Node **out);
// Unlinks the run first..last (last null: to the parent's last child) and
// appends it to the unlinked chain.
[[nodiscard]] int Edr_Node_detach(Edr_Doc *doc, Edr_Node *first, Edr_Node *last);
// Drops one reference of node and detaches it (Res_noParent for the root, 1537
// when the count is 0). Null gives 0.
[[nodiscard]] int Edr_Node_remove(Edr_Doc *doc, Edr_Node *node);
// Detaches every enabled child run of a group; disabled children stay.
[[nodiscard]] int Edr_Node_removeVisibleChildren(Edr_Doc *doc, Edr_Node *group);

// Tears a subtree down and frees it (no locks; the subtree is no longer in
// the tree or the document is being destroyed).
void Edr_Node_destroy(Edr_Doc *doc, Edr_Node *node);

// ---------------------------------------------------- reference counting

// 0 for null; Res_deadNode when the count is 0.
[[nodiscard]] int Edr_Node_checkLive(Edr_Doc *doc, Edr_Node *node);
// Under the read lock: count + 1 and *out = node, or Res_deadNode when dead.
[[nodiscard]] int Edr_Node_acquire(Edr_Doc *doc, Edr_Node *node, Edr_Node **out);
// count + 1 unless deleted (1551). 1549 when the count is at its maximum.
[[nodiscard]] int Edr_Node_addRefLive(Edr_Doc *doc, Edr_Node *node);
// count + 1 (saturates: a node at the maximum stays there; 1549 then).
[[nodiscard]] int Edr_Node_addRefLocked(Edr_Doc *doc, Edr_Node *node);
// count - 1 within the field (never below 0).
void Edr_Node_dropRefLocked(Edr_Doc *doc, Edr_Node *node);
// count - 1 when non-zero; null allowed.
void Edr_Node_dropRefOpt(Edr_Doc *doc, Edr_Node *node);
// Under the read lock: count - 1 when non-zero; null allowed.
void Edr_Node_release(Edr_Doc *doc, Edr_Node *node);
// The count of a node (for tests and diagnostics; no lock).
uint32_t Edr_Node_refCount(const Edr_Node *node);

// --------------------------------------------------------- change marking

// Under the write lock: the group's element becomes style; changed bit set.
[[nodiscard]] int Edr_Node_setStyle(Edr_Doc *doc, Edr_Node *group, uint32_t style);
// Under the write lock: a live group gets its subtype cleared and its
// changed bit set; a change is queued.
[[nodiscard]] int Edr_Node_touch(Edr_Doc *doc, Edr_Node *node);
[[nodiscard]] int Edr_Doc_collectRootChanges(Edr_Doc *doc);
// Takes every dead node of the unlinked chain (count 0), marks it deleted,
// moves a group's children to the chain and pushes it on *list (linked
// through next).
[[nodiscard]] int Edr_Doc_collectDead(Edr_Doc *doc, Edr_Node **list);
// Clears the deleted bit of every node of list and appends the list to the
// unlinked chain again.
void Edr_Doc_restoreDead(Edr_Doc *doc, Edr_Node *list);
// Frees a list made by Edr_Doc_collectDead (each node with Edr_Node_destroy).
void Edr_Doc_freeDead(Edr_Doc *doc, Edr_Node *list);

// ---------------------------------------------------------------- events

// Posts a copy of event with target node to the document's dispatcher.
// 1545 when the document is closed, Res_nodeDeleted when the node is deleted.
[[nodiscard]] int Edr_Doc_postNodeEvent(Edr_Doc *doc, Edr_Node *node, const Edr_NodeEvent *event);
// Posts the one-time modification event (action 5, type 26).
[[nodiscard]] int Edr_Node_postOnce(Edr_Doc *doc, Edr_Node *node, intptr_t a, intptr_t b,
                                    intptr_t c);
// The node event carried by a kind-5 message's payload.
void Edr_NodeEvent_fromMsg(const void *kind5Payload, Edr_NodeEvent *event);

// ------------------------------------------------------------------ walks

[[nodiscard]] int Edr_Node_walkCore(Edr_Doc *doc, Edr_PreVisitFn pre, Edr_PostVisitFn post,
                                    int groupsOnly, int holdRefs, void *context, int *stop,
                                    Edr_Node *start);
// No lock, no references. 0 for a null start; 0 without visiting when
// groupsOnly is set and start is not a group.
[[nodiscard]] int Edr_Node_walk(Edr_PreVisitFn pre, Edr_PostVisitFn post, void *context,
                                int groupsOnly, Edr_Node *start);
// The same under the read lock, holding a reference on each visited node.
[[nodiscard]] int Edr_Doc_walkLocked(Edr_Doc *doc, Edr_PreVisitFn pre, Edr_PostVisitFn post,
                                     void *context, int groupsOnly, Edr_Node *start);

// --------------------------------------------------------- locked getters
// Read lock; Res_deadNode for a dead input; *out carries a new reference or
// null.

[[nodiscard]] int Edr_Node_getWith(Edr_Doc *doc, Edr_Node *node, Edr_Node **out,
                                   Edr_NodeGetterFn getter);
[[nodiscard]] int Edr_Node_getFirstChild(Edr_Doc *doc, Edr_Node *node, Edr_Node **out);
[[nodiscard]] int Edr_Node_getLastChild(Edr_Doc *doc, Edr_Node *node, Edr_Node **out);
[[nodiscard]] int Edr_Node_getNextSibling(Edr_Doc *doc, Edr_Node *node, Edr_Node **out);
[[nodiscard]] int Edr_Node_getParent(Edr_Doc *doc, Edr_Node *node, Edr_Node **out);
[[nodiscard]] int Edr_Node_getFirstChildAny(Edr_Doc *doc, Edr_Node *node, Edr_Node **out);
[[nodiscard]] int Edr_Node_getFirstSubdoc(Edr_Doc *doc, Edr_Node *node, Edr_Node **out);
[[nodiscard]] int Edr_Doc_getRoot(Edr_Doc *doc, Edr_Node **out);
[[nodiscard]] int Edr_Doc_nthRootChild(Edr_Doc *doc, uint32_t n, Edr_Node **out);
[[nodiscard]] int Edr_Node_findAncestorByElement(Edr_Doc *doc, Edr_Node *node, uint32_t element,
                                                 Edr_Node **out);
// The group's element (Res_notGroup for a non-group).
[[nodiscard]] int Edr_Node_getStyle(Edr_Doc *doc, Edr_Node *group, uint32_t *out);
// A copy of a text node's characters (Res_notText for other nodes).
[[nodiscard]] int Edr_Node_copyText(Edr_Doc *doc, Edr_Node *node, char16_t **out);
// The grid record of a type-10 node (Res_notGridRecord for others).
[[nodiscard]] int Edr_Node_getGridRecord(Edr_Doc *doc, Edr_Node *node, void **out);

// Predicates under the read lock.
int Edr_Node_isText(Edr_Doc *doc, Edr_Node *node);
int Edr_Node_isWithin(Edr_Doc *doc, Edr_Node *node, Edr_Node *ancestor);

// ------------------------------------------------------ unlocked accessors

Edr_Node *Edr_Doc_root(const Edr_Doc *doc);
Edr_Node *Edr_Node_parent(const Edr_Node *node);
Edr_Node *Edr_Node_firstChild(const Edr_Node *node);
Edr_Node *Edr_Node_nextSibling(const Edr_Node *node);
uint32_t Edr_Node_type(const Edr_Node *node);
uint32_t Edr_Node_subtype(const Edr_Node *node);
int Edr_Node_isChanged(const Edr_Node *node);
int Edr_Node_isEnabled(const Edr_Node *node);
int Edr_Node_isFormGroup(const Edr_Node *node);
int Edr_Node_wrapsImage(const Edr_Node *node);
Edr_Node *Edr_Node_firstSubdoc(const Edr_Node *node);
int Edr_Node_hasUrl(const Edr_Node *node);
void Edr_Node_setDropped(Edr_Node *node, int on);
int Edr_Node_isDropped(const Edr_Node *node);
void *Edr_Node_getExtra(const Edr_Node *node);
void Edr_Node_setExtra(Edr_Node *node, void *extra);

// ------------------------------------------------------------- other reads

// -------------------------------------------------------- group attributes
// (doc, group, ...): the group must be live (1537) and a group (1540).

[[nodiscard]] int Edr_Node_ensureExt(Edr_Node *group);
[[nodiscard]] int Edr_Node_addId(Edr_Doc *doc, Edr_Node *group, uint32_t id);
[[nodiscard]] int Edr_Node_setIds(Edr_Doc *doc, Edr_Node *group, const uint32_t *words, uint32_t n);
[[nodiscard]] int Edr_Node_setClassNames(Edr_Doc *doc, Edr_Node *group, const char16_t *chars,
                                         uint32_t n);
[[nodiscard]] int Edr_Node_getClassNames(Edr_Doc *doc, Edr_Node *group, char16_t **out);
[[nodiscard]] int Edr_Node_copyIdList(Edr_Doc *doc, Edr_Node *group, uint32_t **out,
                                      uint32_t *count);
// Slot 0..2: setting takes over list and destroys the previous one;
// getting clones it (null when none). Other slots are ignored.
[[nodiscard]] int Edr_Node_setPropList(Edr_Doc *doc, Edr_Node *group, uint32_t slot,
                                       StyleRule *list);
[[nodiscard]] int Edr_Node_getPropList(Edr_Doc *doc, Edr_Node *group, uint32_t slot,
                                       StyleRule **out);
[[nodiscard]] int Edr_Node_setPropList0(Edr_Doc *doc, Edr_Node *group, StyleRule *list); // slot 0
[[nodiscard]] int Edr_Node_getPropList0(Edr_Doc *doc, Edr_Node *group, StyleRule **out); // slot 0
[[nodiscard]] int Edr_Node_setPropList1(Edr_Doc *doc, Edr_Node *group, StyleRule *list); // slot 1
[[nodiscard]] int Edr_Node_getPropList2(Edr_Doc *doc, Edr_Node *group, StyleRule **out); // slot 2
[[nodiscard]] int Edr_Node_setPropList2Resolved(Edr_Doc *doc, Edr_Node *group, StyleRule *list);
[[nodiscard]] int Edr_Node_setPropString(Edr_Doc *doc, Edr_Node *group, uint32_t id,
                                         const char16_t *chars);
[[nodiscard]] int Edr_Node_setIdName(Edr_Doc *doc, Edr_Node *group, uint32_t id);
[[nodiscard]] int Edr_Node_setIdText(Edr_Doc *doc, Edr_Node *group, const char16_t *chars,
                                     uint32_t n);
[[nodiscard]] int Edr_Node_getIdText(Edr_Doc *doc, Edr_Node *group, char16_t **out);
[[nodiscard]] int Edr_Node_setInternedText(Edr_Doc *doc, Edr_Node *group, const char16_t *chars,
                                           uint32_t n);
[[nodiscard]] int Edr_Node_getName(Edr_Doc *doc, Edr_Node *group, char16_t **out);
[[nodiscard]] int Edr_Node_setText(Edr_Doc *doc, Edr_Node *group, const char16_t *chars);
[[nodiscard]] int Edr_Node_copyText2(Edr_Doc *doc, Edr_Node *group, char16_t **out);
// Stores a packed copy of url (null clears it); urlFlag = flag != 0.
[[nodiscard]] int Edr_Node_setUrl(Edr_Doc *doc, Edr_Node *group, const Url *url);
[[nodiscard]] int Edr_Node_setUrlFlagged(Edr_Doc *doc, Edr_Node *group, const Url *url, int flag);
[[nodiscard]] int Edr_Node_getUrl(Edr_Doc *doc, Edr_Node *group, Url **out);
// A copy of the nearest string property id of a list 0, from node upward.
char16_t *Edr_Node_findInheritedString(Edr_Doc *doc, Edr_Node *node, uint32_t id);
[[nodiscard]] int Edr_Node_setSubtypeValue(Edr_Doc *doc, Edr_Node *group, uint32_t subtype,
                                           void *value);
[[nodiscard]] int Edr_Node_getSubtype(Edr_Doc *doc, Edr_Node *group, uint32_t *subtype,
                                      void **value);
[[nodiscard]] int Edr_Node_setEnabled(Edr_Doc *doc, Edr_Node *group, int on);
[[nodiscard]] int Edr_Node_setTabIndex(Edr_Doc *doc, Edr_Node *group, uint32_t value);
// Modes: 0 append, 1 replace every record with the same (key, key2), 2
// append only when none has them.
[[nodiscard]] int Edr_Node_addRecord(Edr_Doc *doc, Edr_Node *group, uint32_t key, uint32_t key2,
                                     intptr_t unused, const char16_t *chars, uint32_t n,
                                     intptr_t word, uint32_t mode);
[[nodiscard]] int Edr_Node_removeRecords(Edr_Doc *doc, Edr_Node *group, uint32_t key);
int Edr_Node_hasRecordWord(Edr_Doc *doc, Edr_Node *group, intptr_t word);
// The records as ' name="value"' text (new string), or null.
char16_t *Edr_Node_recordsToText(Edr_Doc *doc, Edr_Node *group);
[[nodiscard]] int Edr_Node_getAttribute(Edr_Doc *doc, Edr_Node *node, const char16_t *name,
                                        uint32_t n, char16_t **out);
// Importer content operations through the document's handler descriptor.
[[nodiscard]] int Edr_Node_replaceContent(Edr_Doc *doc, Edr_Node *group, char16_t *text);
[[nodiscard]] int Edr_Node_replaceContent2(Edr_Doc *doc, Edr_Node *group, char16_t *text);
