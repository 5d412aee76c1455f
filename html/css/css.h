// Style sheets of HTML documents: the services that loading, tree building
// and attributes call.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;
struct Edr_Doc;
struct Request;
struct Url;
struct StyleRule;
struct VfsHandle;

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
int Css_parseDeclarationsText(EngineContext *context, const char16_t *text, size_t length,
                              StyleRule *rule);
// Parses a style sheet from an open stream (in 2048-byte blocks; the first
// chooses the charset) into sheet. url (taken over, null allowed) becomes
// the sheet's URL and the base of its imports. 0 or an error.
int Css_parseStyleSheetStream(EngineContext *context, Edr_Doc *doc, Url *url, VfsHandle *stream,
                              Request *sheet, int (*callback)(void *argument), void *argument);
// Parses one value text for the named CSS property into rule (not
// important). 8 when the name is no CSS property; 0 or 1 otherwise.
int Css_parsePropertyText(EngineContext *context, StyleRule *rule, const char16_t *name,
                          size_t nameLength, const char16_t *value, size_t valueLength,
                          int *changed);
// Parses the content of a style element into a new author sheet of doc
// (URLs resolved against the document's). 0, or 1 out of memory, 48 stop.
int Css_parseStyleElement(EngineContext *context, Edr_Doc *doc, const char16_t *text,
                          size_t length);

// The style services of an HTML document, through which the document
// model reaches the CSS code. Entries 1 and 2 act only for kind 1 (CSS);
// for other kinds they answer null or 0 without effect.
struct CssServices {
    char16_t *(*ruleToText)(int kind, const StyleRule *rule);
    // Clears rule's properties, then parses a style attribute's text into it.
    int (*parseDeclarations)(EngineContext *context, int kind, const char16_t *text, size_t length,
                             StyleRule *rule);
    int (*parseProperty)(EngineContext *context, StyleRule *rule, const char16_t *name,
                         size_t nameLength, const char16_t *value, size_t valueLength,
                         int *changed);
    char16_t *(*propertyToText)(const StyleRule *rule, const char16_t *name);
    uint32_t (*propertyIdByName)(const char16_t *name);
};
// 1 when doc carries the style services (HTML documents do).
int Css_hasServices(Edr_Doc *doc);
// The services of doc into *out: 1, or 0 (out cleared) when it has none.
int Css_getServices(Edr_Doc *doc, CssServices *out);
