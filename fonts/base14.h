// The metrics of the fourteen standard PDF fonts ("psbase14.bfm").
#pragma once

struct Base14Metrics;
struct EngineContext;
struct Url;

// *out = the metrics record over "psbase14.bfm" in the fonts directory
// (the file may be missing: its fonts are then unavailable). 0 or 1.
[[nodiscard]] int Base14_create(EngineContext *context, Base14Metrics **out, const Url *fontsDir);
// Frees the record (null allowed).
void Base14_free(Base14Metrics *metrics);
