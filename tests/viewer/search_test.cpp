// Document text search on synthetic page lists: normalisation of case,
// fullwidth forms and kana, the phases of forward, backward and repeat
// steps, matches across text items, voice-mark refusals, the stop check,
// and the highlight colour.
#include <string>
#include <vector>

#include "core/container/obj.h"
#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/task/task.h"
#include "document/edr/page.h"
#include "fonts/glyphrun.h"
#include "spreadsheet/sheetgrid.h"
#include "tests/document/events_fixture.h"
#include "viewer/search/search.h"

namespace {

std::u16string normalised(const std::u16string &text, uint32_t flags)
{
    char16_t *out = nullptr;
    uint32_t n = 0;
    EXPECT_EQ(Search_normaliseText(text.data(), uint32_t(text.size()), flags, &out, &n), 0);
    std::u16string s(out, n);
    Mem_free(out);
    return s;
}

TEST(SearchText, HighlightColourSaturates)
{
    // Each colour byte c becomes min(255, c * 4 / 3); stored as a byte it
    // wrapped from 192 on and turned light colours dark.
    struct Case {
        uint32_t in, out;
    } cases[] = {
        {0x80000000, 0x80000000},
        {0x40303030, 0x40404040},
        {0x20C0C0C0, 0x20FFFFFF},
        {0xFFBF00FF, 0xFFFE00FF},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Search_highlightColour(c.in), c.out) << std::hex << c.in;
}

constexpr ObjClass SearchTestTextClass{nullptr, int32_t(sizeof(ObjTextPart)), nullptr,
                                       Obj_itemText};

class SearchTest : public EdrFixture {
  protected:
    static constexpr const ObjClass &textClass = SearchTestTextClass;

    struct Page {
        Edr_PageRec *rec;
        ObjHeader **tail;
    };
    std::vector<Page> pages;

    Page &page(Edr_Doc *doc, size_t index)
    {
        while (pages.size() <= index) {
            auto *rec = static_cast<Edr_PageRec *>(Mem_calloc(1, sizeof(Edr_PageRec)));
            rec->doc = doc;
            pages.push_back({rec, &rec->objects});
        }
        return pages[index];
    }
    // A text item showing characters [start, start + count) of the node,
    // on the page, in a box 10 units wide per character.
    ObjHeader *item(Edr_Doc *doc, size_t pageIndex, Edr_Node *node, uint32_t start, uint32_t count,
                    int32_t y = 0, int32_t size = 0x100000)
    {
        ObjHeader *o = Obj_create(&textClass, 0);
        o->node = node;
        Rect box{int32_t(start * 10), y, int32_t((start + count) * 10), y + 12};
        Obj_setBox(o, &box);
        auto *t = static_cast<ObjTextPart *>(Obj_part(o));
        t->chars = Edr_Node_textPayload(node)->chars;
        t->start = start;
        t->count = count;
        t->size = size;
        Page &p = page(doc, pageIndex);
        *p.tail = o;
        p.tail = reinterpret_cast<ObjHeader **>(&o->owner[0]);
        return o;
    }
    // Links an item at the end of the page's list.
    void link(Edr_Doc *doc, size_t pageIndex, ObjHeader *o)
    {
        Page &p = page(doc, pageIndex);
        *p.tail = o;
        p.tail = reinterpret_cast<ObjHeader **>(&o->owner[0]);
    }
    void publish(Edr_Doc *doc)
    {
        for (size_t i = 0; i < pages.size(); i++)
            ASSERT_EQ(Edr_Page_publishLayout(doc, int32_t(i), 0, 0, pages[i].rec, 0, 0), 0);
        pages.clear();
    }

