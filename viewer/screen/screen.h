// Screens: the drawing surfaces the display manager draws for.
//
// A Screen describes one surface (its size in its orientation, pixel
// format, resolution and pixel memory) and carries the callbacks through
// which the engine locks, presents and changes it. One ScreenSet holds the
// pixel memory and the state that all its screens share: one screen per
// orientation (0 to 3, a quarter turn each), so that turning the display
// binds the viewer to another screen of the same set. Renderers draw into
// the drawing buffer; presenting copies it into the output buffer, turned
// by the screen's orientation, and hands the output to the host
// (Host_screenUpdate). Updates can be blocked, so that many changes make
// one present, and full screen is a change of the screen's area.
//
// The screens of an engine are kept in its ScreenList
// (EngineInstance::screens), from module start to module stop; the set
// lives until the last of its screens releases it. The set's lock
// serialises buffer selection, presenting and area changes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/geom/rect.h"
#include "core/task/lock.h"

struct EngineContext;
struct HostContext;
struct Screen;

enum : uint32_t {
    Screen_flagIndirect = 1u << 3, // pixels points at a word that holds the pixel pointer
    Screen_bufferShift = 8,        // bits 8-9: the back buffer's orientation to the device
    Screen_bufferMask = 3u << 8,
    Screen_orientationShift = 10, // bits 10-11: the view's orientation (0 to 3)
    Screen_orientationMask = 3u << 10,
    Screen_defaultResolution = 106, // pixels per inch
    Screen_thirdWord = 50,

    // The host's names of the orientations 0 to 3.
    Screen_hostOrientation0 = 0x10003,
    Screen_hostOrientation3 = 0x10006,

    // Options of ScreenSet_create.
    ScreenSet_optionSingle = 1,     // one screen, no rotation, no back buffer
    ScreenSet_optionFullScreen = 2, // start in full screen

    // Host pixel format codes.
    Screen_hostFormatFirst = 0x10003,
    Screen_hostFormatLast = 0x10007,
    Screen_alignExact = 0x10000, // the host's "no alignment"

    // Operations of the lock-and-present callback.
    Screen_opLock = 0,
    Screen_opUnlock = 1,
    Screen_opPresent = 2,
};

// The lock-and-present callback: (screen, callback argument, operation,
// rectangle or null for the whole image). 0 or an error.
typedef int (*ScreenLockFn)(Screen *screen, void *argument, int32_t op, const Rect *rect);
// Gives back what the screen's callback argument holds.
typedef void (*ScreenReleaseFn)(void *argument);
// Changes the screen's area: operation 2 sets area (the old one saved),
// 3 restores the saved one, others only report; returns 1.
typedef int (*ScreenAreaFn)(Screen *screen, void *argument, int32_t op, const Rect *area);
enum : int32_t {
    Screen_areaSet = 2,
    Screen_areaRestore = 3,
    Screen_areaDone = 4,
};

struct Screen {
    uint32_t flags;     // Screen_flagIndirect; bits 8-9 the buffer's, 10-11 the view's orientation
    int32_t thirdWord;  // Screen_thirdWord (50), not read by the viewer
    int32_t index;      // position in the engine's screen list
    uint32_t format;    // PixelFormat
    int32_t resolution; // pixels per inch (106)
    int32_t width;      // the area as seen in this orientation
    int32_t height;
    int32_t fullWidth; // the whole display in this orientation
    int32_t fullHeight;
    void *pixels; // the pixels, or with Screen_flagIndirect a word holding their address
    ScreenLockFn lockOp;
    ScreenReleaseFn release;
    ScreenAreaFn areaOp;
    void *callbackArg;
    EngineContext *engine;
};

// The width and height of a screen as its view sees them: orientations 0
// and 2 give the stored width and height, 1 and 3 swap them. 0 for null.
int32_t Screen_width(const Screen *screen);
int32_t Screen_height(const Screen *screen);

// ------------------------------------------------------------ the set

// The pixel memory and the state that the screens of one set share.
struct ScreenSet {
    void *drawingBuffer;   // where renderers draw now (back or output buffer), chosen at each lock
    uint8_t *outputBuffer; // the start of the pixel memory, aligned as the host asks
    void *memory;          // the allocated pixel memory (owned)
    int32_t hostFormat;    // 0x10003 to 0x10007 as the host reported it
    Lock lock;
    EngineContext *engine;
    HostContext *host;
    int32_t refCount;   // screens that use the set
    int32_t blockCount; // update blocks raised and not yet lowered, never below 0
    int32_t pending;    // a present was asked while updates were blocked
    Rect areas[4];      // per screen index: the part of the display it shows (device orientation)
    Rect savedAreas[4]; // kept during a resize
    Rect displayArea;   // the usable part of the display as the host reports it
    int32_t backBufferTooSmall; // the current image does not fit in half the memory
    uint32_t presentCount;      // hand-overs to the host
    int32_t singleScreen;       // made without rotation support
    size_t memorySize;
    int32_t overlayPresent; // refreshed at each lock
};

// The engine's screens in list order; each screen's index is its position.
struct ScreenNode {
    Screen *screen;
    ScreenNode *next;
};
struct ScreenList {
    int32_t count;
    ScreenNode *head;
};

// Row bytes of an image: width x bytes per pixel + 3, rounded down to 4.
uint32_t Screen_rowBytes(int32_t width, uint32_t bytesPerPixel);

