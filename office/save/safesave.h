// The safe save of office documents: a writer makes the whole file under a
// temporary name beside the target ("<target>.tmp"), and that file
// replaces the target by one rename only when the writer succeeded (its
// flush and close included). The rename replaces the target in one step,
// so the user is never left with neither file; a failed save removes the
// temporary file it made and leaves the target, and the document's own
// file when that is the target, as they were.
#pragma once

#include <cstdint>

struct EngineContext;
struct Url;

// Writes the document to output. *created is set to 1 as soon as the
// writer has made (or truncated) the output file. 0 or an error.
typedef int (*SafeSave_WriteFn)(void *argument, const Url *output, int *created);

// Runs write on the temporary name and renames the result over target.
// A temporary file that held the name before the save is not removed on
// failure (it is not the save's own). 0, 1, the writer's errors or the
// rename's.
[[nodiscard]] int SafeSave_run(EngineContext *context, const Url *target, SafeSave_WriteFn write,
                               void *argument);
