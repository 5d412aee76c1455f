// The JPEG decoder (codec type 7): baseline and progressive JPEG through the
// IJG library (interface version 62), with the engine's own source manager,
// error manager and memory manager, and the colour output of
// graphics/codecs/jpegcolour.h.
//
// The library is asked for the components as stored; the decoder applies
// the owner's decode table to them, converts them to 5-6-5 pixels and
// writes them into the store's row bands. Its working memory comes from the
// engine heap, so that a picture too large for the heap fails with 1 and the
// store can retry it coarser. Library failures leave the library through the
// engine's non-local exit (Jmp_set, Jmp_long), never through the fatal-error
// path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <jpeglib.h>

#include "graphics/image.h"
#include "platform/vfs/helpers.h"

struct ByteStream;
struct EngineContext;
struct ImageCodecParams;
struct ImageObject;

enum : int32_t {
    Jpeg_typeId = 7,
    JpegSrc_maxLend = 4096, // bytes lent to the library per refill
    Jpeg_opDecodeList = 14, // hook op: n (min, max) float pairs, one per component
    Jpeg_opColourHint = 23, // hook op: 4 declares the data as CMYK
    Jpeg_opOwnerWidth = 1,  // hook op: the owner's width of the picture
};

// The error manager: the library's record with the engine's methods, a
// jump buffer for the codec's error exit and room for one message.
struct JpegErrorManager {
    jpeg_error_mgr pub;
    JmpBuf jump;
    char message[JMSG_LENGTH_MAX];
    int32_t dataShort; // the compressed data ended (or met a marker) before a scan did
};

// Fills err with the engine's methods: trace level, warning count and
// message code 0, no message tables. Its error exit formats the message,
// destroys the library object and stops the engine through its fatal-error
// path; the codec replaces it with one that takes the non-local exit. The
// message formatter writes "JPEG error %d" with the message code, the
// output method formats and shows nothing.
void JpegErr_init(JpegErrorManager *err);

// The source manager: the library's record first, then the client state.
// The library reads straight from the stream's buffered window: at most
// 4096 bytes per refill, which the stream is told about at the next refill
// (or at JpegSrc_sync). At the end of the data the library gets the two
// bytes FF D9 (an end-of-image marker), so that a file cut short ends
// cleanly.
struct JpegSource {
    jpeg_source_mgr pub;
    ByteStream *stream;
    ImageObject *image;      // progress reports go here (null: none)
    size_t handedOut;        // bytes lent at the last refill, not yet taken from the stream
    int32_t lentFiller;      // the lent bytes are the end-of-image filler
    int32_t width;           // the output width, for progress reports
    int32_t lowRow, highRow; // rows written since the last report (none: low > high)
    int32_t error;           // a stream or report error met while refilling
    const uint8_t *map;      // decode table: mapComponents x 256 bytes, or null
    int32_t mapComponents;
};

// Installs src as cinfo's source manager over stream (cinfo created).
void JpegSrc_install(j_decompress_ptr cinfo, JpegSource *src, ByteStream *stream,
                     ImageObject *image);
// The refill: takes the lent bytes from the stream, reports the rows
// written since the last report, and lends the next bytes (waiting for
// data when needed) or the filler. A report error, or a stream error at
// the end, is stored in the source and ends the decode through the error
// exit with message code 36 (the library's input read error).
boolean JpegSrc_fill(j_decompress_ptr cinfo);
// Skips n bytes, refilling as often as needed; at the end of the data the
// filler stays for the library to read.
void JpegSrc_skip(j_decompress_ptr cinfo, long n);
// Gives back to the stream what the library has not consumed, clears the
// library's buffer and returns the stream position (control operation 6;
// 0 when the stream cannot tell).
uint64_t JpegSrc_sync(j_decompress_ptr cinfo);
// Replaces every sample of rows[first] .. rows[first + count - 1] (rows of
// output width x output components interleaved samples) by the decode
// table's entry for its component and value; nothing without a table or
// when the table's component count differs.
void JpegSrc_mapRows(j_decompress_ptr cinfo, JSAMPARRAY rows, uint32_t first, uint32_t count);

// The resolution of the header read into cinfo: density unit 1 (dots per
// inch) with an x or y density above 1 gives the x density; unit 2 (dots
// per cm) trunc(x density x 2.54); otherwise 72.
int32_t Jpeg_resolution(const jpeg_decompress_struct *cinfo);

// The orientation an APP1 segment's EXIF block states (data: the
// segment's payload, from "Exif\0\0"): 1 to 8 as the first image
// directory's tag 0x0112 gives it, 1 when the block is not EXIF, is cut
// short or holds no valid orientation. 1 shows the rows as stored; 3 turns
// them half round; 6 and 8 turn them a quarter clockwise and anticlockwise;
// 2, 4, 5 and 7 mirror them horizontally, vertically, about the main and
// about the other diagonal.
int32_t Jpeg_exifOrientation(const uint8_t *data, uint32_t length);

// The codec's slots (graphics/imagecodec.h): 100 when the recognition flag
// is set and at least 11 bytes start FF D8 FF; reading the header and
// publishing the size (reduction by up to 1/8 offered); decoding.
// The picture is shown upright: an EXIF orientation is applied (the size
// published is the turned one), unless the image's owner states the
// picture's width itself (its hook answers op 1, as a PDF image dictionary
// does): such an owner places the rows as stored. Results:
// 0x2301 when the wanted picture format is not a 5-6-5 format (2 or 4);
// 0x2302 for any library error but running out of memory; 1 for memory;
// the stream's or the store's error met while decoding.
int Jpeg_recognise(int32_t *score, ImageHook hook, void *hookArg, const uint8_t *bytes,
                   uint32_t count, uint32_t flags);
int Jpeg_readHeader(EngineContext *app, ByteStream *stream, ImageObject *image, ImageHook hook,
                    void *hookArg);
int Jpeg_decode(EngineContext *app, void *instance, ByteStream *stream, ImageObject *image,
                const ImageCodecParams *params);
