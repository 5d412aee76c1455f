// Group payloads of layer lists.
//
// In payload mode each layer of a layer list carries a group record of the
// display code (a clip or transform group, say). The layer list needs only
// four things of it: a payload derived from a parent payload and an
// argument, its release, an origin that translation and transformation
// move, and the box the group covers.
#pragma once

#include <cstdint>

#include "core/geom/geom.h"
#include "core/geom/rect.h"

struct LayerPayload;

// A new payload derived from parent (null: none) and argument (null for the
// continuation of a group after a nested one ends) into *out. 0, or 1 when
// memory runs out (*out null).
[[nodiscard]] int LayerPayload_derive(const LayerPayload *parent, const void *argument,
                                      LayerPayload **out);
// Releases a payload (null allowed).
void LayerPayload_release(LayerPayload *payload);
// The payload's origin, which moves with the items of its layer.
Point *LayerPayload_origin(LayerPayload *payload);
// The box the payload's group covers.
void LayerPayload_bounds(const LayerPayload *payload, Rect *out);
