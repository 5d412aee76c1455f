// The controls' geometry in the box font: push buttons sized to their
// label (and not with a fixed size or a skin image), 10-point radio
// buttons and check boxes, text fields by columns, scroll-bar layouts,
// the file select beside its button, and the skin class's image URL,
// image sizing and paint items.
#include <string>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "html/forms/buttons.h"
#include "html/forms/fileselect.h"
#include "html/forms/formvalue.h"
#include "html/forms/scrollbar.h"
#include "html/forms/textblock.h"
#include "html/forms/textfield.h"
#include "platform/url/url.h"
#include "html/forms/skin.h"
#include "tests/html/forms/forms_fixture.h"

namespace {

using ControlsTest = FormsFixture;

int32_t widthOf(const Rect &r)
{
    return r.x1 - r.x0;
}

int32_t heightOf(const Rect &r)
{
    return r.y1 - r.y0;
}

TEST_F(ControlsTest, PushButtonGrowsToItsLabel)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        const Rect text = boxText(u"submit");
        ASSERT_GT(widthOf(text), 0);
        struct Case {
            bool fixed;
            bool image;
            bool grows;
        } cases[] = {{false, false, true}, {true, false, false}, {false, true, false}};
        for (const Case &c : cases) {
            FormWidget *b = make(doc, FormClass_button, false);
            ASSERT_EQ(Form_Widget_setLabel(b, Ustr_dup(u"submit")), 0);
            ASSERT_EQ(Form_Widget_init(b), 0);
            FormWidget *label = Form_buttonGetLabel(b);
            ASSERT_NE(label, nullptr);
            EXPECT_FALSE(label->flags & FormWidget_navigable);
            if (c.fixed)
                b->flags |= FormWidget_fixedSize;
            if (c.image)
                Skin_setImageUrl(b, Url_new(u"file://localhost/skin/btn.png"), 0);
            const int32_t start[4] = {0, 0, 0x8000, 0x8000};
            ASSERT_EQ(Form_Widget_setRect(b, start), 0);
            FormLayoutRequest req = request(0, 0, 0x8000, 0x8000, 1);
            ASSERT_EQ(Edr_Widget_sendEvent(ctx(), b, &req), 0);
            EXPECT_TRUE(b->flags & FormWidget_laidOut);
            if (c.grows) {
                EXPECT_EQ(b->rect[2], widthOf(text) + 9102);
                EXPECT_EQ(b->rect[3], heightOf(text) + 3640);
                EXPECT_EQ(req.rect[2], b->rect[2]);
            } else {
                EXPECT_EQ(b->rect[2], 0x8000);
                EXPECT_EQ(b->rect[3], 0x8000);
            }
            // The label sits inside the button, inset 4551 by 1820.
            EXPECT_EQ(label->rect[0], b->rect[0] + 4551);
            EXPECT_EQ(label->rect[3], b->rect[3] - 1820);
            Form_Widget_destroy(b);
        }
        // With a request that gives the rectangle, the button takes it.
        FormWidget *b = make(doc, FormClass_button, false);
        ASSERT_EQ(Form_Widget_setLabel(b, Ustr_dup(u"go")), 0);
        ASSERT_EQ(Form_Widget_init(b), 0);
        FormLayoutRequest req = request(0, 0, 0x30000, 0x10000, 0);
        ASSERT_EQ(Edr_Widget_sendEvent(ctx(), b, &req), 0);
        EXPECT_EQ(b->rect[2], 0x30000);
        EXPECT_EQ(Form_buttonGetLabel(b)->rect[2], 0x30000 - 4551);
        Form_Widget_destroy(b);
    });
}

