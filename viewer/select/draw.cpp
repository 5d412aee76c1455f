// Drawing highlight records: the paint of a record (a fill in its colour,
// or an outline with the pen of its style words) built into a path draw
// item and rendered into the target.
#include "core/geom/matrix.h"
#include "core/result.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "graphics/fill.h"
#include "graphics/pixelbuf.h"
#include "viewer/select/highlight.h"

namespace {

// Sub-pixel bits of highlight shapes: the outline is a line of a few
// pixels, so a coarse grid does.
constexpr uint32_t kSubpixels = 3;

} // namespace

int Highlight_colour(const HighlightRecord *record, const uint32_t *colours, uint32_t *out)
{
    *out = 0;
    if (!record || !record->style || !colours)
        return Res_nullInput;
    switch (record->style[0]) {
    case 0: *out = colours[9]; return Res_ok;
    case 1: *out = colours[10]; return Res_ok;
    default: return Highlight_badStyle;
    }
}

namespace {

// The shape words of a record: its path through the record's offset and
// then matrix (null: the identity), filled or outlined by its style.
// out->request.matrix points at out->matrix.
int buildShape(const HighlightRecord *record, const Matrix *matrix, HighlightShape *out)
{
    *out = HighlightShape{};
    if (!record || !record->path || !record->style)
        return Res_nullInput;
    const int32_t *s = record->style;
    if (s[0] != 0 && s[0] != 1)
        return Highlight_badStyle;
    Matrix local = *Matrix_identity();
    local.tx = record->origin[0];
    local.ty = record->origin[1];
    out->matrix = matrix ? *matrix : *Matrix_identity();
    Matrix_multiply(&out->matrix, &local, &out->matrix);
    FillRequest &r = out->request;
    r.path = record->path;
    r.s = kSubpixels;
    r.matrix = &out->matrix;
    if (s[0] == 1) {
        // Outline words: {1, flags, width, miter limit, arrow half width,
        // arrow length, 0}.
        r.penKind = 1;
        r.pen = Pen{uint32_t(s[1]), s[2], s[3], s[4], s[5], nullptr};
    } else {
        r.penKind = 0;
        r.pen.style = Fill_ruleNonZero;
    }
    out->colour = record->colour;
    return Res_ok;
}

} // namespace

int Highlight_shape(EngineContext *context, const HighlightRecord *record, const Matrix *matrix,
                    HighlightShape *out)
{
    int err = buildShape(record, matrix, out);
    if (err)
        return err;
    // At the path's own scale: the device box is the path's units with 8
    // fractional bits.
    out->device = Rect_emptyBound;
    return Fill_deviceBounds(context, &out->request, record->path->scale, &out->device);
}

int Highlight_draw(EngineContext *, const HighlightRecord *record, const Matrix *matrix,
                   const DrawTarget *target)
{
    if (!record || !target || !target->bitmap)
        return Res_nullInput;
    if (record->flags & Highlight_hidden)
        return Res_ok;
    HighlightShape shape;
    int err = buildShape(record, matrix, &shape);
    if (err)
        return err;
    DrawItem *d = target->bitmap->drawItem;
    d->kind = DrawItem_kindPath;
    d->shape.path = shape.request;
    d->paintKind = DrawItem_sourceSolid;
    d->paint.solid = {Pixel_formatRGBA, record->colour & 0x00FFFFFFu};
    d->maskKind = DrawItem_sourceSolid;
    d->mask.solid = {Pixel_formatGrey8, record->colour >> 24};
    d->cachedRowOp = nullptr;
    return DrawItem_render(d, nullptr, nullptr, target);
}
