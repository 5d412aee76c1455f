// Frame sets: an HTML document made of frames.
//
// Such a document is not laid out as a flow. While its markup is parsed,
// every frameset element opens a frame-set record and every frame element
// adds a frame record with its size, border, margins, name and source;
// when the document is complete each frame becomes an embedded
// sub-document of the computed size. This module keeps that state, splits a
// rows or cols length list over the space of a frame set, and creates the
// frames. Lengths are 16.16 inches; pixel values are converted at 96 pixels
// per inch. The state belongs to one document load and has no lock.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;
struct Edr_Doc;
struct Edr_Node;
struct FrameRec;
struct FrameSetRec;
struct FrameLength;
struct Url;

struct FrameRec {
    int32_t height; // 16.16 inches
    int32_t width;
    int32_t position[2];  // the parser's two position words
    int32_t marginWidth;  // -1 unset
    int32_t marginHeight; // -1 unset
    int32_t frameBorder;  // 1 at creation
    Url *source;          // owned, or null
    Edr_Node *node;       // the frame's node (a counted reference), or null
    Edr_Doc *doc;         // the node's document
    uint32_t rowKind;     // length kind of the row (FrameLength_*)
    uint32_t columnKind;
    uint32_t widthMark;
    uint32_t heightMark;
    char16_t *name;     // owned, or null
    FrameRec *next;     // the next frame of the set
    FrameRec *prevLast; // the set's last frame when this one was added
};

struct FrameSetRec {
    int32_t size[2];         // entries of the set's rows and cols lists (0 for one)
    int32_t cursor;          // frames placed in the current row of the set
    int32_t words[2];        // the set's width and height (16.16), from the frame it fills
    FrameSetRec *next;       // the next frame set, in the order opened
    FrameSetRec *enclosing;  // the frame set open around it, or null
    FrameSetRec *openBefore; // the frame set open before it, or null
    FrameRec *first;         // its frames in order
    FrameRec *last;
    // The grid: row heights and column widths with their kinds (null for a
    // single row or column, which fills the set), and the cells handed out.
    FrameLength *rows;
    FrameLength *cols;
    uint32_t placed;
};

struct FrameState {
    uint32_t bodySeen;
    uint32_t framesetMode;
    int32_t words[4];
    FrameRec *current; // the frame attributes go to (the root frame outside sets)
    FrameRec *root;
    FrameSetRec *firstSet;
    FrameSetRec *lastSet;
    FrameSetRec *openSet; // null when none is open
};

// Length kinds of a rows or cols list entry.
enum : uint32_t {
    FrameLength_percent = 0,
    FrameLength_pixels = 1,
    FrameLength_relative = 2, // "*"
};

struct FrameLength {
    uint32_t kind;
    int32_t value;
};

enum : int32_t {
    FrameState_rootWidth = 0x84000, // 8.25 inches
    FrameState_rootHeight = 445644, // 6.8 inches
    FrameState_borderSize = 2730, // 1/24 inch (4 pixels), taken from each side of a bordered frame
    FrameState_maxDigits = 10,    // digits read of one list entry
};

// *out = a new state whose root frame has the viewport's size (magnitudes
// of viewport[0] width, viewport[1] height) when viewport is given and
// either is non-zero, else 8.25 by 6.8 inches; margins -1. 0; 1 when memory
// runs out (*out null).
[[nodiscard]] int FrameState_create(const int32_t *viewport, FrameState **out);
// Frees the root frame and every frame (releasing the node reference it
// still holds, its source URL and its name) and every frame-set record,
// then the state; clears *state. Null is ignored.
void FrameState_free(FrameState **state, Edr_Doc *doc);

// Forgets what a dropped tree told the state: no body seen, not a frame-set
// document, no frame sets (their frames freed), the root frame current.
void FrameState_reset(FrameState *state, Edr_Doc *doc);

int FrameState_bodySeen(const FrameState *state);
// Sets bodySeen unless the document is in frameset mode.
void FrameState_markBody(FrameState *state);
int FrameState_isFrameset(const FrameState *state);
// Sets framesetMode unless a body was seen.
void FrameState_enterFrameset(FrameState *state);
// 1 in frameset mode with no frame set open.
int FrameState_isOutsideFrameset(const FrameState *state);

