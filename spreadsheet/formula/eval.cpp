// The formula evaluator: a stack machine over a BIFF8 token string.
//
// Tokens come in reverse Polish order. Operands push values; operators and
// functions pop their arguments and push their result; the last value
// pushed is the formula's value. An area pushes every existing cell it
// covers, each stack entry remembering the area record it came from, so
// that a function receives every cell of an area argument as an argument
// of its own and sparse areas cost only their filled cells. IF runs through
// the attribute tokens that a BIFF8 file writes around its branches; SUMIF
// and COUNTIF have their own criteria path (criteria.cpp).
//
// Texts that the evaluation creates (string tokens, copies of text cells)
// are kept in one list and freed at the end, all but the one that becomes
// the result.
#include "spreadsheet/formula/evalstate.h"

#include <cmath>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "core/text/ustr.h"
#include "core/stream/bytestream.h"
#include "spreadsheet/errortext.h"
#include "spreadsheet/formula/ptg.h"
#include "spreadsheet/reader/sheet.h"
#include "spreadsheet/reader/sheetstore.h"
#include "spreadsheet/reader/workbook.h"
#include "spreadsheet/sheetedit.h"
#include "spreadsheet/sheetgrid.h"

namespace {

// The formula code of an error a referenced cell holds.
int errorCellCode(uint8_t code)
{
    switch (code) {
    case 0x00: return Res_formulaNull;
    case 0x07: return Res_formulaDivideByZero;
    case 0x17: return Res_formulaBadReference;
    case 0x1D: return Res_formulaBadToken;
    case 0x24: return Res_formulaNumber;
    case 0x2A: return Res_formulaNotAvailable;
    default: return Res_formulaBadArgument;
    }
}

// Binary operator tokens 0x03-0x0E and the function ids that run them; 0
// for Concat, which has no handler.
uint32_t operatorFunction(int32_t id)
{
    switch (id) {
    case 0x03: return Excel_funcAdd;
    case 0x04: return Excel_funcSub;
    case 0x05: return Excel_funcMul;
    case 0x06: return Excel_funcDiv;
    case 0x07: return Excel_funcPower;
    case 0x09: return Excel_funcLt;
    case 0x0A: return Excel_funcLe;
    case 0x0B: return Excel_funcEq;
    case 0x0C: return Excel_funcGe;
    case 0x0D: return Excel_funcGt;
    case 0x0E: return Excel_funcNe;
    default: return 0;
    }
}

void recordFunction(Excel_FormulaContext *ctx, uint32_t id)
{
    if (ctx->funcCount < Excel_maxRecordedFuncs)
        ctx->funcIds[ctx->funcCount++] = id;
}

void yieldOnce(EvalState *st)
{
    Task_yield(st->ctx->app);
}

} // namespace

// ---------------------------------------------------------------- stack

int EvalState_push(EvalState *st, const Excel_Value *value, uint32_t area, uint32_t index)
{
    if (st->depth == st->capacity) {
        uint32_t cap = st->capacity < 100     ? 100
                       : st->capacity < 10000 ? st->capacity * 5
                                              : st->capacity * 2;
        if (cap <= st->capacity || size_t(cap) > SIZE_MAX / sizeof(EvalEntry))
            return Res_noMemory;
        void *grown = Mem_realloc(st->stack, size_t(cap) * sizeof(EvalEntry));
        if (!grown)
            return Res_noMemory;
        st->stack = static_cast<EvalEntry *>(grown);
        st->capacity = cap;
    }
    EvalEntry &e = st->stack[st->depth++];
    e.value = *value;
    e.area = area;
    e.index = index;
    st->last = *value;
    if (value->kind == Excel_kindEmpty)
        st->last.u.d = 0.0;
    st->pushed = true;
    return Res_ok;
}

int EvalState_pushNumber(EvalState *st, double d)
{
    Excel_Value v{};
    v.kind = Excel_kindNumber;
    v.u.d = d;
    return EvalState_push(st, &v, Eval_noArea, 0);
}

int EvalState_pushBoolean(EvalState *st, bool b)
{
    Excel_Value v{};
    v.kind = Excel_kindBoolean;
    v.u.b = b ? 1 : 0;
    return EvalState_push(st, &v, Eval_noArea, 0);
}

int EvalState_keepText(EvalState *st, char16_t *text)
{
    if (st->textCount == st->textCapacity) {
        uint32_t cap = st->textCapacity + 3;
        void *grown = Mem_realloc(st->texts, size_t(cap) * sizeof(char16_t *));
        if (!grown) {
            Mem_free(text);
            return Res_noMemory;
        }
        st->texts = static_cast<char16_t **>(grown);
        st->textCapacity = cap;
    }
    st->texts[st->textCount++] = text;
    return Res_ok;
}

