// Shared small routines: a 16-bit case-insensitive comparison, event names,
// the form-control test, three formula aggregates and the writer's entry
// lookup.
#include "core/support/support.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "office/ole2/olewriter.h"

namespace {

inline int fold(char16_t c)
{
    return static_cast<int>(c <= 0x17F ? Ustr_lowerChar(c) : c);
}

// Event names by event type, in the order of the document's event table.
constexpr const char *eventNames[30] = {
    "onload",      "onunload",    "onabort",        "onerror",       "onselect",
    "onchange",    "onsubmit",    "onreset",        "onfocus",       "onblur",
    "onresize",    "onscroll",    "onkeydown",      "onkeypress",    "onkeyup",
    "onmousedown", "onmouseover", "onmousemove",    "onmouseup",     "onmouseout",
    "onclick",     "ondblclick",  "onfocusIn",      "onfocusOut",    "onactivate",
    "onaddition",  "onmodification", "onremoval",   "onhardfocusgn", "onhardfocusls",
};

// Element ids of the HTML element table that are form controls.
constexpr uint32_t elementButton = 26;
constexpr uint32_t elementInput = 64;
constexpr uint32_t elementOptgroup = 86;
constexpr uint32_t elementOption = 87;
constexpr uint32_t elementSelect = 96;
constexpr uint32_t elementTextarea = 107;

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
    if (n > 0) {
        r = values[0];
        for (uint32_t i = 1; i < n; i++) {
            if (kind == aggAverage)
                r += values[i];
            else if (kind == aggMax ? values[i] >= r : values[i] <= r)
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

int Ustr_icmp(const char16_t *a, const char16_t *b)
{
    size_t i = 0;
    for (; a[i]; i++) {
        if (a[i] != b[i] && fold(a[i]) != fold(b[i]))
            break;
    }
    return fold(a[i]) - fold(b[i]);
}

const char *Html_eventName(uint32_t type)
{
    return type < 30 ? eventNames[type] : nullptr;
}

int Html_isFormControl(uint32_t elementId)
{
    switch (elementId) {
    case elementButton:
    case elementInput:
    case elementOptgroup:
    case elementOption:
    case elementSelect:
    case elementTextarea:
        return 1;
    default:
        return 0;
    }
}

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

int OleWriter_findEntry(const OleWriter *writer, uint32_t id, uintptr_t *word)
{
    *word = 0;
    for (const OleWriterEntry *e = writer->entries; e; e = e->next) {
        if (e->id == id) {
            *word = e->word;
            return Res_ok;
        }
    }
    return Res_oleNoSuchEntry;
}
