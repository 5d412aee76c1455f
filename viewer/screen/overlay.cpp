// The overlay manager and its sprites (see overlay.h).
#include "viewer/screen/overlay.h"

#include <algorithm>
#include <cstring>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/eventproc.h"
#include "document/edr/docmsg.h"
#include "graphics/bitmap.h"
#include "graphics/boxitem.h"
#include "graphics/drawitem.h"
#include "graphics/image.h"
#include "graphics/imageitem.h"
#include "graphics/path.h"
#include "graphics/pixelbuf.h"
#include "fonts/textitem.h"
#include "fonts/textrun.h"
#include "fonts/fontengine.h"
#include "core/text/cstr.h"
#include "core/text/ustr.h"
#include "layout/replaced.h"
#include "viewer/dispman.h"
#include "viewer/displayitem.h"
#include "viewer/screen/screen.h"

namespace {

OverlayMgr *managerOf(EngineContext *engine)
{
    return engine && engine->instance ? engine->instance->overlay : nullptr;
}

int32_t resolutionOf(const OverlayMgr *m)
{
    return m->bitmap && m->bitmap->scale > 0 ? m->bitmap->scale : int32_t(Screen_defaultResolution);
}

// pixels = r x units / 65536 (+ 1 for sizes read back)
int32_t toPixels(int32_t units, int32_t r)
{
    return int32_t(int64_t(r) * units / 65536);
}

int32_t toUnits(int32_t pixels, int32_t r)
{
    return int32_t(int64_t(pixels) * 65536 / r);
}

// Inserts by depth: after the last sprite whose depth is not above it.
void insertSprite(OverlayMgr *m, OverlaySprite *s)
{
    s->prev = s->next = nullptr;
    if (!m->sprites) {
        m->sprites = s;
        return;
    }
    if (s->depth < m->sprites->depth) {
        s->next = m->sprites;
        m->sprites->prev = s;
        m->sprites = s;
        return;
    }
    OverlaySprite *after = m->sprites;
    while (after->next && after->next->depth <= s->depth)
        after = after->next;
    s->next = after->next;
    s->prev = after;
    if (after->next)
        after->next->prev = s;
    after->next = s;
}

bool inList(const OverlayMgr *m, const OverlaySprite *s)
{
    for (const OverlaySprite *at = m->sprites; at; at = at->next)
        if (at == s)
            return true;
    return false;
}

void unlinkSprite(OverlayMgr *m, OverlaySprite *s)
{
    if (s->prev)
        s->prev->next = s->next;
    else
        m->sprites = s->next;
    if (s->next)
        s->next->prev = s->prev;
    s->prev = s->next = nullptr;
}

void releaseTextFonts(ObjHeader *item);

// Frees the sprite record (its item, still alive, gives back its fonts).
void freeSprite(OverlaySprite *s)
{
    releaseTextFonts(s->item);
    Mem_free(s->fontName);
    Mem_free(s);
}

void freeTable(OverlayMgr *m)
{
    if (!m->table)
        return;
    for (int32_t i = 0; i < m->tableSize; i++) {
        for (OverlayNode *n = m->table[i]; n;) {
            OverlayNode *next = n->next;
            Mem_free(n->data);
            Mem_free(n);
            n = next;
        }
    }
    Mem_free(m->table);
    m->table = nullptr;
}

// Message 30 names the newly shown screen by its index (the message's
// argument word).
void onAppMessage(EngineContext *engine, EventProcMsg *msg, void *, int *)
{
    const EventProcCodeMsg *m = msg && msg->kind == EventProc_kindCode
                                    ? static_cast<const EventProcCodeMsg *>(msg->payload)
                                    : nullptr;
    if (m && m->code == Overlay_screenChanged)
        (void)Overlay_setScreen(engine, int32_t(m->argument));
}

// A new sprite around item (taken over) inserted into the list.
int addSprite(OverlayMgr *m, ObjHeader *item, int32_t x, int32_t y, const Rect &rect, int32_t depth,
              int32_t hidden, OverlaySprite **out)
{
    OverlaySprite *s = static_cast<OverlaySprite *>(Mem_calloc(1, sizeof(OverlaySprite)));
    if (!s) {
        releaseTextFonts(item);
        DisplayItem_free(item);
        return Res_noMemory;
    }
    s->item = item;
    s->x = x;
    s->y = y;
    s->x0 = rect.x0;
    s->y0 = rect.y0;
    s->x1 = rect.x1;
    s->y1 = rect.y1;
    s->depth = depth;
    s->flags = OverlaySprite_clip;
    if (hidden)
        item->flags |= Obj_hidden;
    else
        item->flags &= ~uint32_t(Obj_hidden);
    DisplayList_append(m->items, item);
    insertSprite(m, s);
    if (out)
        *out = s;
    return Res_ok;
}

Matrix *newIdentity()
{
    Matrix *m = static_cast<Matrix *>(Mem_malloc(sizeof(Matrix)));
    if (m)
        Matrix_setIdentity(m);
    return m;
}

// ---------------------------------------------------------- text sprites

// Style bits of a text sprite (bold 1, italic 2, underline 4) live in the
// item's second spare word.
uint32_t textStyle(const ObjHeader *item)
{
    return uint32_t(item->spare[1]) & 7;
}

const int32_t kUnderline[2] = {1, 0}; // one underline of the font's thickness

TextItemPart *textPart(ObjHeader *item)
{
    return item && item->cls == &TextItem_class ? static_cast<TextItemPart *>(Obj_part(item))
                                                : nullptr;
}

// The font list of a family with the style bits: style word 6 bold or 3,
// plus 0x100 italic. A null name leaves the run to the box font.
int resolveFonts(EngineContext *engine, const char *name, uint32_t style, FontList **out)
{
    *out = nullptr;
    if (!name)
        return Res_ok;
    uint32_t word = ((style & 1) ? 6u : 3u) + ((style & 2) ? 0x100u : 0u);
    const char *families[1] = {name};
    return Font_listCreate(engine->instance, families, 1, word, nullptr, out);
}

void releaseTextFonts(ObjHeader *item)
{
    if (TextItemPart *part = textPart(item)) {
        if (item->flags & DisplayItem_optFontList)
            Font_listRelease(part->base.fonts);
        part->base.fonts = nullptr;
    }
}

// Draws a text sprite line by line into the width left of its clip (or
// of the bitmap): each line takes what fits, and at least one character,
// so that a sprite too narrow for any character still comes to its end.
int drawTextLines(EngineContext *engine, OverlayMgr *m, OverlaySprite *s, const DrawTarget *target,
                  const DrawFlags *flags)
{
    ObjHeader *item = s->item;
    TextItemPart *part = textPart(item);
    int32_t right = (s->flags & OverlaySprite_clip) ? s->x1 : m->bitmap->width;
    int32_t avail = right - s->x;
    if (avail < 1)
        return Res_ok;
    int32_t r = resolutionOf(m);
    int64_t width = int64_t(avail) * 65536 / r;
    if (item->matrix && item->matrix->a > 0)
        width = width * 65536 / item->matrix->a; // back into the item's own units
    int32_t maxWidth = width > 0x7FFFFFFF ? 0x7FFFFFFF : int32_t(width);
    const ObjItemOps *ops = Obj_itemOps(item);
    ObjTextPart saved = part->base;
    int32_t savedY = item->origin[1];
    uint32_t at = saved.start, left = saved.count;
    int64_t lineY = savedY;
    int result = Res_ok;
    while (left > 0 && result == Res_ok) {
        uint32_t fitted = 0;
        Rect extent{0, 0, 0, 0};
        result = TextRun_measureFit(saved.fonts, saved.size, saved.styleFlags, saved.style,
                                    saved.chars + at, left, 0, 0, maxWidth, &fitted, &extent);
        if (result != Res_ok)
            break;
        if (fitted == 0)
            fitted = 1;
        if (fitted > left)
            fitted = left;
        part->base.start = at;
        part->base.count = fitted;
        item->origin[1] = int32_t(lineY);
        result = ops->draw(engine, item, Rect_getInfinite(), &m->transform, target, flags, 0);
        // The next line starts two thirds of this line's height further on.
        lineY -= int64_t(extent.y1 - extent.y0) * 2 / 3;
        at += fitted;
        left -= fitted;
    }
    part->base = saved;
    item->origin[1] = savedY;
    return result;
}

uint8_t *colourByte(uint32_t *colour, int32_t index)
{
    return reinterpret_cast<uint8_t *>(colour) + index;
}

// The colour word that properties 7 to 10 reach, null for other classes.
uint32_t *colourOf(ObjHeader *item)
{
    if (PathItemPart *path = PathItem_part(item))
        return &path->colour;
    if (BoxItemPart *box = BoxItem_part(item))
        return &box->background.colour;
    if (TextItemPart *text = textPart(item))
        return &text->colour;
    return nullptr;
}

} // namespace

