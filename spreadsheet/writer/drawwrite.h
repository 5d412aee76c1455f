// The worksheet drawing of the BIFF8 writer (XlsWriter_writeDrawing and the
// drawing writer XlsDrawWriter, declared in xlswriter.h): the sheet's
// OfficeArt shapes written back from the drawing model as MSODRAWING and
// CONTINUE records, each shape's OBJ and TXO records copied from the source
// after its client records, and the NOTE records of the sheet's comments
// at their current cells. A sheet whose drawing has no model gets its kept
// drawing records copied with the records that follow each.
//
// The OfficeArt bytes are cut into BIFF records of at most 8224 bytes. A
// container's length is not known when it opens: it is written as 0 and
// patched when the container closes, inside the record still being built
// when it started there, otherwise in the output stream already written
// (a container that spans OBJ records or a full record). A container's
// header is never split by a record boundary: a record with less room left
// than a header is ended early, so that its length field lies in one piece.
#pragma once

#include <cstdint>

#include "spreadsheet/writer/xlswriter.h"

struct EscherDrawingGroup;
struct SheetGrid;

enum : uint32_t {
    XlsDraw_maxDepth = 64, // nesting of groups written before a drawing is refused
};

// Writes the drawing container of group from the model (nothing for a
// null group or one without shapes). 0; 1; 8 for a client record of the
// wrong kind or a missing source; 17 for groups nested too deeply; output
// and source stream errors.
[[nodiscard]] int XlsWriter_writeDrawingGroup(XlsWriter *writer, EscherDrawingGroup *group);

// Writes the NOTE records of the grid's comments: each re-read from the
// source at its kept position with its row and column replaced by the
// comment's current cell. 0; 8 without a source; stream errors.
[[nodiscard]] int XlsWriter_writeNotes(XlsWriter *writer, const SheetGrid *grid);
