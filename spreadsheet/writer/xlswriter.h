// The BIFF8 workbook writer: saves a loaded (and possibly edited) workbook
// as a BIFF8 "Workbook" stream inside a new compound file.
//
// It is a rewriting writer. It walks the records the reader kept from the
// source workbook stream and either copies each one byte for byte or writes
// a fresh record built from the workbook model (fonts, formats, XF entries,
// styles, palette, sheet list, shared strings, rows and cells, merged
// ranges, window settings, hyperlinks). Charts and sheet drawings are
// rewritten from their models (spreadsheet/writer/objects*.cpp). Every other
// storage and stream of the source compound file is copied unchanged.
//
// Records are written through XlsWriter_writeRecord into the output stream;
// a record body holds at most 8224 bytes, longer data continues in CONTINUE
// records.
#pragma once

#include <cstddef>
#include <cstdint>

struct Edr_Doc;
struct EngineContext;
struct EscherDrawingGroup;
struct ExcelWorkbook;
struct OleHandle;
struct OleStream;
struct RecListEntry;
struct Url;
struct XlsChart;
struct XlsChartSeries;

enum : uint32_t {
    XlsWriter_recordMax = 8224, // the largest record body
};

// BIFF record types the writer and the object writer both use.
enum : uint16_t {
    Xls_recBof = 0x0809,
    Xls_recEof = 0x000A,
    Xls_recContinue = 0x003C,
    Xls_recMsoDrawing = 0x00EC,
    Xls_recObj = 0x005D,
    Xls_recTxo = 0x01B6,
    Xls_recNote = 0x001C,
    Xls_recWindow2 = 0x023E,
};

// BOF substream types.
enum : uint16_t {
    Xls_bofGlobals = 0x0005,
    Xls_bofModule = 0x0006,
    Xls_bofWorksheet = 0x0010,
    Xls_bofChart = 0x0020,
    Xls_bofMacroSheet = 0x0040,
};

// Substream kinds of a sheet entry (the BOUNDSHEET dt values).
enum : uint32_t {
    XlsSheet_worksheet = 0,
    XlsSheet_macroSheet = 1,
    XlsSheet_chart = 2,
    XlsSheet_raw = 6,
};

// One sheet of the document, in document order.
struct XlsSheetEntry {
    uint32_t boundSheetPos; // stream position of its BOUNDSHEET record
    uint32_t visibility;    // 0 visible, 1 hidden, 2 very hidden
    uint32_t selected;      // the first worksheet or chart
    uint32_t kind;          // XlsSheet_*
    void *model;            // ExcelSheet, XlsChart or ExcelExtent (lent)
    // Copied from the document's sheet item: its name and its source
    // record lists ({head, tail} of the kept records, then of the drawing
    // records) and its drawing group (all lent).
    const char16_t *name;
    RecListEntry *records[2][2];
    EscherDrawingGroup *drawing;
    // A sheet of the source that the model holds no entry for (the loader
    // lays out no worksheet without cells; a chart sheet or macro module
    // may have no item): the source position of its BOF, its substream
    // copied from there; 0 for the model's sheets.
    uint32_t copiedFrom;
    XlsSheetEntry *next;
};

// The state of one save; on the stack of Excel_writeWorkbook.
struct XlsWriter {
    OleHandle *out; // the output compound file
    Edr_Doc *doc;   // the caller's two words
    uint32_t options;
    OleStream *stream;       // "Workbook" of the output
    XlsSheetEntry *entries;  // owned list
    ExcelWorkbook *workbook; // the model (lent); null: nothing to save
    uint32_t fontsWritten;
    uint8_t *buffer; // XlsWriter_recordMax + 4 bytes: the record being built
    // INDEX of the current worksheet.
    uint32_t indexPos;
    uint32_t indexLength;
    uint8_t *indexBody;        // owned
    uint8_t *indexSlot;        // the next DBCELL-position slot in indexBody
    uint16_t defaultRowHeight; // twips; 255 until DEFAULTROWHEIGHT is written
    OleHandle *source;         // the source compound file, or null
    OleStream *sourceStream;   // its workbook stream, or null
    uint32_t sourceHeld;       // 1: source is the workbook's held handle (heldSource)
    uint32_t keepSource;       // 1: the caller takes source after the write
    EngineContext *ctx;
};

// ------------------------------------------------------------- saving

// The save hook of BIFF8 workbooks: writes the document to target through
// a temporary file beside it that replaces target by one rename only when
// every step (the write, the flush, the close) succeeded. On failure the
// temporary file is removed and target (the document's own file included)
// is left as it was. A save that replaces the document's own file keeps the
// replaced file open in the workbook (heldSource), so that later saves
// still read the kept records from the bytes they point into. 0 or the
// first error.
int Excel_saveWorkbook(Edr_Doc *doc, const Url *target);

