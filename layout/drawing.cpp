// Drawings: subtrees whose nodes carry their own positions (paths, labels,
// pictures and cells) laid out at an origin, and the label items of text
// nodes in them.
#include <algorithm>

#include "core/container/intern.h"
#include "layout/layerlist.h"
#include "core/container/obj.h"
#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/task/task.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/edr/page.h"
#include "document/style/style.h"
#include "document/style/styleread.h"
#include "graphics/clippath.h"
#include "graphics/drawlist.h"
#include "fonts/glyphrun.h"
#include "fonts/textrun.h"
#include "graphics/imageitem.h"
#include "fonts/textitem.h"
#include "layout/block.h"
#include "layout/boxiter.h"
#include "layout/drawlistitem.h"
#include "layout/layout.h"
#include "layout/line.h"
#include "layout/replaced.h"

namespace {

// Data nodes that steer a drawing: an offset for the nodes after it, and
// the shapes laid out as cells.
constexpr uint32_t kOffsetKey = 74;
constexpr uint32_t kOffsetSubKey = 10;
constexpr uint32_t kCellKey = 136;

int32_t sat(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v);
}

const Prop *dataProp(Edr_Node *node)
{
    if (!node || Edr_Node_type(node) != Edr_NodeType_data)
        return nullptr;
    return static_cast<const Prop *>(Edr_Node_payloadOrNull(node));
}

bool isCellData(Edr_Node *node)
{
    const Prop *p = dataProp(node);
    return p && p->id == kCellKey && (p->type == 12 || p->type == 13 || p->type == 208);
}

// Clips nest up to this depth; deeper clips are ignored with their ends,
// so that drawing a page never recurses without bound.
constexpr uint32_t kClipNesting = 32;

// The clip groups open while a drawing is placed: the items placed go
// into the innermost one.
struct ClipStack {
    ObjHeader *groups[kClipNesting];
    ObjHeader *lastChild[kClipNesting];
    uint32_t depth;
    uint32_t ignored;
};

// Unites item's shown box into bounds (x0, y0, x1, y1 words).
void uniteBounds(int32_t *words, ObjHeader *item)
{
    Rect bounds{words[0], words[1], words[2], words[3]};
    Rect_addItemBounds(&bounds, item, nullptr, nullptr);
    words[0] = bounds.x0;
    words[1] = bounds.y0;
    words[2] = bounds.x1;
    words[3] = bounds.y1;
}

// Moves the item to (x, y) and appends it to the innermost open clip group,
// or to layer 1 uniting its bounds into the box's.
void place(LayoutBox *box, ClipStack *clips, ObjHeader *item, int32_t x, int32_t y)
{
    item->origin[0] = sat(int64_t(item->origin[0]) + x);
    item->origin[1] = sat(int64_t(item->origin[1]) + y);
    if (clips && clips->depth) {
        uint32_t top = clips->depth - 1;
        ObjHeader *group = clips->groups[top];
        Obj_setNext(item, nullptr);
        if (clips->lastChild[top])
            Obj_setNext(clips->lastChild[top], item);
        else
            Obj_setChildren(group, item);
        clips->lastChild[top] = item;
        Rect g = Obj_box(group);
        int32_t words[4] = {g.x0, g.y0, g.x1, g.y1};
        if (g.x0 > g.x1) {
            Rect b = Obj_shownBox(item);
            words[0] = b.x0;
            words[1] = b.y0;
            words[2] = b.x1;
            words[3] = b.y1;
        } else {
            uniteBounds(words, item);
        }
        const Rect r{words[0], words[1], words[2], words[3]};
        Obj_setBox(group, &r);
        return;
    }
    LayerList_selectKey(box->layers, LayerList_normalKey);
    LayerList_append(box->layers, item);
    uniteBounds(box->bounds, item);
}

// Closes the innermost clip group: placed in its parent when it holds an
// item, else freed.
void closeClip(LayoutBox *box, ClipStack *clips)
{
    ObjHeader *group = clips->groups[--clips->depth];
    if (Obj_children(group))
        place(box, clips, group, 0, 0);
    else
        Obj_destroy(group);
}