// The answers that tree building asks of the frame-set state while a
// document is parsed (a null state answers 0 to each):
// frames are refused once a body was seen (frame, frameset and a further
// body are then dropped);
int FrameState_refusesFrames(const FrameState *state);
// a frame-set document holds frames only: other elements and all text are
// dropped, and the document's own margins count as 0.
int FrameState_framesOnly(const FrameState *state);
int FrameState_suppressText(const FrameState *state);
// The frameset cursor: how many frames the current row of the open frame
// set holds (0 when none is open), and the row length, the number of
// entries of its cols list (0 for a single column).
int32_t FrameState_cursor(const FrameState *state);
int32_t FrameState_rowLength(const FrameState *state);
// Sets the open frame set's cursor; nothing when none is open.
void FrameState_setCursor(FrameState *state, int32_t cursor);
// Starts a frameset element: the document becomes a frame-set document
// (unless a body was seen) and a new frame set opens inside the open one.
// 0; 1 when memory runs out.
[[nodiscard]] int FrameState_startFrameset(FrameState *state);

// Opens a new frame set inside the open one (appended to the list of frame
// sets) and makes it the open one; it fills the current frame (none: it has
// no room). 0; 1 when memory runs out.
[[nodiscard]] int FrameSet_open(FrameState *state);
// Closes the open frame set: the one open before it is open again, and the
// current frame becomes that set's last frame, or the root frame when no
// set is open.
void FrameSet_close(FrameState *state);
// Appends a frame to the open frame set and makes it current. Nothing
// outside a frame set. 0; 1 when memory runs out.
[[nodiscard]] int FrameSet_addFrame(FrameState *state, int32_t width, int32_t height,
                                    uint32_t rowKind, uint32_t columnKind, int32_t position0,
                                    int32_t position1);
// The open frame set's grid from its rows and cols lists (either null for a
// single row or column): row heights split the set's height, column widths
// its width; the set's size words become the entry counts. A set keeps the
// first grid it is given. 0; 1 when memory runs out.
[[nodiscard]] int FrameSet_setGrid(FrameState *state, const char16_t *rows, size_t rowsLength,
                                   const char16_t *cols, size_t colsLength);
// A frame (or a frame set) placed in the open frame set takes its next
// grid cell, row by row: a frame of the cell's size and kinds (position
// words: its row and column), marked as sized by the grid, becomes
// current. Past the last cell, or outside a frame set, no frame is current,
// so what follows is dropped. 0; 1 when memory runs out.
[[nodiscard]] int FrameSet_placeFrame(FrameState *state);
// Mark the current frame's width or height as given, unless its row or
// column kind is relative.
void FrameSet_markWidth(FrameState *state);
void FrameSet_markHeight(FrameState *state);
// The current frame's margin height (vertical set) or width, and border.
void FrameSet_setMargin(FrameState *state, int32_t value, int vertical);
void FrameSet_setBorder(FrameState *state, int32_t value);
// Gives the current frame its source: takes a reference to node (its document
// doc) and takes over url. Without a current frame url is freed and 0 returned;
// when the reference cannot be taken url is freed and the error (Res_deadNode
// for a dead node) returned. A frame that had a source gets the new one (the
// old URL and node reference are dropped).
[[nodiscard]] int FrameSet_setSource(FrameState *state, Edr_Node *node, Edr_Doc *doc, Url *url);
// Names the current frame with a copy of the length units of text; only
// the first name counts. 0; 1 when memory runs out.
[[nodiscard]] int FrameSet_setName(FrameState *state, const char16_t *text, size_t length);

// Splits a rows or cols list (16-bit text of length units) over the total
// size (16.16): *entries = a new array (the caller frees it with Mem_free)
// of one FrameLength per entry whose value is the entry's size, and *count
// their number; a list of one entry gets the whole size and *count 0.
// Entries: spaces skipped, "%" a percentage, "*" relative (no digits: 1),
// otherwise pixels; up to 10 digits give the value, other characters are
// ignored. Sizes: pixels at 96 per inch; percentages of the room left by
// the pixels; relative entries share the room left by both; a list of
// pixels only that is narrower than the total is stretched to it. 0; 1
// when memory runs out (*entries null, *count 0).
[[nodiscard]] int FrameSet_splitLengths(const char16_t *text, size_t length, int32_t total,
                                        FrameLength **entries, uint32_t *count);

// Creates the sub-document of every frame with a source, frame set by
// frame set and frame by frame in order (each frame current in turn): a
// bordered frame loses 2730 from its width and height where larger than
// that and loses its border otherwise; its width (height) goes negated
// when it was marked and the set's second (first) size word is set. Every
// frame's node reference is dropped afterwards. 0; 1 or 48 from the
// creation, which end the walk; other creation errors are ignored.
[[nodiscard]] int FrameState_createFrames(Edr_Doc *doc, FrameState *state);
