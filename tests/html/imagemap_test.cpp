// Client-side image maps: coordinate lists, shape names, and the areas a
// page's map gives the images that use it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/style/prop.h"
#include "core/style/stylerule.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "graphics/path.h"
#include "html/attributes.h"
#include "html/imagemap.h"
#include "html/parser.h"
#include "platform/url/url.h"
#include "tests/html/html_fixture.h"
#include "tests/support/heap_fixture.h"

namespace {

using HtmlImageMapHeapTest = LeakCheckedHeapTest<>;

TEST_F(HtmlImageMapHeapTest, CoordinateLists)
{
    struct Case {
        const char16_t *text;
        std::vector<int32_t> numbers;
    } cases[] = {
        {u"10,,20,30", {10, 0, 20, 30}},
        {u"10,,,20", {10, 0, 0, 20}},
        {u" 1 2 ,3\t4 ", {1, 2, 3, 4}},
        {u"a,5,x7", {0, 5, 0}},
        {u"-3,+4", {-3, 4}},
        {u"", {}},
        {u"99999999999,1", {0x7FFFFFFF, 1}},
    };
    for (const Case &c : cases) {
        int32_t *v = nullptr;
        uint32_t n = 0;
        ASSERT_EQ(Html_mapParseCoords(c.text, std::u16string(c.text).size(), &v, &n), 0)
            << std::string(c.text, c.text + std::u16string(c.text).size());
        EXPECT_EQ(std::vector<int32_t>(v, v + n), c.numbers)
            << std::string(c.text, c.text + std::u16string(c.text).size());
        Mem_free(v);
    }
}

TEST(HtmlImageMap, ShapeNames)
{
    struct Case {
        const char16_t *name;
        uint32_t code;
    } cases[] = {
        {u"default", HtmlShape_default},
        {u"RECT", HtmlShape_rect},
        {u"rectangle", HtmlShape_rect},
        {u"circ", HtmlShape_circle},
        {u"Circle", HtmlShape_circle},
        {u"poly", HtmlShape_poly},
        {u"polygon", HtmlShape_poly},
        {u"square", 0},
        {u"rec", 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Html_mapShapeCode(c.name, std::u16string(c.name).size()), c.code);
}

using HtmlImageMapTest = HtmlFixture;

// The first group with element id under node, depth first.
Edr_Node *findElement(Edr_Node *node, uint32_t element, int skip = 0)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (Edr_Node_type(c) != Edr_NodeType_group)
            continue;
        if (Edr_Node_group(c)->element == element && skip-- == 0)
            return c;
        if (Edr_Node *found = findElement(c, element, skip))
            return found;
    }
    return nullptr;
}

// What an area child of an image holds: its link, its title and target
// attributes, and its outline's bounds in whole pixels.
struct AreaSeen {
    std::string url;
    std::u16string title, target;
    int32_t x0, y0, x1, y1;
};

std::u16string attribute(Edr_Doc *doc, Edr_Node *node, const char16_t *name)
{
    char16_t *text = nullptr;
    EXPECT_EQ(Edr_Node_getAttribute(doc, node, name, uint32_t(std::u16string(name).size()), &text),
              0);
    std::u16string out = text ? text : u"";
    Mem_free(text);
    return out;
}

int32_t pixels(int64_t inches)
{
    return int32_t((inches * 96 + (inches < 0 ? -32768 : 32768)) / 65536);
}