int EvalState_popValue(EvalState *st, Excel_Value *out)
{
    if (st->depth == 0 || st->stack[st->depth - 1].area != Eval_noArea)
        return Res_formulaBadArgument;
    *out = st->stack[--st->depth].value;
    return Res_ok;
}

int EvalState_argStart(EvalState *st, uint32_t n, uint32_t *start)
{
    uint32_t top = st->depth;
    for (uint32_t k = 0; k < n; k++) {
        if (top == 0)
            return Res_formulaBadArgument;
        uint32_t area = st->stack[top - 1].area;
        uint32_t take = 1;
        if (area != Eval_noArea) {
            take = area < st->areaCount ? st->areas[area].pushed : 0;
            if (take == 0 || take > top)
                return Res_formulaBadArgument;
        }
        top -= take;
    }
    *start = top;
    return Res_ok;
}

int EvalState_popArgs(EvalState *st, uint32_t n, Excel_Value **args, uint32_t *count)
{
    *args = nullptr;
    *count = 0;
    uint32_t start;
    if (int err = EvalState_argStart(st, n, &start))
        return err;
    uint32_t m = st->depth - start;
    if (m > 0) {
        Excel_Value *values =
            static_cast<Excel_Value *>(Mem_malloc(size_t(m) * sizeof(Excel_Value)));
        if (!values)
            return Res_noMemory;
        for (uint32_t i = 0; i < m; i++)
            values[i] = st->stack[start + i].value;
        *args = values;
    }
    *count = m;
    st->depth = start;
    return Res_ok;
}

// ---------------------------------------------------------------- cells

int EvalState_readCell(EvalState *st, uint32_t row, uint32_t column, Excel_Value *out, bool *exists,
                       uint16_t *format)
{
    Excel_FormulaContext *ctx = st->ctx;
    Excel_FormulaCell cell{};
    out->kind = Excel_kindEmpty;
    out->u.d = 0.0;
    *exists = false;
    *format = 0;
    if (ctx->readCell) {
        if (int err = ctx->readCell(ctx->readData, row, column, &cell))
            return err;
    }
    *format = cell.format;
    switch (cell.type) {
    case Excel_cellNone: return Res_ok;
    case Excel_cellBoolean:
        out->kind = Excel_kindBoolean;
        out->u.b = cell.value.boolean ? 1 : 0;
        break;
    case Excel_cellInteger:
        out->kind = Excel_kindInteger;
        out->u.i = cell.value.integer;
        break;
    case Excel_cellNumber:
        out->kind = Excel_kindNumber;
        out->u.d = cell.value.number;
        break;
    case Excel_cellText: {
        char16_t *copy = Ustr_dup(cell.value.text ? cell.value.text : u"");
        if (!copy)
            return Res_noMemory;
        if (int err = EvalState_keepText(st, copy))
            return err;
        out->kind = Excel_kindText;
        out->u.text = copy;
        break;
    }
    case Excel_cellError: ctx->format = cell.format; return errorCellCode(cell.value.error);
    default: return Res_formulaBadArgument;
    }
    *exists = true;
    return Res_ok;
}

