// The spreadsheet function names that the engine keeps for formula text.
//
// One table per engine (EngineContext::sheetFunctionNames): 31 function
// names as 8-bit text and the names of the truth values as 16-bit text.
// English names are installed at start-up; the host may install its
// translated names through Engine_setFunctionNames.
#pragma once

#include <cstdint>

struct EngineContext;
struct EngineInstance;

enum : int {
    FuncNames_count = 31,
    FuncNames_falseIndex = 9, // the FALSE name's entry
    FuncNames_trueIndex = 13, // the TRUE name's entry
};

// The table: every string owned by it.
struct FuncNames {
    char *names[FuncNames_count];
    char16_t *trueName;
    char16_t *falseName;
};

// The default (English) names, in table order.
extern const char *const FuncNames_defaults[FuncNames_count];

// Creates the table with the defaults in the context (a table already there
// stays). 0, or 1 without memory (nothing left behind).
[[nodiscard]] int FuncNames_init(EngineContext *context);

// Replaces the table with copies of names (31 entries; the TRUE and FALSE
// names are also converted from UTF-8 to 16-bit text). 8 when an entry is
// missing or empty, 1 without memory, 16 without a context; in every
// failure the old table stays. 0 otherwise, the old table freed.
[[nodiscard]] int FuncNames_set(EngineContext *context, const char *const *names);

// Frees the context's table and clears the pointer. Nothing when there is
// none.
void FuncNames_free(EngineContext *context);

// The 16-bit name of the truth value (TRUE for a non-zero flag), lent
// while the table stays; null without a table.
const char16_t *FuncNames_boolName(EngineContext *context, int flag);

// Whether text starts with the FALSE name (*which 0) or the TRUE name
// (*which 1): the matched length, 0 when neither matches (*which then 0).
int FuncNames_matchBool(EngineContext *context, int *which, const char16_t *text);

// The same over a pair of names {FALSE, TRUE}.
int Locale_matchWordPair(int *which, const char16_t *const pair[2], const char16_t *text);

// The host's entry: FuncNames_set on the instance's context. 1 when it
// succeeded; 0 when it failed or an argument is null.
int Engine_setFunctionNames(EngineInstance *instance, const char *const *names);
