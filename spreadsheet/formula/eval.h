// Formula values and the number rule of the spreadsheet's built-in
// functions.
//
// Every formula value is a kind word followed by its payload. Built-in
// functions take their arguments as an array of these values and write one
// complete value as their result.
#pragma once

#include <cstdint>

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

// A value taken as a number: an integer widened, a number as it is, a
// boolean as 1.0 or 0.0, every other kind 0.0.
double Excel_Func_argToDouble(const Excel_Value *value);

// ------------------------------------------------------- evaluation context

struct EngineContext;
struct SheetGrid;
struct ExcelWorkbook;

enum : uint32_t {
    Excel_evalMaxFunctions = 30, // function ids a context records at most
};

// What one evaluation of a cell formula works with (Excel_Formula_evalInit)
// and what it learns: the number format the result takes (-1: not set),
// the function ids used (further ones beyond the limit are dropped) and
// the calls to functions that are known but not implemented.
struct ExcelEvalContext {
    const uint8_t *tokens;
    uint32_t length;
    int32_t position;       // token position; -1 before the first
    SheetGrid *sheet;
    ExcelWorkbook *workbook;
    EngineContext *app;
    int32_t format;
    uint16_t functions[Excel_evalMaxFunctions];
    uint32_t functionCount;
    uint32_t unsupported;
};

// Prepares a context over a token string of the sheet: position -1,
// format -1, the counters cleared.
void Excel_Formula_evalInit(ExcelEvalContext *context, const uint8_t *tokens, uint32_t length, SheetGrid *sheet,
                            EngineContext *app);

// Evaluates the context's token string into *result (kind 4 when nothing
// was pushed; a text result belongs to the caller). 0 or an evaluation
// error code (0x6600-0x6607); 1 when memory runs out.
[[nodiscard]] int Excel_Formula_eval(ExcelEvalContext *context, Excel_Value *result);