// Frees the groups still open (after an error).
void dropClips(ClipStack *clips)
{
    while (clips->depth)
        Obj_destroy(clips->groups[--clips->depth]);
}

// A clip start or end met in a drawing at (x, y). 0 or 1.
int clipNode(LayoutBox *box, ClipStack *clips, const Prop *p, int32_t x, int32_t y)
{
    if (ClipPath_isEnd(p)) {
        if (clips->ignored)
            clips->ignored--;
        else if (clips->depth)
            closeClip(box, clips);
        return Res_ok;
    }
    int evenOdd = 0;
    const ClipPath *clip = ClipPath_fromValue(p, &evenOdd);
    if (!clip || clips->depth == kClipNesting) {
        clips->ignored++;
        return Res_ok;
    }
    ObjHeader *group = nullptr;
    int err = ClipGroup_create(clip, evenOdd, x, y, &group);
    if (err)
        return err;
    clips->groups[clips->depth] = group;
    clips->lastChild[clips->depth] = nullptr;
    clips->depth++;
    return Res_ok;
}

// The item of a blob node: a glyph-run string of positioned text runs
// (page-description text) in the text style of the node, under the
// style's transform when it has one.
int makeGlyphRunItem(LayoutBox *box, IterEntry *entry, ObjHeader **item)
{
    *item = nullptr;
    const Edr_BlobNode *blob =
        static_cast<const Edr_BlobNode *>(Edr_Node_payloadOrNull(entry->node));
    if (!blob || !blob->length)
        return Res_ok;
    TextFormat format{};
    int err = Layout_textFormat(box, entry->style, &format);
    if (err)
        return err;
    ObjHeader *o = Obj_create(&GlyphRunItem_class, 0);
    if (!o)
        return Res_noMemory;
    o->node = entry->node;
    GlyphRunItemPart *part = static_cast<GlyphRunItemPart *>(Obj_part(o));
    part->fonts = format.font;
    part->size = format.size;
    // The runs are placed by the page: no kerning moves their glyphs.
    part->styleFlags = TextStyle_noKerning;
    part->bytes = reinterpret_cast<const uint8_t *>(blob + 1);
    part->length = blob->length;
    uint8_t c[4] = {0, 0, 0, 0xFF};
    Edr_Style_getWithFallback(entry->style, PropId_color, c, 1);
    part->colour =
        uint32_t(c[0]) | uint32_t(c[1]) << 8 | uint32_t(c[2]) << 16 | uint32_t(c[3]) << 24;
    if (const Matrix *m =
            reinterpret_cast<const Matrix *>(Edr_Style_getType11(entry->style, PropId_transform))) {
        o->matrix = static_cast<Matrix *>(Mem_malloc(sizeof(Matrix)));
        if (!o->matrix) {
            Obj_destroy(o);
            return Res_noMemory;
        }
        *o->matrix = *m;
    }
    // The box of the runs, relative to the item's origin (still 0, 0).
    Rect bounds{};
    err = GlyphRunItem_bounds(box->context, o, &bounds);
    if (err) {
        Obj_destroy(o);
        return err;
    }
    if (bounds.x0 <= bounds.x1 && bounds.y0 <= bounds.y1)
        Obj_setBox(o, &bounds);
    *item = o;
    return Res_ok;
}

// A transform in force (the group of a turned or flipped shape) maps the
// outline in its own space, about the origin its position data gives: the
// item takes the matrix and covers the mapped outline, which is where the
// path item draws it. 0, or 1 when the matrix cannot be copied.
int turnPath(ObjHeader *item, const Matrix *m)
{
    PathItemPart *p = PathItem_part(item);
    if (!p)
        return Res_ok;
    p->matrix = static_cast<Matrix *>(Mem_malloc(sizeof(Matrix)));
    if (!p->matrix)
        return Res_noMemory;
    *p->matrix = *m;
    Point c[4];
    Rect_toQuad(c, &p->bounds);
    Matrix_transformPoints(c, 4, c, m);
    Rect mapped{};
    Rect_boundPoints(&mapped, c, 4, 1);
    Obj_setBox(item, &mapped);
    return Res_ok;
}