namespace {

// ptgRef: row, then the column in the low byte of the column word.
int runRef(EvalState *st, size_t pos)
{
    const uint8_t *t = st->ctx->tokens + pos;
    Excel_Value v;
    bool exists;
    uint16_t format;
    if (int err = EvalState_readCell(st, Bytes_peekU16Le(t + 1), t[3], &v, &exists, &format))
        return err;
    if (exists && st->ctx->format == -1)
        st->ctx->format = format;
    return EvalState_push(st, &v, Eval_noArea, 0);
}

// ptgArea: every existing cell, in the area's walk order.
int runArea(EvalState *st, size_t pos)
{
    if (st->areaCount == st->areaCapacity) {
        uint32_t cap = st->areaCapacity + 3;
        void *grown = Mem_realloc(st->areas, size_t(cap) * sizeof(EvalArea));
        if (!grown)
            return Res_noMemory;
        st->areas = static_cast<EvalArea *>(grown);
        st->areaCapacity = cap;
    }
    uint32_t index = st->areaCount++;
    EvalArea *area = &st->areas[index];
    *area = EvalArea{};
    size_t at = pos;
    Excel_RefCell cell;
    Excel_AreaIter_begin(&area->iter, st->ctx->tokens, &at, 1, &cell);
    uint32_t walked = 0;
    for (;;) {
        yieldOnce(st);
        Excel_Value v;
        bool exists;
        uint16_t format;
        if (int err = EvalState_readCell(st, cell.row, cell.column, &v, &exists, &format))
            return err;
        if (exists) {
            if (int err = EvalState_push(st, &v, index, walked))
                return err;
            // The stack may have moved; the record may not.
            st->areas[index].pushed++;
        }
        walked++;
        if (!st->areas[index].iter.more)
            break;
        Excel_AreaIter_next(&st->areas[index].iter, &cell, &at, 1);
    }
    st->areas[index].cells = walked;
    if (st->areas[index].pushed == 0) {
        Excel_Value empty{};
        empty.kind = Excel_kindEmpty;
        if (int err = EvalState_push(st, &empty, index, 0))
            return err;
        st->areas[index].pushed = 1;
    }
    return Res_ok;
}

// Pops n arguments (areas expanded), runs the function and pushes its
// result. A known function without an implementation gives 1.0 and is
// counted.
int callFunction(EvalState *st, uint32_t id, uint32_t n)
{
    // IRR(values, guess): a plain number on top is the guess.
    if (id == Excel_funcIrr && n == 2 && st->depth > 0) {
        EvalEntry &top = st->stack[st->depth - 1];
        if (top.area == Eval_noArea &&
            (top.value.kind == Excel_kindInteger || top.value.kind == Excel_kindNumber)) {
            top.value.u.d = Excel_Func_argToDouble(&top.value);
            top.value.kind = Excel_kindGuess;
        }
    }
    Excel_Value *args;
    uint32_t count;
    if (int err = EvalState_popArgs(st, n, &args, &count))
        return err;
    Excel_FuncCall call{id, count, args};
    Excel_Value result{};
    int err = Excel_Func_call(&call, &result);
    Mem_free(args);
    if (err == Res_formulaBadToken) {
        st->ctx->unsupported++;
        result.kind = Excel_kindNumber;
        result.u.d = 1.0;
        err = Res_ok;
    }
    if (err != Res_ok)
        return err;
    if (int perr = EvalState_push(st, &result, Eval_noArea, 0))
        return perr;
    int32_t format = Excel_Func_resultFormat(id);
    if (format != -1)
        st->ctx->format = format;
    return Res_ok;
}

int runFunc(EvalState *st, size_t pos)
{
    uint32_t id = Bytes_peekU16Le(st->ctx->tokens + pos + 1);
    recordFunction(st->ctx, id);
    if (id == Excel_funcCountIf)
        return Eval_criteria(st, id, 2);
    if (id & 0x8000)
        return Res_formulaBadToken;
    uint32_t n;
    if (int err = Excel_Func_fixedArgCount(id, &n))
        return err;
    return callFunction(st, id, n);
}

int runFuncVar(EvalState *st, size_t pos)
{
    const uint8_t *t = st->ctx->tokens + pos;
    uint32_t n = t[1] & 0x7F;
    uint32_t id = Bytes_peekU16Le(t + 2);
    recordFunction(st->ctx, id);
    if (id & 0x8000)
        return Res_formulaBadToken;
    if (id == Excel_funcIf) {
        // The branches already ran through the attribute tokens.
        st->ctx->format = 0;
        return Res_ok;
    }
    if (id == Excel_funcSumIf)
        return Eval_criteria(st, id, n);
    return callFunction(st, id, n);
}

// Uminus and Percent. Booleans and empties count as numbers; text cannot.
int runUnary(EvalState *st, double factor)
{
    Excel_Value v;
    if (int err = EvalState_popValue(st, &v))
        return err;
    if (v.kind == Excel_kindText)
        return Res_formulaBadArgument;
    double d = v.kind == Excel_kindGuess ? v.u.d : Excel_Func_argToDouble(&v);
    return EvalState_pushNumber(st, d * factor);
}

int runString(EvalState *st, size_t pos)
{
    const uint8_t *t = st->ctx->tokens + pos;
    uint32_t n = t[1];
    bool wide = t[2] & 1;
    char16_t *text = static_cast<char16_t *>(Mem_malloc((size_t(n) + 1) * sizeof(char16_t)));
    if (!text)
        return Res_noMemory;
    for (uint32_t i = 0; i < n; i++)
        text[i] = wide ? char16_t(Bytes_peekU16Le(t + 3 + 2 * i)) : char16_t(t[3 + i]);
    text[n] = 0;
    if (int err = EvalState_keepText(st, text))
        return err;
    Excel_Value v{};
    v.kind = Excel_kindText;
    v.u.text = text;
    return EvalState_push(st, &v, Eval_noArea, 0);
}

// The condition of an IF attribute: a number, boolean or empty value.
int ifCondition(EvalState *st, bool *truth)
{
    Excel_Value v;
    if (int err = EvalState_popValue(st, &v))
        return err;
    switch (v.kind) {
    case Excel_kindText: return Res_formulaBadArgument;
    case Excel_kindInteger: *truth = v.u.i != 0; break;
    case Excel_kindBoolean: *truth = v.u.b != 0; break;
    case Excel_kindNumber:
    case Excel_kindGuess: *truth = v.u.d != 0.0; break;
    default: *truth = false; break;
    }
    return Res_ok;
}

// ptgAttr; *next receives the position evaluation goes on at.
int runAttr(EvalState *st, size_t pos, size_t *next)
{
    const uint8_t *tokens = st->ctx->tokens;
    size_t length = st->ctx->length;
    uint8_t attr = tokens[pos + 1];
    uint16_t offset = Bytes_peekU16Le(tokens + pos + 2);
    switch (attr) {
    case Excel_attrIf: {
        bool truth;
        if (int err = ifCondition(st, &truth))
            return err;
        if (truth) {
            *next = pos + 4;
            return Res_ok;
        }
        size_t target = pos + 4 + offset;
        if (target > length)
            return Res_formulaBadToken;
        // IF without a false branch: the jump lands on the IF call itself,
        // and the value is FALSE.
        if (target + 4 <= length && Excel_Ptg_fold(tokens[target]) == Excel_ptgFuncVar &&
            (tokens[target + 1] & 0x7F) == 2 &&
            Bytes_peekU16Le(tokens + target + 2) == Excel_funcIf) {
            if (int err = EvalState_pushBoolean(st, false))
                return err;
        }
        *next = target;
        return Res_ok;
    }
    case Excel_attrGoto: {
        size_t target = pos + size_t(offset) + 1;
        if (target > length)
            return Res_formulaBadToken;
        *next = target;
        return Res_ok;
    }
    case Excel_attrSum: {
        *next = pos + 4;
        return callFunction(st, Excel_funcSum, 1);
    }
    case Excel_attrVolatile:
    case Excel_attrSpace:
    case 0x41: *next = pos + 4; return Res_ok;
    default: return Res_formulaBadToken;
    }
}

// Runs the token at pos; *next receives where evaluation goes on.
int runToken(EvalState *st, int32_t id, size_t pos, size_t size, size_t *next)
{
    const uint8_t *t = st->ctx->tokens + pos;
    *next = pos + size;
    if (uint32_t op = operatorFunction(id))
        return callFunction(st, op, 2);
    switch (id) {
    case 0x12: // Uplus
    case 0x15: // Paren
        return Res_ok;
    case 0x13: return runUnary(st, -1.0);
    case 0x14: return runUnary(st, 0.01);
    case 0x16: {
        Excel_Value empty{};
        empty.kind = Excel_kindEmpty;
        return EvalState_push(st, &empty, Eval_noArea, 0);
    }
    case Excel_ptgStr: return runString(st, pos);
    case Excel_ptgAttr: return runAttr(st, pos, next);
    case Excel_ptgBool: return EvalState_pushBoolean(st, t[1] != 0);
    case Excel_ptgInt: {
        Excel_Value v{};
        v.kind = Excel_kindInteger;
        v.u.i = Bytes_peekU16Le(t + 1);
        return EvalState_push(st, &v, Eval_noArea, 0);
    }
    case Excel_ptgNum: {
        double d;
        uint64_t bits = 0;
        for (int i = 7; i >= 0; i--)
            bits = bits << 8 | t[1 + i];
        memcpy(&d, &bits, sizeof d);
        // No cell value is an infinity or NaN.
        if (!std::isfinite(d))
            return Res_formulaBadToken;
        return EvalState_pushNumber(st, d);
    }
    case Excel_ptgFunc: return runFunc(st, pos);
    case Excel_ptgFuncVar: return runFuncVar(st, pos);
    case Excel_ptgRef: return runRef(st, pos);
    case Excel_ptgArea: return runArea(st, pos);
    case Excel_ptgRefErr:
    case Excel_ptgAreaErr: return Res_formulaBadReference;
    default: return Res_formulaBadToken;
    }
}

int run(EvalState *st)
{
    Excel_FormulaContext *ctx = st->ctx;
    ctx->pos = 0;
    while (ctx->pos < ctx->length) {
        yieldOnce(st);
        int32_t id = Excel_Ptg_fold(ctx->tokens[ctx->pos]);
        if (id < 0)
            return Res_formulaBadToken;
        size_t size;
        if (int err = Excel_Ptg_tokenSize(ctx->tokens, ctx->length, ctx->pos, &size))
            return err;
        st->id = static_cast<uint8_t>(id);
        size_t next;
        if (int err = runToken(st, id, ctx->pos, size, &next))
            return err;
        ctx->pos = next;
    }
    return Res_ok;
}

} // namespace

