// Form widgets and their classes: the record's defaults and rectangle
// rules, children, class chains (dispatch order, a duplicate registration
// without a leak, a missing parent, an unknown class), the layout step
// through the chain (Edr_Widget_sendEvent) with fake classes, drawing
// dispatch, attaching to a document, and the counted list.
#include <string>

#include "core/mem/mem.h"
#include "core/result.h"
#include "html/forms/formvalue.h"
#include "tests/html/forms/forms_fixture.h"
#include "tests/support/heap_fixture.h"

namespace {

using WidgetTest = FormsFixture;

TEST_F(WidgetTest, NewWidgetDefaultsAndRectangleRules)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        FormWidget *w = make(doc, FormClass_base, false);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->flags, 0x4701u); // initial flags and created
        const uint8_t grey[4] = {0xD0, 0xD0, 0xD0, 0xFF};
        EXPECT_EQ(memcmp(w->disabledFace, grey, 4), 0);
        int32_t r[4];
        ASSERT_EQ(Form_Widget_getRect(w, r), 0);
        EXPECT_EQ(r[2], 0x8000);
        EXPECT_EQ(r[3], 0x8000);
        // Unsized: 1 x 1 from the origin.
        w->flags &= ~uint32_t(FormWidget_sized);
        ASSERT_EQ(Form_Widget_getRect(w, r), 0);
        EXPECT_EQ(r[2], 1);
        EXPECT_EQ(r[3], 1);
        // A zero-width sized widget is 1 wide.
        w->flags |= FormWidget_sized;
        const int32_t flat[4] = {5, 6, 5, 106};
        ASSERT_EQ(Form_Widget_setRect(w, flat), 0);
        ASSERT_EQ(Form_Widget_getRect(w, r), 0);
        EXPECT_EQ(r[2], 6);
        EXPECT_EQ(r[3], 106);
        EXPECT_EQ(Form_Widget_getRect(nullptr, r), Res_formNoWidget);
        Form_Widget_destroy(w);
    });
}

TEST_F(WidgetTest, ChildrenTextsAndRoot)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        FormWidget *a = make(doc, FormClass_base, false);
        FormWidget *b = make(doc, FormClass_base, false);
        FormWidget *c = make(doc, FormClass_label, false);
        EXPECT_EQ(Form_Widget_addChild(a, a), Res_formNoWidget);
        EXPECT_EQ(a->children, nullptr);
        ASSERT_EQ(Form_Widget_addChild(a, b), 0);
        ASSERT_EQ(Form_Widget_insertChild(a, c, 0), 0);
        EXPECT_EQ(Form_Widget_insertChild(a, c, 7), Res_listEnd);
        EXPECT_EQ(PtrList_count(a->children), 2u);
        FormWidget *got = nullptr;
        ASSERT_EQ(Form_Widget_childAt(a, 0, FormClass_label, &got), 0);
        EXPECT_EQ(got, c);
        ASSERT_EQ(Form_Widget_childAt(a, 1, FormClass_base, &got), 0);
        EXPECT_EQ(got, b);
        FormWidget *root = nullptr;
        ASSERT_EQ(Form_Widget_getRoot(c, &root), 0);
        EXPECT_EQ(root, a);
        int32_t p[2] = {1, 2};
        a->rect[0] = 100;
        c->rect[0] = 10;
        c->rect[1] = 20;
        ASSERT_EQ(Form_Widget_offsetInRoot(c, p), 0);
        EXPECT_EQ(p[0], 111);
        EXPECT_EQ(p[1], 22);
        // Texts: setters take the string, getters copy.
        char16_t *name = static_cast<char16_t *>(Mem_malloc(4 * sizeof(char16_t)));
        memcpy(name, u"abc", 8);
        ASSERT_EQ(Form_Widget_setName(a, name), 0);
        char16_t *copy = nullptr;
        ASSERT_EQ(Form_Widget_getName(a, &copy), 0);
        ASSERT_NE(copy, name);
        EXPECT_EQ(std::u16string(copy), u"abc");
        Mem_free(copy);
        ASSERT_EQ(Form_Widget_getValueText(a, &copy), 0);
        EXPECT_EQ(copy, nullptr);
        ASSERT_EQ(Form_Widget_appendLabel(a, u"sub"), 0);
        ASSERT_EQ(Form_Widget_appendLabel(a, u"mit"), 0);
        EXPECT_EQ(std::u16string(a->label), u"submit");
        // Destroying a child takes it out of its parent first.
        Form_Widget_destroy(b);
        EXPECT_EQ(PtrList_count(a->children), 1u);
        Form_Widget_destroy(a); // and c with it
    });
}