// ----------------------------------------------------------- the manager

int Overlay_makeBitmap(EngineContext *engine, OverlayMgr *manager, void *pixels)
{
    Screen *screen = Screen_findAllowedByOrientation(engine, 0, nullptr);
    if (!screen || !manager)
        return 0;
    int32_t r = screen->resolution > 0 ? screen->resolution : int32_t(Screen_defaultResolution);
    Bitmap *bitmap = nullptr;
    if (Bitmap_create(engine, &bitmap, screen->width, screen->height, screen->format, r, pixels,
                      0) != Res_ok)
        return 0;
    Bitmap_destroy(manager->bitmap);
    manager->bitmap = bitmap;
    return 1;
}

int Overlay_createManager(EngineContext *engine, Screen *screen, void *pixels)
{
    if (!engine || !engine->instance || engine->instance->overlay)
        return 0;
    OverlayMgr *m = static_cast<OverlayMgr *>(Mem_calloc(1, sizeof(OverlayMgr)));
    if (!m)
        return 0;
    m->engine = engine;
    if (!Overlay_makeBitmap(engine, m, pixels)) {
        Mem_free(m);
        return 0;
    }
    Matrix_setIdentity(&m->transform);
    m->items = DisplayList_new();
    if (!m->items) {
        Bitmap_destroy(m->bitmap);
        Mem_free(m);
        return 0;
    }
    m->screen = screen;
    if (engine->eventProc && EventProc_addListener(engine, engine->eventProc, EventProc_kindCode,
                                                   onAppMessage, m) != Res_ok) {
        DisplayList_free(m->items);
        Bitmap_destroy(m->bitmap);
        Mem_free(m);
        return 0;
    }
    m->table = static_cast<OverlayNode **>(Mem_calloc(Overlay_tableSize, sizeof(OverlayNode *)));
    if (!m->table) {
        if (engine->eventProc)
            // A listener that is already gone needs no removing; teardown goes on.
            (void)EventProc_removeListener(engine->eventProc, EventProc_kindCode, onAppMessage, m);
        DisplayList_free(m->items);
        Bitmap_destroy(m->bitmap);
        Mem_free(m);
        return 0;
    }
    m->tableSize = Overlay_tableSize;
    engine->instance->overlay = m;
    return 1;
}

