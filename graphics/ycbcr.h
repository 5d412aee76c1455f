// RGB565 frames to planar YCbCr 4:2:0, for screen copies handed to the
// host.
#pragma once

#include <cstdint>

// Converts the width x height frame of 5-6-5 pixels (rows stride bytes
// apart) into three planes back to back at destination: Y of W' x H'
// bytes, then Cb and then Cr of W' x H' / 4 bytes each, where W' and H'
// are width and height rounded up to even. Each pixel gives one Y, each
// 2 x 2 block one Cb and one Cr from the block's averaged components
// (video range: Y 16-235, chroma 16-240 around 128). An odd width repeats
// the last column, an odd height the last row. The caller checks that
// destination holds W' x H' x 3 / 2 bytes. Nothing is done for a size
// that is not positive or a null pointer.
void Pixel565_toYCbCr420(const uint16_t *source, uint8_t *destination, uint32_t stride,
                         int32_t width, int32_t height);
