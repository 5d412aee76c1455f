// The headless host: the host services over POSIX, without a screen.
//
// Tests and the command-line tools link it in place of the GUI host. It
// keeps one current host context for the process (Host_getThreadContext has
// no argument), a clock that tests can drive by hand, and a debug sink that
// can capture what the engine prints.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/host.h"

// A new host context with the given engine heap size (0 = the default of
// 64 MiB; never below 1 MiB). Null when the system has no memory.
HostContext *Headless_createContext(size_t heapBytes);
void Headless_destroyContext(HostContext *host);

// Makes host the process's current context (null for none).
void Headless_setCurrent(HostContext *host);
HostContext *Headless_current();

// The clock: real (monotonic) by default; in manual mode it stands still
// until a test advances it.
void Headless_setManualClock(HostContext *host, int manual);
void Headless_advanceClock(HostContext *host, int64_t ms);

// A test hook called with arg on every clock read, before the value is
// returned (null turns it off). It runs on whichever thread reads the clock.
void Headless_setClockHook(HostContext *host, void (*hook)(void *arg), void *arg);

// Debug output: discarded unless capture is on; the captured text is kept
// until cleared.
void Headless_captureDebug(HostContext *host, int on);
const char *Headless_debugText(HostContext *host);
void Headless_clearDebug(HostContext *host);

// The local time Host_getLocalTime gives: the system's by default; after a
// call with a time, that time, standing still, until a call with null.
void Headless_setLocalTime(HostContext *host, const HostLocalTime *time);
