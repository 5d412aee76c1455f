// Selection of a document.
//
// Only the services that modules built before the selection call are
// declared here so far.
#pragma once

struct Edr_Selection;

// Frees a selection (null allowed).
void Edr_Sel_free(Edr_Selection *selection);
