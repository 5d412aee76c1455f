// The on-screen cursor and the busy indicator.
//
// Both are overlay sprites loaded from image files ("Vexlan_pointerBitmap",
// "Vexlan_hourglassBitmap"), drawn above everything else (depth
// 0x7fffffff), turned with the screen and kept at the same screen point
// across resizes. The cursor shows only over Word documents; the arrow
// keys move it in steps of a quarter of the pan distances, and their
// release reports the point under it. "Vexlan_cursorEnable" 0 makes no
// cursor at all: the arrow keys then pan as usual.
#pragma once

#include <cstdint>

#include "core/geom/geom.h"

struct FvViewer;
struct FvView;
struct OverlaySprite;
struct ResizeNotice;

// Called when an arrow key is released while the cursor shows: (viewer, 1,
// x, y) with the cursor's view point.
typedef void (*CursorReleaseFn)(FvViewer *viewer, int32_t code, int32_t x, int32_t y);

struct CursorState {
    int32_t visible;        // the shown document is a Word document (type id 6)
    OverlaySprite *current; // the sprite shown now (null: none)
    OverlaySprite *cursorSprite;
    OverlaySprite *busySprite;
    CursorReleaseFn onRelease;
    int32_t height; // of the sprite shown now; offsets the hot spot
    int32_t hooked; // Cursor_onKey is on the key view's hook list
};

enum : int32_t {
    Cursor_modeCursor = 0x10000,
    Cursor_modeBusy = 0x10001,
    Cursor_modeNone = 0x10002,
    Cursor_depth = 0x7fffffff,
    Cursor_wordDocType = 6,
    Cursor_edgeMargin = 10,
};

// Builds the cursor: 0 done or disabled, 1 failure (no cursor left).
int Overlay_createCursor(FvViewer *viewer, CursorReleaseFn onRelease);
// Frees the record and takes the listeners and the key hook away.
void Cursor_remove(FvViewer *viewer);
// Removes both sprites, frees the record, presents the screen.
void Cursor_destroy(FvViewer *viewer);
// Shows the cursor (0x10000, only while visible), the busy sprite
// (0x10001) or nothing (0x10002). 1 done, 0 nothing to do or failure.
int Cursor_setMode(FvViewer *viewer, int32_t mode);
// The cursor's view point. 0 without record, current sprite or visibility.
int Cursor_getViewPoint(FvViewer *viewer, Point *point);
// Moves both sprites to the middle of the screen.
void Cursor_centre(FvViewer *viewer);
// Turns both sprites' items with the view: 0, 270, 180 or 90 degrees for
// orientations 0 to 3. 1 done, 0 failure.
int Cursor_setRotation(FvViewer *viewer);
// The key hook: arrow keys move the cursor, zoom keys zoom about it, the
// release of an arrow reports its point. 1 handled.
int Cursor_onKey(FvViewer *viewer, int32_t key, int32_t repeat, int32_t phase);
// Resize listeners (codes 5 and 6).
void Cursor_onResizeStart(FvViewer *viewer, void *notice);
void Cursor_onResizeDone(FvViewer *viewer, void *notice);
// The point mappings of the current screen (o its orientation, h the
// hot-spot height).
Point Cursor_viewToSprite(int32_t o, int32_t w, int32_t h, int32_t height, int32_t x, int32_t y);
Point Cursor_spriteToView(int32_t o, int32_t w, int32_t h, int32_t height, int32_t sx, int32_t sy);
