// The list box (widget class 19): the widget of a select element, whose
// options are label widgets held as its children.
//
// Only what the widget toolkit and the list-widget entry points call is
// declared so far.
#pragma once

#include <cstdint>

struct EngineContext;
struct FormWidget;

int Form_listRegister(EngineContext *context);
void Form_listUnregister(EngineContext *context);
// Adds the option (flag 0x800) at the index (appended when negative).
int Form_listInsertOption(FormWidget *list, FormWidget *option, int32_t index);
int Form_listRemoveOption(FormWidget *list, FormWidget *option);
// The visible rows (0 leaves them); clears the automatic-rows word.
int Form_listSetRows(FormWidget *list, uint32_t rows);
int Form_listGetAutoRows(FormWidget *list, uint32_t *value);
int Form_listGetCount(FormWidget *list, uint16_t *count);
int Form_listSetFlag(FormWidget *list, uint32_t value);
int Form_listGetFlag(FormWidget *list, uint32_t *value);
