// Glyph-run strings: the bytes the writer makes for moves, spacing and
// runs, the reader giving the same runs back, holes around 16-bit runs,
// cut strings, and the cursor's steps.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "fonts/glyphrun.h"
#include "tests/support/heap_fixture.h"

namespace {

struct PlacedRun {
    int32_t x, y, word, chars;
    std::u16string text;
    bool operator==(const PlacedRun &o) const
    {
        return x == o.x && y == o.y && word == o.word && chars == o.chars && text == o.text;
    }
};

class GlyphRunTest : public LeakCheckedHeapTest<> {
  protected:
    void SetUp() override
    {
        LeakCheckedHeapTest<>::SetUp();
        GlyphRun_writerInit(&w);
    }
    void TearDown() override
    {
        GlyphRun_writerFree(&w);
        LeakCheckedHeapTest<>::TearDown();
    }
    std::vector<uint8_t> bytes()
    {
        EXPECT_EQ(GlyphRun_plugHole(&w), 0);
        return std::vector<uint8_t>(w.buffer, w.buffer + w.pos);
    }
    void add(int32_t x, int32_t y, const std::u16string &s)
    {
        ASSERT_EQ(GlyphRun_addText(&w, x, y, s.data(), uint32_t(s.size())), 0);
    }
    static std::vector<PlacedRun> readAll(const std::vector<uint8_t> &b)
    {
        std::vector<PlacedRun> out;
        GlyphRunReader r;
        GlyphRun_readerInit(&r, b.data(), uint32_t(b.size()));
        for (;;) {
            EXPECT_EQ(GlyphRun_next(&r), 0);
            if (!r.run)
                break;
            out.push_back(PlacedRun{r.x, r.y, r.wordSpacing, r.charSpacing,
                                    std::u16string(r.run, r.runLength)});
        }
        GlyphRun_readerFree(&r);
        return out;
    }
    GlyphRunWriter w{};
};

using Bytes = std::vector<uint8_t>;

TEST_F(GlyphRunTest, MovesAndAsciiRuns)
{
    add(10, 20, u"AB");
    EXPECT_EQ(bytes(), (Bytes{0x15, 0x0A, 0x14, 0x41, 0x42}));
    add(10, 20, u"C");
    EXPECT_EQ(bytes(), (Bytes{0x15, 0x0A, 0x14, 0x41, 0x42, 0x11, 0x00, 0x43}))
        << "the same position still writes a move";
}

TEST_F(GlyphRunTest, DeltaWidths)
{
    struct Case {
        int32_t dx;
        Bytes move;
    };
    const Case cases[] = {
        {127, {0x11, 0x7F}},
        {200, {0x12, 0xC8, 0x00}},
        {-128, {0x12, 0x80, 0xFF}},
        {40000, {0x13, 0x40, 0x9C, 0x00}},
        {-8388607, {0x13, 0x01, 0x00, 0x80}},
    };
    for (const Case &c : cases) {
        GlyphRun_writerFree(&w);
        GlyphRun_writerInit(&w);
        add(c.dx, 0, u"x");
        Bytes want = c.move;
        want.push_back('x');
        EXPECT_EQ(bytes(), want) << c.dx;
        EXPECT_EQ(readAll(bytes()), (std::vector<PlacedRun>{{c.dx, 0, 0, 0, u"x"}}));
    }
}

TEST_F(GlyphRunTest, OutOfRangeAndEmptyRunsAreDropped)
{
    add(8388607, 0, u"x");
    add(0, -8388608, u"x");
    ASSERT_EQ(GlyphRun_addText(&w, 0, 0, u"x", 0), 0);
    EXPECT_TRUE(bytes().empty());
}

TEST_F(GlyphRunTest, SpacingOps)
{
    ASSERT_EQ(GlyphRun_setSpacing(&w, 40000, -5), 0);
    EXPECT_EQ(bytes(), (Bytes{0x04, 0x00, 0x9C, 0x40, 0x05, 0xFF, 0xFB}));
    ASSERT_EQ(GlyphRun_setSpacing(&w, 40000, -5), 0);
    EXPECT_EQ(bytes().size(), 7u) << "unchanged values write nothing";
    ASSERT_EQ(GlyphRun_setSpacing(&w, 0x800000, -5), 0);
    add(1, 1, u"a");
    EXPECT_EQ(readAll(bytes()), (std::vector<PlacedRun>{{1, -1, 0, -5, u"a"}}))
        << "an over-large spacing is taken as 0; y goes down by dy";
}

TEST_F(GlyphRunTest, WideRunsKeepTheirAlignment)
{
    add(0, 0, u"\u00e9");       // one unit
    add(5, 0, u"AB");           // ascii
    add(6, 0, u"\u4e00\u4e8c"); // two units
    add(7, 0, std::u16string(300, u'\u0416'));
    Bytes b = bytes();
    std::vector<PlacedRun> want = {{0, 0, 0, 0, u"\u00e9"},
                                   {5, 0, 0, 0, u"AB"},
                                   {6, 0, 0, 0, u"\u4e00\u4e8c"},
                                   {7, 0, 0, 0, std::u16string(300, u'\u0416')}};
    EXPECT_EQ(readAll(b), want);
    // The first run: op 17 at byte 0, its operand at byte 1, op 0 at byte
    // 2, the unit at bytes 4-5 and a hole at byte 3, filled with op 2
    // before the next move (whose operands must follow it).
    EXPECT_EQ(b[0], 0x11);
    EXPECT_EQ(b[2], 0x00);
    EXPECT_EQ(b[4], 0xE9);
    EXPECT_EQ(b[5], 0x00);
    EXPECT_EQ(b[3], 0x02);
    EXPECT_EQ(b[6], 0x11);
}

TEST_F(GlyphRunTest, AHoleLeftAtTheEndIsPlugged)
{
    add(0, 0, u"A");
    add(1, 0, u"\u00e9"); // op 17 at 1, operand 2, op 0 at 3: unit at 4
    add(2, 0, u"\u00e8");
    Bytes b = bytes();
    EXPECT_EQ(b.size() % 2, 0u);
    EXPECT_EQ(readAll(b).size(), 3u);
}

TEST_F(GlyphRunTest, ACutStringEndsTheWalk)
{
    add(300, 300, u"AB");
    Bytes b = bytes();
    for (size_t n = 0; n < 5; n++) {
        Bytes cut(b.begin(), b.begin() + long(n));
        EXPECT_TRUE(readAll(cut).empty()) << n;
    }
    add(400, 300, std::u16string(3, u'\u0416'));
    b = bytes();
    b.pop_back();
    EXPECT_EQ(readAll(b).size(), 1u) << "a wide run past the end is not read";
}

// Runs whose codes are not their text: the text rides before the run and
// the reader gives both; runs after it read as themselves again, and every
// placement of holes and 8-bit runs around it keeps the alignment.
TEST_F(GlyphRunTest, RunsCarryTheTextTheyReadAs)
{
    struct Item {
        int32_t x;
        std::u16string codes, text; // text empty: the codes read as themselves
    } items[] = {
        {0, u"A", u""},
        {1, u"\u0003", u"ffi"},                // one code, three characters
        {2, u"\u0012\u0034", u"\u4e00\u4e8c"}, // wide codes, wide text
        {3, u"xyz", u"\u00e9"},                // 8-bit codes
        {4, u"\u00e8", u""},
        {5, u"same", u"same"}, // equal text writes nothing extra
    };
    size_t plainSize = 0;
    for (const Item &i : items) {
        const std::u16string &t = i.text.empty() ? i.codes : i.text;
        ASSERT_EQ(GlyphRun_addTextAs(&w, i.x, 0, i.codes.data(), uint32_t(i.codes.size()),
                                     i.text.empty() ? nullptr : t.data(), uint32_t(t.size())),
                  0);
        if (i.x == 4)
            plainSize = w.pos;
    }
    Bytes b = bytes();
    GlyphRunReader r;
    GlyphRun_readerInit(&r, b.data(), uint32_t(b.size()));
    for (const Item &i : items) {
        ASSERT_EQ(GlyphRun_next(&r), 0);
        ASSERT_NE(r.run, nullptr) << i.x;
        EXPECT_EQ(r.x, i.x);
        EXPECT_EQ(std::u16string(r.run, r.runLength), i.codes) << i.x;
        EXPECT_EQ(std::u16string(r.text, r.textLength), i.text.empty() ? i.codes : i.text) << i.x;
    }
    ASSERT_EQ(GlyphRun_next(&r), 0);
    EXPECT_EQ(r.run, nullptr);
    GlyphRun_readerFree(&r);
    // The plain "same" run costs what a plain run costs: move, op, 4 bytes.
    EXPECT_LE(b.size() - plainSize, 8u);
    // The cursor that search and extraction walk reads the text.
    ObjHeader *item = Obj_create(&GlyphRunItem_class, 0);
    ASSERT_NE(item, nullptr);
    GlyphRunItemPart *p = static_cast<GlyphRunItemPart *>(Obj_part(item));
    p->bytes = b.data();
    p->length = uint32_t(b.size());
    GlyphRunCursor *c = GlyphRunCursor_new(item);
    ASSERT_NE(c, nullptr);
    std::u16string all;
    const char16_t *chars = nullptr;
    uint32_t n = 0;
    while (GlyphRunCursor_next(c, &chars, &n))
        all.append(chars, n);
    EXPECT_EQ(all, u"Affi\u4e00\u4e8c\u00e9\u00e8same");
    GlyphRunCursor_free(c);
    Obj_destroy(item);
    // A string cut anywhere reads no run, or a run (an 8-bit run ends with
    // the string) that still reads as its text.
    GlyphRunWriter cut;
    GlyphRun_writerInit(&cut);
    ASSERT_EQ(GlyphRun_addTextAs(&cut, 0, 0, u"ab", 2, u"cd", 2), 0);
    ASSERT_EQ(GlyphRun_plugHole(&cut), 0);
    for (uint32_t len = 0; len < cut.pos; len++) {
        GlyphRun_readerInit(&r, cut.buffer, len);
        ASSERT_EQ(GlyphRun_next(&r), 0);
        if (r.run) {
            EXPECT_EQ(std::u16string(r.text, r.textLength), u"cd") << len;
        }
        GlyphRun_readerFree(&r);
    }
    GlyphRun_writerFree(&cut);
}

TEST_F(GlyphRunTest, LongRunsMoveToTheHeap)
{
    std::u16string s(700, u'a');
    add(0, 0, s);
    EXPECT_NE(w.buffer, w.inlineArea);
    EXPECT_EQ(w.capacity % 512, 0u);
    auto runs = readAll(bytes());
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].text, s);
}

