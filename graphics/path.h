// Vector paths: the one container of outlines in the engine.
//
// A path is a flat, growable buffer of 32-bit words in which each element
// is an opcode word followed by its points (two words each, x then y). The
// low 2 bits of an opcode word give the number of points (0 to 3), the low
// 4 bits the element: 9 moveTo (bit 3 marks the move that starts a
// subpath), 5 lineTo, 1 hidden line, 6 quadratic curve (control point, end
// point), 7 cubic curve (two control points, end point), 4 close. Higher
// bits carry no meaning (an unpacked path keeps the packed width code in
// bits 4 to 7). The previous point of an element is the pair of words right
// before its opcode word.
//
// Packed form (state 7): the buffer holds instead a delta-coded bit stream,
// filled from the most significant bit of each word down. Each element is
// an 8-bit code (high nibble: the field width w / 4, w one of 4, 8, 12, 16,
// 24, 32, or 0 for an element without points; low nibble: the opcode),
// followed by its points as pairs of w-bit two's complement differences to
// the previous point of the stream (the first from (0, 0)). No code or
// field straddles two words: what does not fit in the rest of a word starts
// at the top of the next, the rest staying 0. A zero code ends the stream.
//
// Coordinates are signed 32-bit values in whatever unit the caller uses
// (16.16 in user space); the path operations never interpret them, and
// sums and differences wrap as 32-bit two's complement values. A path
// belongs to one owner at a time and has no lock; a packed path is
// read-only (it is expanded, walked, copied or freed).
#pragma once

#include <cstdint>

#include "core/geom/geom.h"

struct Matrix;
struct Rect;
struct Path;

// Walker callback: (the element's first point, or null for the end of an
// open subpath; the walk's user data; the last point of the previous
// element, or null; the first point of the current subpath, or null).
// A non-zero result ends the walk and is returned by it.
typedef int (*PathWalkFn)(const int32_t *points, void *user, const int32_t *last,
                          const int32_t *subpathStart);

enum : uint32_t {
    Path_opLineHidden = 1,
    Path_opClose = 4,
    Path_opLine = 5,
    Path_opQuad = 6,
    Path_opCubic = 7,
    Path_opMove = 9,
    Path_opMoveBit = 8, // set only in a move: the element starts a subpath
};

enum : uint32_t {
    Path_stateEmpty = 0,  // no current point
    Path_stateMove = 1,   // the last element is a move
    Path_stateHidden = 2, // the last element is a hidden line
    Path_stateLine = 3,   // after a line
    Path_stateQuad = 4,   // after a quadratic curve
    Path_stateCubic = 5,  // after a cubic curve
    Path_statePacked = 7, // the buffer holds the packed form
};

enum : uint32_t {
    Path_firstCapacity = 256, // words of a new path's buffer
};

struct Path {
    int32_t *write;        // next free word (one past the last element)
    int32_t *buffer;       // first word of the buffer
    int32_t *subpathStart; // first point word of the current subpath's move (null: none)
    uint32_t capacity;     // buffer size in words
    uint32_t count;        // number of elements
    int32_t scale;         // the 16.16 unit of the coordinates (carried, never read here)
    uint32_t state;        // Path_state*: 0 no current point ... 7 packed
};

// ---------------------------------------------------------- life cycle

// A new empty path (state 0, count 0) with a buffer of 256 words and the
// given scale word. 0 with *out the path (the caller frees it with
// Path_destroy); 1 when memory runs out (*out null, nothing allocated).
[[nodiscard]] int Path_create(Path **out, int32_t scale);
// Frees the path's buffer and header (null allowed).
void Path_destroy(Path *path);
// Forgets every element (state 0, count 0, no subpath); keeps the buffer.
void Path_reset(Path *path);
// Makes room for `words` more words after the write position: the capacity
// doubles (to at least 256) until it does. Re-bases write and
// subpathStart. 0; 1 when memory runs out or the buffer would pass 2^30
// words (the path is then unchanged).
[[nodiscard]] int Path_grow(Path *path, uint32_t words);

// --------------------------------------------------------------- appends
//
// Each returns 0; 1 when memory runs out (the path keeps what it had);
// 256 (Res_pathNoCurrentPoint) when an element other than a move comes
// without a current point, or when the path is packed: nothing is then
// appended.

// State 1 (the last element is a move): replaces that move's point.
// Otherwise appends a move, which becomes the subpath start; state 1.
[[nodiscard]] int Path_moveTo(Path *path, int32_t x, int32_t y);
// A line (state 3), a hidden line (state 2), a quadratic curve (state 4),
// a cubic curve (state 5).
[[nodiscard]] int Path_lineTo(Path *path, int32_t x, int32_t y);
[[nodiscard]] int Path_lineToOp1(Path *path, int32_t x, int32_t y); // the hidden line
[[nodiscard]] int Path_quadTo(Path *path, int32_t cx, int32_t cy, int32_t x, int32_t y);
[[nodiscard]] int Path_curveTo(Path *path, int32_t c1x, int32_t c1y, int32_t c2x, int32_t c2y,
                               int32_t x, int32_t y);
