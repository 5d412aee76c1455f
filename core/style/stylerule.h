// Style rules: ordered property values with match keys and a weight.
//
// A rule is the unit of formatting that importers attach to document
// nodes: a list of property values (Prop), the match keys that select where
// it applies, and a weight that orders rules against each other (the sum
// of the weights given with its match keys). Style sets are computed from
// the rules attached to nodes; request objects gather rules of one source.
//
// A rule owns its match items, its property items and their payloads.
// Values set with StyleRule_setProp or StyleRule_appendPropOnce keep
// property ids unique within the rule; StyleRule_appendProp does not check.
// No lock: the rule's owner serialises use.
#pragma once

#include <cstdint>

#include "core/style/prop.h"

struct Request;

struct StyleMatch {
    uint32_t key;
    uint32_t value;
    StyleMatch *next;
};

struct StylePropItem {
    Prop value;
    StylePropItem *next;
};

struct StyleRule {
    StyleMatch *matches;      // in insertion order
    uint32_t weight;          // sum of the match weights (wraps)
    StylePropItem *firstProp; // in order
    StylePropItem *lastProp;  // tail, for appends
    StyleRule *next;          // link in the owning request's rule list
    Request *owner;           // the request holding the rule, or null
};

// *out = a new empty rule (every field zero). 0, or 1 with *out null when
// memory runs out.
[[nodiscard]] int StyleRule_create(StyleRule **out);

// Frees the match items, every property item after Prop_free, and the
// rule. Null is ignored.
void StyleRule_destroy(StyleRule *rule);

// Frees every property item (after Prop_free) and empties the list; the
// match items stay.
void StyleRule_clearProps(StyleRule *rule);

// Appends a match item {key, value} and adds weight to the rule's weight.
// 0, or 1 when memory runs out (the rule unchanged).
[[nodiscard]] int StyleRule_addMatch(StyleRule *rule, uint32_t key, uint32_t value,
                                     uint32_t weight);
// StyleRule_addMatch with value 0 and weight 1, or 10.
[[nodiscard]] int StyleRule_addMatch1(StyleRule *rule, uint32_t key);
[[nodiscard]] int StyleRule_addMatch10(StyleRule *rule, uint32_t key);

void StyleRule_setWeight(StyleRule *rule, uint32_t weight);

// Appends a deep copy (Prop_copy) of *value at the tail. 0; 1 when memory
// runs out; a copy error is returned after the half-made item is freed.
[[nodiscard]] int StyleRule_appendProp(StyleRule *rule, const Prop *value);

// Does nothing (0) when a value with the same id is present, else appends.
[[nodiscard]] int StyleRule_appendPropOnce(StyleRule *rule, const Prop *value);

// Appends copies of all of other's values in order; stops at and returns
// the first error (the values appended until then stay).
[[nodiscard]] int StyleRule_appendProps(StyleRule *rule, const StyleRule *other);

// Sets a copy of *value in the rule. When a value with its id is present
// and has the precedence flag (bit 0) while the new one has not, or the
// two are equal, nothing changes and *changed = 0. Otherwise *changed = 1
// and the copy replaces the old value in its place (the old one is freed)
// or, when the id is new, is appended. 0; 1 when memory runs out, or a
// copy error (the rule unchanged, *changed already 1).
[[nodiscard]] int StyleRule_setProp(StyleRule *rule, const Prop *value, int *changed);

// Unlinks and frees the first value with id. *removed = 1 when there was
// one, else 0. Returns 0.
int StyleRule_removeProp(StyleRule *rule, uint32_t id, int *removed);

// The first property item with id, lent, or null.
StylePropItem *StyleRule_findProp(const StyleRule *rule, uint32_t id);

// The first property item (null for a null or empty rule).
StylePropItem *StyleRule_firstProp(const StyleRule *rule);
// For walking: *current = item, and the result is item's successor (null
// for a null item).
StylePropItem *StyleRule_nextProp(StylePropItem *item, StylePropItem **current);

// The key of the first match item; 0 when none.
uint32_t StyleRule_firstKey(const StyleRule *rule);

// 1 when the property list is empty.
int StyleRule_hasNoProps(const StyleRule *rule);

// *out = a new rule with copies of source's values (in order) and match
// items (key and value), and source's weight; not its request link. A null
// source gives null and 0. On failure the partial copy is destroyed, *out
// is null and the error (1 when memory runs out) is returned.
[[nodiscard]] int StyleRule_clone(StyleRule **out, const StyleRule *source);

// 1 when both rules hold the same number of values and every value of each
// has an equal value (Prop_equal) in the other; 0 otherwise, or when
// either is null. Match keys and weights are not compared.
int StyleRule_equalProps(const StyleRule *a, const StyleRule *b);
