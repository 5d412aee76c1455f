// A stand-in for the layout pass in the manager tests. FakeLayout_install
// puts a table of layout's operations on the engine context that is
// layout's own but for the pass: a document whose layout word
// (Edr_Doc_setLayoutWord) holds a FakeLayout gets what the FakeLayout's
// pass returns instead of a layout pass; other documents are laid out.
#pragma once

#include "document/edr/layoutops.h"

struct EngineContext;
struct Edr_Doc;

struct FakeLayout {
    int (*pass)(void *argument, Edr_Doc *doc);
    void *argument;
};

// Fills table with layout's operations, the pass replaced as above, and
// installs it on context; the table must outlive its use.
// FakeLayout_remove puts layout's own table back.
void FakeLayout_install(EngineContext *context, Edr_LayoutOps *table);
void FakeLayout_remove(EngineContext *context);
