// A plain-text document laid out into pages of text items: the number of
// pages, the lines on each page and the distance between lines follow from
// the importer's style sheet (12-inch pages, 1-inch top and bottom
// margins, 1.25-inch side margins, a size of 7281 x 72, lines 1.2 times
// their natural height).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "core/container/obj.h"
#include "document/edr/page.h"
#include "layout/layout.h"
#include "layout/line.h"
#include "tests/document/plaintext_fixture.h"

namespace {

struct PageLines {
    int32_t rect[4];
    std::vector<int32_t> tops; // the distinct baselines (item bottoms), top first
    std::vector<Rect> boxes;   // every text item's shown box
};

class BlockTextTest : public TextFixture {
  protected:
    // Lays the document out and reads every published page.
    std::vector<PageLines> layOut(Edr_Doc *doc)
    {
        Edr_Doc_readLock(doc);
        int err = Layout_document(doc);
        Edr_Doc_readUnlock(doc);
        EXPECT_EQ(err, 0);
        std::vector<PageLines> out;
        uint32_t count = 0;
        Edr_Page_count(doc, &count);
        for (uint32_t i = 0; i < count; i++) {
            int32_t key = -1;
            uint32_t kind = 0;
            EXPECT_EQ(Edr_Page_getKeyByIndex(&key, &kind, doc, i), 0);
            Edr_PageEntry *entry = nullptr;
            EXPECT_EQ(Edr_Page_find(&entry, doc, key, kind, 0), 0);
            if (!entry)
                continue;
            Edr_PageRec *rec = Edr_Page_deref(entry);
            PageLines page{};
            std::copy(rec->bounds, rec->bounds + 4, page.rect);
            for (ObjHeader *item = rec->objects; item; item = Obj_next(item)) {
                if (Obj_itemKind(item) != Obj_itemText)
                    continue;
                Rect r = Obj_shownBox(item);
                page.boxes.push_back(r);
                if (std::find(page.tops.begin(), page.tops.end(), r.y0) == page.tops.end())
                    page.tops.push_back(r.y0);
            }
            std::sort(page.tops.begin(), page.tops.end(), std::greater<int32_t>());
            Edr_Page_release(entry, 0);
            out.push_back(page);
        }
        return out;
    }
};

TEST_F(BlockTextTest, LinesFillPagesAtTheStyleSheetsPitch)
{
    run([&] {
        Edr_Doc *doc = newDoc();
        ASSERT_NE(doc, nullptr);
        std::string text;
        for (int i = 0; i < 150; i++)
            text += "line " + std::to_string(i) + "\n";
        ASSERT_EQ(open(doc, text), 0);
        std::vector<PageLines> pages = layOut(doc);
        ASSERT_GE(pages.size(), 2u);
        size_t lines = 0;
        int32_t pitch = 0;
        for (const PageLines &p : pages) {
            lines += p.tops.size();
            for (const Rect &r : p.boxes) {
                // Inside the side margins and the top and bottom margins.
                EXPECT_GE(r.x0, 0x14000);
                EXPECT_LE(r.x1, 541983 - 0x14000);
                EXPECT_LE(r.y1, -0x10000);
                EXPECT_GE(r.y0, -0xC0000 + 0x10000);
            }
            for (size_t i = 1; i < p.tops.size(); i++) {
                int32_t d = p.tops[i - 1] - p.tops[i];
                if (!pitch)
                    pitch = d;
                EXPECT_NEAR(d, pitch, 2) << "line " << i;
            }
        }
        EXPECT_EQ(lines, 150u);
        ASSERT_GT(pitch, 0);
        // The pitch is 1.2 times the height of a line's text.
        const Rect &first = pages[0].boxes[0];
        int32_t natural = first.y1 - first.y0;
        EXPECT_NEAR(pitch, natural * 12 / 10, 3);
        // Every full page holds as many lines as ten inches take.
        size_t perPage = size_t(0xA0000 / pitch);
        for (size_t i = 0; i + 1 < pages.size(); i++)
            EXPECT_EQ(pages[i].tops.size(), perPage) << "page " << i;
        EXPECT_EQ(pages.size(), (150 + perPage - 1) / perPage);
        Edr_Doc_release(doc);
    });
}

} // namespace
