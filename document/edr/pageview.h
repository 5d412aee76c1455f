// The records of a document's page list that its view keeps: the
// document's highlight style record, which heads the page-entry list
// (document/edr/page.h) and holds the focus, the highlight colours and the
// thumbnail window, and the page views of a page entry. The viewer fills
// and reads them; the document model keeps the page list in them.
#pragma once

#include <cstdint>

#include "core/task/lock.h"

struct Edr_Doc;
struct Edr_Node;
struct Edr_PageEntry;
struct HighlightRecord;
struct LaidOutTextRun;
struct ObjHeader;
struct ScrollBox;

// An area of a page to bring into view, in page units {x0, y0, x1, y1}.
struct FvArea {
    int32_t rect[4];
};

// The document's highlight style record (one per document): its first
// word heads the page-entry list (document/edr/page.h). It holds the focus
// (the focused node with a reference, the display item it was set from,
// its kind: 0 drawn in the focus colours, non-zero in the active colours,
// the rectangle of its highlight and the last reported focus area), the
// four highlight colours (0xAABBGGRR), the thumbnail maximum (the width of
// the page window, 0 for none) and the current page window {first, last}
// (-1, -1 when there is none).
struct SearchSlot;
struct HighlightStyle {
    Edr_PageEntry *pages;
    Lock lock;
    Edr_Node *focusNode;
    ObjHeader *focusPart;
    int32_t focusKind;
    int32_t focusRect[4];
    FvArea reported;    // the last focus area handed to the view to show
    int32_t focusEntry; // index of the page entry that shows the focus
    intptr_t selectionWords[8];
    uint32_t focusBorder;
    uint32_t focusFill;
    uint32_t activeBorder;
    uint32_t activeFill;
    int32_t thumbMax;
    int32_t windowFirst;
    int32_t windowLast;
    // Kept by the page list under its write lock, so that publishing and
    // looking up pages in order costs no walk from the head: the entry
    // touched last and its index (null after a removal), and the number of
    // entries marked stale.
    Edr_PageEntry *hint;
    uint32_t hintIndex;
    uint32_t staleCount;
    // The document's animation tick (viewer/anim/anim.h), guarded by the
    // document's mutex: ticks since it was last started and its timer.
    uint32_t tickCount;
    uint32_t tickTimer;
    // The document's text search (viewer/search/search.h), made on first use.
    SearchSlot *search;
};

// A view of one laid-out page in the display: the viewer's record, of
// which the selection reads the chain link and the key pair of its page.
struct PageView {
    PageView *next;
    int32_t pageKey[2];
    Edr_Doc *doc;                // with the page key, the view's identity in change reports
    uint32_t kind;               // PageView_leaf or PageView_group
    int32_t box[4];              // x0, y0, x1, y1 in view units
    ObjHeader *items;            // a leaf's display items, chained
    PageView *firstChild;        // a group's first child view
    HighlightRecord *highlights; // the highlight list, drawn with the page
    int32_t origin[2];           // the view's origin on its page
    ScrollBox *scrollBox;        // a view whose content scrolls by itself (viewer/anim/anim.h)
};
enum : uint32_t {
    PageView_leaf = 0,
    PageView_group = 4,
};

// Called for each laid-out run of a node; 0 goes on, anything else stops
// the visit with that value.
typedef int (*Select_RunVisitFn)(LaidOutTextRun *run, void *context);

// A page's one view as the document keeps it on the page entry: a leaf
// for page (key, kind) of doc, without items until the page's record is
// attached. Null when memory runs out.
PageView *Select_createPageView(Edr_Doc *doc, int32_t key, uint32_t kind);