    struct Step {
        int32_t direction;
        SearchOutcome outcome;
    };
    static void record(void *argument, int32_t direction, const SearchOutcome *outcome)
    {
        static_cast<std::vector<Step> *>(argument)->push_back({direction, *outcome});
    }
    // Runs a step under the locks a search worker holds.
    static int step(Edr_Doc *doc, int (*fn)(Edr_Doc *, SearchCallback, void *),
                    std::vector<Step> *steps)
    {
        Edr_Doc_readLock(doc);
        Edr_Page_readLockList(doc);
        int err = fn(doc, record, steps);
        Edr_Page_readUnlockList(doc);
        Edr_Doc_readUnlock(doc);
        return err;
    }
    static void begin(Edr_Doc *doc, const std::u16string &text, uint32_t flags = 0,
                      int32_t startPage = 0)
    {
        ASSERT_EQ(
            Search_begin(doc, text.data(), uint32_t(text.size()), startPage, flags, 0, 0, 0, 0), 0);
    }
    // The codes and match starts (x0 / 10) of successive forward steps.
    static std::vector<int32_t> forwardCodes(Edr_Doc *doc, int n)
    {
        std::vector<Step> steps;
        std::vector<int32_t> out;
        for (int i = 0; i < n; i++) {
            EXPECT_EQ(step(doc, Search_forward, &steps), 0);
            const SearchOutcome &o = steps.back().outcome;
            out.push_back(o.code == SearchCode_found ? 100 * o.page + o.x0 / 10 + 1000 : o.code);
        }
        return out;
    }
};

TEST_F(SearchTest, NormalisesCaseWidthAndKana)
{
    run([&] {
        struct Case {
            std::u16string in;
            uint32_t flags;
            std::u16string out;
        } cases[] = {
            {u"abc", 0, u"ABC"},
            {u"abc", Search_exact, u"abc"},
            {u"\uFF41\uFF42\uFF43", 0, u"ABC"}, // fullwidth abc
            {u"\uFF41\uFF42\uFF43", Search_exact, u"abc"},
            {u"\u00E9\u017F\u0180", 0, u"\u00C9S\u0180"}, // folding stops after U+017F
            {u"\uFFE5\u3000\u2019\u201C\u301C\u2212", 0, u"\u00A5 '\"~-"},
            {u"\u30AC", 0, u"\u30AB\u3099"},       // voiced ga: ka + mark
            {u"\u304C", 0, u"\u304B\u3099"},       // the same in hiragana
            {u"\uFF76\uFF9E", 0, u"\u30AB\u3099"}, // half-width ka + mark
            {u"\u30D1", 0, u"\u30CF\u309A"},       // half-voiced pa
            {u"\u30F4", 0, u"\u30A6\u3099"},       // vu
            {u"\u30F7", 0, u"\u30EF\u3099"},       // va
            {u"\u30C3\u3083", 0, u"\u30C4\u3084"}, // small tsu, small ya
            {u"\u30C3\u3083", Search_exact, u"\u30C3\u3083"},
            {u"\u30F5", 0, u"\u30AB"}, // small ka
            {u"\uFF6F", 0, u"\u30C4"}, // half-width small tsu
        };
        for (const Case &c : cases)
            EXPECT_EQ(normalised(c.in, c.flags), c.out) << std::string(c.in.begin(), c.in.end());
        EXPECT_TRUE(Search_isSpace(' '));
        EXPECT_TRUE(Search_isSpace(0x3000));
        EXPECT_TRUE(Search_isSpace(0));
        EXPECT_FALSE(Search_isSpace('!'));
        EXPECT_TRUE(Search_isVoiceable(0x30AB));
        EXPECT_FALSE(Search_isVoiceable(0x30A2));
        EXPECT_TRUE(Search_isVoiceMark(0xFF9E));
    });
}

TEST_F(SearchTest, OverlappingMatchesThenEndThenWrap)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *t = makeText(doc, root, u"aaa");
        item(doc, 0, t, 0, 3);
        publish(doc);
        begin(doc, u"aa");
        // Found at 0, then at 1, then the end (3); the wrap over the pages
        // before the start page finds nothing (0); then the search starts
        // afresh.
        EXPECT_EQ(forwardCodes(doc, 5), (std::vector<int32_t>{1000, 1001, 3, 0, 1000}));
        Search_end(doc);
        Edr_Node_release(doc, t);
    });
}

