// OfficeArt drawings: the services of the OfficeArt reader that other
// modules call. Only those needed so far are declared; office/interim.cpp
// holds interim definitions until the reader is built.
#pragma once

// One drawing of a document (a page, sheet or slide).
struct EscherDrawingGroup;

// Frees the drawing's shape entries with their property sets, client and
// tertiary bytes, its solver list and the group itself. Null does nothing.
void Escher_drawingGroupFree(EscherDrawingGroup *group);