TEST_F(WidgetTest, RadioChainRunsCreatesInOrderAndDrawsBaseThenLooks)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        FormWidget *w = make(doc, FormClass_radio, false);
        std::vector<uint32_t> ids;
        for (FormWidgetClass *c = Form_Widget_chainHead(w); c; c = c->next)
            ids.push_back(c->classId);
        EXPECT_EQ(ids, (std::vector<uint32_t>{13, 11, 10}));
        // Class 11 made its skin record: the state word 0xC0008.
        FormWidgetClass *look = Form_Widget_classCopy(w, FormClass_look);
        ASSERT_NE(look->priv, nullptr);
        // The draw used is class 11's, whose base is class 10's fill.
        EXPECT_EQ(Form_classFirstWith(w, offsetof(FormWidgetClass, draw)), look);
        // Two widgets of a class hold separate copies.
        FormWidget *v = make(doc, FormClass_radio, false);
        EXPECT_NE(Form_Widget_classCopy(v, FormClass_look), look);
        EXPECT_NE(Form_Widget_classCopy(v, FormClass_look)->priv, look->priv);
        Form_Widget_destroy(v);
        Form_Widget_destroy(w);
    });
}

// Fake classes for the registry and dispatch tests.
std::string *gTrace;

int traceCreate(FormWidget *w)
{
    *gTrace += "c" + std::to_string(Form_Widget_chainHead(w)->classId);
    return 0;
}

int traceDestroy(FormWidget *)
{
    *gTrace += "d";
    return 0;
}

int failCreate(FormWidget *)
{
    return 77;
}

int acceptLayout(EngineContext *, FormWidget *, FormLayoutRequest *)
{
    *gTrace += "L";
    return 0;
}

int refuseLayout(EngineContext *, FormWidget *, FormLayoutRequest *)
{
    *gTrace += "R";
    return 9;
}

FormWidgetClass *fakeClass(uint32_t id, uint32_t parent)
{
    FormWidgetClass *c = static_cast<FormWidgetClass *>(Mem_calloc(1, sizeof(FormWidgetClass)));
    c->classId = id;
    c->parentId = parent;
    return c;
}

