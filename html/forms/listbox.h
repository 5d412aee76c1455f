// The list box (widget class 19): the widget of a select element, whose
// options are label widgets (class 22) held as its children in document
// order. It shows a window of rows, one option per row, with a vertical
// scroll bar at its side, a frame and a grey frame around the current
// option.
//
// An option is selected while its look state is on (Form_ctlIsChecked):
// the selected options are those marked so, and a single-row select with
// no marked option has its first option selected.
#pragma once

#include <cstdint>

#include "html/forms/widgetclass.h"

struct EngineContext;
struct Edr_Doc;
struct FormValue;
struct FormWidget;

struct FormListData {
    uint32_t hasHBar; // 0: list boxes have no horizontal bar
    FormWidget *hBar;
    uint32_t hasVBar;    // 1
    FormWidget *vBar;    // class 15, role 1
    int32_t textArea[4]; // where the rows are laid out
    uint32_t selectFlag; // the select element's boolean attribute ("multiple")
    uint32_t spare;      // 1
    uint16_t count;      // options
    uint16_t current;    // the current option's index
    uint16_t firstVisible;
    uint32_t autoRows;  // 1 until a row count is set
    uint16_t rows;      // visible rows
    int32_t lineHeight; // 16.16, from sizing
    FormValue *frame;
};

enum : int32_t {
    FormList_barWidth = 9102, // the scroll bar's width added to the widest option
    FormList_pad = 3276,
    FormList_inset = 0x666,
};

int Form_listRegister(EngineContext *context);
// The list box's private data (null for another widget).
FormListData *Form_listData(const FormWidget *list);
// Creates a class-19 widget of kind 256 (the select element's creator).
int Form_listCreateWidget(FormWidget **out, Edr_Doc *doc);
// Adds the option (flag 0x800) at the index (appended when negative).
int Form_listInsertOption(FormWidget *list, FormWidget *option, int32_t index);
int Form_listRemoveOption(FormWidget *list, FormWidget *option);
// The visible rows (0 leaves them); clears the automatic-rows word.
int Form_listSetRows(FormWidget *list, uint32_t rows);
int Form_listGetAutoRows(FormWidget *list, uint32_t *value);
int Form_listGetCount(FormWidget *list, uint16_t *count);
int Form_listSetFlag(FormWidget *list, uint32_t value);
int Form_listGetFlag(FormWidget *list, uint32_t *value);
// The selected option that follows after (null: the first selected one);
// *out null when there is none.
int Form_listGetSelected(FormWidget *list, FormWidget *after, FormWidget **out);
// Scrolls so that the first selected option (or the first option when none
// is) is in view.
int Form_listShowSelected(FormWidget *list);
// Calls fn for each option child (class 22) with its index, the context and
// a stop flag; ends on a failure or when fn sets the stop flag.
typedef int (*FormListOptionFn)(FormWidget *option, uint16_t index, void *context, int *stop);
int Form_listForEachOption(FormWidget *list, FormListOptionFn fn, void *context);
