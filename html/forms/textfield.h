// The text field (widget class 16): the widget of text and password inputs
// and text areas, and the edit box of a file select. Its text lives in a
// label child (class 22) whose text look carries the editable text block;
// optional horizontal and vertical scroll bars, a frame, and the
// attributes columns, rows, maximum length, mask character, editable and
// autocomplete.
#pragma once

#include <cstdint>

struct EngineContext;
struct FormValue;
struct FormWidget;

enum : int32_t {
    FormText_pad = 3276,   // added to the content's width and height
    FormText_inset = 1638, // the text box inside the field
};

struct FormTextFieldData {
    uint32_t hasHBar;
    FormWidget *hBar;
    uint32_t hasVBar;
    FormWidget *vBar;
    int32_t textBox[4];
    uint16_t cols;
    uint16_t rows;
    uint32_t multiLine;
    int32_t lineHeight;
    FormWidget *label;
    FormValue *textLook; // the label's
    FormValue *frame;
    uint32_t editing;
    uint32_t editable;
    uint16_t mask;
    int32_t maxLength;
    uint32_t autocomplete;
};

int Form_textRegister(EngineContext *context);
FormTextFieldData *Form_textFieldData(const FormWidget *widget);
// A copy of the current text (null for none); Res_formNoWidget for a null
// argument.
int Form_textGetText(FormWidget *widget, char16_t **out);
// Replaces the whole text; the field takes the string.
int Form_textSetText(FormWidget *widget, char16_t *text);
int Form_textSetCols(FormWidget *widget, uint32_t cols);
int Form_textSetRows(FormWidget *widget, uint32_t rows);
int Form_textSetMaxLength(FormWidget *widget, int32_t length);
// Also turns the vertical scroll bar on.
int Form_textSetMultiLine(FormWidget *widget, int on);
int Form_textSetEditable(FormWidget *widget, int on);
// Also handed to the text block.
int Form_textSetMask(FormWidget *widget, uint16_t mask);
int Form_textSetAutocomplete(FormWidget *widget, int on);
