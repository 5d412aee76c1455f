// The number rule of the formula functions.
#include <gtest/gtest.h>

#include "spreadsheet/formula/eval.h"

namespace {

TEST(FormulaArgToDouble, EveryKind)
{
    Excel_Value v{};
    v.kind = Excel_kindInteger;
    v.u.i = -7;
    EXPECT_EQ(Excel_Func_argToDouble(&v), -7.0);
    v.kind = Excel_kindNumber;
    v.u.d = 2.5;
    EXPECT_EQ(Excel_Func_argToDouble(&v), 2.5);
    v.kind = Excel_kindBoolean;
    v.u.b = 1;
    EXPECT_EQ(Excel_Func_argToDouble(&v), 1.0);
    v.u.b = 0;
    EXPECT_EQ(Excel_Func_argToDouble(&v), 0.0);
    v.kind = Excel_kindText;
    v.u.text = const_cast<char16_t *>(u"12");
    EXPECT_EQ(Excel_Func_argToDouble(&v), 0.0);
    v.kind = Excel_kindEmpty;
    EXPECT_EQ(Excel_Func_argToDouble(&v), 0.0);
    v.kind = Excel_kindGuess;
    v.u.d = 0.1;
    EXPECT_EQ(Excel_Func_argToDouble(&v), 0.0) << "only integers, numbers and booleans count";
}

} // namespace
