// AVERAGE, MAX and MIN of the formula evaluator.
#include "spreadsheet/formula/aggregate.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "spreadsheet/formula/eval.h"

namespace {

enum Aggregate { aggAverage, aggMax, aggMin };

// The three aggregates share one walk: the number arguments are gathered
// into a block of their own, then reduced.
int aggregate(uint32_t count, const Excel_Value *args, Excel_Value *result, Aggregate kind)
{
    double *values = nullptr;
    if (count > 0) {
        values = static_cast<double *>(Mem_malloc(count * sizeof(double)));
        if (!values)
            return Res_noMemory;
    }
    uint32_t n = 0;
    for (uint32_t i = 0; i < count; i++) {
        if (args[i].kind == Excel_kindInteger || args[i].kind == Excel_kindNumber)
            values[n++] = Excel_Func_argToDouble(&args[i]);
    }
    double r = 0.0;
    if (n > 0 && kind == aggMin) {
        r = Double_arrayMin(values, n);
    } else if (n > 0) {
        r = values[0];
        for (uint32_t i = 1; i < n; i++) {
            if (kind == aggAverage)
                r += values[i];
            else if (values[i] >= r)
                r = values[i];
        }
        if (kind == aggAverage)
            r /= n;
    }
    result->kind = Excel_kindNumber;
    result->u.d = r;
    Mem_free(values);
    return Res_ok;
}

} // namespace

int Excel_Func_average(uint32_t count, const Excel_Value *args, Excel_Value *result)
{
    return aggregate(count, args, result, aggAverage);
}

int Excel_Func_max(uint32_t count, const Excel_Value *args, Excel_Value *result)
{
    return aggregate(count, args, result, aggMax);
}

int Excel_Func_min(uint32_t count, const Excel_Value *args, Excel_Value *result)
{
    return aggregate(count, args, result, aggMin);
}

double Double_arrayMin(const double *values, size_t n)
{
    double result = values[0];
    for (size_t i = 1; i < n; i++)
        if (values[i] <= result)
            result = values[i];
    return result;
}
