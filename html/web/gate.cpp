// Shared-exclusive gate.
#include "html/web/gate.h"

#include "core/mem/mem.h"
#include "core/result.h"

int Gate_init(EngineContext *context, Gate *gate, uint8_t maxShared)
{
    gate->maxShared = maxShared;
    gate->shared = 0;
    gate->exclusive = 0;
    int err = Lock_init(context, &gate->lock);
    if (err)
        return err;
    return Sem_init(context, &gate->wake, 0, 1);
}

int Gate_create(EngineContext *context, Gate **out, uint8_t maxShared)
{
    *out = nullptr;
    Gate *gate = static_cast<Gate *>(Mem_calloc(1, sizeof(Gate)));
    if (!gate)
        return Res_noMemory;
    int err = Gate_init(context, gate, maxShared);
    if (err) {
        Mem_free(gate);
        return err;
    }
    *out = gate;
    return Res_ok;
}

int Gate_fini(Gate *gate)
{
    if (Gate_isHeld(gate))
        return Res_gateHeld;
    Sem_fini(&gate->wake);
    Lock_fini(&gate->lock);
    return Res_ok;
}

int Gate_destroy(Gate *gate)
{
    if (!gate)
        return Res_ok;
    int err = Gate_fini(gate);
    if (err)
        return err;
    Mem_free(gate);
    return Res_ok;
}

int Gate_enterShared(Gate *gate)
{
    Lock_acquire(&gate->lock);
    while (gate->exclusive) {
        Lock_release(&gate->lock);
        Sem_wait(&gate->wake);
        Lock_acquire(&gate->lock);
    }
    int err = Res_ok;
    if (gate->shared >= gate->maxShared)
        err = Res_gateFull;
    else
        gate->shared++;
    Lock_release(&gate->lock);
    return err;
}

int Gate_leaveShared(Gate *gate)
{
    Lock_acquire(&gate->lock);
    int err = Res_ok;
    if (gate->shared == 0) {
        err = Res_gateNotHeld;
    } else if (--gate->shared == 0) {
        Sem_signal(&gate->wake);
    }
    Lock_release(&gate->lock);
    return err;
}

int Gate_enterExclusive(Gate *gate)
{
    Lock_acquire(&gate->lock);
    while (gate->shared || gate->exclusive) {
        Lock_release(&gate->lock);
        Sem_wait(&gate->wake);
        Lock_acquire(&gate->lock);
    }
    gate->exclusive = 1;
    Lock_release(&gate->lock);
    return Res_ok;
}

int Gate_leaveExclusive(Gate *gate)
{
    Lock_acquire(&gate->lock);
    int err = Res_ok;
    if (!gate->exclusive) {
        err = Res_gateNotHeld;
    } else {
        gate->exclusive = 0;
        Sem_signal(&gate->wake);
    }
    Lock_release(&gate->lock);
    return err;
}

int Gate_isHeld(Gate *gate)
{
    return gate->shared != 0 || gate->exclusive != 0;
}

int Gate_sharedCount(Gate *gate, uint32_t *count)
{
    if (count)
        *count = gate->shared;
    return gate->shared != 0;
}