std::vector<AreaSeen> areasOf(Edr_Doc *doc, Edr_Node *image)
{
    std::vector<AreaSeen> out;
    for (Edr_Node *c = Edr_Node_firstChild(image); c; c = Edr_Node_nextSibling(c)) {
        if (Edr_Node_type(c) != Edr_NodeType_group)
            continue;
        Edr_Doc_readLock(doc);
        EXPECT_EQ(Edr_Node_addRefLocked(doc, c), 0);
        Edr_Doc_readUnlock(doc);
        AreaSeen a{};
        Url *url = nullptr;
        EXPECT_EQ(Edr_Node_getUrl(doc, c, &url), 0);
        char *text = url ? Url_toUtf8(url, UrlPart_all) : nullptr;
        a.url = text ? text : "";
        Mem_free(text);
        Url_free(url);
        a.title = attribute(doc, c, u"title");
        // The target is kept as an attribute property without a text form.
        StyleRule *list = nullptr;
        EXPECT_EQ(Edr_Node_getPropList0(doc, c, &list), 0);
        if (StylePropItem *item = list ? StyleRule_findProp(list, HtmlAttr_target) : nullptr) {
            char16_t *t = Prop_dupUstr(&item->value);
            a.target = t ? t : u"";
            Mem_free(t);
        }
        StyleRule_destroy(list);
        // The outline: one path child, its points' bounds.
        Edr_Node *shape = Edr_Node_firstChild(c);
        EXPECT_TRUE(shape && Edr_Node_type(shape) == Edr_NodeType_path);
        if (shape && Edr_Node_type(shape) == Edr_NodeType_path) {
            Path *plain = nullptr;
            EXPECT_EQ(Path_create(&plain, 0x10000), 0);
            EXPECT_EQ(Path_copyTransformed(plain,
                                           static_cast<Path *>(Edr_Node_payloadOrNull(shape)),
                                           Matrix_identity()),
                      0);
            int64_t x0 = INT64_MAX, y0 = INT64_MAX, x1 = INT64_MIN, y1 = INT64_MIN;
            for (int32_t *w = plain->buffer; w < plain->write;) {
                uint32_t points = uint32_t(*w) & 3;
                for (uint32_t k = 0; k < points; k++) {
                    x0 = std::min<int64_t>(x0, w[1 + 2 * k]);
                    x1 = std::max<int64_t>(x1, w[1 + 2 * k]);
                    y0 = std::min<int64_t>(y0, w[2 + 2 * k]);
                    y1 = std::max<int64_t>(y1, w[2 + 2 * k]);
                }
                w += 1 + 2 * points;
            }
            Path_destroy(plain);
            a.x0 = pixels(x0);
            a.y0 = pixels(y0);
            a.x1 = pixels(x1);
            a.y1 = pixels(y1);
        }
        Edr_Node_release(doc, c);
        out.push_back(a);
    }
    return out;
}

TEST_F(HtmlImageMapTest, AreasBecomeLinkedChildPathsOfTheImage)
{
    run([&] {
        Edr_Doc *doc = load(
            "<img src=a.png usemap='#m'><img src=b.png usemap='#none'><img src=c.png usemap='#M'>"
            "<map name=m>"
            "<area shape=poly coords='0,0,96,48' href='http://example.com/p4' title=four "
            "target=_top>"
            "<area shape=poly coords='1,2,3' href='http://example.com/three'>"
            "<area shape=circle coords='48,48,48' href='http://example.com/c'>"
            "<area coords='10,,20,30' href='http://example.com/r' title=T>"
            "<area shape=default href='http://example.com/d'>"
            "<area shape=polygon coords='0,0,50,0,25,40' href='http://example.com/tri'>"
            "<area shape=poly coords='0,0,10,0,10' href='http://example.com/odd'>"
            "<area shape=rect coords='1,2,3' href='http://example.com/short'>"
            "</map><area shape=rect coords='0,0,5,5' href='http://example.com/outside'>");
        Edr_Node *used = findElement(Edr_Doc_root(doc), HtmlEl_Img, 0);
        Edr_Node *missing = findElement(Edr_Doc_root(doc), HtmlEl_Img, 1);
        Edr_Node *otherCase = findElement(Edr_Doc_root(doc), HtmlEl_Img, 2);
        ASSERT_NE(used, nullptr);
        ASSERT_NE(missing, nullptr);
        ASSERT_NE(otherCase, nullptr);
        // Default first, then rectangles, circles and polygons; areas whose
        // numbers do not fit the shape are left out.
        std::vector<AreaSeen> areas = areasOf(doc, used);
        ASSERT_EQ(areas.size(), 5u);
        const struct {
            const char *url;
            const char16_t *title, *target;
            int32_t x0, y0, x1, y1;
        } expected[] = {
            {"http://example.com/d", u"", u"", 0, 0, 99999, 99999},
            {"http://example.com/r", u"T", u"", 10, 0, 20, 30},
            {"http://example.com/c", u"", u"", 0, 0, 96, 96},
            {"http://example.com/p4", u"four", u"_top", 0, 0, 96, 48},
            {"http://example.com/tri", u"", u"", 0, 0, 50, 40},
        };
        for (size_t i = 0; i < areas.size(); i++) {
            SCOPED_TRACE(expected[i].url);
            EXPECT_EQ(areas[i].url, expected[i].url);
            EXPECT_EQ(areas[i].title, expected[i].title);
            EXPECT_EQ(areas[i].target, expected[i].target);
            EXPECT_EQ(areas[i].x0, expected[i].x0);
            EXPECT_EQ(areas[i].y0, expected[i].y0);
            EXPECT_EQ(areas[i].x1, expected[i].x1);
            EXPECT_EQ(areas[i].y1, expected[i].y1);
        }
        // No map of that name, and a name that differs in case only.
        EXPECT_TRUE(areasOf(doc, missing).empty());
        EXPECT_TRUE(areasOf(doc, otherCase).empty());
        Edr_Doc_release(doc);
    });
}

