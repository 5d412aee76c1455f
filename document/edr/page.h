// The page list of a document: laid-out pages published by key, and the
// window of loaded pages around the current one.
//
// Only the services that modules built before the page list call are
// declared here so far; document/interim.cpp holds interim definitions.
#pragma once

#include <cstdint>

struct Edr_Doc;

// Moves the page window to the current index (documents with the start
// flag only): pages leaving it are unloaded and pages entering it loaded
// through the page hook. 0 or the first hook error.
int Edr_Page_updateWindow(Edr_Doc *doc, int32_t current);
