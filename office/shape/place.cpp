// Shape placement: group child spaces, rotation and flips, then each leaf
// shape drawn as data nodes (its style) and path nodes (its outline and
// shade sub-paths), and pictures as metafile playback or image nodes.
#include "office/shape/place.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "core/container/gradient.h"
#include "core/geom/matrix.h"
#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/inflate.h"
#include "core/style/prop.h"
#include "core/style/stylerule.h"
#include "core/task/task.h"
#include "document/edr/node.h"
#include "graphics/image.h"
#include "document/import/metafile.h"
#include "graphics/clippath.h"
#include "graphics/path.h"
#include "office/officeart/escher.h"
#include "graphics/gradfill.h"

namespace {

enum : uint32_t {
    Prop_rotation = 4,
    Prop_pictureIndex = 260,
    Prop_fillType = 384,
    Prop_fillColour = 385,
    Prop_fillOpacity = 386,
    Prop_fillBackColour = 387,
    Prop_fillBackOpacity = 388,
    Prop_fillBlip = 390,
    Prop_fillAngle = 395,
    Prop_fillFocus = 396,
    Prop_fillToRight = 399,
    Prop_fillToBottom = 400,
    Prop_fillShadePreset = 406,
    Prop_fillShadeColours = 407,
    Prop_fillShadeType = 412,
    Prop_fillFlags = 447,
    Prop_lineColour = 448,
    Prop_lineOpacity = 449,
    Prop_lineWidth = 459,
    Prop_lineStartArrow = 464,
    Prop_lineEndArrow = 465,
    Prop_lineStartArrowWidth = 466,
    Prop_lineStartArrowLength = 467,
    Prop_lineEndArrowWidth = 468,
    Prop_lineEndArrowLength = 469,
    Prop_lineFlags = 511,
    Prop_cropTop = 256,
    Prop_cropBottom = 257,
    Prop_cropLeft = 258,
    Prop_cropRight = 259,
    Prop_master = 769,
    Shape_rectangle = 1,
    Shape_pictureFrame = 75,
    Shape_hostControl = 201,
    Blip_metafile = 3,
    Metafile_headerBytes = 34,
};

const int32_t kDeg45 = 45 << 16;

int placePicture(EscherDrawing *drawing, Edr_Doc *doc, Edr_Node *parent, uint32_t blipIndex,
                 int32_t x, int32_t y, int32_t w, int32_t h, uint32_t alpha, int *placed,
                 const EscherPropSet *crop = nullptr);

int geomValue(const void *set, uint32_t id, uint32_t *out)
{
    const EscherProp *p = Escher_propFind(id, static_cast<const EscherPropSet *>(set));
    if (!p || (p->flags & EscherProp_complex))
        return 0;
    *out = p->value;
    return 1;
}

int geomArray(const void *set, uint32_t id, ShapeArray *out)
{
    const EscherProp *p = Escher_propFind(id, static_cast<const EscherPropSet *>(set));
    if (!p || !(p->flags & EscherProp_complex) || !p->data)
        return 0;
    const auto *a = static_cast<const EscherPropArray *>(p->data);
    if (a->count <= 0 || a->size <= 0)
        return 0;
    out->count = a->count;
    out->size = a->size;
    out->elements = EscherPropArray_elements(a);
    return 1;
}

// A simple property's value: 1 when present.
int simple(const EscherPropSet *set, uint32_t id, uint32_t *out)
{
    return geomValue(set, id, out);
}

// v held to the 32-bit range.
int32_t placeClamp32(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v);
}

// The shape's own value, else the master's.
int inherited(const EscherPropSet *own, const EscherPropSet *master, uint32_t id, uint32_t *out)
{
    return simple(own, id, out) || simple(master, id, out);
}

int32_t rotationMod(int64_t r)
{
    r %= ShapeRotation_full;
    if (r < 0)
        r += ShapeRotation_full;
    return int32_t(r);
}

// 16.16 product of a length and a 16.16 fraction, in 64 bits.
int32_t part(int32_t length, int32_t fraction)
{
    return int32_t((int64_t(length) * fraction) >> 16);
}

void applyFlips(Matrix *m, uint32_t flags)
{
    if (flags & EscherFsp_flipH) {
        m->a = -m->a;
        m->c = -m->c;
        m->tx = -m->tx;
    }
    if (flags & EscherFsp_flipV) {
        m->b = -m->b;
        m->d = -m->d;
        m->ty = -m->ty;
    }
}

int addData(Edr_Doc *doc, Edr_Node *parent, const Prop *value)
{
    return Edr_Node_createData(doc, parent, Edr_Insert_lastChild, nullptr, value);
}

int addKeyword(Edr_Doc *doc, Edr_Node *parent, uint32_t id, uint16_t keyword)
{
    Prop p;
    Prop_zero(&p);
    Prop_setType(&p, id, keyword);
    return addData(doc, parent, &p);
}

int addLength(Edr_Doc *doc, Edr_Node *parent, uint32_t id, int32_t length)
{
    Prop p;
    Prop_zero(&p);
    Prop_setLength(&p, id, length);
    return addData(doc, parent, &p);
}

