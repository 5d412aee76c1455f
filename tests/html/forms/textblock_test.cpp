// Looks and their text blocks, measured in the box font (every glyph one
// box, so lines and sizes are known): look copies and share counts,
// single-line fitting that shrinks the size, multi-line layout over line
// breaks without word breaks, multi-line drawing that stops at the
// rectangle, and the replacement of the selection, which grows the text
// and refuses results past 65535 characters.
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "graphics/path.h"
#include "html/forms/formvalue.h"
#include "html/forms/textblock.h"
#include "tests/html/forms/forms_fixture.h"

namespace {

using TextBlockTest = FormsFixture;

constexpr int32_t kSize = 9 << 16;

struct Metrics {
    int32_t cw; // one character's advance
    int32_t lh; // a line's height
};

FormValue *textLook(const char16_t *text, uint32_t mode, uint32_t multi, const int32_t box[4])
{
    FormValue *v = nullptr;
    EXPECT_EQ(Form_valueNew(&v), 0);
    EXPECT_EQ(Form_valueSetText(v, Ustr_dup(text)), 0);
    Form_textSetMode(v, mode);
    Form_textRecordSetWrap(v, multi);
    Form_valueSetBox(v, box);
    return v;
}

struct LineInfo {
    uint16_t first, count;
    bool operator==(const LineInfo &o) const
    {
        return first == o.first && count == o.count;
    }
};

std::vector<LineInfo> lines(const FormValue *v)
{
    std::vector<LineInfo> out;
    for (FormTextLine *l = Form_valueTextRecord(v)->lines->first; l; l = l->next)
        out.push_back({l->first, l->count});
    return out;
}

TEST_F(TextBlockTest, LookCopiesShareTheirPayloads)
{
    run([&] {
        const int32_t r[4] = {0, 0, 100, 100};
        FormValue *a = nullptr;
        ASSERT_EQ(Form_valueNewRect(&a, 15, r, 0, 255), 0);
        FormValue *b = nullptr, *c = nullptr;
        ASSERT_EQ(Form_valueCopy(a, &b), 0);
        ASSERT_EQ(Form_valueCopyDeep(a, &c), 0);
        EXPECT_EQ(a->payload, b->payload);
        EXPECT_EQ(a->payload, c->payload); // paths are shared by deep copies too
        EXPECT_EQ(a->payload->shares, 3);
        Form_valueRelease(b);
        EXPECT_EQ(a->payload->shares, 2);
        // A reference count of 2 only drops to 1.
        a->refCount = 2;
        Form_valueRelease(a);
        EXPECT_EQ(a->refCount, 1);
        EXPECT_EQ(a->payload->shares, 2);
        Form_valueRelease(a);
        EXPECT_EQ(c->payload->shares, 1);
        Form_valueRelease(c); // frees the path: the fixture's heap check sees it

        // Text payloads are copied deeply.
        const int32_t box[4] = {0, 0, 0x10000, 0x1000};
        FormValue *t = textLook(u"abc", FormText_labelMode, 0, box);
        FormValue *d = nullptr;
        ASSERT_EQ(Form_valueCopyDeep(t, &d), 0);
        ASSERT_NE(d->payload, t->payload);
        Form_textSetSelStart(d, 0);
        Form_textSetSelEnd(d, 99); // clamped to the length
        EXPECT_EQ(Form_textGetSelEnd(d), 3u);
        ASSERT_EQ(Form_textReplaceSelection(d, u"xy"), 0);
        EXPECT_EQ(std::u16string(static_cast<char16_t *>(Form_valueGetData(d))), u"xy");
        EXPECT_EQ(std::u16string(static_cast<char16_t *>(Form_valueGetData(t))), u"abc");
        // Setting text on a look with text keeps its record and block.
        FormTextRecord *rec = Form_valueTextRecord(t);
        FormTextBlock *block = rec->lines;
        ASSERT_EQ(Form_valueSetText(t, Ustr_dup(u"hello")), 0);
        EXPECT_EQ(Form_valueTextRecord(t), rec);
        EXPECT_EQ(rec->lines, block);
        EXPECT_EQ(rec->length, 5);
        Form_valueRelease(d);
        Form_valueRelease(t);
    });
}

TEST_F(TextBlockTest, SingleLineShrinksToTheBoxOrGivesUp)
{
    run([&] {
        const Rect one = boxText(u"Label");
        const int32_t h = one.y1 - one.y0, w = one.x1 - one.x0;
        FormLayoutRequest req = request(0, 0, 0, 0);
        // Fits: the size stays, the line is centred both ways (514).
        const int32_t big[4] = {0, 0, w * 2, h * 3};
        FormValue *v = textLook(u"Label", FormText_labelMode, 0, big);
        ASSERT_EQ(Form_textRecordLayout(v, &req), 0);
        FormTextBlock *b = Form_valueTextRecord(v)->lines;
        EXPECT_EQ(b->size, kSize);
        ASSERT_EQ(b->lineCount, 1);
        EXPECT_EQ(b->first->place[0], (2 * w - w) / 2);
        EXPECT_EQ(b->first->place[3], -((3 * h - h) / 2));
        EXPECT_EQ(b->fitCount, 5);
        EXPECT_EQ(req.size, kSize); // the request keeps its size
        // Point queries reach the line's boxes.
        const FormTextLine *l = b->first;
        EXPECT_EQ(Form_valueTextHit(v, l->ink[0] + 1, l->ink[1] + 1), 1);
        EXPECT_EQ(Form_valueTextHit(v, l->ink[0] - 1, l->ink[1] + 1), 0);
        int32_t at[2];
        EXPECT_EQ(Form_valueTextPoint(v, 2, at), 1);
        EXPECT_EQ(at[0], l->place[0]);
        // Half as high: the size halves.
        const int32_t low[4] = {0, 0, w * 2, h / 2};
        Form_valueSetBox(v, low);
        ASSERT_EQ(Form_textRecordLayout(v, &req), 0);
        EXPECT_EQ(b->size, int32_t(int64_t(h / 2) * kSize / h));
        EXPECT_EQ(b->lineCount, 1);
        // No height at all: no line.
        const int32_t none[4] = {0, 0, w * 2, 0};
        Form_valueSetBox(v, none);
        ASSERT_EQ(Form_textRecordLayout(v, &req), 0);
        EXPECT_EQ(b->lineCount, 0);
        EXPECT_EQ(b->first, nullptr);
        Form_valueRelease(v);
    });
}

TEST_F(TextBlockTest, MultiLineBreaksAtLineEndsAndBoxEdges)
{
    run([&] {
        const Rect a = boxText(u"A");
        const int32_t cw = a.x1 - a.x0, lh = a.y1 - a.y0;
        struct Case {
            const char16_t *text;
            int32_t widthInChars10; // the box width in tenths of a character
            std::vector<LineInfo> expect;
        } cases[] = {
            {u"ab\r\ncd", 105, {{0, 2}, {4, 2}}},
            {u"ab\rcd", 105, {{0, 2}, {3, 2}}},
            {u"ab\ncd", 105, {{0, 2}, {3, 2}}},
            {u"ab\n\ncd", 105, {{0, 2}, {3, 0}, {4, 2}}},
            {u"ab\r\n", 105, {{0, 2}}},
            {u"", 105, {}},
            {u"abcdefghijklmno", 105, {{0, 10}, {10, 5}}},
            {u"abc\ndefghijklmnopqrstuvwxyz", 105, {{0, 3}, {4, 10}, {14, 10}, {24, 3}}},
            {u"abc", 5, {}}, // one character is wider than the box
        };
        FormLayoutRequest req = request(0, 0, 0, 0);
        for (const Case &c : cases) {
            const int32_t box[4] = {0, 0, cw * c.widthInChars10 / 10, lh * 10};
            FormValue *v = textLook(c.text, FormText_areaMode, 1, box);
            ASSERT_EQ(Form_textRecordLayout(v, &req), 0);
            EXPECT_EQ(lines(v), c.expect) << std::string(c.text, c.text + Ustr_len(c.text));
            FormTextBlock *b = Form_valueTextRecord(v)->lines;
            if (!c.expect.empty()) {
                EXPECT_EQ(b->visibleLines, 10);
                // Lines stack down from the top edge, each lh high.
                int32_t y = 0;
                for (FormTextLine *l = b->first; l; l = l->next) {
                    EXPECT_EQ(l->place[3], y);
                    EXPECT_EQ(l->place[1], y - lh);
                    EXPECT_EQ(l->ink[3] - l->ink[1], lh); // an empty line keeps the height of "A"
                    y -= lh;
                }
            }
            Form_valueRelease(v);
        }
    });
}

TEST_F(TextBlockTest, MultiLineDrawingStopsAtTheRectangle)
{
    run([&] {
        const Rect a = boxText(u"A");
        const int32_t cw = a.x1 - a.x0, lh = a.y1 - a.y0;
        const int32_t box[4] = {0, 0, cw * 10, lh * 10};
        FormValue *v = textLook(u"aa\nbb\ncc\ndd", FormText_areaMode, 1, box);
        FormLayoutRequest req = request(0, 0, 0, 0);
        ASSERT_EQ(Form_textRecordLayout(v, &req), 0);
        ASSERT_EQ(lines(v).size(), 4u);
        // 128 pixels to the inch; the rectangle holds two and a half lines.
        const int32_t ppi = 128;
        const int32_t lhPx = int32_t(int64_t(lh) * ppi / 65536);
        ASSERT_GE(lhPx, 8);
        Bitmap *b = picture(64, 4 * lhPx + 8);
        Matrix m{ppi, 0, 0, ppi, 0, 0};
        DrawTarget target{b, nullptr, 0, 0};
        const int32_t top = 4 * lh;
        FormDrawRequest dr{{0, top - lh * 5 / 2, cw * 10, top}, 0, 0, nullptr, 0, 0};
        ASSERT_EQ(Form_textRecordDraw(v, &dr, &m, &target), 0);
        // Ink per line band, counted from the top of the picture.
        auto inked = [&](int line) {
            int n = 0;
            const int32_t height = b->height;
            const int32_t yTop = height - int32_t(int64_t(top) * ppi / 65536);
            for (int32_t y = yTop + line * lhPx + 1; y < yTop + (line + 1) * lhPx - 1; y++)
                for (int32_t x = 0; x < 40; x++)
                    if (y >= 0 && y < height && pixel(b, x, y) != white565)
                        n++;
            return n;
        };
        EXPECT_GT(inked(0), 0);
        EXPECT_GT(inked(1), 0);
        EXPECT_EQ(inked(2), 0);
        EXPECT_EQ(inked(3), 0);
        Form_valueRelease(v);
    });
}

TEST_F(TextBlockTest, PathLooksDrawAtTheirOpacity)
{
    run([&] {
        const int32_t r[4] = {0, 0, 0x10000, 0x10000};
        FormValue *v = nullptr;
        ASSERT_EQ(Form_valueNewRect(&v, 15, r, 1, 255), 0);
        Form_valueSetColourWord(v, 0x0000FFFF); // blue, opaque
        Bitmap *b = picture(8, 8);
        Matrix m{8, 0, 0, 8, 0, 0};
        DrawTarget target{b, nullptr, 0, 0};
        FormDrawRequest dr{{0, 0, 0x10000, 0x10000}, 0, 0, nullptr, 0, 0};
        Form_valueSetAlpha(v, 0);
        ASSERT_EQ(Form_valueDraw(ctx(), v, &dr, &m, &target, 0, nullptr), 0);
        EXPECT_EQ(pixel(b, 3, 3), white565);
        Form_valueSetAlpha(v, 255);
        ASSERT_EQ(Form_valueDraw(ctx(), v, &dr, &m, &target, 0, nullptr), 0);
        EXPECT_EQ(pixel(b, 3, 3), 0x001F);
        Form_valueRelease(v);
    });
}

TEST_F(TextBlockTest, ReplacementGrowsTheTextAndRefusesPast65535)
{
    run([&] {
        const int32_t box[4] = {0, 0, 0x10000, 0x10000};
        FormValue *v = textLook(u"", FormText_fieldMode, 0, box);
        std::u16string chunk(10000, u'x');
        std::u16string expect;
        for (int i = 0; i < 7; i++) {
            const int r = Form_textReplaceSelection(v, chunk.c_str());
            if (expect.size() + chunk.size() <= 65535) {
                ASSERT_EQ(r, 0) << i;
                expect += chunk;
            } else {
                EXPECT_EQ(r, Res_nullInput) << i; // 70,000: refused, nothing changed
            }
            FormTextRecord *t = Form_valueTextRecord(v);
            ASSERT_EQ(t->length, expect.size());
            ASSERT_EQ(std::u16string(t->text), expect);
            EXPECT_EQ(t->selStart, t->selEnd);
        }
        // Exactly 65535 is taken; the cursor is then at the end marker.
        std::u16string rest(65535 - expect.size(), u'y');
        ASSERT_EQ(Form_textReplaceSelection(v, rest.c_str()), 0);
        FormTextRecord *t = Form_valueTextRecord(v);
        EXPECT_EQ(t->length, 65535);
        EXPECT_EQ(t->selEnd, 65535);
        EXPECT_EQ(Form_textReplaceSelection(v, u"z"), Res_nullInput);
        // Replacing a selection in the middle moves the tail.
        Form_textSetSelStart(v, 5);
        Form_textSetSelEnd(v, 65530);
        ASSERT_EQ(Form_textReplaceSelection(v, u"ABC"), 0);
        EXPECT_EQ(std::u16string(t->text), u"xxxxxABCyyyyy");
        EXPECT_EQ(t->selStart, 8);
        // An empty string over an empty selection changes nothing.
        ASSERT_EQ(Form_textReplaceSelection(v, u""), 0);
        EXPECT_EQ(t->length, 13);
        EXPECT_EQ(Form_textLineLength(u"ab\ncd", 5), 2u);
        EXPECT_EQ(Form_textLineLength(u"abcd", 4), 4u);
        Form_valueRelease(v);
    });
}

} // namespace
