// The walk over a vector path that hands each element to a callback.
//
// Every consumer of a path (stroking, bounds, scan conversion) reads it
// through this walk with a table of 16 callbacks indexed by the low 4 bits
// of the element's opcode word, so none of them decodes the buffer itself.
#pragma once

#include "graphics/path.h"

// Walks *path element by element. For each element with a callback in its
// slot (callbacks[opcode & 15]; a null slot skips the element), calls it with
// (the element's first point, user, the last point of the previous element
// or null, the first point of the current subpath or null). After an element
// without points the subpath is closed (null); after a move the subpath
// starts at its point. After the last element, when a subpath is still open
// and callbacks[0] is set, calls callbacks[0] with (null, user, last point,
// subpath start) and returns its result. A packed path (state 7) goes to
// Path_walkPacked unchanged. An element whose points would run past the
// write pointer ends the walk as the end of the path does.
// Returns 0, the first non-zero callback result, or 8 (Res_nullInput) for a
// null path or table. The callbacks' pointers point into the path's buffer
// and are valid during the call only.
int Path_walk(const Path *path, const PathWalkFn *callbacks, void *user);