int Overlay_destroyManager(EngineContext *engine)
{
    OverlayMgr *m = managerOf(engine);
    if (!m)
        return 0;
    engine->instance->overlay = nullptr;
    if (engine->eventProc)
        // A listener that is already gone needs no removing; teardown goes on.
        (void)EventProc_removeListener(engine->eventProc, EventProc_kindCode, onAppMessage, m);
    Bitmap_destroy(m->bitmap);
    for (OverlaySprite *s = m->sprites; s;) {
        OverlaySprite *next = s->next;
        freeSprite(s);
        s = next;
    }
    DisplayList_free(m->items);
    freeTable(m);
    Mem_free(m);
    return 1;
}

int Overlay_exists(EngineContext *engine)
{
    return managerOf(engine) ? 1 : 0;
}

int Overlay_resetBitmap(EngineContext *engine)
{
    OverlayMgr *m = managerOf(engine);
    if (!m)
        return 1;
    void *pixels = m->bitmap ? m->bitmap->pixels : nullptr;
    if (!Overlay_makeBitmap(engine, m, pixels)) {
        Overlay_destroyManager(engine);
        return 0;
    }
    return 1;
}

int Overlay_setScreen(EngineContext *engine, int32_t index)
{
    OverlayMgr *m = managerOf(engine);
    if (!m)
        return 1;
    Screen *screen = ScreenList_get(engine, index);
    if (!screen)
        return 0;
    m->screen = screen;
    // When the overlay cannot redraw now, the change shows at the screen's next present.
    (void)Overlay_redrawAll(engine);
    return 1;
}

