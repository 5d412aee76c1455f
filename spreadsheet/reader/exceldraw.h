// Worksheet drawings: the workbook's OfficeArt drawing group gathered from
// MSODRAWINGGROUP and CONTINUE records, each sheet's drawing gathered from
// MSODRAWING and CONTINUE records with the OBJ and TXO records that sit
// between them, the OBJ and TXO records handed to their shapes as client
// records, cell anchors turned into rectangles, shapes placed on the
// sheet's page and the text of text boxes laid out with its insets,
// alignment and fonts.
#pragma once

#include <cstdint>

struct EscherDrawing;
struct EscherDrawingGroup;
struct EscherShape;
struct Edr_Doc;
struct Edr_Node;
struct ExcelLoad;
struct ExcelLoadSheet;
struct ExcelRecordHeader;
struct EscherClientBytes;
struct EscherPropSet;
struct SheetGrid;
struct ShapeRect;
struct StyleRule;

enum : int {
    ExcelDraw_errRecord =
        0x3100, // another record inside a drawing run, or one past the drawing's size
    ExcelDraw_errNoGroup = 17, // a sheet drawing without a workbook drawing group
};

// Kinds of a client record.
enum : uint32_t {
    ExcelClient_text = 0,   // a TXO: the text of the object it follows
    ExcelClient_object = 1, // an OBJ
};

// A record between the OfficeArt bytes of a sheet: where it came (the
// count of drawing bytes gathered before it), its kind and the object it
// belongs to (an index into the sheet's objects; a TXO names the object
// that holds its text). A shape gets a copy of its entry as its client
// data or client text box bytes.
// start and end are the stream positions of the record's header and of
// what follows it and what belongs to it (CONTINUE records, a picture, an
// embedded chart's substream), for the writer to copy.
struct ExcelClientRecord {
    uint32_t position;
    uint32_t kind;
    uint32_t object;
    uint32_t start;
    uint32_t end;
    // Set on a shape's copy when it is handed over: the object's type and
    // id (they outlive the load's object list), and the note flags
    // (ExcelClient_shown once a note has been asked to show).
    uint16_t objectType;
    uint16_t objectId;
    uint32_t flags;
};

enum : uint32_t {
    ExcelClient_shown = 8, // a note shown over its cell
};

// The drawing of one sheet: its OfficeArt shapes and client records.
// Once the sheet's workbook item is made, the group belongs to the item
// (its drawing, which the writer writes back) and is lent here.
struct ExcelSheetDrawing {
    EscherDrawingGroup *group;
    ExcelClientRecord *records;
    uint32_t count;
    uint32_t capacity;
    uint32_t groupLent;
};

// What a load keeps of the workbook's drawing: the drawing opened over the
// group's bytes, the sheet whose records are being read or placed, and
// the style ids of the workbook fonts used by text boxes.
struct ExcelDrawHost {
    ExcelLoad *load;
    EscherDrawing *drawing;
    uint8_t *bytes; // the group's bytes: the drawing's delay source
    uint32_t length;
    ExcelLoadSheet *sheet; // the sheet being read or placed
    const SheetGrid *grid; // the laid-out sheet being placed
    uint32_t *fontStyles;  // per font slot; 0 until built
    uint32_t fontStyleCount;
};

// Reads the MSODRAWINGGROUP record whose header was just read, with the
// CONTINUE and MSODRAWINGGROUP records that follow until the bytes hold the
// first OfficeArt record whole (its length + 8; never more than the stream
// still holds), and opens the drawing over them (load->draw). The bytes
// become the drawing's delay source. A group that cannot be opened leaves
// the workbook without drawings. 0; 1; stream errors.
[[nodiscard]] int ExcelDraw_openGroup(ExcelLoad *load, const ExcelRecordHeader *header);

// Reads a sheet's drawing from the MSODRAWING record whose body (length
// bytes) was just read: its bytes, the CONTINUE and MSODRAWING records that complete the
// first OfficeArt record (sized no larger than the stream still holds),
// the OBJ and TXO records between them (added to the sheet's objects and
// to its client records) and one OBJ or TXO right after them; then reads
// the drawing container into the sheet's drawing, replacing an earlier
// one. A record of another type inside the run is stepped back over so
// that the sheet walk reads it, and gives 0x3100; so does a drawing record
// that passes the size. 17 without a workbook drawing; a body shorter than
// 9 bytes reads nothing. 1; stream and OfficeArt errors.
[[nodiscard]] int ExcelDraw_readSheetDrawing(ExcelLoad *load, ExcelLoadSheet *sheet,
                                             const uint8_t *body, uint32_t length);

