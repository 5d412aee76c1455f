// The deferred-load queue: posting, loops of sub-documents, runs that
// leave later posts for the next run, cancelling, and draining at
// destruction.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/result.h"
#include "document/edr/node.h"
#include "document/types/translate.h"
#include "platform/url/url.h"
#include "platform/vfs/hosthooks.h"
#include "tests/document/edr_fixture.h"

namespace {

std::vector<std::string> &calls()
{
    static std::vector<std::string> c;
    return c;
}

struct QueueCtx {
    Edr_Doc *doc;
    Edr_Node *node;
};

void record(Edr_Node *, intptr_t a, intptr_t, intptr_t)
{
    calls().push_back(std::to_string(a));
}

// Posts another call while the queue runs.
void postMore(Edr_Node *node, intptr_t a, intptr_t b, intptr_t)
{
    calls().push_back(std::to_string(a));
    QueueCtx *q = reinterpret_cast<QueueCtx *>(b);
    EXPECT_EQ(Edr_LoadQueue_postCall(q->doc, record, node, a + 100, 0, 0), Res_ok);
}

struct CountedObj {
    Obj base;
    int *count;
};

void countFinal(Obj *o)
{
    ++*reinterpret_cast<CountedObj *>(o)->count;
}

Obj *countedObj(int *count)
{
    CountedObj *o = static_cast<CountedObj *>(Mem_calloc(1, sizeof(CountedObj)));
    o->base.finalize = countFinal;
    o->count = count;
    return &o->base;
}

class LoadQueueTest : public EdrFixture {
  protected:
    void SetUp() override
    {
        EdrFixture::SetUp();
        calls().clear();
    }
};

TEST_F(LoadQueueTest, CallsRunInOrderAndLaterPostsWait)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        QueueCtx q{doc, root};
        ASSERT_EQ(Edr_LoadQueue_postCall(doc, record, root, 1, 0, 0), Res_ok);
        ASSERT_EQ(Edr_LoadQueue_postCall(doc, postMore, root, 2, reinterpret_cast<intptr_t>(&q), 0),
                  Res_ok);
        ASSERT_EQ(Edr_LoadQueue_postCall(doc, record, root, 3, 0, 0), Res_ok);
        uint32_t held = Edr_Node_refCount(root);
        Edr_LoadQueue_runAll(doc, 1);
        EXPECT_EQ(calls(), (std::vector<std::string>{"1", "2", "3"}));
        // The call posted during the run waits for the next one.
        EXPECT_EQ(Edr_Node_refCount(root), held - 2);
        Edr_LoadQueue_runAll(doc, 1);
        EXPECT_EQ(calls(), (std::vector<std::string>{"1", "2", "3", "102"}));
        EXPECT_EQ(Edr_Node_refCount(root), held - 3);
        Edr_LoadQueue_runAll(doc, 1);
        EXPECT_EQ(calls().size(), 4u);
    });
}

TEST_F(LoadQueueTest, WithoutWorkItemsAreOnlyDisposedOf)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        uint32_t before = Edr_Node_refCount(root);
        ASSERT_EQ(Edr_LoadQueue_postCall(doc, record, root, 1, 0, 0), Res_ok);
        EXPECT_EQ(Edr_Node_refCount(root), before + 1);
        Edr_LoadQueue_runAll(doc, 0);
        EXPECT_TRUE(calls().empty());
        EXPECT_EQ(Edr_Node_refCount(root), before);
    });
}

TEST_F(LoadQueueTest, StoppedQueueDisposesOfNewItems)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        ASSERT_EQ(Edr_LoadQueue_postCall(doc, record, root, 1, 0, 0), Res_ok);
        Edr_LoadQueue_stopAccepting(doc);
        uint32_t before = Edr_Node_refCount(root);
        EXPECT_EQ(Edr_LoadQueue_postCall(doc, record, root, 2, 0, 0), Res_ok);
        EXPECT_EQ(Edr_Node_refCount(root), before);
        Edr_LoadQueue_runAll(doc, 1);
        EXPECT_EQ(calls(), (std::vector<std::string>{"1"}));
    });
}

// Items still queued when the document goes are disposed of: their node
// references and the sub-document's URL, argument and child document.
// (The fixture's tear-down checks that nothing leaked.)
TEST_F(LoadQueueTest, DestructionDrainsTheQueue)
{
    int finals = 0;
    run([&] {
        Edr_Doc *doc = nullptr, *child = nullptr;
        Edr_Node *root = nullptr, *childRoot = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, &root), 0);
        ASSERT_EQ(Edr_Doc_create(ctx(), &child, &childRoot), 0);
        ASSERT_EQ(Edr_LoadQueue_postCall(doc, record, root, 1, 0, 0), Res_ok);
        ASSERT_EQ(Edr_LoadQueue_postSubdoc(doc, root, child, childRoot,
                                           Url_new(u"http://example.org/a"), nullptr,
                                           countedObj(&finals)),
                  Res_ok);
        Edr_Doc_release(child);
        Edr_Doc_release(doc);
        EXPECT_TRUE(calls().empty());
        EXPECT_EQ(finals, 1);
        flushListeners();
    });
}

