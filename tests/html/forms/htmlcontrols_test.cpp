// HTML form controls and list boxes: the kind table, values, labels and
// defaults, the checked state, which controls are successful, and list
// boxes of 0, 1 and 100 options with their sizing, scrolling and
// selection.
#include <string>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "html/forms/buttons.h"
#include "html/forms/controls.h"
#include "html/forms/fileselect.h"
#include "html/forms/listbox.h"
#include "html/forms/scrollbar.h"
#include "html/forms/textfield.h"
#include "platform/url/url.h"
#include "html/forms/skin.h"
#include "tests/html/forms/forms_fixture.h"

namespace {

using HtmlControlsTest = FormsFixture;

std::string str(const char16_t *s)
{
    std::string out;
    for (; s && *s; s++)
        out += char(*s);
    return s ? out : "(null)";
}

std::string valueOf(FormWidget *w)
{
    char16_t *v = nullptr;
    EXPECT_EQ(Form_ctlGetValue(w, &v), 0);
    std::string s = v ? str(v) : "(null)";
    Mem_free(v);
    return s;
}

TEST_F(HtmlControlsTest, InputKindsAndTheirClasses)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        struct {
            uint32_t code, kind, cls;
            const char *label;
        } cases[] = {
            {0, 16, FormClass_text, nullptr},       {16, 16, FormClass_text, nullptr},
            {176, 16, FormClass_text, nullptr},     {20, 16, FormClass_text, nullptr},
            {32, 32, FormClass_text, nullptr},      {48, 48, FormClass_check, nullptr},
            {64, 64, FormClass_radio, nullptr},     {80, 80, FormClass_button, "submit"},
            {96, 96, FormClass_button, "reset"},    {112, 112, FormClass_file, nullptr},
            {128, 128, FormClass_base, nullptr},    {144, 144, FormClass_button, nullptr},
            {160, 160, FormClass_button, "button"},
        };
        for (const auto &c : cases) {
            SCOPED_TRACE(c.code);
            FormWidget *w = nullptr;
            ASSERT_EQ(Form_createInput(&w, c.code, doc), 0);
            EXPECT_EQ(w->kind, c.kind);
            EXPECT_TRUE(Form_Widget_hasClass(w, c.cls));
            EXPECT_EQ(str(w->label), c.label ? c.label : "(null)");
            if (c.kind == 128) {
                EXPECT_FALSE(w->flags & (FormWidget_navigable | FormWidget_sized));
                EXPECT_TRUE(Form_ctlIsKind128(w));
            }
            if (c.kind == 48) {
                EXPECT_EQ(str(w->defaultValue), "on");
                EXPECT_EQ(valueOf(w), "on");
            }
            Form_Widget_destroy(w);
        }
        FormWidget *b = nullptr;
        ASSERT_EQ(Form_createButton(&b, 0, doc), 0);
        EXPECT_EQ(b->kind, 3u);
        Form_Widget_destroy(b);
        ASSERT_EQ(Form_createTextArea(&b, doc), 0);
        EXPECT_EQ(b->kind, 1024u);
        EXPECT_EQ(Form_textFieldData(b)->multiLine, 1u);
        Form_Widget_destroy(b);
    });
}

