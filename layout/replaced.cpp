// Replaced items: box items with borders and backgrounds, image items and
// their sizes, object items, replaced boxes in lines, labels and drawings.
#include "layout/replaced.h"

#include <algorithm>
#include <cstdlib>

#include "layout/layerlist.h"
#include "core/container/obj.h"
#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/task/task.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/style/style.h"
#include "document/style/styleread.h"
#include "fonts/fontdata.h"
#include "graphics/boxitem.h"
#include "graphics/image.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "graphics/imageitem.h"
#include "graphics/itemwalk.h"
#include "graphics/pagerec.h"
#include "graphics/pixelbuf.h"
#include "fonts/textitem.h"
#include "fonts/textrun.h"
#include "document/edr/webops.h"
#include "layout/block.h"
#include "layout/boxiter.h"
#include "layout/floatarea.h"
#include "layout/layout.h"
#include "layout/line.h"
#include "document/edr/page.h"
#include "platform/url/url.h"

namespace {

constexpr uint32_t kTypeLength = 2;
constexpr uint32_t kTypePercent = 7;
constexpr uint32_t kTypeList = 15;
constexpr uint32_t kPropOpacity = 143;
constexpr uint32_t kPropStops = 109;
constexpr uint32_t kPropBackgroundImage = 145;
constexpr int32_t kDefaultResolution = 96;
constexpr uint32_t kReplacedHtmlType = 227;    // the type code of web pages
constexpr uint32_t kReplacedImageButton = 144; // the form control kind of an image button

int32_t sat(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v);
}

uint32_t packColour(const uint8_t c[4])
{
    return uint32_t(c[0]) | uint32_t(c[1]) << 8 | uint32_t(c[2]) << 16 | uint32_t(c[3]) << 24;
}

bool hidden(const Edr_Style *style, uint32_t fallback)
{
    uint32_t v = style ? Edr_Style_get(style, PropId_visibility, nullptr) : 0;
    if (v == 0)
        return fallback != 0;
    return v == KwId_hidden || v == KwId_collapse;
}

bool lengthOrPercent(const Edr_Style *style, uint32_t id)
{
    uint32_t t = style ? Edr_Style_get(style, id, nullptr) : 0;
    return t == kTypeLength || t == kTypePercent;
}

int32_t lineWidth(const LayoutBox *box)
{
    return sat(int64_t(box->block.lineRight) - box->block.lineLeft);
}

bool hasHandler(Edr_Node *group)
{
    Edr_Group *g = static_cast<Edr_Group *>(Edr_Node_payloadOrNull(group));
    return g && g->ext && g->ext->records;
}

// placeImageItem: the item was freed and its entry pushed back.
constexpr int kPushedBack = -1;

int32_t areaWidth(const LayoutBox *box)
{
    return box->availableWidth;
}

} // namespace

// ------------------------------------------------------------------ box items

