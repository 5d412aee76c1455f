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
    int (*withWords)(Edr_Doc *doc, const intptr_t words[7]); // slot 0
    int (*pagePublished)(Edr_Doc *doc); // slot 1: a page of the document was published
    int (*withThree)(Edr_Doc *doc, intptr_t a, intptr_t b, intptr_t c); // slot 2
    int (*selectionChanged)(Edr_Doc *doc); // slot 3: the selection may have changed
    int (*withThreeMore)(Edr_Doc *doc, intptr_t a, intptr_t b, intptr_t c); // slot 4
    int (*docOnly)(Edr_Doc *doc);                                           // slot 5
    int (*withWord)(Edr_Doc *doc, intptr_t a);                              // slot 6
};

// The table of the application (null when there is none).
const AppDocCallbacks *AppDoc_getCallbacks(EngineContext *app);

int AppDoc_callSlot1(Edr_Doc *doc); // slot 1: a page was published
int Edr_Doc_callSelectionHook(Edr_Doc *doc);