TEST_F(ControlsTest, RadioButtonsAndCheckBoxesAreTenPointsSquare)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        for (uint32_t id : {uint32_t(FormClass_radio), uint32_t(FormClass_check)}) {
            FormWidget *w = make(doc, id);
            EXPECT_EQ(w->rect[0], 0);
            EXPECT_EQ(w->rect[2], 9102);
            EXPECT_EQ(w->rect[3], 9102);
            EXPECT_EQ(w->face[3], id == FormClass_radio ? 0 : 0xFF);
            uint32_t n = id == FormClass_radio ? 10 : 6; // built-in bands
            // The built-in bands in every state, then the mark (a diamond or
            // a check mark) in the on state only.
            uint32_t looks = 0, onlyOn = 0;
            for (FormValue *l = Form_Widget_chainHead(w)->looks; l; l = l->next) {
                looks++;
                onlyOn += l->kind == FormValue_onState ? 1 : 0;
            }
            EXPECT_EQ(looks, n + 1);
            EXPECT_EQ(onlyOn, 1u);
            EXPECT_EQ(Skin_getValue(w), 8u);
            Form_Widget_destroy(w);
        }
    });
}

TEST_F(ControlsTest, TextFieldWidthFromColumns)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        const Rect letters = boxText(u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        const int32_t avg = int32_t(uint32_t(widthOf(letters)) / 52);
        ASSERT_GT(avg, 0);
        const int32_t lh = heightOf(letters);
        struct Case {
            uint32_t cols;
            int32_t chars;
        } cases[] = {{0, 20}, {1, 3}, {2, 3}, {3, 3}, {40, 40}};
        for (const Case &c : cases) {
            FormWidget *w = make(doc, FormClass_text, false);
            ASSERT_EQ(Form_textSetCols(w, c.cols), 0);
            ASSERT_EQ(Form_Widget_init(w), 0);
            FormLayoutRequest req = request(0, 0, 1, 1, 1);
            ASSERT_EQ(Edr_Widget_sendEvent(ctx(), w, &req), 0);
            EXPECT_EQ(w->rect[2], avg * c.chars + 3276) << c.cols;
            EXPECT_EQ(w->rect[3], lh + 3276) << c.cols;
            Form_Widget_destroy(w);
        }
        // Rows, and a text area has a vertical bar from the start.
        FormWidget *area = make(doc, FormClass_text, false);
        ASSERT_EQ(Form_textSetRows(area, 4), 0);
        ASSERT_EQ(Form_textSetMultiLine(area, 1), 0);
        ASSERT_EQ(Form_Widget_init(area), 0);
        FormTextFieldData *d = Form_textFieldData(area);
        ASSERT_NE(d->vBar, nullptr);
        EXPECT_EQ(d->hBar, nullptr);
        EXPECT_EQ(d->vBar->role, 1u);
        FormLayoutRequest req = request(0, 0, 1, 1, 1);
        ASSERT_EQ(Edr_Widget_sendEvent(ctx(), area, &req), 0);
        EXPECT_EQ(area->rect[3], lh * 4 + 3276);
        // The bar stands at the right edge, the text box inside the frame.
        EXPECT_EQ(d->vBar->rect[2], area->rect[2]);
        EXPECT_EQ(d->textBox[0], 1638);
        EXPECT_EQ(d->textBox[2], area->rect[2] - 1638 - (d->vBar->rect[2] - d->vBar->rect[0]));
        FormWidget *single = make(doc, FormClass_text);
        EXPECT_EQ(Form_textFieldData(single)->vBar, nullptr);
        Form_Widget_destroy(single);
        Form_Widget_destroy(area);
    });
}

