// Form-control values: page points into value coordinates.
#include "html/form/formvalue.h"

#include "core/result.h"

namespace
{

void toLocal(const FormValue *value, FormPoint *point)
{
    point->y = int32_t(uint32_t(point->y) - uint32_t(value->rect[3]));
    point->x = int32_t(uint32_t(point->x) - uint32_t(value->rect[0]));
}

} // namespace

int Form_valueToLocal(const FormValue *value, int32_t *word, FormPoint *point)
{
    toLocal(value, point);
    *word = 0;
    return Res_ok;
}

int Form_valueToLocalCopy(const FormValue *value, int32_t, FormPoint *point, FormPoint *out)
{
    toLocal(value, point);
    *out = *point;
    return Res_ok;
}
