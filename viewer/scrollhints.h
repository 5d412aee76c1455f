// Two small routines that the viewer and image drawing share: the page
// record's hints about its scrolled column, and the private copy of the
// scale request an image is being drawn for.
#pragma once

#include <cstdint>

struct FvViewer;

enum : uint32_t {
    ScrollHint_undecided = 2, // no column answered
};

// Resets the viewer's own page record's hints to {2, 2, 0, 0}; when the
// record has a document that its page view shows, reads the shown page's
// column flags (before, after) into the first two words. Callers ignore
// the result: 0, or the error of reading the page's key.
[[nodiscard]] int FvPage_refreshScrollHints(FvViewer *viewer);

// The scrolled-column flags of document's page (key, kind): whether its
// column has content before and after the shown part (0 or 1) into
// *before and *after. 0; Res_noSuchPage when the page has no column (the words are
// left as they were); the page list's error when the page is absent.
struct Edr_Doc;
[[nodiscard]] int Page_queryScrollHints(Edr_Doc *document, int32_t key, uint32_t kind,
                                        uint32_t *before, uint32_t *after);

// The request an image is drawn for: the target width and height in
// pixels first, seven words in all.
struct ImageScaleRequest {
    uint32_t width;
    uint32_t height;
    uint32_t words[5];
};

// Keeps a private copy of request in *field (an image frame's scale
// request): the copy is made once (zero-filled) and reused by later
// calls. Null frees the copy and clears *field. 0; 1 out of memory (*field
// unchanged).
[[nodiscard]] int Image_setScaleRequest(ImageScaleRequest **field,
                                        const ImageScaleRequest *request);
