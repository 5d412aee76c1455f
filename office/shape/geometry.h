// Preset and custom shape geometry: turns an OfficeArt shape's type, flips
// and geometry properties into a vector path in the shape's box.
//
// The box has its origin at the bottom-left corner with y growing upward:
// (0, 0) is the bottom-left corner and (w, h) the top-right. Adjust values
// live in the 21600-unit shape space (21600 = a whole box side); outline
// tables hold 8.24 fractions of the box (0x1000000 = 1.0). A horizontal
// flip negates w and a vertical flip negates h before anything is built;
// arcs keep their sweep through the orientation sign.
//
// The geometry reads properties through ShapeGeomProps, a small accessor
// over the shape's property set, so that it does not depend on how the
// sets are stored.
#pragma once

#include <cstdint>

struct EscherDrawing;
struct Path;
struct Rect;

enum : uint32_t {
    ShapeFlag_flipH = 0x40, // shape flag bit 6
    ShapeFlag_flipV = 0x80, // shape flag bit 7
    Shape_lastPresetType = 202,
    // Property ids read by the geometry.
    ShapeProp_geoLeft = 320,
    ShapeProp_geoTop = 321,
    ShapeProp_geoRight = 322,
    ShapeProp_geoBottom = 323,
    ShapeProp_vertices = 325,
    ShapeProp_segments = 326,
    ShapeProp_adjust1 = 327,
    ShapeProp_adjust2 = 328,
    // Shade sub-path kinds.
    ShadePath_shade = 0, // a shade factor for the fill
    ShadePath_line = 1,  // an extra outline drawn with the line only
    ShadePath_own = 2,   // a separate piece drawn with the shape's own fill and line
};

enum : int32_t {
    Shape_space = 21600,           // a whole box side in adjust units
    Shape_fractionOne = 0x1000000, // 1.0 as an 8.24 outline fraction
};

// An array property as the property set holds it: element count, element
// size in bytes and the elements (count x size bytes).
struct ShapeArray {
    int32_t count;
    int32_t size;
    const uint8_t *elements;
};

// Reads the properties of one shape. value: 1 and *out when the simple
// property id is present, else 0. array: 1 and *out when the array
// property id is present and holds elements, else 0. Either slot may be
// null (no such properties).
struct ShapeGeomProps {
    const void *set;
    int (*value)(const void *set, uint32_t id, uint32_t *out);
    int (*array)(const void *set, uint32_t id, ShapeArray *out);
};

// What the geometry needs of a shape entry: its type (0-202 presets), its
// flags (bits 6 and 7 the flips) and its properties.
struct ShapeGeom {
    uint32_t type;
    uint32_t flags;
    ShapeGeomProps props;
};

// One shade sub-path: kind (ShadePath_*), a 16.16 colour factor and the
// path, in a list whose newest item comes first.
struct ShadePath {
    uint32_t kind;
    uint32_t value;
    Path *path;
    ShadePath *next;
};

// value x size / 21600 in 64-bit arithmetic, truncated toward zero.
int32_t Shape_scaleAdjust(int32_t value, int32_t size);
// fraction x size / 0x1000000 in 64-bit arithmetic, truncated toward zero.
int32_t Shape_scaleFraction(int32_t fraction, int32_t size);
// The default of adjust 1 (property 327) for a shape type: 10800 unless
// the type has its own.
int32_t Shape_defaultAdjust(uint32_t type);
// Whether a shape type has no outline (it is never drawn).
bool Shape_hasNoOutline(uint32_t type);

// Builds the outline of shape in the box w x h into path (appended to what
// the path holds). Shade sub-paths go to the head of *shades (the caller
// frees them with ShadePathList_free, also on failure). 0; 1 when memory
// runs out; a path error otherwise. Types without an outline and types
// above 202 leave the path as it is and return 0. drawing may be null.
[[nodiscard]] int Shape_buildPath(EscherDrawing *drawing, Path *path, const ShapeGeom *shape,
                                  int32_t w, int32_t h, ShadePath **shades);

// The custom geometry of type 0 (properties 320-326). Builds nothing and
// returns 0 when the vertices or segments are missing or run out.
[[nodiscard]] int Shape_buildCustomPath(Path *path, const ShapeGeom *shape, int32_t w, int32_t h);

// Runs an outline table (opcode words M, L, B, C, F with 8.24 operands)
// over the box w x h into path; count is the table's word count, which
// also ends the table.
[[nodiscard]] int Shape_runOutline(Path *path, const int32_t *table, uint32_t count, int32_t w,
                                   int32_t h);

enum : uint32_t {
    ShapeSource_bounds = 0,  // the path's own bounding box
    ShapeSource_centred = 1, // (-10800, -10800)-(10800, 10800)
    ShapeSource_square = 2,  // (0, 0)-(21600, 21600)
};

// Maps a path built in another space (ShapeSource_*) onto the box w x h,
// in place. swap exchanges the source's top and bottom (a y-down outline
// into the y-up box). A source side of 0 gives a scale of 0. 0; 1 when
// memory runs out.
[[nodiscard]] int Shape_scalePath(EscherDrawing *drawing, Path *path, int32_t w, int32_t h,
                                  uint32_t source, int swap);

// Appends the arc of the ellipse inscribed in rect from the ray through
// (sx, sy) to the ray through (ex, ey), counter-clockwise with y up;
// mirrored runs it the other way round (the arc is built in the y-flipped
// space). 0 or a path error.
[[nodiscard]] int Shape_addArc(Path *path, const Rect *rect, int32_t sx, int32_t sy, int32_t ex,
                               int32_t ey, int mirrored);

// x = xs[code >> 4], y = ys[code & 15].
void Shape_pickPoint(int32_t out[2], const int32_t *xs, const int32_t *ys, uint32_t code);
// Exchanges two words.
void Int_swap(int32_t *a, int32_t *b);

// Creates a shade sub-path (a new path of scale 0x10000) at the head of
// *list and returns its path; null when memory runs out.
Path *Shape_addShadePath(ShadePath **list, uint32_t kind, uint32_t value);
// Frees the items of a list with their paths; null allowed.
void ShadePathList_free(ShadePath *list);