TEST_F(SearchTest, CaseAndWidthFoldUnlessExact)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *t = makeText(doc, root, u"xabc \uFF41\uFF42\uFF43");
        item(doc, 0, t, 0, 8);
        publish(doc);
        begin(doc, u"ABC");
        EXPECT_EQ(forwardCodes(doc, 3), (std::vector<int32_t>{1001, 1005, 3}));
        begin(doc, u"ABC", Search_exact);
        EXPECT_EQ(forwardCodes(doc, 1), (std::vector<int32_t>{3}));
        begin(doc, u"abc", Search_exact);
        EXPECT_EQ(forwardCodes(doc, 2), (std::vector<int32_t>{1001, 1005}));
        Search_end(doc);
        Edr_Node_release(doc, t);
    });
}

TEST_F(SearchTest, VoicedKanaAndVoiceMarkRefusals)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        // ka+mark, ga, half-width ka+mark, then a ka whose mark starts the
        // next text item, then a plain ka.
        Edr_Node *t = makeText(doc, root, u"\u30AB\u3099\u30AC\uFF76\uFF9E\u30AB\u3099\u30AB");
        item(doc, 0, t, 0, 5);
        item(doc, 0, t, 5, 1);
        item(doc, 0, t, 6, 2);
        publish(doc);
        begin(doc, u"\u30AC");
        EXPECT_EQ(forwardCodes(doc, 5), (std::vector<int32_t>{1000, 1002, 1003, 1005, 3}));
        // Plain ka: every ka followed by a mark is refused, also across
        // the items; only the last one matches.
        begin(doc, u"\u30AB");
        EXPECT_EQ(forwardCodes(doc, 2), (std::vector<int32_t>{1007, 3}));
        Search_end(doc);
        Edr_Node_release(doc, t);
    });
}

TEST_F(SearchTest, MatchRunsIntoTheNextTextNodeOfTheSameBlockOnly)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *block = makeGroup(doc, root, Edr_Insert_lastChild, 1);
        Edr_Node *a = makeText(doc, block, u"foo");
        Edr_Node *b = makeText(doc, block, u"bar");
        Edr_Node *other = makeGroup(doc, root, Edr_Insert_lastChild, 1);
        Edr_Node *c = makeText(doc, other, u"baz");
        item(doc, 0, a, 0, 3);
        item(doc, 0, b, 0, 3, 20);
        item(doc, 0, c, 0, 3, 40);
        publish(doc);
        std::vector<Step> steps;
        begin(doc, u"obar");
        ASSERT_EQ(step(doc, Search_forward, &steps), 0);
        EXPECT_EQ(steps.back().outcome.code, SearchCode_found);
        // The reported rectangle covers the whole match: the last o of the
        // first line (20-30) and all of the second (0-30).
        EXPECT_EQ(steps.back().outcome.x0, 0);
        EXPECT_EQ(steps.back().outcome.y0, 0);
        EXPECT_EQ(steps.back().outcome.x1, 30);
        EXPECT_EQ(steps.back().outcome.y1, 32);
        begin(doc, u"arba");
        ASSERT_EQ(step(doc, Search_forward, &steps), 0);
        EXPECT_EQ(steps.back().outcome.code, SearchCode_endReached);
        Search_end(doc);
        for (Edr_Node *n : {a, b, c, block, other})
            Edr_Node_release(doc, n);
    });
}

