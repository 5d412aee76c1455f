// A test engine with a worker pool, the application's event processor and
// its eDR record, for tests of documents. Bodies run on an engine task.
#pragma once

#include <functional>

#include "core/task/eventproc.h"
#include "document/edr/docmsg.h"
#include "core/task/worker.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "platform/api/engine.h"
#include "tests/support/task_fixture.h"

class EdrFixture : public TaskFixture {
  protected:
    void SetUp() override
    {
        TaskFixture::SetUp();
        ASSERT_EQ(Worker_initPool(ctx()), 0);
        ASSERT_EQ(AppMsg_createDispatcher(ctx(), &ctx()->eventProc), 0);
        ASSERT_EQ(Edr_App_init(ctx(), 0), 0);
    }
    void TearDown() override
    {
        run([this] {
            Edr_App_fini(ctx());
            AppMsg_destroyDispatcher(ctx()->eventProc);
            ctx()->eventProc = nullptr;
            Worker_shutdownPool(ctx());
        });
        EXPECT_EQ(TestHeap_usedBytes(), baseline);
        TaskFixture::TearDown();
    }
    // Runs fn on an engine task above the workers, then every slice.
    void run(std::function<void()> fn)
    {
        Task_detach(spawn("driver", 3, std::move(fn)));
        TestEngine_runAll(&e, 100000);
    }
    // From a task: one delivery on the application's processor, which frees
    // the listeners removed since the last one.
    void flushListeners()
    {
        EventProcCodeMsg m{999, nullptr, nullptr, 0};
        EXPECT_EQ(EventProc_postPlainCode(ctx()->eventProc, &m), 0);
        AppMsg_drain(ctx()->eventProc);
    }
    // Runs fn with a fresh document, released afterwards.
    void withDoc(std::function<void(Edr_Doc *, Edr_Node *)> fn)
    {
        run([&] {
            Edr_Doc *doc = nullptr;
            Edr_Node *root = nullptr;
            ASSERT_EQ(Edr_Doc_create(ctx(), &doc, &root), 0);
            fn(doc, root);
            Edr_Doc_release(doc);
        });
    }
};