int Layout_makeBoxItem(LayoutBox *box, Edr_Node *node, ObjHeader **item, Rect *rect,
                       Edr_Style *style, const Rect *content, const int32_t *borders,
                       const int32_t *paddings, int opaque, int keepEmpty)
{
    *item = nullptr;
    Rect_setEmpty(rect);
    static const int32_t none[4] = {0, 0, 0, 0};
    const int32_t *b = borders ? borders : none, *p = paddings ? paddings : none;
    // Edges are {top, bottom, left, right}.
    Rect padding{sat(int64_t(content->x0) - p[2]), sat(int64_t(content->y0) - p[1]),
                 sat(int64_t(content->x1) + p[3]), sat(int64_t(content->y1) + p[0])};
    Edr_StylePayload image{};
    if (style && Edr_Style_get(style, kPropBackgroundImage, &image) != 0 && box) {
        BoxBackground *bg = nullptr;
        int err = BoxBackground_create(style, int32_t(image.word), &padding, &bg);
        if (!err)
            err = BoxBackground_addItem(box, bg, 0);
        BoxBackground_free(bg);
        if (err)
            return err;
    }
    int32_t w = sat(int64_t(content->x1) - content->x0);
    int32_t h = sat(int64_t(content->y1) - content->y0);
    Rect extent{sat(-(int64_t(b[2]) + p[2])), sat(-(int64_t(b[1]) + p[1])),
                sat(int64_t(w) + b[3] + p[3]), sat(int64_t(h) + b[0] + p[0])};
    ObjHeader *o = BoxItem_create(&extent);
    if (!o)
        return Res_noMemory;
    BoxItemPart *part = BoxItem_part(o);
    if (hidden(style, box ? box->hiddenItems : 0))
        o->flags |= Obj_hidden;
    o->node = node;
    o->origin[0] = content->x0;
    o->origin[1] = content->y0;
    // Side properties: left 17, right 15, top 14, bottom 16.
    struct Side {
        uint32_t prop, slot;
        int32_t width;
    } sides[4] = {{PropId_borderLeftStyle, BoxBorder_x0, b[2]},
                  {PropId_borderRightStyle, BoxBorder_x1, b[3]},
                  {PropId_borderTopStyle, BoxBorder_y1, b[0]},
                  {PropId_borderBottomStyle, BoxBorder_y0, b[1]}};
    bool anyBorder = false;
    for (const Side &s : sides) {
        Edr_Border e{};
        if (style)
            (void)Edr_Style_getBorder(style, s.prop, &e);
        BoxBorder &out = part->borders[s.slot];
        out.style = e.kind;
        out.colour = packColour(e.colour);
        out.width = s.width;
        if (e.kind > BorderStyle_hidden && s.width > 0)
            anyBorder = true;
    }
    Edr_StylePayload list{};
    uint32_t colourAlpha = 0;
    if (style && Edr_Style_get(style, kPropStops, &list) == kTypeList) {
        // The colour stops are painted in place of a colour.
        part->background.image = reinterpret_cast<void *>(list.word);
        colourAlpha = 0xFF;
    } else {
        uint8_t c[4] = {0, 0, 0, 0};
        if (style)
            Edr_Style_getWithFallback(style, PropId_backgroundColor, c, 17);
        if (opaque && c[3] == 0) {
            uint32_t white = 0;
            Pixel_namedColour(&white, 16);
            part->background.colour = white;
            colourAlpha = white >> 24;
        } else {
            part->background.colour = packColour(c);
            colourAlpha = c[3];
        }
    }
    if (colourAlpha == 0 && !anyBorder) {
        Edr_Node *first = node ? Edr_Node_firstChild(node) : nullptr;
        bool sized = lengthOrPercent(style, PropId_width) &&
                     lengthOrPercent(style, PropId_height) && !(first && Edr_Node_wrapsImage(node));
        bool handler =
            keepEmpty && node && Edr_Node_type(node) == Edr_NodeType_group && hasHandler(node);
        if (!sized && !handler) {
            Obj_destroy(o);
            return Res_ok;
        }
    }
    Rect_addItemBounds(rect, o, rect, nullptr);
    *item = o;
    return Res_ok;
}

// ---------------------------------------------------------------- objects

int Layout_makeObjectItem(LayoutBox *box, Edr_Node *node, Edr_Style *style, int32_t width,
                          int32_t height, const Point *origin, void *obj)
{
    Rect extent{0, 0, width, height};
    ObjHeader *o = BoxItem_create(&extent);
    if (!o)
        return Res_noMemory;
    if (hidden(style, box->hiddenItems))
        o->flags |= Obj_hidden;
    o->node = node;
    BoxItemPart *part = BoxItem_part(o);
    uint32_t black = 0;
    Pixel_namedColour(&black, 1);
    for (BoxBorder &b : part->borders)
        b.colour = black;
    part->background.colour = 0;
    o->spare[0] = reinterpret_cast<uintptr_t>(obj); // the object it shows (not owned)
    if (origin) {
        o->origin[0] = origin->x;
        o->origin[1] = origin->y;
    } else {
        Layout_placeAtLimit(o, box->block.direction, &box->block.lineLeft, &box->block.lineRight, 0,
                            0);
    }
    LayerList_selectKey(box->layers, LayerList_normalKey);
    LayerList_append(box->layers, o);
    return Res_ok;
}

