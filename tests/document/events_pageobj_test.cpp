// Page objects: overlay areas of record chains (with a record still being
// built), documents nested through sub-document nodes, the focusable
// objects of a view and their focus bits, the objects of a node, image
// objects, form-control bounds through an object's matrix, and the link
// target.
#include "core/geom/matrix.h"
#include "core/result.h"
#include "core/task/timerq.h"
#include "document/edr/page.h"
#include "document/edr/pageobj.h"
#include "core/container/obj.h"
#include "tests/support/form_widgets.h"
#include "tests/document/events_fixture.h"

namespace {

class PageObjTest : public EdrFixture {
  protected:
    void SetUp() override
    {
        EdrFixture::SetUp();
        ASSERT_EQ(TimerQ_startThread(ctx(), ctx()->eventProc), 0);
    }
    void TearDown() override
    {
        run([this] { EXPECT_EQ(TimerQ_stopThread(ctx(), ctx()->eventProc), 0); });
        EdrFixture::TearDown();
    }
    // Display items of a plain class with a four-word class part.
    static constexpr ObjClass plainClass{nullptr, int32_t(4 * sizeof(intptr_t)), nullptr,
                                         Obj_itemPlain};
    static constexpr ObjClass imageClass{nullptr, 0, nullptr, Obj_itemImage};
    static ObjHeader *object(Edr_Node *node, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                             uint32_t flags = 0)
    {
        ObjHeader *o = Obj_create(&plainClass, 0);
        o->node = node;
        Rect box{x0, y0, x1, y1};
        Obj_setBox(o, &box);
        o->flags = flags;
        return o;
    }
    // Publishes page (0, 0) of doc with the object chain.
    static void publish(Edr_Doc *doc, std::initializer_list<ObjHeader *> objects)
    {
        auto *rec = static_cast<Edr_PageRec *>(Mem_calloc(1, sizeof(Edr_PageRec)));
        rec->doc = doc;
        ObjHeader **tail = &rec->objects;
        for (ObjHeader *o : objects) {
            *tail = o;
            tail = reinterpret_cast<ObjHeader **>(&o->owner[0]);
        }
        ASSERT_EQ(Edr_Page_publishLayout(doc, 0, 0, 0, rec, 0, 0), 0);
    }
};

TEST_F(PageObjTest, OverlayAreaOfReadyRecords)
{
    run([&] {
        Edr_PageRec a{}, b{}, c{};
        a.nextRec = &b;
        b.nextRec = &c;
        ObjHeader *counted = object(nullptr, 0, 0, 10, 10, Obj_overlayCounted);
        counted->origin[0] = 5;
        counted->origin[1] = 5;
        ObjHeader *other = object(nullptr, -100, -100, 100, 100);
        Obj_setNext(counted, other);
        a.overlays = counted;
        ObjHeader *skipped = object(nullptr, 200, 200, 300, 300, Obj_overlayCounted);
        b.overlays = skipped;
        b.buildState = Edr_PageBuild_embedded;
        ObjHeader *late = object(nullptr, 0, 40, 2, 50, Obj_overlayCounted);
        c.overlays = late;

        int32_t rect[4] = {0, 0, 0, 0};
        ASSERT_EQ(Edr_Page_unionObjectRects(&a, rect), 0);
        EXPECT_EQ(rect[0], 0);
        EXPECT_EQ(rect[1], 5);
        EXPECT_EQ(rect[2], 15);
        EXPECT_EQ(rect[3], 50);

        // A record being built is waited for: the builder, at a lower
        // priority, only runs while the caller sleeps.
        c.buildState = Edr_PageBuild_building;
        Task_detach(spawn("builder", 1, [&] {
            c.buildState = Edr_PageBuild_ready;
            advance(20);
            (void)Time_nowMs();
        }));
        int32_t small[4] = {1, 1, 2, 2};
        ASSERT_EQ(Edr_Page_unionObjectRects(&c, small), 0);
        EXPECT_EQ(small[1], 1);
        EXPECT_EQ(small[3], 50);
        Edr_Page_freeObjects(a.overlays);
        Edr_Page_freeObjects(b.overlays);
        Edr_Page_freeObjects(c.overlays);
    });
}

TEST_F(PageObjTest, NestedDocumentsVisitedDepthFirst)
{
    run([&] {
        Edr_Doc *docs[3];
        Edr_Node *roots[3];
        for (int i = 0; i < 3; i++)
            ASSERT_EQ(Edr_Doc_create(ctx(), &docs[i], &roots[i]), 0);
        Edr_Node *holder = makeGroup(docs[0], roots[0], Edr_Insert_lastChild, 1);
        ASSERT_EQ(Edr_Node_createSubdoc(docs[0], holder, Edr_Insert_lastChild, nullptr, docs[1],
                                        nullptr, 0, 0),
                  0);
        ASSERT_EQ(Edr_Node_createSubdoc(docs[1], roots[1], Edr_Insert_lastChild, nullptr, docs[2],
                                        nullptr, 0, 0),
                  0);
        Edr_Node_release(docs[0], holder);

        struct Seen {
            std::vector<Edr_Doc *> docs;
            Edr_Doc *stopAt;
        } seen{{}, nullptr};
        auto visit = [](void *argument, Edr_Doc *doc, int32_t dx, int32_t dy) {
            Seen *s = static_cast<Seen *>(argument);
            s->docs.push_back(doc);
            EXPECT_EQ(dx | dy, 0);
            return doc == s->stopAt ? 7 : 0;
        };
        ASSERT_EQ(Edr_Doc_forEachDocument(visit, &seen, docs[0]), 0);
        ASSERT_EQ(seen.docs.size(), 3u);
        for (int i = 0; i < 3; i++)
            EXPECT_EQ(seen.docs[i], docs[i]);
        seen.docs.clear();
        seen.stopAt = docs[1];
        EXPECT_EQ(Edr_Doc_forEachDocument(visit, &seen, docs[0]), 7);
        EXPECT_EQ(seen.docs.size(), 2u);
        for (Edr_Doc *d : docs)
            EXPECT_EQ(d->refCount, d == docs[0] ? 1u : 2u);
        for (int i = 2; i >= 0; i--)
            Edr_Doc_release(docs[i]);
    });
}

TEST_F(PageObjTest, ImageObjectsAndFormControls)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *g = makeGroup(doc, root, Edr_Insert_lastChild, 1);
        Edr_Node_release(doc, makeText(doc, g, u"caption"));
        Url *url = Url_new(u"http://a.example/i.png");
        const int32_t placement[5] = {0, 0, 0, 0, 0};
        Edr_Node *image = nullptr;
        ASSERT_EQ(Edr_Node_createImage(doc, g, Edr_Insert_lastChild, &image, url, placement, 0), 0);
        Url_free(url);
        ObjHeader o{};
        o.cls = &plainClass;
        o.node = g;
        Edr_Doc_readLock(doc);
        EXPECT_EQ(Edr_Obj_imageNode(&o), image);
        EXPECT_FALSE(Edr_Obj_isForNode(&o, image));
        o.cls = &imageClass;
        EXPECT_TRUE(Edr_Obj_isForNode(&o, image));
        EXPECT_TRUE(Edr_Obj_isForNode(&o, g));
        o.node = image;
        EXPECT_EQ(Edr_Obj_imageNode(&o), image);
        o.node = root;
        EXPECT_EQ(Edr_Obj_imageNode(&o), nullptr);
        Edr_Doc_readUnlock(doc);

