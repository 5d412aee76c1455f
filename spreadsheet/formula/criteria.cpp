// SUMIF and COUNTIF: the cells of a range that meet a criterion.
//
// A criterion is a value, or a text that may start with a comparison
// operator ("<=", ">=", "<>", "<", ">", "="); the rest of the text is read
// as one of the workbook's truth words, a number, or else a text.
#include <cmath>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/support/support.h"
#include "core/text/number.h"
#include "core/text/ustr.h"
#include "spreadsheet/formula/funcnames.h"
#include "spreadsheet/formula/evalstate.h"

namespace {

constexpr double kEpsilon = 2.220446049250313e-16;

struct CriterionOp {
    uint32_t op;
    char16_t first;
    char16_t second; // 0: the operator is one character
};

// Two-character operators are tried first.
constexpr CriterionOp kOperators[] = {
    {Excel_funcLe, u'<', u'='}, {Excel_funcGe, u'>', u'='}, {Excel_funcNe, u'<', u'>'},
    {Excel_funcLt, u'<', 0},    {Excel_funcGt, u'>', 0},    {Excel_funcEq, u'=', 0},
};

// A group of stack entries (the values of one argument) taken off the
// stack.
struct Group {
    EvalEntry *entries;
    uint32_t count;
    bool area;
};

int popGroup(EvalState *st, Group *g)
{
    *g = Group{};
    uint32_t start;
    if (int err = EvalState_argStart(st, 1, &start))
        return err;
    uint32_t n = st->depth - start;
    g->entries = static_cast<EvalEntry *>(Mem_malloc(size_t(n) * sizeof(EvalEntry)));
    if (!g->entries)
        return Res_noMemory;
    for (uint32_t i = 0; i < n; i++)
        g->entries[i] = st->stack[start + i];
    g->count = n;
    g->area = st->stack[start].area != Eval_noArea;
    st->depth = start;
    return Res_ok;
}

bool isNumberChar(char16_t c)
{
    return (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'e' || c == u'E' ||
           c == u'.' || c == u' ';
}

// The text as a number: only digits, signs, exponent letters, points and
// inner spaces after leading spaces, converting completely.
bool textNumber(const char16_t *text, double *out)
{
    while (*text == u' ')
        text++;
    char buffer[64];
    size_t n = 0;
    bool digit = false;
    for (const char16_t *p = text; *p; p++) {
        if (!isNumberChar(*p) || n + 1 >= sizeof buffer)
            return false;
        digit = digit || (*p >= u'0' && *p <= u'9');
        buffer[n++] = char(*p);
    }
    buffer[n] = 0;
    if (!digit)
        return false;
    const char *end = nullptr;
    double mantissa = Std_strtod(buffer, &end);
    if (!end) {
        *out = mantissa;
        return true;
    }
    if (end == buffer || (*end != 'e' && *end != 'E') || !end[1])
        return false;
    // An exponent: a whole number that must reach the end too.
    const char *expEnd = nullptr;
    double exponent = Std_strtod(end + 1, &expEnd);
    if (expEnd || exponent != std::trunc(exponent) || std::fabs(exponent) > 400)
        return false;
    double value = mantissa * std::pow(10.0, exponent);
    if (!std::isfinite(value))
        return false;
    *out = value;
    return true;
}

// The criterion value and its operator (Excel_funcPlainMatch for none).
// Text criteria point into the evaluation's text list.
void readCriterion(EvalState *st, const Excel_Value *value, uint32_t *op, Excel_Value *crit)
{
    *op = Excel_funcPlainMatch;
    *crit = *value;
    switch (value->kind) {
    case Excel_kindInteger:
        crit->kind = Excel_kindNumber;
        crit->u.d = double(value->u.i);
        return;
    case Excel_kindGuess: crit->kind = Excel_kindNumber; return;
    case Excel_kindEmpty:
        crit->kind = Excel_kindNumber;
        crit->u.d = 0.0;
        return;
    case Excel_kindText: break;
    default: return;
    }
    const char16_t *text = value->u.text ? value->u.text : u"";
    for (const CriterionOp &o : kOperators) {
        if (text[0] == o.first && (!o.second || text[1] == o.second)) {
            *op = o.op;
            text += o.second ? 2 : 1;
            break;
        }
    }
    for (int which = 0; which < 2; which++) {
        const char16_t *word = FuncNames_boolName(st->ctx->app, which);
        if (word && word[0] && Ustr_icmp(text, word) == 0) {
            crit->kind = Excel_kindBoolean;
            crit->u.b = uint32_t(which);
            return;
        }
    }
    double d;
    if (textNumber(text, &d)) {
        crit->kind = Excel_kindNumber;
        crit->u.d = d;
        return;
    }
    crit->kind = Excel_kindText;
    crit->u.text = const_cast<char16_t *>(text);
}

bool isNumberKind(uint32_t kind)
{
    return kind == Excel_kindInteger || kind == Excel_kindNumber;
}

bool plainMatch(const Excel_Value *cell, const Excel_Value *crit)
{
    switch (crit->kind) {
    case Excel_kindNumber:
    case Excel_kindBoolean:
        // Numbers and truth values match cells of either kind of equal value.
        if (!isNumberKind(cell->kind) && cell->kind != Excel_kindBoolean)
            return false;
        return std::fabs(Excel_Func_argToDouble(cell) - Excel_Func_argToDouble(crit)) < kEpsilon;
    case Excel_kindText:
        if (cell->kind == Excel_kindText)
            return Ustr_icmp(cell->u.text ? cell->u.text : u"", crit->u.text) == 0;
        return cell->kind == Excel_kindEmpty && !crit->u.text[0];
    default: return false;
    }
}

bool matches(uint32_t op, const Excel_Value *cell, const Excel_Value *crit)
{
    if (op == Excel_funcPlainMatch)
        return plainMatch(cell, crit);
    // Cells of another kind take part only in "<>".
    if (op != Excel_funcNe && cell->kind != crit->kind && !Excel_Func_bothNumbers(cell, crit))
        return false;
    return Excel_Func_compare(op, cell, crit) != 0;
}

// The value at the same position of the sum range, or null.
const Excel_Value *sumValueAt(const Group *sum, uint32_t index)
{
    for (uint32_t i = 0; i < sum->count; i++)
        if (sum->entries[i].index == index)
            return &sum->entries[i].value;
    return nullptr;
}

} // namespace

int Eval_criteria(EvalState *st, uint32_t id, uint32_t n)
{
    bool sumIf = id == Excel_funcSumIf;
    if (n < 2 || n > 3 || (!sumIf && n != 2))
        return Res_formulaBadArgument;
    Group sum{};
    Group range{};
    Excel_Value value;
    uint32_t op;
    Excel_Value crit;
    int err = Res_ok;
    if (n == 3) {
        err = popGroup(st, &sum);
        if (err == Res_ok && !sum.area)
            err = Res_formulaBadArgument;
    }
    if (err == Res_ok)
        err = EvalState_popValue(st, &value);
    if (err == Res_ok)
        err = popGroup(st, &range);
    if (err == Res_ok && sumIf && !range.area)
        err = Res_formulaBadArgument;
    if (err == Res_ok) {
        readCriterion(st, &value, &op, &crit);
        uint32_t hits = 0;
        double total = 0.0;
        for (uint32_t i = 0; i < range.count; i++) {
            const Excel_Value *cell = &range.entries[i].value;
            if (!matches(op, cell, &crit))
                continue;
            hits++;
            const Excel_Value *add = n == 3 ? sumValueAt(&sum, range.entries[i].index) : cell;
            if (add && isNumberKind(add->kind))
                total += Excel_Func_argToDouble(add);
        }
        Excel_Value result{};
        if (sumIf) {
            result.kind = Excel_kindNumber;
            result.u.d = total;
        } else {
            result.kind = Excel_kindInteger;
            result.u.i = int32_t(hits);
        }
        err = EvalState_push(st, &result, Eval_noArea, 0);
        st->ctx->format = 0;
    }
    Mem_free(sum.entries);
    Mem_free(range.entries);
    return err;
}
