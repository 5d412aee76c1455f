// The layout pass stand-in of the manager tests (fake_layout.h).
#include "tests/document/fake_layout.h"

#include "core/context/context.h"
#include "document/edr/doc.h"
#include "layout/docops.h"
#include "layout/layout.h"

namespace {

int FakeLayout_pass(Edr_Doc *doc)
{
    const FakeLayout *fake = doc ? reinterpret_cast<const FakeLayout *>(doc->manager.layoutWord) : nullptr;
    if (fake && fake->pass)
        return fake->pass(fake->argument, doc);
    return Layout_document(doc);
}

} // namespace

void FakeLayout_install(EngineContext *context, Edr_LayoutOps *table)
{
    (void)Layout_installDocumentOps(context);
    *table = *context->layoutOps;
    table->layoutDocument = FakeLayout_pass;
    context->layoutOps = table;
}

void FakeLayout_remove(EngineContext *context)
{
    (void)Layout_installDocumentOps(context);
}