int addColour(Edr_Doc *doc, Edr_Node *parent, uint32_t id, const uint8_t rgba[4])
{
    Prop p;
    Prop_zero(&p);
    Prop_setColour(&p, id, rgba);
    return addData(doc, parent, &p);
}

int addOrigin(Edr_Doc *doc, Edr_Node *parent, int32_t x, int32_t y)
{
    Prop p;
    Prop_zero(&p);
    Prop_set(&p, 74, PropType_pointer, uintptr_t(uint32_t(x)), uint32_t(y));
    return addData(doc, parent, &p);
}

// Starts a clip to the box (x, y, w, h), measured (y downward) from the
// origin in force: the items after it up to the clip's end are drawn only
// inside the box. The path's y runs upward, as the shapes' outlines do.
int startBoxClip(Edr_Doc *doc, Edr_Node *parent, int32_t x, int32_t y, int32_t w, int32_t h)
{
    const int32_t left = x, right = placeClamp32(int64_t(x) + w);
    const int32_t top = placeClamp32(-int64_t(y)), bottom = placeClamp32(-int64_t(y) - h);
    Path *path = nullptr;
    int err = Path_create(&path, 0x10000);
    if (!err)
        err = Path_moveTo(path, left, bottom);
    if (!err)
        err = Path_lineTo(path, right, bottom);
    if (!err)
        err = Path_lineTo(path, right, top);
    if (!err)
        err = Path_lineTo(path, left, top);
    if (!err)
        err = Path_close(path);
    if (err) {
        Path_destroy(path);
        return err;
    }
    ClipPath *clip = nullptr;
    err = ClipPath_create(path, &clip); // takes the path, failing or not
    if (err)
        return err;
    Prop start;
    Prop_zero(&start);
    ClipPath_setValue(&start, clip, 0);
    err = addData(doc, parent, &start);
    ClipPath_release(clip);
    return err;
}

// The gradient's stops as the stop list of style property 109.
int addGradient(Edr_Doc *doc, Edr_Node *parent, const Gradient *g)
{
    StopList *list = nullptr;
    int err = StopList_create(&list, g->count);
    if (err)
        return err;
    for (int32_t i = 0; i < g->count; i++)
        (void)StopList_set(list, i, g->stops[i]);
    Prop p;
    Prop_zero(&p);
    Prop_set109(&p, list);
    err = addData(doc, parent, &p);
    Prop_free(&p);
    return err;
}

uint8_t alphaOf(const EscherPropSet *own, const EscherPropSet *master, uint32_t id)
{
    uint32_t v;
    if (inherited(own, master, id, &v) && v <= 0xFFFF)
        return uint8_t(v >> 8);
    return 255;
}

void colourBytes(uint32_t v, uint8_t alpha, uint8_t out[4])
{
    out[0] = uint8_t(v);
    out[1] = uint8_t(v >> 8);
    out[2] = uint8_t(v >> 16);
    out[3] = alpha;
}

// The master shape of an entry (property 769), or null: a shape of the
// current drawing, else of the drawing's master group (a slide's shapes
// name their master's placeholders, whose fill and line they take on).
const EscherShape *masterOf(const EscherDrawing *drawing, const EscherShape *shape)
{
    uint32_t id;
    if (!simple(shape->props, Prop_master, &id))
        return nullptr;
    for (const EscherDrawingGroup *g :
         {static_cast<const EscherDrawingGroup *>(drawing->current), drawing->masterGroup}) {
        if (!g)
            continue;
        if (g->self.shapeId == id)
            return &g->self;
        for (uint32_t i = 0; i < g->count; i++)
            if (g->shapes[i].shapeId == id && &g->shapes[i] != shape)
                return &g->shapes[i];
    }
    return nullptr;
}

// 1 when the shape's client data holds a record of type (8-byte headers).
bool hasClientRecord(const EscherShape *shape, uint32_t type)
{
    const uint8_t *b = shape->clientData.bytes;
    const uint32_t length = b ? shape->clientData.length : 0;
    for (uint32_t at = 0; length - at >= 8;) {
        const uint32_t recType = uint32_t(b[at + 2] | b[at + 3] << 8);
        const uint32_t recLength =
            uint32_t(b[at + 4] | b[at + 5] << 8 | b[at + 6] << 16 | uint32_t(b[at + 7]) << 24);
        if (recType == type)
            return true;
        if (recLength > length - at - 8)
            break;
        at += 8 + recLength;
    }
    return false;
}

bool hasArrowheads(uint32_t type)
{
    return type == 0 || type == 19 || type == 20 || (type >= 32 && type <= 52) ||
           (type >= 178 && type <= 181);
}

int32_t arrowFactor(const EscherPropSet *set, uint32_t id)
{
    static const int32_t factors[3] = {2, 3, 5};
    uint32_t v;
    if (!simple(set, id, &v) || v > 2)
        v = 1;
    return factors[v];
}