namespace {

// A sub-document shown in its parent's page: the item draws the first
// page of the node's child document inside its own box, cut at the box.
void replacedPlaceOnLine(LayoutBox *box, LineState *st, ObjHeader *item, int32_t leading,
                         int32_t trailing);

struct SubdocItemPart {
    Edr_Node *node; // the sub-document node (the item's node)
};

int replacedSubdocDraw(EngineContext *ctx, ObjHeader *item, const Rect *, const Matrix *matrix,
                       const DrawTarget *target, const DrawFlags *flags, intptr_t extra)
{
    Edr_Node *node = static_cast<SubdocItemPart *>(Obj_part(item))->node;
    if ((item->flags & Obj_hidden) || !node || Edr_Node_type(node) != Edr_NodeType_subdoc ||
        !target || !target->bitmap)
        return Res_ok;
    Edr_SubdocNode *s = Edr_Node_subdocPayload(node);
    Edr_Doc *child = s ? s->child : nullptr;
    if (!child)
        return Res_ok;
    const Rect area = Obj_shownBox(item);
    // The box in device pixels bounds everything the child draws.
    const Point corners[4] = {
        {area.x0, area.y0}, {area.x0, area.y1}, {area.x1, area.y1}, {area.x1, area.y0}};
    Rect placed{}, clip{};
    uint32_t code = 0;
    if (ImageItem_orientation(corners, matrix, &placed, &code) != Res_ok)
        return Res_ok;
    Point offset{target->dx, target->dy};
    ImageItem_destRect(&placed, target->bitmap->scale, &offset, &clip);
    if (target->clip)
        Rect_intersect(&clip, target->clip);
    if (clip.x0 >= clip.x1 || clip.y0 >= clip.y1)
        return Res_ok;
    DrawTarget clipped = *target;
    clipped.clip = &clip;
    Edr_PageEntry *entry = nullptr;
    if (Edr_Page_findByIndex(&entry, child, 0, 0) != Res_ok || !entry)
        return Res_ok;
    int err = Res_ok;
    // The page's own colour fills the box first.
    if (const Edr_PageRec *first = Edr_Page_deref(entry); first && first->background[3])
        (void)Bitmap_fillColourAlpha(target->bitmap,
                                     uint32_t(first->background[0]) |
                                         uint32_t(first->background[1]) << 8 |
                                         uint32_t(first->background[2]) << 16,
                                     first->background[3], &clip);
    for (Edr_PageRec *rec = Edr_Page_deref(entry); rec && !err; rec = rec->nextRec) {
        // The child page's top-left corner goes to the box's (y grows
        // upwards: the top is the larger y).
        Matrix m = *Matrix_identity();
        m.tx = sat(int64_t(area.x0) - rec->bounds[0]);
        m.ty = sat(int64_t(area.y1) - rec->bounds[3]);
        if (matrix)
            Matrix_multiply(&m, &m, matrix);
        Rect shown{rec->bounds[0], rec->bounds[1], rec->bounds[2], rec->bounds[3]};
        err = View_drawItemList(ctx, rec->objects, &shown, &m, &clipped, flags, extra);
    }
    Edr_Page_release(entry, 0);
    return err;
}

int replacedSubdocIdentify(EngineContext *, ObjHeader *, const Rect *, const Matrix *,
                           const DrawTarget *, const DrawFlags *, uint32_t *amount)
{
    if (amount)
        *amount = 0x10000;
    return Res_ok;
}

int replacedSubdocBounds(EngineContext *, ObjHeader *item, Rect *bounds)
{
    Rect r = Obj_shownBox(item);
    Rect_union(bounds, &r);
    return Res_ok;
}

const ObjItemOps kReplacedSubdocOps = {replacedSubdocDraw, replacedSubdocIdentify,
                                       replacedSubdocBounds};
const ObjClass kReplacedSubdocClass = {&kReplacedSubdocOps, int32_t(sizeof(SubdocItemPart)),
                                       nullptr, Obj_itemPlain};

} // namespace

int Layout_placeFrameDocument(LayoutBox *box, Edr_Node *frame, Edr_Style *style, const Rect *rect)
{
    Edr_Node *node = nullptr;
    for (Edr_Node *c = frame ? Edr_Node_firstChild(frame) : nullptr; c && !node;
         c = Edr_Node_nextSibling(c))
        if (Edr_Node_type(c) == Edr_NodeType_subdoc)
            node = c;
    if (!node || rect->x0 >= rect->x1 || rect->y0 >= rect->y1)
        return Res_ok;
    ObjHeader *o = Obj_create(&kReplacedSubdocClass, 0);
    if (!o)
        return Res_noMemory;
    static_cast<SubdocItemPart *>(Obj_part(o))->node = node;
    o->node = node;
    if (hidden(style, box->hiddenItems))
        o->flags |= Obj_hidden;
    Obj_setBox(o, rect);
    LayerList_selectKey(box->layers, LayerList_normalKey);
    LayerList_append(box->layers, o);
    return Res_ok;
}

void Layout_subdocSize(Edr_Node *node, int32_t out[2])
{
    out[0] = out[1] = 0;
    if (!node || Edr_Node_type(node) != Edr_NodeType_subdoc)
        return;
    Edr_SubdocNode *s = Edr_Node_subdocPayload(node);
    Edr_Doc *child = s ? s->child : nullptr;
    if (!child)
        return;
    // The first page's size; a sub-document without pages yet is 0 by 0.
    int32_t key = -1;
    uint32_t kind = 0;
    if (Edr_Page_getKeyByIndex(&key, &kind, child, 0) != Res_ok)
        return;
    Edr_PageEntry *entry = nullptr;
    if (Edr_Page_find(&entry, child, key, kind, 0) != Res_ok || !entry)
        return;
    Edr_PageRec *rec = Edr_Page_deref(entry);
    out[0] = sat(int64_t(rec->bounds[2]) - rec->bounds[0]);
    out[1] = sat(int64_t(rec->bounds[3]) - rec->bounds[1]);
    Edr_Page_release(entry, 0);
}