TEST_F(HtmlControlsTest, ValuesLabelsAndDefaults)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        FormWidget *submit = nullptr, *text = nullptr, *reset = nullptr;
        ASSERT_EQ(Form_createInput(&submit, 80, doc), 0);
        ASSERT_EQ(Form_Widget_init(submit), 0);
        ASSERT_EQ(Form_createInput(&text, 16, doc), 0);
        ASSERT_EQ(Form_Widget_init(text), 0);
        ASSERT_EQ(Form_createInput(&reset, 96, doc), 0);
        // A submit button's value is both its label and its value text,
        // and its label child shows it.
        ASSERT_EQ(Form_ctlSetValue(submit, u"Send it", 7), 0);
        EXPECT_EQ(str(submit->label), "Send it");
        EXPECT_EQ(valueOf(submit), "Send it");
        char16_t *shown = nullptr;
        ASSERT_EQ(Form_labelGetText(Form_buttonGetLabel(submit), &shown), 0);
        EXPECT_EQ(str(shown), "Send it");
        Mem_free(shown);
        // A text field's default is kept; its value is its text.
        ASSERT_EQ(Form_ctlSetDefault(text, u"abcdef", 3), 0);
        EXPECT_EQ(str(text->defaultValue), "abc");
        EXPECT_EQ(valueOf(text), "abc");
        ASSERT_EQ(Form_textSetText(text, Ustr_dup(u"typed")), 0);
        EXPECT_EQ(valueOf(text), "typed");
        ASSERT_EQ(Form_ctlSetValue(text, nullptr, 0), 0);
        EXPECT_EQ(valueOf(text), "");
        EXPECT_EQ(text->valueText, nullptr);
        // A reset button has no value to read.
        char16_t *v = reinterpret_cast<char16_t *>(1);
        EXPECT_EQ(Form_ctlGetValue(reset, &v), 0);
        EXPECT_EQ(v, reinterpret_cast<char16_t *>(1));
        ASSERT_EQ(Form_ctlSetName(text, u"query", 5), 0);
        char16_t *name = nullptr;
        ASSERT_EQ(Form_ctlGetName(text, &name), 0);
        EXPECT_EQ(str(name), "query");
        Mem_free(name);
        EXPECT_EQ(Form_ctlGetName(nullptr, &name), 0);
        EXPECT_EQ(name, nullptr);
        Form_Widget_destroy(submit);
        Form_Widget_destroy(text);
        Form_Widget_destroy(reset);
    });
}

// The checked state is stored in the look state, with flag 0x20000 beside
// it, so that a checked box both shows and submits.
TEST_F(HtmlControlsTest, CheckedStateIsKept)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        FormWidget *box = nullptr;
        ASSERT_EQ(Form_createInput(&box, 48, doc), 0);
        ASSERT_EQ(Form_Widget_init(box), 0);
        int on = -1, selected = -1, ok = -1;
        EXPECT_EQ(Form_ctlIsChecked(box, &on), 0);
        EXPECT_EQ(on, 0);
        ASSERT_EQ(Form_ctlSetChecked(box, 1), 0);
        EXPECT_EQ(Skin_getValue(box), (8u & ~0xFu) | 4u | 16u);
        Form_ctlIsChecked(box, &on);
        Form_ctlIsSelected(box, &selected);
        Form_ctlIsSuccessful(box, &ok);
        EXPECT_EQ(on, 1);
        EXPECT_EQ(selected, 1);
        EXPECT_EQ(ok, 1);
        EXPECT_TRUE(box->flags & FormWidget_on);
        ASSERT_EQ(Form_ctlSetChecked(box, 0), 0);
        EXPECT_EQ(Skin_getValue(box), 1u);
        Form_ctlIsChecked(box, &on);
        Form_ctlIsSuccessful(box, &ok);
        EXPECT_EQ(on, 0);
        EXPECT_EQ(ok, 0);
        // A text field has no checked state.
        FormWidget *text = nullptr;
        ASSERT_EQ(Form_createInput(&text, 16, doc), 0);
        EXPECT_EQ(Form_ctlSetChecked(text, 1), 0);
        Form_ctlIsChecked(text, &on);
        EXPECT_EQ(on, 0);
        Form_Widget_destroy(box);
        Form_Widget_destroy(text);
    });
}

TEST_F(HtmlControlsTest, SuccessfulControls)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        struct {
            uint32_t code;
            bool enabled, on;
            int want;
        } cases[] = {
            {16, true, false, 1},  {16, false, false, 0},  {32, true, false, 1},
            {128, true, false, 1}, {96, true, true, 0},    {80, true, false, 0},
            {80, true, true, 1},   {48, true, false, 0},   {64, true, true, 1},
            {112, true, false, 1}, {112, false, false, 0},
        };
        for (const auto &c : cases) {
            SCOPED_TRACE(std::to_string(c.code) + (c.enabled ? " enabled" : " disabled") +
                         (c.on ? " on" : ""));
            FormWidget *w = nullptr;
            ASSERT_EQ(Form_createInput(&w, c.code, doc), 0);
            ASSERT_EQ(Form_Widget_init(w), 0);
            if (!c.enabled) {
                ASSERT_EQ(Form_ctlSetEnabled(w, 0), 0);
            }
            EXPECT_EQ((w->flags & FormWidget_enabled) != 0, c.enabled);
            if (c.on)
                w->flags |= FormWidget_on;
            int ok = -1;
            EXPECT_EQ(Form_ctlIsSuccessful(w, &ok), 0);
            EXPECT_EQ(ok, c.want);
            Form_Widget_destroy(w);
        }
    });
}

