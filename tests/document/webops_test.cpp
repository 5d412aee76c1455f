// The document model's calls into the web layer go through the table the
// web layer installs; without it, controls and links answer as absent ones.
#include <gtest/gtest.h>

#include "core/result.h"
#include "document/edr/webops.h"
#include "tests/document/events_fixture.h"
#include "tests/support/form_widgets.h"

namespace {

class WebOpsTest : public EdrFixture {};

TEST_F(WebOpsTest, FocusOfAFormControlFollowsTheInstalledTable)
{
    const Edr_WebOps *installed = ctx()->webOps;
    ASSERT_NE(installed, nullptr) << "the test engine installs the web layer's table";
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        TestForms forms(ctx());
        FormWidget *control = forms.control(doc, 0x100 | 0x200 | 0x4000, 0);
        ASSERT_EQ(Edr_Doc_setTypeCode(doc, 227), 0);
        Edr_Node *input = makeGroup(doc, root, Edr_Insert_lastChild, 64);
        ASSERT_EQ(Edr_Node_setSubtypeValue(doc, input, Edr_Subtype_formControl, control), 0);
        EXPECT_EQ(Edr_Node_isFocusableLocked(doc, input), 1);
        // Without the table the control's flags cannot be read: not focusable.
        ctx()->webOps = nullptr;
        EXPECT_EQ(Edr_Node_isFocusableLocked(doc, input), 0);
        ctx()->webOps = installed;
        EXPECT_EQ(Edr_Node_isFocusableLocked(doc, input), 1);
        Edr_Node_release(doc, input);
    });
}

TEST_F(WebOpsTest, CallsWithoutATableAnswerAsAbsentControlsAndLinks)
{
    const Edr_WebOps *installed = ctx()->webOps;
    ctx()->webOps = nullptr;
    int dummy = 0;
    uint32_t word = 7;
    EXPECT_EQ(Edr_Web_controlGetKind(ctx(), &dummy, &word), Res_formNoWidget);
    EXPECT_EQ(word, 0u);
    word = 7;
    EXPECT_EQ(Edr_Web_widgetGetFlags(ctx(), &dummy, &word), Res_formNoWidget);
    EXPECT_EQ(word, 0u);
    int32_t rect[4] = {1, 2, 3, 4};
    EXPECT_EQ(Edr_Web_widgetGetRect(ctx(), &dummy, rect), Res_formNoWidget);
    EXPECT_EQ(Edr_Web_widgetSetRect(ctx(), &dummy, rect), Res_formNoWidget);
    EXPECT_EQ(Edr_Web_controlEnabled(ctx(), &dummy), 0);
    EXPECT_EQ(Edr_Web_controlKind(ctx(), &dummy), 0u);
    EXPECT_EQ(Edr_Web_attributeId(ctx(), u"href", 4), 0u);
    EXPECT_EQ(Edr_Web_mapHookPresent(ctx()), 0);
    int32_t number = 5;
    EXPECT_EQ(Edr_Web_listOrdinal(ctx(), nullptr, nullptr, &number), 0);
    EXPECT_EQ(number, 0);
    HostQuestion q{1, {nullptr, nullptr}, 0};
    EXPECT_NE(Edr_Web_askQuestion(ctx(), nullptr, &q), 0) << "an unasked question is never a yes";
    EXPECT_EQ(q.answer, 0);
    Link link{0, nullptr, 3};
    EXPECT_EQ(Edr_Web_linkFromNode(ctx(), nullptr, nullptr, &link), 1);
    EXPECT_EQ(link.kind, 1);
    EXPECT_EQ(link.document, nullptr);
    EXPECT_EQ(link.node, 0);
    ctx()->webOps = installed;
}

} // namespace