void Excel_Formula_evalInit(EngineContext *context, Excel_FormulaContext *formula,
                            const uint8_t *tokens, size_t length, SheetGrid *sheet)
{
    if (!formula)
        return;
    *formula = Excel_FormulaContext{};
    formula->sheet = sheet;
    formula->workbook = sheet ? sheet->workbook : nullptr;
    formula->app = context;
    formula->tokens = tokens;
    formula->length = tokens ? length : 0;
    formula->pos = SIZE_MAX;
    formula->format = -1;
    formula->readCell = Excel_Sheet_formulaCell;
    formula->readData = sheet;
}

int Excel_Formula_eval(Excel_FormulaContext *context, Excel_Value *result)
{
    if (!result)
        return Res_missingArgument;
    result->kind = Excel_kindEmpty;
    result->u.d = 0.0;
    if (!context)
        return Res_missingArgument;
    context->format = -1;
    EvalState st{};
    st.ctx = context;
    int err = context->tokens ? run(&st) : Res_ok;
    char16_t *keep = nullptr;
    if (err == Res_ok && st.pushed) {
        *result = st.last;
        if (result->kind == Excel_kindText)
            keep = result->u.text;
    }
    for (uint32_t i = 0; i < st.textCount; i++)
        if (st.texts[i] != keep)
            Mem_free(st.texts[i]);
    Mem_free(st.texts);
    Mem_free(st.stack);
    Mem_free(st.areas);
    return err;
}

