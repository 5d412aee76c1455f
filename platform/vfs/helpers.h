// Small helpers beside the virtual streams: appending 8-bit text to a heap
// 16-bit string, and the payload record of property values of type 18.
#pragma once

#include <cstdint>

struct Edr_Doc;

// Widens text8 (Latin-1, bytes zero-extended) and appends it to the heap
// string s (null counts as empty), growing s by reallocation. Returns the
// new string, which replaces s; s itself when text8 is null; null when
// memory runs out, and then s is left as it was and still belongs to the
// caller.
char16_t *Ustr_appendCstr(char16_t *s, const char *text8);

// The payload of a type-18 property value: five words, {0, 0, 6, 85, 0}
// when new.
struct Prop18 {
    uint32_t words[5];
};

// *payload = a new record holding {0, 0, 6, 85, 0}. 0, or 1 with *payload
// null when memory runs out.
[[nodiscard]] int Prop18_new(Prop18 **payload);
// *payload = a new copy of source (null for a null source). 0, or 1 with
// *payload null when memory runs out.
[[nodiscard]] int Prop18_copy(Prop18 **payload, const Prop18 *source);
// Frees the record. Null is ignored.
void Prop18_free(Prop18 *payload);

// Dispatchers into the application's table of document callbacks (reached
// from the document's application context): each calls its slot with the
// document and returns the slot's result; 0 when the document, the table
// or the slot is missing. Slot 3 tells the document's handler that the
// selection may have changed; slot 1 is told that a page was published.
int AppDoc_callSlot1(Edr_Doc *doc);
int Edr_Doc_callSelectionHook(Edr_Doc *doc);