// The transform a cell is laid out under: that of a turned or flipped
// shape's group, whose first child is the data node that holds it; null
// for any other cell.
const Matrix *drawingCellTransform(Edr_Node *cell)
{
    const Prop *p = dataProp(Edr_Node_firstChild(Edr_Node_parent(cell)));
    if (!p || p->id != PropId_transform || p->type != PropType_matrix)
        return nullptr;
    return reinterpret_cast<const Matrix *>(p->payload);
}

// A picture of a cell laid out under a transform turns about its box's
// centre by the transform's quarter turns and flips: the item covers the
// turned box and draws its picture turned within it. Other items, and
// transforms that are not quarter turns, are left as they are.
void drawingTurnCellPicture(ObjHeader *item, const Matrix *m)
{
    ImageItemPart *part = ImageItem_part(item);
    if (!part || part->orient)
        return;
    const Rect r = Obj_box(item);
    if (r.x0 > r.x1 || r.y0 > r.y1)
        return;
    const int32_t cx = sat((int64_t(r.x0) + r.x1) / 2), cy = sat((int64_t(r.y0) + r.y1) / 2);
    const int32_t x0 = sat(int64_t(r.x0) - cx), x1 = sat(int64_t(r.x1) - cx);
    const int32_t y0 = sat(int64_t(r.y0) - cy), y1 = sat(int64_t(r.y1) - cy);
    const Point corners[4] = {{x0, y0}, {x0, y1}, {x1, y1}, {x1, y0}};
    Matrix turn = *m;
    turn.tx = turn.ty = 0;
    Rect placed{};
    uint32_t code = 0;
    if (ImageItem_orientation(corners, &turn, &placed, &code) != Res_ok)
        return;
    part->orient = code;
    const Rect moved{sat(int64_t(placed.x0) + cx), sat(int64_t(placed.y0) + cy),
                     sat(int64_t(placed.x1) + cx), sat(int64_t(placed.y1) + cy)};
    Obj_setBox(item, &moved);
}

// The path node's fill and outline items, turned by the transform in force.
int makePathItems(LayoutBox *box, IterEntry *e, ObjHeader *items[2])
{
    // Fill first, outline over it.
    int err = PathItem_makePair(box, e, &items[1], &items[0]);
    const Matrix *m =
        err ? nullptr
            : reinterpret_cast<const Matrix *>(Edr_Style_getType11(e->style, PropId_transform));
    for (int i = 0; m && i < 2 && !err; i++)
        if (items[i])
            err = turnPath(items[i], m);
    return err;
}

} // namespace

int Layout_makeTextItem(LayoutBox *box, Edr_Style *style, Edr_Node *node, const char16_t *chars,
                        uint32_t start, uint32_t length, ObjHeader **item)
{
    *item = nullptr;
    TextFormat format{};
    int err = Layout_textFormat(box, style, &format);
    if (err)
        return err;
    InternNode *interned = nullptr;
    err = Layout_internTextFormat(box->document, &format, &interned);
    const TextFormat *shared = err ? &format : static_cast<const TextFormat *>(interned->record);
    if (err && err != Res_nullInput)
        return err;
    ObjHeader *o = Obj_create(&TextItem_class, 0);
    if (!o) {
        if (interned)
            InternList_release(interned);
        return Res_noMemory;
    }
    if (interned)
        o->flags |= Obj_formatInterned;
    if (Edr_Style_testProp87(style, 1, box->hiddenItems ? 1 : 0))
        o->flags |= Obj_hidden;
    o->node = node;
    TextItemPart *part = static_cast<TextItemPart *>(Obj_part(o));
    part->format = interned;
    part->base.fonts = shared->font;
    part->base.size = shared->size;
    part->base.styleFlags = shared->decoration;
    part->base.style = shared->styleWords;
    part->base.charSpacing = shared->letterSpacing;
    part->base.wordSpacing = shared->wordSpacing;
    part->base.chars = chars;
    part->base.start = start;
    part->base.count = length;
    uint8_t c[4] = {0, 0, 0, 0xFF};
    Edr_Style_getWithFallback(style, PropId_color, c, 1);
    part->colour =
        uint32_t(c[0]) | uint32_t(c[1]) << 8 | uint32_t(c[2]) << 16 | uint32_t(c[3]) << 24;
    err = Layout_measureLabel(o);
    if (err) {
        Obj_destroy(o);
        return err;
    }
    part->baseline = sat(-int64_t(Obj_box(o).y0));
    *item = o;
    return Res_ok;
}

