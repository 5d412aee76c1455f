// Records of the viewer's host requests: what the host reads of each. The
// records are lent to the host for the request only.
//
// Only the reports that the host reads are declared here so far.
#pragma once

#include <cstdint>

enum : int32_t {
    Fv_requestResized = 0x10003,   // FvResizeReport
    Fv_requestZoom = 0x10005,      // FvZoomReport
    Fv_requestViewMode = 0x14000,  // FvViewModeReport
};

// A resize of the screen: the bound screen's area in device orientation,
// the host orientation code (0x10003 to 0x10006) and 1 when it succeeded.
struct FvResizeReport {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
    int32_t orientation;
    int32_t success;
};

// The page view's zoom, 16.16.
struct FvZoomReport {
    int32_t zoom;
};

// The view mode (0x10000 pages, 0x10001 on) and the result of a change
// (1 done; 0x10000 the page cannot flow).
struct FvViewModeReport {
    int32_t mode;
    int32_t result;
};