int Overlay_redrawAll(EngineContext *engine)
{
    OverlayMgr *m = managerOf(engine);
    if (!m || !m->sprites || !m->screen)
        return 0;
    // A present calls this with the set's lock held; a direct redraw takes it.
    int took = Screen_lockUnlessHeld(m->screen);
    if (!Screen_usesBackBufferLocked(m->screen)) {
        if (took)
            Screen_unlock(m->screen);
        return 0;
    }
    Screen_copyBackBuffer(m->screen, m->bitmap->pixels);
    DrawFlags flags{};
    for (uint32_t i = 0; i < uint32_t(DrawQuality_count); i++)
        flags.quality[i] = 15;
    int result = 1;
    for (OverlaySprite *s = m->sprites; s && result; s = s->next) {
        ObjHeader *item = s->item;
        if (!item || (item->flags & Obj_hidden))
            continue;
        Rect clip{s->x0, s->y0, s->x1, s->y1};
        DrawTarget target{m->bitmap, (s->flags & OverlaySprite_clip) ? &clip : nullptr, s->x, s->y};
        const ObjItemOps *ops = Obj_itemOps(item);
        if ((s->flags & OverlaySprite_text) && textPart(item)) {
            if (drawTextLines(engine, m, s, &target, &flags) != Res_ok)
                result = 0;
        } else if (ops && ops->draw &&
                   ops->draw(engine, item, Rect_getInfinite(), &m->transform, &target, &flags, 0) !=
                       Res_ok) {
            result = 0;
        }
    }
    Screen_flushLocked(m->screen);
    if (took)
        Screen_unlock(m->screen);
    return result;
}

// ------------------------------------------------------------- sprites

int Overlay_createSpriteFromImage(EngineContext *engine, const Url *url, int32_t x, int32_t y,
                                  uint32_t alpha, OverlaySprite **sprite, int32_t depth,
                                  int32_t hidden)
{
    if (sprite)
        *sprite = nullptr;
    OverlayMgr *m = managerOf(engine);
    if (!m)
        return Res_nullInput;
    ImageHandle *image = nullptr;
    int r =
        Image_openUrlFlags(engine, url, nullptr, nullptr, nullptr, Overlay_imageOpenFlags, &image);
    if (r != Res_ok)
        return r;
    int32_t info[6] = {};
    r = Image_getDocImageInfo(image, info, nullptr, nullptr);
    if (r != Res_ok) {
        ImageHandle_release(image);
        return r;
    }
    int32_t w = info[0], h = info[1];
    Matrix *transform = newIdentity();
    if (!transform) {
        ImageHandle_release(image);
        return Res_noMemory;
    }
    DisplayItem *item = nullptr;
    // The item is measured at the bitmap's resolution: one image pixel to
    // one screen pixel.
    r = DisplayItem_newImage(engine, nullptr, &item, 0, 0, transform, image, (alpha & 0xFF) << 24,
                             7);
    if (!item)
        return r == Res_ok ? Res_noMemory : r;
    int32_t res = resolutionOf(m);
    Rect box{0, 0, toUnits(w, res), toUnits(h, res)};
    Obj_setBox(item, &box);
    ImageItem_part(item)->resolution = res;
    ImageItem_part(item)->width = w;
    ImageItem_part(item)->height = h;
    return addSprite(m, item, x, y, Rect{x, y, x + w, y + h}, depth, hidden, sprite);
}

