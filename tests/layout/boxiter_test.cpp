// The layout tree iterator over a real document: entries in order with
// the float flag (and without it under noFloats), rewinding and its count,
// the mark at the end, the end repeating, an absolute-position marker that
// the stop switch never consumes, groups stopped by the group switch,
// commit and the deferred queue.
#include <string>

#include "core/mem/mem.h"
#include "core/result.h"
#include "document/style/style.h"
#include "layout/boxiter.h"
#include "layout/layout.h"
#include "tests/document/style_fixture.h"

using namespace styletest;

namespace {

class BoxIterTest : public EdrFixture {};

Edr_Node *text(Edr_Doc *doc, Edr_Node *parent, const std::u16string &s)
{
    Edr_Node *t = nullptr;
    EXPECT_EQ(
        Edr_Node_createText(doc, parent, Edr_Insert_lastChild, &t, s.c_str(), uint32_t(s.size())),
        0);
    return t;
}

Edr_Node *data(Edr_Doc *doc, Edr_Node *parent, const Prop &v)
{
    Edr_Node *d = nullptr;
    EXPECT_EQ(Edr_Node_createData(doc, parent, Edr_Insert_lastChild, &d, &v), 0);
    return d;
}

// The block holds: text a, a left float, text b, an absolute-position
// marker, text c.
struct Tree {
    Edr_Node *block, *a, *floated, *b, *marker, *c;
};

Tree build(Edr_Doc *doc, Edr_Node *root)
{
    Tree t{};
    t.block = group(doc, root);
    own(doc, t.block, 2, rule({kw(PropId_display, KwId_block)}));
    t.a = text(doc, t.block, u"a ");
    t.floated = group(doc, t.block);
    own(doc, t.floated, 2, rule({kw(PropId_float, KwId_left), kw(PropId_display, KwId_block)}));
    t.b = text(doc, t.block, u"b ");
    t.marker = data(doc, t.block, kw(PropId_position, KwId_absolute));
    t.c = text(doc, t.block, u"c");
    return t;
}

// Runs fn with an iterator over the tree's block under the read lock.
template <typename Fn> void withIter(Edr_Doc *doc, const Tree &t, uint32_t noFloats, Fn fn)
{
    Edr_Doc_readLock(doc);
    Edr_Style *bs = nullptr;
    ASSERT_EQ(Edr_Style_computeForNode(doc, &bs, nullptr, t.block), 0);
    LayoutBox box{};
    box.document = doc;
    box.styleContext = Edr_StyleCtx_get(doc);
    BoxIter *it = nullptr;
    ASSERT_EQ(BoxIter_create(&it, &box, t.block, bs, noFloats), 0);
    fn(it, &box);
    BoxIter_free(it);
    Edr_Style_release(bs);
    Edr_Doc_readUnlock(doc);
}

Edr_Node *nextNode(BoxIter *it, LayoutBox *box, IterEntry *e = nullptr)
{
    IterEntry local{};
    IterEntry *out = e ? e : &local;
    EXPECT_EQ(BoxIter_next(it, out, box), 0);
    return out->node;
}

TEST_F(BoxIterTest, EntriesComeInOrderWithTheFloatFlag)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Tree t = build(doc, root);
        for (uint32_t noFloats : {0u, 1u}) {
            withIter(doc, t, noFloats, [&](BoxIter *it, LayoutBox *box) {
                Edr_Node *want[] = {t.a, t.floated, t.b, t.marker, t.c};
                for (Edr_Node *n : want) {
                    IterEntry e{};
                    EXPECT_EQ(nextNode(it, box, &e), n);
                    EXPECT_NE(e.style, nullptr);
                    EXPECT_EQ(e.isFloat, n == t.floated && !noFloats ? 1u : 0u);
                    EXPECT_EQ(e.resume, 0);
                }
                // The end repeats.
                for (int i = 0; i < 3; i++)
                    EXPECT_EQ(nextNode(it, box), nullptr);
            });
        }
    });
}

TEST_F(BoxIterTest, RewindingCountsPushesBackWithTheSameResume)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Tree t = build(doc, root);
        withIter(doc, t, 0, [&](BoxIter *it, LayoutBox *box) {
            IterEntry a{}, f{}, b{};
            nextNode(it, box, &a);
            nextNode(it, box, &f);
            nextNode(it, box, &b);
            ASSERT_EQ(b.node, t.b);
            struct Step {
                int32_t resume, rewinds;
            } steps[] = {{3, 0}, {3, 1}, {3, 2}, {5, 0}, {5, 1}};
            for (const Step &s : steps) {
                b.resume = s.resume;
                BoxIter_rewindTo(it, &b);
                IterEntry again{};
                EXPECT_EQ(nextNode(it, box, &again), t.b);
                EXPECT_EQ(again.resume, s.resume);
                EXPECT_EQ(again.rewinds, s.rewinds) << "resume " << s.resume;
            }
            // Rewinding to an earlier node clears the resume of the entries after it.
            f.resume = 0;
            BoxIter_rewindTo(it, &f);
            EXPECT_EQ(nextNode(it, box), t.floated);
            IterEntry again{};
            EXPECT_EQ(nextNode(it, box, &again), t.b);
            EXPECT_EQ(again.resume, 0);
            // A node not in the window goes back to the first entry.
            IterEntry stranger{};
            stranger.node = t.c;
            BoxIter_rewindTo(it, &stranger);
            EXPECT_EQ(nextNode(it, box), t.a);
        });
    });
}

