#include "tests/support/test_app.h"

#include "core/task/task.h"
#include "host/headless/headless.h"
#include "platform/api/hostevent.h"
#include "platform/host/hostthread.h"

namespace {

void appThread(void *arg)
{
    EngineInstance *inst = static_cast<EngineInstance *>(arg);
    inst->appTask = Task_current(inst->context);
    TestApp *app = TestApp_of(inst);
    App_sendRequest(inst, Engine_requestReady, app ? &app->readyRecord : nullptr);
    App_eventLoop(inst->context);
    if (app)
        app->loopEnded = 1;
}

} // namespace

int TestApp_entry(EngineInstance *instance, const AppEvent *startEvent)
{
    TestApp *app = reinterpret_cast<TestApp *>(startEvent->block[4]);
    if (app && app->skipQueue)
        return 1;
    if (AppEvent_queueCreate(instance, app ? &app->callbacks : nullptr) != 0)
        return 0;
    if (app)
        App_registerObject(instance, App_objectViewer, app);
    Task *task = nullptr;
    if (Task_create(instance->context, &task, 2, appThread, instance, "SimpleAppThread", 16384) !=
        0)
        return 0;
    return app && app->failEntry ? 0 : 1;
}

TestApp *TestApp_of(EngineInstance *instance)
{
    return static_cast<TestApp *>(App_getObject(instance));
}

int TestApp_start(HostContext *host, TestApp *app, int heapFlags)
{
    Headless_setCurrent(host);
    intptr_t options[4] = {0, reinterpret_cast<intptr_t>(app), 0, 0};
    int r = Engine_start(host, options, TestApp_entry, AlienThread_getInstaller(), heapFlags);
    if (r && host->instance) {
        Engine_setQueueOptions(host->instance, 0, 0);
        Engine_setTimeSlice(host->instance, 0, 100);
    }
    return r;
}

const char *TestApp_currentTaskName(EngineInstance *instance)
{
    Task *t = instance ? Task_current(instance->context) : nullptr;
    return t && t->name ? t->name : "";
}
