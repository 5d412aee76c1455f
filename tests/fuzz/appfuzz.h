// The engine that document fuzz targets run their inputs in: a test heap
// with the worker pool, the application's message dispatcher and timer
// thread, the character-set hooks and a configuration store, and the
// document application started and stopped on engine tasks. The heap must
// be back at its baseline when the engine stops.
#pragma once

#include <cstddef>
#include <cstdlib>

#include "core/config/config.h"
#include "core/task/eventproc.h"
#include "core/task/task.h"
#include "core/task/timerq.h"
#include "core/task/worker.h"
#include "core/text/charset_cjk.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "platform/api/engine.h"
#include "tests/support/test_engine.h"

namespace appfuzz {

inline void require(bool ok)
{
    if (!ok)
        abort();
}

// Runs fn(argument) on an engine task until the engine is idle.
inline void runOnTask(TestEngine *engine, void (*fn)(void *), void *argument)
{
    Task *t = nullptr;
    require(Task_create(engine->context, &t, 3, fn, argument, "fuzz", 4096) == 0);
    Task_detach(t);
    TestEngine_runAll(engine, 1000000);
}

inline void startApp(void *argument)
{
    require(Edr_App_init(static_cast<EngineContext *>(argument), 0) == 0);
}

inline void stopApp(void *argument)
{
    EngineContext *ctx = static_cast<EngineContext *>(argument);
    EventProcCodeMsg m{999, nullptr, nullptr, 0};
    require(EventProc_postPlainCode(ctx->eventProc, &m) == 0);
    AppMsg_drain(ctx->eventProc);
    require(TimerQ_stopThread(ctx, ctx->eventProc) == 0);
    Edr_App_fini(ctx);
    Config_freeStore(ctx, ctx->config);
    ctx->config = nullptr;
    AppMsg_destroyDispatcher(ctx->eventProc);
    ctx->eventProc = nullptr;
    Worker_shutdownPool(ctx);
}

// Starts the services and the application on engine (opened by the
// caller), runs body(argument) on a task, lets pending work finish, stops
// everything and checks that the heap is back where it was before the start.
inline void run(TestEngine *engine, void (*body)(void *), void *argument)
{
    EngineContext *ctx = engine->context;
    size_t baseline = TestHeap_usedBytes();
    require(Worker_initPool(ctx) == 0);
    require(AppMsg_createDispatcher(ctx, &ctx->eventProc) == 0);
    require(TimerQ_startThread(ctx, ctx->eventProc) == 0);
    require(Charset_createHooks(ctx) == 0 && Charset_installJapanese(ctx->charsetHooks) == 0);
    ctx->config = Config_createStore(ctx, u"fuzz");
    require(ctx->config != nullptr);
    runOnTask(engine, startApp, ctx);
    runOnTask(engine, body, argument);
    TimerQ_wakeThread(ctx);
    TestEngine_runAll(engine, 1000000);
    runOnTask(engine, stopApp, ctx);
    Charset_destroyHooks(ctx);
    require(TestHeap_usedBytes() == baseline);
}

// The lighter engine of targets that need only the worker pool, the
// message dispatcher and the document application: runs body(argument) on
// a task between the application's start and stop, and checks the heap is
// back at its baseline.
inline void stopPlainApp(void *argument)
{
    EngineContext *ctx = static_cast<EngineContext *>(argument);
    EventProcCodeMsg m{999, nullptr, nullptr, 0};
    require(EventProc_postPlainCode(ctx->eventProc, &m) == 0);
    AppMsg_drain(ctx->eventProc);
    Edr_App_fini(ctx);
    AppMsg_destroyDispatcher(ctx->eventProc);
    ctx->eventProc = nullptr;
    Worker_shutdownPool(ctx);
}

inline void runPlain(TestEngine *engine, void (*body)(void *), void *argument)
{
    EngineContext *ctx = engine->context;
    size_t baseline = TestHeap_usedBytes();
    require(Worker_initPool(ctx) == 0);
    require(AppMsg_createDispatcher(ctx, &ctx->eventProc) == 0);
    runOnTask(engine, startApp, ctx);
    runOnTask(engine, body, argument);
    TestEngine_runAll(engine, 1000000);
    runOnTask(engine, stopPlainApp, ctx);
    require(TestHeap_usedBytes() == baseline);
}

} // namespace appfuzz
