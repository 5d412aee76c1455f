// Support routines of the web side and of form controls: how an event
// reaches a form widget through its class chain, the entry points through
// which document objects reach form widgets and list widgets, the teardown
// of host-question records, the size-limited growable sink of the response
// cache, and the constant table the HTML handler's descriptor carries.
#pragma once

#include <cstdint>

#include "core/geom/matrix.h"
#include "core/task/lock.h"

struct DrawTarget;
struct EngineContext;
struct FormDrawRequest;
struct FormWidget;
struct FormWidgetClass;

// ------------------------------------------------------------ form events

// The head of the widget's class chain into *head (null when it has none).
// 6656 for a null widget or out pointer.
int FormClass_findHandler(const FormWidget *widget, FormWidgetClass **head);
// A widget's layout step, its event: 0 when both are null; Res_formNoWidget for
// a null widget. Clears flag 0x8; 0 when flag 0x1 is clear. Otherwise calls the
// first layout method of the chain with (context, widget, event) and sets 0x8
// when it answers 0 (or no class has the slot).
int Edr_Widget_sendEvent(EngineContext *context, void *widget, void *event);
// The same under the root widget's lock; 0 when either is null.
int Form_Widget_sendEventLocked(EngineContext *context, FormWidget *widget, void *event);
// The first draw method of the chain with the arguments, only for a widget
// whose flags hold 0x4, 0x100 and 0x8; 0 otherwise, for null, or without
// one.
int Form_Widget_dispatch(FormWidget *widget, const FormDrawRequest *request, const Matrix *matrix,
                         const DrawTarget *target, intptr_t extra);
// Under the root's lock, and only when the root's flags hold 0x4 and
// 0x100, Form_Widget_dispatch.
int Form_Widget_dispatchLocked(FormWidget *widget, const FormDrawRequest *request,
                               const Matrix *matrix, const DrawTarget *target, intptr_t extra);
// Every point hits: x into *first, y and z into pair. 1.
int Form_Widget_hitAll(const void *object, int32_t x, int32_t y, int32_t z, int32_t *first,
                       int32_t pair[2]);
// The widget's rectangle (0 for null).
int Form_Widget_bounds(const FormWidget *widget, uint32_t word, int32_t rect[4]);

// ------------------------------------------------------- list widgets
// Each passes its arguments to the list box's operation of the same kind.

int FormList_create(FormWidget **out, struct Edr_Doc *owner, uint32_t argument);
int FormList_addChild(FormWidget *widget, FormWidget *child);
int FormList_getWord8(FormWidget *widget, uint32_t *value);
int FormList_setLimit(FormWidget *widget, uint32_t value);

// ------------------------------------------------------ host questions

// A user-question record: the kind (0-5) and eight words, some of them
// owned heap blocks by kind.
struct HostQuestionRecord {
    int32_t kind;
    uintptr_t words[8]; // words 1 to 8 of the record
};

// The wait of a user question.
struct HostQuestionWait {
    Lock lock;
    Sem answerSem;
    Lock lock2;
    void *answer; // owned
};

// Frees the owned words of the record by its kind: 0 words 5, 6, 7; 1 and
// 2 words 3, 4; 3 word 3; 4 word 4; 5 word 4, and word 7 when word 3 is 2.
void HostQuestion_freeTexts(HostQuestionRecord *record);
// Finishes the wait record's semaphore and locks and frees its answer and
// the record (null allowed).
void HostQuestion_destroyWait(HostQuestionWait *wait);

// ----------------------------------------------------- response-cache sink

struct CacheSink;

struct CacheSinkOps {
    void *slots[5];
    // Slot 5: grows the buffer to newCapacity (needed: the size the write
    // needs; limited: the sink has a limit). 0 or an error.
    int (*resize)(CacheSink *sink, uint32_t newCapacity, uint32_t needed, int limited);
    void *spare; // slot 6, not used
    // Slot 7: appends n bytes. 0 or an error.
    int (*append)(CacheSink *sink, const void *data, uint32_t n);
};

struct CacheSink {
    uint8_t *buffer;
    uint32_t capacity;
    uint32_t size;
    uint64_t limit; // 0: none
    const CacheSinkOps *ops;
};

// Appends n bytes, cut at the limit: the capacity doubles (from 1024, or
// the limit, when there is no buffer) until the bytes fit; growth past
// 4 GiB is refused with 1. 835 when bytes were dropped at the limit; the
// operations' errors.
int CacheSink_write(CacheSink *sink, const void *data, uint32_t n);
// Shrinks the buffer to the size when they differ.
int CacheSink_trim(CacheSink *sink);

// ------------------------------------------------------------ HTML handler

// Character classes of the HTML handler: one byte for each of the 128
// ASCII characters.
enum : uint8_t {
    HtmlChar_space = 0x1,  // tab, line feed, form feed, carriage return, space
    HtmlChar_letter = 0x2, // A-Z, a-z
    HtmlChar_digit = 0x4,  // 0-9
    HtmlChar_hex = 0x8,    // 0-9, A-F, a-f
};
// The address of the constant character table. 0.
int Html_getCharTable(const uint8_t **out);
