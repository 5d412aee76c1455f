// The host platform record: one per host, with the host's timer callback,
// screen area and input mode. It lives outside the engine's heap, made and
// freed with the system allocator, like the host's other records.
#pragma once

#include <cstdint>

typedef void (*HostTimerFn)(void *argument, int32_t ms);

// The host platform record: one per host, made at start-up and kept in the
// host context (HostContext::platform).
struct HostPlatform {
    void *owner;               // the object given to HostPlatform_create
    HostTimerFn timerCallback; // stops the host timer and, for ms > 0, starts it single-shot
    void *callbackWord;
    void *callbackArgument;
    uintptr_t reserved[2];
    uint32_t keyMode; // 0, then 7, 15, 23 or 31 from the host's input mode
    int32_t scale;    // 0x10000 (16.16 one)
    int32_t reserved2;
    int32_t screenHeight; // 0x40000000 until set (unbounded)
    int32_t reserved3;
    int32_t areaX0, areaY0, areaX1, areaY1; // usable screen rectangle
};

// A new platform record (system allocator); null when out of memory.
HostPlatform *HostPlatform_create(void *owner);
// Frees the record; null is allowed.
void HostPlatform_destroy(HostPlatform *hp);
void HostPlatform_setCallback(HostPlatform *hp, HostTimerFn callback, void *word, void *argument);
void HostPlatform_setScreenArea(HostPlatform *hp, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
void HostPlatform_setKeyMode(HostPlatform *hp, uint32_t mode);
void Host_setScreenHeight(HostPlatform *hp, int32_t height);
// Frees *pointer with the system allocator and clears it.
void Host_freeAndClear(void **pointer);