void Layout_scaleToFit(int32_t target, int32_t *width, int32_t *height, Matrix *matrix)
{
    if (*width == 0 || *height == 0)
        return;
    int32_t newHeight = sat(int64_t(*height) * target / *width);
    if (matrix) {
        *matrix = *Matrix_identity();
        matrix->a = sat((int64_t(target) << 16) / *width);
        matrix->d = sat((int64_t(newHeight) << 16) / *height);
    }
    *width = target;
    *height = newHeight;
}

int Layout_placeObject(LayoutBox *box, LineState *st, IterEntry *entry, Edr_Node *node)
{
    if (box->flowMode == 3)
        return Res_ok; // the box tree's object placer takes it
    Edr_Style *style = entry->style;
    int32_t w = Replaced_defaultWidth, h = Replaced_defaultHeight;
    bool scalable = true;
    if ((style && Edr_Style_get(style, PropId_display, nullptr) == KwId_frameBox) ||
        box->flowMode) {
        int32_t size[2];
        Layout_subdocSize(node, size);
        w = size[0];
        h = size[1];
    } else if (style) {
        int32_t region = box->pageRect[1] == Layout_unset
                             ? 0
                             : sat(int64_t(box->pageRect[3]) - box->pageRect[1]);
        // An unset or unusable property leaves the value set above.
        (void)Edr_Style_getMeasure(style, PropId_width, &w, box->availableWidth);
        (void)Edr_Style_getMeasure(style, PropId_height, &h, region);
    }
    int32_t band = lineWidth(box);
    Matrix m = *Matrix_identity();
    if (w > band) {
        if (band < box->availableWidth && entry->rewinds < Replaced_maxRewinds)
            return Layout_lineFull;
        if (box->flowMode && scalable)
            Layout_scaleToFit(band, &w, &h, &m);
        else if (box->flowMode)
            w = band;
    }
    if (st && node && Edr_Node_type(node) == Edr_NodeType_subdoc) {
        // On the line, as tall as it is, drawing its document.
        ObjHeader *o = Obj_create(&kReplacedSubdocClass, 0);
        if (!o)
            return Res_noMemory;
        static_cast<SubdocItemPart *>(Obj_part(o))->node = node;
        o->node = node;
        if (hidden(style, box->hiddenItems))
            o->flags |= Obj_hidden;
        Rect r{0, 0, w, h};
        Obj_setBox(o, &r);
        replacedPlaceOnLine(box, st, o, 0, 0);
        return Res_ok;
    }
    Point at{box->block.direction == KwId_rtl ? sat(int64_t(box->block.lineRight) - w)
                                              : box->block.lineLeft,
             0};
    int err = Layout_makeObjectItem(box, node, style, w, h, &at, node);
    if (!err) {
        if (box->block.direction == KwId_rtl)
            box->block.lineRight = at.x;
        else
            box->block.lineLeft = sat(int64_t(at.x) + w);
    }
    return err;
}

// ----------------------------------------------------------------- images

namespace {

// A web page's picture is as many CSS pixels (96 an inch) as it has
// pixels, whatever resolution the file records.
bool replacedWebPicture(const ObjHeader *item)
{
    Edr_Node *node = item ? item->node : nullptr;
    if (!node || Edr_Node_type(node) != Edr_NodeType_image)
        return false;
    const Edr_ImageNode *im = Edr_Node_imagePayload(node);
    return im && im->owner && Edr_Doc_getTypeCode(im->owner) == kReplacedHtmlType;
}

} // namespace

int Layout_imageNaturalSize(ObjHeader *item, int32_t *width, int32_t *height)
{
    *width = *height = 0;
    ImageItemPart *part = ImageItem_part(item);
    if (!part)
        return Layout_cannotMeasure;
    if (part->kind == ImageItem_handleKind && !part->handle) {
        // A picture record: its size is in layout units already.
        *width = part->width;
        *height = part->height;
    } else {
        int32_t w = 0, h = 0, res = 0, scale = 0;
        uint32_t flags = 0;
        if (ImageItem_getInfo(item, 0, &w, &h, &res, &scale, &flags) != Res_ok)
            return Layout_cannotMeasure;
        if (res <= 0 || replacedWebPicture(item))
            res = kDefaultResolution;
        *width = sat((int64_t(w) << 16) / res);
        *height = sat((int64_t(h) << 16) / res);
    }
    return *width < 1 || *height < 1 ? int(Layout_cannotMeasure) : int(Res_ok);
}

