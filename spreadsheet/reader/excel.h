// The Excel handler as the document-type registry sees it.
//
// Only the services that modules built before the spreadsheet reader call
// are declared here so far; spreadsheet/interim.cpp holds interim
// definitions.
#pragma once

struct EngineContext;
struct Edr_HandlerDesc;

// Fills the Excel handler's descriptor. 0.
int Excel_describe(EngineContext *context, Edr_HandlerDesc *desc);

// A raw-record list entry of the BIFF8 reader (type, length and stream
// position of a record the writer copies). Built by the workbook loader.
struct RecListEntry;

// Frees a raw-record list and clears its head and tail. Null pointers are
// fine.
void RecList_free(RecListEntry **head, RecListEntry **tail);

struct ExcelFont;
struct ExcelWorkbook;
struct StyleRule;

// The workbook load record: what one load of a workbook keeps while it
// runs. Only the fields that the style rules use exist so far; the
// workbook loader adds its own.
struct ExcelLoad {
    EngineContext *context;
    uint32_t version;          // BIFF version of the globals (0x0500 or 0x0600)
    ExcelFont **fonts;         // the font table, in record order
    uint16_t fontCount;
    uint16_t fontCapacity;
    ExcelWorkbook *workbook;   // the persistent workbook record
    uint32_t charset;          // character set of 8-bit texts (a CharsetCode)
    StyleRule **fontRules;     // one rule per font (Excel_fontsToRules)
    uint16_t window2Options;   // WINDOW2 options of the sheet being laid out
};
