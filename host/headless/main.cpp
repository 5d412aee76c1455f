// vexlan-headless: runs the engine without a screen.
//
// It starts the engine through the host event interface with the
// application entry (App_start), drives it by firing the slice timer the
// engine asks for, posts a few calls to the application thread, and stops
// it cleanly, checking that every block of memory came back. Documents are
// opened by docdump (tools/docdump).
#include <cstdio>
#include <cstring>

#include "core/mem/mem.h"
#include "core/task/task.h"
#include "host/headless/headless.h"
#include "app/app.h"
#include "platform/api/appqueue.h"
#include "platform/api/engine.h"
#include "platform/api/hostevent.h"

namespace {

void sayHello(EngineInstance *instance, void *arg)
{
    Task *t = Task_current(instance->context);
    printf("vexlan-headless: call %ld ran on %s\n", long(reinterpret_cast<intptr_t>(arg)),
           t && t->name ? t->name : "?");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1) {
        fprintf(stderr, "usage: %s\n(documents are opened by docdump)\n", argv[0]);
        return 2;
    }
    HostContext *host = Headless_createContext(0);
    if (!host) {
        fprintf(stderr, "vexlan-headless: out of memory\n");
        return 1;
    }
    if (!Headless_startEngine(host, nullptr, App_start, 0)) {
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

    int stopped = Engine_stop(inst);
    int64_t held = Headless_blocksHeld(host);
    printf("vexlan-headless: engine %s, %ld host blocks held\n",
           stopped ? "stopped" : "did not stop", long(held));
    Headless_destroyContext(host);
    return stopped && held == 0 ? 0 : 1;
}
