// The plain-text importer as the document-type registry sees it.
//
// Only the services that modules built before the importer call are
// declared here so far; document/interim.cpp holds interim definitions.
#pragma once

struct EngineContext;
struct Edr_HandlerDesc;

// Fills the plain-text handler's descriptor. 0.
int TextDoc_describe(EngineContext *context, Edr_HandlerDesc *desc);
