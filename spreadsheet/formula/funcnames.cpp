// The spreadsheet function-name table: the English defaults, replacement
// by the host's translated names, and the truth-value matching that the
// formula reader uses.
//
// A replacement is built completely before the old table is freed, so a
// failure leaves the names in force unchanged.
#include "spreadsheet/formula/funcnames.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/charset.h"
#include "core/text/cstr.h"
#include "core/text/ustr.h"
#include "platform/api/engine.h"

const char *const FuncNames_defaults[FuncNames_count] = {
    "NOW", "FV",    "IRR",   "NPER",    "NPV",     "PMT",     "PV",    "RATE",
    "AND", "FALSE", "IF",    "NOT",     "OR",      "TRUE",    "ABS",   "INT",
    "LN",  "LOG",   "LOG10", "MOD",     "POWER",   "PRODUCT", "ROUND", "SQRT",
    "SUM", "SUMIF", "TRUNC", "AVERAGE", "COUNTIF", "MAX",     "MIN",
};

namespace {

void freeTable(FuncNames *table)
{
    if (!table)
        return;
    for (char *name : table->names)
        Mem_free(name);
    Mem_free(table->trueName);
    Mem_free(table->falseName);
    Mem_free(table);
}

char16_t *wide(const char *text)
{
    char16_t *out = nullptr;
    if (Charset_toUstr(nullptr, text, &out, CharsetCode_utf8) != Res_ok)
        return nullptr;
    return out;
}

// A new table of copies; 1 without memory.
int makeTable(const char *const *names, FuncNames **out)
{
    *out = nullptr;
    FuncNames *table = static_cast<FuncNames *>(Mem_calloc(1, sizeof(FuncNames)));
    if (!table)
        return Res_noMemory;
    for (int i = 0; i < FuncNames_count; i++) {
        table->names[i] = Cstr_dup(names[i]);
        if (!table->names[i]) {
            freeTable(table);
            return Res_noMemory;
        }
    }
    table->trueName = wide(names[FuncNames_trueIndex]);
    table->falseName = wide(names[FuncNames_falseIndex]);
    if (!table->trueName || !table->falseName) {
        freeTable(table);
        return Res_noMemory;
    }
    *out = table;
    return Res_ok;
}

FuncNames *tableOf(EngineContext *context)
{
    return context ? static_cast<FuncNames *>(context->sheetFunctionNames) : nullptr;
}

// Length of name when text starts with it (a non-empty name), else 0.
size_t prefixLength(const char16_t *text, const char16_t *name)
{
    if (!text || !name || !name[0])
        return 0;
    size_t n = Ustr_len(name);
    return Ustr_ncmp(text, name, n) == 0 ? n : 0;
}

} // namespace

int FuncNames_init(EngineContext *context)
{
    if (!context)
        return Res_missingArgument;
    if (context->sheetFunctionNames)
        return Res_ok;
    FuncNames *table = nullptr;
    int r = makeTable(FuncNames_defaults, &table);
    if (r == Res_ok)
        context->sheetFunctionNames = table;
    return r;
}

int FuncNames_set(EngineContext *context, const char *const *names)
{
    if (!context)
        return Res_missingArgument;
    if (!names)
        return Res_nullInput;
    for (int i = 0; i < FuncNames_count; i++) {
        if (!names[i] || !names[i][0])
            return Res_nullInput;
    }
    FuncNames *table = nullptr;
    int r = makeTable(names, &table);
    if (r != Res_ok)
        return r;
    freeTable(tableOf(context));
    context->sheetFunctionNames = table;
    return Res_ok;
}

void FuncNames_free(EngineContext *context)
{
    if (!context)
        return;
    freeTable(tableOf(context));
    context->sheetFunctionNames = nullptr;
}

const char16_t *FuncNames_boolName(EngineContext *context, int flag)
{
    FuncNames *table = tableOf(context);
    if (!table)
        return nullptr;
    return flag ? table->trueName : table->falseName;
}

int FuncNames_matchBool(EngineContext *context, int *which, const char16_t *text)
{
    FuncNames *table = tableOf(context);
    if (!table) {
        if (which)
            *which = 0;
        return 0;
    }
    const char16_t *pair[2] = {table->falseName, table->trueName};
    return Locale_matchWordPair(which, pair, text);
}

int Locale_matchWordPair(int *which, const char16_t *const pair[2], const char16_t *text)
{
    if (which)
        *which = 0;
    if (!pair || !text)
        return 0;
    size_t n = prefixLength(text, pair[0]);
    if (n) {
        if (which)
            *which = 0;
        return int(n);
    }
    n = prefixLength(text, pair[1]);
    if (n && which)
        *which = 1;
    return int(n);
}

int Engine_setFunctionNames(EngineInstance *instance, const char *const *names)
{
    if (!instance || !instance->context || !names)
        return 0;
    return FuncNames_set(instance->context, names) == Res_ok ? 1 : 0;
}