TEST_F(SearchTest, TextBetweenTwoPointsReadsThePageInItsOrder)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        // Three runs of three blocks, as a PDF page's drawn lines: two on
        // one line with a gap between them, one on the line below.
        Edr_Node *blocks[3];
        Edr_Node *texts[3];
        const char16_t *words[3] = {u"Copy this", u"first line", u"second"};
        const Rect boxes[3] = {{0, 100, 90, 112}, {100, 100, 200, 112}, {0, 80, 60, 92}};
        for (int i = 0; i < 3; i++) {
            blocks[i] = makeGroup(doc, root, Edr_Insert_lastChild, 1);
            texts[i] = makeText(doc, blocks[i], words[i]);
            ObjHeader *o = item(doc, 0, texts[i], 0, uint32_t(std::u16string(words[i]).size()));
            Obj_setBox(o, &boxes[i]);
        }
        page(doc, 1); // a page without text
        publish(doc);
        struct Case {
            Point a, b;
            const char16_t *text;
        } cases[] = {
            {{5, 105}, {195, 105}, u"Copy this first line"},
            {{195, 105}, {5, 105}, u"Copy this first line"},   // dragged backwards
            {{55, 105}, {135, 105}, u"this firs"},             // from and to mid-run
            {{55, 105}, {25, 85}, u"this first line\nsec"},    // onto the next line
            {{-50, 106}, {900, 104}, u"Copy this first line"}, // beyond both ends
            {{5, 105}, {5, 105}, u"C"},
        };
        for (const Case &c : cases) {
            char16_t *out = nullptr;
            uint32_t n = 0;
            ASSERT_EQ(Search_textBetween(doc, 0, &c.a, &c.b, &out, &n), 0);
            ASSERT_NE(out, nullptr);
            EXPECT_EQ(std::u16string(out, n), std::u16string(c.text)) << c.a.x << "," << c.a.y;
            EXPECT_EQ(out[n], 0);
            Mem_free(out);
        }
        char16_t *out = nullptr;
        uint32_t n = 1;
        const Point p{5, 105};
        EXPECT_EQ(Search_textBetween(doc, 1, &p, &p, &out, &n), 0);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(n, 0u);
        EXPECT_NE(Search_textBetween(doc, 5, &p, &p, &out, &n), 0);
        EXPECT_EQ(out, nullptr);
        for (int i = 0; i < 3; i++) {
            Edr_Node_release(doc, texts[i]);
            Edr_Node_release(doc, blocks[i]);
        }
    });
}

TEST_F(SearchTest, MatchRunsOverThePageBreakIntoTheSameParagraph)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        // Page 0 ends with "Para" of a paragraph that page 1 goes on with;
        // then page 1 shows "Para" ending one block and "graph" starting
        // another, which must not join.
        Edr_Node *block = makeGroup(doc, root, Edr_Insert_lastChild, 1);
        Edr_Node *split = makeText(doc, block, u"xx Paragraph yy");
        Edr_Node *one = makeGroup(doc, root, Edr_Insert_lastChild, 1);
        Edr_Node *a = makeText(doc, one, u"Para");
        Edr_Node *two = makeGroup(doc, root, Edr_Insert_lastChild, 1);
        Edr_Node *b = makeText(doc, two, u"graph");
        item(doc, 0, split, 0, 7);
        item(doc, 1, split, 7, 8);
        item(doc, 1, a, 0, 4, 20);
        item(doc, 2, b, 0, 5);
        publish(doc);
        begin(doc, u"paragraph");
        // Found once, held on the page it starts on (its part there, from
        // its first character); then the end.
        EXPECT_EQ(forwardCodes(doc, 2), (std::vector<int32_t>{1003, SearchCode_endReached}));
        Search_end(doc);
        for (Edr_Node *n : {split, a, b, block, one, two})
            Edr_Node_release(doc, n);
    });
}