int Layout_makeLabelItem(LayoutBox *box, IterEntry *entry, ObjHeader **item, const Matrix *matrix,
                         int32_t x, int32_t y)
{
    *item = nullptr;
    const char16_t *chars = nullptr;
    uint32_t start = 0, length = 0;
    Layout_nodeText(entry, &chars, &start, &length);
    if (!chars || !length)
        return Res_ok;
    ObjHeader *o = nullptr;
    int err = Layout_makeTextItem(box, entry->style, entry->node, chars, start, length, &o);
    if (err)
        return err;
    Rect r = Obj_box(o);
    int32_t w = r.x1 == 0x7FFFFFFF ? 0 : sat(int64_t(r.x1) - r.x0);
    Point offset{0, 0};
    switch (Edr_Style_get(entry->style, PropId_textAlign, nullptr)) {
    case KwId_center: offset.x = -w / 2; break;
    case KwId_right: offset.x = -w; break;
    default: break;
    }
    // Vertical alignment: the baseline at the top, middle or bottom of
    // the item's extent.
    switch (Edr_Style_get(entry->style, PropId_verticalAlign, nullptr)) {
    case KwId_bottom: offset.y = sat(-int64_t(r.y1)); break;
    case KwId_middle: offset.y = sat(-(int64_t(r.y0) + r.y1) / 2); break;
    case KwId_top: offset.y = sat(-int64_t(r.y0)); break;
    default: break;
    }
    if (matrix) {
        Matrix m = *matrix;
        m.tx = m.ty = 0;
        Matrix_transformPoints(&offset, 1, &offset, &m);
        o->matrix = static_cast<Matrix *>(Mem_malloc(sizeof(Matrix)));
        if (!o->matrix) {
            Obj_destroy(o);
            return Res_noMemory;
        }
        *o->matrix = *matrix;
    }
    o->origin[0] = sat(int64_t(x) + offset.x);
    o->origin[1] = sat(int64_t(y) + offset.y);
    *item = o;
    return Res_ok;
}

