// Sections of a document laid out without pages (flow mode 3): every
// nested block of a section closes the section page being filled, is
// queued as a section job in the page's section list (layout/bytesrc.h)
// and a new section page is opened; a job lays its block out into section
// pages of its own when the list runs it. Every section page gets its
// background painted from the section's style. Embedded sub-documents get
// pages of their own in the list.
#pragma once

#include <cstdint>

#include "core/geom/rect.h"
#include "core/task/lock.h"
#include "document/edr/node.h"

struct ByteSrcList;
struct Edr_PageEntry;
struct Edr_PageRecRef;
struct Edr_Style;
struct LayoutBox;

// A finished section page (kind-0 entry record), freed by
// Edr_Sect_destroyPage.
struct SectionPage {
    Lock lock;              // guards box and holder
    Rect box;               // the page's extent; empty until the page is closed
    Edr_PageRecRef *holder; // the page record holding the page's items (one reference)
    LayoutBox *owner;       // the box that fills the page
    uint32_t flag;
};

// A section job (kind-1 entry record).
struct SectionJob {
    LayoutBox *box;        // a child of the box that queued the job
    Edr_Style *style;      // the block's set (one reference)
    Edr_Style *background; // the set its pages' background comes from (one reference, or null)
};

// A sub-document page (kind-2 entry record).
struct SectionSubdoc {
    Edr_SubdocNode payload; // a copy; its child holds one more reference
    Edr_PageEntry *handle;  // the open page, or null
};

// Asked about the layout of an embedded page opened in a section list: a
// non-zero answer keeps the page open.
struct ClipEntry;
int32_t Layout_pageQuery(const ClipEntry *pageLayout);

// Lets the section code prepare a section box: in flow mode 3, unless the
// document's mark flag is set, nested blocks become section jobs.
void Edr_Sect_prepareBox(LayoutBox *sectionBox);
// The nested-block operation of flow mode 3. 0 or an error.
[[nodiscard]] int Edr_Sect_layoutBlock(LayoutBox **box, Edr_Node *node, Edr_Style *style);
// Gives a sub-document node its own page in the section list. 0 or an
// error.
[[nodiscard]] int Edr_Sect_addSubdoc(LayoutBox *box, Edr_Node *node);
// Opens a section page: inserts its entry when the list is open; with
// reinit also new display lists, free area and content edges (one
// fiftieth of the list's page width each side). 0 or an error.
[[nodiscard]] int Edr_Sect_begin(LayoutBox *box, int reinit);
// Closes the section page at the list's current position: its items are
// moved up so that its bottom edge lies at 0 and handed to a new page
// record made from the box's page record; the background is painted from
// the list's information style. With freeLists the box's lists go. 0 or
// the first error.
[[nodiscard]] int Edr_Sect_end(LayoutBox *box, int freeLists);
// Closes the box's open section page and runs the queued jobs, before the
// page hands its section list on. 0 or an error.
[[nodiscard]] int Edr_Sect_finishPage(LayoutBox *box);
// Jobs.
SectionJob *Edr_Sect_newJob(LayoutBox *box, Edr_Style *style);
[[nodiscard]] int Edr_Sect_runJob(void *job, void *item, ByteSrcList *list);
void Edr_Sect_freeJob(void *job);
// Paints the page background: the background picture of property 145 and
// the colour of property 2 as a fill behind everything. 0 or an error.
[[nodiscard]] int Edr_Sect_paintBackground(Edr_Style *style, const Rect *pageBox, LayoutBox *box);
// Destroys the box's display lists and free area.
void Edr_Sect_freeLists(LayoutBox *box);

// Entry callbacks. Pages: the holder with one more reference; the extent;
// destruction. Sub-document pages: open (the layout's answer, or 0),
// close, the open page's record, destruction.
Edr_PageRecRef *Edr_Sect_pageRef(void *entry);
void Edr_Sect_pageExtent(void *entry, Rect *out);
void Edr_Sect_destroyPage(void *entry);
int Edr_Sect_openSubdocPage(void *entry);
void Edr_Sect_closeSubdocPage(void *entry);
void *Edr_Sect_subdocPageRecord(void *entry);
void Edr_Sect_freeSubdoc(void *entry);