// Shortens one end: p moves toward q by length.
void trimEnd(int32_t *p, const int32_t *q, int32_t length)
{
    double dx = double(q[0]) - p[0];
    double dy = double(q[1]) - p[1];
    double distance = std::sqrt(dx * dx + dy * dy);
    if (distance <= 0)
        return;
    if (double(length) < distance) {
        p[0] += int32_t(double(length) * dx / distance);
        p[1] += int32_t(double(length) * dy / distance);
        return;
    }
    // The arrow is at least as long as the segment: pull in by a small part
    // of the segment only.
    int64_t ix = int64_t(q[0]) - p[0], iy = int64_t(q[1]) - p[1];
    while (std::llabs(ix) + std::llabs(iy) >= 1001) {
        ix /= 2;
        iy /= 2;
    }
    p[0] = int32_t(p[0] + ix);
    p[1] = int32_t(p[1] + iy);
}

int placeLeaf(Edr_Doc *doc, Edr_Node *parent, EscherDrawing *drawing, EscherShape *e,
              const ShapeRect *r, int32_t rotation, int32_t total)
{
    Edr_Node *target = parent;
    Edr_Node *extra = nullptr;
    const uint32_t flips = e->flags & (EscherFsp_flipH | EscherFsp_flipV);
    int err = Res_ok;
    if (total) {
        auto *m = static_cast<Matrix *>(Mem_malloc(sizeof(Matrix)));
        if (!m)
            return Res_noMemory;
        Matrix_setIdentity(m);
        Matrix_translate(m, -(r->w / 2), -(r->h / 2));
        Matrix_rotation(m, -total);
        applyFlips(m, flips);
        if (flips & EscherFsp_flipH)
            rotation = rotationMod(int64_t(ShapeRotation_full) - rotation);
        if (flips & EscherFsp_flipV)
            rotation = rotationMod(int64_t(ShapeRotation_full) - rotation);
        Matrix_translate(m, r->w / 2, r->h / 2);
        err = Edr_Node_createGroup(doc, parent, Edr_Insert_lastChild, 0, &extra);
        if (err) {
            Mem_free(m);
            return err;
        }
        Prop p;
        Prop_zero(&p);
        Prop_setMatrix(&p, 134, m);
        err = addData(doc, extra, &p);
        Prop_free(&p);
        if (err) {
            Edr_Node_release(doc, extra);
            return err;
        }
        target = extra;
        e->flags &= ~flips;
    }
    err = Shape_draw(drawing, doc, target, e, r->x, r->y, r->w, r->h);
    e->flags |= flips;
    if (!err) {
        const int32_t box[4] = {r->x, r->y, r->w, r->h};
        err = drawing->shapeHook(drawing->user, target, e, box, rotation);
    }
    if (extra)
        Edr_Node_release(doc, extra);
    return err;
}

int placeGroup(Edr_Doc *doc, Edr_Node *parent, EscherDrawing *drawing, EscherDrawingGroup *group,
               int32_t index, EscherShape *e, ShapeRect r, int32_t rotation, int32_t total)
{
    const uint32_t flips = e->flags & (EscherFsp_flipH | EscherFsp_flipV);
    Matrix m;
    Matrix_setIdentity(&m);
    if (!total) {
        if (flips & EscherFsp_flipH) {
            r.x += r.w;
            r.w = -r.w;
        }
        if (flips & EscherFsp_flipV) {
            r.y += r.h;
            r.h = -r.h;
        }
    } else {
        const int32_t cx = r.x + r.w / 2, cy = r.y + r.h / 2;
        Matrix_translate(&m, -cx, -cy);
        Matrix_rotation(&m, total);
        applyFlips(&m, flips);
        Matrix_translate(&m, cx, cy);
    }
    for (uint32_t i = uint32_t(index + 1); i < group->count; i++) {
        EscherShape *c = &group->shapes[i];
        if (c->level <= e->level)
            break;
        int err = Task_checkStop(drawing->context);
        if (err)
            return err;
        if (c->level != e->level + 1)
            continue;
        ShapeRect cr = {r.x + part(r.w, c->anchorLeft), r.y + part(r.h, c->anchorTop),
                        part(r.w, c->anchorWidth), part(r.h, c->anchorHeight)};
        if (total) {
            Point centre;
            Matrix_transformPoint(&centre, cr.x + cr.w / 2, cr.y + cr.h / 2, &m);
            if (flips & EscherFsp_flipH)
                cr.w = -cr.w;
            if (flips & EscherFsp_flipV)
                cr.h = -cr.h;
            cr.x = centre.x - cr.w / 2;
            cr.y = centre.y - cr.h / 2;
        }
        err = Shape_placeTree(doc, parent, drawing, group, int32_t(i), &cr, total);
        if (err)
            return err;
    }
    const int32_t box[4] = {r.x, r.y, r.w, r.h};
    return drawing->shapeHook(drawing->user, parent, e, box, rotation);
}

} // namespace

void Shape_geomProps(ShapeGeomProps *out, const EscherPropSet *set)
{
    out->set = set;
    out->value = geomValue;
    out->array = geomArray;
}

uint8_t Colour_scaleChannel(uint8_t c, uint32_t factor)
{
    uint64_t v = (uint64_t(c) * factor) >> 16;
    return uint8_t(v > 255 ? 255 : v);
}

