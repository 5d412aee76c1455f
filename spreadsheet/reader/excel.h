// The Excel handler as the document-type registry sees it.
//
// Only the services that modules built before the spreadsheet reader call
// are declared here so far; spreadsheet/interim.cpp holds interim
// definitions.
#pragma once

struct EngineContext;
struct Edr_HandlerDesc;

// Fills the Excel handler's descriptor. 0.
int Excel_describe(EngineContext *context, Edr_HandlerDesc *desc);
