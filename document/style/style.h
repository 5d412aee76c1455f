// Style sets: the computed style of one group node.
//
// An Edr_Style holds one value for each of the 155 style properties. It
// does not copy what it can share: each slot points at a value, which is
// the style context's default for that id, the parent set's value (for the
// 51 inherited ids) or one of the set's own values. Sets are reference
// counted and hold a reference on their parent, so a child set can point
// into its parent's values for as long as it lives. A shared set is never
// changed: Edr_Style_makeWritable copies it first.
//
// Computing a set for a node applies, in weight bands, the rules of the
// document's style sheets (its requests) that match the node, and the
// node's two own rule lists (list 1, presentational values, and list 2,
// the inline style), with important and origin precedence; then the
// fix-ups turn ems, percentages and size keywords into lengths.
//
// Each document has one style context (made on first use): the default
// values (shared with the application's default table), the compiled rule
// index that finds rules by the keys of a node, and scratch buffers reused
// from node to node. Computation runs under the document's read lock;
// layout holds the style sheets locked for a whole pass (Edr_Sect_lockAll).
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/style/prop.h"
#include "core/style/propids.h"

struct Edr_Doc;
struct Edr_Node;
struct StyleRule;
struct Edr_StyleCtx;
struct Edr_StyleIndex;

enum : uint32_t {
    Edr_Style_propCount = PropId_count,

    // Keywords that mean something to the set itself.
    Edr_Style_kwDefault = 57, // take the context's default for the id
    Edr_Style_kwInherit = 73, // take the parent's value
    Edr_Style_kwColour = 120, // take the value of property 29 (the colour)

    // Flag bits of a set.
    Edr_Style_flag1 = 1, // bit 0
    Edr_Style_flag2 = 2, // bit 1: children of this set match with state bit 0
    Edr_Style_flag4 = 4, // bit 2

    // Origin codes kept in bits 1-3 of an own value's flags.
    Edr_Style_originOwn = 0,    // the node's own rules
    Edr_Style_originSheet = 2,  // sheets without a kind (weight below 1000)
    Edr_Style_originUser = 4,   // kind-1 sheets (weight 1000 to 1999)
    Edr_Style_originAuthor = 8, // kind-2 sheets (weight 2000 and above)
    Edr_Style_originMask = 0xE,
    // Bit 4 of an own property-92 value: the parent's value was added.
    Edr_Style_flagAccumulated = 0x10,
};

struct Edr_Style {
    uint32_t refCount;     // 1 at creation
    Edr_Style *parent;     // one reference held; null for a root
    Edr_StyleCtx *context; // the document's style context (not counted)
    const Prop *slots[Edr_Style_propCount];
    uint16_t flags;             // bits 0-2 as above
    uint16_t ownCount;          // own values in use
    uint16_t ownCapacity;       // own values allocated
    Prop *ownValues;            // every slot that points here owns its value
    const StyleRule *overrides; // when set, replaces the whole set for reading (not owned)
    uint16_t emCount;           // own values of type 3 not yet resolved
    uint8_t rootNode;           // the node's key is the context's root key
};

// The payload words of a value read through Edr_Style_get.
struct Edr_StylePayload {
    uintptr_t word;
    uint32_t payload2;
};

// A node's reusable match entry: a rule found for the node, its weight and
// its sequence number in sheet order.
struct Edr_StyleEntry {
    const StyleRule *rule;
    int32_t weight;
    uint32_t sequence;
};

// The style context of a document.
struct Edr_StyleCtx {
    Edr_Doc *doc;
    const Prop *defaults;    // 155 values: the application's table or ownDefaults
    Prop *ownDefaults;       // a table of our own when the application has none
    Edr_StyleIndex *index;   // compiled rule index, or null
    Edr_StyleEntry *entries; // the match buffer: the entries of one node, reused
    uint32_t entryCount;
    uint32_t entryCapacity;
    uint32_t bodyId; // element name ids ("body", "okalasection", "*"), 0 until known
    uint32_t sectionId;
    uint32_t starId;
    uint32_t boxSizing; // 1: widths include paddings and borders
};

// ---------------------------------------------------------------- defaults

// Fills table[0..154] with the default values: id = index, type from the
// default-type table, then the overrides (colour 29 black, 38 12 points,
// 43 keyword 25, the strings of 75 and 37, the edge widths 18-21 and 64,
// the integers of 31, 61, 89 and 128). The table's previous contents are
// not freed. 0, or 1 when a string cannot be made (the values made so far
// stay; the caller frees them with Prop_free).
[[nodiscard]] int Edr_Style_initDefaults(Prop *table);

// --------------------------------------------------------------- contexts

// The document's style context, made on first use (null when memory runs
// out). Lent: the document owns it.
Edr_StyleCtx *Edr_StyleCtx_get(Edr_Doc *doc);
// Frees the document's style context (null allowed). Document teardown.
void Edr_StyleCtx_free(Edr_Doc *doc);
// Drops the compiled rule index; the next computation compiles it again.
void Edr_StyleCtx_dropIndex(Edr_StyleCtx *context);

// ------------------------------------------------------------------- sets

// *out = a zeroed set with one reference in the document's style context.
// 0, or 1 when memory runs out (*out null).
[[nodiscard]] int Edr_Style_create(Edr_Doc *doc, Edr_Style **out);
// The same in a given context.
[[nodiscard]] int Edr_Style_createIn(Edr_StyleCtx *context, Edr_Style **out);
// One more reference; returns the set (null stays null).
Edr_Style *Edr_Style_retain(Edr_Style *set);
// Drops one reference (null allowed). The last frees the own values and
// the set and releases the parent in turn, up the chain.
void Edr_Style_release(Edr_Style *set);

