// The identity screen shown at start-up.
//
// The three operations that the viewer reaches through its callback record
// (IdentOps); the identity record they read is the engine instance's
// (platform/api/identrecord.h). The picture is drawn by a task "Ident"
// that keeps the screen's updates blocked until its time is up or it is
// stopped; the notice line below it uses the "tahoma" family of the font
// map.
#pragma once

#include <cstdint>

#include "platform/api/identrecord.h"

struct EngineContext;
struct FvScreen;
struct PixelBuf;
struct Screen;
struct Task;

// What runs when the identity screen ends: routine(argument), posted to
// the application.
struct IdentDone {
    void (*routine)(void *argument);
    void *argument;
};

// Shows the identity picture (portrait or landscape URL text) on screen
// for ms milliseconds (0: until stopped) on a task of its own, whose handle
// goes to *task (null when none runs); done, when given, runs at the end.
// 0 or an error.
[[nodiscard]] int Ident_show(EngineContext *context, const char *portrait, const char *landscape,
                             Task **task, FvScreen *screen, int32_t ms, const IdentDone *done);
// Ends the identity screen whose task is *task (nothing without one) and
// clears *task. 0.
int Ident_stop(EngineContext *context, FvScreen *screen, Task **task);
// 1 while the identity screen's task runs, else 0.
int Ident_isRunning(Task *const *task);

// Paints the screen black, the picture centred above the space of the
// notice line (at the top when it does not fit), and the notice line.
void Ident_draw(EngineContext *context, Screen *screen, const PixelBuf *picture);
// The task's entry: argument is its block, which it frees at its end.
void Ident_taskMain(void *argument);

// The viewer's table of the three operations, in slot order.
struct IdentOps {
    int (*show)(EngineContext *context, const char *portrait, const char *landscape, Task **task,
                FvScreen *screen, int32_t ms, const IdentDone *done);
    int (*stop)(EngineContext *context, FvScreen *screen, Task **task);
    int (*running)(Task *const *task);
};
