// Clip paths in the document model and in display lists.
//
// A drawing that clips (a metafile's clip region, a PDF page's W and W*)
// appends a data node of property 136 whose value holds a ClipPath: a
// counted record owning the path, shared by every copy of the value. A
// data node of property 136 with the bare value 208 ends the most recent
// clip. Layout gathers the items drawn between the two into a clip group:
// a container display item that draws its children only inside the path.
#pragma once

#include <cstdint>

#include "core/container/obj.h"
#include "core/style/proprecords.h"

struct Matrix;
struct Path;
struct Prop;

enum : uint32_t {
    ClipPath_property = 136,
    ClipPath_endValue = 208, // the bare value that ends a clip
    ClipPath_nonZero = 12,   // value types: the fill rule of the path
    ClipPath_evenOdd = 13,
};

struct ClipPath {
    PropCounted base;
    Path *path; // owned
};

// A new clip record with one reference that takes over path (freed on
// failure too). 0, or 1 when memory runs out.
[[nodiscard]] int ClipPath_create(Path *path, ClipPath **out);
// Drops one reference (null allowed).
void ClipPath_release(ClipPath *clip);
// Sets *out to the property 136 value of clip (no reference taken: the
// node that stores a copy takes its own), evenOdd choosing the rule.
void ClipPath_setValue(Prop *out, ClipPath *clip, int evenOdd);
// The clip record and rule of a property 136 value that starts a clip; null
// for any other value.
const ClipPath *ClipPath_fromValue(const Prop *value, int *evenOdd);
// 1 when value ends a clip.
int ClipPath_isEnd(const Prop *value);

// One clip path of a content piece (the piece's clip list chains them);
// the piece is visible only inside every path of its list. A record owns
// its path and matrix (ClipEntry_freeList).
struct ClipEntry {
    uint32_t fillRule; // 0 non-zero winding, other values even-odd
    Matrix *matrix;    // or null (the identity)
    int32_t dx, dy;    // added to the matrix's translation
    ClipEntry *next;
    Path *path;
};

// Frees a clip list with the entries' paths and matrices (null allowed).
void ClipEntry_freeList(ClipEntry *list);

// The part of a clip group item: the container part, then one clip entry
// whose path is a share of the record's (not owned by the entry).
struct ClipGroupPart {
    ObjContainerPart container;
    ClipPath *clip;    // a reference
    uint32_t fillRule; // 0 non-zero, 1 even-odd
    int32_t dx, dy;    // where the path's origin lies in item units
};

extern const ObjClass ClipGroup_class;

// A new clip group of clip (a reference is taken) placed at (dx, dy), with
// no children and an empty box. 0 or 1.
[[nodiscard]] int ClipGroup_create(const ClipPath *clip, int evenOdd, int32_t dx, int32_t dy,
                                   ObjHeader **out);
