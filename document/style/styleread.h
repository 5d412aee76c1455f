// Typed readers of style sets: what layout, drawing and the viewer use
// instead of reading slots.
//
// Each reader calls Edr_Style_get and answers by the type it got: lengths,
// integers, measures against a reference length (percentages), colours
// with their fallbacks, keyword tests, border sides, the line record and
// the box edges. None allocates; none keeps the set.
#pragma once

#include <cstdint>

#include "document/style/style.h"

// Reference lengths that say "unknown" and "known but do not store".
enum : int32_t {
    Edr_Style_refUnknown = 0x7FFFFFFF,
};
constexpr uint32_t Edr_Style_refNoStore = 0x80000000u;

// One border side: its line kind (0 none), colour bytes R, G, B, A and
// width (16.16 inches).
struct Edr_Border {
    uint32_t kind;
    uint8_t colour[4];
    int32_t width;
};

// The four edges of a box (16.16 inches): left is side 17, right side 15.
struct Edr_Edges {
    int32_t top;
    int32_t bottom;
    int32_t left;
    int32_t right;
};

// ----------------------------------------------------------- simple reads

// The type (keyword or payload type) of property id; *type the same.
uint32_t Edr_Style_getValue(const Edr_Style *set, uint32_t id, uint32_t *type);
// The first payload word when the type is 9 (the string, lent), else 0.
uintptr_t Edr_Style_getString(const Edr_Style *set, uint32_t id);
// The first payload word when the type is 11 (the matrix, lent), else 0.
uintptr_t Edr_Style_getType11(const Edr_Style *set, uint32_t id);
// The first payload word when the type is 16 (the column record, lent), else 0.
uintptr_t Edr_Style_getPayload16(const Edr_Style *set, uint32_t id);
// 1 and *out = the length when the type is 2; else 0, *out untouched.
int Edr_Style_getLength(const Edr_Style *set, uint32_t id, int32_t *out);
// 1 and *out = the integer when the type is 1; else 0.
int Edr_Style_getKeyword(const Edr_Style *set, uint32_t id, int32_t *out);
// A length (1); a percentage of a reference that is neither 0 nor
// 0x7FFFFFFF (1; a reference of 0x80000000 stores nothing); else 0.
int Edr_Style_getMeasure(const Edr_Style *set, uint32_t id, int32_t *out, int32_t reference);
// The colour of property id: property 154's colour wins; else the
// property's own colour; keyword 148 gives all zero; else the palette
// colour of the index. Out is four bytes R, G, B, A.
void Edr_Style_getWithFallback(const Edr_Style *set, uint32_t id, uint8_t out[4],
                               uint32_t paletteIndex);
// Property 47: a length unchanged, an integer (a 16.16 factor) scaled by
// base; 1 when *out was stored.
int Edr_Style_getProp47(const Edr_Style *set, int32_t base, int32_t *out);
// Property 79's type when not 0; else 117 when property 33 is keyword 118,
// 86 otherwise.
uint32_t Edr_Style_getProp79Or33(const Edr_Style *set);
// 131 with flag bit 0; else property 74 mapped: 31 and 65 give 31, 112
// gives 112, anything else 131.
uint32_t Edr_Style_getProp74(const Edr_Style *set);
// 1 when the type of property id equals value (or a or b).
int Edr_Style_equals(const Edr_Style *set, uint32_t id, uint32_t value);
int Edr_Style_equalsEither(const Edr_Style *set, uint32_t id, uint32_t a, uint32_t b);
// 1 when property 87 is keyword 69 (or 49 with also49 set); 0 when it is
// 156; fallback otherwise.
int Edr_Style_testProp87(const Edr_Style *set, int also49, int fallback);
// The border line kind of the style keyword of property id (0 none).
uint32_t Edr_Style_borderKind(const Edr_Style *set, uint32_t id);

// ------------------------------------------------------------ box reads

// One border side (side ids 14 to 17; any other reads as 17); the outline
// (63, 64, 62) wins for every side when it has a kind. 1 when the kind,
// the width and the colour's alpha are all non-zero.
int Edr_Style_getBorder(const Edr_Style *set, uint32_t side, Edr_Border *out);
// The line record: out[0] flags (from 129, 130, 131), out[1] property 128
// as a length (655 unset), out[2] 0x10000, out[3] property 132 (3276),
// out[4] property 133 (6553), out[5] 0.
void Edr_Style_getLineRecord(const Edr_Style *set, int32_t out[6]);
// 1 for a narrow box (see the source).
int Edr_Style_isNarrowBox(const Edr_Style *set);

// Horizontal margins (52, 54), border widths and paddings (67, 69) as pairs
// {side 15, side 17}; any pair may be null. With flag bit 0 the pairs are
// limited against the reference.
void Edr_Style_getHorizontalEdges(const Edr_Style *set, int32_t margins[2], int32_t borders[2],
                                  int32_t paddings[2], int32_t reference);
// Vertical margins (51, 53), border widths and paddings (66, 68) into the
// records' top and bottom; any record may be null.
void Edr_Style_getVerticalEdges(const Edr_Style *set, Edr_Edges *margins, Edr_Edges *borders,
                                Edr_Edges *paddings, int32_t reference);
// Both: the horizontal pairs into left and right, then the vertical edges.
void Edr_Style_getEdges(const Edr_Style *set, Edr_Edges *margins, Edr_Edges *borders,
                        Edr_Edges *paddings, int32_t reference);

// Property 90 limited by 58 and 60, adjusted for box sizing; 1 and *out.
int Edr_Style_clampProp90(const Edr_Style *set, int32_t *out, int contentBox, int32_t reference);
// Property 44 adjusted for box sizing; 0 (and *out 0) when unset.
int Edr_Style_boxExtent(const Edr_Style *set, int32_t *out, int contentBox, int32_t reference);
