// HTML serialisation (Html_serialise is declared in html/docweb.h for the
// document model).
#pragma once

#include <cstdint>

struct Edr_Doc;
struct Edr_Node;
struct Prop;
struct Ustr_buf;

// Writes one property: a space, its name, the separator, the quote, its
// value (escaped for the quote) and the quote. kind 0: the CSS name and
// value text; kind 1: the HTML attribute name and value. 0 or 1.
int Html_writeAttribute(Ustr_buf *buffer, const Prop *value, char16_t separator, char16_t quote,
                        int last, int kind);
// Loads text as HTML under node (its children having been removed). 0 or
// the load's error.
int Html_loadTextAtNode(Edr_Doc *doc, Edr_Node *node, uint32_t position, const char16_t *text);