int g_doneCalls = 0;
void subdocDone(EngineContext *, Edr_Doc *, Edr_Node *, Url *url, Obj *arg)
{
    g_doneCalls++;
    Url_free(url);
    Obj_finalizeFree(&arg);
}

TEST_F(LoadQueueTest, SubdocumentLoadsIntoItsNode)
{
    g_doneCalls = 0;
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Doc *first = nullptr, *second = nullptr;
        Edr_Node *firstRoot = nullptr, *secondRoot = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &first, &firstRoot), 0);
        ASSERT_EQ(Edr_Doc_create(ctx(), &second, &secondRoot), 0);
        const int32_t placement[6] = {0x10000, 0, 0, 0, 0, 0};
        Edr_Node *holder = nullptr;
        ASSERT_EQ(
            Edr_Node_createSubdoc(doc, root, Edr_Insert_lastChild, &holder, first, placement, 0, 0),
            0);
        int finals = 0;
        ASSERT_EQ(Edr_LoadQueue_postSubdoc(doc, root, second, secondRoot,
                                           Url_new(u"http://example.org/c"), subdocDone,
                                           countedObj(&finals)),
                  Res_ok);
        Edr_LoadQueue_runAll(doc, 1);
        EXPECT_EQ(g_doneCalls, 1);
        EXPECT_EQ(finals, 1);
        EXPECT_EQ(Edr_Node_subdocPayload(holder)->child, second);
        Edr_Node_release(doc, holder);
        Edr_Doc_release(first);
        Edr_Doc_release(second);
    });
}

TEST_F(LoadQueueTest, SubdocumentOfItsOwnAncestorIsRefused)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Url *own = Url_new(u"http://example.org/page");
        ASSERT_EQ(Edr_Doc_setUrl(doc, own), Res_ok);
        Edr_Doc *child = nullptr;
        Edr_Node *childRoot = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &child, &childRoot), 0);
        int finals = 0;
        EXPECT_EQ(Edr_LoadQueue_postSubdoc(doc, root, child, childRoot, own, nullptr,
                                           countedObj(&finals)),
                  Res_subdocLoop);
        EXPECT_EQ(finals, 1);
        Edr_Doc_release(child);
    });
}

TEST_F(LoadQueueTest, CancelledOrWorklessSubdocumentReportsAborted)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Doc *child = nullptr;
        Edr_Node *childRoot = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &child, &childRoot), 0);
        int finals = 0;
        ASSERT_EQ(Edr_LoadQueue_postSubdoc(doc, root, child, childRoot,
                                           Url_new(u"http://example.org/b"), nullptr,
                                           countedObj(&finals)),
                  Res_ok);
        Edr_LoadQueue_cancel(doc, 1);
        Edr_LoadQueue_runAll(doc, 1);
        EXPECT_EQ(finals, 1);
        AppMsg_drain(ctx()->eventProc);
        Edr_Doc_release(child);
    });
}

TEST_F(LoadQueueTest, DeletedNodesAreRefused)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *g = nullptr;
        ASSERT_EQ(Edr_Node_createGroup(doc, root, Edr_Insert_lastChild, 1, &g), 0);
        ASSERT_EQ(Edr_Node_remove(doc, g), 0);
        Edr_Node_release(doc, g);
        // Gathered as dead: marked deleted, still in memory until freed.
        Edr_Node *dead = nullptr;
        ASSERT_EQ(Edr_Doc_collectDead(doc, &dead), 0);
        ASSERT_EQ(dead, g);
        EXPECT_EQ(Edr_LoadQueue_postCall(doc, record, g, 1, 0, 0), Res_nodeDeleted);
        EXPECT_EQ(Edr_LoadQueue_postImage(doc, g, 0), Res_nodeDeleted);
        Edr_Doc_freeDead(doc, dead);
    });
}

TEST_F(LoadQueueTest, PostingOutOfMemory)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        uint32_t before = Edr_Node_refCount(root);
        Mem_failAfter(1);
        EXPECT_EQ(Edr_LoadQueue_postCall(doc, record, root, 1, 0, 0), Res_noMemory);
        Mem_failAfter(0);
        EXPECT_EQ(Edr_Node_refCount(root), before);
    });
}

} // namespace