// Creates the set and its screens from the host's geometry: option
// ScreenSet_optionSingle makes one screen; ScreenSet_optionFullScreen (or
// "Vexlan_startFullscreen") starts every area at the whole display. 0; 1 out of
// memory; Res_nullInput without an engine or screen list, or for a geometry
// without a display or with an area larger than it; Res_screenBadFormat for a
// host format outside 0x10003-0x10007. On failure nothing is left.
[[nodiscard]] int ScreenSet_create(EngineContext *context, uint32_t options);
// Asks the host geometry again and stores the display area.
void ScreenSet_refreshArea(EngineContext *context, Screen *screen);

// ------------------------------------------------ the module and the list

// Creates the empty screen list when there is none (1 out of memory) and
// builds the text transfer table when "FV_textEdgeTuningAdjustEnable" is
// set. 0 or 1.
[[nodiscard]] int Screen_startModule(EngineContext *context);
// Destroys every screen of the list and frees the list.
void Screen_stopModule(EngineContext *context);

// A zeroed screen record of the engine. 0 or 1.
[[nodiscard]] int Screen_create(EngineContext *context, Screen **screen);
// Calls the release callback with the callback argument, then frees the
// record. Null is ignored.
void Screen_destroy(Screen *screen);

// Appends screen (first taking it out when it is there). 0; 1 out of
// memory; Res_nullInput without a context or list.
[[nodiscard]] int ScreenList_add(EngineContext *context, Screen *screen);
// Takes screen out; the screens behind it move up. Nothing when absent.
void ScreenList_remove(EngineContext *context, Screen *screen);
Screen *ScreenList_get(EngineContext *context, int32_t index);
int32_t ScreenList_count(EngineContext *context);

// The first screen whose view orientation is code, and its position in
// *index; null with the count in *index when none has it.
Screen *Screen_findByOrientation(EngineContext *context, int32_t code, int32_t *index);
// The same, but a screen at position i >= 1 is taken only when bit i - 1
// of "Vexlan_rotatedScreens" (default 1) is set.
Screen *Screen_findAllowedByOrientation(EngineContext *context, int32_t code, int32_t *index);

// ---------------------------------------------------- drawing, presenting

// The view orientation (bits 10-11) and the buffer orientation (bits 8-9).
int32_t Screen_orientation(const Screen *screen);
int32_t Screen_bufferOrientation(const Screen *screen);
// The set behind a screen made by ScreenSet_create (null otherwise).
ScreenSet *Screen_set(const Screen *screen);

// Takes the set's lock and chooses the drawing buffer: the back buffer
// (the second half of the memory) when the set has one and the view is
// turned or an overlay exists, otherwise the output buffer.
void Screen_lock(Screen *screen);
void Screen_unlock(Screen *screen);
// Presents the whole area, or only marks it pending while updates are
// blocked.
void Screen_flushUpdates(Screen *screen);
int Screen_hasPendingUpdates(Screen *screen);
// Presents the whole area whatever the block count.
void Screen_presentNow(Screen *screen);
// raise non-zero: one more block; zero: one fewer, never below 0.
void Screen_blockUpdates(Screen *screen, int raise);
// 1 when the set has a back buffer large enough for the current image.
int Screen_usesBackBuffer(Screen *screen);
// For the overlay, which composes while a present holds the set's lock:
// the back-buffer test without taking the lock; the lock taken unless the
// calling task holds it already (1 when it took it); the hand-over of the
// whole area (or pending while blocked) with the lock held.
int Screen_usesBackBufferLocked(Screen *screen);
int Screen_lockUnlessHeld(Screen *screen);
void Screen_flushLocked(Screen *screen);
// Copies the drawing buffer into destination, turned by the buffer
// orientation (16-bit pixels for the turned copies). Nothing unless the
// screen uses a back buffer.
void Screen_copyBackBuffer(Screen *screen, void *destination);
// Turns a width x height image of 16-bit pixels (rows of rowBytes(width))
// into out by orientation: 1 moves (x, y) to (height - 1 - y, x), 2 to
// (width - 1 - x, height - 1 - y), 3 to (y, width - 1 - x); out rows are
// rowBytes of the turned width. Other orientations copy nothing.
void Screen_turn16(const uint16_t *source, int32_t width, int32_t height, uint16_t *out,
                   int32_t orientation);
// Device-oriented size and the output buffer.
void Screen_getSize(Screen *screen, int32_t *width, int32_t *height, void **buffer);
void *Screen_getBuffer(Screen *screen);
// Locks, unlocks, then presents the whole area (through the callback).
void Screen_presentAll(Screen *screen);

// The display area (the set's area rectangle of this screen).
void Screen_getAreaSize(Screen *screen, int32_t *width, int32_t *height);
void Screen_getAreaOrigin(Screen *screen, int32_t *x, int32_t *y);
void Screen_setAreaOrigin(Screen *screen, int32_t x, int32_t y);
// The area origin, or (0, 0) when the screen shows the whole display while
// its area is smaller.
void Screen_getViewOrigin(Screen *screen, int32_t *x, int32_t *y);
// Calls the area callback with operation op and the rectangle (0 without
// a callback).
int Screen_callArea(Screen *screen, int32_t op, const Rect *area);
// 1 when the screen shows the whole display (width and height equal to
// the full width and height).
int Screen_isFullSize(const Screen *screen);