int Layout_measureImageItem(ObjHeader *item)
{
    int32_t w = 0, h = 0;
    int err = Layout_imageNaturalSize(item, &w, &h);
    if (err)
        return err;
    Rect r{0, 0, w, h};
    Obj_setBox(item, &r);
    return Res_ok;
}

namespace {

int finishImageItem(LayoutBox *box, ObjHeader *o, IterEntry *entry, ObjHeader **item)
{
    if (const Edr_Style *style = entry->style) {
        int32_t opacity = 0;
        if (Edr_Style_getKeyword(style, kPropOpacity, &opacity))
            ImageItem_part(o)->alpha = uint32_t(std::clamp(opacity, 0, 255));
    }
    if (hidden(entry->style, box ? box->hiddenItems : 0))
        o->flags |= Obj_hidden;
    o->node = entry->node;
    int err = Layout_measureImageItem(o);
    if (err) {
        Obj_destroy(o);
        return err;
    }
    *item = o;
    return Res_ok;
}

} // namespace

int Layout_makeImageItem(LayoutBox *box, ObjHeader **item, IterEntry *entry)
{
    *item = nullptr;
    Edr_PictureNode *pic = static_cast<Edr_PictureNode *>(Edr_Node_payloadOrNull(entry->node));
    if (!pic || !pic->record)
        return Layout_cannotMeasure;
    ObjHeader *o = ImageItem_create(nullptr);
    if (!o)
        return Res_noMemory;
    ImageItemPart *part = ImageItem_part(o);
    part->kind = ImageItem_handleKind;
    part->width = sat(pic->record->words[0]);
    part->height = sat(pic->record->words[1]);
    return finishImageItem(box, o, entry, item);
}

int Layout_makeDocImageItem(LayoutBox *box, ObjHeader **item, IterEntry *entry)
{
    *item = nullptr;
    Edr_ImageNode *im = Edr_Node_imagePayload(entry->node);
    if (!im || !im->image || !Image_isUsable(im->image))
        return Layout_cannotMeasure;
    ObjHeader *o = ImageItem_create(nullptr);
    if (!o)
        return Res_noMemory;
    ImageItemPart *part = ImageItem_part(o);
    part->kind = ImageItem_handleKind;
    part->handle = im->image; // lent: the node keeps it
    return finishImageItem(box, o, entry, item);
}

int Layout_makeImageNodeItem(LayoutBox *box, ObjHeader **item, IterEntry *entry)
{
    *item = nullptr;
    switch (Edr_Node_type(entry->node)) {
    case Edr_NodeType_picture: return Layout_makeImageItem(box, item, entry);
    case Edr_NodeType_image: return Layout_makeDocImageItem(box, item, entry);
    default: return Res_ok;
    }
}

int Layout_sizeImage(EngineContext *, ObjHeader *item, int32_t width, int32_t height)
{
    int32_t nw = 0, nh = 0;
    int err = Layout_imageNaturalSize(item, &nw, &nh);
    if (err)
        return err;
    int32_t w = nw, h = nh;
    if (width > 0 && height > 0) {
        w = width;
        h = height;
    } else if (width > 0) {
        w = width;
        h = sat(int64_t(nh) * width / nw);
    } else if (height > 0) {
        h = height;
        w = sat(int64_t(nw) * height / nh);
    }
    if (width > 0)
        w = std::min(w, width);
    if (height > 0)
        h = std::min(h, height);
    if (w <= 0 || h <= 0)
        return Layout_cannotMeasure;
    Rect r{0, 0, w, h};
    if (item->matrix) {
        Point c[4];
        Rect_toQuad(c, &r);
        Matrix_transformPoints(c, 4, c, item->matrix);
        Rect_boundPoints(&r, c, 4, 1);
    }
    Obj_setBox(item, &r);
    return Res_ok;
}