// List boxes of 0, 1 and 100 options: sizing, the scroll bar, rows laid
// out in the window, scrolling to the selected option and the selection.
TEST_F(HtmlControlsTest, ListBoxesOfZeroOneAndAHundredOptions)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        const int32_t em = int32_t(int64_t(9 << 16) / 72);
        for (int count : {0, 1, 100}) {
            SCOPED_TRACE(count);
            FormWidget *list = nullptr;
            ASSERT_EQ(Form_listCreateWidget(&list, doc), 0);
            EXPECT_EQ(list->kind, 256u);
            EXPECT_TRUE(list->flags & FormWidget_listBox);
            ASSERT_EQ(Form_Widget_init(list), 0);
            std::vector<FormWidget *> options;
            for (int i = 0; i < count; i++) {
                FormWidget *o = nullptr;
                ASSERT_EQ(Form_createOption(&o, doc), 0);
                EXPECT_EQ(o->kind, 768u);
                EXPECT_TRUE(o->flags & FormWidget_navigable);
                std::u16string label = u"item " + std::u16string(1, char16_t(u'A' + i % 26));
                if (i == 42)
                    label = u"the widest option";
                ASSERT_EQ(Form_ctlAppendLabel(o, label.c_str(), label.size()), 0);
                ASSERT_EQ(Form_ctlSetDefault(o, label.c_str(), label.size()), 0);
                ASSERT_EQ(Form_listInsertOption(list, o, -1), 0);
                EXPECT_TRUE(o->flags & FormWidget_option);
                options.push_back(o);
            }
            uint16_t n = 0;
            ASSERT_EQ(Form_listGetCount(list, &n), 0);
            EXPECT_EQ(n, count);
            uint32_t rows = count == 100 ? 5 : 1;
            ASSERT_EQ(Form_listSetRows(list, rows), 0);
            uint32_t autoRows = 1;
            Form_listGetAutoRows(list, &autoRows);
            EXPECT_EQ(autoRows, 0u);
            FormLayoutRequest req = request(0, 0, 0, 0, 1);
            ASSERT_EQ(Edr_Widget_sendEvent(ctx(), list, &req), 0);
            FormListData *d = Form_listData(list);
            ASSERT_NE(d, nullptr);
            int32_t widest = 0, line = 0;
            for (FormWidget *o : options) {
                const Rect r = boxText(o->label);
                widest = std::max(widest, r.x1 - r.x0);
                line = std::max(line, r.y1 - r.y0);
            }
            if (!count) {
                widest = 10 * em;
                line = boxText(u"A").y1 - boxText(u"A").y0;
            }
            EXPECT_EQ(list->rect[2] - list->rect[0], widest + 9102 + 3276);
            EXPECT_EQ(d->lineHeight, line);
            EXPECT_EQ(list->rect[3] - list->rect[1], int32_t(rows) * line + 3276);
            FormScrollData *bar = Form_scrollData(d->vBar);
            ASSERT_NE(bar, nullptr);
            EXPECT_EQ(bar->maximum, count >= 2 ? count - 1 : 0);
            // Only the rows in the window are laid out.
            int sized = 0;
            for (FormWidget *o : options)
                sized += (o->flags & FormWidget_sized) ? 1 : 0;
            EXPECT_EQ(sized, std::min<int>(count, int(rows)));
            // The selection: none marked gives the first of a one-row
            // list; marked ones come back in order.
            FormWidget *sel = nullptr;
            ASSERT_EQ(Form_listGetSelected(list, nullptr, &sel), 0);
            EXPECT_EQ(sel, count && rows == 1 ? options[0] : nullptr);
            if (count == 100) {
                ASSERT_EQ(Form_ctlSetChecked(options[60], 1), 0);
                ASSERT_EQ(Form_ctlSetChecked(options[7], 1), 0);
                ASSERT_EQ(Form_listGetSelected(list, nullptr, &sel), 0);
                EXPECT_EQ(sel, options[7]);
                ASSERT_EQ(Form_listGetSelected(list, sel, &sel), 0);
                EXPECT_EQ(sel, options[60]);
                ASSERT_EQ(Form_listGetSelected(list, sel, &sel), 0);
                EXPECT_EQ(sel, nullptr);
                // Scrolling brings the first selected one into the window.
                ASSERT_EQ(Form_listShowSelected(list), 0);
                EXPECT_EQ(bar->position, 7 - 4);
                ASSERT_EQ(Edr_Widget_sendEvent(ctx(), list, &req), 0);
                EXPECT_FALSE(options[2]->flags & FormWidget_sized);
                EXPECT_TRUE(options[3]->flags & FormWidget_sized);
                EXPECT_TRUE(options[7]->flags & FormWidget_sized);
                EXPECT_FALSE(options[8]->flags & FormWidget_sized);
                // Removing an option takes it out of the count.
                ASSERT_EQ(Form_listRemoveOption(list, options[99]), 0);
                ASSERT_EQ(Form_listGetCount(list, &n), 0);
                EXPECT_EQ(n, 99);
                Form_Widget_destroy(options[99]);
                // An option inserted at an index lands there.
                FormWidget *o = nullptr;
                ASSERT_EQ(Form_createOption(&o, doc), 0);
                ASSERT_EQ(Form_listInsertOption(list, o, 1), 0);
                FormWidget *second = nullptr;
                ASSERT_EQ(Form_Widget_childAt(list, 1, FormClass_label, &second), 0);
                EXPECT_EQ(second, o);
            }
            int ok = -1;
            EXPECT_EQ(Form_ctlIsSuccessful(list, &ok), 0);
            EXPECT_EQ(ok, count ? 1 : 0);
            Form_Widget_destroy(list);
        }
    });
}

