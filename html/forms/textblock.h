// The text block of a look: the editable 16-bit text of a look's text
// payload (the label of a push button, an option's text, a text field's
// contents), its alignment and mode words, the fitting of a single line
// into the look's box (the size shrinks until the line fits), the list of
// laid-out lines, and the replacement of the selection.
//
// Mode word: low byte the horizontal alignment (1 left, 2 centre, 3
// right), second byte the vertical one (1 the far end of the box, 2
// centred, else the start). Labels use 514, single-line fields 513,
// multi-line fields 769.
#pragma once

#include <cstdint>

#include "core/geom/matrix.h"

struct DrawTarget;
struct EngineContext;
struct FontList;
struct FormDrawRequest;
struct FormLayoutRequest;
struct FormValue;

enum : uint32_t {
    FormText_labelMode = 514,
    FormText_fieldMode = 513,
    FormText_areaMode = 769,
    FormText_paint = 0xD0808080, // grey 80 80 80 at opacity D0 (0xAABBGGRR)
    FormText_maxLength = 65535,
    FormText_end = 65535, // a selection position meaning the end
};

struct FormTextLine {
    const char16_t *text;
    uint16_t first;   // first character
    uint16_t count;   // characters
    int32_t ink[4];   // x0, y0, x1, y1
    int32_t place[4]; // x0, y0, x1, y1
    FormTextLine *next;
};

// The line list: the font part of the layout, counts and the lines.
struct FormTextBlock {
    FontList *font;
    int32_t size;
    uint32_t style;
    uint32_t extra;
    uint16_t lineCount;
    uint16_t visibleLines;
    uint16_t firstShown;   // the first line the multi-line drawing shows
    uint16_t scrollOffset; // the first character shown of a single line
    uint16_t fitCount;     // characters that fit
    FormTextLine *first;
    FormTextLine *last;
};

// The text record (a text payload's data).
struct FormTextRecord {
    uint32_t multiLine;
    uint32_t mode;
    char16_t *text;    // NUL-terminated, owned
    char16_t *display; // the masked text made at layout, owned
    uint32_t mask;     // the mask character, 0 for none
    FormTextBlock *lines;
    uint16_t selStart;
    uint16_t selEnd;   // the cursor
    uint16_t length;   // characters
    uint32_t capacity; // characters the text's block holds, terminator included
};

// A new record taking the text (null allowed; a text longer than 65535
// characters is cut there). 1 when memory runs out (the text is then
// freed).
[[nodiscard]] int Form_textRecordNew(char16_t *text, FormTextRecord **out);
void Form_textRecordFree(FormTextRecord *record);
// A copy of the text and the words (no lines); 1 when memory runs out.
[[nodiscard]] int Form_textRecordCopy(const FormTextRecord *record, FormTextRecord **out);

// Lays the look's text out in its box (single-line or multi-line). 0 or
// the measurement's error.
int Form_textRecordLayout(FormValue *look, const FormLayoutRequest *request);
// Draws the laid-out text (nothing when it is empty).
int Form_textRecordDraw(FormValue *look, const FormDrawRequest *request, const Matrix *matrix,
                        const DrawTarget *target);
// Replaces the selection by a copy of text. The text grows as needed; a
// result longer than 65535 characters is refused with 8 and changes
// nothing. 1 when memory runs out (nothing changed).
int Form_textReplaceSelection(FormValue *look, const char16_t *text);

void Form_textSetSelStart(FormValue *look, uint32_t position);
void Form_textSetSelEnd(FormValue *look, uint32_t position);
uint32_t Form_textGetSelEnd(const FormValue *look);
void Form_textRecordSetWrap(FormValue *look, uint32_t on);
void Form_textSetMaskChar(FormValue *look, uint32_t mask);
void Form_textSetMode(FormValue *look, uint32_t mode);

// The index of the first CR or LF among count characters, else count.
uint32_t Form_textLineLength(const char16_t *chars, uint32_t count);

// Line list operations.
[[nodiscard]] int Form_textBlockNew(FormTextBlock **out);
void Form_textBlockFree(FormTextBlock *block);
void Form_textBlockClear(FormTextBlock *block);
void Form_textBlockAppendLine(FormTextBlock *block, FormTextLine *line);
[[nodiscard]] int Form_textLineNew(FormTextLine **out);
void Form_textLineSet(FormTextLine *line, const char16_t *text, uint16_t first, uint16_t count);
void Form_textLineSetBoxes(FormTextLine *line, const int32_t ink[4], const int32_t place[4]);
