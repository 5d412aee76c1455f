// Text items: drawing, hit testing and bounds through the text run walk.
#include "fonts/textitem.h"

#include "core/container/intern.h"
#include "core/geom/matrix.h"
#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/drawitem.h"
#include "fonts/textrun.h"

namespace
{

TextItemPart *partOf(ObjHeader *item)
{
    return static_cast<TextItemPart *>(Obj_part(item));
}

// The run's matrix: the item's own matrix moved to the pen, or the
// identity at the pen, then the caller's.
Matrix runMatrix(ObjHeader *item, const Matrix *matrix)
{
    const TextItemPart *p = partOf(item);
    Rect box = Obj_box(item);
    int32_t x = box.x0 + item->origin[0], y = box.y0 + item->origin[1] + p->baseline;
    Matrix m = *Matrix_identity();
    m.tx = x;
    m.ty = y;
    if (item->matrix) {
        m = *item->matrix;
        Matrix_translate(&m, x, y);
    }
    if (matrix)
        Matrix_concat(&m, matrix);
    return m;
}

int draw(EngineContext *, ObjHeader *item, const Rect *clip, const Matrix *matrix,
         const DrawTarget *target, const DrawFlags *, intptr_t)
{
    const TextItemPart *p = partOf(item);
    const ObjTextPart &t = p->base;
    Matrix m = runMatrix(item, matrix);
    // The clip in device pixels culls the glyphs outside it.
    Rect device{};
    const Rect *cull = nullptr;
    if (clip && !Rect_isInfinite(clip)) {
        Point c[4] = {
            {clip->x0, clip->y0}, {clip->x1, clip->y0}, {clip->x1, clip->y1}, {clip->x0, clip->y1}};
        if (matrix)
            Matrix_transformPoints(c, 4, c, matrix);
        Rect_boundPoints(&device, c, 4, 1);
        cull = &device;
    }
    return TextRun_outline(t.fonts, t.size, t.styleFlags, t.style, t.chars + t.start, t.count,
                           t.charSpacing, t.wordSpacing, &m, cull, target, p->colour);
}

int identify(EngineContext *, ObjHeader *, const Rect *, const Matrix *, const DrawTarget *,
             const DrawFlags *, uint32_t *amount)
{
    if (amount)
        *amount = TextItem_identifier;
    return Res_ok;
}

int bounds(EngineContext *, ObjHeader *item, Rect *out)
{
    const TextItemPart *p = partOf(item);
    const ObjTextPart &t = p->base;
    Matrix m = runMatrix(item, nullptr);
    Rect r{};
    int err = TextRun_measureXform(t.fonts, t.size, t.styleFlags, t.style, t.chars + t.start,
                                   t.count, t.charSpacing, t.wordSpacing, &m, &r);
    if (err != Res_ok)
        return err;
    Point corners[2] = {{r.x0, r.y0}, {r.x1, r.y1}};
    Rect_boundPoints(out, corners, 2, 0);
    return Res_ok;
}

struct HitData {
    int32_t x, y;
    int32_t index;
};

// A glyph is hit when the pixel lies in its advance box from the
// baseline's descent to its ascent.
int hitGlyph(GlyphWalk *walk)
{
    HitData *h = static_cast<HitData *>(walk->data);
    int32_t em = walk->size / 72;
    int64_t x0 = walk->penX * walk->unit / 65536,
            x1 = (walk->penX + walk->advance) * walk->unit / 65536;
    Point c[4] = {
        {int32_t(x0), -em / 4}, {int32_t(x1), -em / 4}, {int32_t(x1), em}, {int32_t(x0), em}};
    Matrix_transformPoints(c, 4, c, walk->runMatrix);
    Rect r;
    Rect_boundPoints(&r, c, 4, 1);
    if (h->index < 0 && h->x >= r.x0 && h->x < r.x1 && h->y >= r.y0 && h->y < r.y1)
        h->index = int32_t(walk->index);
    return Res_ok;
}

const ObjItemOps kOps = {draw, identify, bounds};

void freeParts(ObjHeader *item)
{
    TextItemPart *p = partOf(item);
    if (item->flags & Obj_formatInterned)
        InternList_release(p->format);
    p->format = nullptr;
}

} // namespace

const ObjClass TextItem_class = {&kOps, int32_t(sizeof(TextItemPart)), freeParts, Obj_itemText};

int TextItem_hitTest(ObjHeader *item, const Matrix *matrix, const DrawTarget *target, int32_t x,
                     int32_t y, int32_t *index)
{
    *index = -1;
    const TextItemPart *p = partOf(item);
    const ObjTextPart &t = p->base;
    Matrix m = runMatrix(item, matrix);
    HitData h{x, y, -1};
    int err = TextRun_walk(t.fonts, t.size, t.styleFlags & ~uint32_t(TextStyle_decorations),
                           t.style, t.chars + t.start, t.count, t.charSpacing, t.wordSpacing, &m,
                           nullptr, target, 0, hitGlyph, &h);
    if (err == Res_ok && h.index >= 0)
        *index = int32_t(t.start) + h.index;
    return err;
}

void TextItem_free(void *record)
{
    if (!record)
        return;
    Mem_free(*static_cast<void **>(record));
    Mem_free(record);
}
