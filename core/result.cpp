// Names and meanings of the engine's result codes (core/result.h), for
// messages that say what went wrong; the engine itself compares codes.
#include "core/result.h"

#include <cstddef>

namespace {

struct ResultRow {
    int code;
    const char *name; // with its "Res_" prefix
    const char *text; // empty when the list gives no meaning
};

constexpr ResultRow resultRows[] = {
#define VEXLAN_RESULT_ROW(name, value, text) {value, #name, text},
    VEXLAN_RESULT_CODES(VEXLAN_RESULT_ROW)
#undef VEXLAN_RESULT_ROW
};

constexpr size_t resultPrefixLength = 4; // "Res_"

// The first row of the code, or null.
const ResultRow *resultRowOf(int code)
{
    for (const ResultRow &row : resultRows)
        if (row.code == code)
            return &row;
    return nullptr;
}

} // namespace

const char *Result_name(int code)
{
    const ResultRow *row = resultRowOf(code);
    return row ? row->name + resultPrefixLength : nullptr;
}

const char *Result_text(int code)
{
    const ResultRow *row = resultRowOf(code);
    if (!row)
        return nullptr;
    return row->text[0] ? row->text : row->name + resultPrefixLength;
}
