// The application's table of document callbacks.
//
// The application record of a document's engine (Edr_App, reached through
// Edr_Doc_queryApp) may hold a table of seven callbacks that the document
// model calls at fixed moments; the application installs it and keeps it
// alive while documents exist (null: none). Each dispatcher calls its slot
// with the document first and returns the slot's result; 0 when the
// document, the table or the slot is missing.
#pragma once

#include <cstdint>

struct EngineContext;
struct Edr_Doc;

struct AppDocCallbacks {
    int (*slot0)(Edr_Doc *doc, const intptr_t words[7]);
    int (*slot1)(Edr_Doc *doc);                 // a page of the document was published
    int (*slot2)(Edr_Doc *doc, intptr_t a, intptr_t b, intptr_t c);
    int (*selectionChanged)(Edr_Doc *doc);      // slot 3: the selection may have changed
    int (*slot4)(Edr_Doc *doc, intptr_t a, intptr_t b, intptr_t c);
    int (*slot5)(Edr_Doc *doc);
    int (*slot6)(Edr_Doc *doc, intptr_t a);
};

// The table of the application (null when there is none).
const AppDocCallbacks *AppDoc_getCallbacks(EngineContext *app);

int AppDoc_callSlot1(Edr_Doc *doc);
int Edr_Doc_callSelectionHook(Edr_Doc *doc);