TEST_F(SearchTest, FindsTextInGlyphRuns)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *t = makeText(doc, root, u"xx");
        // A glyph-run string of two runs, "foo " and "needle", on page 0
        // after a text item; then a text item on page 1.
        GlyphRunWriter w;
        GlyphRun_writerInit(&w);
        ASSERT_EQ(GlyphRun_addText(&w, 0, 0, u"foo ", 4), 0);
        ASSERT_EQ(GlyphRun_addText(&w, 100, 0, u"needle", 6), 0);
        // A run whose codes are not its text is found by its text.
        ASSERT_EQ(GlyphRun_addTextAs(&w, 200, 0, u"\u0001\u0002", 2, u"office", 6), 0);
        ASSERT_EQ(GlyphRun_plugHole(&w), 0);
        item(doc, 0, t, 0, 2);
        ObjHeader *g = Obj_create(&GlyphRunItem_class, 0);
        ASSERT_NE(g, nullptr);
        Rect box{0, 100, 200, 112};
        Obj_setBox(g, &box);
        auto *part = static_cast<GlyphRunItemPart *>(Obj_part(g));
        part->bytes = w.buffer;
        part->length = w.pos;
        part->size = 0x90000;
        Page &p = page(doc, 0);
        *p.tail = g;
        p.tail = reinterpret_cast<ObjHeader **>(&g->owner[0]);
        Edr_Node *u = makeText(doc, root, u"needle");
        item(doc, 1, u, 0, 6);
        publish(doc);

        std::vector<Step> steps;
        begin(doc, u"NEEDLE");
        ASSERT_EQ(step(doc, Search_forward, &steps), 0);
        const SearchOutcome &first = steps.back().outcome;
        EXPECT_EQ(first.code, SearchCode_found);
        EXPECT_EQ(first.page, 0);
        EXPECT_EQ(first.y0, 100) << "the glyph-run item's box";
        ASSERT_EQ(step(doc, Search_forward, &steps), 0);
        EXPECT_EQ(steps.back().outcome.code, SearchCode_found);
        EXPECT_EQ(steps.back().outcome.page, 1);
        begin(doc, u"office");
        ASSERT_EQ(step(doc, Search_forward, &steps), 0);
        EXPECT_EQ(steps.back().outcome.code, SearchCode_found) << "by the run's text";
        EXPECT_EQ(steps.back().outcome.page, 0);
        begin(doc, u"\u0001\u0002");
        ASSERT_EQ(step(doc, Search_forward, &steps), 0);
        EXPECT_NE(steps.back().outcome.code, SearchCode_found) << "not by its codes";
        // A match runs from one run of the string into the next.
        begin(doc, u"o ne");
        ASSERT_EQ(step(doc, Search_forward, &steps), 0);
        EXPECT_EQ(steps.back().outcome.code, SearchCode_found);
        EXPECT_EQ(steps.back().outcome.page, 0);
        Search_end(doc);
        // The item goes with the document's pages and does not read the
        // string it points at when freed.
        Edr_Node_release(doc, t);
        Edr_Node_release(doc, u);
        GlyphRun_writerFree(&w);
    });
}

TEST_F(SearchTest, BackwardRepeatPagesAndScales)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *t0 = makeText(doc, root, u"cat dog cat");
        Edr_Node *t1 = makeText(doc, root, u"dog cat");
        item(doc, 0, t0, 0, 11, 0, 0x80000);
        item(doc, 1, t1, 0, 7, 0, 0x100000);
        publish(doc);
        ASSERT_EQ(Search_begin(doc, u"cat", 3, 0, 0, 0, 0, 0x10000, 0x20000), 0);
        std::vector<Step> steps;
        for (int i = 0; i < 3; i++)
            ASSERT_EQ(step(doc, Search_forward, &steps), 0);
        EXPECT_EQ(steps[2].outcome.code, SearchCode_found);
        EXPECT_EQ(steps[2].outcome.page, 1);
        EXPECT_EQ(steps[2].outcome.x0, 40);
        EXPECT_EQ(steps[2].outcome.scaleSmall, int32_t(int64_t(0x10000) * 65536 / 0x100000));
        EXPECT_EQ(steps[2].outcome.scaleLarge, int32_t(int64_t(0x20000) * 65536 / 0x100000));
        // Backward: the match before the current one.
        ASSERT_EQ(step(doc, Search_backward, &steps), 0);
        EXPECT_EQ(steps.back().direction, SearchDir_backward);
        EXPECT_EQ(steps.back().outcome.code, SearchCode_found);
        EXPECT_EQ(steps.back().outcome.page, 0);
        EXPECT_EQ(steps.back().outcome.x0, 80);
        ASSERT_EQ(step(doc, Search_backward, &steps), 0);
        EXPECT_EQ(steps.back().outcome.x0, 0);
        // Repeat with a current match reports it again, as direction 2.
        ASSERT_EQ(step(doc, Search_repeat, &steps), 0);
        EXPECT_EQ(steps.back().direction, SearchDir_repeat);
        EXPECT_EQ(steps.back().outcome.code, SearchCode_found);
        EXPECT_EQ(steps.back().outcome.x0, 0);
        // Without user words the scales are 0 and 0x7fffffff.
        begin(doc, u"dog");
        ASSERT_EQ(step(doc, Search_forward, &steps), 0);
        EXPECT_EQ(steps.back().outcome.scaleSmall, 0);
        EXPECT_EQ(steps.back().outcome.scaleLarge, 0x7fffffff);
        // Starting at page 1: region A is page 1, region B page 0.
        begin(doc, u"dog", 0, 1);
        EXPECT_EQ(forwardCodes(doc, 4), (std::vector<int32_t>{1100, 3, 1004, 0}));
        Search_end(doc);
        Edr_Node_release(doc, t0);
        Edr_Node_release(doc, t1);
    });
}

