// Text search over the laid-out pages of a document.
//
// One search state per document: the normalised search text with its
// flags and two user words, and the walk state of the current search. A
// step (forward, backward or repeat) walks the text items of the pages
// from the start point or the current match, highlights the match it
// finds through the selection layer and reports an outcome to the caller's
// callback. The document is divided at the start page into region A (from
// the start page to the end) and region B (the pages before it); the phase
// says how much of the two regions has been searched:
//   0 new, or both regions searched; 1 a match in region A is current;
//   2 one region searched without a further match; 3 a match in region B
//   is current.
// Steps run under the document's read lock and the page-list read lock,
// which the caller holds (the viewer's search worker takes them).
#pragma once

#include <cstddef>
#include <cstdint>

struct Edr_Doc;
struct SearchState;
struct WorkerJob;
struct ObjHeader;
struct Point;

enum : uint32_t {
    Search_exact = 1, // flags: no case folding and no small-kana folding
};

enum : int32_t {
    // Outcome codes.
    SearchCode_none = 0,         // nothing found (both regions searched)
    SearchCode_found = 1,        // a match: rectangle and page valid
    SearchCode_startReached = 2, // nothing more back to the beginning
    SearchCode_endReached = 3,   // nothing more up to the end
    SearchCode_noText = 4,       // no search text set
    // Step directions.
    SearchDir_forward = 0,
    SearchDir_backward = 1,
    SearchDir_repeat = 2,
    // Items walked between two stop checks.
    Search_itemsPerCheck = 101,
};

// What a step reports: the code, the match rectangle in page units, the
// match's page index and the two scale words (user1 * 65536 / smallest
// text size of the match, 0 when either is 0; user2 * 65536 / largest
// text size, 0x7fffffff when either is 0).
struct SearchOutcome {
    int32_t code;
    int32_t x0, y0, x1, y1;
    int32_t page;
    int32_t scaleSmall;
    int32_t scaleLarge;
};

// Receives a step's outcome with the direction of the step.
typedef void (*SearchCallback)(void *argument, int32_t direction, const SearchOutcome *outcome);

// The search slot of a document: the normalised search text and its
// options, and the current search state.
struct SearchSlot {
    int32_t busy;    // 1 while a search state exists
    char16_t *text;  // normalised, owned
    uint32_t length; // in characters
    uint32_t flags;
    int32_t user1, user2;
    SearchState *state;
    uint32_t colour; // highlight colour 0xAABBGGRR
};

// The document's search slot, made empty on first use when create is
// non-zero (null when memory runs out or the document has no page list).
SearchSlot *Search_slot(Edr_Doc *doc, int create);

// Stores text (length units) normalised by the flags, its flags and two
// user words, and starts a new search at the start page. A null or empty
// text changes nothing and returns 0. 0 or 1 when out of memory.
[[nodiscard]] int Search_begin(Edr_Doc *doc, const char16_t *text, uint32_t length,
                               int32_t startPage, uint32_t flags, int32_t startX, int32_t startY,
                               int32_t user1, int32_t user2);
// Ends the current search and makes a fresh state in phase 0 at the start
// page. 0 or 1 when out of memory.
[[nodiscard]] int Search_newState(Edr_Doc *doc, int32_t startPage, int32_t startX, int32_t startY);
// Search_newState when a non-empty search text is stored, else 0.
[[nodiscard]] int Search_restart(Edr_Doc *doc, int32_t startPage, int32_t startX, int32_t startY);
// Makes the next step start (forward) or stop (backward) at the page.
// Returns 0, also without a state.
int Search_limitToPage(Edr_Doc *doc, int32_t page);
// One step. Without a state or search text they only report (code 4). 0, or the
// error of the walk (Res_stopRequested when the task was asked to stop), which
// is not reported and leaves the phase alone.
[[nodiscard]] int Search_forward(Edr_Doc *doc, SearchCallback callback, void *argument);
[[nodiscard]] int Search_backward(Edr_Doc *doc, SearchCallback callback, void *argument);
[[nodiscard]] int Search_repeat(Edr_Doc *doc, SearchCallback callback, void *argument);
// The phase of the current search, -1 without one.
int32_t Search_phase(Edr_Doc *doc);
// Removes the current match's highlight and frees the state (the text
// stays). A job of the search worker held by the state is cancelled and
// waited for first.
void Search_end(Edr_Doc *doc);
// Frees the state and the search text of a slot (null allowed).
void Search_free(SearchSlot *slot);

// The text shown on page (an index) from the character nearest one page
// point to the one nearest the other, in the order the page holds it, read
// as the search reads a page (drawn glyph runs included): a new
// NUL-terminated string (the caller frees it with Mem_free) and its
// length; null for a page without text. 0, Res_notFound without the page,
// Res_noMemory.
[[nodiscard]] int Search_textBetween(Edr_Doc *doc, int32_t page, const Point *a, const Point *b,
                                     char16_t **out, uint32_t *length);

// The worker job slot of the current state (null without a state).
WorkerJob **Search_jobSlot(Edr_Doc *doc);

// Characters below 33 and U+3000.
int Search_isSpace(uint32_t c);
// U+3099, U+309A, U+FF9E and U+FF9F.
int Search_isVoiceMark(uint32_t c);
// Kana that take a voice mark.
int Search_isVoiceable(uint32_t c);
// One character normalised for comparison into out: 1 or 2 characters
// (the second a combining voice mark).
int Search_normaliseChar(uint32_t c, uint32_t flags, char16_t out[2]);
// *out = text normalised character by character (owned, Mem_free), its
// length in *outLength. 0 or 1 when out of memory.
[[nodiscard]] int Search_normaliseText(const char16_t *text, uint32_t length, uint32_t flags,
                                       char16_t **out, uint32_t *outLength);
// Walks the strings of a string-table item (an item whose node is a grid
// record node): the entries of the grid's cell table in order, each
// followed along its chain of alternatives. The text runs laid out after
// the item lend their characters from these strings.
struct StrWalker {
    const void *table; // the grid's cell table (null: nothing to walk)
    ObjHeader *item;
    uint32_t index; // the table entry the next string comes from
    uint32_t chain; // its position along that entry's chain
};
// *out = a walker at the first string of the item's table (owned,
// StrWalker_free). 0; 1 when out of memory; Res_notGridRecord when the item's
// node is not a grid record node.
[[nodiscard]] int StrWalker_create(Edr_Doc *doc, ObjHeader *item, StrWalker **out);
// The next string: its characters, length and the head of its entry's
// chain (strings of one entry share it). 1, or 0 past the table's end
// (the outputs then cleared).
int StrWalker_next(StrWalker *walker, const char16_t **text, uint32_t *length, const void **entry);
void StrWalker_free(StrWalker *walker);

// The text size an item shows text of size at: with a matrix, the length
// of (size, 0) taken through the matrix's scale and turn (the floor of
// the square root of x^2 + y^2), else size.
int32_t Search_itemTextSize(const ObjHeader *item, int32_t size);

// The highlight colour drawn for a search colour: each of the three colour
// bytes c becomes min(255, c * 4 / 3); the alpha byte stays.
uint32_t Search_highlightColour(uint32_t colour);