int Overlay_addImageItemSprite(EngineContext *engine, const int32_t size[2], int32_t x, int32_t y,
                               uint32_t alpha, OverlaySprite **sprite, int32_t depth,
                               int32_t hidden)
{
    if (sprite)
        *sprite = nullptr;
    OverlayMgr *m = managerOf(engine);
    if (!m || !size)
        return Res_nullInput;
    PixelBuf *pixels = nullptr;
    int r = PixelBuf_create(&pixels, size[0], size[1], Pixel_format565, 0x10000);
    if (r != Res_ok)
        return r;
    Matrix *transform = newIdentity();
    if (!transform) {
        PixelBuf_destroy(pixels);
        return Res_noMemory;
    }
    DisplayItem *item = nullptr;
    r = DisplayItem_newPixelImage(engine, nullptr, &item, 0, 0, transform, pixels,
                                  (alpha & 0xFF) << 24, resolutionOf(m), 7);
    if (!item)
        return r == Res_ok ? Res_noMemory : r;
    return addSprite(m, item, x, y, Rect{x, y, x + size[0], y + size[1]}, depth, hidden, sprite);
}

int Overlay_addLineSprite(EngineContext *engine, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                          uint32_t colour, int32_t width, OverlaySprite **sprite, int32_t depth,
                          int32_t hidden)
{
    if (sprite)
        *sprite = nullptr;
    OverlayMgr *m = managerOf(engine);
    if (!m)
        return Res_nullInput;
    int32_t r = resolutionOf(m);
    Path *path = nullptr;
    int err = Path_create(&path, 0x10000);
    if (err != Res_ok)
        return err;
    err = Path_moveTo(path, 0, 0);
    if (err == Res_ok)
        err = Path_lineTo(path, toUnits(x1 - x0, r), toUnits(y1 - y0, r));
    if (err != Res_ok) {
        Path_destroy(path);
        return err;
    }
    // Round caps at both ends, a miter join.
    PathPaint stroke{1, {0x28, toUnits(width, r) + 1, 131072 / r, 65536 / r, 65536 / r, 0}};
    DisplayItem *item = nullptr;
    err = DisplayItem_newPath(engine, nullptr, &item, 0, 0, nullptr, path, &stroke, colour, 7);
    if (!item)
        return err == Res_ok ? Res_noMemory : err;
    Rect rect{std::min(x0, x1), std::min(y0, y1), std::max(x0, x1) + 1, std::max(y0, y1) + 1};
    return addSprite(m, item, x0, y0, rect, depth, hidden, sprite);
}

int Overlay_addTextSprite(EngineContext *engine, const char16_t *text, const char *fontName,
                          int32_t size, uint32_t style, int32_t x, int32_t y, uint32_t colour,
                          OverlaySprite **sprite, int32_t depth, int32_t hidden)
{
    if (sprite)
        *sprite = nullptr;
    OverlayMgr *m = managerOf(engine);
    if (!m)
        return Res_nullInput;
    FontList *fonts = nullptr;
    int err = resolveFonts(engine, fontName, style, &fonts);
    if (err != Res_ok)
        return err;
    char *name = fontName ? Cstr_dup(fontName) : nullptr;
    Matrix *transform = newIdentity();
    if (!transform || (fontName && !name)) {
        Mem_free(transform);
        Mem_free(name);
        Font_listRelease(fonts);
        return Res_noMemory;
    }
    DisplayItem *item = nullptr;
    err = DisplayItem_newText(engine, nullptr, &item, 0, 0, transform, text, fonts,
                              int32_t(uint32_t(size) << 16), colour, 7);
    TextItemPart *part = err == Res_ok ? textPart(item) : nullptr;
    if (err == Res_ok && !part)
        err = Res_unexpectedKind; // the maker handed back an item of another kind
    if (err != Res_ok) {
        if (item) {
            releaseTextFonts(item);
            DisplayItem_free(item);
        } else {
            Font_listRelease(fonts);
        }
        Mem_free(name);
        return err;
    }
    item->spare[1] = style & 7;
    part->base.styleFlags = (style & 4) ? 1u : 0u;
    part->base.style = (style & 4) ? kUnderline : nullptr;
    Rect extent{};
    if (style & 4)
        (void)DisplayItem_measureText(item, &extent); // the underline may reach lower
    else
        extent = Obj_box(item);
    int32_t r = resolutionOf(m);
    Rect rect{x + toPixels(extent.x0, r), y + toPixels(extent.y0, r), x + toPixels(extent.x1, r),
              y + toPixels(extent.y1, r)};
    OverlaySprite *made = nullptr;
    err = addSprite(m, item, x, y, rect, depth, hidden, &made);
    if (err != Res_ok) {
        Mem_free(name);
        return err; // addSprite freed the item; its font list goes with it below
    }
    made->fontName = name;
    if (sprite)
        *sprite = made;
    return Res_ok;
}

