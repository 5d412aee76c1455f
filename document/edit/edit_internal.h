// What the selection and the editing code share inside document/edit.
#pragma once

#include <cstdint>

struct Edr_Doc;
struct Edr_Node;
struct StyleRule;

// The units of a text node (null and 0 for other nodes). Text nodes never
// change, so a node held by a reference may be read without the lock.
struct Edr_TextSpan {
    const char16_t *chars;
    uint32_t length;
};
Edr_TextSpan Edr_Sel_textOf(Edr_Node *node);
// The first id of a group (0 for none or a non-group). Read lock held.
uint32_t Edr_Sel_firstIdOf(Edr_Node *group);
// The registered rule whose key is key (lent), or null. Read lock held.
const StyleRule *Edr_Sel_findRuleLocked(Edr_Doc *doc, uint32_t key);
