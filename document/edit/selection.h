// The selection of a document and the text edits made on it.
//
// A document has at most one selection: a range of text over one or more
// nodes of one block (or one whole object), with a caret. The document
// owns the current record (in its page-list record); every other record
// is a private copy that its taker frees with Edr_Sel_free. The current
// record is read under the tree read lock and the page-list read lock and
// swapped under the tree write lock; the old record is freed after the
// lock is released.
//
// Text selection needs the two node tests that a format loader installs
// in the document (Edr_Doc_setNodeTest, Edr_Doc_setAncestorTest); without
// them no text is selectable (1558).
//
// Editing assumes the tree shape of flowing text: a block (paragraph)
// group holds run groups, each carrying a style word and a zero-terminated
// id list whose first id is the key of a style rule registered in the
// document's request table, and each run holds text nodes. VT (U+000B) is
// a line break and stays in the text; a paragraph break is a new block.
// An empty paragraph or run holds one text node with U+00A0.
#pragma once

#include <cstdint>

#include "core/geom/rect.h"
#include "document/edr/nodelist.h"

struct Edr_Doc;
struct Edr_Node;
struct Edr_Style;
struct StyleRule;

// A laid-out text run as the viewer's node visit hands it out: its box
// (16.16, ordered corners), the translation to page coordinates, its own
// matrix (null for the identity), the text node it shows, its length in
// units, the measuring record of its style (font list, size, flags,
// spacing) and its text (inside the node's text or a copy).
struct ObjTextPart;
struct Matrix;
struct LaidOutTextRun {
    int32_t corners[4];
    int32_t translation[2];
    const Matrix *matrix;
    Edr_Node *node;
    uint32_t length;
    const ObjTextPart *measure;
    const char16_t *text;
};

enum : uint32_t {
    Res_notSelectable = 1558,

    Edr_Sel_placeholder = 0x00A0, // the one character of an empty run
    Edr_Sel_lineBreak = 0x000B,   // VT

    // Selection modes of Edr_Sel_select.
    Edr_SelMode_char = 0,
    Edr_SelMode_word = 1,
    Edr_SelMode_line = 2,
    Edr_SelMode_sentence = 3,
    Edr_SelMode_block = 4,
    Edr_SelMode_caret = 5,
    Edr_SelMode_run = 6,
    Edr_SelMode_extendStart = 7,
    Edr_SelMode_extend = 8,
};

struct Edr_Selection {
    Edr_NodeList nodes;   // the selected nodes in document order, one reference each
    uint32_t startIndex;  // every builder leaves 0
    uint32_t startOffset; // first selected unit in the first node
    uint32_t endIndex;    // every builder leaves 0
    uint32_t endOffset;   // just behind the last selected unit in the last node
    uint32_t caretOffset; // caret position inside focusNode
    uint32_t hitOffset;   // the unit at which the selection was made
    Edr_Node *focusNode;  // the node holding the caret (one reference), or null
    uint32_t anchorAtEnd; // 1: the fixed end is the end (extended backwards)
};

// ------------------------------------------------------------ characters

int Edr_Sel_isWhiteSpace(char16_t c);
int Edr_Sel_isWordBreak(char16_t c);
int Edr_Sel_isSentenceEnd(char16_t c);

// ------------------------------------------------------------ node tests
// Each takes the read lock itself.

// 1 when the text node's parent's first id names a registered rule that
// holds property 34 of type 0.
int Edr_Sel_isHiddenText(Edr_Doc *doc, Edr_Node *node);
// 1 when the node (or the parent of a non-group) has a first id whose
// registered rule sets property 123.
int Edr_Node_isWholeObject(Edr_Doc *doc, Edr_Node *node);
// 1 when both node tests accept the node and it is a text node.
int Edr_Sel_isSelectable(Edr_Doc *doc, Edr_Node *node);

// The node tests of a document whose text is read but never edited (plain
// text, web pages): every node passes both, so its text can be selected and
// copied. Such a document installs no save callback and no contents hook,
// so it offers no editing.
[[nodiscard]] int Edr_Sel_readOnlyNodeTest(Edr_Doc *doc, intptr_t node, intptr_t *flag);
[[nodiscard]] int Edr_Sel_readOnlyChainTest(Edr_Doc *doc, Edr_Node *node, int *flag);
void Edr_Sel_installReadOnlyTests(Edr_Doc *doc);
// *out = the block of node with a reference, or null. 0 or an error.
[[nodiscard]] int Edr_Sel_blockOf(Edr_Doc *doc, Edr_Node *node, Edr_Node **out);
// Collects the nodes of block into list (only selectable text nodes with
// selectableOnly). 0 or an error (the list keeps what was added).
[[nodiscard]] int Edr_Sel_collect(Edr_Doc *doc, Edr_Node *block, int selectableOnly,
                                  Edr_NodeList *list);

// --------------------------------------------------------------- records

