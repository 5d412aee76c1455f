// The worksheet records the reader keeps without modelling them: embedded
// objects (OBJ) with their pictures and embedded chart substreams, text
// objects (TXO) that hold the text of notes and text boxes, hyperlink
// records (HLINK) waiting for the hyperlink reader, and the raw-record
// lists of a BIFF8 sheet. Also the small record readers of the sheet walk:
// DIMENSIONS, the margins and the substream skip.
#pragma once

#include <cstddef>
#include <cstdint>

#include "spreadsheet/reader/biff.h"

struct ExcelLoad;

enum : uint16_t {
    Excel_objChart = 5,   // object type of an embedded chart
    Excel_objPicture = 8, // object type of a picture
    Excel_objNote = 25,   // object type of a note
};

// The picture fields of a BIFF5 OBJ (at offset 28 of the body): two bytes,
// a flags byte, a byte and two u16.
struct ExcelObjPictureFields {
    uint8_t colour;
    uint8_t fill;
    uint8_t flags;
    uint8_t spare;
    uint16_t formulaLength;
    uint16_t extra;
};

// Picture data from the IMDATA record (and its CONTINUE records) after a
// picture object.
struct ExcelPicture {
    uint32_t length;
    uint16_t format;
    uint16_t environment;
    uint8_t *data; // owned, length bytes
};

// One formatting run of a text object.
struct ExcelTextRun {
    uint16_t first; // first character
    uint16_t font;  // font index
};

// A TXO record with its text and runs.
struct ExcelTextObject {
    uint16_t options;
    uint16_t rotation;
    uint32_t position;  // stream position of the TXO header
    uint32_t end;       // stream position after the TXO record
    char16_t *text;     // owned, NUL-terminated; null for an empty text
    uint32_t length;    // characters
    ExcelTextRun *runs; // owned
    uint32_t runCount;
};

// An embedded object of a worksheet (OBJ).
struct ExcelObject {
    uint32_t position;            // stream position of the OBJ header
    uint16_t type;                // object type (5 chart, 8 picture, 25 note, ...)
    uint16_t id;                  // object id (notes name it)
    ExcelObjPictureFields fields; // type 8 with a body long enough
    ExcelPicture *picture;        // type 8: the IMDATA picture, or null
    ExcelExtent *chart;           // type 5: the chart substream, kept for the chart reader
    ExcelTextObject *text;        // the TXO that followed the object, or null
};

// A hyperlink record kept for the hyperlink reader: its cell range and
// where its body lies in the stream.
struct ExcelLink {
    ExcelRange range;
    uint32_t position; // stream position of the body
    uint32_t length;   // body length
};

// Reads an OBJ body (length bytes, already read; its header at position)
// into *object. A chart object must be followed by a BOF whose substream
// is skipped and kept as an extent; a picture object takes its IMDATA
// record when one follows (the next header is pushed back otherwise).
// 0; 12544 for a body shorter than 8 bytes, a chart object without BOF or
// an IMDATA cut short of its CONTINUE records; 16; 1; read errors. On
// failure *object holds nothing.
[[nodiscard]] int Excel_readObj(ExcelLoad *load, ExcelObject *object, const uint8_t *body,
                                uint32_t length, uint32_t position);
// The picture fields at the start of bytes (8 bytes needed). 0; 12544 when
// shorter; 16 for null arguments.
[[nodiscard]] int Excel_parseObjPicture(const uint8_t *bytes, size_t length,
                                        ExcelObjPictureFields *out);
// Frees an object's payloads (picture, chart extent, text) and clears it.
void Excel_valueClear(ExcelObject *object);
// Frees count objects with their payloads, and the array.
void Excel_objListFree(ExcelObject *objects, uint32_t count);

// Reads a TXO body (length bytes, already read; its header at position)
// and the CONTINUE records that follow with its text (a flags byte at
// the start of each: bit 0 16-bit characters) and its runs (8 bytes
// each) into a new *out. 0; 12544 for a body shorter than 14 bytes or a
// missing CONTINUE; 16; 1; read errors.
[[nodiscard]] int Excel_readTextObject(ExcelLoad *load, const uint8_t *body, uint32_t length,
                                       uint32_t position, ExcelTextObject **out);
// Frees a text object. Null is ignored.
void Excel_textObjectFree(ExcelTextObject *text);

// Keeps an HLINK body (length bytes at stream position) for the hyperlink
// reader: its range (first row, last row, first column, last column) and
// place. 0; 1; 16; a body shorter than 8 bytes is passed over (0).
[[nodiscard]] int Excel_keepHyperlink(ExcelLoadSheet *sheet, const uint8_t *body, uint32_t length,
                                      uint32_t position);

// Appends a worksheet record's header (body at position) to the sheet's
// kept list when the writer copies records of its type (page setup,
// views, protection, links). 0; 1; 16.
[[nodiscard]] int Excel_keepSheetRecord(ExcelLoadSheet *sheet, const ExcelRecordHeader *header,
                                        uint32_t position);

// A margin record's 8-byte little-endian double. 0; 12544 when shorter;
// 16 for null arguments.
[[nodiscard]] int Excel_readMargin(const uint8_t *body, size_t length, double *out);

// Skips to the EOF that closes the current substream (nested BOF and EOF
// pairs counted) and gives the skipped stretch {start, length}. 0; 16 for
// a null extent or load; read errors.
[[nodiscard]] int Excel_skipSubstream(ExcelLoad *load, ExcelExtent *extent);

// Appends an OBJ (body of length bytes, header at position) to the sheet's
// objects (Excel_readObj); *added is 1 when it was kept. An object too
// short to name itself is passed over. 0; 1; the errors of Excel_readObj.
[[nodiscard]] int Excel_sheetAddObject(ExcelLoad *load, ExcelLoadSheet *sheet, const uint8_t *body,
                                       uint32_t length, uint32_t position, int *added);
// Reads a TXO (Excel_readTextObject) and gives its text to the sheet's last
// object; *attached is 1 when it was kept (a text without an object, or
// for an object that has one, is dropped). 0; 1; read errors.
[[nodiscard]] int Excel_sheetAddText(ExcelLoad *load, ExcelLoadSheet *sheet, const uint8_t *body,
                                     uint32_t length, uint32_t position, int *attached);

// Frees what the sheet keeps beside its cells: objects, hyperlinks, the
// drawing and the raw-record lists.
void Excel_sheetKeptFree(ExcelLoadSheet *sheet);
