// The scroll bar (widget class 15): two arrow push buttons and a thumb laid
// out along the bar's long axis, an integer range with a position, a line
// step and a page step. It draws a frame around itself; its owner moves
// the position and lays it out again.
#pragma once

#include <cstdint>

struct EngineContext;
struct FormValue;
struct FormWidget;

struct FormScrollData {
    FormWidget *first;  // role 0
    FormWidget *second; // role 1
    uint32_t thumbShown;
    FormWidget *thumb; // role 2
    int32_t trough[4];
    FormValue *frame;
    int32_t position;
    int32_t maximum;
    int32_t minimum;
    int32_t pageStep;
    int32_t lineStep;
};

int Form_scrollRegister(EngineContext *context);
// The bar's private data (null for another widget).
FormScrollData *Form_scrollData(const FormWidget *widget);
int Form_scrollGetPosition(FormWidget *widget, int32_t *position);
// Stores the position as given (not clamped).
int Form_scrollSetPosition(FormWidget *widget, int32_t position);
int Form_scrollSetRange(FormWidget *widget, int32_t minimum, int32_t maximum);
int Form_scrollSetSteps(FormWidget *widget, int32_t lineStep, int32_t pageStep);
// Forward by a page or a line, not beyond the maximum; back, not below
// the minimum.
int Form_scrollForward(FormWidget *widget, int byPage);
int Form_scrollBack(FormWidget *widget, int byPage);