int StyleRule_addKeyword(StyleRule *rule, Prop *scratch, uint32_t id, uint16_t keyword)
{
    Prop_setType(scratch, id, keyword);
    return StyleRule_appendProp(rule, scratch);
}

int StyleRule_addLength(StyleRule *rule, Prop *scratch, uint32_t id, int32_t length)
{
    Prop_setLength(scratch, id, length);
    return StyleRule_appendProp(rule, scratch);
}

int Shape_placeTree(Edr_Doc *doc, Edr_Node *parent, EscherDrawing *drawing,
                    EscherDrawingGroup *group, int32_t index, const ShapeRect *rect,
                    int32_t parentRotation)
{
    if (!drawing || !group || !rect)
        return Escher_errNoSource;
    EscherShape *e;
    if (index == -1)
        e = &group->self;
    else if (index < 0 || uint32_t(index) >= group->count)
        return Res_ok;
    else
        e = &group->shapes[index];
    if (e->flags & EscherFsp_deleted)
        return Res_ok;
    // Each nested group takes a frame of this routine.
    if (Escher_tooDeep(drawing->context))
        return Res_stackExhausted;
    ShapeRect r = *rect;
    uint32_t v = 0;
    const int32_t rotation = simple(e->props, Prop_rotation, &v) ? int32_t(v) : 0;
    if (rotation) {
        const int64_t q = std::llabs(int64_t(rotation)) / kDeg45;
        if ((q + 1) & 2) {
            const int32_t d = int32_t((int64_t(r.w) / 2) - (int64_t(r.h) / 2));
            r.x += d;
            r.y -= d;
            const int32_t t = r.w;
            r.w = r.h;
            r.h = t;
        }
    }
    const int32_t total = rotationMod(int64_t(rotation) + parentRotation);
    EscherDrawingGroup *saved = drawing->current;
    drawing->current = group;
    int err = (e->flags & EscherFsp_group)
                  ? placeGroup(doc, parent, drawing, group, index, e, r, rotation, total)
                  : placeLeaf(doc, parent, drawing, e, &r, rotation, total);
    drawing->current = saved;
    return err;
}

int Shape_readGradient(ShapeFill *fill, const EscherPropSet *set)
{
    uint32_t v;
    int32_t angle = simple(set, Prop_fillAngle, &v) ? int32_t(v) : 0;
    const int64_t magnitude = std::llabs(int64_t(angle));
    fill->steps = uint32_t(magnitude / kDeg45);
    fill->angle = int32_t(magnitude >> 16);
    fill->focus = simple(set, Prop_fillFocus, &v) ? int32_t(v) : 0;
    fill->shadeType = simple(set, Prop_fillShadeType, &v) ? v : 0;
    if (simple(set, Prop_fillBackColour, &v)) {
        fill->colour2Raw = v;
        colourBytes(v, 255, fill->colour2);
    } else {
        fill->colour2Raw = 0xFFFFFF;
        colourBytes(0xFFFFFF, 255, fill->colour2);
    }
    fill->colour2[3] = simple(set, Prop_fillBackOpacity, &v) && v <= 0xFFFF ? uint8_t(v >> 8) : 255;
    if (fill->type == FillKind_focus) {
        fill->toBottom = simple(set, Prop_fillToBottom, &v) ? int32_t(v) : 0;
        fill->toRight = simple(set, Prop_fillToRight, &v) ? int32_t(v) : 0;
    }
    const EscherProp *preset = Escher_propFind(Prop_fillShadePreset, set);
    const EscherProp *colours = Escher_propFind(Prop_fillShadeColours, set);
    if (preset && colours && (colours->flags & EscherProp_complex) && colours->data) {
        const auto *a = static_cast<const EscherPropArray *>(colours->data);
        if (a->count > 0 && a->size == 8) {
            auto *stops =
                static_cast<StopEntry *>(Mem_malloc(size_t(a->count) * sizeof(StopEntry)));
            if (!stops)
                return Res_noMemory;
            const uint8_t *p = EscherPropArray_elements(a);
            for (int32_t i = 0; i < a->count; i++, p += 8) {
                stops[i].value = uint32_t(p[0] | p[1] << 8 | p[2] << 16) | 0xFF000000u;
                stops[i].position =
                    int32_t(uint32_t(p[4] | p[5] << 8 | p[6] << 16 | uint32_t(p[7]) << 24));
            }
            fill->stops = stops;
            fill->stopCount = uint32_t(a->count);
        }
    }
    return Res_ok;
}

void ShapeFill_free(ShapeFill *fill)
{
    Mem_free(fill->stops);
    fill->stops = nullptr;
    fill->stopCount = 0;
}

