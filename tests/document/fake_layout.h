// A stand-in for the layout pass in the manager tests. FakeLayout_install
// puts a table of layout's operations on the engine context that is
// layout's own but for the pass: a document whose layout word
// (Edr_Doc_setLayoutWord) holds a FakeLayout gets what the FakeLayout's
// pass returns instead of a layout pass; other documents are laid out.
#pragma once

#include "core/context/context.h"
#include "document/edr/doc.h"
#include "document/edr/layoutops.h"
#include "layout/docops.h"
#include "layout/layout.h"

struct EngineContext;
struct Edr_Doc;

struct FakeLayout {
    int (*pass)(void *argument, Edr_Doc *doc);
    void *argument;
};

// The pass of the table: the FakeLayout's when the document has one.
inline int FakeLayout_pass(Edr_Doc *doc)
{
    const FakeLayout *fake =
        doc ? reinterpret_cast<const FakeLayout *>(doc->manager.layoutWord) : nullptr;
    if (fake && fake->pass)
        return fake->pass(fake->argument, doc);
    return Layout_document(doc);
}

// Fills table with layout's operations, the pass replaced as above, and
// installs it on context; the table must outlive its use.
// FakeLayout_remove puts layout's own table back.
inline void FakeLayout_install(EngineContext *context, Edr_LayoutOps *table)
{
    (void)Layout_installDocumentOps(context);
    *table = *context->layoutOps;
    table->layoutDocument = FakeLayout_pass;
    context->layoutOps = table;
}

inline void FakeLayout_remove(EngineContext *context)
{
    (void)Layout_installDocumentOps(context);
}
