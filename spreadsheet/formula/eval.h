// Formula evaluation: values, the evaluation context, the built-in
// function table and the order in which dependent formulas recalculate.
//
// A cell formula is a BIFF8 token string (spreadsheet/formula/ptg.h) run on
// a stack machine against the cells of its sheet. Every formula value is a
// kind word followed by its payload. Built-in functions take their
// arguments as an array of these values, in formula order (every cell of an
// area argument a separate argument), and write one complete value as their
// result.
//
// Evaluation failures are the formula codes 0x6600-0x6607 (core/result.h);
// the cell store turns them into the error a cell shows.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;
struct ExcelSheet;
struct SheetGrid;
struct ExcelWorkbook;

// Kinds of Excel_Value.
enum ExcelValueKind : uint32_t {
    Excel_kindInteger = 0, // i
    Excel_kindNumber = 1,  // d
    Excel_kindBoolean = 2, // b: 0 FALSE, 1 TRUE
    Excel_kindText = 3,    // text: a 16-bit string
    Excel_kindEmpty = 4,   // a missing cell or argument; no payload
    Excel_kindGuess = 5,   // d: a number marked as the guess argument of IRR
};

// A formula value.
struct Excel_Value {
    uint32_t kind;
    union {
        int32_t i;
        double d;
        uint32_t b;
        char16_t *text;
    } u;
};

// A built-in function: argument count, arguments in formula order, and the
// result it fills. Returns 0 or an error code (1 when memory runs out).
typedef int (*Excel_FuncFn)(uint32_t count, const Excel_Value *args, Excel_Value *result);

// ------------------------------------------------------------- the cells

// Cell types as a formula reads them.
enum : uint32_t {
    Excel_cellNone = 0, // no cell: reads as empty
    Excel_cellBoolean = 1,
    Excel_cellInteger = 2,
    Excel_cellNumber = 3,
    Excel_cellError = 4, // stops the evaluation with the error's code
    Excel_cellText = 5,
};

// One cell as a formula reads it: its number-format index, type and value.
struct Excel_FormulaCell {
    uint16_t format;
    uint32_t type;
    union {
        uint32_t boolean;
        int32_t integer;
        double number;
        uint8_t error;        // the BIFF error code
        const char16_t *text; // lent for the read; the evaluator copies it
    } value;
};

// Reads the cell at (row, column) into *cell (type Excel_cellNone when
// there is none). 0, or a failure that stops the evaluation.
typedef int (*Excel_CellReadFn)(void *data, uint32_t row, uint32_t column, Excel_FormulaCell *cell);

// The sheet store's reader (data is the SheetGrid): a cell's value is its
// pending value (Excel_Sheet_getCellEdit); without one, its loaded value
// (Excel_Sheet_valueAt) under its XF's number format; without either, its
// text, or no cell when it holds none. Always 0.
int Excel_Sheet_formulaCell(void *data, uint32_t row, uint32_t column, Excel_FormulaCell *cell);

// ------------------------------------------------------------ evaluation

enum : uint32_t {
    Excel_maxRecordedFuncs = 30, // function ids recorded per formula
};

// The evaluation context of one formula.
struct Excel_FormulaContext {
    SheetGrid *sheet;        // the sheet store
    ExcelWorkbook *workbook; // the sheet's workbook (null without a sheet)
    EngineContext *app;      // for the scheduler and the workbook's boolean words
    const uint8_t *tokens;   // lent
    size_t length;
    size_t pos;                               // SIZE_MAX until evaluated
    int32_t format;                           // number format the result should take; -1 not set
    uint32_t funcIds[Excel_maxRecordedFuncs]; // function ids used, in order met
    uint32_t funcCount;
    uint32_t unsupported;      // calls of known functions that are not implemented
    Excel_CellReadFn readCell; // how the formula reads cells
    void *readData;
};

// Prepares a context for the token string (lent: it must outlive the
// evaluation) of a formula on the sheet: position unset, format -1,
// counters cleared, cells read from the sheet store
// (Excel_Sheet_formulaCell). Another reader may be set afterwards.
void Excel_Formula_evalInit(EngineContext *context, Excel_FormulaContext *formula,
                            const uint8_t *tokens, size_t length, SheetGrid *sheet);