TEST_F(GlyphRunTest, OutOfMemoryLeavesTheWriter)
{
    add(0, 0, u"A");
    Bytes before = bytes();
    Mem_failAfter(1);
    std::u16string s(700, u'\u0416');
    EXPECT_EQ(GlyphRun_addText(&w, 0, 0, s.data(), uint32_t(s.size())), Res_noMemory);
    Mem_failAfter(0);
    EXPECT_EQ(bytes(), before);
}

TEST_F(GlyphRunTest, CursorSteps)
{
    add(3, 4, u"Hi");
    ASSERT_EQ(GlyphRun_setSpacing(&w, 2, 1), 0);
    add(10, 4, u"yo");
    Bytes b = bytes();
    ObjHeader *item = Obj_create(&GlyphRunItem_class, 0);
    ASSERT_NE(item, nullptr);
    GlyphRunItemPart *p = static_cast<GlyphRunItemPart *>(Obj_part(item));
    p->bytes = b.data();
    p->length = uint32_t(b.size());
    GlyphRunCursor *c = GlyphRunCursor_new(item);
    ASSERT_NE(c, nullptr);
    Rect r{7, 7, 7, 7};
    Point at{9, 9};
    int32_t cs = 9, ws = 9;
    EXPECT_EQ(GlyphRunCursor_measure(c, item, &r, &cs, &ws, &at, 1), 0) << "nothing to measure yet";
    EXPECT_EQ(r.x0, 7);
    EXPECT_EQ(at.x, 0);
    EXPECT_EQ(cs, 0);
    const char16_t *chars = nullptr;
    uint32_t n = 0;
    ASSERT_EQ(GlyphRunCursor_next(c, &chars, &n), 1);
    EXPECT_EQ(std::u16string(chars, n), u"Hi");
    ASSERT_EQ(GlyphRunCursor_next(c, &chars, &n), 1);
    EXPECT_EQ(std::u16string(chars, n), u"yo");
    EXPECT_EQ(GlyphRunCursor_measure(c, item, nullptr, &cs, &ws, &at, 0), 0);
    EXPECT_EQ(at.x, 10);
    EXPECT_EQ(at.y, -4);
    EXPECT_EQ(cs, 1);
    EXPECT_EQ(ws, 2);
    EXPECT_EQ(GlyphRunCursor_next(c, &chars, &n), 0);
    GlyphRunCursor_free(c);

    p->length = 0;
    c = GlyphRunCursor_new(item);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(GlyphRunCursor_next(c, &chars, &n), 0) << "an empty string";
    GlyphRunCursor_free(c);
    Obj_destroy(item);
}