TEST_F(WidgetTest, RegistryDuplicatesMissingParentsAndUnknownIds)
{
    std::string trace;
    gTrace = &trace;
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        FormWidgetClass *a = fakeClass(30, 1);
        a->create = traceCreate;
        a->destroy = traceDestroy;
        ASSERT_EQ(Form_classRegister(ctx(), 30, a), 0);
        // A second record for 30 is freed, not kept (the heap check of the
        // fixture sees a leak otherwise), and the first stays.
        FormWidgetClass *dup = fakeClass(30, 1);
        FormValue *look = nullptr;
        ASSERT_EQ(Form_valueNew(&look), 0);
        ASSERT_EQ(Form_valueListAppend(dup, look), 0);
        ASSERT_EQ(Form_classRegister(ctx(), 30, dup), 0);
        FormWidgetClass *found = nullptr;
        ASSERT_EQ(Form_classFind(Form_module(ctx())->classes, 30, &found), 0);
        EXPECT_EQ(found, a);
        // 31 under 30, 32 under a parent that is not registered.
        FormWidgetClass *b = fakeClass(31, 30);
        b->create = traceCreate;
        ASSERT_EQ(Form_classRegister(ctx(), 31, b), 0);
        ASSERT_EQ(Form_classRegister(ctx(), 32, fakeClass(32, 99)), 0);
        FormWidget *w = make(doc, 31, false);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(trace, "c31c31"); // both create methods, head first
        FormWidget *orphan = make(doc, 32, false);
        ASSERT_NE(orphan, nullptr);
        EXPECT_EQ(PtrList_count(orphan->classChain), 1u); // ends at the last record found
        // An unknown id: no chain, every dispatch does nothing.
        FormWidget *bare = make(doc, 77, false);
        ASSERT_NE(bare, nullptr);
        EXPECT_EQ(bare->classChain, nullptr);
        EXPECT_EQ(Form_Widget_init(bare), 0);
        int32_t mw = 5, mh = 5;
        EXPECT_EQ(Form_Widget_measure(ctx(), bare, nullptr, &mw, &mh), 0);
        EXPECT_EQ(mw, 0);
        trace.clear();
        Form_Widget_destroy(w);
        EXPECT_EQ(trace, "d");
        Form_Widget_destroy(orphan);
        Form_Widget_destroy(bare);
        // A failing create destroys the half-built widget: 6659.
        FormWidgetClass *bad = fakeClass(33, 30);
        bad->create = failCreate;
        ASSERT_EQ(Form_classRegister(ctx(), 33, bad), 0);
        trace.clear();
        FormWidget *none = reinterpret_cast<FormWidget *>(1);
        EXPECT_EQ(Form_Widget_create(doc, 33, 0, &none), Res_formCreateFailed);
        EXPECT_EQ(none, nullptr);
        EXPECT_EQ(trace, "d"); // class 30's destroy ran on the way out
        // Parent ids that lead in a circle: the chain still ends.
        ASSERT_EQ(Form_classRegister(ctx(), 50, fakeClass(50, 51)), 0);
        ASSERT_EQ(Form_classRegister(ctx(), 51, fakeClass(51, 50)), 0);
        FormWidget *loop = make(doc, 50, false);
        ASSERT_NE(loop, nullptr);
        EXPECT_LE(PtrList_count(loop->classChain), PtrList_count(Form_module(ctx())->classes) + 1);
        Form_Widget_destroy(loop);
        for (uint32_t id : {30u, 31u, 32u, 33u, 34u, 50u, 51u})
            EXPECT_EQ(Form_classUnregister(ctx(), id), 0);
    });
    gTrace = nullptr;
}

TEST_F(WidgetTest, LayoutStepThroughFakeChains)
{
    std::string trace;
    gTrace = &trace;
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        FormWidgetClass *root = fakeClass(40, 1);
        root->layout = acceptLayout;
        ASSERT_EQ(Form_classRegister(ctx(), 40, root), 0);
        FormWidgetClass *refusing = fakeClass(41, 40);
        refusing->layout = refuseLayout;
        ASSERT_EQ(Form_classRegister(ctx(), 41, refusing), 0);
        ASSERT_EQ(Form_classRegister(ctx(), 42, fakeClass(42, 1)), 0);  // no layout slot
        ASSERT_EQ(Form_classRegister(ctx(), 43, fakeClass(43, 40)), 0); // inherits 40's

        struct Case {
            uint32_t id;
            bool created;
            int result;
            bool laidOut;
            const char *trace;
        } cases[] = {
            {43, false, 0, false, ""}, // a widget without bit 0
            {43, true, 0, true, "L"},  // the handler up the chain accepts
            {42, true, 0, true, ""},   // a chain without the slot
            {41, true, 9, false, "R"}, // the first slot refuses
        };
        for (const Case &c : cases) {
            FormWidget *w = make(doc, c.id, false);
            if (!c.created)
                w->flags &= ~uint32_t(FormWidget_created);
            w->flags |= FormWidget_laidOut;
            trace.clear();
            EXPECT_EQ(Edr_Widget_sendEvent(ctx(), w, nullptr), c.result) << c.id;
            EXPECT_EQ((w->flags & FormWidget_laidOut) != 0, c.laidOut) << c.id;
            EXPECT_EQ(trace, c.trace) << c.id;
            Form_Widget_destroy(w);
        }
        EXPECT_EQ(Edr_Widget_sendEvent(nullptr, nullptr, nullptr), 0);
        EXPECT_EQ(Edr_Widget_sendEvent(ctx(), nullptr, nullptr), Res_formNoWidget);
        EXPECT_EQ(Form_Widget_sendEventLocked(ctx(), nullptr, nullptr), 0);
        // The locked form takes the root's lock around the same step.
        FormWidget *parent = make(doc, 42, false);
        FormWidget *child = make(doc, 43, false);
        ASSERT_EQ(Form_Widget_addChild(parent, child), 0);
        trace.clear();
        EXPECT_EQ(Form_Widget_sendEventLocked(ctx(), child, nullptr), 0);
        EXPECT_EQ(trace, "L");
        EXPECT_TRUE(child->flags & FormWidget_laidOut);
        EXPECT_EQ(parent->lock.owner, nullptr); // released again
        Form_Widget_destroy(parent);
        for (uint32_t id : {40u, 41u, 42u, 43u})
            EXPECT_EQ(Form_classUnregister(ctx(), id), 0);
    });
    gTrace = nullptr;
}

