// HTML form controls: the widgets that the tree builder makes for input,
// button, select, option and textarea elements, and their names, values,
// defaults and flags. The kind of a control is its HTML type code, kept in
// the widget; every value operation switches on it.
#pragma once

#include <cstddef>
#include <cstdint>

struct Edr_Doc;
struct Edr_Node;
struct EngineContext;
struct FormWidget;
struct Url;

enum : uint32_t {
    FormKind_buttonSubmit1 = 1, // button elements: 1, 2 (reset), 3 (no type), 4
    FormKind_buttonReset = 2,
    FormKind_buttonPlain = 3,
    FormKind_buttonImage = 4,
    FormKind_text = 16,
    FormKind_password = 32,
    FormKind_checkbox = 48,
    FormKind_radio = 64,
    FormKind_submit = 80,
    FormKind_reset = 96,
    FormKind_file = 112,
    FormKind_hidden = 128,
    FormKind_image = 144,
    FormKind_button = 160,
    FormKind_select = 256,
    FormKind_option = 768,
    FormKind_textArea = 1024,
    FormKind_textArea2 = 1280,
    Res_formFileRefused = 6664, // the file question was answered 0: the submission ends
};

// Creators (the tree builder's). Each answers 0 with *out the new widget,
// or 1 / 6659, leaving nothing behind.
int Form_createInput(FormWidget **out, uint32_t typeCode, Edr_Doc *doc);
int Form_createButton(FormWidget **out, uint32_t typeCode, Edr_Doc *doc);
int Form_createTextArea(FormWidget **out, Edr_Doc *doc);
// An option: a navigable label of kind 768.
int Form_createOption(FormWidget **out, Edr_Doc *doc);

// Setters: copy at most count characters (1 when a copy cannot be made,
// the previous text staying in place). Form_ctlAppendLabel and
// Form_ctlSetDefault are declared in html/docweb.h.
int Form_ctlSetName(FormWidget *widget, const char16_t *chars, size_t count);
int Form_ctlSetValue(FormWidget *widget, const char16_t *chars, size_t count);
// Sets or clears flags 0x600 together and reports the change.
int Form_ctlSetEnabled(FormWidget *widget, int on);
// The look state of a button-like widget (class 11): on sets state bits 2
// and 4 and flag 0x20000; off leaves bit 0 and clears the flag.
int Form_ctlSetChecked(FormWidget *widget, int on);
int Form_ctlIsChecked(const FormWidget *widget, int *out);
int Form_ctlIsSelected(const FormWidget *widget, int *out);
// The default checked state (kept for reset), and the state set with it.
int Form_ctlSetDefaultChecked(FormWidget *widget, int on);
int Form_ctlIsKind128(const FormWidget *widget); // 1 for a hidden control

// Element forwarders of the attribute handler.
int Form_inputSetEditable(FormWidget *widget, int on);
int Form_inputSetMaxLength(FormWidget *widget, int32_t length);
int Form_inputSetAutocomplete(FormWidget *widget, int on);
int Form_inputSetSize(FormWidget *widget, uint32_t size);
// A push button takes the skin image URL (and its data word) in place of its
// looks; other controls free it.
int Form_inputSetImage(FormWidget *widget, Url *image, uintptr_t data);
int Form_textAreaSetRows(FormWidget *widget, uint32_t rows);
int Form_textAreaSetCols(FormWidget *widget, uint32_t cols);

// Readers: out copies (null for no text); a null widget or out gives 0
// with the out cleared.
int Form_ctlGetName(const FormWidget *widget, char16_t **out);
int Form_ctlGetValue(FormWidget *widget, char16_t **out);
int Form_ctlGetSubmitValue(FormWidget *widget, char16_t **out);
// Whether the control takes part in a submission; a file control with a
// name asks the host (question kind 4) whether the file may be sent:
// answer 2 leaves it out, 0 ends with 6664.
int Form_ctlIsSuccessful(FormWidget *widget, int *out);

// An option node given its widget joins its select's list box at its index
// among the select's options (Res_notGroup when it is not among its parent's
// children); removing it takes it out again.
int Form_optionRegister(Edr_Node *option);
int Form_optionUnregister(Edr_Doc *doc, Edr_Node *option);
