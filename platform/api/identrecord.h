// The identity record: what the engine instance keeps from start-up to
// shut-down for the identity screen (viewer/screen/ident.h), made and
// freed with the instance.
#pragma once

#include <cstdint>

struct EngineInstance;

// Three words: portrait and landscape image URL texts that replace the
// caller's (null keeps them), and a result that, when non-zero, the
// identity screen returns at once without showing anything.
struct IdentRecord {
    void *portraitUrl;
    void *landscapeUrl;
    intptr_t result;
};

// Creates the instance's identity record (zeroed). 0, or 1 without memory.
int Ident_createRecord(EngineInstance *instance);

// Frees the instance's identity record and clears the pointer. Nothing when
// there is none.
void Ident_freeRecord(EngineInstance *instance);