void Overlay_setSpriteTransform(OverlaySprite *sprite, Matrix *matrix)
{
    if (sprite)
        DisplayItem_setTransform(sprite->item, matrix);
    else
        Mem_free(matrix);
}

int Overlay_removeSprite(EngineContext *engine, OverlaySprite **sprite)
{
    OverlayMgr *m = managerOf(engine);
    if (!m || !sprite || !*sprite)
        return 0;
    OverlaySprite *s = *sprite;
    if (!inList(m, s))
        return 1;
    unlinkSprite(m, s);
    ObjHeader *item = s->item;
    freeSprite(s);
    DisplayList_removeItem(m->items, item);
    *sprite = nullptr;
    return 0;
}

// ------------------------------------------------------------ properties

int Overlay_getProperty(EngineContext *engine, OverlaySprite *sprite, int32_t property, void *value)
{
    OverlayMgr *m = managerOf(engine);
    if (!m || !sprite || !sprite->item || !value)
        return Res_nullInput;
    ObjHeader *item = sprite->item;
    int32_t *out = static_cast<int32_t *>(value);
    int32_t r = resolutionOf(m);
    Rect box = Obj_box(item);
    const Matrix *t = item->matrix ? item->matrix : Matrix_identity();
    switch (property) {
    case OverlayProp_x: *out = sprite->x; return Res_ok;
    case OverlayProp_y: *out = sprite->y; return Res_ok;
    case OverlayProp_depth: *out = sprite->depth; return Res_ok;
    case OverlayProp_width: *out = toPixels(box.x1 - box.x0, r) + 1; return Res_ok;
    case OverlayProp_height: *out = toPixels(box.y1 - box.y0, r) + 1; return Res_ok;
    case OverlayProp_scaleX: *out = t->a; return Res_ok;
    case OverlayProp_scaleY: *out = t->d; return Res_ok;
    case OverlayProp_colour0:
    case OverlayProp_colour0 + 1:
    case OverlayProp_colour0 + 2:
    case OverlayProp_colour0 + 3: {
        int32_t index = property - OverlayProp_colour0;
        if (ImageItemPart *image = ImageItem_part(item)) {
            *out = index == 3 ? int32_t(image->alpha) : 0;
            return Res_ok;
        }
        uint32_t *colour = colourOf(item);
        if (!colour)
            return Res_ok; // other classes: no value
        *out = *colourByte(colour, index);
        return Res_ok;
    }
    case OverlayProp_clip: *out = int32_t(sprite->flags & OverlaySprite_clip); return Res_ok;
    case OverlayProp_textFlag: *out = int32_t(sprite->flags & OverlaySprite_text); return Res_ok;
    case OverlayProp_rectX0: *out = sprite->x0; return Res_ok;
    case OverlayProp_rectY0: *out = sprite->y0; return Res_ok;
    case OverlayProp_rectWidth: *out = sprite->x1 - sprite->x0; return Res_ok;
    case OverlayProp_rectHeight: *out = sprite->y1 - sprite->y0; return Res_ok;
    case OverlayProp_hidden: *out = (item->flags & Obj_hidden) ? 1 : 0; return Res_ok;
    case OverlayProp_userB: *out = (DisplayItem_userBits(item) & (1u << 9)) ? 2 : 0; return Res_ok;
    case OverlayProp_userA: *out = (DisplayItem_userBits(item) & (1u << 8)) ? 1 : 0; return Res_ok;
    case OverlayProp_shapeStrokeWidth:
        if (BoxItemPart *shape = BoxItem_part(item)) {
            *out = toPixels(shape->borders[0].width, r);
            return Res_ok;
        }
        return Res_notImplemented;
    case OverlayProp_shapeStroke0:
    case OverlayProp_shapeStroke0 + 1:
    case OverlayProp_shapeStroke0 + 2:
    case OverlayProp_shapeStroke0 + 3:
        if (BoxItemPart *shape = BoxItem_part(item)) {
            *out = *colourByte(&shape->borders[0].colour, property - OverlayProp_shapeStroke0);
            return Res_ok;
        }
        return Res_notImplemented;
    case OverlayProp_pathStrokeWidth:
        if (PathItemPart *path = PathItem_part(item)) {
            *out = toPixels(path->paint->stroke[1], r);
            return Res_ok;
        }
        return Res_notImplemented;
    case OverlayProp_text:
        if (TextItemPart *text = textPart(item)) {
            *static_cast<const char16_t **>(value) = text->base.chars;
            return Res_ok;
        }
        return Res_notImplemented;
    case OverlayProp_fontSize:
        if (TextItemPart *text = textPart(item)) {
            *out = text->base.size;
            return Res_ok;
        }
        return Res_notImplemented;
    case OverlayProp_fontName:
        if (textPart(item)) {
            *static_cast<const char **>(value) = sprite->fontName;
            return Res_ok;
        }
        return Res_notImplemented;
    case OverlayProp_style:
        if (textPart(item)) {
            *out = int32_t(textStyle(item));
            return Res_ok;
        }
        return Res_notImplemented;
    default: return Res_notImplemented;
    }
}

