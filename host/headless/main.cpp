// vexlan-headless: runs the engine without a screen.
//
// It starts the engine through the host event interface with a small
// application of its own (an application thread that reports ready and
// serves its queue), drives it by firing the slice timer the engine asks
// for, posts a few calls to the application thread, and stops it cleanly,
// checking that every block of memory came back. Opening documents comes
// with the engine's later layers.
#include <cstdio>
#include <cstring>

#include "core/mem/mem.h"
#include "core/task/task.h"
#include "host/headless/headless.h"
#include "platform/api/appqueue.h"
#include "platform/api/engine.h"
#include "platform/api/hostevent.h"

namespace {

// The application thread: reports ready, then serves the queue until the
// close event.
void appThread(void *arg)
{
    EngineInstance *inst = static_cast<EngineInstance *>(arg);
    inst->appTask = Task_current(inst->context);
    App_sendRequest(inst, Engine_requestReady, nullptr);
    App_eventLoop(inst->context);
}

int appEntry(EngineInstance *instance, const AppEvent *)
{
    if (AppEvent_queueCreate(instance, nullptr) != 0)
        return 0;
    Task *task = nullptr;
    return Task_create(instance->context, &task, 2, appThread, instance, "SimpleAppThread", 16384) == 0
               ? 1
               : 0;
}

void sayHello(EngineInstance *instance, void *arg)
{
    Task *t = Task_current(instance->context);
    printf("vexlan-headless: call %ld ran on %s\n", long(reinterpret_cast<intptr_t>(arg)),
           t && t->name ? t->name : "?");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 2 || (argc == 2 && (!strcmp(argv[1], "-h") || !strcmp(argv[1], "--help")))) {
        fprintf(stderr, "usage: %s [document]\n", argv[0]);
        return 2;
    }
    HostContext *host = Headless_createContext(0);
    if (!host) {
        fprintf(stderr, "vexlan-headless: out of memory\n");
        return 1;
    }
    if (!Headless_startEngine(host, nullptr, appEntry, 0)) {
        fprintf(stderr, "vexlan-headless: the engine did not start\n");
        Headless_destroyContext(host);
        return 1;
    }
    EngineInstance *inst = host->instance;
    printf("vexlan-headless: engine started with a heap of %zu bytes\n", Mem_getInitialSize());
    Headless_runTimers(host, 100);
    if (Headless_requestsOf(host, Engine_requestReady) != 1) {
        fprintf(stderr, "vexlan-headless: the application did not report ready\n");
        Engine_stop(inst);
        Headless_destroyContext(host);
        return 1;
    }
    printf("vexlan-headless: application ready\n");
    for (intptr_t i = 1; i <= 3; i++)
        App_postCall(inst, sayHello, reinterpret_cast<void *>(i), nullptr);
    Headless_runTimers(host, 100);
    if (argc == 2)
        printf("vexlan-headless: %s not opened: this build cannot open documents yet\n", argv[1]);

    int stopped = Engine_stop(inst);
    int64_t held = Headless_blocksHeld(host);
    printf("vexlan-headless: engine %s, %ld host blocks held\n", stopped ? "stopped" : "did not stop",
           long(held));
    Headless_destroyContext(host);
    return stopped && held == 0 ? 0 : 1;
}
