// The raw image codec of PDF images (type id 9): the samples of an image
// XObject or inline image, uncompressed or behind LZW, Flate or RunLength,
// with TIFF 2 and PNG 10-15 row predictors, turned into picture rows of
// the image store.
//
// The data have no header: the image's owner answers the codec's
// questions through the image hook, by attribute id: 1 width, 2 height,
// 5 raw data, 6 LZW, 7 Flate, 8 RunLength (each answered with size 0 or
// more when it applies), 13 fill colour (4 bytes, red in the low byte),
// 14 Decode (floats), 16 colour-key Mask (integers), 17 image mask, 18
// EarlyChange (default 1), 19 Predictor (default 1), 22 bits per
// component, 23 colour model (0 none, 1 gray, 2 RGB, 3 Indexed, 4 CMYK),
// 24 samples per pixel, 25 palette (RGB triplets). Integer answers are 4
// bytes. Errors: 9731 for parameters or data the codec cannot use, 9733
// when no input decoder applies.
#pragma once

#include <cstdint>

struct ImageCodec;

enum : int32_t {
    PdfRawImage_typeId = 9,
    PdfRawImage_opWidth = 1,
    PdfRawImage_opHeight = 2,
    PdfRawImage_opRaw = 5,
    PdfRawImage_opLzw = 6,
    PdfRawImage_opFlate = 7,
    PdfRawImage_opRunLength = 8,
    PdfRawImage_opFill = 13,
    PdfRawImage_opDecode = 14,
    PdfRawImage_opColourKey = 16,
    PdfRawImage_opImageMask = 17,
    PdfRawImage_opEarlyChange = 18,
    PdfRawImage_opPredictor = 19,
    PdfRawImage_opBits = 22,
    PdfRawImage_opColourModel = 23,
    PdfRawImage_opSamples = 24,
    PdfRawImage_opPalette = 25,
};

enum : int {
    Res_pdfImageBad = 9731, // 0x2603: image parameters or data the raw codec cannot use
};

// A new descriptor of the codec (null when memory runs out).
ImageCodec *Pdf_RawImageCodec_new();