// A cursor over an item of another class reads nothing of its class part:
// it has no runs, and measuring a run against such an item is refused.
TEST_F(GlyphRunTest, ACursorOverAnotherItemHasNoRuns)
{
    static const ObjClass other = {nullptr, 64, nullptr, Obj_itemPlain};
    ObjHeader *item = Obj_create(&other, 0);
    ASSERT_NE(item, nullptr);
    std::memset(Obj_part(item), 0xA5, 64); // would be a wild string pointer
    GlyphRunCursor *c = GlyphRunCursor_new(item);
    ASSERT_NE(c, nullptr);
    const char16_t *chars = nullptr;
    uint32_t n = 0;
    EXPECT_EQ(GlyphRunCursor_next(c, &chars, &n), 0);
    GlyphRunCursor_free(c);

    add(1, 2, u"ab");
    Bytes b = bytes();
    ObjHeader *run = Obj_create(&GlyphRunItem_class, 0);
    ASSERT_NE(run, nullptr);
    GlyphRunItemPart *p = static_cast<GlyphRunItemPart *>(Obj_part(run));
    p->bytes = b.data();
    p->length = uint32_t(b.size());
    c = GlyphRunCursor_new(run);
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(GlyphRunCursor_next(c, &chars, &n), 1);
    Rect r{7, 7, 7, 7};
    EXPECT_EQ(GlyphRunCursor_measure(c, item, &r, nullptr, nullptr, nullptr, 0),
              Res_unexpectedKind);
    EXPECT_EQ(r.x0, 7);
    GlyphRunCursor_free(c);
    Obj_destroy(run);
    Obj_destroy(item);
}

} // namespace