int Path_trimForArrows(Path *path, int32_t start, int32_t end)
{
    if (!path || (!start && !end) || path->state == Path_statePacked)
        return Res_ok;
    int32_t *first = nullptr, *firstNext = nullptr;
    int32_t *last = nullptr, *lastPrevious = nullptr;
    int32_t *p = path->buffer;
    while (p < path->write) {
        const uint32_t op = uint32_t(*p) & 15;
        const uint32_t n = uint32_t(*p) & 3;
        int32_t *points = p + 1;
        switch (op) {
        case 9:
        case 1:
            if (!first)
                first = points;
            break;
        case 5:
        case 7:
            if (first && !firstNext)
                firstNext = points;
            if (p - 2 >= path->buffer) {
                last = points + 2 * (n - 1);
                lastPrevious = n > 1 ? last - 2 : p - 2;
            }
            break;
        case 4: break;
        default: return Res_notImplemented;
        }
        p = points + 2 * n;
    }
    if (!first || !firstNext || !last)
        return Res_ok;
    // Both ends measured on the untrimmed path.
    const int32_t next[2] = {firstNext[0], firstNext[1]};
    const int32_t previous[2] = {lastPrevious[0], lastPrevious[1]};
    int32_t a[2] = {first[0], first[1]}, b[2] = {last[0], last[1]};
    if (start)
        trimEnd(a, next, start);
    if (end)
        trimEnd(b, previous, end);
    first[0] = a[0];
    first[1] = a[1];
    if (last != first) {
        last[0] = b[0];
        last[1] = b[1];
    }
    return Res_ok;
}

int Shape_emitShadePaths(ShadePath *list, EscherDrawing *, Edr_Doc *doc, Edr_Node *parent,
                         const uint8_t fillColour[4], uint32_t paintMode,
                         const int32_t arrowLengths[2])
{
    int err = Res_ok;
    for (ShadePath *s = list; s && !err; s = s->next) {
        if (s->kind == ShadePath_line) {
            if (arrowLengths[0] || arrowLengths[1])
                err = Path_trimForArrows(s->path, arrowLengths[0], arrowLengths[1]);
            if (!err)
                err = addKeyword(doc, parent, 125, ShapePaint_line);
        } else if (s->kind == ShadePath_own) {
            // A piece of the shape apart from its outline (the cloud
            // callout's thought bubbles): the shape's own fill and line.
            if (paintMode)
                err = addKeyword(doc, parent, 125, uint16_t(paintMode));
            if (!err)
                err = addColour(doc, parent, 29, fillColour);
        } else {
            uint8_t c[4] = {Colour_scaleChannel(fillColour[0], s->value),
                            Colour_scaleChannel(fillColour[1], s->value),
                            Colour_scaleChannel(fillColour[2], s->value), fillColour[3]};
            uint32_t mode = paintMode == ShapePaint_gradient       ? uint32_t(ShapePaint_fill)
                            : paintMode == ShapePaint_gradientLine ? uint32_t(ShapePaint_fillLine)
                                                                   : 0u;
            if (mode)
                err = addKeyword(doc, parent, 125, uint16_t(mode));
            if (!err)
                err = addColour(doc, parent, 29, c);
        }
        if (!err) {
            err = Edr_Node_createPath(doc, parent, Edr_Insert_lastChild, nullptr, s->path);
            if (!err)
                s->path = nullptr; // the node took it
        }
    }
    ShadePathList_free(list);
    return err;
}