[[nodiscard]] int Edr_Sel_create(Edr_Selection **out);
// Frees a selection (null allowed), releasing its node references.
void Edr_Sel_free(Edr_Doc *doc, Edr_Selection *selection);
// *out = a copy of the current selection (null when none). 0, 1 out of
// memory, Res_deadNode for a dead focus node.
[[nodiscard]] int Edr_Sel_copy(Edr_Doc *doc, Edr_Selection **out);
// Installs selection (null allowed) as the current one; frees the old.
void Edr_Sel_set(Edr_Doc *doc, Edr_Selection *selection);
// Draws (on 1) or removes (on 0) the current selection's highlight on
// every page view. 0 or an error.
[[nodiscard]] int Edr_Sel_show(Edr_Doc *doc, int on);
// Hides and drops the current selection.
void Edr_Sel_clear(Edr_Doc *doc);
// *flag = 1 unless the node test refuses a selected node. 0 or its error.
[[nodiscard]] int Edr_Sel_isEditable(Edr_Doc *doc, int *flag);

// ------------------------------------------------------------- selecting

// Builds and installs a selection at node by mode (Edr_SelMode_*). 1558
// when the node is not selectable (mode 8 keeps the old selection then,
// every other mode clears it); 0 or an error.
[[nodiscard]] int Edr_Sel_select(Edr_Doc *doc, Edr_Node *node, uint32_t hitOffset,
                                 uint32_t caretOffset, uint32_t mode);
// Extends the selection to the text nearest the page point (x, y). 1 when
// it was extended.
[[nodiscard]] int Edr_Sel_extendToPoint(Edr_Doc *doc, int32_t x, int32_t y);
// The same for a point of page (key, kind): only that page's runs are
// measured against it, since the other pages' runs have coordinates of
// their own.
[[nodiscard]] int Edr_Sel_extendToPagePoint(Edr_Doc *doc, int32_t key, uint32_t kind, int32_t x,
                                            int32_t y);
// Selects by mode (Edr_SelMode_*) at the text under the point (x, y) of
// page (key, kind): the run holding the point and the unit nearest it.
// 4356 when no laid-out text lies under the point or the page is gone,
// 1558 when the text is not selectable; 0 or an error.
[[nodiscard]] int Edr_Sel_selectAtPoint(Edr_Doc *doc, int32_t key, uint32_t kind, int32_t x,
                                        int32_t y, uint32_t mode);
// The caret's rectangle in page coordinates and its page's key pair;
// nothing is written when the caret is on no laid-out line. 0 or an error.
[[nodiscard]] int Edr_Sel_caretRect(Edr_Doc *doc, Rect *out, int32_t pageKey[2]);
// Drops trailing hidden text nodes from the record (offsets kept). 0 or 1.
[[nodiscard]] int Edr_Sel_trimHidden(Edr_Doc *doc, Edr_Selection *selection);

// Offsets inside a laid-out run of a text node.
uint32_t Edr_Sel_runStartOffset(Edr_Doc *doc, const LaidOutTextRun *run);
// 1 inside the run, 0 at or after its end, 2 at or before its start.
int Edr_Sel_classifyOffset(Edr_Doc *doc, const LaidOutTextRun *run, uint32_t offset);
// Width (16.16) of the run's first n units; 0 when it cannot be measured.
int32_t Edr_Sel_measurePrefix(const LaidOutTextRun *run, uint32_t n);
// The unit under dx (16.16 from the run's left edge) and whether dx lies
// in its trailing half.
uint32_t Edr_Sel_runHitIndex(Edr_Doc *doc, const LaidOutTextRun *run, int32_t dx, int *trailing);

// --------------------------------------------------------------- editing

// A new NUL-terminated copy of the visible selected text and the caret in
// it; *text null without a selection. 0 or 1.
[[nodiscard]] int Edr_Sel_getText(Edr_Doc *doc, char16_t **text, uint32_t *caret);
// Replaces the selected text by text (CR starts a paragraph, VT is a line
// break, LF is dropped) and selects what was inserted (or places the
// caret). With *unchanged set on a one-node selection only the caret moves
// to startOffset + caret. 0 or an error; out of memory changes nothing.
[[nodiscard]] int Edr_Sel_replaceText(Edr_Doc *doc, const char16_t *text, uint32_t caret,
                                      int *unchanged);
[[nodiscard]] int Edr_Sel_deleteText(Edr_Doc *doc);
// The computed style of the first selected node's parent, one reference
// for the caller; null without a selection.
[[nodiscard]] int Edr_Sel_getComputedStyle(Edr_Doc *doc, Edr_Style **out);
// Property 79 of the first selected node's block: type and first payload
// word (both 0 without a selection).
[[nodiscard]] int Edr_Sel_getAlignment(Edr_Doc *doc, uint32_t *type, uint32_t *value);
// Sets property 79 = keyword in the rule of every selected block.
[[nodiscard]] int Edr_Sel_setAlignment(Edr_Doc *doc, uint32_t keyword);
// A new copy of the rule of the first selected node's parent (null when
// it has none registered).
[[nodiscard]] int Edr_Sel_getRule(Edr_Doc *doc, StyleRule **out);
// Interns rule (taking it over) and makes its key the only id of every
// selected node's parent.
[[nodiscard]] int Edr_Sel_applyRule(Edr_Doc *doc, StyleRule *rule);

// The key of a registered rule with the same properties, or a new key for
// rule, which the table then owns (*owned = 1). 0 or 1.
[[nodiscard]] int Edr_Doc_internRule(Edr_Doc *doc, StyleRule *rule, uint32_t *key, int *owned);
// *out = a new rule with the properties of the group's registered rule
// (null when the group's first id names none). 0 or an error.
[[nodiscard]] int Edr_Node_copyRule(Edr_Doc *doc, Edr_Node *group, StyleRule **out);
