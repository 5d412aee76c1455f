// A test engine for the display manager: the document fixture (worker
// pool, application processor, eDR record) with a configuration store, and
// helpers to start the display manager, to see whether an updater waits
// on its semaphore and to hand the listeners code messages.
#pragma once

#include <gtest/gtest.h>

#include "core/config/config.h"
#include "core/context/context.h"
#include "document/edr/docmsg.h"
#include "tests/document/edr_fixture.h"
#include "viewer/dispman.h"
#include "viewer/viewer.h"

class DispmanFixture : public EdrFixture {
  protected:
    void SetUp() override
    {
        EdrFixture::SetUp();
        run([this] {
            store = Config_createStore(ctx(), u"x");
            ASSERT_NE(store, nullptr);
            ctx()->config = store;
            ASSERT_EQ(Config_createWatchRegistry(ctx()), 0);
        });
    }
    void TearDown() override
    {
        Mem_failAfter(0);
        run([this] { Dispman_fini(ctx()); });
        EXPECT_EQ(ctx()->dispman, nullptr);
        run([this] {
            Config_freeWatchRegistry(ctx());
            ctx()->config = nullptr;
            Config_freeStore(ctx(), store);
        });
        EdrFixture::TearDown();
    }

    // Starts the display manager; the updaters have reached their waits
    // when it returns.
    void start()
    {
        run([this] { ASSERT_EQ(Dispman_init(ctx()), 0); });
        ASSERT_NE(dm(), nullptr);
    }
    DispmanCtx *dm()
    {
        return static_cast<DispmanCtx *>(ctx()->dispman);
    }
    // Stores a setting (from a task: the store's lists take engine locks).
    void set(const char *key, const char16_t *value)
    {
        run([&] { ASSERT_EQ(Config_put(store, nullptr, nullptr, key, value, 0), 1); });
    }
    static bool waiting(Task *t)
    {
        return t && (t->flags & Task_semWait) != 0;
    }
    // Hands the load listener a code message.
    void code(int32_t c, Edr_Doc *doc = nullptr)
    {
        EventProcCodeMsg m{c, doc, nullptr, 0};
        EventProcMsg msg{};
        msg.kind = 1;
        msg.payload = &m;
        Dispman_onLoadMessage(ctx(), &msg, nullptr, nullptr);
    }
    void busy()
    {
        EventProcMsg msg{};
        msg.kind = 6;
        Dispman_onBusyMessage(ctx(), &msg, nullptr, nullptr);
    }

    ConfigStore *store = nullptr;
};