// The client hook of the workbook drawing: the last client record of the
// sheet being read whose position is the drawing's current position,
// copied into record (a heap block the shape entry owns). No entry: 0 and
// nothing.
int ExcelDraw_clientHook(void *user, EscherClientBytes *record);
// The style hook: a copy of rule added to the sheet style sheet under the
// next element id (*id).
int ExcelDraw_styleHook(void *user, StyleRule *rule, uint32_t *id);
// The shape hook: lays out the text of a shape with a client text box or
// client data (ExcelDraw_textBox).
int ExcelDraw_shapeHook(void *user, Edr_Node *node, const EscherShape *shape, const int32_t rect[4],
                        int32_t rotation);

// The rectangle of an 18-byte client anchor over the grid's columns and
// rows, from the origin (16.16 inches): columns are 1/1024 and rows 1/256
// of their size; columns and rows past the grid have the default size;
// on a right-to-left grid columns count from the right.
void ExcelDraw_anchorRect(const SheetGrid *grid, int32_t xOrigin, int32_t yOrigin, ShapeRect *out,
                          const uint8_t *anchor);

// Replaces the palette colours (bit 27 set: a colour index in the low byte)
// of the line and fill colours (properties 448, 385, 387) of every shape of
// the group with the workbook palette's red, green and blue.
void ExcelDraw_resolveColours(ExcelDrawHost *host, EscherDrawingGroup *group);

// Places the drawing of the sheet being laid out (book->layoutSheet) under
// parent over the grid, whose corner lies at the page's left and top
// margins: notes are not drawn, charts go to
// ExcelDraw_chartShape, every other anchored shape to Shape_placeTree.
// 0 without a drawing; document and shape errors.
[[nodiscard]] int ExcelDraw_placeSheet(ExcelLoad *book, const SheetGrid *grid, Edr_Doc *doc,
                                       Edr_Node *parent);

// A chart shape in its rectangle. The chart drawing is wired in by the
// chart code; until then a chart's shape shows nothing.
[[nodiscard]] int ExcelDraw_chartShape(ExcelDrawHost *host, uint32_t object, const ShapeRect *rect,
                                       Edr_Doc *doc, Edr_Node *parent);

// Moves the rectangle's edges in by the text insets of the property set
// (properties 129 to 132, EMU; defaults 1310 left and right, 655 top and
// bottom, in 16.16 inches). rect is {x, y, w, h} with w, h >= 0.
void Shape_applyTextInsets(int32_t rect[4], const EscherPropSet *set);

// The style id of workbook font `font`, built on first use from a copy of
// the font's rule; fonts 4 and above are kept at font - 1 (there is no font
// 4). 0; 8 for a font the workbook does not have; 1.
[[nodiscard]] int ExcelDraw_fontStyle(ExcelDrawHost *host, uint32_t *id, uint32_t font);

// Lays out the text of a client record in the rectangle {x, y, w, h}
// under parent: a TXO's text with its alignment and runs; a chart object
// goes to ExcelDraw_chartShape.
[[nodiscard]] int ExcelDraw_textBox(ExcelDrawHost *host, Edr_Node *parent,
                                    const EscherClientBytes *client, const int32_t rect[4],
                                    int32_t rotation);

// Adds a client record. 0; 1.
[[nodiscard]] int ExcelDraw_addClientRecord(ExcelSheetDrawing *drawing, uint32_t position,
                                            uint32_t kind, uint32_t object);
// Frees the client records, last to first.
void ExcelDraw_clientRecordsFree(ExcelSheetDrawing *drawing);
// Frees a sheet's drawing. Null does nothing.
void ExcelDraw_sheetFree(ExcelSheetDrawing *drawing);
// Frees the load's drawing host. Null does nothing.
void ExcelDraw_free(ExcelLoad *load);

struct ExcelNoteData;
// The note registered over a cell shows: among the shapes of the note's
// drawing, the one whose client record is an OBJ of type 25 (a note) with
// the note's object id gets ExcelClient_shown in its record's flags and is
// returned; null when there is none (or no drawing).
EscherShape *Excel_noteShow(const ExcelNoteData *data);

// After the sheet's page is built, the sheet's drawing group moves to the
// worksheet's item of the workbook (the item frees it); the notes over the
// sheet's cells keep naming it.
void ExcelDraw_keepGroup(ExcelLoad *load, const SheetGrid *grid);

// The largest anchor column and row + 1 over the sheet's anchored shapes
// (0, 0 without a drawing).
void ExcelDraw_objectsExtent(const ExcelLoadSheet *sheet, uint32_t *columns, uint32_t *rows);
