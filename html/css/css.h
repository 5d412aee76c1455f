// Style sheets of HTML documents: the services that loading and tree
// building call. Declared here so far; the style-sheet parser defines them.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;
struct Edr_Doc;
struct Request;
struct Url;

// Parses a whole style sheet from 16-bit text into sheet (a style request),
// resolving URLs against base. callback (null allowed) hears of each rule.
// 0 or an error; errors in the sheet itself never fail.
int Css_parseStyleSheetText(EngineContext *context, Edr_Doc *doc, const Url *base, Request *sheet,
                            const char16_t *text, size_t length, int (*callback)(void *argument),
                            void *argument);
// Loads the style sheet that url names into sheet (a style request),
// charged to doc's load accounting. 0 or an error.
int Css_loadStyleSheet(EngineContext *context, Edr_Doc *doc, const Url *url, Request *sheet);
// 1 when a media list text (of length units) names a medium that applies.
int Css_mediaListApplies(const char16_t *text, size_t length);
// Parses the declarations of a style attribute (text of length units) into
// rule. 0 or an error (1 out of memory); errors of the text itself never
// fail.
int Css_parseDeclarationsText(EngineContext *context, const char16_t *text, size_t length, struct StyleRule *rule);
