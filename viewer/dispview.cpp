// Display views: creating, updating and destroying them, and the queries
// that map between view pixels and the pages they show.
//
// Geometry. View pixels are the client's, y up from the bottom row. The
// view document's page units are 1/65536 inch with y going down from 0 at
// the top; the view matrix (identity moved up by the view height in page
// units) turns them into view units, and a distance of n view units is
// n x resolution / 65536 pixels. A page link (a sub-document node of the
// view's page group: the document shown, its matrix and the key pair of
// its page) maps that page's units into the view document's.
#include "viewer/dispman.h"

#include <cstring>

#include "core/context/context.h"
#include "core/geom/fixed.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "document/edit/selection.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/manager/manager.h"
#include "graphics/bitmap.h"
#include "graphics/pixelbuf.h"
#include "platform/api/request.h"
#include "viewer/screen/screen.h"

namespace {

// The style request and the id its rule matches on the page group.
constexpr uint32_t styleRequestKind = 2;
constexpr uint32_t groupId = 1;
constexpr uint32_t displayBlock = 39;
// The inherited string property that names a link's target.
constexpr uint32_t linkProperty = 143;

DispmanCtx *dispmanOf(EngineContext *context)
{
    return context ? static_cast<DispmanCtx *>(context->dispman) : nullptr;
}

int32_t resolutionOf(const DispmanView *view)
{
    return view->resolution > 0 ? view->resolution : int32_t(Screen_defaultResolution);
}

// Pixels to view units and back (rounded to the nearest pixel).
int32_t toUnits(int32_t px, int32_t resolution)
{
    return static_cast<int32_t>((int64_t(px) * 65536) / resolution);
}

int32_t toPixels(int32_t units, int32_t resolution)
{
    return static_cast<int32_t>((int64_t(units) * resolution + 32768) >> 16);
}

void identityMovedUp(Matrix *m, int32_t height, int32_t resolution)
{
    Matrix_setIdentity(m);
    m->ty = toUnits(height, resolution);
}

// The tile check: the page band memory must hold a square tile of the
// format. 0 or 4354.
int tileCheck(uint32_t bandSize, uint32_t format)
{
    uint32_t bpp = Pixel_bytesPerPixel(format);
    if (bpp == 0)
        return Res_dispmanNoTile;
    uint32_t room = (bandSize / 12) * 4;
    uint32_t side = Fixed_isqrt(room / bpp);
    uint32_t q = 4 / bpp ? 4 / bpp : 1;
    uint64_t width = uint64_t(side) + q - (side % q);
    uint64_t height = side;
    uint64_t stride = (width * bpp + 3) & ~uint64_t(3);
    while (height && height * stride > room)
        height--;
    return width == 0 || height == 0 ? Res_dispmanNoTile : Res_ok;
}

// A bitmap over the client's pixels.
int clientBitmap(EngineContext *context, const Screen *client, Bitmap **out)
{
    uint32_t flags = client->flags & Screen_flagIndirect ? uint32_t(Bitmap_flagIndirect) : 0u;
    int32_t resolution =
        client->resolution > 0 ? client->resolution : int32_t(Screen_defaultResolution);
    return Bitmap_create(context, out, client->width, client->height, client->format, resolution,
                         client->pixels, flags);
}

void wholeClient(DispmanView *view, const Screen *client, const Rect *clip)
{
    view->viewRect = clip ? *clip : Rect{0, 0, client->width, client->height};
    view->panLimits = Rect{client->width, client->height, 0, 0};
    view->resolution =
        client->resolution > 0 ? client->resolution : int32_t(Screen_defaultResolution);
    identityMovedUp(&view->viewMatrix, client->height, view->resolution);
}

// The page link's matrix.
Matrix linkMatrix(const Edr_SubdocNode *link)
{
    const int32_t *p = link->placement;
    return Matrix{p[0], p[1], p[2], p[3], p[4], p[5]};
}

// The rectangle of the linked page in the view document's units (the
// bounds of its corners through the link's matrix). False when the page
// cannot be found.
bool linkRect(Edr_Node *node, Rect *out)
{
    Edr_SubdocNode *link = Edr_Node_subdocPayload(node);
    if (!link || !link->child)
        return false;
    int32_t b[4];
    if (Edr_Page_getRect(link->child, int32_t(link->pageKey), uint32_t(link->pageKind), b) !=
        Res_ok)
        return false;
    Rect r{b[0], b[1], b[2], b[3]};
    Point corners[4];
    Rect_toQuad(corners, &r);
    Matrix m = linkMatrix(link);
    Matrix_transformQuad(corners, corners, &m);
    Rect_boundPoints(out, corners, 4, 1);
    return true;
}

// The last page link of the group whose page contains the point (view
// document units), or with any set the last page link of the group.
Edr_Node *linkAt(DispmanView *view, const Point *p)
{
    Edr_Node *found = nullptr;
    for (Edr_Node *n = view->pageGroup ? Edr_Node_firstChild(view->pageGroup) : nullptr; n;
         n = Edr_Node_nextSibling(n)) {
        if (Edr_Node_type(n) != Edr_NodeType_subdoc)
            continue;
        Rect r;
        if (!p) {
            found = n;
        } else if (linkRect(n, &r) && Rect_containsPoint(&r, p->x, p->y)) {
            found = n;
        }
    }
    return found;
}

// A view pixel into the view document's units.
Point pixelToDoc(const DispmanView *view, int32_t x, int32_t y)
{
    int32_t res = resolutionOf(view);
    Point p;
    Matrix_untransformPoint(&p, toUnits(x, res), toUnits(y, res), &view->viewMatrix);
    return p;
}

// The page document under a view pixel and the point in that page's own
// units, with the page's key and kind; null where no page is under it.
// Taken under the geometry lock; what is done with the page is not.
Edr_Doc *pageUnderPixel(DispmanView *view, const Point *at, int32_t *key, uint32_t *kind, Point *q)
{
    Lock_acquire(&view->geometryLock);
    Point p = pixelToDoc(view, at->x, at->y);
    Edr_Node *link = linkAt(view, &p);
    Edr_SubdocNode *payload = link ? Edr_Node_subdocPayload(link) : nullptr;
    Edr_Doc *doc = payload ? payload->child : nullptr;
    *key = 0;
    *kind = 0;
    *q = Point{0, 0};
    if (doc) {
        *key = int32_t(payload->pageKey);
        *kind = uint32_t(payload->pageKind);
        Matrix m = linkMatrix(payload);
        Matrix_untransformPoint(q, p.x, p.y, &m);
    }
    Lock_release(&view->geometryLock);
    return doc;
}

// Link matrix then view matrix: the linked page's units to view units.
Matrix pageToView(const DispmanView *view, Edr_Node *node)
{
    Matrix m = linkMatrix(Edr_Node_subdocPayload(node));
    Matrix_concat(&m, &view->viewMatrix);
    return m;
}

void mapPoints(const DispmanView *view, const Matrix *m, uint32_t count, const Point *in,
               Point *out)
{
    int32_t res = resolutionOf(view);
    for (uint32_t i = 0; i < count; i++) {
        Point p;
        Matrix_transformPoint(&p, in[i].x, in[i].y, m);
        out[i] = Point{toPixels(p.x, res), toPixels(p.y, res)};
    }
}

// The page link under view pixel (x, y) and its matrix to view units, under
// the geometry lock. 4355 when none.
int findLink(DispmanView *view, int32_t x, int32_t y, Edr_Node **node, Matrix *m)
{
    Point p = pixelToDoc(view, x, y);
    *node = linkAt(view, &p);
    if (!*node)
        return Res_dispmanNoPage;
    *m = pageToView(view, *node);
    return Res_ok;
}

// Updates the current page link and the page rectangle in view pixels.
void refreshPage(DispmanView *view)
{
    view->current = linkAt(view, nullptr);
    Rect r;
    if (!view->current || !linkRect(view->current, &r)) {
        view->pageFrame = Rect{0, 0, 0, 0};
        return;
    }
    Point corners[4];
    Rect_toQuad(corners, &r);
    mapPoints(view, &view->viewMatrix, 4, corners, corners);
    Rect_boundPoints(&view->pageFrame, corners, 4, 1);
}

void freeView(DispmanView *view)
{
    Bitmap_destroy(view->bitmap);
    if (view->backdropDoc) {
        Edr_Node_release(view->backdropDoc, view->pageGroup);
        Edr_Doc_release(view->backdropDoc);
    }
    Dispman_hqListFree(&view->hqList);
    Mem_free(view->backdropTile);
    Mem_free(view->backdropMask);
    for (void *slot : view->imageSlots)
        Mem_free(slot);
    Lock_fini(&view->geometryLock);
    Lock_fini(&view->renderLock);
    Mem_free(view);
}

} // namespace