int Layout_applyImageSize(LayoutBox *box, Edr_Style *style, ObjHeader *item, int32_t target,
                          int ignoreArea)
{
    int32_t nw = 0, nh = 0;
    int err = Layout_imageNaturalSize(item, &nw, &nh);
    if (err)
        return err;
    int32_t reference = ignoreArea ? int32_t(0x80000000) : areaWidth(box);
    int32_t w = -1, h = -1;
    if (style) {
        // An unset or unusable property leaves the value set above.
        (void)Edr_Style_getMeasure(style, PropId_width, &w, reference);
        (void)Edr_Style_getMeasure(style, PropId_height, &h, reference);
    }
    if (w < 0)
        w = -1;
    if (h < 0)
        h = -1;
    if (target > 0) {
        int32_t fromW = w > 0 ? w : nw;
        int32_t fromH = h > 0 ? h : nh;
        h = sat(int64_t(fromH) * target / fromW);
        w = target;
    }
    return Layout_sizeImage(box ? box->context : nullptr, item, w, h);
}

int Layout_fitImageToBand(LayoutBox *box, ObjHeader *item, Edr_Style *style, int32_t insets)
{
    Mem_free(item->matrix);
    item->matrix = nullptr;
    int err = Layout_measureImageItem(item);
    if (!err)
        err = Layout_applyImageSize(box, style, item, sat(int64_t(lineWidth(box)) - insets), 0);
    return err;
}

int Layout_setItemTransform(LayoutBox *, ObjHeader *item, const Matrix *matrix)
{
    if (!item->matrix) {
        item->matrix = static_cast<Matrix *>(Mem_malloc(sizeof(Matrix)));
        if (!item->matrix)
            return Res_noMemory;
        *item->matrix = *matrix;
    } else {
        Matrix_multiply(item->matrix, item->matrix, matrix);
    }
    if (ImageItem_is(item)) {
        Rect r = Obj_box(item);
        return Layout_sizeImage(nullptr, item, sat(int64_t(r.x1) - r.x0),
                                sat(int64_t(r.y1) - r.y0));
    }
    return Res_ok;
}

namespace {

// Sets a placed item at the line's leading or trailing limit and adds it to
// the line being built, or to the box's normal layer outside a line.
void replacedPlaceOnLine(LayoutBox *box, LineState *st, ObjHeader *item, int32_t leading,
                         int32_t trailing)
{
    uint32_t dir = st ? st->direction : box->block.direction;
    Layout_placeAtLimit(item, dir, &box->block.lineLeft, &box->block.lineRight, leading, trailing);
    if (st)
        LayerList_append(st->reverse ? st->reverse : st->line, item);
    else {
        LayerList_selectKey(box->layers, LayerList_normalKey);
        LayerList_append(box->layers, item);
    }
}

// An image item on the line, with the wide-image rules: pushed back to
// the next line while the line is short of the full width, refitted in
// the reflowing modes, else placed and the line ended.
int placeImageItem(LayoutBox *box, LineState *st, IterEntry *entry, ObjHeader *item,
                   Edr_Style *style, int32_t leading, int32_t trailing)
{
    int result = Res_ok;
    Rect r = Obj_box(item);
    int64_t need = int64_t(r.x1) - r.x0 + leading + trailing;
    if (need > lineWidth(box)) {
        if (lineWidth(box) < box->availableWidth && entry->rewinds < Replaced_maxRewinds) {
            Obj_destroy(item);
            if (st && st->iter)
                BoxIter_rewindTo(st->iter, entry);
            return kPushedBack;
        }
        if (box->flowMode) {
            int err = Layout_fitImageToBand(box, item, style, sat(int64_t(leading) + trailing));
            if (err) {
                Obj_destroy(item);
                return err == Layout_cannotMeasure ? Res_ok : err;
            }
        } else {
            result = Layout_lineFull;
        }
    }
    replacedPlaceOnLine(box, st, item, leading, trailing);
    return result;
}

// True when the image node will show no picture: its load ended without
// one, or it had nothing to load.
bool replacedImageFailed(Edr_Node *image)
{
    if (!image || Edr_Node_type(image) != Edr_NodeType_image)
        return false;
    const Edr_ImageNode *im = Edr_Node_imagePayload(image);
    if (!im)
        return false;
    if (im->image)
        return !Image_isUsable(im->image);
    const Url *url = im->imageUrl;
    bool nothingToLoad =
        !url || ((!url->path || !url->path[0]) && (!url->host || !url->host[0]) && !url->data);
    return nothingToLoad || (im->loadState & 7) == 1;
}

// A picture that cannot be shown is replaced by its element's
// alternative text (the group's text), set on the line like a word.
int replacedPlaceAltText(LayoutBox *box, LineState *st, Edr_Node *group, Edr_Node *image,
                         Edr_Style *style, int32_t leading, int32_t trailing)
{
    if (!replacedImageFailed(image) || !group || Edr_Node_type(group) != Edr_NodeType_group)
        return Res_ok;
    const Edr_Group *g = Edr_Node_group(group);
    const char16_t *alt = g && g->ext ? g->ext->text : nullptr;
    if (!alt || !alt[0])
        return Res_ok;
    char16_t *copy = Ustr_dup(alt);
    if (!copy)
        return Res_noMemory;
    ObjHeader *item = nullptr;
    int err = Layout_makeTextItem(box, style, group, copy, 0, uint32_t(Ustr_len(copy)), &item);
    if (err || !item) {
        Mem_free(copy);
        return err;
    }
    item->block = copy;
    item->flags |= Obj_ownsData;
    Rect r = Obj_box(item);
    if (r.x1 == 0x7FFFFFFF)
        r.x1 = r.x0;
    Obj_setBox(item, &r);
    replacedPlaceOnLine(box, st, item, leading, trailing);
    return Res_ok;
}

} // namespace