namespace {

// Places the drawing's items, gathering the items between a clip start
// and its end into a clip group.
int placeDrawing(LayoutBox *box, BoxIter *iter, int32_t x, int32_t y, ClipStack *clips)
{
    int32_t dx = 0, dy = 0;
    uint32_t seen = 0;
    EngineContext *app = box->context;
    for (;;) {
        IterEntry e{};
        // A position marker ends the drawing, but not inside an open clip:
        // a clipped picture that places its own items from another origin
        // (a metafile) stays in its clip group, the marker only moving the
        // origin.
        const uint32_t stopAtMarker = iter->stopAtAbsolute;
        if (clips->depth)
            iter->stopAtAbsolute = 0;
        int err = BoxIter_next(iter, &e, box);
        iter->stopAtAbsolute = stopAtMarker;
        if (err)
            return err;
        if (!e.node)
            return Res_ok;
        if (++seen % Drawing_yieldEvery == 0 && app && Task_hasCurrent(app))
            Task_yield(app);
        int32_t px = sat(int64_t(x) + dx), py = sat(-(int64_t(y) + dy));
        if (isCellData(e.node)) {
            if (box->flowMode == 3)
                continue;
            err = clipNode(box, clips, dataProp(e.node), px, py);
            if (err)
                return err;
            continue;
        }
        if (Layout_isBlockLevel(e.style, e.node)) {
            if (box->flowMode == 3)
                continue;
            int32_t size[2] = {0, 0};
            LayoutBox *b = box;
            const Matrix *turn = drawingCellTransform(e.node);
            if ((!clips || !clips->depth) && !turn) {
                err = Layout_layoutCell(&b, e.node, e.style, px, py, size);
                if (err)
                    return err;
                continue;
            }
            // Inside a clip the cell's items (a picture's box) join the
            // clip group like the drawing's own items; under a transform
            // (a turned picture shape) its pictures are turned first.
            LayerList *cellLayers = LayerList_create();
            if (!cellLayers)
                return Res_noMemory;
            LayerList *savedLayers = box->layers;
            box->layers = cellLayers;
            err = Layout_layoutCell(&b, e.node, e.style, px, py, size);
            box->layers = savedLayers;
            ObjHeader *chain = nullptr;
            if (!err)
                err = LayerList_takeItems(cellLayers, &chain);
            else
                LayerList_freeItems(cellLayers);
            LayerList_destroy(cellLayers);
            while (chain) {
                ObjHeader *next = Obj_next(chain);
                if (turn)
                    drawingTurnCellPicture(chain, turn);
                place(box, clips, chain, 0, 0);
                chain = next;
            }
            if (err)
                return err;
            continue;
        }
        ObjHeader *items[2] = {nullptr, nullptr};
        switch (Edr_Node_type(e.node)) {
        case Edr_NodeType_path: err = makePathItems(box, &e, items); break;
        case Edr_NodeType_text:
            err = Layout_makeLabelItem(box, &e, &items[0], nullptr, 0, 0);
            break;
        case Edr_NodeType_drawList: err = DrawListItem_create(e.node, &items[0]); break;
        case Edr_NodeType_blob: err = makeGlyphRunItem(box, &e, &items[0]); break;
        case Edr_NodeType_picture:
        case Edr_NodeType_image:
            err = Layout_makeImageNodeItem(box, &items[0], &e);
            // A transform in force maps the image's natural box (a page's
            // images are placed this way): the item covers the mapped box,
            // its picture turned or flipped within it as the transform
            // turns it (a skewed image is drawn upright in its bounds).
            if (const Matrix *m = !err && items[0]
                                      ? reinterpret_cast<const Matrix *>(
                                            Edr_Style_getType11(e.style, PropId_transform))
                                      : nullptr) {
                Rect natural = Obj_box(items[0]), placed{};
                Point corners[4] = {{natural.x0, natural.y0},
                                    {natural.x0, natural.y1},
                                    {natural.x1, natural.y1},
                                    {natural.x1, natural.y0}};
                uint32_t code = 0;
                if (ImageItem_orientation(corners, m, &placed, &code) != Res_ok)
                    code = 0;
                ImageItem_part(items[0])->orient = code;
                Obj_setBox(items[0], &placed);
            } else if (!err && items[0]) {
                err = Layout_applyImageSize(box, e.style, items[0], 0, 0);
            }
            if (err == Layout_cannotMeasure) {
                Obj_destroy(items[0]);
                items[0] = nullptr;
                err = Res_ok;
            }
            break;
        case Edr_NodeType_data:
            if (const Prop *p = dataProp(e.node);
                p && p->id == kOffsetKey && p->type == kOffsetSubKey) {
                dx = int32_t(uint32_t(p->payload));
                dy = int32_t(p->payload2);
            }
            break;
        default: break;
        }
        if (err) {
            Obj_destroy(items[0]);
            Obj_destroy(items[1]);
            return err;
        }
        for (ObjHeader *o : items)
            if (o)
                place(box, clips, o, px, py);
    }
}

} // namespace

int Layout_placeDrawing(LayoutBox *box, BoxIter *iter, int32_t x, int32_t y, uint32_t)
{
    ClipStack clips{};
    int err = placeDrawing(box, iter, x, y, &clips);
    if (err)
        dropClips(&clips);
    while (clips.depth)
        closeClip(box, &clips);
    return err;
}
