// The path walker: one pass over the opcode words of a plain path, calling
// the callback of each element's opcode with pointers into the buffer.
#include "graphics/pathwalk.h"

#include <cstddef>

#include "core/result.h"

int Path_walk(const Path *path, const PathWalkFn *callbacks, void *user)
{
    if (path == nullptr || callbacks == nullptr)
        return Res_nullInput;
    if (path->state == Path_statePacked)
        return Path_walkPacked(path, callbacks, user);

    const int32_t *word = path->buffer;
    const int32_t *end = path->write;
    const int32_t *last = nullptr;
    const int32_t *subpath = nullptr;
    while (word != nullptr && word < end) {
        uint32_t op = static_cast<uint32_t>(*word);
        ptrdiff_t points = op & 3;
        const int32_t *first = word + 1;
        // A damaged path whose last element lacks some of its points: stop
        // before it rather than read past the words in use.
        if (end - first < 2 * points)
            break;
        PathWalkFn fn = callbacks[op & 15];
        if (fn != nullptr) {
            int result = fn(first, user, last, subpath);
            if (result != 0)
                return result;
        }
        if (points == 0) {
            // A close (or any element without points) ends the subpath; the
            // last point stays the one before it.
            subpath = nullptr;
        } else {
            last = first + 2 * (points - 1);
            if (op & Path_opMoveBit)
                subpath = first;
        }
        word = first + 2 * points;
    }
    if (callbacks[0] != nullptr && subpath != nullptr)
        return callbacks[0](nullptr, user, last, subpath);
    return Res_ok;
}
