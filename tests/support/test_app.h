// Test support: a minimal application for engine start-up tests.
//
// TestApp_entry is an application entry: it creates the application queue
// with the TestApp's callbacks, registers the TestApp as application object
// 1 and starts "SimpleAppThread", which records itself as the application
// task, sends the ready request 0x10004 and runs the application loop until
// the close event. The TestApp travels in start option word 1.
#pragma once

#include <cstdint>

#include "platform/api/appqueue.h"
#include "platform/api/engine.h"

struct HostContext;

struct TestApp {
    FvAppCallbacks callbacks;
    int failEntry;   // the entry answers 0 after creating everything
    int skipQueue;   // the entry answers 1 without creating the queue
    int readyRecord; // what the ready request points at
    int loopEnded;   // the loop returned on the application thread
};

// The application entry (see above).
int TestApp_entry(EngineInstance *instance, const AppEvent *startEvent);

// The TestApp of an engine started with TestApp_entry (application object 1).
TestApp *TestApp_of(EngineInstance *instance);

// Starts an engine on host with TestApp_entry and app, the way the headless
// host does (host event 0x10007, then queue options 0, 0 and time slice
// 0, 100 when the start succeeded). Returns the entry's result.
int TestApp_start(HostContext *host, TestApp *app, int heapFlags = 0);

// Name of the task running now ("" on the GUI thread).
const char *TestApp_currentTaskName(EngineInstance *instance);
