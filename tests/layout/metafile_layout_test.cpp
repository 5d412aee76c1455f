// Metafiles laid out and drawn: a picture played into the document is
// placed by the drawing walk and its items drawn into a picture, which must
// match the reference rendering of tests/fixtures/metafile (made by
// LibreOffice, trimmed to the figures) within a loose tolerance.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "layout/layerlist.h"
#include "core/container/obj.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/style/style.h"
#include "graphics/clippath.h"
#include "graphics/drawlist.h"
#include "graphics/path.h"
#include "document/import/metafile.h"
#include "layout/boxiter.h"
#include "layout/layout.h"
#include "layout/replaced.h"
#include "tests/graphics/render_support.h"

namespace {

std::vector<uint8_t> readFile(const std::string &name)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/metafile/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A binary PPM: width, height and RGB bytes.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

Picture readPpm(const std::string &name)
{
    Picture p;
    std::vector<uint8_t> f = readFile(name);
    int maxval = 0, consumed = 0;
    std::string head(f.begin(), f.begin() + std::min<size_t>(f.size(), 32));
    if (sscanf(head.c_str(), "P6 %d %d %d%n", &p.width, &p.height, &maxval, &consumed) != 3)
        return Picture{};
    size_t start = size_t(consumed) + 1;
    if (f.size() < start + size_t(p.width) * p.height * 3)
        return Picture{};
    p.rgb.assign(f.begin() + long(start), f.begin() + long(start + size_t(p.width) * p.height * 3));
    return p;
}

// Colour classes: 0 white, 1 red, 2 blue, 3 dark, 4 other.
int classify(int r, int g, int b)
{
    if (r > 190 && g > 190 && b > 190)
        return 0;
    if (r > 160 && g < 100 && b < 100)
        return 1;
    if (b > 160 && r < 100 && g < 100)
        return 2;
    if (r < 100 && g < 100 && b < 100)
        return 3;
    return 4;
}

class MetafileLayoutTest : public RenderFixture {
  protected:
    // Plays name into a target of w x h pixels, lays the picture out as a
    // drawing and draws its items into a white picture of that size.
    // shiftX and shiftY (pixels, y up) move the laid-out items as a line
    // moves its items to its baseline.
    Picture render(const char *name, int32_t w, int32_t h, int *items, int32_t shiftX = 0,
                   int32_t shiftY = 0)
    {
        return renderWith(name, w, h, items, shiftX, shiftY, nullptr);
    }

