// The CCITT fax image codec (type id 5): bilevel images coded with the
// ITU-T T.4 one- and two-dimensional (Group 3) and T.6 (Group 4) fax
// codings, as PDF image objects and image masks carry them.
//
// The data have no header: the image's owner answers the codec's questions
// through the image hook (graphics/image.h), each integer answer 4 bytes:
//   op 1 columns (1728), op 2 rows (0), op 4 recognition (an answer of 0 or
//   more claims the data), op 13 a mask's paint colour (4 bytes
//   0x00RRGGBB), op 14 a mask's decode list (two floats), op 15 an image's
//   two colours (8 bytes: black, then white), op 17 stencil mask (non-zero),
//   op 26 K (below 0 T.6, 0 T.4 one-dimensional, above 0 T.4 mixed), op 27
//   end-of-line codes required (0), op 28 rows aligned to bytes (0), op 29
//   end of block marked (1), op 30 black is 1 (0), op 31 damaged rows
//   accepted (0).
// A stencil decodes into a picture of the paint colour and a mask of the bits;
// an image into an opaque two-colour picture. Rows go to the store in bands of
// 8. Errors: Res_faxNoRows for no rows, Res_faxBadData for data that cannot be
// decoded (core/result.h).
//
// The PDF importer registers the codec (FaxImage_createCodec); Fax_decode,
// the coding-level decoder, also works on its own over any byte stream.
#pragma once

#include <cstdint>

#include "graphics/image.h"

struct ByteStream;
struct EngineContext;
struct ImageCodec;
struct ImageCodecParams;
struct ImageObject;

enum : int32_t {
    FaxImage_typeId = 5,
    FaxImage_opColumns = 1,
    FaxImage_opRows = 2,
    FaxImage_opRecognise = 4,
    FaxImage_opPaint = 13,
    FaxImage_opDecode = 14,
    FaxImage_opColours = 15,
    FaxImage_opStencil = 17,
    FaxImage_opK = 26,
    FaxImage_opEndOfLine = 27,
    FaxImage_opByteAlign = 28,
    FaxImage_opEndOfBlock = 29,
    FaxImage_opBlackIs1 = 30,
    FaxImage_opDamagedRows = 31,
    Fax_defaultColumns = 1728,
};

// Receives each decoded row (columns bytes, 1 white, 0 black) with its
// index: 0 or an error, which ends the decode.
typedef int (*FaxRowWriter)(void *arg, const uint8_t *row, int32_t index);

// The two rows of a decode and where they go.
struct FaxRows {
    uint8_t *current;   // the row being decoded
    uint8_t *reference; // the row before it (all white at the start)
    int32_t columns;
    FaxRowWriter write;
    void *writeArg;
    char message[64]; // why the data could not be decoded (empty if it could)
};

// Makes both rows of columns pixels, the reference row white. 0 or 1.
[[nodiscard]] int FaxRows_init(FaxRows *rows, int32_t columns, FaxRowWriter write, void *writeArg);
void FaxRows_free(FaxRows *rows);

// Decodes rows rows from the stream's position into the row writer. K,
// endOfLine, byteAlign, endOfBlock and damagedRows are the parameters of ops 26
// to 29 and 31. 0 when every row was decoded or the data marked their end;
// Res_faxNoRows for rows (or columns) of 0 or less; Res_faxBadData for data
// that cannot be decoded (the rows written before stay written);
// Res_stopRequested when the task is asked to stop; the stream's error; the
// writer's error.
int Fax_decode(EngineContext *context, int32_t columns, int32_t rows, int32_t K, int32_t endOfLine,
               int32_t byteAlign, int32_t endOfBlock, int32_t damagedRows, ByteStream *stream,
               FaxRows *state);

// The descriptor of the codec (null when memory runs out).
ImageCodec *FaxImage_createCodec();
// 100 when the recognise flag is set, the image has a hook and op 4 has an
// answer of 0 or more; else 0. A hook error is returned.
int FaxImage_recognise(int32_t *score, ImageHook hook, void *hookArg, const uint8_t *bytes,
                       uint32_t count, uint32_t flags);
// Publishes columns x rows (72 dpi, bands of 8, colour kind 1).
int FaxImage_readHeader(EngineContext *app, ByteStream *stream, ImageObject *image, ImageHook hook,
                        void *hookArg);
int FaxImage_decode(EngineContext *app, void *instance, ByteStream *stream, ImageObject *image,
                    const ImageCodecParams *params);