// Ends the subpath: without a current point nothing; after a lone move
// that move is removed; otherwise a close element is appended. State 0.
[[nodiscard]] int Path_close(Path *path);
// move (x0, y0), line (x1, y0), line (x1, y1), line (x0, y1), close;
// stops at the first error.
[[nodiscard]] int Path_addRect(Path *path, const Rect *rect);
// An arc of the ellipse inscribed in rect, counter-clockwise (y up) from
// the direction of (sx, sy) to the direction of (ex, ey) seen from the
// centre, as cubic curves of at most a quarter turn each; equal
// directions give the whole ellipse. It starts with a move when the path
// has no current point, else with a line to its first point. A flat
// ellipse (zero width or height), or a start or end point at the centre,
// gives a line (or move) to (sx, sy) and a line to (ex, ey) instead. Stops
// at the first error.
[[nodiscard]] int Path_addArc(Path *path, const Rect *rect, int32_t sx, int32_t sy, int32_t ex,
                              int32_t ey);

// ------------------------------------------------------------- queries

// 1 and *out the last point written when the path has a current point
// (states 1 to 5); 0 otherwise (also for a null path or out).
int Path_currentPoint(const Path *path, Point *out);
// The first word of the buffer.
int32_t *Path_buffer(const Path *path);
// Words in use.
uint32_t Path_wordCount(const Path *path);
// 1 when no word is in use or there is no element, else 0.
int Path_isEmpty(const Path *path);

// ------------------------------------------------------ copies and forms

// Drops a trailing lone move (state 1 becomes 0), then shrinks the buffer
// to the words in use when it is larger (a failed shrink is ignored).
void Path_trim(Path *path);
// A new path with the same header and a copy of the words in use (its
// capacity is that number, 1 for an empty path). Null when memory runs out
// or path is null.
Path *Path_clone(const Path *path);
// Bytes of the embedded form of the path: its header and its words.
uint32_t Path_embeddedBytes(const Path *path);
// Copies the header and the words in use into block, which must hold
// Path_embeddedBytes(path) bytes and be aligned for a Path; the words go
// right after the header, and the copy's buffer, write and subpathStart
// point at the same places among them; its capacity is the number of
// words copied. Used to keep a path inside another record (a cache entry,
// a document node). The path is only read; nothing fails.
void Path_embed(void *block, const Path *path);
// Makes dst's capacity hold src's words in use (ten times as many when
// src is packed, enough for its unpacked form). Nothing when src is empty
// or dst already holds that much. 0; 1 when memory runs out (dst
// unchanged).
[[nodiscard]] int Path_reserveFor(Path *dst, const Path *src);
// Drops a trailing lone move as Path_trim does, then rewrites the buffer in
// place in the packed form and shrinks it to the packed size (a failed
// shrink keeps the larger buffer); state 7, count and scale kept, no
// subpath start. A packed path is left as it is. 0; 1 when memory runs out
// (only when the packed form needs one word more than the buffer holds; the
// path is then unchanged).
[[nodiscard]] int Path_pack(Path *path);
// Writes the elements of the packed path src as plain words into dst's
// buffer (each opcode word is the element's code byte): dst gets src's
// count and scale, no subpath start and state 0. dst grows when it lacks
// room (callers normally reserve it with Path_reserveFor); src may be dst.
// Decoding stops at the zero code, at the end of src's words, or at a code
// with an impossible width. 0; 1 when memory runs out (dst unchanged); 8
// when src is not packed.
[[nodiscard]] int Path_unpackInto(Path *dst, const Path *src);
// dst becomes src with every point mapped through m: a packed src is
// unpacked into dst first; otherwise dst takes src's word count, subpath
// start position, count, scale and state. dst may be src. dst grows when
// it lacks room. 0; 1 when memory runs out (dst unchanged).
[[nodiscard]] int Path_copyTransformed(Path *dst, const Path *src, const Matrix *m);
// Copies the plain path words from first up to end into out (which may be
// first), mapping every point: x' = tx + ((a*x + c*y + 0x8000) >> 16),
// y' = ty + ((b*x + d*y + 0x8000) >> 16), products and sums in 64 bits,
// low 32 bits kept. An element whose points would run past end ends the
// copy.
void Path_transformPoints(const int32_t *first, const int32_t *end, int32_t *out, const Matrix *m);
// Adds (dx, dy) to every point of a plain path (a packed one is left as
// it is).
void Path_translate(Path *path, int32_t dx, int32_t dy);

// Walks a packed path (state 7) with the same callback convention as
// Path_walk (graphics/pathwalk.h). Returns 0 or the first non-zero
// callback result. Reads the path only.
[[nodiscard]] int Path_walkPacked(const Path *path, const PathWalkFn *callbacks, void *user);