TEST_F(ControlsTest, TextFieldTextAndMask)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        FormWidget *w = make(doc, FormClass_text);
        // Never laid out: the text is set on the look, no block touched.
        ASSERT_EQ(Form_textSetText(w, Ustr_dup(u"secret")), 0);
        char16_t *got = nullptr;
        ASSERT_EQ(Form_textGetText(w, &got), 0);
        EXPECT_EQ(std::u16string(got), u"secret");
        Mem_free(got);
        ASSERT_EQ(Form_textSetMask(w, u'*'), 0);
        FormLayoutRequest req = request(0, 0, 1, 1, 1);
        ASSERT_EQ(Edr_Widget_sendEvent(ctx(), w, &req), 0);
        FormTextRecord *t = Form_valueTextRecord(Form_textFieldData(w)->textLook);
        ASSERT_NE(t, nullptr);
        ASSERT_NE(t->display, nullptr);
        EXPECT_EQ(std::u16string(t->display), u"******");
        EXPECT_EQ(std::u16string(t->text), u"secret");
        EXPECT_EQ(t->lines->first->text, t->display);
        // Laid out: the text is replaced inside the existing block.
        FormTextBlock *block = t->lines;
        ASSERT_EQ(Form_textSetText(w, Ustr_dup(u"new")), 0);
        EXPECT_EQ(Form_valueTextRecord(Form_textFieldData(w)->textLook), t);
        EXPECT_EQ(t->lines, block);
        EXPECT_EQ(std::u16string(t->text), u"new");
        EXPECT_EQ(std::u16string(t->display), u"***");
        EXPECT_EQ(Form_textGetText(nullptr, &got), Res_formNoWidget);
        Form_Widget_destroy(w);
    });
}

TEST_F(ControlsTest, ScrollBarLayouts)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        const int32_t pt10 = 9102, pt25 = 22755, pt100 = 91022;
        struct Case {
            int32_t w, h;
            int32_t position, minimum, maximum;
            int32_t arrow; // A
            bool thumb;
        } cases[] = {
            {pt10, pt25, 0, 0, 100, pt25 / 2, false}, // 3 x 10 > 25: two arrows of 12.5 points
            {pt10, pt100, 0, 0, 100, pt10, true},     {pt10, pt100, 50, 0, 100, pt10, true},
            {pt10, pt100, 50, 7, 7, pt10, true},    // no range: next to the first arrow
            {pt100, pt10, 100, 0, 100, pt10, true}, // horizontal, at the end
            {pt25, pt10, 0, 0, 100, pt25 / 2, false},
        };
        for (const Case &c : cases) {
            FormWidget *bar = make(doc, FormClass_scroll, false);
            const int32_t r0[4] = {0, 0, c.w, c.h};
            ASSERT_EQ(Form_Widget_setRect(bar, r0), 0);
            ASSERT_EQ(Form_Widget_init(bar), 0);
            ASSERT_EQ(Form_scrollSetRange(bar, c.minimum, c.maximum), 0);
            ASSERT_EQ(Form_scrollSetPosition(bar, c.position), 0);
            ASSERT_EQ(Edr_Widget_sendEvent(ctx(), bar, nullptr), 0);
            FormScrollData *d = Form_scrollData(bar);
            const bool vertical = c.w <= c.h;
            const int32_t A = c.arrow;
            EXPECT_EQ(d->thumbShown, c.thumb ? 1u : 0u);
            if (vertical) {
                EXPECT_EQ(d->first->rect[1], c.h - A);
                EXPECT_EQ(d->second->rect[3], A);
            } else {
                EXPECT_EQ(d->first->rect[2], A);
                EXPECT_EQ(d->second->rect[0], c.w - A);
            }
            if (c.thumb) {
                int32_t L = (vertical ? c.h : c.w) - 3 * A;
                int32_t range = c.maximum - c.minimum;
                int32_t off = range ? int32_t(int64_t(L) * c.position / range) : 0;
                if (vertical) {
                    EXPECT_EQ(d->thumb->rect[3], c.h - A - off);
                    EXPECT_EQ(d->thumb->rect[1], c.h - 2 * A - off);
                } else {
                    EXPECT_EQ(d->thumb->rect[0], A + off);
                    EXPECT_EQ(d->thumb->rect[2], 2 * A + off);
                }
                EXPECT_TRUE(d->thumb->flags & FormWidget_sized);
            } else {
                EXPECT_FALSE(d->thumb->flags & FormWidget_sized);
            }
            EXPECT_EQ(d->first->role, 0u);
            EXPECT_EQ(d->thumb->role, 2u);
            EXPECT_FALSE(d->thumb->flags & FormWidget_navigable);
            Form_Widget_destroy(bar);
        }
        // Steps clamp; setting the position does not.
        FormWidget *bar = make(doc, FormClass_scroll);
        ASSERT_EQ(Form_scrollSetPosition(bar, 95), 0);
        ASSERT_EQ(Form_scrollForward(bar, 1), 0);
        int32_t p = 0;
        ASSERT_EQ(Form_scrollGetPosition(bar, &p), 0);
        EXPECT_EQ(p, 100);
        ASSERT_EQ(Form_scrollSetPosition(bar, 500), 0);
        ASSERT_EQ(Form_scrollGetPosition(bar, &p), 0);
        EXPECT_EQ(p, 500);
        ASSERT_EQ(Form_scrollSetPosition(bar, 3), 0);
        ASSERT_EQ(Form_scrollBack(bar, 1), 0);
        ASSERT_EQ(Form_scrollGetPosition(bar, &p), 0);
        EXPECT_EQ(p, 0);
        int32_t mw = 0, mh = 1;
        ASSERT_EQ(Form_Widget_measure(ctx(), bar, nullptr, &mw, &mh), 0);
        EXPECT_EQ(mw, 9102);
        EXPECT_EQ(mh, 0);
        Form_Widget_destroy(bar);
    });
}