// An image input's picture becomes a push button's skin image; any other
// control lets go of it.
TEST_F(HtmlControlsTest, ImagesOfInputs)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        FormWidget *image = nullptr, *text = nullptr;
        ASSERT_EQ(Form_createInput(&image, 144, doc), 0);
        ASSERT_EQ(Form_createInput(&text, 16, doc), 0);
        EXPECT_EQ(Form_inputSetImage(image, Url_new(u"file://localhost/skin/go.png"), 0), 0);
        EXPECT_TRUE(Skin_hasImage(image));
        EXPECT_EQ(Form_inputSetImage(text, Url_new(u"file://localhost/skin/go.png"), 0), 0);
        Form_Widget_destroy(image);
        Form_Widget_destroy(text);
    });
}

TEST_F(HtmlControlsTest, ListFlagAndForEachOption)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        FormWidget *list = nullptr;
        ASSERT_EQ(Form_listCreateWidget(&list, doc), 0);
        ASSERT_EQ(Form_Widget_init(list), 0);
        for (int i = 0; i < 3; i++) {
            FormWidget *o = nullptr;
            ASSERT_EQ(Form_createOption(&o, doc), 0);
            ASSERT_EQ(Form_listInsertOption(list, o, -1), 0);
        }
        uint32_t flag = 7;
        Form_listGetFlag(list, &flag);
        EXPECT_EQ(flag, 0u);
        ASSERT_EQ(Form_listSetFlag(list, 1), 0);
        Form_listGetFlag(list, &flag);
        EXPECT_EQ(flag, 1u);
        // A multiple select with none marked sends nothing.
        FormWidget *sel = nullptr;
        ASSERT_EQ(Form_listGetSelected(list, nullptr, &sel), 0);
        EXPECT_EQ(sel, nullptr);
        std::vector<int> seen;
        auto fn = [](FormWidget *, uint16_t index, void *context, int *stop) {
            static_cast<std::vector<int> *>(context)->push_back(index);
            *stop = index == 1;
            return 0;
        };
        ASSERT_EQ(Form_listForEachOption(list, fn, &seen), 0);
        EXPECT_EQ(seen, (std::vector<int>{0, 1}));
        // Operations on a widget that is no list box.
        FormWidget *text = nullptr;
        ASSERT_EQ(Form_createInput(&text, 16, doc), 0);
        uint16_t n = 9;
        EXPECT_EQ(Form_listGetCount(text, &n), int(Res_formNoWidget));
        EXPECT_EQ(n, 0);
        EXPECT_EQ(Form_listInsertOption(text, list, 0), int(Res_formNoWidget));
        Form_Widget_destroy(text);
        Form_Widget_destroy(list);
    });
}

} // namespace
