// Hyperlinks of a worksheet: the HLINK record body read into a cell range
// and its target, and the links registered over their ranges when a sheet
// is laid out.
#pragma once

#include <cstddef>
#include <cstdint>

struct Edr_Doc;
struct Edr_Node;
struct ExcelLoad;
struct SheetGrid;
struct TaggedRecord;

// A hyperlink over the cells from (firstRow, firstColumn) to (lastRow,
// lastColumn).
struct ExcelHyperlink {
    uint16_t firstRow;
    uint16_t lastRow;
    uint16_t firstColumn;
    uint16_t lastColumn;
    char16_t *target; // owned, NUL-terminated; null when the link names none
};

// Reads an HLINK body (length bytes): the range, then past the class id,
// version and flags the display text (flags 0x14) and target frame (0x80),
// which are skipped, and the target: a string of its own (0x100), or the
// file path of a file moniker or the address of a URL moniker (0x01).
// Other monikers and links without one give no target. Trailing NULs are
// not part of the target. 0; 12544 for a body shorter than its 32-byte
// head or a field that runs past its end (*out then holds nothing); 16
// for null arguments; 1 when memory runs out.
[[nodiscard]] int Excel_parseHyperlink(const uint8_t *body, size_t length, ExcelHyperlink *out);
// Frees the target and clears the link. Null does nothing.
void Excel_hyperlinkFree(ExcelHyperlink *link);

// The tag of the hyperlink ranges of a sheet store: a range's record holds
// its target as NUL-terminated 16-bit text; nothing to dispose.
void Excel_hyperlinkTag(TaggedRecord *record);
// The target held by a record of the hyperlink tag.
const char16_t *Excel_hyperlinkTarget(const TaggedRecord *record);
// The tag of the HLINK records of a sheet store, kept for the workbook
// writer: a record's range is its link's range (moved with the other
// ranges by row and column edits, dropped with a deleted range), its data
// the u32 stream position of the HLINK body; nothing to dispose.
void Excel_hyperlinkRecordTag(TaggedRecord *record);

// Registers each hyperlink record the layout sheet of book keeps over its
// range under Excel_hyperlinkRecordTag, then reads the link (its body from
// the workbook stream) and registers it over its range under
// Excel_hyperlinkTag; with a document and a parent, a link with a target
// also becomes a link node over its cells (Excel_linkNode). A link whose
// body cannot be read or parsed is passed over (its record stays
// registered). 0; 1; 16; stream errors.
[[nodiscard]] int Excel_registerHyperlinks(ExcelLoad *book, SheetGrid *grid, Edr_Node *parent);

// Under parent: a position marker at the corner of the link's range on the
// page body (the grid's top is the body's, its left edge at the page's left
// margin) and a block group the size of the range carrying the link's
// target as its URL, its display and size as data nodes of its own. 0; 1;
// 16 without a document, grid, parent or target; document errors.
[[nodiscard]] int Excel_linkNode(ExcelLoad *book, const SheetGrid *grid, Edr_Node *parent,
                                 const ExcelHyperlink *link);

// After rows or columns of grid were inserted or deleted (and its ranges
// moved): the link nodes beside the grid's node are made again from the
// hyperlink ranges, each over its range's cells as they now lie; a range
// the edit removed loses its node. Nothing when the document does not
// hold the grid. Takes the document's locks itself (the caller holds
// none). 0; 1; 16; document errors.
[[nodiscard]] int Excel_placeLinkNodes(Edr_Doc *doc, const SheetGrid *grid);
