// Widget classes and their registry. Each widget carries a chain of class
// records, one per class from its own class up to the root class: a table
// of methods, a private-data word and a list of looks. The registry keeps
// one master record per class id in the forms module of the engine
// context; every widget gets its own copies of the records of its chain,
// so each class keeps per-widget data in its copy.
//
// Class tree (ids 18, 20 and 21 are not used):
//   10 base widget (fills its rectangle with the face colour)
//   11 look-state base, the skin class (platform/vfs/skin.h)
//   12 push button, 13 radio button, 14 check box, 22 text label
//      (html/forms/buttons.h), all under 11
//   15 scroll bar, 16 text field, 17 file select, 19 list box, under 10
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/geom/matrix.h"

struct DrawTarget;
struct EngineContext;
struct FontList;
struct FormValue;
struct FormWidget;
struct PtrList;
struct Rect;

enum : uint32_t {
    FormClass_none = 1, // the parent id of a root class
    FormClass_base = 10,
    FormClass_look = 11,
    FormClass_button = 12,
    FormClass_radio = 13,
    FormClass_check = 14,
    FormClass_scroll = 15,
    FormClass_text = 16,
    FormClass_file = 17,
    FormClass_list = 19,
    FormClass_label = 22,
};

// What a draw method is given: the rectangle to paint (x0, y0, x1, y1,
// 16.16, in the units the caller's matrix maps to the device), an offset
// added to it, an optional matrix applied before the caller's, the flag
// word (bits 8-9 the quality record, Obj_kindRecord) and the text style
// word (0x20 places a single line from its right edge).
struct FormDrawRequest {
    int32_t rect[4];
    int32_t dx, dy;
    const Matrix *matrix;
    uint32_t flags;
    uint32_t style;
};

enum : uint32_t {
    FormRequest_fixWidth = 0x1,  // the width of rect is given
    FormRequest_fixHeight = 0x2, // the height of rect is given
    FormRequest_fixedSize = 0x10,
};

// What a layout method is given: the font part (font list, 16.16 point
// size, style and extra words; a null font or zero size means the module's
// default), a rectangle, the size-given word (0: the rectangle is used as
// it stands; otherwise the widget sizes itself to its content and hands
// its new rectangle back) and flags (FormRequest_*).
struct FormLayoutRequest {
    FontList *font;
    int32_t size;
    uint32_t style;
    uint32_t extra;
    int32_t rect[4];
    uint32_t sizeGiven;
    uint32_t flags;
};

typedef int (*FormWidgetFn)(FormWidget *widget);
typedef int (*FormDrawFn)(EngineContext *context, FormWidget *widget,
                          const FormDrawRequest *request, const Matrix *matrix,
                          const DrawTarget *target, intptr_t extra);
typedef int (*FormLayoutFn)(EngineContext *context, FormWidget *widget, FormLayoutRequest *request);
typedef int (*FormQueryFn)(void *record, uint32_t query, uintptr_t *answer);
typedef int (*FormMeasureFn)(EngineContext *context, FormWidget *widget, FormLayoutRequest *request,
                             int32_t *width, int32_t *height);

struct FormWidgetClass {
    FormWidgetClass *next; // the parent class's copy in a widget's chain
    uint32_t parentId;     // 1: none
    uint32_t classId;
    FormWidgetFn create;
    FormWidgetFn init;
    FormWidgetFn destroy;
    uintptr_t spare;
    FormDrawFn draw;
    FormLayoutFn layout;
    FormQueryFn query;
    FormMeasureFn measure;
    void *priv;           // the class's per-widget record (in a widget's copy)
    int32_t designBox[4]; // the box the class's looks are scaled from
    uintptr_t spare2;
    FormValue *looks; // the class's looks; a widget's copy holds copies
};

// The accessors the forms module offers other subsystems.
typedef int (*FormTextAccessor)(const FormWidget *widget, char16_t **out);
typedef int (*FormFlagsAccessor)(const void *widget, uint32_t *flags);

struct FormsModule {
    PtrList *classes;  // master records
    char *fontName;    // "verdana"
    uint16_t fontSize; // points, 9
    FontList *font;    // made on first use
    FormTextAccessor getName, getValue, getLabel;
    FormFlagsAccessor getFlags;
};

// The forms module of a context (null before Form_initModule).
FormsModule *Form_module(EngineContext *context);

