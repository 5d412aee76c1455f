// The eDR manager: turns changes to a document into layout passes.
//
// Only the services that modules built before the manager call are
// declared here so far.
#pragma once

struct Edr_Doc;

// Reports a change: schedules a pass when none is. 0 or the timer error.
int Edr_Mgr_queueChange(Edr_Doc *doc);
// Stops the manager of a document being destroyed.
void Edr_Mgr_stop(Edr_Doc *doc);
// Busy counting of pending items (image loads).
void Edr_Mgr_busyBegin(Edr_Doc *doc);
void Edr_Mgr_busyEnd(Edr_Doc *doc);
// Tells the manager that a load ended: when loading work is counted, the
// settle notification becomes due and is tried at once.
void Edr_Mgr_flushSettle(Edr_Doc *doc);