// Evaluates the context's token string, yielding to the scheduler once per
// token and once per area cell. *result receives the last value pushed
// (kind empty when nothing was); a text result is a new string the caller
// frees with Mem_free. Returns 0, or the first failure: 0x6600-0x6606 (a
// failed evaluation leaves *result empty), 1 when memory runs out, 16 for
// null arguments.
[[nodiscard]] int Excel_Formula_eval(Excel_FormulaContext *context, Excel_Value *result);

// ------------------------------------------------------- function table

enum : uint32_t {
    Excel_funcCount = 379, // ids 0-378; 368-378 are the binary operators
    Excel_funcIf = 1,
    Excel_funcSum = 4,
    Excel_funcIrr = 62,
    Excel_funcSumIf = 345,
    Excel_funcCountIf = 346,
    Excel_funcAdd = 368,
    Excel_funcSub = 369,
    Excel_funcMul = 370,
    Excel_funcDiv = 371,
    Excel_funcPower = 372,
    Excel_funcLt = 373,
    Excel_funcLe = 374,
    Excel_funcEq = 375,
    Excel_funcGt = 376,
    Excel_funcGe = 377,
    Excel_funcNe = 378,
    Excel_funcPlainMatch = 379, // a criterion without an operator
};

// One entry of the function table: its argument counts (max -1: no limit)
// and its function (null: known but not implemented).
struct Excel_FuncEntry {
    int32_t minArgs;
    int32_t maxArgs;
    Excel_FuncFn fn;
};

struct Excel_FuncTable {
    Excel_FuncEntry entry[Excel_funcCount];
};

// The built-in functions by id.
extern const Excel_FuncTable Excel_Func_table;

// A function call: id, argument count and arguments in formula order.
struct Excel_FuncCall {
    uint32_t id;
    uint32_t count;
    const Excel_Value *args;
};

// Runs a function of the table. 0x6600 for an id without a function;
// 0x6601 for an argument count outside the entry's range; otherwise the
// function's result with the number-routine codes mapped (0x6900 ->
// 0x6606; 0x6901, 0x6902, 0x6905 -> 0x6603; 0x6903, 0x6904 -> 0x6601). A
// number result that is not finite is refused with 0x6603. 1 for a null
// result.
[[nodiscard]] int Excel_Func_call(const Excel_FuncCall *call, Excel_Value *result);

// A value taken as a number: an integer widened, a number as it is, a
// boolean as 1.0 or 0.0, every other kind 0.0.
double Excel_Func_argToDouble(const Excel_Value *value);
// 0x6601 when one of the first count arguments is text, else 0.
int Excel_Func_argsHaveError(const Excel_Value *args, uint32_t count);
// 1 when both values are integers or numbers.
int Excel_Func_bothNumbers(const Excel_Value *a, const Excel_Value *b);
// 1 when both are empty, or one is empty and the other an empty text.
int Excel_Func_bothEmpty(const Excel_Value *a, const Excel_Value *b);
// The built-in number format a function gives its result, -1 for none.
int32_t Excel_Func_resultFormat(uint32_t id);
// The fixed argument count of a ptgFunc function id. 0, or 0x6600 when the
// id takes no fixed count.
int Excel_Func_fixedArgCount(uint32_t id, uint32_t *count);

// The comparison of two values by an operator id (373-378): text compared
// ignoring case; values of different kinds that are not both numbers order
// empty < number < text < boolean, and are equal only when both are empty
// (an empty text counting as empty).
int Excel_Func_compare(uint32_t op, const Excel_Value *a, const Excel_Value *b);

// NOW(): the local date and time as a 1900-system serial number.
int Excel_Func_now(uint32_t count, const Excel_Value *args, Excel_Value *result);

// ------------------------------------------------------ recalculation

// One formula cell of a sheet: its cell and token string (lent).
struct Excel_RecalcCell {
    uint32_t row;
    uint32_t column;
    const uint8_t *tokens;
    size_t length;
};

// Orders the formula cells so that every formula comes after the formulas
// of the list it refers to (through cell references and every cell of an
// area). *order receives count indexes into cells (a new array the caller
// frees with Mem_free; null for an empty list). A token string that cannot
// be scanned is ordered by the references met before the bad token. 0;
// 0x6607 for a circular reference (nothing in *order); 1 when memory runs
// out; 16 for null arguments.
[[nodiscard]] int Excel_Formula_recalcOrder(const Excel_RecalcCell *cells, uint32_t count,
                                            uint32_t **order);
