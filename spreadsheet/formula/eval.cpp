// The number rule of the formula functions.
#include "spreadsheet/formula/eval.h"

double Excel_Func_argToDouble(const Excel_Value *value)
{
    switch (value->kind) {
    case Excel_kindInteger:
        return static_cast<double>(value->u.i);
    case Excel_kindNumber:
        return value->u.d;
    case Excel_kindBoolean:
        return value->u.b ? 1.0 : 0.0;
    default:
        return 0.0;
    }
}
