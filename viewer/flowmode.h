// Flow view: the shown document's text reflowed to the width of the
// screen instead of laid-out pages.
//
// The engine keeps three view-mode words (EngineContext::flowMode,
// flowWidth, flowTextSize) that the layout reads; the viewer's flow view
// operations (FvModeOps, slot 2 of its callback record) decide whether the shown document can
// flow, post the width to its layout (message 24 on, 25 off) and keep one
// screen-update block while the flowed layout is built.
#pragma once

#include <cstdint>

struct EngineContext;
struct Edr_Doc;
struct FvViewer;
struct FvModeOps;

enum : int32_t {
    Fv_messageFlowOn = 24,
    Fv_messageFlowOff = 25,
};

// Stores the mode (and the width for modes 1 and 3) and posts message 24
// (flow) or 25 (pages) for document. The post's result; 0 without engine.
int ViewMode_post(EngineContext *engine, Edr_Doc *document, uint32_t mode, uint32_t width);
// ViewMode_get is declared with the document view services
// (viewer/docview.h).
void ViewMode_setTextSize(EngineContext *engine, int32_t size);
int32_t ViewMode_getTextSize(EngineContext *engine);

// Makes the operations record in slot 2 of the viewer's callback record
// (the old one freed). 1 done; 0 without viewer, callback record or memory.
int FlowMode_install(FvViewer *viewer);
// Frees the record (the slot becomes null: no flow view).
void FlowMode_free(FvViewer *viewer);
// The record, or null without one.
FvModeOps *FlowMode_ops(FvViewer *viewer);
int32_t FlowMode_getMode(FvViewer *viewer);
[[nodiscard]] int FlowMode_setMode(FvViewer *viewer, int32_t mode);
void FlowMode_leave(FvViewer *viewer, int refit);
void FlowMode_setTextSize(FvViewer *viewer, int32_t sizeCode);
int32_t FlowMode_refresh(FvViewer *viewer);
void FlowMode_report(FvViewer *viewer, int32_t result);
// The flow width of the bound screen: width x 65536 / resolution.
uint32_t FlowMode_width(FvViewer *viewer);
