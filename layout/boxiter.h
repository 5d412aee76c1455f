// The layout tree iterator: the content of a group as one stream of
// (node, computed style) pairs in document order, pulled from the style
// lookup, with look-behind. Every pair read stays in the iterator until
// layout commits it, so layout can push a node back with the position
// inside it where work resumes, mark a point before an attempt and return
// to it, and defer entries (floats) to be laid out later.
#pragma once

#include <cstdint>

struct Edr_Node;
struct Edr_Style;
struct Edr_StyleLookup;
struct LayoutBox;

struct IterEntry {
    Edr_Style *style; // the node's set; the entry holds a reference
    Edr_Node *node;
    int32_t resume;    // where work resumes inside the node (text: a character index)
    uint32_t isFloat;  // a group floated left or right
    int32_t depth;     // the node's depth in the walk
    uint32_t reserved; // always 0
    int32_t rewinds;   // pushes back in a row with the same resume
};

struct BoxIter {
    Edr_StyleLookup *lookup;
    IterEntry *entries;
    int32_t cursor; // the next entry handed out
    int32_t count;
    int32_t capacity;
    IterEntry *deferred;
    int32_t takeIndex;
    int32_t deferredCount;
    int32_t deferredCapacity;
    int32_t markIndex; // -1 when no mark is set
    int32_t markResume;
    uint32_t stopAtAbsolute;
    uint32_t stopAtGroups;
    uint32_t noFloats; // entries are never marked as floats
};

// *out = an iterator over the content of group (whose set is groupStyle),
// creating sets in the box's style context. 0, 1 when out of memory, or
// the lookup's error; nothing is left on failure.
[[nodiscard]] int BoxIter_create(BoxIter **out, LayoutBox *box, Edr_Node *group,
                                 Edr_Style *groupStyle, uint32_t noFloats);
// Releases every entry's set and frees the iterator; null allowed.
void BoxIter_free(BoxIter *iter);
// The next entry into *out; a null node means the end of the content or a
// stop by one of the switches. 0 or an error.
[[nodiscard]] int BoxIter_next(BoxIter *iter, IterEntry *out, LayoutBox *box);
// Pushes the stream back to entry's node, resuming at entry's resume.
// Only after at least one entry was handed out.
void BoxIter_rewindTo(BoxIter *iter, const IterEntry *entry);
// Forgets everything before the cursor and clears the mark.
void BoxIter_commit(BoxIter *iter);
void BoxIter_mark(BoxIter *iter);
void BoxIter_resetToMark(BoxIter *iter);
// 1 when the stream stands at the mark with the marked resume.
int BoxIter_atMark(const BoxIter *iter);
// Appends a copy of entry (a new reference to its set) to the deferred
// queue. 0 or 1 when out of memory.
[[nodiscard]] int BoxIter_defer(BoxIter *iter, const IterEntry *entry);
// The next deferred entry, or one with a null node when all were taken.
void BoxIter_takeDeferred(BoxIter *iter, IterEntry *out);
void BoxIter_stopAtAbsoluteOn(BoxIter *iter);
void BoxIter_stopAtAbsoluteOff(BoxIter *iter);
void BoxIter_stopAtGroupsOn(BoxIter *iter);
void BoxIter_stopAtGroupsOff(BoxIter *iter);
// 1 when node is an absolute-position marker: a property-value node of
// position with the value absolute or 10.
int BoxIter_isAbsoluteMarker(Edr_Node *node);