int Shape_draw(EscherDrawing *drawing, Edr_Doc *doc, Edr_Node *parent, EscherShape *shape,
               int32_t x, int32_t y, int32_t w, int32_t h)
{
    const uint32_t type = shape->shapeType;
    if (Shape_hasNoOutline(type))
        return Res_ok;
    uint32_t fillFlags = 0x10, lineFlags = 0x8;
    if (type >= 32 && type <= 40)
        fillFlags = 0;
    if (type == Shape_pictureFrame || type == Shape_hostControl)
        fillFlags = lineFlags = 0;
    if (drawing->placeholderRecord && hasClientRecord(shape, drawing->placeholderRecord))
        fillFlags = lineFlags = 0;
    const EscherShape *master = masterOf(drawing, shape);
    const EscherPropSet *own = shape->props;
    const EscherPropSet *ms = master ? master->props : nullptr;
    uint32_t v;
    for (const EscherPropSet *set : {ms, own}) {
        if (simple(set, Prop_fillFlags, &v))
            fillFlags = (fillFlags & ~(v >> 16)) | (v & (v >> 16));
        if (simple(set, Prop_lineFlags, &v))
            lineFlags = (lineFlags & ~(v >> 16)) | (v & (v >> 16));
    }
    const bool filled = fillFlags & 0x10;
    const bool line = lineFlags & 0x8;

    uint8_t fillColour[4] = {255, 255, 255, 255};
    Gradient *gradient = nullptr;
    int err = Res_ok;
    if (filled) {
        colourBytes(inherited(own, ms, Prop_fillColour, &v) ? v : 0xFFFFFF,
                    alphaOf(own, ms, Prop_fillOpacity), fillColour);
        if (simple(own, Prop_fillType, &v)) {
            ShapeFill fill;
            memset(&fill, 0, sizeof fill);
            fill.type = v;
            memcpy(fill.colour, fillColour, 4);
            err = Shape_readGradient(&fill, own);
            if (!err && (v == FillKind_focus || v == FillKind_centre || v == FillKind_linear)) {
                FillSettings s;
                memset(&s, 0, sizeof s);
                s.kind = fill.type;
                memcpy(s.colour1, fill.colour, 4);
                memcpy(s.colour2, fill.colour2, 4);
                s.angle = fill.angle;
                s.stops = fill.stops;
                s.stopCount = fill.stopCount;
                if (fill.shadeType & 0x8) {
                    s.flags = FillFlag_shadeColour;
                    s.shade = fill.colour2Raw;
                }
                s.focusX = fill.toRight;
                s.focusY = fill.toBottom;
                s.focusCorner = fill.focus == 0     ? 0u
                                : fill.focus == 100 ? 2u
                                : fill.focus == 50  ? 1u
                                                    : 3u;
                err = Fill_buildGradient(&s, &gradient);
                // A stop table the gradient cannot hold gives a solid fill.
                if (err == Res_stopCountInvalid)
                    err = Res_ok;
            }
            ShapeFill_free(&fill);
            if (err)
                return err;
        }
        if (type == Shape_rectangle && !gradient && simple(own, Prop_fillBlip, &v)) {
            int placed = 0;
            err = placePicture(drawing, doc, parent, v, x, y, w, h, fillColour[3], &placed);
            if (err || placed)
                return err;
        }
    }

    uint8_t lineColour[4] = {0, 0, 0, 255};
    int32_t width = ShapeLine_defaultWidth;
    if (line) {
        colourBytes(inherited(own, ms, Prop_lineColour, &v) ? v : 0,
                    alphaOf(own, ms, Prop_lineOpacity), lineColour);
        if (inherited(own, ms, Prop_lineWidth, &v) && int32_t(v) > 0)
            width = int32_t((int64_t(v) << 16) / 914400);
        else
            width = ShapeLine_defaultWidth;
    }
    uint32_t mode = 0;
    if (filled && line)
        mode = gradient ? ShapePaint_gradientLine : ShapePaint_fillLine;
    else if (filled)
        mode = gradient ? ShapePaint_gradient : ShapePaint_fill;
    else if (line)
        mode = ShapePaint_line;

    if (mode) {
        Path *path = nullptr;
        ShadePath *shades = nullptr;
        int32_t arrows[2] = {0, 0};
        bool arrowsDrawn = false;
        Prop p;
        Prop_zero(&p);
        // Outlines are filled even-odd: a hole drawn inside a shape (the
        // donut's, the no-smoking sign's halves) stays open whichever way
        // its path runs.
        Prop_setType(&p, 126, ShapeFill_evenOdd);
        err = addData(doc, parent, &p);
        if (!err)
            err = addKeyword(doc, parent, 129, 205);
        if (!err && line && hasArrowheads(type)) {
            const int32_t base = width >= int32_t(ShapeLine_defaultWidth) ? width + 0x555 : 0x800;
            static const uint32_t ids[2][4] = {
                {Prop_lineStartArrow, Prop_lineStartArrowLength, Prop_lineStartArrowWidth, 130},
                {Prop_lineEndArrow, Prop_lineEndArrowLength, Prop_lineEndArrowWidth, 131}};
            for (int end = 0; end < 2 && !err; end++) {
                uint32_t kind = simple(own, ids[end][0], &v) && v <= 5 ? v : 0;
                if (kind != 1 && kind != 2 && kind != 5)
                    continue;
                arrowsDrawn = true;
                arrows[end] = base * arrowFactor(own, ids[end][1]);
                err = addKeyword(doc, parent, ids[end][3], 207);
                if (!err)
                    err = addLength(doc, parent, 133, arrows[end]);
                if (!err)
                    err = addLength(doc, parent, 132, base * arrowFactor(own, ids[end][2]) / 2);
            }
        }
        if (!err)
            err = Path_create(&path, 0x10000);
        if (!err)
            err = addKeyword(doc, parent, 125, uint16_t(mode));
        if (!err && filled)
            err = gradient ? addGradient(doc, parent, gradient)
                           : addColour(doc, parent, 29, fillColour);
        if (!err && line)
            err = addColour(doc, parent, 127, lineColour);
        if (!err && line)
            err = addLength(doc, parent, 128, width);
        // A box flipped by its group (negative side) is built as a flip
        // of the shape inside the positive box.
        ShapeGeom geom;
        geom.type = type;
        geom.flags = shape->flags;
        if (w < 0)
            geom.flags ^= EscherFsp_flipH;
        if (h < 0)
            geom.flags ^= EscherFsp_flipV;
        if (!err) {
            Shape_geomProps(&geom.props, own);
            err = Shape_buildPath(drawing, path, &geom, w < 0 ? -w : w, h < 0 ? -h : h, &shades);
        }
        if (!err)
            err = Path_trimForArrows(path, arrows[0], arrows[1]);
        if (!err) {
            // The outline grows right and upward from its origin while the
            // box's y grows downward: the origin is the box's bottom-left
            // corner. A flipped outline grows left or downward from it
            // instead, so its origin is the right or top edge and the
            // outline stays inside the box.
            const int64_t left = w < 0 ? int64_t(x) + w : x, top = h < 0 ? int64_t(y) + h : y;
            const int64_t absW = w < 0 ? -int64_t(w) : w, absH = h < 0 ? -int64_t(h) : h;
            const int64_t ox = geom.flags & EscherFsp_flipH ? left + absW : left;
            const int64_t oy = geom.flags & EscherFsp_flipV ? top : top + absH;
            err = addOrigin(doc, parent, placeClamp32(ox), placeClamp32(oy));
        }
        if (!err) {
            err = Edr_Node_createPath(doc, parent, Edr_Insert_lastChild, nullptr, path);
            if (!err)
                path = nullptr;
        }
        Path_destroy(path);
        if (!err) {
            err = Shape_emitShadePaths(shades, drawing, doc, parent, fillColour, mode, arrows);
            shades = nullptr;
        }
        ShadePathList_free(shades);
        if (!err && arrowsDrawn) {
            err = addKeyword(doc, parent, 130, 206);
            if (!err)
                err = addKeyword(doc, parent, 131, 206);
        }
    }
    Gradient_free(gradient);
    if (err)
        return err;
    if (simple(own, Prop_pictureIndex, &v)) {
        int placed = 0;
        return placePicture(drawing, doc, parent, v, x, y, w, h, 255, &placed, own);
    }
    return Res_ok;
}

