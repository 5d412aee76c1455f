// Colour output of the JPEG decoder: turns rows of decoded JPEG components
// into the screen's 16-bit 5-6-5 pixels, or into 8-bit grey.
//
// The decoding library is asked for the components as they are stored
// (grey, RGB, YCbCr, CMYK or YCCK, interleaved per pixel) and this stage
// converts them, so that the engine decides the rounding and the ink
// conventions itself. Colour spaces 1 to 5 are the library's codes; 10 and
// 11 are the engine's own for YCCK and CMYK data stored without the
// inversion that codes 5 and 4 assume (a document declared the data as
// CMYK). They never reach the library, whose extended codes reuse 10 and 11.
#pragma once

#include <cstdint>

enum : int32_t {
    JpegSpace_grey = 1,
    JpegSpace_rgb = 2,
    JpegSpace_ycc = 3,
    JpegSpace_cmyk = 4, // inverted inks (255 = no ink), as Adobe files store them
    JpegSpace_ycck = 5, // inverted YCCK
    JpegSpace_ycckPlain = 10,
    JpegSpace_cmykPlain = 11,
};

// What the stage writes.
enum : int32_t {
    JpegOut_grey = 0, // 8-bit grey: the first component
    JpegOut_565 = 1,  // 16-bit 5-6-5 pixels (formats 2 and 4)
    JpegOut_same = 2, // the components as they came, interleaved
};

// Converts n pixels of interleaved components into out.
typedef void (*JpegColourFn)(const uint8_t *in, void *out, uint32_t n, uint32_t components);

struct JpegColour {
    int32_t space;         // JpegSpace_*
    int32_t output;        // JpegOut_*
    int32_t inComponents;  // components per input pixel
    int32_t outComponents; // bytes per output pixel (2 for 5-6-5)
    JpegColourFn convert;
};

// Chooses the routine for space and output. 0; Res_notImplemented for a pair it
// has no routine for, or a component count that does not fit the space (the
// decoder then fails through the library's "conversion not implemented" error).
// *colour is filled either way (convert null on failure).
[[nodiscard]] int JpegColour_init(JpegColour *colour, int32_t space, int32_t inComponents,
                                  int32_t output);

// The 5-6-5 routines of each colour space (in: components per pixel).
void JpegColour_ycc565(const uint8_t *in, void *out, uint32_t n, uint32_t components);
void JpegColour_grey565(const uint8_t *in, void *out, uint32_t n, uint32_t components);
void JpegColour_rgb565(const uint8_t *in, void *out, uint32_t n, uint32_t components);
void JpegColour_cmyk565(const uint8_t *in, void *out, uint32_t n, uint32_t components);
void JpegColour_cmykPlain565(const uint8_t *in, void *out, uint32_t n, uint32_t components);
void JpegColour_ycck565(const uint8_t *in, void *out, uint32_t n, uint32_t components);
void JpegColour_ycckPlain565(const uint8_t *in, void *out, uint32_t n, uint32_t components);