    // As render; with clip (a box in pixels, rows down) the played group is
    // put inside a clip to that box, as a cropped picture's is, and the
    // parent of both is laid out, a position marker ending the drawing
    // outside a clip as it does on a page.
    Picture renderWith(const char *name, int32_t w, int32_t h, int *items, int32_t shiftX,
                       int32_t shiftY, const Rect *clipBox)
    {
        Picture out;
        out.width = w;
        out.height = h;
        Bitmap *bm = picture(w, h, 0xFFFF);
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            std::vector<uint8_t> data = readFile(name);
            Rect target{0, 0, U(w), U(h)};
            if (clipBox) {
                Path *path = nullptr;
                ASSERT_EQ(Path_create(&path, 0x10000), 0);
                ASSERT_EQ(Path_moveTo(path, U(clipBox->x0), -U(clipBox->y1)), 0);
                ASSERT_EQ(Path_lineTo(path, U(clipBox->x1), -U(clipBox->y1)), 0);
                ASSERT_EQ(Path_lineTo(path, U(clipBox->x1), -U(clipBox->y0)), 0);
                ASSERT_EQ(Path_lineTo(path, U(clipBox->x0), -U(clipBox->y0)), 0);
                ASSERT_EQ(Path_close(path), 0);
                ClipPath *clip = nullptr;
                ASSERT_EQ(ClipPath_create(path, &clip), 0);
                Prop start;
                Prop_zero(&start);
                ClipPath_setValue(&start, clip, 0);
                ASSERT_EQ(Edr_Node_createData(doc, root, Edr_Insert_lastChild, nullptr, &start), 0);
                ClipPath_release(clip);
            }
            ASSERT_EQ(Wmf_playToDoc(data.data(), uint32_t(data.size()), doc, root, &target, nullptr,
                                    0, nullptr, nullptr),
                      0);
            Edr_Node *played = clipBox ? Edr_Node_nextSibling(Edr_Node_firstChild(root))
                                       : Edr_Node_firstChild(root);
            if (clipBox) {
                Prop end;
                Prop_zero(&end);
                Prop_setType(&end, ClipPath_property, uint16_t(ClipPath_endValue));
                ASSERT_EQ(Edr_Node_createData(doc, root, Edr_Insert_lastChild, nullptr, &end), 0);
            }
            Edr_Node *g = clipBox ? root : played;
            // The drawing walk reads data nodes of property 136 as cells,
            // not as the clips the player writes: their property is renamed
            // here so that the figures alone are compared.
            for (Edr_Node *n = Edr_Node_firstChild(played); n; n = Edr_Node_nextSibling(n)) {
                Prop *p = Edr_Node_type(n) == Edr_NodeType_data
                              ? static_cast<Prop *>(Edr_Node_payloadOrNull(n))
                              : nullptr;
                if (p && p->id == 136)
                    p->id = 0;
            }
            Edr_Doc_readLock(doc);
            Edr_Style *s = nullptr;
            ASSERT_EQ(Edr_Style_computeForNode(doc, &s, nullptr, g), 0);
            LayoutBox box{};
            box.context = doc->app;
            box.document = doc;
            box.styleContext = Edr_StyleCtx_get(doc);
            box.layers = LayerList_create();
            box.availableWidth = U(w);
            // Nested groups (bitmaps, rotated text) are not laid out here,
            // and clips are skipped with them unless one is asked for.
            box.flowMode = clipBox ? 0 : 3;
            box.bounds[0] = box.bounds[1] = INT32_MAX;
            box.bounds[2] = box.bounds[3] = INT32_MIN;
            BoxIter *it = nullptr;
            ASSERT_EQ(BoxIter_create(&it, &box, g, s, 1), 0);
            BoxIter_stopAtGroupsOn(it);
            if (clipBox)
                BoxIter_stopAtAbsoluteOn(it);
            ASSERT_EQ(Layout_placeDrawing(&box, it, 0, 0, 0), 0);
            LayerList_translate(box.layers, U(shiftX), U(shiftY));
            Matrix m = pageMatrix(h);
            Rect clip{0, 0, w, h};
            DrawTarget target2{bm, &clip, 0, 0};
            *items = 0;
            for (Layer *l = box.layers->first; l; l = l->next)
                for (ObjHeader *o = l->first; o; o = Obj_next(o)) {
                    const ObjItemOps *ops = static_cast<const ObjItemOps *>(o->cls->ops);
                    Rect all = *Rect_getInfinite();
                    EXPECT_EQ(ops->draw(ctx(), o, &all, &m, &target2, nullptr, 0), 0);
                    ++*items;
                }
            BoxIter_free(it);
            LayerList_freeItems(box.layers);
            LayerList_destroy(box.layers);
            Edr_Style_release(s);
            Edr_Doc_readUnlock(doc);
        });
        for (int32_t y = 0; y < h; y++)
            for (int32_t x = 0; x < w; x++) {
                uint16_t p = at(bm, x, y);
                out.rgb.push_back(uint8_t((p >> 11) << 3));
                out.rgb.push_back(uint8_t(((p >> 5) & 63) << 2));
                out.rgb.push_back(uint8_t((p & 31) << 3));
            }
        return out;
    }
};

// With VEXLAN_DUMP_DIR set, the picture is written there as name.ppm to be
// looked at.
void dump(const Picture &p, const char *name)
{
    const char *dir = getenv("VEXLAN_DUMP_DIR");
    if (!dir)
        return;
    std::string path = std::string(dir) + "/" + name + ".ppm";
    if (FILE *f = fopen(path.c_str(), "wb")) {
        fprintf(f, "P6 %d %d 255\n", p.width, p.height);
        fwrite(p.rgb.data(), 1, p.rgb.size(), f);
        fclose(f);
    }
}

