// Link references {kind, document, node} of the web layer: which document
// (top-level or inside a frame) and which node a followed link or a fragment
// names, target names resolved across frames, and link stepping.
#pragma once

#include <cstddef>
#include <cstdint>

#include "document/edr/linkref.h"

struct EngineContext;
struct Edr_Doc;
struct Edr_Node;

// Flags of Link_findNth: the low 8 bits are the count; these step back.
enum : uint32_t {
    Link_stepCountMask = 0xff,
    Link_stepBack = 0x400,
    Link_stepBackAlt = 0x800,
};

// The rectangle (left, top, right, bottom) a URL fragment scrolls to, and its
// page (0). An empty name or "top" (any case) gives the document's start; a
// missing name leaves the rectangle empty; an anchor without content gives the
// next node in document order that has some. 0, Res_nullInput for a missing
// argument, or an error of the walk.
int Link_fragmentRect(Edr_Doc *doc, const char16_t *name, int32_t rect[4], int32_t *page);
// The target of following the link node: its own target attribute, else
// the document's base target ("_blank" counts as "_self"), resolved with
// Link_resolveFrameTarget; an unresolved target becomes the top-level
// reference. 0, 1 when the document has no base target (out is then the
// empty link), or an error.
int Link_fromNode(EngineContext *context, Edr_Doc *doc, Edr_Node *node, Link *out);
// Resolves an HTML target name (compared without ASCII case) seen from
// current into *out: "_self" the current document, "_blank" the top-level
// reference, "_parent" the parent document (none: the top-level
// reference), "_top" the outermost document; any other name the frame of
// that name in the application's documents, frames before inline frames
// (none: kind 0). 0 or an error.
int Link_resolveFrameTarget(EngineContext *context, Edr_Doc *current, const char16_t *name,
                            size_t length, Link *out);
// Steps through the document's links (the groups that carry a URL, in
// document order): the n-th (flags' low 8 bits) after start, or before it
// with Link_stepBack or Link_stepBackAlt; without start (or when start is
// no link) from before the first or after the last. *out gets a node
// reference and *found 1; neither when there is no such link. 0 or an
// error.
int Link_findNth(Edr_Doc *doc, Edr_Node *start, Edr_Node **out, uint32_t flags, int *found);

// The first group in document order whose name equals name, or whose id
// equals it (element, when not 0, must match too), with a node reference
// into *out (null when none). 0 or an error.
int Link_findNamed(Edr_Doc *doc, Edr_Node **out, uint32_t element, const char16_t *name,
                   size_t length);
