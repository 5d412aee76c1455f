// Drawings: subtrees whose nodes carry their own positions (paths, labels,
// pictures and cells) laid out at an origin, and the label items of text
// nodes in them.
#include <algorithm>

#include "core/container/intern.h"
#include "core/container/layerlist.h"
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
#include "graphics/drawlist.h"
#include "graphics/glyphrun.h"
#include "graphics/textrun.h"
#include "graphics/textitem.h"
#include "layout/block.h"
#include "layout/boxiter.h"
#include "layout/layout.h"
#include "layout/line.h"
#include "layout/replaced.h"

namespace
{

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

// Moves the item to (x, y), appends it to layer 1 and unites its bounds
// into the box's.
void place(LayoutBox *box, ObjHeader *item, int32_t x, int32_t y)
{
    item->origin[0] = sat(int64_t(item->origin[0]) + x);
    item->origin[1] = sat(int64_t(item->origin[1]) + y);
    LayerList_selectKey(box->layers, LayerList_normalKey);
    LayerList_append(box->layers, item);
    Rect bounds{box->bounds[0], box->bounds[1], box->bounds[2], box->bounds[3]};
    Rect_addItemBounds(&bounds, item, nullptr, nullptr);
    box->bounds[0] = bounds.x0;
    box->bounds[1] = bounds.y0;
    box->bounds[2] = bounds.x1;
    box->bounds[3] = bounds.y1;
}

// The item of a blob node: a glyph-run string of positioned text runs
// (page-description text) in the text style of the node, under the
// style's transform when it has one.
int makeGlyphRunItem(LayoutBox *box, IterEntry *entry, ObjHeader **item)
{
    *item = nullptr;
    const Edr_BlobNode *blob = static_cast<const Edr_BlobNode *>(Edr_Node_payloadOrNull(entry->node));
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
    part->colour = uint32_t(c[0]) | uint32_t(c[1]) << 8 | uint32_t(c[2]) << 16 | uint32_t(c[3]) << 24;
    if (const Matrix *m = reinterpret_cast<const Matrix *>(Edr_Style_getType11(entry->style, PropId_transform))) {
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

} // namespace

int Layout_makeLabelItem(LayoutBox *box, IterEntry *entry, ObjHeader **item, const Matrix *matrix,
                         int32_t x, int32_t y)
{
    *item = nullptr;
    const char16_t *chars = nullptr;
    uint32_t start = 0, length = 0;
    Layout_nodeText(entry, &chars, &start, &length);
    if (!chars || !length)
        return Res_ok;
    TextFormat format{};
    int err = Layout_textFormat(box, entry->style, &format);
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
    if (Edr_Style_testProp87(entry->style, 1, box->hiddenItems ? 1 : 0))
        o->flags |= Obj_hidden;
    o->node = entry->node;
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
    Edr_Style_getWithFallback(entry->style, PropId_color, c, 1);
    part->colour =
        uint32_t(c[0]) | uint32_t(c[1]) << 8 | uint32_t(c[2]) << 16 | uint32_t(c[3]) << 24;
    err = Layout_measureLabel(o);
    if (err) {
        Obj_destroy(o);
        return err;
    }
    Rect r = Obj_box(o);
    part->baseline = sat(-int64_t(r.y0));
    int32_t w = r.x1 == 0x7FFFFFFF ? 0 : sat(int64_t(r.x1) - r.x0);
    Point offset{0, 0};
    switch (Edr_Style_get(entry->style, PropId_textAlign, nullptr)) {
    case KwId_center:
        offset.x = -w / 2;
        break;
    case KwId_right:
        offset.x = -w;
        break;
    default:
        break;
    }
    // Vertical alignment: the baseline at the top, middle or bottom of
    // the item's extent.
    switch (Edr_Style_get(entry->style, PropId_verticalAlign, nullptr)) {
    case KwId_bottom:
        offset.y = sat(-int64_t(r.y1));
        break;
    case KwId_middle:
        offset.y = sat(-(int64_t(r.y0) + r.y1) / 2);
        break;
    case KwId_top:
        offset.y = sat(-int64_t(r.y0));
        break;
    default:
        break;
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

int Layout_placeDrawing(LayoutBox *box, BoxIter *iter, int32_t x, int32_t y, uint32_t)
{
    int32_t dx = 0, dy = 0;
    uint32_t seen = 0;
    EngineContext *app = box->context;
    for (;;) {
        IterEntry e{};
        int err = BoxIter_next(iter, &e, box);
        if (err)
            return err;
        if (!e.node)
            return Res_ok;
        if (++seen % Drawing_yieldEvery == 0 && app && Task_hasCurrent(app))
            Task_yield(app);
        int32_t px = sat(int64_t(x) + dx), py = sat(-(int64_t(y) + dy));
        if (Layout_isBlockLevel(e.style, e.node) || isCellData(e.node)) {
            if (box->flowMode == 3)
                continue;
            int32_t size[2] = {0, 0};
            LayoutBox *b = box;
            err = Layout_layoutCell(&b, e.node, e.style, px, py, size);
            if (err)
                return err;
            continue;
        }
        ObjHeader *items[2] = {nullptr, nullptr};
        switch (Edr_Node_type(e.node)) {
        case Edr_NodeType_path:
            err = PathItem_makePair(box, &e, &items[0], &items[1]);
            break;
        case Edr_NodeType_text:
            err = Layout_makeLabelItem(box, &e, &items[0], nullptr, 0, 0);
            break;
        case Edr_NodeType_drawList:
            err = DrawListItem_create(e.node, &items[0]);
            break;
        case Edr_NodeType_blob:
            err = makeGlyphRunItem(box, &e, &items[0]);
            break;
        case Edr_NodeType_picture:
        case Edr_NodeType_image:
            err = Layout_makeImageNodeItem(box, &items[0], &e);
            if (!err && items[0])
                err = Layout_applyImageSize(box, e.style, items[0], 0, 0);
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
        default:
            break;
        }
        if (err) {
            Obj_destroy(items[0]);
            Obj_destroy(items[1]);
            return err;
        }
        for (ObjHeader *o : items)
            if (o)
                place(box, o, px, py);
    }
}
