// The content-stream interpreter: one per page, with the graphics state,
// the current path and the page output it appends to the page group.
#pragma once

#include <cstdint>

struct PdfDoc;
struct PdfLexer;
struct PdfObj;
struct PdfInterp;
struct Edr_Node;
struct ImageHandle;

enum : uint32_t {
    PdfInterp_operandSlots = 100,
    PdfInterp_maxNesting = 28, // nested content runs (forms, appearances, glyphs)
};

// Creates the interpreter of page (a group node the interpreter takes a
// reference on) with the page matrix of doc's page attributes, and starts
// the page output. 0 or 1.
[[nodiscard]] int Pdf_Interp_create(PdfDoc *doc, Edr_Node *page, PdfInterp **out);
// Flushes the pending output into the page and frees everything; errors of
// the flush are deferred. 0.
int Pdf_Interp_destroy(PdfDoc *doc, PdfInterp *interp);

// Runs the content read by lexer with interp under matrix (six numbers)
// clipped to bbox (four numbers), resources the content's "Resources". 0
// or an error.
[[nodiscard]] int Pdf_Interp_runContent(PdfDoc *doc, PdfInterp *interp, PdfLexer *lexer,
                                        const float *matrix, const float *bbox, PdfObj *resources);

// Appends the pending drawing to the page, so that nodes appended to the
// page group next come after it. 0 or an error.
[[nodiscard]] int Pdf_Out_flush(PdfDoc *doc, PdfInterp *interp);
// The current fill colour, R | G << 8 | B << 16 (the colour image masks
// are painted in).
uint32_t Pdf_Interp_fillRgb(const PdfInterp *interp);
// Appends image (taken over: released on failure) at the current matrix,
// its width x height pixels mapped onto the unit square. 0 or an error.
[[nodiscard]] int Pdf_Out_drawImage(PdfDoc *doc, PdfInterp *interp, ImageHandle *image,
                                    int32_t width, int32_t height);

// Releases the document's table of drawing lists (made by the page output
// on first use), so that later pages no longer share the lists met so far.
void Pdf_DrawListTable_clear(PdfDoc *doc);

struct PdfString;

// Sets the font size and selects the font of a font dictionary ("Tf" and
// the graphics-state parameter "Font"); the level's previous font is
// released unless the level below shares it. 0 or the selection's error
// (the level then has no font).
[[nodiscard]] int Pdf_GState_setFont(PdfDoc *doc, PdfInterp *interp, float size, PdfObj *fontDict);
// Shows one string of a text operator with the current text state: the
// codes go into the page's text run at the text position, which then
// advances by their width and the adjustment (thousandths of text space).
// 0 or an error.
[[nodiscard]] int Pdf_Out_showText(PdfDoc *doc, PdfInterp *interp, const PdfString *string,
                                   float adjustment);

struct PdfType3Font;

// Shows a string with a Type 3 font: each byte within the font's code
// range runs its glyph procedure (a nested content run) under the glyph
// matrix and advances the text position by its width and the character
// spacing (the word spacing for a code without a procedure); bytes outside
// the range are skipped. The first failing procedure ends the string with
// its error. adjustment as for Pdf_Out_showText.
[[nodiscard]] int Pdf_Type3_show(PdfDoc *doc, PdfType3Font *font, PdfInterp *interp,
                                 const PdfString *string, float adjustment);
// Shows the string with the current font when it is a Type 3 font
// (*handled 1), else does nothing (*handled 0).
[[nodiscard]] int Pdf_Font_showType3(PdfDoc *doc, PdfInterp *interp, const PdfString *string,
                                     float adjustment, int *handled);