int Overlay_setProperty(EngineContext *engine, OverlaySprite *sprite, int32_t property,
                        const void *value)
{
    OverlayMgr *m = managerOf(engine);
    if (!m || !sprite || !sprite->item || !value)
        return Res_nullInput;
    ObjHeader *item = sprite->item;
    bool pointer = property == OverlayProp_image || property == OverlayProp_text ||
                   property == OverlayProp_fontName;
    int32_t v = pointer ? 0 : *static_cast<const int32_t *>(value);
    int32_t r = resolutionOf(m);
    switch (property) {
    case OverlayProp_x: sprite->x = v; return Res_ok;
    case OverlayProp_y: sprite->y = v; return Res_ok;
    case OverlayProp_depth:
        if (!inList(m, sprite))
            return Res_notFound;
        unlinkSprite(m, sprite);
        sprite->depth = v;
        insertSprite(m, sprite);
        return Res_ok;
    case OverlayProp_scaleX:
    case OverlayProp_scaleY: {
        if (v == 0)
            return Res_ok;
        if (!item->matrix) {
            item->matrix = newIdentity();
            if (!item->matrix)
                return Res_noMemory;
        }
        (property == OverlayProp_scaleX ? item->matrix->a : item->matrix->d) = v;
        return Res_ok;
    }
    case OverlayProp_colour0:
    case OverlayProp_colour0 + 1:
    case OverlayProp_colour0 + 2:
    case OverlayProp_colour0 + 3: {
        int32_t index = property - OverlayProp_colour0;
        if (ImageItemPart *image = ImageItem_part(item)) {
            if (index != 3)
                return Res_notImplemented;
            image->alpha = uint32_t(v) & 0xFF;
            return Res_ok;
        }
        uint32_t *colour = colourOf(item);
        if (!colour)
            return Res_notImplemented;
        *colourByte(colour, index) = uint8_t(v);
        return Res_ok;
    }
    case OverlayProp_clip:
        sprite->flags =
            (sprite->flags & ~uint32_t(OverlaySprite_clip)) | (v ? OverlaySprite_clip : 0u);
        return Res_ok;
    case OverlayProp_textFlag:
        sprite->flags =
            (sprite->flags & ~uint32_t(OverlaySprite_text)) | (v ? OverlaySprite_text : 0u);
        return Res_ok;
    case OverlayProp_rectX0: {
        int32_t width = sprite->x1 - sprite->x0;
        sprite->x0 = v;
        sprite->x1 = int32_t(uint32_t(v) + uint32_t(width));
        return Res_ok;
    }
    case OverlayProp_rectY0: {
        int32_t height = sprite->y1 - sprite->y0;
        sprite->y0 = v;
        sprite->y1 = int32_t(uint32_t(v) + uint32_t(height));
        return Res_ok;
    }
    case OverlayProp_rectWidth:
        sprite->x1 = int32_t(uint32_t(sprite->x0) + uint32_t(v));
        return Res_ok;
    case OverlayProp_rectHeight:
        sprite->y1 = int32_t(uint32_t(sprite->y0) + uint32_t(v));
        return Res_ok;
    case OverlayProp_hidden:
        item->flags = (item->flags & ~uint32_t(Obj_hidden)) | ((v & 1) ? uint32_t(Obj_hidden) : 0u);
        return Res_ok;
    case OverlayProp_userB: DisplayItem_setUserBits(item, 1u << 9, v ? 1u << 9 : 0u); return Res_ok;
    case OverlayProp_userA: DisplayItem_setUserBits(item, 1u << 8, v ? 1u << 8 : 0u); return Res_ok;
    case OverlayProp_shapeStrokeWidth:
        if (BoxItemPart *shape = BoxItem_part(item)) {
            for (BoxBorder &b : shape->borders) {
                b.style = v ? uint32_t(BorderStyle_solid) : uint32_t(BorderStyle_none);
                b.width = toUnits(v, r) + 1;
            }
            return Res_ok;
        }
        return Res_notImplemented;
    case OverlayProp_shapeStroke0:
    case OverlayProp_shapeStroke0 + 1:
    case OverlayProp_shapeStroke0 + 2:
    case OverlayProp_shapeStroke0 + 3:
        if (BoxItemPart *shape = BoxItem_part(item)) {
            for (BoxBorder &b : shape->borders)
                *colourByte(&b.colour, property - OverlayProp_shapeStroke0) = uint8_t(v);
            return Res_ok;
        }
        return Res_notImplemented;
    case OverlayProp_pathStrokeWidth:
        if (PathItemPart *path = PathItem_part(item)) {
            path->paint->stroke[1] = toUnits(v, r) + 1;
            return Res_ok;
        }
        return Res_notImplemented;
    case OverlayProp_text: {
        TextItemPart *text = textPart(item);
        Rect extent{};
        if (!text)
            return Res_notImplemented;
        int err = DisplayItem_setText(item, static_cast<const char16_t *>(value));
        if (err)
            return err;
        (void)DisplayItem_measureText(item, &extent);
        return Res_ok;
    }
    case OverlayProp_fontSize: {
        TextItemPart *text = textPart(item);
        if (!text)
            return Res_notImplemented;
        text->base.size = int32_t(uint32_t(v) << 16);
        return Res_ok;
    }
    case OverlayProp_fontName:
    case OverlayProp_style: {
        TextItemPart *text = textPart(item);
        if (!text)
            return Res_notImplemented;
        const char *name =
            property == OverlayProp_fontName ? static_cast<const char *>(value) : sprite->fontName;
        uint32_t style = property == OverlayProp_style ? uint32_t(v) & 7 : textStyle(item);
        FontList *fonts = nullptr;
        char *copy = name ? Cstr_dup(name) : nullptr;
        int err = name && !copy ? int(Res_noMemory) : resolveFonts(engine, name, style, &fonts);
        if (err) {
            Mem_free(copy);
            return err;
        }
        releaseTextFonts(item);
        text->base.fonts = fonts;
        item->flags |= DisplayItem_optFontList;
        item->spare[1] = style;
        text->base.styleFlags = (style & 4) ? 1u : 0u;
        text->base.style = (style & 4) ? kUnderline : nullptr;
        Mem_free(sprite->fontName);
        sprite->fontName = copy;
        return Res_ok;
    }
    case OverlayProp_image: {
        ImageItemPart *part = ImageItem_part(item);
        if (!part || part->kind != ImageItem_handleKind)
            return Res_notImplemented;
        ImageHandle *image = nullptr;
        const Url *url = static_cast<const Url *>(value);
        int err = Image_openUrlFlags(engine, url, nullptr, nullptr, nullptr, Overlay_imageOpenFlags,
                                     &image);
        if (err)
            return err;
        int32_t info[6] = {};
        (void)Image_getDocImageInfo(image, info, nullptr, nullptr);
        // The item stays (its transform, colour and bits with it); only its
        // picture changes.
        if (item->flags & Obj_ownsData)
            ImageHandle_release(part->handle);
        part->handle = image;
        part->width = info[0];
        part->height = info[1];
        item->flags |= Obj_ownsData;
        Rect box{0, 0, toUnits(info[0], r), toUnits(info[1], r)};
        Obj_setBox(item, &box);
        return Res_ok;
    }
    default: return Res_notImplemented;
    }
}
