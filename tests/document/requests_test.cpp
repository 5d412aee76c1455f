// The request table of a document: an empty table, appending, walking with
// references, kind-2 counting, running out of memory; the page drawing
// object's pair; and view-size requests: the size set in the first rule of
// the first request, the wait until the manager's pass ends, the refusals
// without waiting, and a stop request ending the wait.
#include <gtest/gtest.h>

#include "core/context/context.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "core/task/lock.h"
#include "document/edr/page.h"
#include "document/edr/requests.h"
#include "platform/api/request.h"
#include "tests/document/manager_fixture.h"
#include "tests/document/style_fixture.h"
#include "viewer/dispman.h"
#include "viewer/viewer.h"

namespace {

using namespace styletest;

class RequestTableTest : public MgrFixture {
  protected:
    Request *request(uint32_t kind)
    {
        Request *q = nullptr;
        EXPECT_EQ(Request_new(ctx(), kind, &q), 0);
        return q;
    }
};

TEST_F(RequestTableTest, WalkCountAndAppend)
{
    run([&] {
        DocRequestTable *t = nullptr;
        int context = 0;
        ASSERT_EQ(DocRequests_create(nullptr, &context, &t), 0);
        EXPECT_EQ(t->context, &context);
        // Empty: nothing to walk.
        EXPECT_EQ(t->requests, nullptr);
        EXPECT_EQ(Request_firstOfDoc(t), nullptr);
        EXPECT_EQ(Request_nextOfDoc(t, nullptr), nullptr);
        EXPECT_EQ(DocRequests_countKind2(t), 0u);
        EXPECT_EQ(DocRequests_nthKind2(t, 0), nullptr);
        EXPECT_EQ(Request_firstOfDoc(nullptr), nullptr);

        Request *a = request(2), *b = request(1), *c = request(2), *stranger = request(2);
        ASSERT_EQ(DocRequests_append(t, a), 0);
        EXPECT_GE(Mem_blockSize(t->requests), 2 * sizeof(Request *));
        EXPECT_EQ(t->requests[1], nullptr);
        ASSERT_EQ(DocRequests_append(t, b), 0);
        // A failed append leaves the table as it was; the reference stays
        // the caller's.
        Mem_failAfter(1);
        EXPECT_EQ(DocRequests_append(t, c), Res_noMemory);
        Mem_failAfter(0);
        EXPECT_EQ(t->requests[2], nullptr);
        ASSERT_EQ(DocRequests_append(t, c), 0);

        Request *first = Request_firstOfDoc(t);
        EXPECT_EQ(first, a);
        EXPECT_EQ(a->refCount, 2u);
        Request *next = Request_nextOfDoc(t, first);
        EXPECT_EQ(next, b);
        EXPECT_EQ(b->refCount, 2u);
        EXPECT_EQ(Request_nextOfDoc(t, c), nullptr);
        EXPECT_EQ(Request_nextOfDoc(t, stranger), nullptr);
        Request_release(first);
        Request_release(next);

        EXPECT_EQ(DocRequests_countKind2(t), 2u);
        Request *second = DocRequests_nthKind2(t, 1);
        EXPECT_EQ(second, c);
        EXPECT_EQ(c->refCount, 2u);
        Request_release(second);
        EXPECT_EQ(DocRequests_nthKind2(t, 2), nullptr);

        // The table's blocks and references go with it.
        Request_addRef(a);
        t->sub = static_cast<DocRequestSub *>(Mem_calloc(1, sizeof(DocRequestSub)));
        t->sub->block0 = Mem_malloc(8);
        t->sub->block3 = Mem_malloc(8);
        t->blocks8[1] = Mem_malloc(8);
        t->block12 = Mem_malloc(8);
        DocRequests_free(t);
        EXPECT_EQ(a->refCount, 1u);
        Request_release(a);
        Request_release(stranger);
        DocRequests_free(nullptr);

        Mem_failAfter(1);
        EXPECT_EQ(DocRequests_create(nullptr, nullptr, &t), Res_noMemory);
        Mem_failAfter(0);
        EXPECT_EQ(t, nullptr);
    });
}

// The document's add and get keep their behaviour over the table: the
// caller keeps its reference, and each got request comes with one.
TEST_F(RequestTableTest, DocumentAddAndGet)
{
    run([&] {
        Edr_Doc *doc = newDoc();
        Request *a = request(2), *b = request(1);
        ASSERT_EQ(Edr_Doc_addRequest(doc, a), 0);
        ASSERT_EQ(Edr_Doc_addRequest(doc, b), 0);
        EXPECT_EQ(a->refCount, 2u);
        Request *got = nullptr;
        ASSERT_EQ(Edr_Doc_getRequest(doc, nullptr, &got), 0);
        EXPECT_EQ(got, a);
        EXPECT_EQ(a->refCount, 3u);
        Request *next = nullptr;
        ASSERT_EQ(Edr_Doc_getRequest(doc, got, &next), 0);
        EXPECT_EQ(next, b);
        Request_release(got);
        Request_release(next);
        EXPECT_EQ(DocRequests_countKind2(doc->requests), 1u);
        Request_release(a);
        Request_release(b);
        Edr_Doc_release(doc);
    });
}

// A page without a drawing object leaves the pair alone; with one the pair
// is read; a missing page is the lookup's error.
TEST_F(RequestTableTest, PageObjectPair)
{
    run([&] {
        Edr_Doc *doc = newDoc();
        Edr_PageRec *plain = page(doc, 10, 10), *drawn = page(doc, 10, 10);
        ASSERT_EQ(Edr_Page_setAltRect(drawn, nullptr), 0);
        ASSERT_EQ(Edr_Page_publishLayout(doc, 1, 0, 0, plain, 0, 1), 0);
        ASSERT_EQ(Edr_Page_publishLayout(doc, 2, 0, 0, drawn, 0, 1), 0);
        int32_t a = 5, b = 6;
        ASSERT_EQ(Edr_Page_objectPair(doc, 1, 0, &a, &b), 0);
        EXPECT_EQ(a, 5);
        EXPECT_EQ(b, 6);
        ASSERT_EQ(Edr_Page_objectPair(doc, 2, 0, &a, &b), 0);
        EXPECT_EQ(a, 0);
        EXPECT_EQ(b, 0);
        a = b = 7;
        EXPECT_EQ(Edr_Page_objectPair(doc, 3, 0, &a, &b), 4097);
        EXPECT_EQ(a, 7);
        EXPECT_EQ(b, 7);
        Edr_Doc_release(doc);
    });
}

class ViewSizeTest : public RequestTableTest {
  protected:
    void SetUp() override
    {
        RequestTableTest::SetUp();
        ASSERT_EQ(Sem_init(ctx(), &dm.completion, 0, 1), 0);
        ctx()->dispman = &dm;
        run([&] {
            ASSERT_EQ(
                EventProc_addListener(ctx(), ctx()->eventProc, 1, Dispman_onLoadMessage, nullptr),
                0);
        });
    }
    void TearDown() override
    {
        run([&] {
            EXPECT_EQ(EventProc_removeListener(ctx()->eventProc, 1, Dispman_onLoadMessage, nullptr),
                      0);
        });
        ctx()->dispman = nullptr;
        RequestTableTest::TearDown();
    }
    // A document whose first request's first rule has the two properties
    // (or only width).
    Edr_Doc *docWithSize(bool both = true)
    {
        Edr_Doc *doc = newDoc();
        if (both)
            sheet(ctx(), doc, 2, {rule({len(PropId_width, 1), len(PropId_height, 2)}, {}, 0)});
        else
            sheet(ctx(), doc, 2, {rule({len(PropId_width, 1)}, {}, 0)});
        return doc;
    }
    static int32_t sizeOf(Edr_Doc *doc, uint32_t id)
    {
        Request *q = nullptr;
        EXPECT_EQ(Edr_Doc_getRequest(doc, nullptr, &q), 0);
        int32_t v = Prop_getLength(&StyleRule_findProp(Request_firstItem(q), id)->value);
        Request_release(q);
        return v;
    }
    DispmanCtx dm{};
};

TEST_F(ViewSizeTest, TheSizeIsSetAndTheCallWaitsForThePass)
{
    Edr_Doc *doc = nullptr;
    run([&] { doc = docWithSize(); });
    int result = -1;
    run([&] { result = Dispman_setDocViewSize(ctx(), doc, 0x50000, 0x30000); });
    EXPECT_EQ(result, -1); // waiting for the pass
    EXPECT_EQ(dm.awaited, doc);
    later(Edr_Mgr_periodStart);
    EXPECT_EQ(pass.calls, 1);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(dm.awaited, nullptr);
    EXPECT_EQ(codes, "14 ");
    run([&] {
        EXPECT_EQ(sizeOf(doc, PropId_width), 0x50000);
        EXPECT_EQ(sizeOf(doc, PropId_height), 0x30000);
        Edr_Doc_release(doc);
    });
}

TEST_F(ViewSizeTest, RefusalsDoNotWait)
{
    run([&] {
        Edr_Doc *bare = newDoc();
        EXPECT_EQ(Dispman_setDocViewSize(ctx(), bare, 1, 2), Res_nullInput);
        Request *empty = request(2);
        ASSERT_EQ(Edr_Doc_addRequest(bare, empty), 0);
        Request_release(empty);
        EXPECT_EQ(Dispman_setDocViewSize(ctx(), bare, 1, 2), Res_nullInput);
        Edr_Doc_release(bare);
        Edr_Doc *half = docWithSize(false);
        EXPECT_EQ(Dispman_setDocViewSize(ctx(), half, 0x70000, 2), Res_nullInput);
        EXPECT_EQ(sizeOf(half, PropId_width), 1); // unchanged
        ctx()->dispman = nullptr;
        EXPECT_EQ(Dispman_setDocViewSize(ctx(), half, 1, 2), Res_missingArgument);
        ctx()->dispman = &dm;
        Edr_Doc_release(half);
    });
    EXPECT_EQ(dm.awaited, nullptr);
    EXPECT_EQ(pass.calls, 0);
}

// A stop request ends the wait with 48 instead of leaving the task hanging
// on a document that is never laid out again.
TEST_F(ViewSizeTest, AStopRequestEndsTheWait)
{
    Edr_Doc *doc = nullptr;
    run([&] {
        doc = docWithSize();
        // No pass will run: the manager is told to hold off.
        Edr_Mgr_suspend(doc);
    });
    int result = -1;
    Task *waiter = spawn("waiter", 3, [&] { result = Dispman_setDocViewSize(ctx(), doc, 3, 4); });
    TestEngine_runAll(&e, 100000);
    EXPECT_EQ(result, -1);
    later(10 * Edr_Mgr_periodStart);
    EXPECT_EQ(result, -1);
    run([&] { EXPECT_EQ(Task_requestStop(waiter), 0); });
    EXPECT_EQ(result, Res_stopRequested);
    EXPECT_EQ(dm.awaited, nullptr);
    run([&] {
        EXPECT_EQ(Task_join(waiter), 0);
        Edr_Mgr_resume(doc);
        Edr_Doc_release(doc);
    });
}

} // namespace
