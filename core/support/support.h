// Shared small routines.
//
// Leaves with no state of their own that the HTML layer and the document
// model's event code call: a case-insensitive comparison of 16-bit strings,
// the event-type name lookup and the form-control element test.
#pragma once

#include <cstdint>

// Case-insensitive comparison of two 16-bit strings (neither null). Walks
// while a's character is not 0: characters that are equal, or equal after
// Ustr_lowerChar, pass; the walk stops at the first pair that still differs
// (characters above U+017F are never folded). The result is f(a[i]) -
// f(b[i]) where it stopped, f folding characters up to U+017F; 0 when a
// ends where b ends.
int Ustr_icmp(const char16_t *a, const char16_t *b);

// The name of an event type 0-29 ("onload" ... "onhardfocusls"), or null
// for a type above 29. The text is constant.
const char *Html_eventName(uint32_t type);

// 1 when the HTML element id is a form control (button, input, optgroup,
// option, select, textarea), else 0.
int Html_isFormControl(uint32_t elementId);