int Dispman_setViewStyle(EngineContext *context, Edr_Doc *document, Edr_Node *group, int32_t width,
                         int32_t height, uint32_t colour)
{
    StyleRule *rule = nullptr;
    Request *request = nullptr;
    int err = StyleRule_create(&rule);
    if (err)
        return err;
    Prop v;
    Prop_zero(&v);
    Prop_setLength(&v, PropId_width, width);
    err = StyleRule_appendProp(rule, &v);
    Prop_setLength(&v, PropId_height, height);
    if (!err)
        err = StyleRule_appendProp(rule, &v);
    const uint8_t rgba[4] = {uint8_t(colour), uint8_t(colour >> 8), uint8_t(colour >> 16),
                             uint8_t(colour >> 24)};
    Prop_setColour(&v, PropId_backgroundColor, rgba);
    if (!err)
        err = StyleRule_appendProp(rule, &v);
    Prop_setType(&v, PropId_display, displayBlock);
    if (!err)
        err = StyleRule_appendProp(rule, &v);
    if (!err)
        err = StyleRule_addMatch(rule, groupId, 0, 0);
    if (!err)
        err = Request_new(context, styleRequestKind, &request);
    if (!err)
        err = Request_addItem(request, &rule);
    if (!err)
        err = Edr_Doc_addRequest(document, request);
    if (!err)
        err = Edr_Node_addId(document, group, groupId);
    StyleRule_destroy(rule);
    Request_release(request);
    return err;
}