// The share of pixels inside the drawn figures' box whose colour class
// matches the reference, the reference scaled onto that box.
double agreement(const Picture &ours, const Picture &ref)
{
    int x0 = ours.width, y0 = ours.height, x1 = -1, y1 = -1;
    for (int y = 0; y < ours.height; y++)
        for (int x = 0; x < ours.width; x++) {
            const uint8_t *p = &ours.rgb[size_t(y * ours.width + x) * 3];
            if (classify(p[0], p[1], p[2]) != 0) {
                x0 = std::min(x0, x);
                y0 = std::min(y0, y);
                x1 = std::max(x1, x);
                y1 = std::max(y1, y);
            }
        }
    if (x1 < x0 || ref.width == 0)
        return 0;
    int same = 0, all = 0;
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) {
            int rx = (x - x0) * ref.width / (x1 - x0 + 1),
                ry = (y - y0) * ref.height / (y1 - y0 + 1);
            const uint8_t *p = &ours.rgb[size_t(y * ours.width + x) * 3];
            const uint8_t *q = &ref.rgb[size_t(ry * ref.width + rx) * 3];
            same += classify(p[0], p[1], p[2]) == classify(q[0], q[1], q[2]);
            all++;
        }
    return double(same) / all;
}

TEST_F(MetafileLayoutTest, WmfFiguresMatchTheReference)
{
    int items = 0;
    Picture ours = render("shapes.wmf", 200, 100, &items);
    dump(ours, "shapes_wmf");
    EXPECT_EQ(items, 1) << "one drawing-list item";
    // The rectangle's inside is red, the ellipse's centre blue.
    const uint8_t *red = &ours.rgb[size_t(40 * 200 + 50) * 3];
    EXPECT_EQ(classify(red[0], red[1], red[2]), 1);
    const uint8_t *blue = &ours.rgb[size_t(50 * 200 + 150) * 3];
    EXPECT_EQ(classify(blue[0], blue[1], blue[2]), 2);
    EXPECT_GT(agreement(ours, readPpm("ref_shapes_wmf.ppm")), 0.9);
}

// The rows and columns holding red pixels: {x0, y0, x1, y1}, rows down.
std::vector<int> redBox(const Picture &p)
{
    std::vector<int> box{p.width, p.height, -1, -1};
    for (int y = 0; y < p.height; y++)
        for (int x = 0; x < p.width; x++) {
            const uint8_t *c = &p.rgb[size_t(y * p.width + x) * 3];
            if (classify(c[0], c[1], c[2]) == 1) {
                box[0] = std::min(box[0], x);
                box[1] = std::min(box[1], y);
                box[2] = std::max(box[2], x);
                box[3] = std::max(box[3], y);
            }
        }
    return box;
}

TEST_F(MetafileLayoutTest, AMovedDrawingListIsDrawnWhereItsBoxWent)
{
    // Layout moves a line's items by their boxes: the figures follow, 20
    // pixels right and 10 up.
    int items = 0;
    std::vector<int> still = redBox(render("shapes.wmf", 200, 100, &items));
    std::vector<int> moved = redBox(render("shapes.wmf", 200, 100, &items, 20, 10));
    ASSERT_GE(still[2], still[0]);
    EXPECT_EQ(moved[0] - still[0], 20);
    EXPECT_EQ(moved[2] - still[2], 20);
    EXPECT_EQ(moved[1] - still[1], -10);
    EXPECT_EQ(moved[3] - still[3], -10);
}

TEST_F(MetafileLayoutTest, AClipAroundAPlayedMetafileKeepsItsItemsInside)
{
    // The player starts its drawing with a position marker of its own; the
    // clip around it stays open over the marker: one clip group holds the
    // figures and only its left half (the red rectangle) is drawn.
    int items = 0;
    const Rect leftHalf{0, 0, 100, 100};
    Picture ours = renderWith("shapes.wmf", 200, 100, &items, 0, 0, &leftHalf);
    dump(ours, "shapes_wmf_clipped");
    EXPECT_EQ(items, 1) << "one clip group";
    const uint8_t *red = &ours.rgb[size_t(40 * 200 + 50) * 3];
    EXPECT_EQ(classify(red[0], red[1], red[2]), 1);
    int outside = 0;
    for (int y = 0; y < 100; y++)
        for (int x = 102; x < 200; x++) {
            const uint8_t *c = &ours.rgb[size_t(y * 200 + x) * 3];
            outside += classify(c[0], c[1], c[2]) != 0;
        }
    EXPECT_EQ(outside, 0) << "pixels drawn right of the clip";
}

TEST_F(MetafileLayoutTest, EmfFiguresMatchTheReference)
{
    int items = 0;
    Picture ours = render("office_shapes.emf", 200, 100, &items);
    dump(ours, "office_shapes_emf");
    EXPECT_GE(items, 1);
    EXPECT_GT(agreement(ours, readPpm("ref_office_shapes_emf.ppm")), 0.85);
}

} // namespace
