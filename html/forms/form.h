// HTML forms: the record attached to a form element's node (action,
// method, encoding, target, character set and the controls linked to it
// from outside its element), the form behaviour of its controls (submit
// and reset buttons, Enter in a text field, radio groups), reset, and
// submission: the request built from the successful controls (a GET query,
// or a POST body urlencoded, as text/plain or as multipart form data with
// the list of files to insert) handed to the document's link following.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/text/charset.h"

struct Edr_Doc;
struct Edr_Node;
struct FormWidget;
struct Url;

enum : uint32_t {
    Form_methodGet = 1,
    Form_methodPost = 2,
    Form_encUrl = 1,       // "application/x-www-form-urlencoded"
    Form_encMultipart = 2, // "multipart/form-data"
    Form_encText = 3,      // "text/plain"
    Form_eventActivate = 4,
    Form_eventChange = 0,
    Res_formNoRecord = 1546, // a node without a form record
    Res_formNoRecordQuery = 1538,
};

struct FormRecord {
    Edr_Doc *doc; // not counted: the record goes with its node
    Edr_Node *formNode;
    Url *action; // null: the document's base URL
    char16_t *target;
    uint32_t method;
    uint32_t encoding;
    char16_t *acceptCharset;
    uint32_t charset; // set by Form_finish
    CharsetConverter converter;
    char16_t *second; // kept, not used by submission
    uint32_t count;   // associated controls (outside the form element)
    Edr_Node **controls;
    uint32_t capacity;
    uint32_t flag;
};

// The control that caused a submission: its node, the event kind (4 for an
// activation) and the click position "x,y" (image buttons; may be null).
struct FormSubmitter {
    Edr_Node *control;
    uint32_t event;
    const char16_t *position;
};

// A control event handed to a control's form handler.
typedef FormSubmitter FormControlEvent;
typedef int (*FormEventHandler)(Edr_Doc *doc, const FormControlEvent *event, int *handled);

// A list of nodes, each holding a node reference.
struct FormNodeList {
    Edr_Node **nodes;
    uint32_t count;
    uint32_t capacity;
};
void Form_nodeListFree(Edr_Doc *doc, FormNodeList *list);

// A zeroed record (method 1, encoding 1, flag 1) made the payload of the
// form node and the document's current form. 0 or 1.
int Form_recordNew(Edr_Doc *doc, Edr_Node *formNode, FormRecord **out);
void Form_recordFree(FormRecord *record);
// The record of a form node (null when it has none); call with a lock held.
FormRecord *Form_recordOf(Edr_Node *formNode);
// Each non-null or non-zero argument replaces its field (copies). 0 or 1.
int Form_setAttributes(FormRecord *record, const Url *action, uint32_t method, uint32_t encoding,
                       const char16_t *acceptCharset, const char16_t *second, uint32_t flag);
// The same under the write lock, for the current form or a form node's.
int Form_setNodeAttributes(Edr_Doc *doc, Edr_Node *formNode, const Url *action, uint32_t method,
                           uint32_t encoding, const char16_t *acceptCharset, const char16_t *second,
                           uint32_t flag);
// Copies of the attributes (any out may be null). 0, 1 or 1538.
int Form_getAttributes(Edr_Doc *doc, Edr_Node *formNode, Url **action, uint32_t *method,
                       uint32_t *encoding, char16_t **acceptCharset, char16_t **second);
int Form_getTarget(Edr_Doc *doc, Edr_Node *formNode, char16_t **out);
int Form_setTarget(Edr_Doc *doc, Edr_Node *formNode, const char16_t *target, size_t length);
// The flag word (1 when the node has no record).
uint32_t Form_getFlag(Edr_Doc *doc, Edr_Node *formNode);

// Finishes the current form (charset from accept-charset, converter) and,
// with clearCurrent, forgets it.
int Form_finish(Edr_Doc *doc, int clearCurrent);
int Form_finishCurrent(Edr_Doc *doc);

// Links a control to its form (the given form node, else the current form)
// and installs its handler by kind. 0 or an error.
int Form_addControl(Edr_Doc *doc, Edr_Node *formNode, Edr_Node *control);
int Form_removeControl(Edr_Doc *doc, Edr_Node *control);
// The control's form: its own link, else the nearest form ancestor; with
// a node reference. 0 or an error (*form null when none).
int Form_ofControl(Edr_Doc *doc, Edr_Node *control, Edr_Node **form);
// The form's controls in document order, then its associated controls,
// each with a node reference; kind 0 and name null keep every control.
int Form_collectControls(Edr_Doc *doc, FormRecord *record, uint32_t kind, const char16_t *name,
                         FormNodeList *out);

int Form_submit(Edr_Doc *doc, Edr_Node *formNode, const FormSubmitter *submitter);
int Form_submitNode(Edr_Doc *doc, Edr_Node *formNode, const FormSubmitter *submitter);
int Form_submitWith(Edr_Doc *doc, Edr_Node *formNode, Edr_Node *control);
int Form_reset(Edr_Doc *doc, Edr_Node *formNode);
// The radio rule: a checked radio control unchecks every other radio
// control of its form with the same name.
int Form_radioRule(Edr_Doc *doc, Edr_Node *control);

// Makes the widget (attached to its group node) go with that node: when
// the node is torn down the widget and its parts are destroyed. 0 or 1.
int Form_adoptControl(Edr_Doc *doc, FormWidget *widget);

// Control events: the handler installed by Form_addControl, given an event
// of the control; *handled tells whether it was taken.
int Form_attachHandler(FormWidget *widget, FormEventHandler handler);
int Form_controlEvent(Edr_Doc *doc, const FormControlEvent *event, int *handled);
int Form_onSubmitActivate(Edr_Doc *doc, const FormControlEvent *event, int *handled);
int Form_onResetActivate(Edr_Doc *doc, const FormControlEvent *event, int *handled);
int Form_onTextActivate(Edr_Doc *doc, const FormControlEvent *event, int *handled);
int Form_onRadioChange(Edr_Doc *doc, const FormControlEvent *event, int *handled);
