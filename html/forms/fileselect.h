// The file-select control (widget class 17): a text field for the file
// name and a push button labelled "Browse..." side by side. Whether the
// user may type into the field is the setting
// "Vexlan_EnableFileselectEditbox" (default 1).
#pragma once

#include <cstdint>

struct EngineContext;
struct FormWidget;

struct FormFileData {
    FormWidget *field;  // class 16
    FormWidget *button; // class 12
    char16_t *chosen;   // the chosen file name, owned, or null
};

int Form_fileRegister(EngineContext *context);
FormFileData *Form_fileData(const FormWidget *widget);
// With preferChosen and a chosen name, a copy of it; otherwise a copy of
// the field's text. 6656 for a null argument.
int Form_fileGetValue(FormWidget *widget, char16_t **out, int preferChosen);
// The size becomes the field's column count.
int Form_fileSetSize(FormWidget *widget, uint32_t size);