int Dispman_createView(EngineContext *context, DispmanView **out, Screen *client, const Rect *clip,
                       uint32_t colour, const char16_t *imageUrl)
{
    *out = nullptr;
    DispmanCtx *dm = dispmanOf(context);
    if (!dm || !client)
        return Res_missingArgument;
    DispmanView *view = static_cast<DispmanView *>(Mem_calloc(1, sizeof(DispmanView)));
    if (!view)
        return Res_noMemory;
    view->redrawMode = dm->redrawMode;
    std::memcpy(view->quality, dm->quality, sizeof(view->quality));
    std::memcpy(view->cost, dm->cost, sizeof(view->cost));
    Lock_init(context, &view->geometryLock);
    Lock_init(context, &view->renderLock);
    Dispman_hqListInit(&view->hqList);
    int err = tileCheck(dm->pageBandSize, client->format);
    Edr_Node *root = nullptr;
    if (!err)
        err = clientBitmap(context, client, &view->bitmap);
    if (!err)
        err = Edr_Doc_create(context, &view->backdropDoc, &root);
    if (!err) {
        Edr_Doc_setMarkFlag(view->backdropDoc, 1);
        err = Edr_Node_createGroup(view->backdropDoc, root, Edr_Insert_lastChild, 0,
                                   &view->pageGroup);
    }
    if (!err) {
        int32_t res =
            client->resolution > 0 ? client->resolution : int32_t(Screen_defaultResolution);
        err =
            Dispman_setViewStyle(context, view->backdropDoc, view->pageGroup,
                                 toUnits(client->width, res), toUnits(client->height, res), colour);
    }
    // Background pictures are loaded by the image store, which views do
    // not reach yet: a view keeps its plain colour.
    (void)imageUrl;
    if (err) {
        freeView(view);
        return err;
    }
    view->client = client;
    view->background = colour;
    wholeClient(view, client, clip);
    view->minZoom = Dispman_minZoom;
    view->maxZoom = Dispman_maxZoom;
    view->drawnFully = 1;
    Lock_acquire(&dm->viewLock);
    view->next = dm->views;
    if (dm->views)
        dm->views->previous = view;
    dm->views = view;
    Lock_release(&dm->viewLock);
    *out = view;
    return Res_ok;
}