// The whole save into writer->out (Part of Excel_saveWorkbook; the caller
// holds the document's read lock). 0; 1; 8; 14; 16; 17; 19; the OLE2
// reader's and writer's errors.
[[nodiscard]] int Excel_writeWorkbook(XlsWriter *w, Edr_Doc *doc, uint32_t options);

// ------------------------------------------------------------- records

// Writes a record: the header (type, length) then length bytes of body (a
// zero length writes the header only). 0 or the stream's errors; 14 for a
// length above XlsWriter_recordMax.
[[nodiscard]] int XlsWriter_writeRecord(XlsWriter *w, uint16_t type, const uint8_t *body,
                                        size_t length);
// Data longer than one body: one record of type with the first 8224 bytes,
// then CONTINUE records of at most 8224 bytes. Shorter data is one record.
[[nodiscard]] int XlsWriter_writeLongRecord(XlsWriter *w, uint16_t type, const uint8_t *data,
                                            size_t length);
// Reads the body of length bytes at position of the source stream into the
// record buffer and writes it under type. 8 without a source stream.
[[nodiscard]] int XlsWriter_copyRecord(XlsWriter *w, uint16_t type, uint32_t length,
                                       uint32_t position);
// Copies length raw bytes of the source stream from position (whole
// records with their headers) in pieces of at most 8224 bytes. Nothing for
// a zero length or position; 8 without a source stream.
[[nodiscard]] int XlsWriter_copyBytes(XlsWriter *w, uint32_t position, uint32_t length);
// Copies one kept source record and what belongs to it: the bytes of its
// extent when it has one, otherwise every CONTINUE record that follows it
// in the source.
[[nodiscard]] int XlsWriter_copySourceRecord(XlsWriter *w, const RecListEntry *entry);
// A sheet without a model (copiedFrom set): its source substream copied
// record by record from its BOF to its EOF, embedded substreams with it;
// a worksheet's INDEX is written fresh and its DBCELL records are left out
// (both hold source positions). A position without a BOF gets an empty
// worksheet.
[[nodiscard]] int XlsWriter_copySheet(XlsWriter *w, XlsSheetEntry *entry);
// BOF with version 0x0600, the substream type, build 3515, year 1996.
[[nodiscard]] int XlsWriter_writeBof(XlsWriter *w, uint16_t substream);
// A fresh WINDOW2 with grbit (the caller's flags).
[[nodiscard]] int XlsWriter_writeWindow2(XlsWriter *w, uint16_t grbit);

// Writes an unformatted BIFF8 string body at *cursor (flags byte, the run
// count when runs is above 0, the characters: 8-bit when every one is at
// most 255, else 16-bit) and moves *cursor past it; the caller writes the
// character count. 14 when it does not fit before end.
[[nodiscard]] int XlsWriter_writeString(uint8_t **cursor, const uint8_t *end, const char16_t *chars,
                                        size_t count, uint32_t runs);

// The stream position of the output.
uint32_t XlsWriter_tell(const XlsWriter *w);
// The type and body length of the source record whose header is at
// position. 8 without a source stream; 3605 when the header is not all
// there (the end of the stream).
[[nodiscard]] int XlsWriter_readSourceHeader(XlsWriter *w, uint32_t position, uint16_t *type,
                                             uint16_t *length);

// ------------------------------------------------------------- charts and drawings
// (spreadsheet/writer/objects*.cpp)

// The records of a chart substream between its BOF (type 0x0020) and its
// EOF, which the caller writes: the source substream of chart rewritten
// with its series counts, references, names and value caches brought up to
// date. 16 when chart is null.
[[nodiscard]] int XlsWriter_writeChart(XlsWriter *w, XlsChart *chart);
// The value caches (SIIndex with NUMBER, LABEL, BLANK records) of every
// series of chart, from the current cells.
[[nodiscard]] int XlsWriter_writeChartCaches(XlsWriter *w, XlsChart *chart);
// The sheet's drawing (MSODRAWING records with their OBJ and TXO records)
// and its NOTE records, at the MSODRAWING row of the sheet table.
[[nodiscard]] int XlsWriter_writeDrawing(XlsWriter *w, XlsSheetEntry *entry);

// An open OfficeArt container of the drawing writer.
struct XlsDrawContainer {
    uint32_t length;    // bytes written inside so far
    uint32_t lengthPos; // stream position of its length field
    XlsDrawContainer *outer;
};

// The drawing writer: OfficeArt bytes cut into MSODRAWING and CONTINUE
// records.
struct XlsDrawWriter {
    XlsWriter *writer;
    uint16_t recordType;    // MSODRAWING, then CONTINUE
    uint32_t used;          // bytes in the record buffer
    uint32_t total;         // bytes written
    XlsDrawContainer *open; // innermost open container
    EscherDrawingGroup *group;
    uint32_t shape; // index of the current shape entry
};

[[nodiscard]] int XlsDrawWriter_writeGroup(XlsDrawWriter *d);
[[nodiscard]] int XlsDrawWriter_writeShape(XlsDrawWriter *d);
