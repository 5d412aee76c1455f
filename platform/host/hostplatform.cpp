// The host platform record (system allocator: a host record outside the
// engine's heap), and the freeing of a host-allocated block.
#include "platform/host/hostplatform.h"

#include <cstdlib>

HostPlatform *HostPlatform_create(void *owner)
{
    HostPlatform *hp = static_cast<HostPlatform *>(calloc(1, sizeof(HostPlatform)));
    if (!hp)
        return nullptr;
    hp->owner = owner;
    hp->scale = 0x10000;
    hp->screenHeight = 0x40000000;
    hp->areaX0 = int32_t(0xC0000000u);
    hp->areaY0 = int32_t(0xC0000000u);
    hp->areaX1 = 0x40000000;
    return hp;
}

void HostPlatform_destroy(HostPlatform *hp)
{
    free(hp);
}

void HostPlatform_setCallback(HostPlatform *hp, HostTimerFn callback, void *word, void *argument)
{
    if (!hp)
        return;
    hp->timerCallback = callback;
    hp->callbackWord = word;
    hp->callbackArgument = argument;
}

void HostPlatform_setScreenArea(HostPlatform *hp, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    if (!hp)
        return;
    hp->areaX0 = x0;
    hp->areaY0 = y0;
    hp->areaX1 = x1;
    hp->areaY1 = y1;
}

void HostPlatform_setKeyMode(HostPlatform *hp, uint32_t mode)
{
    if (hp)
        hp->keyMode = mode;
}

void Host_setScreenHeight(HostPlatform *hp, int32_t height)
{
    if (hp)
        hp->screenHeight = height;
}

void Host_freeAndClear(void **pointer)
{
    if (!pointer)
        return;
    free(*pointer);
    *pointer = nullptr;
}
