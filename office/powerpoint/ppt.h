// The PowerPoint handler as the document-type registry sees it.
//
// Only the services that modules built before the presentation reader call
// are declared here so far; office/interim.cpp holds interim definitions.
#pragma once

struct EngineContext;
struct Edr_HandlerDesc;

// Fills the PowerPoint handler's descriptor. 0.
int Ppt_describe(EngineContext *context, Edr_HandlerDesc *desc);