int Layout_placeImage(LayoutBox *box, LineState *st, IterEntry *entry)
{
    ObjHeader *item = nullptr;
    int err = Layout_makeImageNodeItem(box, &item, entry);
    if (!err && item)
        err = Layout_applyImageSize(box, entry->style, item, 0, 0);
    if (err || !item) {
        if (item)
            Obj_destroy(item);
        if (err == Layout_cannotMeasure || !err)
            return replacedPlaceAltText(box, st, Edr_Node_parent(entry->node), entry->node,
                                        entry->style, 0, 0);
        return err;
    }
    int r = placeImageItem(box, st, entry, item, entry->style, 0, 0);
    return r == kPushedBack ? Layout_lineFull : r;
}

int Layout_placeImageBox(LayoutBox *box, LineState *st, IterEntry *entry)
{
    Edr_Style *style = entry->style;
    Edr_Node *group = entry->node;
    Edr_Edges m{}, b{}, p{};
    if (style)
        Edr_Style_getEdges(style, &m, &b, &p, box->availableWidth);
    int32_t leading = sat(int64_t(m.left) + b.left + p.left);
    int32_t trailing = sat(int64_t(m.right) + b.right + p.right);
    Edr_Node *child = group ? Edr_Node_firstChild(group) : nullptr;
    if (!child) {
        int32_t w = 0, h = 0;
        if (style && Edr_Style_getLength(style, PropId_width, &w) &&
            Edr_Style_getLength(style, PropId_height, &h)) {
            Rect r{0, 0, w, h};
            ObjHeader *o = BoxItem_create(&r);
            if (!o)
                return Res_noMemory;
            if (hidden(style, box->hiddenItems))
                o->flags |= Obj_hidden;
            o->node = group;
            Layout_placeAtLimit(o, box->block.direction, &box->block.lineLeft,
                                &box->block.lineRight, leading, trailing);
            if (st)
                LayerList_append(st->line, o);
            else
                LayerList_append(box->layers, o);
        }
        return Res_ok;
    }
    int result = Res_ok;
    ObjHeader *current = nullptr;
    for (; child; child = Edr_Node_nextSibling(child)) {
        uint32_t type = Edr_Node_type(child);
        IterEntry e = *entry;
        e.node = child;
        if (type == Edr_NodeType_subdoc) {
            int err = Layout_placeObject(box, st, &e, child);
            if (err)
                return err;
            continue;
        }
        if (type == Edr_NodeType_picture || type == Edr_NodeType_image) {
            ObjHeader *item = nullptr;
            int err = Layout_makeImageNodeItem(box, &item, &e);
            if (!err && item)
                err = Layout_applyImageSize(box, style, item, 0, 0);
            if (err == Layout_cannotMeasure || (!err && !item)) {
                if (item)
                    Obj_destroy(item);
                return current
                           ? Res_ok
                           : replacedPlaceAltText(box, st, group, child, style, leading, trailing);
            }
            if (err) {
                if (item)
                    Obj_destroy(item);
                return err;
            }
            int r = placeImageItem(box, st, entry, item, style, leading, trailing);
            if (r == kPushedBack)
                return Layout_lineFull;
            if (r && r != Layout_lineFull)
                return r;
            if (r == Layout_lineFull)
                result = r;
            current = item;
            continue;
        }
        if (type == Edr_NodeType_group) {
            if (Edr_Node_isFormGroup(child))
                break;
            Edr_Node *first = Edr_Node_firstChild(child);
            if (first && Edr_Node_type(first) == Edr_NodeType_path) {
                int32_t w = 0, h = 0;
                if (!current && style && Edr_Style_getLength(style, PropId_width, &w) &&
                    Edr_Style_getLength(style, PropId_height, &h)) {
                    Rect r{0, 0, w, h};
                    ObjHeader *o = ImageItem_create(&r);
                    if (!o)
                        return Res_noMemory;
                    o->node = group;
                    Layout_placeAtLimit(o, box->block.direction, &box->block.lineLeft,
                                        &box->block.lineRight, leading, trailing);
                    LayerList_append(st ? st->line : box->layers, o);
                    current = o;
                }
                if (current) {
                    Rect r = Obj_shownBox(current);
                    int err = Layout_placePathItem(box, style, first, child, &r, 0);
                    if (err)
                        return err;
                }
                continue;
            }
        }
        break;
    }
    return result;
}

