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
    return t && t->withWords ? t->withWords(doc, words) : 0;
}

int AppDoc_callSlot1(Edr_Doc *doc)
{
    const AppDocCallbacks *t = appDocTableOf(doc);
    return t && t->pagePublished ? t->pagePublished(doc) : 0;
}

int AppDoc_callSlot2(Edr_Doc *doc, intptr_t a, intptr_t b, intptr_t c)
{
    const AppDocCallbacks *t = appDocTableOf(doc);
    return t && t->withThree ? t->withThree(doc, a, b, c) : 0;
}

int Edr_Doc_callSelectionHook(Edr_Doc *doc)
{
    const AppDocCallbacks *t = appDocTableOf(doc);
    return t && t->selectionChanged ? t->selectionChanged(doc) : 0;
}

int AppDoc_callSlot4(Edr_Doc *doc, intptr_t a, intptr_t b, intptr_t c)
{
    const AppDocCallbacks *t = appDocTableOf(doc);
    return t && t->withThreeMore ? t->withThreeMore(doc, a, b, c) : 0;
}

int AppDoc_callSlot5(Edr_Doc *doc)
{
    const AppDocCallbacks *t = appDocTableOf(doc);
    return t && t->docOnly ? t->docOnly(doc) : 0;
}

int AppDoc_callSlot6(Edr_Doc *doc, intptr_t a)
{
    const AppDocCallbacks *t = appDocTableOf(doc);
    return t && t->withWord ? t->withWord(doc, a) : 0;
}
