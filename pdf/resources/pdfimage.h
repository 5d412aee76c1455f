// PDF images: image XObjects and inline images handed to the engine's
// image store.
//
// The reader does not decode samples. It assembles the encoded data (every
// filter before the image codec's applied), and the store's decoders ask
// for what they need through a question hook: width, bits, the palette,
// the CCITT parameters and so on. The answers are worked out when the
// image is loaded, from the codec filter's "DecodeParms", the fill colour
// and the image dictionary, and kept in a holder the image owns, so that
// a decode that runs later needs nothing of the document.
#pragma once

#include <cstdint>

struct ImageHandle;
struct PdfDoc;
struct PdfLexer;
struct PdfObj;

enum : uint32_t {
    PdfImg_kindRaw = 0,
    PdfImg_kindDct = 1,
    PdfImg_kindCcitt = 2,
    PdfImg_kindLzw = 3,
    PdfImg_kindFlate = 4,
    PdfImg_kindRunLength = 5,
    PdfImg_kindJbig2 = 6,
    PdfImg_kindJpx = 7,
    PdfImg_maxDecode = 32, // Decode values kept
    PdfImg_maxKey = 32,    // colour-key Mask values kept
};

// The answers of one image.
struct PdfImgParams {
    uint32_t kind;
    uint32_t present; // bit per answer id that has a value
    int32_t ints[32]; // integer and bool answers by id
    float decode[PdfImg_maxDecode];
    uint32_t decodeCount;
    int32_t key[PdfImg_maxKey];
    uint32_t keyCount;
    uint32_t decodeColours[2];
    int32_t decodeColoursError; // the answer of id 15 when it is an error
    int32_t modelError;         // the answer of ids 23 and 24 when it is an error
    uint8_t *palette;           // owned
    uint32_t paletteSize;
    int32_t paletteError;
};

// Answers the store's question id for the holder (the hook of every
// image): size -1 when there is no answer; id 0 frees the holder.
[[nodiscard]] int Pdf_Img_queryAttribute(void *holder, int32_t id, void *value, int32_t *size);

// Loads image (an image XObject stream, or for an inline image its dictionary
// with inlineLexer the content's lexer standing after "ID") as an engine image,
// fill the colour (R | G << 8 | B << 16) image masks are painted in. 0 with the
// image and its size; Res_pdfImageEmpty for an image without data,
// Res_pdfColourModel for a colour model no decoder handles, Res_pdfSyntax for
// bad parameters, JBIG2 and JPX images 5972 too; the getters' errors.
[[nodiscard]] int Pdf_Img_load(PdfDoc *doc, PdfObj *image, PdfLexer *inlineLexer, uint32_t fill,
                               ImageHandle **out, int32_t *width, int32_t *height);
// The answers of image with the codec kind and codec parameters given (for
// tests and the loader). 0 or an error; the palette is the caller's to
// free (Pdf_Img_freeParams).
[[nodiscard]] int Pdf_Img_readParams(PdfDoc *doc, PdfObj *image, uint32_t kind, PdfObj *codecParms,
                                     uint32_t fill, PdfImgParams *out);
void Pdf_Img_freeParams(PdfImgParams *params);
// The codec kind of a codec filter name (Pdf_Stream_codecForFilter's
// names); raw for null.
uint32_t Pdf_Img_kindOf(const char *filter);
