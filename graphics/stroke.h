// Path stroking and dashing: a path and a pen become fillable outlines.
//
// Lines and the outlines of shapes are drawn by turning the path and a pen
// into outline edges that the scan converter fills with the non-zero rule.
// Each straight piece of the path (curves are flattened first) contributes
// its two offset edges at half the pen width; joins between pieces and caps
// at open ends contribute edges that close the outline. Every point goes
// through a 16.16 matrix first, and all output coordinates are integers in
// the matrix's output units (the pen's dimensions are in the same units).
//
// The output is a list of edge chains in a Path: a move or a hidden line
// (opcode 1) starts a chain, lines (and the cubic curves of round joins)
// continue it; chains are never closed. Taken together every piece, join
// and cap forms closed loops, so the non-zero rule fills exactly the stroke.
// Each source subpath's outline starts with a move to its first corner and
// ends with a hidden line back to it, so a filler that closes subpaths at
// their moves adds nothing.
//
// Hidden lines in the source break the chain: the piece before gets its
// end cap and the piece after its start cap. A close joins the last piece
// to the first where the two meet at the subpath's start; where hidden
// lines keep them apart both ends are capped, as an open subpath's are.
// Pieces of zero length (after the matrix) are left out. The inner edges of
// every join run through the joint.
//
// The same walk, growing a rectangle instead of writing edges, gives the
// stroke's bounding box without building it. Nothing here keeps state
// between calls; the output path and the rectangle belong to the caller.
#pragma once

#include <cstdint>

#include "core/geom/matrix.h"
#include "core/geom/rect.h"
#include "graphics/path.h"

struct EngineContext;

// The pen's style word. Bit 0 belongs to the graphics code ("at least one
// pixel wide"); the stroker leaves it alone.
enum : uint32_t {
    Pen_atLeastOnePixel = 1u << 0,
    Pen_joinShift = 1,     // bits 1-2: the join
    Pen_startCapShift = 3, // bits 3-4: the cap at the start of a chain
    Pen_endCapShift = 5,   // bits 5-6: the cap at the end of a chain
};

enum : uint32_t {
    Pen_joinMiter = 0,
    Pen_joinRound = 1,
    Pen_joinBevel = 2, // join value 3 is refused with 257
};

enum : uint32_t {
    Pen_capButt = 0,
    Pen_capRound = 1,
    Pen_capSquare = 2,
    Pen_capArrow = 3,
};

// A pen, given by the caller (the six words of the graphics pen record).
struct Pen {
    uint32_t style;         // Pen_* bits above
    int32_t width;          // full width; the edges lie width / 2 (toward zero) from the path
    int32_t miterLimit;     // longest allowed distance between the two miter points of a join
    int32_t arrowHalfWidth; // an arrow cap's half width at its base
    int32_t arrowLength;    // an arrow cap's length from its base to its tip
    const int32_t
        *dash; // dash lengths, dash and gap alternately, ended by a negative value; null: solid
};

// Writes the stroke of source, mapped through matrix, into out (appended to
// what out holds). With a dash pattern the path is dashed first (Path_dash,
// into a temporary path) and the dashes are stroked; a pattern whose scaled
// period is below one output unit (a dash scale of 0 or below included) is
// ignored and the path stroked solid. With a clip rectangle, a curve whose
// control points all lie beyond one of its edges by more than the pen can
// reach is stroked as the straight piece between its ends (it cannot show
// inside either way). Returns 0; 257 (Res_strokeBadJoin) for join bits 3,
// with nothing written; 1 when memory runs out, 256 when out is packed, 259
// for an element the path format does not define. An error ends the stroke
// and out keeps what was written. context is not read.
[[nodiscard]] int Path_stroke(EngineContext *context, const Path *source, Path *out,
                              const Matrix *matrix, const Pen *pen, int32_t dashScale,
                              const Rect *clip);

// *out = the bounding box of the outline Path_stroke would build (without a
// clip rectangle), by the same walk: it starts as the empty bound
// {0x7FFFFFFF, 0x7FFFFFFF, 0x80000000, 0x80000000} and grows by every
// corner, cap and miter point. Round caps and joins add the square of the
// pen's half width about their centre, widened by a unit or two per 256
// units so that it holds the arcs' rounding. For a pen with a dash pattern
// (whose scale is not known here) every piece's ends add the square that any
// dash cap or join there can reach. Returns 0; 257 for join bits 3; 8 for a
// null argument; 259 for an element the path format does not define (*out
// then holds what was found so far).
[[nodiscard]] int Path_strokeBounds(EngineContext *context, const Path *source, Rect *out,
                                    const Matrix *matrix, const Pen *pen);

// Appends the dashes of source, mapped through matrix, to out as moves and
// lines. The pattern's lengths (ended by a negative value; dash and gap
// alternately, starting with a dash) are multiplied by dashScale (16.16) and
// measured along the mapped path in output units; every move restarts the
// pattern, curves are flattened, and a closed subpath that both starts and
// ends inside a dash gets a line to the end of its first piece, so that the
// two ends are stroked as one dash. A pattern whose first length is below 1
// writes nothing. A pattern whose scaled period is below one output unit
// would step without getting anywhere: the path is then written solid, as
// lines. Returns 0, or the first error of out (1, 256) or 259 for an
// element the path format does not define; out keeps what was written.
[[nodiscard]] int Path_dash(const Path *source, Path *out, const Matrix *matrix,
                            const int32_t *pattern, int32_t dashScale);
