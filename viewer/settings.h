// The viewer's settings at configuration: the defaults it registers, the
// font cache sizes and image subsample threshold chosen by the start
// document, the animation setting and the reserve buffers.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;
struct FvViewer;
struct Url;

enum : uint32_t {
    Fv_reserveBufferBytes = 102400,
    Fv_defaultBackground = 0x808080ff, // "FV_bgColour"
};

// Stores the viewer's registered defaults (kept when present, except the
// "eDR" ones, which are overwritten). secondApplication: only
// "Vexlan_thumbnailsMax".
void Fv_registerDefaults(FvViewer *viewer, int secondApplication);
// "DispmanthumbMaxSize": 1048 in page view (0x10000), else 4096; kept.
void Fv_setThumbMaxSizeDefault(FvViewer *viewer, int32_t mode);
// Picture documents (".bmp", ".gif", ".jpg", ".jpeg", ".png", ".wbmp", any
// case) get font path and clip-mask caches of 0, others 64 and 128.
// Nothing without a URL.
void Fv_setFontCacheSizes(FvViewer *viewer, const Url *url);
// "Image"/"subsample.threshold" from "FV_StaticSubsampleThresholdOverride"
// or the document's type and the engine's initial memory. 0.
int Fv_readSubsampleThreshold(FvViewer *viewer, const Url *url);
// The same with the memory size given (bytes; 0 unknown) and the path.
void Fv_storeSubsampleThreshold(FvViewer *viewer, const char16_t *path, size_t memoryBytes);
// "Core"/"LowMemoryAnimations" (kept): 0 when the option forbids them or
// the name contains ".gif" (any case), else 1.
void Fv_setLowMemoryAnimations(FvViewer *viewer, const char16_t *name);
// The reserve buffers: made once (a failed one stays null), freed.
void Fv_allocReserve(FvViewer *viewer);
void Fv_freeReserve(FvViewer *viewer);
