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
