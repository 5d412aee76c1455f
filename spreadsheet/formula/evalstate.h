// The evaluator's state during one evaluation, shared by the stack machine
// (eval.cpp) and the criteria functions (criteria.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "spreadsheet/formula/eval.h"
#include "spreadsheet/formula/ptg.h"

enum : uint32_t {
    Eval_noArea = 0xFFFFFFFF, // a stack entry that did not come from an area
};

// A stack entry: a value, the area record it came from and its position in
// that area's walk.
struct EvalEntry {
    Excel_Value value;
    uint32_t area;
    uint32_t index;
};

// An area met by the evaluation: its walk, the values it pushed and the
// cells it spans.
struct EvalArea {
    Excel_AreaIter iter;
    uint32_t pushed;
    uint32_t cells;
};

struct EvalState {
    Excel_FormulaContext *ctx;
    EvalEntry *stack;
    uint32_t depth;
    uint32_t capacity;
    uint8_t id;       // the folded id of the current token
    Excel_Value last; // the last value pushed
    bool pushed;      // whether anything was
    EvalArea *areas;
    uint32_t areaCount;
    uint32_t areaCapacity;
    char16_t **texts; // texts made during the evaluation
    uint32_t textCount;
    uint32_t textCapacity;
};

// Pushes a value (area Eval_noArea for a plain value). 0 or 1.
[[nodiscard]] int EvalState_push(EvalState *st, const Excel_Value *value, uint32_t area,
                                 uint32_t index);
[[nodiscard]] int EvalState_pushNumber(EvalState *st, double d);
[[nodiscard]] int EvalState_pushBoolean(EvalState *st, bool b);
// Records a text made by the evaluation (freed at its end; on failure the
// text is freed at once). 0 or 1.
[[nodiscard]] int EvalState_keepText(EvalState *st, char16_t *text);
// Pops one plain value: 0x6601 on an empty stack or for a value of an
// area.
[[nodiscard]] int EvalState_popValue(EvalState *st, Excel_Value *out);
// Where the n topmost arguments start on the stack, every area argument
// counting with all its values. 0x6601 when the stack holds fewer.
[[nodiscard]] int EvalState_argStart(EvalState *st, uint32_t n, uint32_t *start);
// Pops the n topmost arguments into a new array of their values (freed by
// the caller; null for none). 0, 0x6601 or 1.
[[nodiscard]] int EvalState_popArgs(EvalState *st, uint32_t n, Excel_Value **args, uint32_t *count);
// Reads a cell as a value: a copy of a text is recorded; an error cell
// stops with its code. *exists tells whether there was a cell.
[[nodiscard]] int EvalState_readCell(EvalState *st, uint32_t row, uint32_t column, Excel_Value *out,
                                     bool *exists, uint16_t *format);

// SUMIF (n arguments) and COUNTIF over the stack; pushes the result.
[[nodiscard]] int Eval_criteria(EvalState *st, uint32_t id, uint32_t n);
