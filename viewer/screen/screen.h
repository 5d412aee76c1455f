// Screens: the drawing surfaces the display manager draws for.
//
// A Screen describes one surface (its size in its orientation, pixel
// format, resolution and pixel memory) and carries the callbacks through
// which the engine locks, presents and changes it. The screen module that
// makes and presents screens comes later; the display manager's views
// (viewer/dispman.h) read the record as laid out here, and the two size
// queries below are the display side's own.
#pragma once

#include <cstdint>

struct EngineContext;
struct Rect;
struct Screen;

enum : uint32_t {
    Screen_flagIndirect = 1u << 3, // pixels points at a word that holds the pixel pointer
    Screen_orientationShift = 10,  // bits 10-11: the view's orientation (0 to 3)
    Screen_orientationMask = 3u << 10,
    Screen_defaultResolution = 106, // pixels per inch

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
// Changes the screen's area. 0 or an error.
typedef int (*ScreenAreaFn)(Screen *screen, void *argument, const Rect *area);

struct Screen {
    uint32_t flags;     // Screen_flagIndirect; bits 8-9 the buffer's, 10-11 the view's orientation
    int32_t word2;      // 50, not read by the viewer
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
