// The vector path record, as the path walker reads it.
//
// A path is a flat buffer of 32-bit words in which each element is an
// opcode word followed by its points (two words each, x then y). The low 2
// bits of an opcode word give the number of points (0 to 3), the low 4 bits
// the element: 9 moveTo (bit 3 marks the move that starts a subpath),
// 5 lineTo, 1 hidden line, 6 quadratic curve (control point, end point),
// 7 cubic curve (two control points, end point), 4 close. Higher bits carry
// no meaning. The previous point of an element is the pair of words right
// before its opcode word. In the packed state the buffer holds instead a
// delta-coded bit stream that only the packed walker reads.
#pragma once

#include <cstdint>

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
    Path_statePacked = 7, // the buffer holds the packed form
};

struct Path {
    int32_t *write;         // next free word (one past the last element)
    int32_t *buffer;        // first word of the buffer
    int32_t *subpathStart;  // first point word of the current subpath's move
    uint32_t capacity;      // buffer size in words
    uint32_t count;         // number of elements
    int32_t scale;          // the 16.16 unit of the coordinates
    uint32_t state;         // 0 no current point ... 7 packed
};

// Copies the header and the used words of a path into one block of at
// least sizeof(Path) + 4 x (write - buffer) bytes (8-byte aligned), the
// words right after the header; the copy's buffer, write and subpathStart
// point at the same places in the inline words, and its capacity is the
// number of words copied. The block belongs to the caller; the path is
// only read. Used to store a path inside another record (a cache entry, a
// document node). Cannot fail.
void Path_embed(void *block, const Path *path);

// Walks a packed path (state 7) with the same callback convention as
// Path_walk (core/geom/pathwalk.h): each element is decoded into a small
// local buffer laid out like a plain element. Returns 0 or the first
// non-zero callback result. Reads the path only.
int Path_walkPacked(const Path *path, const PathWalkFn *callbacks, void *user);

// Removes a trailing lone move from the path.
void Path_trim(Path *path);
// Bytes of the embedded form of the path: its header and its words.
uint32_t Path_embeddedBytes(const Path *path);
// Frees the path's buffer and header (null allowed).
void Path_destroy(Path *path);