TEST_F(SearchTest, NoTextEmptyTextAndRestart)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *t = makeText(doc, root, u"one two");
        item(doc, 0, t, 0, 7);
        publish(doc);
        std::vector<Step> steps;
        // Without a text every step reports 4.
        ASSERT_EQ(step(doc, Search_forward, &steps), 0);
        ASSERT_EQ(step(doc, Search_repeat, &steps), 0);
        ASSERT_EQ(steps.size(), 2u);
        EXPECT_EQ(steps[0].outcome.code, SearchCode_noText);
        EXPECT_EQ(steps[1].outcome.code, SearchCode_noText);
        EXPECT_EQ(Search_restart(doc, 0, 0, 0), 0);
        EXPECT_EQ(Search_phase(doc), -1);
        // An empty text keeps the previous one.
        begin(doc, u"two");
        EXPECT_EQ(Search_begin(doc, u"", 0, 0, 0, 0, 0, 0, 0), 0);
        EXPECT_EQ(Search_begin(doc, nullptr, 3, 0, 0, 0, 0, 0, 0), 0);
        EXPECT_EQ(forwardCodes(doc, 1), (std::vector<int32_t>{1004}));
        EXPECT_EQ(Search_phase(doc), 1);
        // A restart begins afresh in phase 0.
        EXPECT_EQ(Search_restart(doc, 0, 0, 0), 0);
        EXPECT_EQ(Search_phase(doc), 0);
        EXPECT_EQ(forwardCodes(doc, 1), (std::vector<int32_t>{1004}));
        Search_end(doc);
        EXPECT_EQ(Search_phase(doc), -1);
        Edr_Node_release(doc, t);
    });
}

TEST_F(SearchTest, StopRequestEndsTheWalkWithin101Items)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *t = makeText(doc, root, u"x");
        for (int i = 0; i < 250; i++)
            item(doc, 0, t, 0, 1);
        publish(doc);
        begin(doc, u"nothing");
        std::vector<Step> steps;
        ASSERT_EQ(Task_requestStop(Task_current(ctx())), 0);
        EXPECT_EQ(step(doc, Search_forward, &steps), 48);
        EXPECT_TRUE(steps.empty()) << "a failed pass is not reported";
        EXPECT_EQ(Search_phase(doc), 0) << "and leaves the phase";
        Task_clearStop(ctx());
        ASSERT_EQ(step(doc, Search_forward, &steps), 0);
        EXPECT_EQ(steps.back().outcome.code, SearchCode_endReached);
        Search_end(doc);
        Edr_Node_release(doc, t);
    });
}

// A worksheet's strings: a grid record node whose cell table holds the
// entries (each the head of a chain of alternatives), the grid item that
// stands for the table on the page, and text runs lending the strings.
class SearchGridTest : public SearchTest {
  protected:
    static constexpr ObjClass plainClass{nullptr, 0, nullptr, Obj_itemPlain};

