// Spreadsheet pages: each sheet of a workbook becomes one page of the
// document tree.
//
// The first page installs the spreadsheet document's element names (ids 1
// to 8 in a fixed order) and its style sheet (a request of kind 2 with one
// rule per element); every page gets a page rule (background, margins) with
// the next element id from 9 on, a body group holding the sheet's grid
// record, and header and footer sections. A header or footer text with its
// "&" codes becomes a one-row table of three cells (left, centre, right) of
// text and formatting nodes.
//
// Every node is appended as the last child; every group is created with
// style word 0. Errors of node, id, rule and request calls are returned as
// they come (1 for memory); building stops at the first one.
#pragma once

#include <cstdint>

struct Edr_Doc;
struct Edr_Node;
struct ExcelLoad;
struct Prop;
struct SheetGrid;
struct StyleRule;

// The page setup of a sheet (read only): header and footer texts (may be
// null), margins in inches.
struct ExcelPageSetup {
    const char16_t *header;
    const char16_t *footer;
    double leftMargin;
    double rightMargin;
    double topMargin;
    double bottomMargin;
};

// Element ids of a spreadsheet document.
enum : uint32_t {
    ExcelPage_elementDocument = 1,
    ExcelPage_elementFooter = 2,
    ExcelPage_elementHeader = 3,
    ExcelPage_elementTable = 4,
    ExcelPage_elementCellCentre = 5,
    ExcelPage_elementCellLeft = 6,
    ExcelPage_elementCellRight = 7,
    ExcelPage_elementRow = 8,
    ExcelPage_firstPageElement = 9,
    ExcelPage_tableWidth = 786432, // 12 inches, 16.16
};

// Builds one sheet page under book->root: the grid record grid goes to the
// tree (before that, a failure frees it with Excel_gridLayoutFree). flag
// makes the page rule's display value a value of type 0; pageKey names the
// page's keyed groups and is stored as property 113. 0 or an error.
[[nodiscard]] int Excel_Page_build(ExcelLoad *book, const ExcelPageSetup *setup, SheetGrid *grid,
                                   intptr_t pageKey, int flag);
// Installs the element names and the style sheet; width is the table
// width, top the top margin (16.16 inches). 0 or an error.
[[nodiscard]] int Excel_Page_buildStyleSheet(ExcelLoad *book, int32_t width, int32_t top);
// Makes the page rule and registers it: *id its element id. 0 or an error.
[[nodiscard]] int Excel_Page_addPageRule(ExcelLoad *book, intptr_t pageKey, int32_t top,
                                         int32_t left, int32_t bottom, int32_t right, int flag,
                                         uint32_t *id);
// Margin in inches to 16.16: truncated, at least 7000; NaN gives 7000 and
// values beyond the 32-bit range the largest length.
int32_t Excel_Page_margin(double inches);

// The header or footer table of text under the section group. 0 or an error.
[[nodiscard]] int Excel_HeaderFooter_build(ExcelLoad *book, Edr_Node *section,
                                           const char16_t *text);
// Parses one segment from *cursor (just after its "&L", "&C" or "&R") into
// the cell group, leaving *cursor on the "&" of the next section code or
// on the terminator. 0 or an error.
[[nodiscard]] int Excel_HeaderFooter_parseSegment(ExcelLoad *book, Edr_Node *cell,
                                                  const char16_t **cursor);
// The default cell format's font as data nodes (family, size); nothing
// without that format or font. 0 or an error.
[[nodiscard]] int Excel_HeaderFooter_setDefaultFont(ExcelLoad *book, Edr_Node *cell, Prop *scratch);
// A data node with property 41 (italic) or 43 (bold) set to the keyword.
[[nodiscard]] int Excel_HeaderFooter_setItalic(Edr_Doc *doc, Edr_Node *group, Prop *scratch,
                                               uint32_t keyword);
[[nodiscard]] int Excel_HeaderFooter_setBold(Edr_Doc *doc, Edr_Node *group, Prop *scratch,
                                             uint32_t keyword);

// Append a keyword or a length value (through the scratch value) to a rule.
[[nodiscard]] int StyleRule_appendKeyword(StyleRule *rule, Prop *scratch, uint32_t property,
                                          uint32_t keyword);
[[nodiscard]] int StyleRule_appendLength(StyleRule *rule, Prop *scratch, uint32_t property,
                                         int32_t length);
