// The overlay: small pictures floating above the rendered page (the cursor
// and the busy indicator, lines, images) composed over the screen at every
// present, without touching the page buffers.
//
// The manager hangs off the engine instance (EngineInstance::overlay). Its
// sprites form one list ordered by depth (equal depths in insertion order);
// each sprite is a display item with a position in pixels, an optional clip
// rectangle and flags, and every attribute is read and written through one
// numbered property interface. Sprites are drawn into a bitmap over the
// screen set's output buffer, in the device's orientation and y-up pixels.
// Composing turns the back buffer into the output buffer, draws the
// visible sprites in depth order and hands the result to the host.
#pragma once

#include <cstdint>

#include "core/geom/matrix.h"

struct Bitmap;
struct EngineContext;
struct ObjHeader;
struct ObjList;
struct Screen;
struct Url;

struct OverlaySprite {
    ObjHeader *item;
    int32_t x, y;           // where the item's origin is drawn (pixels, y-up)
    int32_t x0, y0, x1, y1; // the sprite's rectangle; the clip when flags bit 0
    int32_t depth;
    char *fontName; // text sprites: the font family (owned), else null
    OverlaySprite *prev, *next;
    uint32_t flags; // OverlaySprite_*
};

enum : uint32_t {
    OverlaySprite_clip = 1u << 0,
    OverlaySprite_text = 1u << 1, // a text sprite drawn line by line

    Overlay_tableSize = 512,
    Overlay_imageOpenFlags = 0x21d,
    Overlay_screenChanged = 30, // application message code: the shown screen changed
};

// One slot chain node of the manager's table.
struct OverlayNode {
    void *data; // owned
    intptr_t word;
    OverlayNode *next;
};

struct OverlayMgr {
    ObjList *items;         // owns the display items of every sprite
    OverlaySprite *sprites; // the first sprite of the depth-ordered list
    Bitmap *bitmap;         // over the output buffer of the device-oriented screen
    Matrix transform;       // the identity
    Screen *screen;         // whose back buffer is composed
    OverlayNode **table;    // Overlay_tableSize chains, created empty
    int32_t tableSize;
    EngineContext *engine;
};

// Property ids of Overlay_getProperty and Overlay_setProperty.
enum : int32_t {
    OverlayProp_x = 0,
    OverlayProp_y = 1,
    OverlayProp_depth = 2,
    OverlayProp_width = 3,
    OverlayProp_height = 4,
    OverlayProp_scaleX = 5,
    OverlayProp_scaleY = 6,
    OverlayProp_colour0 = 7, // 7 to 10: colour bytes 0 to 3
    OverlayProp_clip = 11,
    OverlayProp_textFlag = 12,
    OverlayProp_rectX0 = 13,
    OverlayProp_rectY0 = 14,
    OverlayProp_rectWidth = 15,
    OverlayProp_rectHeight = 16,
    OverlayProp_hidden = 17,
    OverlayProp_userB = 18,
    OverlayProp_userA = 19,
    OverlayProp_shapeStrokeWidth = 20,
    OverlayProp_shapeStroke0 = 21, // 21 to 24
    OverlayProp_text = 25,         // text items: const char16_t * (get: lent)
    OverlayProp_fontSize = 26,     // text items: points (get: the 16.16 size word)
    OverlayProp_fontName = 27,     // text items: const char * (get: lent)
    OverlayProp_style = 28,        // text items: 1 bold, 2 italic, 4 underline
    OverlayProp_pathStrokeWidth = 29,
    OverlayProp_image = 30, // set only: a Url *
};

// 1 created (stored in the engine instance), 0 otherwise. pixels: the
// output buffer the sprites are drawn into.
int Overlay_createManager(EngineContext *engine, Screen *screen, void *pixels);
// Frees everything; 1 when there was a manager.
int Overlay_destroyManager(EngineContext *engine);
// 1 when the engine has an overlay manager.
int Overlay_exists(EngineContext *engine);
// A bitmap over pixels with the size, format and resolution of the allowed
// screen of orientation 0; 0 when that screen is missing or the bitmap
// cannot be made.
int Overlay_makeBitmap(EngineContext *engine, OverlayMgr *manager, void *pixels);
// After a resize: the bitmap made again over the same pixels; when that
// fails the manager is destroyed and the result is 0. 1 otherwise.
int Overlay_resetBitmap(EngineContext *engine);
// Composes the screen at index from now on and redraws: 1 (also without a
// manager), 0 when the index has no screen.
int Overlay_setScreen(EngineContext *engine, int32_t index);
// Composes the sprites over the screen's image and flushes it to the host:
// 1 done, 0 not possible (no manager, no sprite, no back buffer: the
// caller then presents itself) or a sprite failed to draw.
[[nodiscard]] int Overlay_redrawAll(EngineContext *engine);

// The adders: 0, 1 out of memory, or the error of the image step; nothing
// stays in the list on failure. *sprite gets the new sprite.
[[nodiscard]] int Overlay_createSpriteFromImage(EngineContext *engine, const Url *url, int32_t x,
                                                int32_t y, uint32_t alpha, OverlaySprite **sprite,
                                                int32_t depth, int32_t hidden);
// A sprite over a new width x height 16-bit pixel picture (the item's own).
[[nodiscard]] int Overlay_addImageItemSprite(EngineContext *engine, const int32_t size[2],
                                             int32_t x, int32_t y, uint32_t alpha,
                                             OverlaySprite **sprite, int32_t depth, int32_t hidden);
// A text sprite of text in the font family fontName (null: the box font
// that stands in for any), size points, style bits 1 bold, 2 italic, 4
// underline, colour 0xAABBGGRR. Its rectangle is the text's extent at
// (x, y). Property 12 makes it wrap line by line within its clip.
[[nodiscard]] int Overlay_addTextSprite(EngineContext *engine, const char16_t *text,
                                        const char *fontName, int32_t size, uint32_t style,
                                        int32_t x, int32_t y, uint32_t colour,
                                        OverlaySprite **sprite, int32_t depth, int32_t hidden);
// A line from (x0, y0) to (x1, y1) in pixels, colour 0xAABBGGRR, width in
// pixels.
[[nodiscard]] int Overlay_addLineSprite(EngineContext *engine, int32_t x0, int32_t y0, int32_t x1,
                                        int32_t y1, uint32_t colour, int32_t width,
                                        OverlaySprite **sprite, int32_t depth, int32_t hidden);

// Sets a property: 0, Res_nullInput without manager, sprite, item or value,
// Res_notImplemented for an unknown id or an id of another item class, or
// the error of the work it does (memory, fonts, opening a picture).
[[nodiscard]] int Overlay_setProperty(EngineContext *engine, OverlaySprite *sprite,
                                      int32_t property, const void *value);
// Reads a property into *value: 0, Res_nullInput without manager, sprite,
// item or value, Res_notImplemented for an unknown id or an id of another
// item class (*value unchanged).
[[nodiscard]] int Overlay_getProperty(EngineContext *engine, OverlaySprite *sprite,
                                      int32_t property, void *value);
// Replaces the item's transform (taken over).
void Overlay_setSpriteTransform(OverlaySprite *sprite, Matrix *matrix);
// Unlinks and frees the sprite and its item and clears *sprite: 0 (also
// without manager or sprite), 1 when the sprite is not in the list.
int Overlay_removeSprite(EngineContext *engine, OverlaySprite **sprite);