    // A grid record node whose entries hold the texts; an entry's further
    // texts (after a '|') are its chain of alternatives. A null text is an
    // entry without one. The texts stay the caller's.
    static Edr_Node *makeGrid(Edr_Doc *doc, Edr_Node *root,
                              const std::vector<std::vector<const char16_t *>> &entries)
    {
        auto *grid = static_cast<SheetGrid *>(Mem_calloc(1, sizeof(SheetGrid)));
        auto *table = static_cast<SheetCellTable *>(Mem_calloc(1, sizeof(SheetCellTable)));
        table->count = uint32_t(entries.size());
        table->cells = static_cast<ExcelCell *>(Mem_calloc(entries.size(), sizeof(ExcelCell)));
        for (size_t i = 0; i < entries.size(); i++) {
            ExcelCell *c = &table->cells[i];
            for (size_t k = 0; k < entries[i].size(); k++) {
                if (k) {
                    c->next = static_cast<ExcelCell *>(Mem_calloc(1, sizeof(ExcelCell)));
                    c = c->next;
                }
                c->kind =
                    entries[i][k] ? uint32_t(Excel_cellSharedText) : uint32_t(Excel_cellNoText);
                c->text = const_cast<char16_t *>(entries[i][k]);
                c->sst = -1;
            }
        }
        grid->cellTable = table;
        Edr_Node *n = nullptr;
        EXPECT_EQ(Edr_Node_createRecordRef(doc, root, Edr_Insert_lastChild, &n, grid,
                                           Excel_gridRecordFree),
                  0);
        return n;
    }
    // The item that stands for the grid's string table on the page.
    void tableItem(Edr_Doc *doc, size_t pageIndex, Edr_Node *grid)
    {
        ObjHeader *o = Obj_create(&plainClass, 0);
        o->node = grid;
        link(doc, pageIndex, o);
    }
    // A text run of the grid showing characters [start, start + count) of
    // a string, at x, 10 units wide per character.
    ObjHeader *run(Edr_Doc *doc, size_t pageIndex, Edr_Node *grid, const char16_t *string,
                   uint32_t start, uint32_t count, int32_t x, int32_t y = 0)
    {
        ObjHeader *o = Obj_create(&textClass, 0);
        o->node = grid;
        Rect box{x, y, x + int32_t(count * 10), y + 12};
        Obj_setBox(o, &box);
        auto *t = static_cast<ObjTextPart *>(Obj_part(o));
        t->chars = string;
        t->start = start;
        t->count = count;
        t->size = 0x100000;
        link(doc, pageIndex, o);
        return o;
    }
};

TEST_F(SearchGridTest, TheWalkerGivesEachEntrysStringsAlongItsChain)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *grid =
            makeGrid(doc, root, {{u"ab", u"cd"}, {nullptr}, {u"ef"}, {nullptr, u"gh"}});
        ObjHeader *item = Obj_create(&plainClass, 0);
        item->node = grid;
        StrWalker *w = nullptr;
        ASSERT_EQ(StrWalker_create(doc, item, &w), 0);
        std::vector<std::u16string> strings;
        std::vector<uint32_t> entries;
        const char16_t *text = nullptr;
        uint32_t length = 0;
        const void *entry = nullptr;
        const ExcelCell *cells = nullptr;
        void *record = nullptr;
        ASSERT_EQ(Edr_Node_getGridRecord(doc, grid, &record), 0);
        cells = static_cast<SheetGrid *>(record)->cellTable->cells;
        while (StrWalker_next(w, &text, &length, &entry)) {
            strings.emplace_back(text, length);
            entries.push_back(uint32_t(static_cast<const ExcelCell *>(entry) - cells));
        }
        EXPECT_EQ(strings, (std::vector<std::u16string>{u"ab", u"cd", u"ef", u"gh"}));
        EXPECT_EQ(entries, (std::vector<uint32_t>{0, 0, 2, 3}))
            << "strings of one entry share its head";
        EXPECT_EQ(text, nullptr);
        EXPECT_EQ(StrWalker_next(w, &text, &length, &entry), 0) << "and stays at the end";
        StrWalker_free(w);
        // Only an item of a grid record node has a table.
        Edr_Node *t = makeText(doc, root, u"x");
        item->node = t;
        EXPECT_EQ(StrWalker_create(doc, item, &w), 1542);
        EXPECT_EQ(w, nullptr);
        Obj_destroy(item);
        Edr_Node_release(doc, t);
        Edr_Node_release(doc, grid);
    });
}

