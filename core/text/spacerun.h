// White-space collapsing of 16-bit text.
#pragma once

#include <cstdint>

// Copies the n units of source with every run of white space (codes below
// 33 and U+3000) written as one U+0020; no terminator. Returns the count
// written, or only counts it when destination is null (the count is below n
// exactly when some run is longer than one unit).
uint32_t Ustr_collapseSpaceRuns(char16_t *destination, const char16_t *source, uint32_t n);
