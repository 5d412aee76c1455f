// Lines of the plain-text importer's document: every line of the file is
// one text item on its page, inside the page's width, one line pitch below
// the one before; a tab moves to the importer's tab interval.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/container/obj.h"
#include "fonts/fontengine.h"
#include "fonts/textrun.h"
#include "document/edr/page.h"
#include "layout/layout.h"
#include "layout/line.h"
#include "tests/document/plaintext_fixture.h"

namespace {

class LineTextTest : public TextFixture {};

struct Shown {
    std::u16string text;
    Rect box;
};

std::vector<Shown> textItems(Edr_Doc *doc, uint32_t index, Rect *page)
{
    std::vector<Shown> out;
    int32_t key = -1;
    uint32_t kind = 0;
    EXPECT_EQ(Edr_Page_getKeyByIndex(&key, &kind, doc, index), 0);
    Edr_PageEntry *e = nullptr;
    if (Edr_Page_find(&e, doc, key, kind, 0) != 0)
        return out;
    const Edr_PageRec *rec = Edr_Page_deref(e);
    *page = Rect{rec->bounds[0], rec->bounds[1], rec->bounds[2], rec->bounds[3]};
    for (const ObjHeader *o = rec->objects; o; o = Obj_next(o)) {
        if (Obj_itemKind(o) != Obj_itemText || (o->flags & Obj_hidden))
            continue;
        const ObjTextPart *t =
            static_cast<const ObjTextPart *>(Obj_part(const_cast<ObjHeader *>(o)));
        out.push_back({std::u16string(t->chars + t->start, t->count), Obj_shownBox(o)});
    }
    Edr_Page_release(e, 0);
    return out;
}

TEST_F(LineTextTest, EachLineOfTheFileIsOneItemOnePitchBelowTheLast)
{
    run([&] {
        Edr_Doc *doc = newDoc();
        ASSERT_NE(doc, nullptr);
        std::string text;
        for (int i = 0; i < 30; i++)
            text += "line " + std::to_string(i) + " of the file\n";
        ASSERT_EQ(open(doc, text), 0);
        Edr_Doc_readLock(doc);
        EXPECT_EQ(Layout_document(doc), 0);
        Edr_Doc_readUnlock(doc);
        Rect page{};
        std::vector<Shown> items = textItems(doc, 0, &page);
        ASSERT_GE(items.size(), 10u);
        EXPECT_EQ(items[0].text, u"line 0 of the file");
        int32_t pitch = items[0].box.y0 - items[1].box.y0;
        EXPECT_GT(pitch, 0);
        for (size_t i = 0; i < items.size(); i++) {
            EXPECT_GE(items[i].box.x0, page.x0);
            EXPECT_LE(items[i].box.x1, page.x1);
            EXPECT_GE(items[i].box.y0, page.y0);
            EXPECT_LE(items[i].box.y1, page.y1);
            if (i > 0) {
                EXPECT_EQ(items[i - 1].box.y0 - items[i].box.y0, pitch) << i;
                EXPECT_EQ(items[i].box.x0, items[0].box.x0);
            }
        }
        Edr_Doc_release(doc);
    });
}

TEST_F(LineTextTest, ATabMovesToTheImportersTabInterval)
{
    run([&] {
        Edr_Doc *doc = newDoc();
        ASSERT_NE(doc, nullptr);
        ASSERT_EQ(open(doc, "a\tb\n"), 0);
        Edr_Doc_readLock(doc);
        EXPECT_EQ(Layout_document(doc), 0);
        Edr_Doc_readUnlock(doc);
        Rect page{};
        std::vector<Shown> items = textItems(doc, 0, &page);
        ASSERT_EQ(items.size(), 2u);
        EXPECT_EQ(items[0].text, u"a");
        EXPECT_EQ(items[1].text, u"b");
        // Eight spaces of the monospace font at 8 points from the margin.
        static constexpr const char *families[] = {"monospace"};
        FontList *fonts = nullptr;
        ASSERT_EQ(Font_listCreate(ctx()->instance, families, 1, 0, nullptr, &fonts), 0);
        Rect box{};
        ASSERT_EQ(TextRun_measureFit(fonts, 0x80000, 0, nullptr, u"        ", 8, 0, 0, 0x7FFFFFFF,
                                     nullptr, &box),
                  0);
        Font_listRelease(fonts);
        EXPECT_EQ(items[0].box.x0, 0x14000);
        EXPECT_EQ(items[1].box.x0, 0x14000 + box.x1 - box.x0);
        Edr_Doc_release(doc);
    });
}

} // namespace
