// A running engine whose application handles keys: the TestApp's key slots
// are the key entries, its pan slot logs every pan message with the host
// clock, and the application thread has what key handling uses (worker
// pool, event processor with "timerThread", a configuration store, one
// document, the key record and a view in EngineInstance::keyView).
//
// The host clock is manual: runTo(t) fires the host timer at each due time
// up to t and leaves the clock at t, so everything logged carries the exact
// engine time it happened at.
#pragma once

#include <functional>
#include <string>

#include "core/config/config.h"
#include "core/task/eventproc.h"
#include "core/task/timerq.h"
#include "core/task/worker.h"
#include "document/edr/doc.h"
#include "viewer/api/keys.h"
#include "tests/support/document_ops.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/test_engine.h"
#include "viewer/view.h"
#include "viewer/viewer.h"

class KeyFixture : public EngineFixture {
  protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        self() = this;
        app.callbacks.keyPress = Key_pressEvent;
        app.callbacks.keyRelease = Key_releaseEvent;
        app.callbacks.pan = onPan;
        app.callbacks.event26 = onAction;
        start();
        context = inst->context;
        baseline = TestHeap_usedBytes();
        onApp([this] {
            ASSERT_EQ(Worker_initPool(context), 0);
            ASSERT_EQ(AppMsg_createDispatcher(context, &context->eventProc), 0);
            ASSERT_EQ(TimerQ_startThread(context, context->eventProc), 0);
            context->config = Config_createStore(context, u"keys");
            ASSERT_NE(context->config, nullptr);
            ASSERT_TRUE(TestSupport_installDocumentOps(context));
            ASSERT_EQ(Edr_App_init(context, 0), 0);
            Edr_Node *root = nullptr;
            ASSERT_EQ(Edr_Doc_create(context, &doc, &root), 0);
            ASSERT_EQ(KeyRepeat_create(inst, Key_repeatCallback, Key_releaseCallback, &inst->keys),
                      0);
        });
        settings.zoomIn = settings.zoomOut = 2.0;
        settings.zoomInRepeat = settings.zoomOutRepeat = 1.25;
        settings.powerZoomIn = settings.powerZoomOut = 4.0;
        settings.powerZoomInRepeat = settings.powerZoomOutRepeat = 1.5;
        settings.panUp = -10;
        settings.panDown = 10;
        settings.panRight = 7;
        settings.panLeft = -7;
        settings.panUpRepeat = -30;
        settings.panDownRepeat = 30;
        settings.panRightRepeat = 21;
        settings.panLeftRepeat = -21;
        settings.panIterations = 1;
        settings.powerZoomPanIterations = 1;
        settings.panVertMin = 2;
        settings.panVertMax = 50;
        view.viewer = nullptr;
        view.instance = inst;
        view.doc = doc;
        view.page = &pageRecord;
        view.settings = &settings;
        view.width = 200;
        view.height = 100;
        view.zoom = 0x10000;
        view.zoomCentre[0] = view.zoomCentre[1] = -1;
        inst->keyView = &view;
        log().clear();
    }
    void TearDown() override
    {
        onApp([this] {
            inst->keyView = nullptr;
            KeyRepeat_free(inst, &inst->keys);
            Key_freeHooks(&view);
            Edr_Doc_release(doc);
            Edr_App_fini(context);
            EXPECT_EQ(TimerQ_stopThread(context, context->eventProc), 0);
            AppMsg_destroyDispatcher(context->eventProc);
            context->eventProc = nullptr;
            Worker_shutdownPool(context);
            Config_freeStore(context, context->config);
            context->config = nullptr;
        });
        EXPECT_EQ(TestHeap_usedBytes(), baseline);
        EngineFixture::TearDown();
    }

    static KeyFixture *&self()
    {
        static KeyFixture *fixture;
        return fixture;
    }
    // Milliseconds since mark().
    static int64_t elapsed()
    {
        return self()->now() - self()->t0;
    }
    // Pan messages carry {dx, -dy}; the log shows "time:dx,dy".
    static int onPan(EngineInstance *, intptr_t a, intptr_t b, intptr_t)
    {
        log() +=
            std::to_string(elapsed()) + ":" + std::to_string(a) + "," + std::to_string(-b) + " ";
        return 0;
    }
    static int onAction(EngineInstance *, intptr_t, intptr_t, intptr_t)
    {
        note("action26");
        return 0;
    }
    static void callFn(EngineInstance *, void *arg)
    {
        (*static_cast<std::function<void()> *>(arg))();
    }

    // Runs fn on the application thread and lets the engine settle.
    void onApp(std::function<void()> fn)
    {
        bool ran = false;
        std::function<void()> wrapped = [&] {
            fn();
            ran = true;
        };
        ASSERT_EQ(App_postCall(inst, callFn, &wrapped, nullptr), 0);
        for (int i = 0; i < 1000 && !ran; i++)
            fire();
        ASSERT_TRUE(ran);
        settle();
    }
    // Fires the host timer while it is due no later than now.
    void settle()
    {
        int64_t due = 0;
        for (int i = 0; i < 1000 && armed(&due) && due <= now(); i++)
            fire();
    }
    // Fires the host timer at each due time up to t0 + t; the clock ends at
    // t0 + t.
    void runTo(int64_t t)
    {
        int64_t due = 0;
        for (int i = 0; i < 100000 && armed(&due) && due <= t0 + t; i++)
            fire();
        if (now() < t0 + t)
            Headless_advanceClock(host, t0 + t - now());
        settle();
    }
    void press(int32_t key)
    {
        ASSERT_EQ(Engine_keyPress(inst, key, 0), 1);
        settle();
    }
    void release(int32_t key)
    {
        ASSERT_EQ(Engine_keyRelease(inst, key), 1);
        settle();
    }
    // Starts the time that the log counts from.
    void mark()
    {
        t0 = now();
        log().clear();
    }
    void setConfig(const char16_t *key, uint32_t value)
    {
        onApp([&] {
            Config_setInt(context, context->config, nullptr, key, value, 0);
            KeyRepeat_markDirty(inst);
        });
    }

    EngineContext *context = nullptr;
    Edr_Doc *doc = nullptr;
    FvZoomPanSettings settings{};
    FvView view{};
    FvPage pageRecord{}; // a page record without a page view
    int64_t t0 = 0;
    size_t baseline = 0;
};