int Dispman_updateView(EngineContext *context, DispmanView *view, Screen *client, const Rect *clip)
{
    DispmanCtx *dm = dispmanOf(context);
    if (!dm || !view || !client)
        return Res_missingArgument;
    Lock_acquire(&view->geometryLock);
    // The screens change their size in place (full screen, area changes),
    // so the new client is compared with what the view's bitmap was made
    // for, not with the record of the old client.
    const Bitmap *old = view->client ? view->bitmap : nullptr;
    int32_t res = client->resolution > 0 ? client->resolution : int32_t(Screen_defaultResolution);
    if (old && old->pixels == client->pixels && old->format == client->format &&
        old->width == client->width && old->height == client->height && view->resolution == res) {
        view->client = client;
        Lock_release(&view->geometryLock);
        return Res_ok;
    }
    Lock_acquire(&view->renderLock);
    Bitmap *bitmap = nullptr;
    int err = clientBitmap(context, client, &bitmap);
    if (err) {
        Lock_release(&view->renderLock);
        Lock_release(&view->geometryLock);
        return err;
    }
    // The view document takes the client's size before the view swaps to
    // the new bitmap; on failure the view keeps its old bitmap and client.
    err = Dispman_writeViewSize(view->backdropDoc, toUnits(client->width, res),
                                toUnits(client->height, res));
    if (!err)
        err = Edr_Mgr_queueChange(view->backdropDoc);
    if (err) {
        Bitmap_destroy(bitmap);
        Lock_release(&view->renderLock);
        Lock_release(&view->geometryLock);
        return err;
    }
    int32_t oldWidth = old ? old->width : 0, oldHeight = old ? old->height : 0;
    Bitmap_destroy(view->bitmap);
    view->bitmap = bitmap;
    view->client = client;
    wholeClient(view, client, clip);
    if (view->panning) {
        view->panning = 0;
        dm->hqPending = dm->hqPendingSaved;
    }
    Rect oldPage = view->pageFrame;
    Edr_Node *oldLink = view->current;
    refreshPage(view);
    Rect page = view->pageFrame;
    bool samePage = oldLink == view->current && page.x1 - page.x0 == oldPage.x1 - oldPage.x0 &&
                    page.y1 - page.y0 == oldPage.y1 - oldPage.y0;
    bool grew = client->width > oldWidth || client->height > oldHeight;
    Rect exposed = view->viewRect;
    if (samePage && client->width == oldWidth)
        exposed.y0 = oldHeight;
    Lock_release(&view->renderLock);
    Lock_release(&view->geometryLock);
    if (samePage && !grew)
        return Res_ok;
    // The newly visible part is drawn by the quick updater at once.
    DispmanRedrawArg arg{view, exposed};
    return Dispman_queueRedraw(context, DispmanSub_hqAndQuick, 0, &arg);
}

void Dispman_destroyView(EngineContext *context, DispmanView **pview)
{
    DispmanCtx *dm = dispmanOf(context);
    DispmanView *view = pview ? *pview : nullptr;
    if (!view)
        return;
    *pview = nullptr;
    if (dm)
        Lock_acquire(&dm->viewLock);
    // A pass drawing into the view holds its render lock: wait for it.
    Lock_acquire(&view->renderLock);
    Lock_release(&view->renderLock);
    if (view->previous)
        view->previous->next = view->next;
    else if (dm && dm->views == view)
        dm->views = view->next;
    if (view->next)
        view->next->previous = view->previous;
    if (dm)
        Lock_release(&dm->viewLock);
    freeView(view);
}

void Dispman_viewDocument(DispmanView *view, Edr_Doc **document, Edr_Node **group)
{
    Lock_acquire(&view->geometryLock);
    *document = view->backdropDoc;
    *group = view->pageGroup;
    Lock_release(&view->geometryLock);
}

void Dispman_setPanLimits(DispmanView *view, const Rect *rect)
{
    Lock_acquire(&view->renderLock);
    Rect r = *rect;
    Rect_intersect(&r, &view->viewRect);
    view->panLimits = r;
    Lock_release(&view->renderLock);
}