// Builds the module record and registers the classes; the status of
// setting the default font (the registrations' statuses are not kept).
int Form_initModule(EngineContext *context);
// Unregisters every class and frees the module record.
void Form_freeModule(EngineContext *context);
int Form_classListCreate(EngineContext *context);
void Form_classListFree(EngineContext *context);

// The first master record with the id into *out (untouched when none);
// reaching the end of the list is success.
int Form_classFind(PtrList *classes, uint32_t classId, FormWidgetClass **out);
// Registers a master record (heap, zero-filled) under the id and takes it
// over: a record offered for an id already registered is freed with its
// looks, and the result is still 0.
int Form_classRegister(EngineContext *context, uint32_t classId, FormWidgetClass *record);
// Removes and frees the master record with the id (0 when none).
int Form_classUnregister(EngineContext *context, uint32_t classId);
// A widget's chain: copies from the class up to its root, most derived
// first, linked through next. No master: 0 and no chain. A missing parent
// ends the chain at the last record found. 1 when memory runs out (no
// partial chain is left).
int Form_classChainBuild(EngineContext *context, uint32_t classId, PtrList **out);
void Form_classChainFree(PtrList *chain);
// A copy of every field, the looks copied (payloads shared).
int Form_classCopy(const FormWidgetClass *record, FormWidgetClass **out);
void Form_classFreeLooks(FormWidgetClass *record);
int Form_valueListAppend(FormWidgetClass *record, FormValue *look);
// The widget's copy of a class (null when its chain has none).
FormWidgetClass *Form_Widget_classCopy(const FormWidget *widget, uint32_t classId);
// The head of the widget's chain (null without one).
FormWidgetClass *Form_Widget_chainHead(const FormWidget *widget);

int Form_setFontName(EngineContext *context, const char *name);
int Form_setFontSize(EngineContext *context, uint16_t points);
int Form_getFontSize(EngineContext *context, uint16_t *points);
// The default font list (made from the name with style 3 on first use).
int Form_getDefaultFont(EngineContext *context, FontList **out);
// The bounding box of a line of text (x0, y0, x1, y1) in the font and
// 16.16 point size, the defaults standing in for null and 0.
int Form_measureText(EngineContext *context, const char16_t *text, FontList *font, int32_t size,
                     Rect *box);
// The font part of a request with the defaults filled in.
int Form_requestFont(EngineContext *context, const FormLayoutRequest *request, FontList **font,
                     int32_t *size);

// Dispatch: drawing goes through Form_Widget_dispatch and the layout step
// through Edr_Widget_sendEvent (core/support/websupport.h).
// Offers the query to every class with the slot until one answers; 6658
// when the widget is not attached.
int Form_Widget_sendQuery(FormWidget *widget, uint32_t query, uintptr_t *answer);
// The chain head's measure method; 0 x 0 without one.
int Form_Widget_measure(EngineContext *context, FormWidget *widget, FormLayoutRequest *request,
                        int32_t *width, int32_t *height);
// A widget's layout step is Edr_Widget_sendEvent (core/support/websupport.h):
// it clears flag 0x8, runs the first layout method of the chain for a
// created widget with the request, and sets 0x8 on success.
// The first record of the widget's chain whose slot (an offset into
// FormWidgetClass) is set, or null.
FormWidgetClass *Form_classFirstWith(const FormWidget *widget, size_t slot);
// The draw method that follows record in its chain (a class's base).
int Form_classDrawBase(EngineContext *context, FormWidgetClass *record, FormWidget *widget,
                       const FormDrawRequest *request, const Matrix *matrix,
                       const DrawTarget *target, intptr_t extra);
// The base class's draw: fills the offset rectangle with the face colour
// chosen by flag 0x200 unless its alpha is 0.
int Form_baseDraw(EngineContext *context, FormWidget *widget, const FormDrawRequest *request,
                  const Matrix *matrix, const DrawTarget *target, intptr_t extra);
// Fills a path (16.16, scale 0x10000) with a colour (0xAABBGGRR) through
// matrix into target; the quality record picked by the flags' bits 8-9.
int Form_fillPath(EngineContext *context, const struct Path *path, const Matrix *matrix,
                  const DrawTarget *target, uint32_t colour, uint32_t flags);
// Strokes a path with a pen of the width (16.16 user units).
int Form_strokePath(EngineContext *context, const struct Path *path, const Matrix *matrix,
                    const DrawTarget *target, uint32_t colour, int32_t width, uint32_t flags);
