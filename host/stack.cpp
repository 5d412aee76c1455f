// The host service both hosts share: how much of the calling thread's real
// stack is left, which the engine's recursion guards measure against.
#include "core/host/hostservices.h"

#include <pthread.h>

#include <cstdint>

size_t Host_stackLeft()
{
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0)
        return 0;
    void *low = nullptr;
    size_t size = 0;
    int err = pthread_attr_getstack(&attr, &low, &size);
    pthread_attr_destroy(&attr);
    if (err != 0 || !low)
        return 0;
    uintptr_t here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    uintptr_t base = reinterpret_cast<uintptr_t>(low);
    return here > base && here - base <= size ? here - base : 0;
}