// Reads property id: the override rule's value when overrides are set (an
// id it lacks reads as type 0), else the slot's value after following
// keyword 57 to the default and keyword 120 to property 29. Returns the
// type (0 for an id out of range); with out non-null and a type from 1 to
// 20, out receives both payload words.
uint32_t Edr_Style_get(const Edr_Style *set, uint32_t id, Edr_StylePayload *out);
// The value a slot resolves to as Edr_Style_get finds it (lent), or null
// for an id out of range or an override rule that lacks it.
const Prop *Edr_Style_getProp(const Edr_Style *set, uint32_t id);

// Starts a set: the context's defaults in every slot, the parent's slots
// for the inherited ids. Nothing is copied.
void Edr_Style_initFrom(Edr_Style *set, const Edr_Style *parent);

// Applies the values of rule in order with the origin code (0, 2, 4 or 8).
// 0, or 1 when memory runs out (the values applied so far stay).
[[nodiscard]] int Edr_Style_applyRule(Edr_Style *set, const StyleRule *rule, uint32_t origin);

// Computes set for a group node under parent (null for none): holds a reference
// on the parent, applies the sheets and the node's own rules and runs the
// fix-ups. Caller holds the document's read lock. 0; Res_styleNotGroup when the
// node is not a group; 1 when memory runs out.
[[nodiscard]] int Edr_Style_computeInto(Edr_Doc *doc, Edr_Style *set, Edr_Style *parent,
                                        Edr_Node *node);
// Creates a set and computes it. On failure the set is released and *out
// is null.
[[nodiscard]] int Edr_Style_computeForNode(Edr_Doc *doc, Edr_Style **out, Edr_Style *parent,
                                           Edr_Node *node);
// The same in a given context (the walkers' way of making sets).
[[nodiscard]] int Edr_Style_computeIn(Edr_StyleCtx *context, Edr_Style **out, Edr_Style *parent,
                                      Edr_Node *node);
// The set of node computed from the root down: each ancestor's set (root
// first) is computed under the one above it. Caller holds the read lock.
// 0, or the first error (*out null).
[[nodiscard]] int Edr_Style_computeForPath(Edr_Doc *doc, Edr_Node *node, Edr_Style **out);
// A set without a parent set: defaults, then the node's two own rule lists
// with origin 0, then the fix-ups. 5122 for a non-group.
[[nodiscard]] int Edr_Style_computeDefault(Edr_Doc *doc, Edr_Style **out, Edr_Node *node);

// Whether two childless groups without attributes or a subtype value, of
// the same element and classes, take the same style from the same parent
// as far as the node itself decides it (rules relating a node to its
// siblings aside). Caller holds the read lock.
bool Edr_Style_sameEmptyGroups(Edr_Node *a, Edr_Node *b);

// Applies the matching sheet rules and the node's own rules to set, in
// weight bands (see the source). Caller holds the read lock.
[[nodiscard]] int Edr_Style_applySheets(Edr_Style *set, Edr_Node *node);

// The fix-ups after computing and after every Edr_Style_setValue.
[[nodiscard]] int Edr_Style_finish(Edr_Style *set);
// Resolves ems: the font size, then own em values walking the em table
// from its last entry to its first while emCount lasts; remaining em
// values take the default. emCount ends at 0.
[[nodiscard]] int Edr_Style_resolveEms(Edr_Style *set);
// The set's font size as a length (16.16 inches); resolves an owned
// property 38 into a length first.
int32_t Edr_Style_fontSize(Edr_Style *set);
// The display fix-up of property 34's keyword.
uint32_t Edr_Style_fixDisplay(uint32_t keyword);

// Sets one own value of the set (which must not be shared: see
// Edr_Style_makeWritable) and runs the fix-ups. Keyword 73 takes the
// parent's value (for id 92 the integer 0). 0, or 1 when memory runs out.
[[nodiscard]] int Edr_Style_setValue(Edr_Style *set, const Prop *value);
// Copy on write: a set with one reference stays; otherwise *set becomes a
// new copy (own values duplicated, parent retained) with one reference and
// the old set loses one. 0, or 1 when memory runs out (*set unchanged).
[[nodiscard]] int Edr_Style_makeWritable(Edr_Style **set, Edr_Doc *doc);

// Stores the override rule (not owned; null clears).
void Edr_Style_setOverrides(Edr_Style *set, const StyleRule *rule);
// The text of a string value (lent), or null for other types.
const char16_t *Edr_Style_valueText(const Prop *value);
// ORs bits into the flags; tests of bits 0 and 2.
void Edr_Style_setFlags(Edr_Style *set, uint16_t bits);
int Edr_Style_isFlag1(const Edr_Style *set);
int Edr_Style_isFlag4(const Edr_Style *set);

// ----------------------------------------------------- sheets for a pass

// Takes every style sheet's lock (in list order), ORs their changed flags
// (clearing them when changed is non-null), drops the rule index when any
// was set and stores the OR in *changed; then learns the ids of "body",
// "okalasection" and "*" from the document's string table. 1 when the
// context cannot be made (nothing locked).
[[nodiscard]] int Edr_Sect_lockAll(Edr_Doc *doc, int *changed);
// Frees the context's match buffer and unlocks every style sheet.
void Edr_Sect_unlockAll(Edr_Doc *doc);
