// The exit list: functions run once when the engine shuts down, newest
// first. The engine instance keeps one (EngineInstance::exitList).
#pragma once

#include <cstdint>

typedef void (*ExitFn)(void *owner, void *argument);

struct ExitHandler {
    ExitFn function;
    void *argument;
    int32_t id;
    ExitHandler *next;
};

struct ExitList {
    void *owner;
    ExitHandler *first;
    int32_t nextId; // starts at 1
};

// A new empty list for owner. 0 with *list set; 1 without memory;
// Res_missingArgument for a null out pointer.
int ExitList_create(void *owner, ExitList **list);
// Adds function(owner, argument) at the head; its id goes to *id. 0; 1
// without memory; Res_missingArgument for a null list or function.
int ExitList_add(ExitList *list, ExitFn function, void *argument, int32_t *id);
// Unlinks the handler with *id and clears *id.
void ExitList_remove(ExitList *list, int32_t *id);
// Calls every handler from the head, unlinking and freeing each first.
void ExitList_runAll(ExitList *list);
// Frees the list record (and any handlers left) and clears *list.
void ExitList_free(ExitList **list);