TEST_F(ControlsTest, FileSelectPutsTheFieldBesideItsButton)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        Config_setIntA(ctx(), ctx()->config, nullptr, "Vexlan_EnableFileselectEditbox", 0, 0);
        FormWidget *w = make(doc, FormClass_file);
        EXPECT_FALSE(w->flags & FormWidget_flag14);
        FormFileData *d = Form_fileData(w);
        EXPECT_EQ(Form_textFieldData(d->field)->editable, 0u); // the setting is 0
        EXPECT_EQ(std::u16string(d->button->label), u"Browse...");
        int32_t bw = 0, bh = 0;
        ASSERT_EQ(Form_Widget_measure(ctx(), w, nullptr, &bw, &bh), 0);
        EXPECT_EQ(bw, widthOf(boxText(u"Browse...")) + 9102);
        // Unsized (1 x 1): the field keeps its own width.
        FormLayoutRequest req = request(0, 0, 1, 1, 1);
        ASSERT_EQ(Edr_Widget_sendEvent(ctx(), w, &req), 0);
        int32_t fw = d->field->rect[2] - d->field->rect[0];
        EXPECT_EQ(d->button->rect[0], fw);
        EXPECT_EQ(w->rect[2], fw + bw);
        EXPECT_GE(w->rect[2], bw);
        ASSERT_EQ(Form_fileSetSize(w, 7), 0);
        EXPECT_EQ(Form_textFieldData(d->field)->cols, 7u);
        char16_t *value = nullptr;
        ASSERT_EQ(Form_fileGetValue(w, &value, 1), 0); // the field's empty text
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value[0], 0);
        Mem_free(value);
        d->chosen = Ustr_dup(u"/tmp/a.txt");
        ASSERT_EQ(Form_fileGetValue(w, &value, 1), 0);
        EXPECT_EQ(std::u16string(value), u"/tmp/a.txt");
        Mem_free(value);
        EXPECT_EQ(Form_fileGetValue(nullptr, &value, 1), Res_formNoWidget);
        Form_Widget_destroy(w);
    });
}