// Text runs after a string table take the whitespace after them from the
// table's strings, so a match runs over a cell's line break; a match does
// not run from one cell's string into the next cell's.
TEST_F(SearchGridTest, RunsOfAStringTableMatchWithinOneEntry)
{
    static const char16_t first[] = u"foo bar";
    static const char16_t second[] = u"baz";
    static const char16_t third[] = u"qux";
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *grid = makeGrid(doc, root, {{first}, {nullptr}, {second, third}});
        tableItem(doc, 0, grid);
        run(doc, 0, grid, first, 0, 3, 0);     // "foo", the cell's first line
        run(doc, 0, grid, first, 4, 3, 0, 20); // "bar", its second
        run(doc, 0, grid, second, 0, 3, 100);
        run(doc, 0, grid, third, 0, 3, 200);
        publish(doc);
        struct Case {
            const char16_t *text;
            int32_t code, y0;
        } cases[] = {
            {u"foo bar", SearchCode_found, 0},
            {u"o b", SearchCode_found, 0},
            {u"bar", SearchCode_found, 20},
            {u"barbaz", SearchCode_endReached, 0},
            // Two strings of one entry's chain are one cell's runs.
            {u"bazqux", SearchCode_found, 0},
            {u"az", SearchCode_found, 0},
        };
        for (const Case &c : cases) {
            std::vector<Step> steps;
            begin(doc, c.text);
            ASSERT_EQ(step(doc, Search_forward, &steps), 0);
            const SearchOutcome &o = steps.back().outcome;
            const std::string what(c.text, c.text + std::char_traits<char16_t>::length(c.text));
            EXPECT_EQ(o.code, c.code) << what;
            if (c.code == SearchCode_found) {
                EXPECT_EQ(o.y0, c.y0) << what;
            }
            Search_end(doc);
        }
        Edr_Node_release(doc, grid);
    });
}

TEST_F(SearchTest, AnItemsMatrixScalesItsTextSize)
{
    struct Case {
        Matrix m;
        int32_t size, want;
    } cases[] = {
        {{0x10000, 0, 0, 0x10000, 0, 0}, 0x100000, 0x100000},
        {{0x20000, 0, 0, 0x20000, 0, 0}, 0x100000, 0x200000},
        // A quarter turn keeps the size; a translation adds nothing.
        {{0, 0x10000, -0x10000, 0, 0x40000000, -0x40000000}, 0x100000, 0x100000},
        // (3, 4) x size is 5 x size.
        {{0x30000, 0x40000, 0, 0x10000, 0, 0}, 0x10000, 0x50000},
        {{0x8000, 0, 0, 0x8000, 7, 7}, 0x90000, 0x48000},
    };
    for (const Case &c : cases) {
        ObjHeader *o = Obj_create(&SearchTestTextClass, 0);
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(Search_itemTextSize(o, c.size), c.size) << "no matrix";
        o->matrix = static_cast<Matrix *>(Mem_malloc(sizeof(Matrix)));
        *o->matrix = c.m;
        EXPECT_EQ(Search_itemTextSize(o, c.size), c.want) << c.m.a << "," << c.m.b;
        Obj_destroy(o);
    }
    EXPECT_EQ(Search_itemTextSize(nullptr, 5), 5);
}

// The scale words of a match come from the sizes its items show text at.
TEST_F(SearchTest, MatchScalesUseTheTextSizeThroughTheItemsMatrix)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *t = makeText(doc, root, u"big small");
        ObjHeader *big = item(doc, 0, t, 0, 4, 0, 0x100000);
        item(doc, 0, t, 4, 5, 0, 0x100000);
        big->matrix = static_cast<Matrix *>(Mem_malloc(sizeof(Matrix)));
        *big->matrix = Matrix{0x30000, 0, 0, 0x30000, 0x10000, 0x10000};
        publish(doc);
        ASSERT_EQ(Search_begin(doc, u"g s", 3, 0, 0, 0, 0, 0x10000, 0x10000), 0);
        std::vector<Step> steps;
        ASSERT_EQ(step(doc, Search_forward, &steps), 0);
        const SearchOutcome &o = steps.back().outcome;
        ASSERT_EQ(o.code, SearchCode_found);
        EXPECT_EQ(o.scaleSmall, int32_t(int64_t(0x10000) * 65536 / 0x100000)) << "the plain item";
        EXPECT_EQ(o.scaleLarge, int32_t(int64_t(0x10000) * 65536 / 0x300000))
            << "three times through the matrix";
        Search_end(doc);
        Edr_Node_release(doc, t);
    });
}

} // namespace
