// Records of the viewer's host requests: what the host reads of each. The
// records are lent to the host for the request only.
#pragma once

#include <cstdint>

enum : int32_t {
    Fv_requestResized = 0x10003,       // FvResizeReport
    Fv_requestZoom = 0x10005,          // FvZoomReport
    Fv_requestViewMode = 0x14000,      // FvViewModeReport
    Fv_requestFirstContent = 0x10000,  // no record
    Fv_requestState = 0x10001,         // FvStateReport
    Fv_requestThumbnail = 0x10006,     // FvThumbnailReport
    Fv_requestFitChanged = 0x1000c,    // no record
    Fv_requestLayoutChanged = 0x1000e, // no record
    Fv_requestProgress = 0x1000d,      // FvProgressReport
    Fv_requestLimit = 0x10012,         // FvProgressReport {0, 0}
    Fv_requestStopped = 0x10019,       // no record
    Fv_requestEditState = 0x10020,     // FvEditReport
    Fv_requestLink = 0x10022,          // FvLinkReport
    Fv_requestWorkStarted = 0x10024,   // no record
    Fv_requestLoadFailed = 0x10025,    // FvLoadFailedReport, before the failed load's alert
    Fv_requestScroll = 0x10026,        // FvScrollReport
};

// Where the view stands on the current page, in screen pixels: how much of
// the page lies above the visible area's top, the page's height and the
// visible area's height (all 0 without a page). The host shows a page
// taller than the screen by screenfuls with it.
struct FvScrollReport {
    int32_t top;
    int32_t height;
    int32_t visible;
};

// Why the shown document could not be loaded, for the host to tell the
// user with the alert that follows: the translation's report kind
// (Translate_kind*: 0 no handler for the kind, 1 no data, 2 another
// failure, 3 refused, 4 aborted, 5 out of memory; -1 the open did not
// start), the result code, and the document's path as UTF-8 (null when
// it has none). Lent for the request only.
struct FvLoadFailedReport {
    int32_t kind;
    int32_t code;
    const char *path;
};

// The first display of a document: the load state (0x10000 nothing
// loaded, 0x10001 loaded with progress words, 0x10002 loaded), byte
// figures, two words of the translation, the loaded word, and the host
// encoding code of the document's character set.
struct FvStateReport {
    int32_t status;
    int32_t bytesOther;
    int32_t bytesOwn;
    int32_t reportA;
    int32_t loaded;
    int32_t reportB;
    int32_t encoding;
};

// A load percentage: {0, percent}.
struct FvProgressReport {
    int32_t zero;
    int32_t percent;
};

// A thumbnail of a loaded document: 16-bit 5-6-5 pixels.
struct FvThumbnailReport {
    const void *pixels;
    int32_t width;
    int32_t height;
    intptr_t word;        // the event's word (the page index)
    int32_t bytes;        // height x stride
    const void *document; // the page's document (or page key)
};

// The edit state of the page view (0x10000 to 0x10002) and its flag.
struct FvEditReport {
    int32_t state;
    int32_t flag;
};

// A link the viewer does not open itself: {0x1000e, URL text, 0x10000}.
struct FvLinkReport {
    int32_t kind;
    const char *urlText;
    int32_t mode;
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
