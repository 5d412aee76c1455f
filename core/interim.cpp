// Interim definitions of core services whose modules are not built yet.
#include "core/task/timer.h"

#include "host/host.h"
#include "platform/api/engine.h"

// Interim: the host clock as it is, without the backward-step guard and the
// timer hook; enough for the scheduler's slices and yield points.
int64_t AlienTimer_getTimeMs(EngineInstance *instance)
{
    return instance ? AlienTimer_getMs(instance->host) : 0;
}