TEST_F(BoxIterTest, MarkResetAndCommit)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Tree t = build(doc, root);
        withIter(doc, t, 0, [&](BoxIter *it, LayoutBox *box) {
            IterEntry a{};
            nextNode(it, box, &a);
            BoxIter_mark(it);
            EXPECT_EQ(BoxIter_atMark(it), 1);
            IterEntry f{};
            nextNode(it, box, &f);
            EXPECT_EQ(BoxIter_atMark(it), 0);
            f.resume = 4;
            BoxIter_rewindTo(it, &f);
            // Back at the marked index, but with another resume.
            EXPECT_EQ(BoxIter_atMark(it), 0);
            BoxIter_resetToMark(it);
            EXPECT_EQ(BoxIter_atMark(it), 1);
            IterEntry e{};
            EXPECT_EQ(nextNode(it, box, &e), t.floated);
            EXPECT_EQ(e.resume, 0);
            // Committing forgets what was read: rewinding goes no further back.
            BoxIter_commit(it);
            EXPECT_EQ(it->cursor, 0);
            EXPECT_EQ(it->markIndex, -1);
            EXPECT_EQ(nextNode(it, box), t.b);
            IterEntry stranger{};
            stranger.node = t.a;
            BoxIter_rewindTo(it, &stranger);
            EXPECT_EQ(nextNode(it, box), t.b);
            // At the end, a mark is at the mark.
            while (nextNode(it, box)) {
            }
            BoxIter_mark(it);
            EXPECT_EQ(BoxIter_atMark(it), 1);
            EXPECT_EQ(nextNode(it, box), nullptr);
            EXPECT_EQ(BoxIter_atMark(it), 1);
        });
    });
}

TEST_F(BoxIterTest, TheStopSwitchesHoldTheStream)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Tree t = build(doc, root);
        withIter(doc, t, 0, [&](BoxIter *it, LayoutBox *box) {
            EXPECT_EQ(BoxIter_isAbsoluteMarker(t.marker), 1);
            EXPECT_EQ(BoxIter_isAbsoluteMarker(t.a), 0);
            BoxIter_stopAtAbsoluteOn(it);
            BoxIter_stopAtGroupsOn(it);
            EXPECT_EQ(nextNode(it, box), t.a);
            // The floated group has no vertical anchor: the group switch stops it.
            for (int i = 0; i < 3; i++)
                EXPECT_EQ(nextNode(it, box), nullptr);
            BoxIter_stopAtGroupsOff(it);
            EXPECT_EQ(nextNode(it, box), t.floated);
            EXPECT_EQ(nextNode(it, box), t.b);
            // The marker is never consumed while the switch is on.
            for (int i = 0; i < 3; i++)
                EXPECT_EQ(nextNode(it, box), nullptr);
            BoxIter_stopAtAbsoluteOff(it);
            EXPECT_EQ(nextNode(it, box), t.marker);
            EXPECT_EQ(nextNode(it, box), t.c);
        });
    });
}

TEST_F(BoxIterTest, DeferredEntriesKeepTheirSetsPastCommit)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Tree t = build(doc, root);
        withIter(doc, t, 0, [&](BoxIter *it, LayoutBox *box) {
            IterEntry e{};
            nextNode(it, box, &e);
            nextNode(it, box, &e);
            ASSERT_EQ(e.isFloat, 1u);
            ASSERT_EQ(BoxIter_defer(it, &e), 0);
            BoxIter_commit(it);
            IterEntry taken{};
            BoxIter_takeDeferred(it, &taken);
            EXPECT_EQ(taken.node, t.floated);
            EXPECT_EQ(Edr_Style_get(taken.style, PropId_float, nullptr), uint32_t(KwId_left));
            BoxIter_takeDeferred(it, &taken);
            EXPECT_EQ(taken.node, nullptr);
        });
    });
}

TEST_F(BoxIterTest, RunningOutOfMemoryLeavesNothing)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Tree t = build(doc, root);
        Edr_Doc_readLock(doc);
        Edr_Style *bs = nullptr;
        ASSERT_EQ(Edr_Style_computeForNode(doc, &bs, nullptr, t.block), 0);
        LayoutBox box{};
        box.document = doc;
        box.styleContext = Edr_StyleCtx_get(doc);
        for (int n = 1; n < 12; n++) {
            BoxIter *it = nullptr;
            Mem_failAfter(n);
            int rc = BoxIter_create(&it, &box, t.block, bs, 0);
            IterEntry e{};
            while (rc == 0 && (rc = BoxIter_next(it, &e, &box)) == 0 && e.node) {
            }
            Mem_failAfter(0);
            EXPECT_TRUE(rc == Res_ok || rc == Res_noMemory) << rc;
            BoxIter_free(it);
        }
        Edr_Style_release(bs);
        Edr_Doc_readUnlock(doc);
    });
}

} // namespace
