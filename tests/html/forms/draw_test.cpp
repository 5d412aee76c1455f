// Each control drawn into a 16-bit bitmap by its class draw method and
// compared with a drawing of the same coordinate tables made with PIL
// (tests/fixtures/forms/make_looks.py): a one-inch control at 64 pixels
// to the inch, within a tolerance for anti-aliasing and 5-6-5 rounding.
// Also the frames of scroll bars and text fields and a label's text.
#include <cstdlib>
#include <string>

#include "core/text/ustr.h"
#include "html/forms/buttons.h"
#include "html/forms/scrollbar.h"
#include "html/forms/textfield.h"
#include "tests/graphics/png_support.h"
#include "tests/html/forms/forms_fixture.h"

namespace {

using DrawTest = FormsFixture;

constexpr int32_t kPx = 64;

// Pixels whose channels differ from the reference by more than 24, and the
// largest difference.
struct Diff {
    int over;
    int largest;
};

Diff compare(const Bitmap *b, const std::string &name)
{
    int w = 0, h = 0;
    std::vector<uint8_t> want = png::read(std::string(VEXLAN_FIXTURES) + "/forms/" + name, &w, &h);
    EXPECT_EQ(w, kPx) << name;
    EXPECT_EQ(h, kPx) << name;
    std::vector<uint8_t> got = png::rgbFrom565(
        reinterpret_cast<const uint16_t *>(Bitmap_firstRow(b)), kPx, kPx, size_t(b->stride));
    Diff d{0, 0};
    if (want.size() != got.size())
        return Diff{kPx * kPx, 255};
    for (size_t i = 0; i < got.size(); i += 3) {
        int worst = 0;
        for (int c = 0; c < 3; c++)
            worst = std::max(worst, std::abs(int(got[i + c]) - int(want[i + c])));
        if (worst > 24)
            d.over++;
        d.largest = std::max(d.largest, worst);
    }
    return d;
}

TEST_F(DrawTest, BuiltInLooksMatchTheirCoordinateTables)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        struct Case {
            uint32_t classId;
            uint32_t arrow;
            const char *golden;
        } cases[] = {
            {FormClass_button, 0, "looks_button.png"},
            {FormClass_button, 3, "looks_arrow.png"},
            {FormClass_radio, 0, "looks_radio.png"},
            {FormClass_check, 0, "looks_check.png"},
        };
        for (const Case &c : cases) {
            FormWidget *w = make(doc, c.classId, false);
            if (c.arrow) {
                ASSERT_EQ(Form_buttonSetArrow(w, c.arrow), 0);
            }
            ASSERT_EQ(Form_Widget_init(w), 0);
            const int32_t inch[4] = {0, 0, 0x10000, 0x10000};
            ASSERT_EQ(Form_Widget_setRect(w, inch), 0);
            w->flags |= FormWidget_laidOut;
            Bitmap *b = picture(kPx, kPx);
            Matrix m{kPx, 0, 0, kPx, 0, 0};
            DrawTarget target{b, nullptr, 0, 0};
            FormDrawRequest req{{0, 0, 0x10000, 0x10000}, 0, 0, nullptr, 0, 0};
            w->flags |= FormWidget_attached;
            ASSERT_EQ(Form_Widget_dispatch(w, &req, &m, &target, 0), 0);
            w->flags &= ~uint32_t(FormWidget_attached);
            Diff d = compare(b, c.golden);
            EXPECT_LE(d.over, kPx * kPx / 50) << c.golden; // at most 2% of the pixels
            EXPECT_LE(d.largest, 40) << c.golden;
            if (getenv("VEXLAN_FORMS_DIFF"))
                printf("%s: %d over, largest %d\n", c.golden, d.over, d.largest);
            // Not an empty picture: the looks are there.
            int grey = 0;
            for (int y = 0; y < kPx; y++)
                for (int x = 0; x < kPx; x++)
                    grey += pixel(b, x, y) != white565;
            EXPECT_GT(grey, kPx * 4) << c.golden;
            Form_Widget_destroy(w);
        }
    });
}

TEST_F(DrawTest, FramesAndLabelText)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        // A scroll bar: grey C0 face inside a grey 80 frame.
        FormWidget *bar = make(doc, FormClass_scroll);
        const int32_t r[4] = {0, 0, 0x4000,
                              0x10000}; // arrows 16 pixels high, the thumb under the top one
        ASSERT_EQ(Form_Widget_setRect(bar, r), 0);
        ASSERT_EQ(Edr_Widget_sendEvent(ctx(), bar, nullptr), 0);
        Bitmap *b = picture(kPx, kPx);
        drawTree(bar, b, kPx);
        const uint16_t c0 = 0xC618; // C0 C0 C0
        // In the trough, below the thumb.
        EXPECT_EQ(pixel(b, 8, 40), c0);
        // Outside the bar: untouched.
        EXPECT_EQ(pixel(b, 40, 30), white565);
        // The frame darkens the bar's left edge.
        EXPECT_NE(pixel(b, 0, 40), c0);
        EXPECT_NE(pixel(b, 0, 40), white565);
        Form_Widget_destroy(bar);

        // A text field's label draws its text in grey (box glyphs): more
        // ink than the same field empty.
        FormWidget *field = make(doc, FormClass_text);
        auto ink = [&](const char16_t *text) {
            EXPECT_EQ(Form_textSetText(field, Ustr_dup(text)), 0);
            FormLayoutRequest req = request(0, 0, 1, 1, 1);
            EXPECT_EQ(Edr_Widget_sendEvent(ctx(), field, &req), 0);
            Bitmap *t = picture(kPx * 3, kPx);
            drawTree(field, t, kPx * 2);
            int n = 0;
            for (int y = 0; y < t->height; y++)
                for (int x = 0; x < t->width; x++)
                    n += pixel(t, x, y) != white565;
            return n;
        };
        const int empty = ink(u"");
        const int full = ink(u"WWW");
        EXPECT_GT(empty, 0); // the frame
        EXPECT_GT(full, empty + 20);
        Form_Widget_destroy(field);
    });
}

} // namespace