        // A control of 10 x 20 shown through x' = 2x + 5, y' = y + 7.
        TestForms forms(ctx());
        FormWidget *control = forms.control(doc, FormWidget_sized, 0, 0, 0, 10, 20);
        Edr_Node *input = makeGroup(doc, root, Edr_Insert_lastChild, 64);
        ASSERT_EQ(Edr_Node_setSubtypeValue(doc, input, Edr_Subtype_formControl, control), 0);
        Matrix m{0x20000, 0, 0, 0x10000, 5, 7};
        ObjHeader *made = Obj_create(&plainClass, 0);
        ObjHeader &f = *made;
        f.node = input;
        int32_t b[4];
        ASSERT_EQ(Edr_Obj_formBounds(&f, b), 0);
        EXPECT_EQ(b[2] - b[0], 10);
        f.matrix = &m;
        ASSERT_EQ(Edr_Obj_formBounds(&f, b), 0);
        EXPECT_EQ(b[0], 5);
        EXPECT_EQ(b[1], 7);
        EXPECT_EQ(b[2], 25);
        EXPECT_EQ(b[3], 27);
        int hit = 0;
        ASSERT_EQ(Edr_Obj_formHit(&f, 24, 26, &hit), 0);
        EXPECT_EQ(hit, 1);
        ASSERT_EQ(Edr_Obj_formHit(&f, 25, 8, &hit), 0);
        EXPECT_EQ(hit, 0);
        EXPECT_EQ(Edr_Obj_formEvent(ctx(), &f, nullptr), 0);
        // Objects of other nodes show no control.
        EXPECT_EQ(Edr_Obj_formBounds(&o, b), Res_notFound);
        EXPECT_EQ(Edr_Obj_formHit(&o, 0, 0, &hit), Res_notFound);
        EXPECT_EQ(Edr_Obj_formEvent(ctx(), &o, nullptr), Res_notFound);
        static_cast<intptr_t *>(Obj_part(&f))[3] = 1234;
        EXPECT_EQ(Edr_Obj_word15(&f), 1234);
        EXPECT_EQ(Edr_Obj_word15(&o), 0) << "no class part past the header";
        f.matrix = nullptr;
        Obj_destroy(made);

        // A document's link target is its own root, with references.
        Edr_Node *node = nullptr;
        Edr_Doc *target = nullptr;
        ASSERT_EQ(Edr_Doc_resolveLinkTarget(doc, &node, &target), 0);
        EXPECT_EQ(node, root);
        EXPECT_EQ(target, doc);
        Edr_Node_release(doc, node);
        Edr_Doc_release(target);
        EXPECT_EQ(Edr_Doc_resolveLinkTarget(doc, nullptr, &target), Res_nullInput);
        for (Edr_Node *n : {g, image, input})
            Edr_Node_release(doc, n);
    });
}

} // namespace