namespace {

// The picture of an image button on the line, sized by the button's style,
// or its alternative text when the picture cannot be had.
int replacedPlaceImageButton(LayoutBox *box, LineState *st, IterEntry *entry, Edr_Node *image)
{
    IterEntry e = *entry;
    e.node = image;
    ObjHeader *item = nullptr;
    int err = Layout_makeImageNodeItem(box, &item, &e);
    if (!err && item)
        err = Layout_applyImageSize(box, entry->style, item, 0, 0);
    if (err || !item) {
        if (item)
            Obj_destroy(item);
        if (err == Layout_cannotMeasure || !err)
            return replacedPlaceAltText(box, st, entry->node, image, entry->style, 0, 0);
        return err;
    }
    int r = placeImageItem(box, st, entry, item, entry->style, 0, 0);
    return r == kPushedBack ? Layout_lineFull : r;
}

} // namespace

int Layout_placeFormControl(LayoutBox *box, LineState *st, IterEntry *entry)
{
    // Only a group that holds a form control is placed, as wide as the
    // style's horizontal extent, with the box edges around it.
    Edr_Node *node = entry->node;
    if (!node || !Edr_Node_isFormGroup(node))
        return Res_ok;
    // An image button shows its picture like a replaced box.
    const Edr_Group *g = Edr_Node_group(node);
    uint32_t kind = 0;
    if (g && g->subtypeValue && Edr_Web_controlGetKind(nullptr, g->subtypeValue, &kind) == Res_ok &&
        kind == kReplacedImageButton) {
        for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c))
            if (Edr_Node_type(c) == Edr_NodeType_image)
                return replacedPlaceImageButton(box, st, entry, c);
    }
    int32_t width = 0;
    if (entry->style)
        (void)Edr_Style_clampProp90(entry->style, &width, 0, box->availableWidth);
    return Layout_placeWidget(box, st, st ? st->iter : nullptr, entry, entry->style, width);
}

// ------------------------------------------------------------------ labels

int Layout_measureLabel(ObjHeader *item)
{
    const ObjTextPart *t = static_cast<const ObjTextPart *>(Obj_part(item));
    Rect extent{};
    uint32_t fitted = 0;
    int err =
        TextRun_measureFit(t->fonts, t->size, t->styleFlags, t->style, t->chars + t->start,
                           t->count, t->charSpacing, t->wordSpacing, 0x7FFFFFFF, &fitted, &extent);
    if (err)
        return err;
    if (fitted < t->count)
        extent.x1 = 0x7FFFFFFF;
    Obj_setBox(item, &extent);
    return Res_ok;
}

int Layout_cursorImage(LayoutCursor *cursor, Edr_Style *style, Edr_Node *node)
{
    IterEntry e{};
    e.style = style;
    e.node = node;
    ObjHeader *item = nullptr;
    int err = Layout_makeImageNodeItem(cursor->box, &item, &e);
    if (!err && item)
        err = Layout_applyImageSize(cursor->box, style, item, 0, 0);
    if (err || !item) {
        if (item)
            Obj_destroy(item);
        return err == Layout_cannotMeasure ? Res_ok : err;
    }
    Rect r = Obj_box(item);
    int32_t ml = 0, mr = 0;
    if (style) {
        // An unset property leaves the value set above.
        (void)Edr_Style_getLength(style, PropId_marginLeft, &ml);
        (void)Edr_Style_getLength(style, PropId_marginRight, &mr);
    }
    int32_t width = sat(int64_t(r.x1) - r.x0 + ml + mr);
    Layout_newLine(cursor);
    Layout_advanceX(cursor, width);
    Layout_advanceY(cursor, width);
    Layout_newLine(cursor);
    Obj_destroy(item);
    return Res_ok;
}

int Layout_measureImage(LayoutCursor *cursor, Edr_Style *style, Edr_Node *node)
{
    return Layout_cursorImage(cursor, style, node);
}
