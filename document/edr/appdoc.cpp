// The application's table of document callbacks (document/edr/appdoc.h).
#include "document/edr/appdoc.h"

#include "core/context/context.h"
#include "document/edr/doc.h"

namespace {

const AppDocCallbacks *appDocTableOf(Edr_Doc *doc)
{
    return doc ? AppDoc_getCallbacks(Edr_Doc_queryApp(doc)) : nullptr;
}

} // namespace

const AppDocCallbacks *AppDoc_getCallbacks(EngineContext *app)
{
    return app && app->edrApp ? app->edrApp->docCallbacks : nullptr;
}

int AppDoc_callSlot1(Edr_Doc *doc)
{
    const AppDocCallbacks *t = appDocTableOf(doc);
    return t && t->pagePublished ? t->pagePublished(doc) : 0;
}

int Edr_Doc_callSelectionHook(Edr_Doc *doc)
{
    const AppDocCallbacks *t = appDocTableOf(doc);
    return t && t->selectionChanged ? t->selectionChanged(doc) : 0;
}
