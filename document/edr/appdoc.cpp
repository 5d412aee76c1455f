// The application's table of document callbacks (document/edr/appdoc.h).
#include "document/edr/appdoc.h"

#include "core/context/context.h"
#include "document/edr/doc.h"

namespace
{

const AppDocCallbacks *appDocTableOf(Edr_Doc *doc)
{
    return doc ? AppDoc_getCallbacks(Edr_Doc_queryApp(doc)) : nullptr;
}

} // namespace

const AppDocCallbacks *AppDoc_getCallbacks(EngineContext *app)
{
    return app && app->edrApp ? app->edrApp->docCallbacks : nullptr;
}

void AppDoc_setCallbacks(EngineContext *app, const AppDocCallbacks *table)
{
    if (app && app->edrApp)
        app->edrApp->docCallbacks = table;
}

int AppDoc_callSlot0(Edr_Doc *doc, const intptr_t words[7])
{
    const AppDocCallbacks *t = appDocTableOf(doc);
    return t && t->slot0 ? t->slot0(doc, words) : 0;
}

int AppDoc_callSlot1(Edr_Doc *doc)
{
    const AppDocCallbacks *t = appDocTableOf(doc);
    return t && t->slot1 ? t->slot1(doc) : 0;
}

int AppDoc_callSlot2(Edr_Doc *doc, intptr_t a, intptr_t b, intptr_t c)
{
    const AppDocCallbacks *t = appDocTableOf(doc);
    return t && t->slot2 ? t->slot2(doc, a, b, c) : 0;
}

int Edr_Doc_callSelectionHook(Edr_Doc *doc)
{
    const AppDocCallbacks *t = appDocTableOf(doc);
    return t && t->selectionChanged ? t->selectionChanged(doc) : 0;
}

int AppDoc_callSlot4(Edr_Doc *doc, intptr_t a, intptr_t b, intptr_t c)
{
    const AppDocCallbacks *t = appDocTableOf(doc);
    return t && t->slot4 ? t->slot4(doc, a, b, c) : 0;
}

int AppDoc_callSlot5(Edr_Doc *doc)
{
    const AppDocCallbacks *t = appDocTableOf(doc);
    return t && t->slot5 ? t->slot5(doc) : 0;
}

int AppDoc_callSlot6(Edr_Doc *doc, intptr_t a)
{
    const AppDocCallbacks *t = appDocTableOf(doc);
    return t && t->slot6 ? t->slot6(doc, a) : 0;
}
