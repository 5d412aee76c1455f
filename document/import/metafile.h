// Metafile playback: WMF (plain, placeable and clipboard-wrapped) and EMF
// pictures held in memory are played into document nodes through the
// device context of document/import/gdi.h.
#pragma once

#include <cstdint>

#include "core/geom/rect.h"
#include "document/import/gdi.h"

struct Edr_Doc;
struct Edr_Node;

// Plays the picture into a new group node, the parent's last child. target
// is the rectangle (document units) the frame maps onto; frame (picture
// units, null: from the picture) the part shown. 0; 1 out of memory;
// 13056 a header cut short; 13059 no metafile; 13060 a malformed record;
// 13061 to 13067 the device context's errors; the document's errors.
[[nodiscard]] int Wmf_playToDoc(const uint8_t *data, uint32_t length, Edr_Doc *doc,
                                Edr_Node *parent, const Rect *target, const Rect *frame,
                                uint32_t keepAspect, GdiStyleFn callback, void *context);
// 1 when the 18 bytes at p are a WMF header this player reads.
int Wmf_isHeader(const uint8_t *p);