void Dispman_resetPanLimits(DispmanView *view)
{
    Lock_acquire(&view->renderLock);
    const Screen *c = view->client;
    view->panLimits = Rect{c ? c->width : 0, c ? c->height : 0, 0, 0};
    Lock_release(&view->renderLock);
}

// ---------------------------------------------------- coordinate queries

int Dispman_viewScale(DispmanView *view, int32_t x, int32_t y, int32_t *scale)
{
    *scale = 0;
    Lock_acquire(&view->geometryLock);
    Point p = pixelToDoc(view, x, y);
    Edr_Node *node = linkAt(view, &p);
    if (node)
        *scale = Edr_Node_subdocPayload(node)->placement[0];
    Lock_release(&view->geometryLock);
    return node ? Res_ok : Res_dispmanNoPage;
}

int Dispman_toViewPoints(DispmanView *view, int32_t x, int32_t y, uint32_t count,
                         const Point *points, Point *out)
{
    Lock_acquire(&view->geometryLock);
    Edr_Node *node = nullptr;
    Matrix m;
    int err = findLink(view, x, y, &node, &m);
    if (!err)
        mapPoints(view, &m, count, points, out);
    Lock_release(&view->geometryLock);
    return err;
}

int Dispman_toViewPoint(Point *out, DispmanView *view, int32_t x, int32_t y, const Point *point)
{
    return Dispman_toViewPoints(view, x, y, 1, point, out);
}

int Dispman_pageToViewPoints(DispmanView *view, Edr_Node *node, Edr_Doc *document, uint32_t count,
                             const Point *points, Point *out)
{
    Lock_acquire(&view->geometryLock);
    Edr_SubdocNode *link =
        node && Edr_Node_type(node) == Edr_NodeType_subdoc ? Edr_Node_subdocPayload(node) : nullptr;
    int err = link && (!document || link->child == document) ? Res_ok : Res_dispmanNoPage;
    if (!err) {
        Matrix m = pageToView(view, node);
        mapPoints(view, &m, count, points, out);
    }
    Lock_release(&view->geometryLock);
    return err;
}

int Dispman_toViewRect(DispmanView *view, int32_t x, int32_t y, const Rect *rect, Rect *out)
{
    Point corners[4];
    Rect_toQuad(corners, rect);
    int err = Dispman_toViewPoints(view, x, y, 4, corners, corners);
    if (!err)
        Rect_boundPoints(out, corners, 4, 1);
    return err;
}

int Dispman_viewMatrix(DispmanView *view, Matrix *out)
{
    Lock_acquire(&view->geometryLock);
    Edr_Node *node = view->current;
    if (node)
        *out = pageToView(view, node);
    Lock_release(&view->geometryLock);
    return node ? Res_ok : Res_dispmanNoPage;
}

int Dispman_hitTest(Edr_Node **node, Edr_Doc **document, int32_t, Matrix *matrix, int32_t *flag,
                    Point *point, int32_t *kind, DispmanView *view, uint32_t flags, const Point *at)
{
    if (node)
        *node = nullptr;
    if (document)
        *document = nullptr;
    if (flag)
        *flag = 0;
    if (kind)
        *kind = 0;
    Lock_acquire(&view->geometryLock);
    Point px = at ? *at : Point{0, 0};
    if ((flags & DispmanHit_centre) || !at)
        px = Point{int32_t((int64_t(view->viewRect.x0) + view->viewRect.x1) / 2),
                   int32_t((int64_t(view->viewRect.y0) + view->viewRect.y1) / 2)};
    Point p = pixelToDoc(view, px.x, px.y);
    Edr_Node *link = linkAt(view, &p);
    if (!link) {
        Lock_release(&view->geometryLock);
        return Res_dispmanNoPage;
    }
    Edr_SubdocNode *payload = Edr_Node_subdocPayload(link);
    Edr_Doc *target = view->backdropDoc;
    Matrix m;
    Matrix_setIdentity(&m);
    if (flags & DispmanHit_linked) {
        target = payload->child;
        m = linkMatrix(payload);
        Point q;
        Matrix_untransformPoint(&q, p.x, p.y, &m);
        p = q;
    }
    Edr_Node *found = link;
    if (flags & DispmanHit_searchMask)
        found = nullptr; // the focusable objects of a page are found through its display items
    if (found && (flags & DispmanHit_formGroup)) {
        Edr_Node *g = found;
        while (g && !Edr_Node_isFormGroup(g))
            g = g->parentNode;
        found = g;
    }
    if (node)
        *node = found;
    if (document && (!(flags & DispmanHit_searchMask) || (flags & 0x180) == 0x80))
        *document = target;
    if (point)
        *point = p;
    if (matrix)
        *matrix = m;
    if (kind && found)
        *kind = int32_t(Edr_Node_type(found));
    Lock_release(&view->geometryLock);
    return Res_ok;
}

