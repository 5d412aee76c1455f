// The coverage table: how the fraction of a pixel that a shape covers
// becomes the weight its colour is drawn with.
//
// The engine context holds a 256-byte copy, made at start-up, that the
// draw item hands to every emitter. The curve is 0 at 0 and 255 at 255,
// jumps to 32 for the faintest edge pixel and to 223 for the strongest,
// rises by steps of 0 or 1 in between, equals the coverage itself around
// the middle (125 to 130), and is symmetric: entry 255 - i is 255 - entry
// i. Edges thus look a little crisper than a straight line would draw
// them, and a pixel half covered by each of two shapes gets half of each.
#pragma once

#include <cstdint>

enum : uint32_t {
    Coverage_tableSize = 256,
};

// The constant curve (256 bytes, read-only, lives for the program).
const uint8_t *Coverage_curve();
