// Text items: drawing and bounds through the text run walk.
#include "fonts/textitem.h"

#include "core/container/intern.h"
#include "core/geom/matrix.h"
#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/drawitem.h"
#include "fonts/textrun.h"

namespace {

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

void TextItem_free(void *record)
{
    if (!record)
        return;
    Mem_free(*static_cast<void **>(record));
    Mem_free(record);
}
