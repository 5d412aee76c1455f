// Typed cell values (see value.h). Numbers are printed with the engine's
// formatter and read back with its number parsers; a value's type changes
// only once its new payload and text are in place.
#include "document/style/value.h"

#include <cmath>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/fmt.h"
#include "core/text/number.h"
#include "core/text/ustr.h"

namespace {

// The value's type does not allow the operation, or the pair has no rule.
constexpr int wrongType = 8;

// Replaces the text by the widened 8-bit text. 0 or 1.
int storeText8(Edr_Value *value, const char *text)
{
    char16_t *wide = Ustr_fromCstr(text);
    if (!wide)
        return Res_noMemory;
    Mem_free(value->text);
    value->text = wide;
    return Res_ok;
}

int storeInt(Edr_Value *value, int32_t n)
{
    // "-2147483648" and its terminator: 12 bytes.
    char buffer[12];
    Fmt_snprintf(buffer, sizeof buffer, "%d", n);
    int err = storeText8(value, buffer);
    if (err == Res_ok)
        value->intValue = n;
    return err;
}

int storeNumber(Edr_Value *value, double x)
{
    // "%lg" keeps six significant digits: "-1.23457e-308" fits.
    char buffer[14];
    Fmt_snprintf(buffer, sizeof buffer, "%g", x);
    int err = storeText8(value, buffer);
    if (err == Res_ok)
        value->numValue = x;
    return err;
}

// x truncated toward zero; NaN gives 0 and values beyond the 32-bit range
// the nearest limit (a plain cast would be undefined there).
int32_t truncateToInt(double x)
{
    if (std::isnan(x))
        return 0;
    if (x >= 2147483647.0)
        return INT32_MAX;
    if (x <= -2147483648.0)
        return INT32_MIN;
    return int32_t(x);
}

// The text narrowed to 8 bits (low byte of each unit), leading white space
// dropped; null when memory runs out.
char *narrowed(const char16_t *text)
{
    size_t n = Ustr_len(text);
    char *out = static_cast<char *>(Mem_malloc(n + 1));
    if (!out)
        return nullptr;
    size_t k = 0, i = 0;
    while (i < n && (text[i] == ' ' || (text[i] >= 9 && text[i] <= 13)))
        i++;
    for (; i < n; i++)
        out[k++] = char(text[i] & 0xFF);
    out[k] = 0;
    return out;
}

int fromText(Edr_Value *value, uint32_t type)
{
    int32_t n = 0;
    double x = 0.0;
    if (value->text) {
        char *text = narrowed(value->text);
        if (!text)
            return Res_noMemory;
        if (type == Edr_valueInt)
            n = Std_strtol(text, nullptr, 10);
        else
            x = Std_atof(text);
        Mem_free(text);
    }
    return type == Edr_valueInt ? storeInt(value, n) : storeNumber(value, x);
}

} // namespace

Edr_Value *Edr_Value_new(const char16_t *label, const uint32_t *key, uint32_t type)
{
    Edr_Value *value = static_cast<Edr_Value *>(Mem_calloc(1, sizeof(Edr_Value)));
    if (!value)
        return nullptr;
    if (label && !(value->label = Ustr_dup(label))) {
        Mem_free(value);
        return nullptr;
    }
    if (key) {
        value->key[0] = key[0];
        value->key[1] = key[1];
    }
    value->type = type;
    return value;
}

void Edr_Value_free(Edr_Value *value)
{
    if (!value)
        return;
    Mem_free(value->label);
    Mem_free(value->text);
    Mem_free(value);
}

uint32_t Edr_Value_getType(const Edr_Value *value)
{
    return value ? value->type : Edr_valueNone;
}

int Edr_Value_setInt(Edr_Value *value, int32_t n)
{
    if (!value)
        return Res_missingArgument;
    if (value->type != Edr_valueInt)
        return wrongType;
    return storeInt(value, n);
}

int Edr_Value_setNumber(Edr_Value *value, double x)
{
    if (!value)
        return Res_missingArgument;
    if (value->type != Edr_valueNumber)
        return wrongType;
    return storeNumber(value, x);
}

int Edr_Value_setText(Edr_Value *value, const char16_t *text)
{
    if (!value)
        return Res_missingArgument;
    if (value->type != Edr_valueText)
        return wrongType;
    char16_t *copy = nullptr;
    if (text && !(copy = Ustr_dup(text)))
        return Res_noMemory;
    Mem_free(value->text);
    value->text = copy;
    return Res_ok;
}

int Edr_Value_convert(Edr_Value *value, uint32_t type)
{
    if (!value || type == Edr_valueNone)
        return Res_missingArgument;
    if (value->type == type)
        return Res_ok;
    if (value->type == Edr_valueNone)
        return wrongType;
    int err = wrongType;
    if (value->type == Edr_valueInt && type == Edr_valueNumber)
        err = storeNumber(value, double(value->intValue));
    else if (value->type == Edr_valueNumber && type == Edr_valueInt)
        err = storeInt(value, truncateToInt(value->numValue));
    else if ((value->type == Edr_valueInt || value->type == Edr_valueNumber) &&
             type == Edr_valueText)
        err = Res_ok;
    else if (value->type == Edr_valueText && (type == Edr_valueInt || type == Edr_valueNumber))
        err = fromText(value, type);
    if (err == Res_ok)
        value->type = type;
    return err;
}

char16_t *Edr_Value_textCopy(const Edr_Value *value)
{
    return value && value->text ? Ustr_dup(value->text) : nullptr;
}

int32_t Edr_Value_getInt(const Edr_Value *value)
{
    return value && value->type == Edr_valueInt ? value->intValue : 0;
}

double Edr_Value_getNumber(const Edr_Value *value)
{
    return value && value->type == Edr_valueNumber ? value->numValue : 0.0;
}

const char16_t *Edr_Value_getBuffer(const Edr_Value *value)
{
    return value && value->type != Edr_valueNone ? value->label : nullptr;
}

uint32_t *Edr_Value_copyPair(const Edr_Value *value)
{
    if (!value || value->type == Edr_valueNone)
        return nullptr;
    uint32_t *pair = static_cast<uint32_t *>(Mem_malloc(2 * sizeof(uint32_t)));
    if (pair) {
        pair[0] = value->key[0];
        pair[1] = value->key[1];
    }
    return pair;
}

Edr_Value *Edr_Value_clone(const Edr_Value *value)
{
    if (!value)
        return nullptr;
    Edr_Value *copy = Edr_Value_new(value->label, value->key, value->type);
    if (!copy)
        return nullptr;
    if (value->type == Edr_valueNumber)
        copy->numValue = value->numValue;
    else
        copy->intValue = value->intValue;
    if (value->text && !(copy->text = Ustr_dup(value->text))) {
        Edr_Value_free(copy);
        return nullptr;
    }
    return copy;
}