TEST_F(WidgetTest, DrawDispatchNeedsAttachedSizedLaidOut)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        FormWidget *w = make(doc, FormClass_base, false);
        w->face[0] = 0xFF;
        w->face[3] = 0xFF; // opaque red
        const int32_t r[4] = {0, 0, 0x10000, 0x10000};
        ASSERT_EQ(Form_Widget_setRect(w, r), 0);
        Bitmap *b = picture(8, 8);
        Matrix m{8, 0, 0, 8, 0, 0};
        DrawTarget target{b, nullptr, 0, 0};
        FormDrawRequest req{{0, 0, 0x10000, 0x10000}, 0, 0, nullptr, 0, 0};
        const uint32_t need[] = {FormWidget_attached, FormWidget_sized, FormWidget_laidOut};
        for (uint32_t missing : need) {
            w->flags |= FormWidget_attached | FormWidget_sized | FormWidget_laidOut;
            w->flags &= ~missing;
            EXPECT_EQ(Form_Widget_dispatch(w, &req, &m, &target, 0), 0);
            EXPECT_EQ(pixel(b, 4, 4), white565);
        }
        // Enabled: the face colour; disabled: light grey.
        w->flags |= FormWidget_attached | FormWidget_sized | FormWidget_laidOut;
        EXPECT_EQ(Form_Widget_dispatchLocked(w, &req, &m, &target, 0), 0);
        EXPECT_EQ(pixel(b, 4, 4), 0xF800);
        w->flags &= ~uint32_t(FormWidget_enabled);
        EXPECT_EQ(Form_Widget_dispatch(w, &req, &m, &target, 0), 0);
        EXPECT_EQ(pixel(b, 4, 4), 0xD69A); // D0 D0 D0
        // Bounds and hits.
        int32_t out[4];
        ASSERT_EQ(Form_Widget_bounds(w, 0, out), 0);
        EXPECT_EQ(out[2], 0x10000);
        int32_t first = 0, pair[2] = {0, 0};
        EXPECT_EQ(Form_Widget_hitAll(w, 3, 4, 5, &first, pair), 1);
        EXPECT_EQ(first, 3);
        EXPECT_EQ(pair[1], 5);
        Form_Widget_destroy(w);
    });
}

TEST_F(WidgetTest, ListWidgetEntryPoints)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        FormWidget *list = nullptr;
        ASSERT_EQ(FormList_create(&list, doc, 0), 0);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->capacity, 256u);
        FormWidget *item = make(doc, FormClass_label, false);
        ASSERT_EQ(FormList_addChild(list, item), 0);
        EXPECT_EQ(item->parent, list);
        EXPECT_EQ(FormList_addChild(list, list), Res_formNoWidget);
        uint32_t word = 1;
        FormList_getWord8(list, &word); // the list box's flag word: none yet
        EXPECT_EQ(word, 0u);
        Form_Widget_destroy(list);
    });
}

