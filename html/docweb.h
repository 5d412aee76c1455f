// Web-layer services that the document model calls: the redirection state
// and load accounting of a document, frame documents, form controls, the
// host's questions, HTML attribute names and the URL-mapping hook. The web
// layer defines the records.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/style/prop.h"
#include "document/edr/loadprogress.h"
#include "document/edr/webops.h"

struct EngineContext;
struct EventProc;
struct Edr_Doc;
struct Edr_Node;
struct LoadProgress;
struct Url;
struct VfsHandle;

// The image document's open operation: makes doc a document whose content is
// the one image of stream on grey (handlerData: the image handler's private
// word), with the margins of frameRecord (the Obj of a frame's document: margin
// width, margin height, width, height, placement; null for none). Waits until
// the picture's size is known. Takes the stream over. 0, the picture's error
// (no codec, damaged data), or Res_stopRequested when the task was asked to
// stop.
int Html_openImageDocument(EngineContext *context, void *handlerData, VfsHandle *stream,
                           Edr_Doc *doc, const void *frameRecord, uint32_t flags);

// Creates the embedded sub-document of a frame (kind 2) under its node in doc:
// width and height in 16.16 inches (negative when given by the frame set; -1
// for 0), margin height and width (-1 unset), the frame-border flag and the
// frame's source URL (lent). A frame's source is opened into the new document
// with its frame record (margin width, margin height, width, height and
// placement 0x60; margins of 9 and 15 pixels when both are unset, else an unset
// one is 0) as the open's argument; an inline frame (kind 1) starts empty. 0; 1
// when memory runs out; Res_stopRequested when the task is asked to stop; other
// errors of the document model.
int Html_createSubdocument(EngineContext *context, Edr_Doc *doc, int32_t kind, Edr_Node *node,
                           int32_t width, int32_t height, int32_t marginHeight, int32_t marginWidth,
                           int32_t frameBorder, const Url *source);

// The document's HTTP redirection state.
int Redirect_create(Edr_Doc *doc);
void Redirect_free(Edr_Doc *doc);
// Schedules a redirection of doc to target (taken over) after delay
// milliseconds, replacing a pending one. 0 or an error.
int Redirect_schedule(Edr_Doc *doc, int32_t delay, Url *target);

// Load accounting by category: document/edr/loadprogress.h.

// Form controls of groups of subtype 1 and values of subtypes 2 and 4.
int Form_registerControl(Edr_Node *group);
int Form_unregisterControl(Edr_Doc *doc, Edr_Node *group);
// Frees a control that its group node owns (Form_adoptControl); others
// stay their maker's.
void Form_releaseControl(Edr_Doc *doc, void *control);
void Form_freeValue(void *record);
int Form_setValue(Edr_Node *group, void *value);
int Form_controlEnabled(const void *control);
int Form_controlFlag12(const void *control);
// The control's flag word (0x100, 0x200 and 0x4000 make it focusable,
// 0x400 gives it a default action); Res_formNoWidget for a null control.
int Form_Widget_getFlags(const void *control, uint32_t *flags);
// The control's rectangle {x0, y0, x1, y1}; Res_formNoWidget for a null
// control.
int Form_Widget_getRect(const void *control, int32_t rect[4]);
// Sets the control's rectangle {x0, y0, x1, y1}; Res_formNoWidget for a null
// control.
int Form_Widget_setRect(void *control, const int32_t rect[4]);
// The size the control would like; Res_formNoWidget for a null control.
int Form_Widget_preferredSize(const void *control, int32_t *width, int32_t *height);
// Gives the control the text style of its line (a layout text format), its
// colour (0xAABBGGRR) and its direction. 0 or the control's error.
int Form_Widget_applyStyle(void *control, const void *textFormat, uint32_t colour, int rightToLeft);
// Bits of the control's flag word that layout reads: document/edr/webops.h.
// Passes an event to a form control's handler. 0 or the handler's error.
int Edr_Widget_sendEvent(EngineContext *context, void *control, void *event);
// The control's kind (kind 144 is not counted among form elements).
int Form_ctlGetKind(const void *control, uint32_t *kind);
// The form group that owns a control group, with a node reference (null
// when none); 0 or an error.
int Form_findOwner(Edr_Doc *doc, Edr_Node *node, Edr_Node **form);
// The number a web page's ordered list starts at (its "start") or a list
// item takes (its "value"): 1 with *number when the element gives one,
// else 0 (*number 0). Reads the node's attributes under the caller's
// read lock.
int Html_listOrdinal(const Edr_Doc *doc, Edr_Node *node, int32_t *number);
// The kind of a form control (128: a kind that takes no width in a line).
uint32_t Form_controlKind(const void *control);
// Appends count characters to the control's label (a button's caption,
// an option's text). 0 or an error.
int Form_ctlAppendLabel(void *control, const char16_t *text, size_t count);
// Sets the control's default value, and its value, to a copy of count
// characters. 0 or an error.
int Form_ctlSetDefault(void *control, const char16_t *text, size_t count);

// A synchronous question to the host (HostQuestion: document/edr/webops.h).
int Host_askQuestion(EventProc *processor, HostQuestion *question);

// Writes the subtree of start in doc back out as HTML text (markup 0: the
// text only), leaving out start itself when skipStart is set: *out = a new
// 16-bit string. 0 or an error.
int Html_serialise(Edr_Doc *doc, Edr_Node *start, int markup, int skipStart, char16_t **out);

// The HTML attribute id of a name (0 unknown) and the text form of a
// property value (new string or null).
uint32_t Html_attributeId(const char16_t *name, size_t length);
char16_t *Html_attributeText(const Prop *value);

// The application's URL-mapping hook.
int Url_mapHookPresent(EngineContext *context);
int Url_mapHook(EngineContext *context, const Url *url, int *flag);

struct EngineContext;
struct Edr_HandlerDesc;
// Fills the HTML handler's descriptor. 0.
int Html_describe(EngineContext *context, Edr_HandlerDesc *desc);