int Dispman_linkAt(DispmanView *view, const Point *at, char16_t **out)
{
    *out = nullptr;
    Edr_Node *node = nullptr;
    Edr_Doc *doc = nullptr;
    int err = Dispman_hitTest(&node, &doc, 0, nullptr, nullptr, nullptr, nullptr, view, 0, at);
    if (err || !node || !doc)
        return err;
    *out = Edr_Node_findInheritedString(doc, node, linkProperty);
    return Res_ok;
}

int Dispman_pagePoint(DispmanView *view, Edr_Doc *document, const Point *at, Point *out,
                      Edr_Doc **shown)
{
    if (shown)
        *shown = nullptr;
    Lock_acquire(&view->geometryLock);
    Point p = pixelToDoc(view, at->x, at->y);
    Edr_Node *link = linkAt(view, &p);
    Edr_SubdocNode *payload = link ? Edr_Node_subdocPayload(link) : nullptr;
    int err = payload && payload->child && (!document || payload->child == document)
                  ? Res_ok
                  : Res_dispmanNoPage;
    if (!err) {
        Matrix m = linkMatrix(payload);
        Point q;
        Matrix_untransformPoint(&q, p.x, p.y, &m);
        if (out)
            *out = q;
        if (shown)
            *shown = payload->child;
    }
    Lock_release(&view->geometryLock);
    return err;
}

int View_hitTestPoint(DispmanView *view, int32_t x, int32_t y, Point *point, Edr_Node **node)
{
    if (node)
        *node = nullptr;
    if (!view)
        return 0;
    Lock_acquire(&view->geometryLock);
    Point p = pixelToDoc(view, x, y);
    Edr_Node *found = linkAt(view, &p);
    Lock_release(&view->geometryLock);
    // Off every page the point lies on the view document itself.
    if (!found)
        return 0;
    if (point)
        *point = p;
    if (node)
        *node = found;
    return 1;
}

int Dispman_textAt(DispmanView *view, const Point *at, uint32_t mode)
{
    static constexpr uint32_t hitModes[8] = {0, 1, 2, 3, 4, 6, 7, 8};
    if (mode > 7)
        return Res_nullInput;
    int32_t key;
    uint32_t kind;
    Point q;
    // The selection is made outside the geometry lock: drawing its
    // highlight reports areas back to this view.
    Edr_Doc *doc = pageUnderPixel(view, at, &key, &kind, &q);
    if (!doc)
        return Res_dispmanNoPage;
    return Edr_Sel_selectAtPoint(doc, key, kind, q.x, q.y, hitModes[mode]);
}

int Dispman_extendAt(DispmanView *view, const Point *at)
{
    int32_t key;
    uint32_t kind;
    Point q;
    Edr_Doc *doc = pageUnderPixel(view, at, &key, &kind, &q);
    return doc ? Edr_Sel_extendToPagePoint(doc, key, kind, q.x, q.y) : 0;
}

int Dispman_imageAt(DispmanView *view, const Point *at, Edr_Node **out)
{
    *out = nullptr;
    Edr_Node *node = nullptr;
    int32_t kind = 0;
    int err = Dispman_hitTest(&node, nullptr, 0, nullptr, nullptr, nullptr, &kind, view, 0, at);
    if (!err && node && kind == int32_t(Edr_NodeType_image))
        *out = node;
    return err;
}