namespace {

// Cropping: the shape's box shows the part of the picture between the
// four crop fractions (16.16, from the top, bottom, left and right edges).
// The whole picture is drawn at fullW x fullH so that part fills the box,
// shifted by (shiftX, shiftY) for the cropped left and top, inside a clip
// to the box. A crop that keeps (almost) nothing is ignored.
struct PlaceCrop {
    int32_t fullW, fullH, shiftX, shiftY;
    bool cropped;
};

void placeCropOf(const EscherPropSet *crop, int32_t w, int32_t h, PlaceCrop *out)
{
    *out = PlaceCrop{w, h, 0, 0, false};
    int32_t cut[4] = {0, 0, 0, 0};
    const uint32_t cropIds[4] = {Prop_cropTop, Prop_cropBottom, Prop_cropLeft, Prop_cropRight};
    uint32_t cv;
    for (int i = 0; i < 4; i++)
        if (crop && simple(crop, cropIds[i], &cv))
            cut[i] = int32_t(cv);
    const int64_t keepW = int64_t(0x10000) - cut[2] - cut[3],
                  keepH = int64_t(0x10000) - cut[0] - cut[1];
    if (!(cut[0] || cut[1] || cut[2] || cut[3]) || keepW < 0x40 || keepH < 0x40)
        return;
    out->cropped = true;
    out->fullW = placeClamp32((int64_t(w) << 16) / keepW);
    out->fullH = placeClamp32((int64_t(h) << 16) / keepH);
    out->shiftX = placeClamp32(-((int64_t(out->fullW) * cut[2]) >> 16));
    out->shiftY = placeClamp32(-((int64_t(out->fullH) * cut[0]) >> 16));
}

// Ends the clip a cropped picture started.
int placeEndBoxClip(Edr_Doc *doc, Edr_Node *parent)
{
    Prop end;
    Prop_zero(&end);
    Prop_setType(&end, ClipPath_property, uint16_t(ClipPath_endValue));
    return addData(doc, parent, &end);
}

// Places a picture shape; *placed is 1 when the picture's nodes were made.
int placePicture(EscherDrawing *drawing, Edr_Doc *doc, Edr_Node *parent, uint32_t blipIndex,
                 int32_t x, int32_t y, int32_t w, int32_t h, uint32_t alpha, int *placed,
                 const EscherPropSet *crop)
{
    *placed = 0;
    if (!drawing || blipIndex < 1 || blipIndex > drawing->blipCount)
        return Res_ok;
    EscherBlip *blip = &drawing->blips[blipIndex - 1];
    if (!blip->size || blip->blipType == 0 || blip->source.kind == EscherSource_none)
        return Res_ok;
    // Loading checks the picture's record, which may name another type
    // than the entry (a Mac picture type): the kind is known after it.
    if (blip->kind == Blip_metafile && !blip->data) {
        int err = Escher_blipLoad(drawing, blip, 0);
        if (err)
            return err;
    }
    if (blip->kind == Blip_metafile) {
        int err = Res_ok;
        if (blip->dataLength < Metafile_headerBytes)
            return Escher_errBlipMismatch;
        const uint8_t *d = blip->data;
        auto word = [d](uint32_t at) {
            return uint32_t(d[at] | d[at + 1] << 8 | d[at + 2] << 16 | uint32_t(d[at + 3]) << 24);
        };
        const Rect frame = {int16_t(word(4)), int16_t(word(8)), int16_t(word(12)),
                            int16_t(word(16))};
        const uint32_t size = word(0);
        const uint8_t *bytes = d + Metafile_headerBytes;
        uint32_t length = blip->dataLength - Metafile_headerBytes;
        uint8_t *inflated = nullptr;
        if (d[32] == 0 && size != 0) {
            inflated = static_cast<uint8_t *>(Mem_malloc(size));
            if (!inflated)
                return Res_noMemory;
            err = Inflate_buffer(bytes, length, inflated, size);
            if (err) {
                Mem_free(inflated);
                return err;
            }
            bytes = inflated;
            length = size;
        }
        Rect target = {x, y, x + w, y + h};
        // A cropped metafile is played into the larger box of the whole
        // picture inside a clip to the shape's box. Its drawing is placed
        // from the origin (0, 0), which the clip is measured from too.
        PlaceCrop c;
        placeCropOf(crop, w < 0 ? -w : w, h < 0 ? -h : h, &c);
        if (c.cropped) {
            const int32_t left = w < 0 ? x + w : x, top = h < 0 ? y + h : y;
            const int32_t fx = placeClamp32(int64_t(left) + c.shiftX);
            const int32_t fy = placeClamp32(int64_t(top) + c.shiftY);
            target = Rect{fx, fy, placeClamp32(int64_t(fx) + c.fullW),
                          placeClamp32(int64_t(fy) + c.fullH)};
            err = addOrigin(doc, parent, 0, 0);
            if (!err)
                err = startBoxClip(doc, parent, left, top, w < 0 ? -w : w, h < 0 ? -h : h);
            if (err) {
                Mem_free(inflated);
                return err;
            }
        }
        err = Wmf_playToDoc(bytes, length, doc, parent, &target, &frame, 0, drawing->styleHook,
                            drawing->user);
        Mem_free(inflated);
        if (c.cropped) {
            const int ended = placeEndBoxClip(doc, parent);
            if (!err)
                err = ended;
        }
        *placed = err == Res_ok;
        // A picture this player does not read (a Mac PICT) or cannot read
        // (a damaged metafile) is left out; the rest of the drawing stays.
        if (err == Meta_errNotMetafile || err == Meta_errTruncated || err == Meta_errMalformed)
            return Res_ok;
        return err;
    }
    if (blip->kind != 1 && blip->kind != 2)
        return Res_ok;
    int err = blip->image ? int(Res_ok) : Escher_blipLoad(drawing, blip, 1);
    if (err)
        return err;
    if (!blip->image)
        return Res_ok;
    if (w < 0) {
        x += w;
        w = -w;
    }
    if (h < 0) {
        y += h;
        h = -h;
    }
    PlaceCrop c;
    placeCropOf(crop, w, h, &c);
    const bool cropped = c.cropped;
    const int32_t fullW = c.fullW, fullH = c.fullH, shiftX = c.shiftX, shiftY = c.shiftY;
    err = addOrigin(doc, parent, placeClamp32(int64_t(x) + shiftX),
                    placeClamp32(int64_t(y) + shiftY));
    if (!err && cropped)
        err = startBoxClip(doc, parent, -shiftX, -shiftY, w, h);
    if (err)
        return err;
    Edr_Node *a = nullptr, *b = nullptr;
    StyleRule *ruleA = nullptr, *ruleB = nullptr;
    ImageHandle *clone = nullptr;
    Prop scratch;
    Prop_zero(&scratch);
    uint32_t id = 0;
    err = Edr_Node_createGroup(doc, parent, Edr_Insert_lastChild, 0, &a);
    if (!err)
        err = Edr_Node_createGroup(doc, a, Edr_Insert_lastChild, 0, &b);
    if (!err)
        err = StyleRule_create(&ruleA);
    if (!err)
        err = StyleRule_addKeyword(ruleA, &scratch, 34, 39);
    if (!err)
        err = StyleRule_addLength(ruleA, &scratch, 90, fullW);
    if (!err)
        err = StyleRule_addKeyword(ruleA, &scratch, 135, 147);
    if (!err)
        err = drawing->styleHook(drawing->user, ruleA, &id);
    if (!err)
        err = Edr_Node_addId(doc, a, id);
    if (!err)
        err = StyleRule_create(&ruleB);
    if (!err)
        err = StyleRule_addKeyword(ruleB, &scratch, 34, 175);
    if (!err)
        err = StyleRule_addLength(ruleB, &scratch, 90, fullW);
    if (!err)
        err = StyleRule_addLength(ruleB, &scratch, 44, fullH);
    if (!err && alpha != 255) {
        Prop_setInt(&scratch, 143, int32_t(alpha));
        err = StyleRule_appendProp(ruleB, &scratch);
    }
    if (!err)
        err = drawing->styleHook(drawing->user, ruleB, &id);
    if (!err)
        err = Edr_Node_addId(doc, b, id);
    if (!err)
        err = ImageHandle_clone(blip->image, &clone);
    if (!err) {
        err = Edr_Node_createImageFrom(doc, b, Edr_Insert_lastChild, nullptr, clone);
        if (err)
            ImageHandle_release(clone);
    }
    if (b)
        Edr_Node_release(doc, b);
    if (a)
        Edr_Node_release(doc, a);
    StyleRule_destroy(ruleA);
    StyleRule_destroy(ruleB);
    if (!err && cropped)
        err = placeEndBoxClip(doc, parent);
    *placed = err == Res_ok;
    return err;
}

} // namespace