// ------------------------------------------------------- the cell store

int Excel_Sheet_formulaCell(void *data, uint32_t row, uint32_t column, Excel_FormulaCell *cell)
{
    *cell = Excel_FormulaCell{};
    SheetGrid *sheet = static_cast<SheetGrid *>(data);
    if (!sheet)
        return Res_ok;
    ExcelCellEdit *edit = nullptr;
    const char16_t *text = nullptr;
    uint16_t xf = 0;
    if (Excel_Sheet_getCellEdit(sheet, row, column, &edit, &text, &xf) != Res_ok)
        return Res_ok;
    if (!edit) {
        const ExcelCell *c = Excel_Sheet_cellAt(sheet, row, column);
        double value = 0;
        if (uint32_t kind = Excel_Sheet_valueAt(sheet, row, column, &value)) {
            // A loaded value, under the number format of the cell's XF.
            const ExcelWorkbook *wb = sheet->workbook;
            if (c && wb && c->xf < wb->xfCount)
                cell->format = wb->xfs[c->xf].formatIndex;
            switch (kind) {
            case Excel_editBoolean:
                cell->type = Excel_cellBoolean;
                cell->value.boolean = value != 0;
                break;
            case Excel_editInteger:
                cell->type = Excel_cellInteger;
                cell->value.integer = int32_t(value);
                break;
            case Excel_editNumber:
                cell->type = Excel_cellNumber;
                cell->value.number = value;
                break;
            default:
                cell->type = Excel_cellError;
                cell->value.error = uint8_t(value);
                break;
            }
            return Res_ok;
        }
        // Without a value, a loaded cell's text is its value: a shared
        // string, a rich text or a formula's cached text.
        if (!c || c->kind == Excel_cellNoText || !text)
            return Res_ok;
        cell->type = Excel_cellText;
        cell->value.text = text;
        return Res_ok;
    }
    cell->format = edit->format;
    switch (edit->kind) {
    case Excel_editBoolean:
        cell->type = Excel_cellBoolean;
        cell->value.boolean = edit->value.integer != 0;
        break;
    case Excel_editInteger:
        cell->type = Excel_cellInteger;
        cell->value.integer = edit->value.integer;
        break;
    case Excel_editNumber:
        cell->type = Excel_cellNumber;
        cell->value.number = edit->value.number;
        break;
    case Excel_editError:
        cell->type = Excel_cellError;
        cell->value.error = Excel_errorCode(edit->value.error);
        break;
    case Excel_editText:
        cell->type = Excel_cellText;
        cell->value.text = edit->value.text.text;
        break;
    default: cell->type = Excel_cellNone; break;
    }
    return Res_ok;
}