// A NUL inside a map name, a use or coordinates ends the copy kept of it:
// nothing is read past the copy (found by fuzzing; the sanitizer build
// catches a read past it), and the map still applies by the text before
// the NUL.
TEST_F(HtmlImageMapTest, ANulInsideNamesAndCoordinatesEndsThem)
{
    run([&] {
        using namespace std::string_literals;
        Edr_Doc *doc = load("<img src=a.png usemap='#m\0x'><map name='m\0y'>"
                            "<area shape=circ coords='48,48,48,\0,9' href='http://example.com/c'>"
                            "</map>"s);
        Edr_Node *image = findElement(Edr_Doc_root(doc), HtmlEl_Img, 0);
        ASSERT_NE(image, nullptr);
        std::vector<AreaSeen> areas = areasOf(doc, image);
        ASSERT_EQ(areas.size(), 1u);
        EXPECT_EQ(areas[0].url, "http://example.com/c");
        EXPECT_EQ(areas[0].x1, 96);
        Edr_Doc_release(doc);
    });
}

// The lists themselves: maps keep their order, uses hold their image.
TEST_F(HtmlImageMapTest, ListsFreeWhatTheyHold)
{
    run([&] {
        Edr_Doc *doc = load("<p>x</p>");
        HtmlMap *maps = nullptr, *second = nullptr;
        ASSERT_EQ(Html_mapNew(&maps, u"a", 1, nullptr), 0);
        ASSERT_EQ(Html_mapNew(&maps, u"bb", 2, &second), 0);
        ASSERT_EQ(maps->next, second);
        ASSERT_EQ(Html_mapAddArea(second), 0);
        ASSERT_EQ(Html_mapAddArea(second), 0);
        EXPECT_NE(second->first, second->last);
        EXPECT_EQ(second->last->shape, HtmlShape_rect);
        second->last->title = static_cast<char16_t *>(Mem_calloc(4, sizeof(char16_t)));
        HtmlMapUse *uses = nullptr;
        Edr_Node *p = findElement(Edr_Doc_root(doc), HtmlEl_P);
        ASSERT_NE(p, nullptr);
        Edr_Doc_readLock(doc);
        EXPECT_EQ(Edr_Node_addRefLocked(doc, p), 0);
        Edr_Doc_readUnlock(doc);
        ASSERT_EQ(Html_mapUseNew(&uses, doc, p, u"#bb", 3), 0);
        EXPECT_EQ(Edr_Node_refCount(p), 2u);
        Html_mapListFree(maps);
        Html_mapUseListFree(doc, uses);
        EXPECT_EQ(Edr_Node_refCount(p), 1u);
        Edr_Node_release(doc, p);
        Edr_Doc_release(doc);
    });
}

} // namespace