TEST_F(ControlsTest, SkinImageUrlSizeAndPaintItems)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        char16_t *url = Skin_imageUrlText(ctx(), "btn.png");
        ASSERT_NE(url, nullptr);
        EXPECT_EQ(std::u16string(url), u"file://localhost/skin/btn.png");
        Mem_free(url);
        // The setting was stored with its default.
        char16_t *stored = Config_getUstr(ctx(), ctx()->config, u"Paths", u"skin", u"other");
        ASSERT_NE(stored, nullptr);
        EXPECT_EQ(std::u16string(stored), u"/skin/");
        Mem_free(stored);
        Config_setUstr(ctx(), ctx()->config, u"Paths", u"skin", u"/my/skins/", 0);
        url = Skin_imageUrlText(ctx(), "btn.png");
        EXPECT_EQ(std::u16string(url), u"file://localhost/my/skins/btn.png");
        Mem_free(url);

        // 192 x 96 pixels at 96 dpi: 2.0 x 1.0 inches.
        FormWidget *w = make(doc, FormClass_look);
        const int32_t at[4] = {0x1000, 0x2000, 0x3000, 0x4000};
        ASSERT_EQ(Form_Widget_setRect(w, at), 0);
        FormValue *item = nullptr;
        ASSERT_EQ(Form_valueNew(&item), 0);
        ASSERT_EQ(Form_valueSetImage(item, nullptr, w), 0);
        Skin_onImageSize(item, 192, 96, 96);
        EXPECT_EQ(w->rect[2] - w->rect[0], 0x20000);
        EXPECT_EQ(w->rect[3] - w->rect[1], 0x10000);
        EXPECT_EQ(w->rect[0], 0x1000);
        Skin_onImageSize(item, 96, 96, 0); // below 1: 96
        EXPECT_EQ(w->rect[2] - w->rect[0], 0x10000);
        Form_valueRelease(item);

        // Bit 18 set (as created): no image item.
        auto items = [&] {
            uint32_t n = 0;
            for (FormValue *l = Form_Widget_chainHead(w)->looks; l; l = l->next)
                n++;
            return n;
        };
        EXPECT_TRUE(Skin_getNoImage(w));
        ASSERT_EQ(Skin_layout(ctx(), w, nullptr), 0);
        EXPECT_EQ(items(), 0u);
        EXPECT_EQ(w->face[3], 0xFF);
        Skin_setNoImage(w, 0);
        ASSERT_EQ(Skin_layout(ctx(), w, nullptr), 0);
        ASSERT_EQ(items(), 1u);
        EXPECT_EQ(Form_Widget_chainHead(w)->looks->kind, 15);
        EXPECT_EQ(w->face[3], 0); // transparent face
        // Flag accessors.
        EXPECT_EQ(Skin_setVisibleFlag(w, 0), 1);
        EXPECT_FALSE(Skin_isVisibleFlag(w));
        EXPECT_FALSE(Skin_hasImage(w));
        Skin_setImageUrl(w, Url_new(u"file://localhost/a.png"), 7);
        EXPECT_TRUE(Skin_hasImage(w));
        EXPECT_EQ(Skin_record(w)->imageWord, 7u);
        Form_Widget_destroy(w);
        // A skin image set before init replaces the class looks by one
        // image look for every state; the face becomes transparent. (The
        // file does not exist: the look stays without a picture.)
        FormWidget *skinned = make(doc, FormClass_check, false);
        Skin_setImageUrl(skinned, Url_new(u"file://localhost/no/such/skin.png"), 0);
        ASSERT_EQ(Form_Widget_init(skinned), 0);
        FormValue *only = Form_Widget_chainHead(skinned)->looks;
        ASSERT_NE(only, nullptr);
        EXPECT_EQ(only->next, nullptr);
        EXPECT_EQ(only->kind, 15);
        EXPECT_EQ(skinned->face[3], 0);
        Form_Widget_destroy(skinned);
        FormWidget *plain = make(doc, FormClass_base);
        EXPECT_EQ(Skin_getValue(plain), 0u);
        EXPECT_EQ(Skin_setVisibleFlag(plain, 1), 0);
        Form_Widget_destroy(plain);
    });
}

} // namespace
