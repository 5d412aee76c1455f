// Edit mode for flowing text: the viewer's edit-mode record, its font list
// and palette, selecting by point, and the round trip of the selected text
// through the host's contents dialog (EditData of kind 92, request
// 0x17000; the answer comes back through App_postContents).
#pragma once

#include <cstdint>

struct EditData;
struct EditModeRecord;
struct EngineContext;
struct EngineInstance;
struct FvViewer;

// The type code of flowing-text documents, which get the handlers here.
// Spreadsheets (228) get the spreadsheet's (spreadsheet/docside.h).
enum : uint32_t {
    TextEdit_typeText = 226,
    TextEdit_typeSheet = 228,
    // Documents that are read only: web pages and plain text. Where their
    // loader installed the node tests, their text is selected and read out
    // (for copying) as a flowing text document's is, but never changed.
    TextEdit_typeWeb = 227,
    TextEdit_typePlain = 232,
    // PDF: its text is drawn glyph runs, selected between two page points
    // and read out as the search reads a page.
    TextEdit_typePdf = 229,
};

// Makes the viewer's edit-mode record (once) with its cleanup and listens
// to the viewer's document events (kind 1) for it; code 2, or 3 when
// there is no viewer or memory runs out (nothing is kept then).
void TextEdit_setup(EngineInstance *instance);
// The handlers of drawn text: code 0x10007 moves the selection's end to
// the screen point (args: x, y, code), any other code starts it there; the
// read-out sends the text between the two points to the host as the
// contents editor's record (App_requestContents); the clear forgets them.
void TextEdit_glyphSelectAtPoint(EngineInstance *instance, const intptr_t *args);
void TextEdit_glyphReadOut(EngineInstance *instance);
void TextEdit_glyphClear(EngineInstance *instance);
// The cleanup: stops listening and frees the record with its font list
// and palette.
void TextEdit_teardown(EngineInstance *instance);
// Clears the font list, frees the palette, zero-fills the record and reads
// the three selection colour settings.
void TextEdit_resetRecord(EngineContext *context, EditModeRecord *record);
// The viewer's events for the record. Listener code 0 (load reports):
// event 5 releases the cursor. Listener code 1: event 3 resets the record;
// event 14 (relaid out) shows the caret again once the page has been
// displayed; event 38 (type known) makes the cursor again;
// event 17 (a document is shown) fills the font list, and for a flowing
// text document the handlers, defaults and palette (for a read-only one
// with node tests only those that select, clear and read out), then
// reports the editability. Other events change nothing here.
void TextEdit_onAppEvent(EditModeRecord *record, int32_t listenerCode, int32_t event,
                         FvViewer *viewer);
// The stop hook: while the record holds unsaved changes (modified) it
// sends code 45 and refuses (0); otherwise 1.
int TextEdit_stopHook(EngineInstance *instance);
// The on-screen cursor's hook: kind 1 (the point under the cursor was
// chosen) posts an edit call at (x, y) with the "EditCursorMode" setting
// (default 0x10000) as its code.
void TextEdit_cursorHook(FvViewer *viewer, int32_t kind, int32_t x, int32_t y);
// Reports {editable, savable} once per record (request 0x10017).
void TextEdit_checkEditable(EngineInstance *instance);

// The edit-call handler: selects at the point {x, y, code}.
void TextEdit_selectAtPoint(EngineInstance *instance, const intptr_t *args);
// Shows the caret's rectangle and redraws the selection.
void TextEdit_showCaret(EngineInstance *instance);
// Fills record (zeroed first) with the selection's text and formats: 1;
// 0 with *code 35 (no document or selection), 48 (a document that refuses
// edits) or the failing step's error.
int TextEdit_gather(EngineInstance *instance, EditData *record, int32_t *code);
[[nodiscard]] int TextEdit_gatherFormats(EngineInstance *instance, EditData *record);
// The contents hook: mode 1 (dialog cancelled) sends 46; mode 0 replaces
// the selected text and applies the changed formats.
void TextEdit_apply(EngineInstance *instance, EditData *returned, intptr_t mode);
// The style flags of the selection's computed style.
uint32_t TextEdit_styleFlags(const struct Edr_Style *style);

// The font list: names cut at their first comma, the rests kept.
// FontList_add: 0 when added or already present, 1 out of memory.
int FontList_add(EditModeRecord *record, const char *name);
// The index of name, or 0 when absent.
int32_t FontList_find(const EditModeRecord *record, const char *name);
void FontList_clear(EditModeRecord *record);
// A new string "name,rest", or a copy of the name without a rest; null
// for an index out of range or without memory.
char *TextEdit_fontFullName(const EditModeRecord *record, int32_t index);
// Adds the font names of the document's style rules (property 37).
void TextEdit_collectFonts(FvViewer *viewer, EditModeRecord *record);
