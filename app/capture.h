// Screen captures for the host: a copy of the viewer's screen in RGB565 or
// in one of the YCbCr formats (platform/api/pixel.h).
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineInstance;
struct FvViewer;

// Capture format codes, and host request 0x1000F that answers a capture
// event.
enum : int32_t {
    Capture_rgb565 = 0x10005,       // the frame as it is (W x H x 2)
    Capture_ycc32 = 0x10008,        // one 32-bit YCbCr word a pixel (w x h x 4)
    Capture_ycc420 = 0x10009,       // planar 4:2:0 (W x H x 3 / 2)
    Capture_ycc422Planar = 0x1000A, // planar 4:2:2 (W x H x 2)
    Capture_ycc422Packed = 0x1000B, // packed 4:2:2 (W x H x 2)
    App_requestCapture = 0x1000F,
};

// The record of request 0x1000F.
struct CaptureReport {
    int32_t bytes; // bytes written, 0 when nothing was
    int32_t width;
    int32_t height;
    void *buffer; // the host's buffer
};

// Copies the viewer's screen into buffer (size bytes) in the format code.
// W and H are the frame's width and height rounded up to even; odd sizes
// fill the padding column and row with copies of the last pixel and row,
// and nothing outside the frame is read. The width and height reported
// are W and H except for the 32-bit format (the frame's own). The number
// of bytes written; 0 (and *width, *height 0) for a null viewer or buffer,
// a viewer without a screen or a 16-bit frame, an unknown code (0x10006
// and 0x10007 included) or a buffer smaller than the format needs.
int32_t App_captureScreen(FvViewer *viewer, void *buffer, size_t size, int32_t format,
                          int32_t *width, int32_t *height);

// The application's capture event (event 26: buffer, buffer size, format
// code): runs the capture and sends request 0x1000F with its report. The
// request's result; the buffer size when there is no viewer.
int App_onCaptureEvent(EngineInstance *instance, intptr_t buffer, intptr_t size, intptr_t format);
