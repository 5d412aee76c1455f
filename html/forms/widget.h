// Form widgets: the engine's own widget toolkit. Every form control of a
// page, and every on-screen part of a control (the arrows of a scroll bar,
// the label inside a push button), is a FormWidget: a small record with a
// chain of class records (html/forms/widgetclass.h), a rectangle, face
// colours, a flag word, texts, a parent and an ordered list of children,
// which can be attached to its document as a group node of subtype 1.
//
// Geometry is in 16.16 fixed-point inches (0x10000 = 1 inch = 72 points),
// y growing upward. Colours are four bytes R, G, B, A.
#pragma once

#include <cstdint>

#include "core/task/lock.h"
#include "html/docweb.h"

struct Edr_Doc;
struct Edr_Node;
struct EngineContext;
struct FormWidgetClass;
struct PtrList;

enum : uint32_t {
    FormWidget_created = 0x1,      // every class create method succeeded
    FormWidget_initialised = 0x2,  // the init method of the chain has run
    FormWidget_attached = 0x4,     // the widget has a group node
    FormWidget_laidOut = 0x8,      // the layout method ran since the last change
    FormWidget_fixedSize = 0x10,   // layout keeps the given rectangle
    FormWidget_sized = 0x100,      // the rectangle holds a real size
    FormWidget_enabled = 0x200,    // the face colour is used; the control can be successful
    FormWidget_navigable = 0x400,  // the widget can take the input focus
    FormWidget_option = 0x800,     // taken by a list box as an option
    FormWidget_listBox = 0x1000,   // set by the list box create method
    FormWidget_nodeGiven = 0x2000, // the group node was supplied by the caller
    FormWidget_flag14 = 0x4000,    // cleared by the file-select create method
    FormWidget_on = 0x20000,       // on, or the push button that submitted the form
    FormWidget_initialFlags = 0x4700,
};

struct FormWidget {
    Edr_Doc *owner;
    Edr_Node *node; // the group node, null until attached
    uint32_t flags;
    uint32_t role;     // tells the parts of a composite widget apart
    uint32_t formWord; // kept for the document model
    uint32_t kind;     // the HTML control kind (read as 16 bits)
    char16_t *name;    // owned texts
    char16_t *label;
    char16_t *defaultValue;
    char16_t *valueText;
    PtrList *classChain;     // the widget's copies of its class records, most derived first
    uint8_t face[4];         // R, G, B, A while enabled
    uint8_t disabledFace[4]; // while flag 0x200 is clear
    int32_t rect[4];         // x0, y0, x1, y1 relative to the parent
    uint32_t partWord;
    FormWidget *parent;
    uint32_t tag;
    PtrList *children;  // made on first use
    Lock lock;          // only the root widget's lock is taken
    uint32_t capacity;  // the list widget's capacity word
    uint32_t defaultOn; // the checked (selected) state a form reset gives back
    Edr_Node *formNode; // the form that a control outside its element belongs to
    void *handler;      // the form behaviour of the control (html/forms/form.h)
};

// Creates a widget of the class (the word is not read). 0 with *out the widget;
// Res_formCreateFailed when the class chain cannot be built or a create method
// fails (nothing is left behind); the document's error when it has no engine
// context.
[[nodiscard]] int Form_Widget_create(Edr_Doc *doc, uint32_t classId, uint32_t word,
                                     FormWidget **out);
// Detaches and frees the widget and, recursively, the children that
// belong to it (null allowed).
void Form_Widget_destroy(FormWidget *widget);
// Runs the first init method of the chain once (flag 0x2).
int Form_Widget_init(FormWidget *widget);
// Gives the widget and its subtree group nodes (Res_formNotInitialised unless
// initialised).
int Form_Widget_attach(FormWidget *widget, Edr_Doc *doc, Edr_Node *parentNode, Edr_Node *node,
                       int32_t mode);

int Form_Widget_addChild(FormWidget *parent, FormWidget *child);
int Form_Widget_insertChild(FormWidget *parent, FormWidget *child, uint32_t index);
// The index-th child whose chain holds classId.
int Form_Widget_childAt(FormWidget *widget, uint32_t index, uint32_t classId, FormWidget **child);
// Iteration over the children: iterator null starts.
int Form_Widget_removeChild(FormWidget *parent, FormWidget *child);
void Form_Widget_destroyChildren(FormWidget *widget);

void Form_Widget_lock(FormWidget *widget);
void Form_Widget_unlock(FormWidget *widget);

// The document model reaches a widget through the untyped services of
// html/docweb.h: Form_Widget_getRect (x1 = x0 + width, y1 = y0 + height;
// a zero width or height, and both while flag 0x100 is clear, count as
// 1), Form_Widget_setRect (stores the words unless they are the same),
// Form_Widget_getFlags, Form_ctlGetKind (16 bits), Form_controlEnabled
// (bit 13), Form_controlFlag12 (bit 12) and Form_controlKind.

// Adds x0, y0 of the widget and of every ancestor to point.
int Form_Widget_offsetInRoot(const FormWidget *widget, int32_t point[2]);

// The topmost ancestor (the widget itself without a parent); Res_formNoWidget
// when either argument is null.
int Form_Widget_getRoot(FormWidget *widget, FormWidget **root);

int Form_Widget_isFlag12(const FormWidget *widget);
int Form_Widget_isFlag13(const FormWidget *widget);

int Form_Widget_setKind(FormWidget *widget, uint32_t kind);
int Form_Widget_setRole(FormWidget *widget, uint32_t role);
int Form_Widget_setPartWord(FormWidget *widget, uint32_t word);
int Form_Widget_setCapacity(FormWidget *widget, uint32_t value);

// Texts: setters take the heap string and free the previous one; getters
// answer a new copy (null for no text; 1 when the copy fails).
int Form_Widget_setName(FormWidget *widget, char16_t *text);
int Form_Widget_getName(const FormWidget *widget, char16_t **out);
int Form_Widget_setLabel(FormWidget *widget, char16_t *text);
// Appends a copy of text to the label.
int Form_Widget_appendLabel(FormWidget *widget, const char16_t *text);
int Form_Widget_setValueText(FormWidget *widget, char16_t *text);
int Form_Widget_getValueText(const FormWidget *widget, char16_t **out);
// 1 when the widget's chain holds the class id.
int Form_Widget_hasClass(const FormWidget *widget, uint32_t classId);

// Reports a change of the widget to its owner document (a = 1 for a
// change of size, b = 1 for a redraw); nothing unless the root widget is
// attached and sized and the widget itself attached.
int Form_Widget_forwardToOwner(FormWidget *widget, int a, int b);

// The node with a live reference added (the caller releases it).
int Form_Widget_getNode(const FormWidget *widget, Edr_Node **node);
