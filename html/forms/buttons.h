// Push buttons (class 12), radio buttons (13), check boxes (14) and text
// labels (22), all derived from the skin class 11. The buttons draw their
// built-in looks (bevelled shapes in translucent grey over the face); the
// label holds a text look and is also the text inside push buttons and
// text fields and the option of a list box.
#pragma once

#include <cstdint>

struct EngineContext;
struct FormValue;
struct FormWidget;
struct SkinShape;

enum : int32_t {
    FormButton_padX = 9102, // the label's width plus this is the button's
    FormButton_padY = 3640,
    FormButton_insetX = 4551, // the label sits this far inside the button
    FormButton_insetY = 1820,
    FormButton_boxSize = 9102, // radio buttons and check boxes: 10 points square
};

// Push button private data.
struct FormButtonData {
    FormWidget *label;
    uint32_t arrow; // 0 none; 1, 2 horizontal scroll-bar arrows; 3, 4 vertical
};

// Label private data.
struct FormLabelData {
    FormValue *text;
};

int Form_buttonRegister(EngineContext *context);
int Form_radioRegister(EngineContext *context);
int Form_checkRegister(EngineContext *context);
int Form_labelRegister(EngineContext *context);

// The arrow style of a push button, set before init.
int Form_buttonSetArrow(FormWidget *widget, uint32_t style);
// The push button's label child (null without one).
FormWidget *Form_buttonGetLabel(FormWidget *widget);
// The label's text look gets a copy of count characters; its mode becomes
// 514.
int Form_labelSetText(FormWidget *widget, const char16_t *chars, uint32_t count);
int Form_labelGetText(FormWidget *widget, char16_t **out);
int Form_labelGetLook(FormWidget *widget, FormValue **out);
int Form_labelSetNavigable(FormWidget *widget, int on);

// The built-in looks, in the unit square (x, y pairs, 16.16): a table of
// shapes and their colours 0xRRGGBBAA, by class.
struct FormBuiltinLook {
    const int32_t *points;
    uint32_t count;
    uint32_t colour;
};
// The arrow shape of a push-button style (3 for styles other than 1, 2, 4).
const FormBuiltinLook *Form_arrowLook(uint32_t style);
