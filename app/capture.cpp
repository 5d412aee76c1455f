// Screen captures: the viewer's RGB565 frame copied or converted into the
// host's buffer under the screen's lock.
//
// The frame is w x h pixels in rows of Screen_rowBytes(w, 2) bytes. The
// formats that report the even-rounded W x H fill their padding column
// and row from the frame's last pixel and row: the converters are given
// the frame's own size and pitch, so they never read past it, and the
// rows they leave for an odd height are copied here.
#include "app/capture.h"

#include <cstring>

#include "graphics/pixelbuf.h"
#include "platform/api/app.h"
#include "platform/api/appqueue.h"
#include "platform/api/pixel.h"
#include "graphics/ycbcr.h"
#include "viewer/screen/screen.h"
#include "viewer/viewer.h"

namespace {

// The bytes a format needs for a w x h frame (W, H rounded up to even);
// 0 for a code that writes nothing.
size_t neededBytes(int32_t format, size_t w, size_t h)
{
    size_t W = w + (w & 1), H = h + (h & 1);
    switch (format) {
    case Capture_rgb565: return W * H * 2;
    case Capture_ycc32: return w * h * 4;
    case Capture_ycc420: return W * H + W * H / 2;
    case Capture_ycc422Planar: return W * H * 2;
    case Capture_ycc422Packed: return W * H * 2;
    default: return 0;
    }
}

// The raw copy: each row padded with its last pixel, an odd height closed
// with a copy of the last row.
void copyPadded(const uint8_t *frame, size_t pitch, int32_t w, int32_t h, uint16_t *out)
{
    size_t W = size_t(w) + (w & 1);
    for (int32_t y = 0; y < h; y++) {
        uint16_t *row = out + size_t(y) * W;
        memcpy(row, frame + size_t(y) * pitch, size_t(w) * 2);
        if (w & 1)
            row[w] = row[w - 1];
    }
    if (h & 1)
        memcpy(out + size_t(h) * W, out + size_t(h - 1) * W, W * 2);
}

// Copies row h - 1 of a plane of rows rowBytes long to row h.
void repeatLastRow(uint8_t *plane, size_t rowBytes, int32_t h)
{
    memcpy(plane + size_t(h) * rowBytes, plane + size_t(h - 1) * rowBytes, rowBytes);
}

} // namespace

int32_t App_captureScreen(FvViewer *viewer, void *buffer, size_t size, int32_t format,
                          int32_t *width, int32_t *height)
{
    if (width)
        *width = 0;
    if (height)
        *height = 0;
    Screen *screen = viewer && viewer->screen ? ScreenBinding_screen(viewer->screen) : nullptr;
    if (!screen || !buffer || Pixel_bytesPerPixel(screen->format) != 2)
        return 0;
    Screen_lock(screen);
    int32_t w = 0, h = 0;
    void *pixels = nullptr;
    Screen_getSize(screen, &w, &h, &pixels);
    size_t needed = w > 0 && h > 0 && pixels ? neededBytes(format, size_t(w), size_t(h)) : 0;
    if (needed == 0 || size < needed) {
        Screen_unlock(screen);
        return 0;
    }
    const uint8_t *frame = static_cast<const uint8_t *>(pixels);
    const uint16_t *src = static_cast<const uint16_t *>(pixels);
    size_t pitch = Screen_rowBytes(w, 2);
    int32_t W = w + (w & 1), H = h + (h & 1);
    uint8_t *out = static_cast<uint8_t *>(buffer);
    switch (format) {
    case Capture_rgb565: copyPadded(frame, pitch, w, h, static_cast<uint16_t *>(buffer)); break;
    case Capture_ycc32:
        Pixel_rgb565ToYcc32(src, static_cast<uint32_t *>(buffer), int32_t(pitch), w, h, w * 4);
        W = w;
        H = h;
        break;
    case Capture_ycc420:
        // The 4:2:0 converter pads odd sizes itself.
        Pixel565_toYCbCr420(src, out, uint32_t(pitch), w, h);
        break;
    case Capture_ycc422Planar:
        Pixel_rgb565ToYcc422Planar(src, out, int32_t(pitch), w, h);
        if (h & 1) {
            size_t lumaBytes = size_t(W) * size_t(H);
            repeatLastRow(out, size_t(W), h);
            repeatLastRow(out + lumaBytes, size_t(W) / 2, h);
            repeatLastRow(out + lumaBytes + lumaBytes / 2, size_t(W) / 2, h);
        }
        break;
    default: // Capture_ycc422Packed
        Pixel_rgb565ToYcc422Packed(src, static_cast<uint16_t *>(buffer), int32_t(pitch), w, h,
                                   W * 2);
        if (h & 1)
            repeatLastRow(out, size_t(W) * 2, h);
        break;
    }
    Screen_unlock(screen);
    if (width)
        *width = W;
    if (height)
        *height = H;
    return int32_t(needed);
}

int App_onCaptureEvent(EngineInstance *instance, intptr_t buffer, intptr_t size, intptr_t format)
{
    FvViewer *viewer = Fv_fromApp(instance);
    if (!viewer)
        return int(size);
    CaptureReport report{};
    void *out = reinterpret_cast<void *>(buffer);
    report.bytes = App_captureScreen(viewer, out, size > 0 ? size_t(size) : 0, int32_t(format),
                                     &report.width, &report.height);
    report.buffer = out;
    App_sendRequest(instance, App_requestCapture, &report);
    return 0;
}
