// Widget looks: everything a widget shows beyond its face colour. A look
// is a reference-counted record with a state mask, an optional colour, an
// opacity, a box and one shared payload (a path, an image or a block of
// text). Classes keep chains of looks (their design, scaled into the
// class's design box) and widgets keep looks in their private data.
//
// Colours of looks are written as words 0xRRGGBBAA, the opacity in the
// low byte; the colour field keeps the four bytes R, G, B, A.
#pragma once

#include <cstdint>

#include "core/geom/matrix.h"

struct DrawTarget;
struct EngineContext;
struct FormDrawRequest;
struct FormTextRecord;
struct FormWidget;
struct ImageHandle;
struct Path;

enum : uint32_t {
    FormPayload_empty = 1,
    FormPayload_text = 2,
    FormPayload_image = 3,
    FormPayload_path = 4,
    FormValue_allStates = 15,
    FormValue_onState = 4,    // drawn only while a radio button or check box is on
    FormValue_selfDrawn = 16, // a look its class draws itself (frames, thumbs)
};

// A look's image: the handle and the widget that owns the look.
struct FormImageRecord {
    ImageHandle *image;
    FormWidget *widget;
};

// A look's payload, shared between copies of the look.
struct FormValuePayload {
    uint16_t shares;
    uint32_t kind; // FormPayload_*
    void *data;    // Path, FormImageRecord or FormTextRecord by kind
};

struct FormValue {
    uint8_t kind;              // the state mask: the states the look is drawn in
    uint32_t colourGiven;      // 1: colour is the fill colour; 0: black
    uint8_t colour[4];         // R, G, B, A
    uint8_t opacity;           // 0 is never drawn
    int32_t rect[4];           // the box x0, y0, x1, y1 (16.16)
    FormValuePayload *payload; // null: none
    uint16_t refCount;
    FormValue *next; // the next look of a chain
};

// A new look: state mask 0, colour flag 0, box 0, 0x10000, 0, 0x10000, no
// payload, reference count 1, opacity 255. 1 when memory runs out.
[[nodiscard]] int Form_valueNew(FormValue **out);
// A new look whose payload is a closed rectangle path (with relative set,
// moved to the origin).
[[nodiscard]] int Form_valueNewRect(FormValue **out, uint8_t stateMask, const int32_t rect[4],
                                    int relative, uint8_t opacity);
// Drops a reference (null allowed); the last frees the look and its share
// of the payload.
void Form_valueRelease(FormValue *look);
// A copy of the whole record sharing the payload (share count + 1).
[[nodiscard]] int Form_valueCopy(const FormValue *look, FormValue **out);
// A copy with reference count 1 and no next look; a text payload gets its
// own payload with a copy of the text.
[[nodiscard]] int Form_valueCopyDeep(const FormValue *look, FormValue **out);
void Form_valueSetKind(FormValue *look, uint8_t mask);
void Form_valueSetAlpha(FormValue *look, uint8_t opacity);
// The fill colour from a word 0xRRGGBBAA (the opacity taken from its low
// byte as well); 0 leaves the look black and opaque.
void Form_valueSetColourWord(FormValue *look, uint32_t rgba);
void Form_valueSetBox(FormValue *look, const int32_t rect[4]);
void Form_valueGetBox(const FormValue *look, int32_t rect[4]);
// Replaces the payload by the path (the look takes it).
[[nodiscard]] int Form_valueSetPath(FormValue *look, Path *path);
[[nodiscard]] int Form_valueSetRectPath(FormValue *look, const int32_t rect[4], int relative);
// Replaces the payload by the image (the look takes the handle).
[[nodiscard]] int Form_valueSetImage(FormValue *look, ImageHandle *image, FormWidget *widget);
// Sets the text (the look takes the string): into the existing text
// block when there is one (the whole old text replaced), else as a new
// text payload. On failure the look has no payload and the string is
// freed.
[[nodiscard]] int Form_valueSetText(FormValue *look, char16_t *text);
// The text of a text payload, else the payload's data (null without one).
void *Form_valueGetData(const FormValue *look);
// The text record of a text payload, else null.
FormTextRecord *Form_valueTextRecord(const FormValue *look);
// Draws the look by payload kind (an empty payload or opacity 0 draws
// nothing).
int Form_valueDraw(EngineContext *context, FormValue *look, const FormDrawRequest *request,
                   const Matrix *matrix, const DrawTarget *target, intptr_t extra,
                   const char16_t *label);
// Strokes the look's path as a frame: grey 80 80 80, opacity A0, width 655.
int Form_valueDrawFrame(EngineContext *context, const FormValue *look,
                        const FormDrawRequest *request, const Matrix *matrix,
                        const DrawTarget *target);
// Point queries passed on to the text block (0 for other payloads).
int Form_valueTextHit(const FormValue *look, int32_t x, int32_t y);
int Form_valueTextPoint(const FormValue *look, uint32_t index, int32_t point[2]);

// A point {x, y}.
struct FormPoint {
    int32_t x, y;
};

// Moves *point into the value's own coordinates: x - x0, y - y1 (the
// rectangle's lower left corner), and clears *word. 0. The caller checks
// the payload kind (2) first.
int Form_valueToLocal(const FormValue *value, int32_t *word, FormPoint *point);
// The same, leaving the moved point in *point and in *out; word is not
// read. 0.
int Form_valueToLocalCopy(const FormValue *value, int32_t word, FormPoint *point, FormPoint *out);