TEST_F(WidgetTest, AttachGivesGroupNodesToTheTree)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        FormWidget *w = make(doc, FormClass_base, false);
        FormWidget *child = make(doc, FormClass_base, false);
        ASSERT_EQ(Form_Widget_addChild(w, child), 0);
        EXPECT_EQ(Form_Widget_attach(w, doc, root, nullptr, Edr_Insert_lastChild),
                  Res_formNotInitialised);
        ASSERT_EQ(Form_Widget_init(w), 0);
        ASSERT_EQ(Form_Widget_init(child), 0);
        ASSERT_EQ(Form_Widget_attach(w, doc, root, nullptr, Edr_Insert_lastChild), 0);
        EXPECT_TRUE(w->flags & FormWidget_attached);
        EXPECT_TRUE(child->flags & FormWidget_attached);
        ASSERT_NE(w->node, nullptr);
        EXPECT_EQ(Edr_Node_parent(child->node), w->node);
        uint32_t sub = 0;
        void *value = nullptr;
        ASSERT_EQ(Edr_Node_getSubtype(doc, w->node, &sub, &value), 0);
        EXPECT_EQ(sub, 1u);
        EXPECT_EQ(value, w);
        Edr_Node *n = nullptr;
        ASSERT_EQ(Form_Widget_getNode(w, &n), 0);
        EXPECT_EQ(n, w->node);
        Edr_Node_release(doc, n);
        uintptr_t answer = 1;
        EXPECT_EQ(Form_Widget_sendQuery(w, 5, &answer), 0);
        EXPECT_EQ(answer, 0u);
        Form_Widget_destroy(w);
        // A push button attaches with the label child it made.
        FormWidget *button = make(doc, FormClass_button);
        ASSERT_EQ(Form_Widget_attach(button, doc, root, nullptr, Edr_Insert_lastChild), 0);
        FormWidget *label = nullptr;
        ASSERT_EQ(Form_Widget_childAt(button, 0, FormClass_label, &label), 0);
        EXPECT_TRUE(label->flags & FormWidget_attached);
        EXPECT_EQ(Edr_Node_parent(label->node), button->node);
        Form_Widget_destroy(button);
    });
}

class PtrListTest : public LeakCheckedHeapTest<> {};

TEST_F(PtrListTest, WalksAndStatuses)
{
    PtrList *l = nullptr;
    ASSERT_EQ(PtrList_create(nullptr, &l), 0);
    void *v = nullptr;
    EXPECT_EQ(PtrList_get(l, 0, &v), Res_listEmpty);
    int a, b, c;
    ASSERT_EQ(PtrList_append(l, &b), 0);
    ASSERT_EQ(PtrList_prepend(l, &a), 0);
    ASSERT_EQ(PtrList_insertAt(l, 2, &c), 0);
    EXPECT_EQ(PtrList_insertAt(l, 4, &c), Res_listEnd);
    uint32_t i = 9;
    ASSERT_EQ(PtrList_indexOf(l, &c, &i), 0);
    EXPECT_EQ(i, 2u);
    EXPECT_EQ(PtrList_get(l, 3, &v), Res_listEnd);
    PtrCell *cur = nullptr;
    std::vector<void *> seen;
    for (int err = PtrList_first(l, &cur, &v); err == 0; err = PtrList_next(&cur, &v))
        seen.push_back(v);
    EXPECT_EQ(seen, (std::vector<void *>{&a, &b, &c}));
    ASSERT_EQ(PtrList_appendAll(l, l), 0);
    EXPECT_EQ(PtrList_count(l), 6u);
    ASSERT_EQ(PtrList_removeFirst(l, &c), 0);
    ASSERT_EQ(PtrList_removeAt(l, 4, &v), 0); // the last cell: the tail moves back
    EXPECT_EQ(v, &c);
    ASSERT_EQ(PtrList_append(l, &a), 0);
    ASSERT_EQ(PtrList_get(l, 4, &v), 0);
    EXPECT_EQ(v, &a);
    EXPECT_EQ(PtrList_removeFirst(l, &i), Res_listEnd);
    PtrList_destroy(l);
}

} // namespace
