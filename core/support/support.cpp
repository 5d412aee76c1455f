// Shared small routines: a 16-bit case-insensitive comparison, event names
// and the form-control test.
#include "core/support/support.h"

#include "core/result.h"
#include "core/text/ustr.h"

namespace {

inline int fold(char16_t c)
{
    return static_cast<int>(c <= 0x17F ? Ustr_lowerChar(c) : c);
}

// Event names by event type, in the order of the document's event table.
constexpr const char *eventNames[30] = {
    "onload",     "onunload",   "onabort",        "onerror",     "onselect",      "onchange",
    "onsubmit",   "onreset",    "onfocus",        "onblur",      "onresize",      "onscroll",
    "onkeydown",  "onkeypress", "onkeyup",        "onmousedown", "onmouseover",   "onmousemove",
    "onmouseup",  "onmouseout", "onclick",        "ondblclick",  "onfocusIn",     "onfocusOut",
    "onactivate", "onaddition", "onmodification", "onremoval",   "onhardfocusgn", "onhardfocusls",
};

// Element ids of the HTML element table that are form controls.
constexpr uint32_t elementButton = 26;
constexpr uint32_t elementInput = 64;
constexpr uint32_t elementOptgroup = 86;
constexpr uint32_t elementOption = 87;
constexpr uint32_t elementSelect = 96;
constexpr uint32_t elementTextarea = 107;

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
    case elementTextarea: return 1;
    default: return 0;
    }
}
