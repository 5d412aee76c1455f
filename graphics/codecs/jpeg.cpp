// The JPEG decoder over the IJG library (interface version 62).
//
// Three managers of the library are the engine's own: the source manager
// lends the library the byte stream's buffered window directly, the error
// manager leaves the library through the engine's non-local exit, and the
// memory manager takes the library's working memory (including the whole-
// image coefficient arrays of progressive files) from the engine heap. The
// library is asked for the components as stored; the decode table and the
// conversion to 5-6-5 pixels are done here (graphics/codecs/jpegcolour.h).
#include "graphics/codecs/jpeg.h"

#include <jerror.h>

#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "core/task/task.h"
#include "core/text/fmt.h"
#include "graphics/codecs/jpegcolour.h"
#include "graphics/imagecodec.h"
#include "graphics/imageconv.h"
#include "graphics/orient.h"
#include "graphics/pixelbuf.h"

namespace {

// ------------------------------------------------------------ errors

JpegErrorManager *errorsOf(j_common_ptr cinfo)
{
    return reinterpret_cast<JpegErrorManager *>(cinfo->err);
}

// Ends the library call in progress through the error manager's exit.
[[noreturn]] void libraryFail(j_common_ptr cinfo, int code)
{
    cinfo->err->msg_code = code;
    cinfo->err->error_exit(cinfo);
    // Every error exit leaves; one that returned would continue on broken state.
    Std_abort();
}

void errFormat(j_common_ptr cinfo, char *buffer)
{
    int code = cinfo->err ? cinfo->err->msg_code : -1;
    Fmt_snprintf(buffer, JMSG_LENGTH_MAX, "JPEG error %d", code);
}

// Formats the message and shows it nowhere: the engine has no console.
void errOutput(j_common_ptr cinfo)
{
    JpegErrorManager *e = errorsOf(cinfo);
    cinfo->err->format_message(cinfo, e->message);
}

void errEmit(j_common_ptr cinfo, int level)
{
    jpeg_error_mgr *err = cinfo->err;
    if (level < 0) {
        if (err->msg_code == JWRN_HIT_MARKER || err->msg_code == JWRN_JPEG_EOF)
            errorsOf(cinfo)->dataShort = 1;
        if (err->num_warnings == 0 || err->trace_level >= 3)
            err->output_message(cinfo);
        err->num_warnings++;
    } else if (err->trace_level >= level) {
        err->output_message(cinfo);
    }
}

void errReset(j_common_ptr cinfo)
{
    errorsOf(cinfo)->dataShort = 0;
    cinfo->err->num_warnings = 0;
    cinfo->err->msg_code = 0;
}

void errExitFatal(j_common_ptr cinfo)
{
    cinfo->err->output_message(cinfo);
    jpeg_destroy(cinfo);
    Std_abort();
}

// The codec's error exit: back to the decoder's Jmp_set.
void errExitJump(j_common_ptr cinfo)
{
    Jmp_long(errorsOf(cinfo)->jump, 1);
}

// ------------------------------------------------------ memory manager
// Every block comes from the engine heap, 64-byte aligned and rounded up
// to 64 bytes as the library's vector code expects, linked into its pool.
// Virtual arrays are always held whole in memory.

constexpr uint64_t memAlign = 64;
constexpr uint64_t memLimit = uint64_t(1) << 40; // beyond any heap: fails as out of memory

struct MemBlock {
    MemBlock *next;
};

struct MemVirtual {
    MemVirtual *next;
    void **rows; // null until realised
    uint32_t rowCount;
    uint32_t rowBytes; // bytes per row as requested (before rounding)
    uint32_t maxAccess;
    uint32_t isBlocks;
};

struct JpegMemory {
    jpeg_memory_mgr pub;
    jpeg_memory_mgr *library; // the library's own manager: it holds what creation made
    MemBlock *pools[JPOOL_NUMPOOLS];
    MemVirtual *virtuals;
};

JpegMemory *memoryOf(j_common_ptr cinfo)
{
    return reinterpret_cast<JpegMemory *>(cinfo->mem);
}

uint64_t roundUp(uint64_t n)
{
    return (n + memAlign - 1) & ~(memAlign - 1);
}

void *memAllocate(j_common_ptr cinfo, int pool, uint64_t size)
{
    if (pool < 0 || pool >= JPOOL_NUMPOOLS)
        libraryFail(cinfo, JERR_BAD_POOL_ID);
    if (size > memLimit)
        libraryFail(cinfo, JERR_OUT_OF_MEMORY);
    // Room for the link and for moving the block up to the alignment.
    uint8_t *raw = static_cast<uint8_t *>(Mem_malloc(size_t(roundUp(size) + 2 * memAlign)));
    if (!raw)
        libraryFail(cinfo, JERR_OUT_OF_MEMORY);
    JpegMemory *m = memoryOf(cinfo);
    MemBlock *block = reinterpret_cast<MemBlock *>(raw);
    block->next = m->pools[pool];
    m->pools[pool] = block;
    uintptr_t user = (reinterpret_cast<uintptr_t>(raw) + sizeof(MemBlock) + memAlign - 1) &
                     ~uintptr_t(memAlign - 1);
    return reinterpret_cast<void *>(user);
}

void *memAllocSmall(j_common_ptr cinfo, int pool, size_t size)
{
    return memAllocate(cinfo, pool, size);
}

// numRows rows of rowBytes each (rounded up), one block, with their
// pointer array.
void **memAllocRows(j_common_ptr cinfo, int pool, uint64_t rowBytes, uint64_t numRows)
{
    uint64_t stride = roundUp(rowBytes);
    if (numRows > memLimit / (stride ? stride : 1))
        libraryFail(cinfo, JERR_OUT_OF_MEMORY);
    void **rows = static_cast<void **>(memAllocate(cinfo, pool, numRows * sizeof(void *)));
    uint8_t *data = static_cast<uint8_t *>(memAllocate(cinfo, pool, stride * numRows));
    for (uint64_t i = 0; i < numRows; i++)
        rows[i] = data + i * stride;
    return rows;
}

JSAMPARRAY memAllocSarray(j_common_ptr cinfo, int pool, JDIMENSION samplesPerRow,
                          JDIMENSION numRows)
{
    return reinterpret_cast<JSAMPARRAY>(
        memAllocRows(cinfo, pool, uint64_t(samplesPerRow) * sizeof(JSAMPLE), numRows));
}

JBLOCKARRAY memAllocBarray(j_common_ptr cinfo, int pool, JDIMENSION blocksPerRow,
                           JDIMENSION numRows)
{
    return reinterpret_cast<JBLOCKARRAY>(
        memAllocRows(cinfo, pool, uint64_t(blocksPerRow) * sizeof(JBLOCK), numRows));
}

MemVirtual *memRequest(j_common_ptr cinfo, int pool, uint64_t rowBytes, JDIMENSION numRows,
                       JDIMENSION maxAccess, uint32_t isBlocks)
{
    if (pool != JPOOL_IMAGE)
        libraryFail(cinfo, JERR_BAD_POOL_ID);
    if (rowBytes > UINT32_MAX)
        libraryFail(cinfo, JERR_OUT_OF_MEMORY);
    MemVirtual *v = static_cast<MemVirtual *>(memAllocate(cinfo, pool, sizeof(MemVirtual)));
    JpegMemory *m = memoryOf(cinfo);
    *v = MemVirtual{m->virtuals, nullptr, numRows, uint32_t(rowBytes), maxAccess, isBlocks};
    m->virtuals = v;
    return v;
}

jvirt_sarray_ptr memRequestSarray(j_common_ptr cinfo, int pool, boolean, JDIMENSION samplesPerRow,
                                  JDIMENSION numRows, JDIMENSION maxAccess)
{
    return reinterpret_cast<jvirt_sarray_ptr>(
        memRequest(cinfo, pool, samplesPerRow, numRows, maxAccess, 0));
}

jvirt_barray_ptr memRequestBarray(j_common_ptr cinfo, int pool, boolean, JDIMENSION blocksPerRow,
                                  JDIMENSION numRows, JDIMENSION maxAccess)
{
    return reinterpret_cast<jvirt_barray_ptr>(
        memRequest(cinfo, pool, uint64_t(blocksPerRow) * sizeof(JBLOCK), numRows, maxAccess, 1));
}

// Every array is made whole and cleared, whether or not the library asked
// for zeroed rows: no row is ever read uninitialised.
void memRealize(j_common_ptr cinfo)
{
    for (MemVirtual *v = memoryOf(cinfo)->virtuals; v; v = v->next) {
        if (v->rows || v->rowCount == 0)
            continue;
        v->rows = memAllocRows(cinfo, JPOOL_IMAGE, v->rowBytes, v->rowCount);
        memset(v->rows[0], 0, size_t(roundUp(v->rowBytes) * v->rowCount));
    }
}

void **memAccess(j_common_ptr cinfo, MemVirtual *v, JDIMENSION startRow, JDIMENSION numRows)
{
    if (!v->rows || uint64_t(startRow) + numRows > v->rowCount || numRows > v->maxAccess)
        libraryFail(cinfo, JERR_BAD_VIRTUAL_ACCESS);
    return v->rows + startRow;
}

JSAMPARRAY memAccessSarray(j_common_ptr cinfo, jvirt_sarray_ptr ptr, JDIMENSION startRow,
                           JDIMENSION numRows, boolean)
{
    return reinterpret_cast<JSAMPARRAY>(
        memAccess(cinfo, reinterpret_cast<MemVirtual *>(ptr), startRow, numRows));
}

JBLOCKARRAY memAccessBarray(j_common_ptr cinfo, jvirt_barray_ptr ptr, JDIMENSION startRow,
                            JDIMENSION numRows, boolean)
{
    return reinterpret_cast<JBLOCKARRAY>(
        memAccess(cinfo, reinterpret_cast<MemVirtual *>(ptr), startRow, numRows));
}

void memFreeBlocks(JpegMemory *m, int pool)
{
    MemBlock *b = m->pools[pool];
    while (b) {
        MemBlock *next = b->next;
        Mem_free(b);
        b = next;
    }
    m->pools[pool] = nullptr;
    if (pool == JPOOL_IMAGE)
        m->virtuals = nullptr;
}

void memFreePool(j_common_ptr cinfo, int pool)
{
    if (pool < 0 || pool >= JPOOL_NUMPOOLS)
        libraryFail(cinfo, JERR_BAD_POOL_ID);
    memFreeBlocks(memoryOf(cinfo), pool);
}

// Frees every pool, then hands the object back to the library's manager,
// which frees what creation made and itself.
void memSelfDestruct(j_common_ptr cinfo)
{
    JpegMemory *m = memoryOf(cinfo);
    for (int pool = JPOOL_NUMPOOLS - 1; pool >= JPOOL_PERMANENT; pool--)
        memFreeBlocks(m, pool);
    cinfo->mem = m->library;
    if (cinfo->mem)
        cinfo->mem->self_destruct(cinfo);
}

// Puts m in place of the library's memory manager of a created object.
void memInstall(JpegMemory *m, j_common_ptr cinfo)
{
    memset(m, 0, sizeof(*m));
    m->library = cinfo->mem;
    m->pub.alloc_small = memAllocSmall;
    m->pub.alloc_large = memAllocSmall;
    m->pub.alloc_sarray = memAllocSarray;
    m->pub.alloc_barray = memAllocBarray;
    m->pub.request_virt_sarray = memRequestSarray;
    m->pub.request_virt_barray = memRequestBarray;
    m->pub.realize_virt_arrays = memRealize;
    m->pub.access_virt_sarray = memAccessSarray;
    m->pub.access_virt_barray = memAccessBarray;
    m->pub.free_pool = memFreePool;
    m->pub.self_destruct = memSelfDestruct;
    m->pub.max_memory_to_use = m->library ? m->library->max_memory_to_use : 0;
    m->pub.max_alloc_chunk = 1000000000L;
    cinfo->mem = &m->pub;
}

// ------------------------------------------------------ source manager

constexpr JOCTET endOfImage[2] = {0xFF, 0xD9};

JpegSource *sourceOf(j_decompress_ptr cinfo)
{
    return reinterpret_cast<JpegSource *>(cinfo->src);
}

void srcInit(j_decompress_ptr cinfo)
{
    JpegSource *s = sourceOf(cinfo);
    s->handedOut = 0;
    s->lentFiller = 0;
}

// Takes from the stream what the library consumed of the lent bytes.
void srcGiveBack(JpegSource *s)
{
    if (s->stream && !s->lentFiller && s->handedOut)
        s->stream->readPtr += s->handedOut - std::min(s->handedOut, s->pub.bytes_in_buffer);
    s->handedOut = 0;
    s->lentFiller = 0;
    s->pub.bytes_in_buffer = 0;
    s->pub.next_input_byte = nullptr;
}

void srcTerm(j_decompress_ptr cinfo)
{
    (void)JpegSrc_sync(cinfo);
}

// Reports the rows written since the last report. 0 or the store's error.
int reportRows(JpegSource *s)
{
    if (!s->image || s->lowRow > s->highRow)
        return Res_ok;
    int r = ImageDec_rowsDone(s->image, 0, s->lowRow, s->width, s->highRow - s->lowRow + 1);
    s->lowRow = INT32_MAX;
    s->highRow = -1;
    return r;
}

[[noreturn]] void srcFail(j_decompress_ptr cinfo, int code)
{
    sourceOf(cinfo)->error = code;
    libraryFail(reinterpret_cast<j_common_ptr>(cinfo), JERR_FILE_READ);
}

} // namespace

void JpegErr_init(JpegErrorManager *err)
{
    memset(&err->pub, 0, sizeof(err->pub));
    err->pub.error_exit = errExitFatal;
    err->pub.emit_message = errEmit;
    err->pub.output_message = errOutput;
    err->pub.format_message = errFormat;
    err->pub.reset_error_mgr = errReset;
    err->message[0] = 0;
    err->dataShort = 0;
}

void JpegSrc_install(j_decompress_ptr cinfo, JpegSource *src, ByteStream *stream,
                     ImageObject *image)
{
    memset(src, 0, sizeof(*src));
    src->stream = stream;
    src->image = image;
    src->lowRow = INT32_MAX;
    src->highRow = -1;
    src->pub.init_source = srcInit;
    src->pub.fill_input_buffer = JpegSrc_fill;
    src->pub.skip_input_data = JpegSrc_skip;
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = srcTerm;
    cinfo->src = &src->pub;
}

boolean JpegSrc_fill(j_decompress_ptr cinfo)
{
    JpegSource *s = sourceOf(cinfo);
    ByteStream *stream = s->stream;
    if (!s->lentFiller)
        stream->readPtr += s->handedOut;
    s->handedOut = 0;
    s->lentFiller = 0;
    int r = reportRows(s);
    if (r != Res_ok)
        srcFail(cinfo, r);
    int64_t available = stream->end - stream->readPtr;
    if (available <= 0)
        available = ByteStream_available(stream, 0);
    if (available <= 0) {
        int status = ByteStream_takeStatus(stream);
        if (status != Res_ok)
            srcFail(cinfo, status);
        s->pub.next_input_byte = endOfImage;
        s->pub.bytes_in_buffer = sizeof(endOfImage);
        s->lentFiller = 1;
        return TRUE;
    }
    size_t lend = size_t(std::min<int64_t>(available, JpegSrc_maxLend));
    s->pub.next_input_byte = stream->readPtr;
    s->pub.bytes_in_buffer = lend;
    s->handedOut = lend;
    return TRUE;
}

void JpegSrc_skip(j_decompress_ptr cinfo, long n)
{
    JpegSource *s = sourceOf(cinfo);
    if (n <= 0)
        return;
    size_t left = size_t(n);
    while (left > s->pub.bytes_in_buffer) {
        left -= s->pub.bytes_in_buffer;
        s->pub.next_input_byte += s->pub.bytes_in_buffer;
        s->pub.bytes_in_buffer = 0;
        (void)JpegSrc_fill(cinfo);
        // At the end of the data the end-of-image marker stays to be read.
        if (s->lentFiller)
            return;
    }
    s->pub.next_input_byte += left;
    s->pub.bytes_in_buffer -= left;
}

uint64_t JpegSrc_sync(j_decompress_ptr cinfo)
{
    JpegSource *s = sourceOf(cinfo);
    srcGiveBack(s);
    uint64_t position = 0;
    if (!s->stream || ByteStream_control(s->stream, ByteStream_opPosition, &position) != Res_ok)
        position = 0;
    return position;
}

void JpegSrc_mapRows(j_decompress_ptr cinfo, JSAMPARRAY rows, uint32_t first, uint32_t count)
{
    JpegSource *s = sourceOf(cinfo);
    uint32_t components = uint32_t(cinfo->output_components);
    if (!s->map || s->mapComponents < 1 || uint32_t(s->mapComponents) != components)
        return;
    uint32_t width = cinfo->output_width;
    for (uint32_t r = first; r < first + count; r++) {
        JSAMPROW row = rows[r];
        for (uint32_t x = 0; x < width; x++, row += components)
            for (uint32_t c = 0; c < components; c++)
                row[c] = s->map[c * 256 + row[c]];
    }
}

int32_t Jpeg_resolution(const jpeg_decompress_struct *cinfo)
{
    if (cinfo->density_unit == 1 && (cinfo->X_density > 1 || cinfo->Y_density > 1))
        return cinfo->X_density;
    if (cinfo->density_unit == 2)
        return int32_t(uint32_t(cinfo->X_density) * 254 / 100);
    return 72;
}

int32_t Jpeg_exifOrientation(const uint8_t *data, uint32_t length)
{
    // "Exif\0\0", then a TIFF header: byte order, 42, the first directory's
    // offset (from the TIFF header); a directory is a count and 12-byte
    // entries {tag, type, count, value}.
    if (!data || length < 6 + 8 || memcmp(data, "Exif\0\0", 6) != 0)
        return 1;
    const uint8_t *t = data + 6;
    uint32_t size = length - 6;
    bool big = t[0] == 'M' && t[1] == 'M';
    if (!big && !(t[0] == 'I' && t[1] == 'I'))
        return 1;
    auto u16 = [&](uint32_t at) { return uint32_t(Bytes_peekU16(t + at, big)); };
    auto u32 = [&](uint32_t at) { return Bytes_peekU32(t + at, big); };
    if (u16(2) != 42)
        return 1;
    uint32_t dir = u32(4);
    if (dir < 8 || dir > size - 2)
        return 1;
    uint32_t count = u16(dir);
    for (uint32_t i = 0; i < count; i++) {
        uint32_t entry = dir + 2 + 12 * i;
        if (uint64_t(entry) + 12 > size)
            return 1;
        // The orientation is one SHORT, held in the entry's value field.
        if (u16(entry) == 0x0112) {
            if (u16(entry + 2) != 3 || u32(entry + 4) != 1)
                return 1;
            uint32_t v = u16(entry + 8);
            return v >= 1 && v <= 8 ? int32_t(v) : 1;
        }
    }
    return 1;
}

int Jpeg_recognise(int32_t *score, ImageHook, void *, const uint8_t *bytes, uint32_t count,
                   uint32_t flags)
{
    *score = 0;
    if ((flags & ImageDec_flagRecognise) && count >= 11 && bytes[0] == 0xFF && bytes[1] == 0xD8 &&
        bytes[2] == 0xFF)
        *score = 100;
    return Res_ok;
}

// ------------------------------------------------------------ decoding

namespace {

// The state of one readHeader or decode call, on the caller's stack.
struct JpegDecodeState {
    jpeg_decompress_struct cinfo;
    JpegErrorManager err;
    JpegSource src;
    JpegMemory memory;
    ImageObject *image;
    const ImageCodecParams *params;
    uint8_t *table; // the decode table (tableComponents x 256)
    int32_t tableComponents;
    int32_t space; // the colour space converted from (engine codes)
    JpegColour colour;
    JSAMPARRAY line; // lineRows rows of components
    PixelBuf *bandPicture, *bandMask;
    int32_t bandFirst, bandRows, bandNext;
    int32_t withMask;
    ImageHook hook; // the owner's hook (null: none)
    void *hookArg;
    JDIMENSION alikeFrom; // output row from which all rows are alike (0: not known)
    int32_t orientation;  // EXIF orientation applied (1: rows as stored)
    PixelBuf *whole;      // the picture as stored, while it is being turned
};

// Progressive scans shown one by one at most; the rest are read at once
// and shown with the last, so that a file of very many scans cannot
// multiply the work without end.
constexpr int32_t maxShownScans = 16;

// Rows read from the library per call at most (a band's worth).
constexpr int32_t lineRows = 8;

int32_t componentsOf(int32_t space)
{
    switch (space) {
    case JCS_GRAYSCALE: return 1;
    case JCS_RGB:
    case JCS_YCbCr: return 3;
    case JCS_CMYK:
    case JCS_YCCK: return 4;
    default: return 0;
    }
}

int mapError(JpegDecodeState *s)
{
    if (s->src.error)
        return s->src.error;
    return s->err.pub.msg_code == JERR_OUT_OF_MEMORY ? Res_noMemory : Res_jpegLibrary;
}

void beginState(JpegDecodeState *s, ImageObject *image, const ImageCodecParams *params)
{
    memset(s, 0, sizeof(*s));
    s->image = image;
    s->params = params;
    JpegErr_init(&s->err);
    s->err.pub.error_exit = errExitJump;
    s->cinfo.err = &s->err.pub;
}

// The orientation to apply: the first EXIF block's, unless the owner
// states the picture's width (then it places the rows as stored).
int32_t orientationOf(JpegDecodeState *s)
{
    if (s->hook) {
        int32_t size = 0;
        if (s->hook(s->hookArg, Jpeg_opOwnerWidth, nullptr, &size) == Res_ok && size > 0)
            return 1;
    }
    for (jpeg_saved_marker_ptr m = s->cinfo.marker_list; m; m = m->next) {
        if (m->marker == JPEG_APP0 + 1 && m->data_length >= 6 &&
            memcmp(m->data, "Exif\0\0", 6) == 0)
            return Jpeg_exifOrientation(m->data, m->data_length);
    }
    return 1;
}

// 1 when the orientation swaps width and height.
bool orientationTurns(int32_t orientation)
{
    return orientation >= 5;
}

// The routine that shows rows stored in orientation upright.
OrientFn orientRoutine(int32_t orientation)
{
    switch (orientation) {
    case 2: return PixelBuf_flipHorizontal;
    case 3: return PixelBuf_rotate180;
    case 4: return PixelBuf_flipVertical;
    case 5: return PixelBuf_transpose;
    case 6: return PixelBuf_rotateClockwise;
    case 7: return PixelBuf_antiTranspose;
    case 8: return PixelBuf_rotateAnticlockwise;
    default: return nullptr;
    }
}

// Publishes the output size, turned by the orientation.
int publishHeader(JpegDecodeState *s, int32_t *reduction)
{
    j_decompress_ptr c = &s->cinfo;
    int32_t w = int32_t(c->output_width), h = int32_t(c->output_height);
    if (orientationTurns(s->orientation))
        std::swap(w, h);
    // Without a density the resolution is left to the store (0).
    bool stated = (c->density_unit == 1 && (c->X_density > 1 || c->Y_density > 1)) ||
                  (c->density_unit == 2 && c->X_density > 0);
    return ImageDec_setHeader(s->image, w, h, stated ? Jpeg_resolution(c) : 0, 8, 3, reduction);
}

// Creates the decompressor with the engine's memory and source managers
// and reads the header. Library failures leave through the error exit.
void openDecoder(JpegDecodeState *s, ByteStream *stream)
{
    jpeg_create_decompress(&s->cinfo);
    memInstall(&s->memory, reinterpret_cast<j_common_ptr>(&s->cinfo));
    JpegSrc_install(&s->cinfo, &s->src, stream, s->image);
    // APP1 segments are kept for their EXIF orientation.
    jpeg_save_markers(&s->cinfo, JPEG_APP0 + 1, 0xFFFF);
    (void)jpeg_read_header(&s->cinfo, TRUE);
    s->orientation = orientationOf(s);
}

// Builds the decode table from the hook's answer to op 14. 0, 1 or the
// hook's error; no table when the hook has no answer or more pairs than a
// JPEG has components.
int readDecodeTable(JpegDecodeState *s, ImageHook hook, void *hookArg)
{
    int32_t size = 0;
    int r = hook(hookArg, Jpeg_opDecodeList, nullptr, &size);
    if (r != Res_ok || size <= 0)
        return r;
    int32_t pairs = size / int32_t(2 * sizeof(float));
    if (pairs < 1 || pairs > 4)
        return Res_ok;
    float *list = static_cast<float *>(Mem_malloc(size_t(size)));
    if (!list)
        return Res_noMemory;
    r = hook(hookArg, Jpeg_opDecodeList, list, &size);
    if (r == Res_ok) {
        s->table = static_cast<uint8_t *>(Mem_malloc(size_t(pairs) * 256));
        if (!s->table)
            r = Res_noMemory;
    }
    if (r == Res_ok) {
        s->tableComponents = pairs;
        for (int32_t c = 0; c < pairs; c++) {
            SampleDecode d{255.0f * list[2 * c], list[2 * c + 1] - list[2 * c]};
            for (int32_t v = 0; v < 256; v++) {
                float x = d.offset + float(v) * d.scale + 0.5f;
                // Written so that a NaN gives 0.
                s->table[c * 256 + v] = !(x >= 1.0f) ? 0 : x >= 255.0f ? 255 : uint8_t(x);
            }
        }
    }
    Mem_free(list);
    return r;
}

// The owner's colour hint (op 23): data declared as CMYK is read without
// the Adobe inversion. Other colour spaces are left as they are.
void applyColourHint(JpegDecodeState *s, ImageHook hook, void *hookArg)
{
    int32_t size = 0;
    if (hook(hookArg, Jpeg_opColourHint, nullptr, &size) != Res_ok || size != 4)
        return;
    int32_t value = 0;
    if (hook(hookArg, Jpeg_opColourHint, &value, &size) != Res_ok || value != 4)
        return;
    if (s->space == JCS_YCCK)
        s->space = JpegSpace_ycckPlain;
    else if (s->space == JCS_CMYK)
        s->space = JpegSpace_cmykPlain;
}

int takeBand(JpegDecodeState *s, int32_t row)
{
    PixelBuf *picture = nullptr, *mask = nullptr;
    int32_t count = 0;
    int r = Image_getRowBuffer(s->image, &picture, &mask, row, &count);
    if (r != Res_ok)
        return r;
    if (!picture || count <= 0)
        return Res_imageNoPicture;
    s->bandPicture = picture;
    s->bandMask = s->withMask ? mask : nullptr;
    s->bandFirst = row;
    s->bandRows = count;
    s->bandNext = 0;
    return Res_ok;
}

int putBand(JpegDecodeState *s)
{
    if (!s->bandPicture)
        return Res_ok;
    int r = Image_putRows(s->image, s->bandPicture, s->bandMask);
    if (s->bandNext > 0) {
        s->src.lowRow = std::min(s->src.lowRow, s->bandFirst);
        s->src.highRow = std::max(s->src.highRow, s->bandFirst + s->bandNext - 1);
    }
    s->bandPicture = s->bandMask = nullptr;
    return r;
}

// The output row from which every row of a one-scan picture decodes to the
// same pixels: its data ran short (a truncated file, or one declaring far
// more rows than its data holds), so every block after that point has zero
// coefficients. Counted from the row reached when the shortage showed, past
// the iMCU row being decoded and the next one (which the upsampling blends
// in). 0 while the data lasts, and for pictures of several scans, which
// read all their data before their first row.
JDIMENSION jpegAlikeFrom(JpegDecodeState *s)
{
    j_decompress_ptr c = &s->cinfo;
    if (!s->alikeFrom && s->err.dataShort && !jpeg_has_multiple_scans(c))
        s->alikeFrom =
            c->output_scanline + JDIMENSION(3 * c->max_v_samp_factor * c->min_DCT_scaled_size);
    return s->alikeFrom;
}

// Reads the rows of one output pass into the bands, as many at a time as
// the band has room for. Rows past jpegAlikeFrom are not decoded: each is
// the last decoded row again (the library would give the same pixels), so
// the cost is bounded by the data rather than by the declared height.
int readRows(JpegDecodeState *s)
{
    j_decompress_ptr c = &s->cinfo;
    JDIMENSION next = c->output_scanline, last = 0;
    while (next < c->output_height) {
        int32_t row = int32_t(next);
        if (!s->bandPicture) {
            int r = takeBand(s, row);
            if (r != Res_ok)
                return r;
        }
        JDIMENSION alike = jpegAlikeFrom(s);
        bool repeat = alike && next >= alike;
        JDIMENSION got;
        if (repeat) {
            // The rest of the band repeats the last decoded row.
            got = std::min(JDIMENSION(s->bandRows - s->bandNext), c->output_height - next);
        } else {
            JDIMENSION want = JDIMENSION(std::min(s->bandRows - s->bandNext, lineRows));
            got = jpeg_read_scanlines(c, s->line, want);
            if (got == 0 || got > want)
                return Res_jpegLibrary;
            JpegSrc_mapRows(c, s->line, 0, got);
            last = got - 1;
        }
        next += got;
        PixelBuf *band = s->bandPicture;
        uint32_t n = std::min<uint32_t>(c->output_width, uint32_t(band->width));
        for (JDIMENSION i = 0; i < got; i++) {
            size_t at = size_t(row - s->bandFirst) + i;
            uint8_t *to = band->pixels + at * band->stride;
            if (repeat && i > 0)
                memcpy(to, to - band->stride, size_t(n) * 2);
            else
                s->colour.convert(s->line[repeat ? last : i], to, n,
                                  uint32_t(c->output_components));
            if (s->bandMask)
                memset(s->bandMask->pixels + at * s->bandMask->stride, 255,
                       std::min<size_t>(n, size_t(s->bandMask->width)));
        }
        s->bandNext += int32_t(got);
        if (s->bandNext >= s->bandRows) {
            int r = putBand(s);
            if (r != Res_ok)
                return r;
        }
    }
    return putBand(s);
}

// Copies the upright picture into the store's bands, top to bottom.
int putUpright(JpegDecodeState *s, const PixelBuf *shown)
{
    s->src.width = shown->width;
    for (int32_t row = 0; row < shown->height;) {
        int r = takeBand(s, row);
        if (r != Res_ok)
            return r;
        PixelBuf *band = s->bandPicture;
        int32_t count = std::min(s->bandRows, shown->height - row);
        size_t bytes = size_t(std::min(shown->width, band->width)) * 2;
        for (int32_t i = 0; i < count; i++) {
            memcpy(band->pixels + size_t(i) * band->stride,
                   shown->pixels + size_t(row + i) * shown->stride, bytes);
            if (s->bandMask)
                memset(s->bandMask->pixels + size_t(i) * s->bandMask->stride, 255,
                       size_t(s->bandMask->width));
        }
        s->bandNext = count;
        r = putBand(s);
        if (r != Res_ok)
            return r;
        row += count;
    }
    return Res_ok;
}

// Decodes the rows as stored into a picture of their own, turns it upright
// and hands it to the store.
int readTurned(JpegDecodeState *s)
{
    j_decompress_ptr c = &s->cinfo;
    int r = PixelBuf_create(&s->whole, int32_t(c->output_width), int32_t(c->output_height),
                            s->params->pixelFormat, 0x10000);
    if (r != Res_ok)
        return r;
    PixelBuf *w = s->whole;
    uint32_t n = std::min<uint32_t>(c->output_width, uint32_t(w->width));
    while (c->output_scanline < c->output_height) {
        JDIMENSION row = c->output_scanline;
        JDIMENSION alike = jpegAlikeFrom(s);
        if (alike && row >= alike && row > 0) {
            // The rest repeats the last decoded row (see jpegAlikeFrom).
            for (JDIMENSION y = row; y < uint32_t(w->height); y++)
                memcpy(w->pixels + size_t(y) * w->stride, w->pixels + size_t(row - 1) * w->stride,
                       size_t(n) * 2);
            break;
        }
        JDIMENSION got = jpeg_read_scanlines(c, s->line, lineRows);
        if (got == 0 || got > JDIMENSION(lineRows))
            return Res_jpegLibrary;
        JpegSrc_mapRows(c, s->line, 0, got);
        for (JDIMENSION i = 0; i < got && row + i < uint32_t(w->height); i++)
            s->colour.convert(s->line[i], w->pixels + size_t(row + i) * w->stride, n,
                              uint32_t(c->output_components));
    }
    PixelBuf *upright = nullptr;
    r = orientRoutine(s->orientation)(w, &upright);
    if (r != Res_ok)
        return r;
    PixelBuf_destroy(s->whole);
    s->whole = nullptr;
    r = putUpright(s, upright);
    PixelBuf_destroy(upright);
    return r;
}

// Buffered-image mode: every input scan gets an output pass.
int readScans(JpegDecodeState *s)
{
    j_decompress_ptr c = &s->cinfo;
    int32_t shown = 0;
    do {
        if (++shown == maxShownScans) {
            int status;
            do
                status = jpeg_consume_input(c);
            while (status != JPEG_SUSPENDED && status != JPEG_REACHED_EOI);
        }
        (void)jpeg_start_output(c, c->input_scan_number);
        int r = readRows(s);
        if (r != Res_ok)
            return r;
        (void)jpeg_finish_output(c);
        r = reportRows(&s->src);
        if (r != Res_ok)
            return r;
    } while (!jpeg_input_complete(c));
    return Res_ok;
}

int headerGuarded(JpegDecodeState *s, ByteStream *stream)
{
    if (Jmp_set(s->err.jump))
        return mapError(s);
    openDecoder(s, stream);
    j_decompress_ptr c = &s->cinfo;
    c->out_color_space = c->jpeg_color_space;
    jpeg_calc_output_dimensions(c);
    int32_t reduction = 3;
    return publishHeader(s, &reduction);
}

int decodeGuarded(JpegDecodeState *s, ByteStream *stream)
{
    if (Jmp_set(s->err.jump))
        return mapError(s);
    const ImageCodecParams *p = s->params;
    openDecoder(s, stream);
    j_decompress_ptr c = &s->cinfo;
    s->space = c->jpeg_color_space;
    if (p->hook)
        applyColourHint(s, p->hook, p->hookArg);
    if (s->table && s->tableComponents == componentsOf(c->jpeg_color_space) &&
        s->tableComponents == c->num_components) {
        s->src.map = s->table;
        s->src.mapComponents = s->tableComponents;
    }
    // A picture to be turned is shown once it is whole.
    bool turned = s->orientation != 1;
    bool buffered = !turned && jpeg_has_multiple_scans(c) && (p->flags & ImageDec_flagAsync);
    c->buffered_image = buffered ? TRUE : FALSE;
    c->out_color_space = c->jpeg_color_space;
    jpeg_calc_output_dimensions(c);
    int32_t reduction = 3;
    int r = publishHeader(s, &reduction);
    if (r != Res_ok)
        return r;
    if (reduction > 0) {
        c->scale_num = 1;
        c->scale_denom = 1u << std::min(reduction, 3);
        jpeg_calc_output_dimensions(c);
    }
    if (JpegColour_init(&s->colour, s->space, c->out_color_components, JpegOut_565) != Res_ok)
        libraryFail(reinterpret_cast<j_common_ptr>(c), JERR_CONVERSION_NOTIMPL);
    s->withMask = buffered ? 1 : 0;
    r = Image_beginPicture(s->image, p->pixelFormat, p->maskFormat, s->withMask, 0x10000);
    if (r != Res_ok)
        return r;
    (void)jpeg_start_decompress(c);
    s->src.width = int32_t(c->output_width);
    s->line = c->mem->alloc_sarray(reinterpret_cast<j_common_ptr>(c), JPOOL_IMAGE,
                                   c->output_width * JDIMENSION(c->output_components), lineRows);
    if (turned)
        r = readTurned(s);
    else
        r = buffered ? readScans(s) : readRows(s);
    if (r != Res_ok)
        return r;
    // Rows made without the library leave it short of its last rows, which
    // it would call an error; it is dropped instead.
    if (c->output_scanline < c->output_height)
        jpeg_abort_decompress(c);
    else
        (void)jpeg_finish_decompress(c);
    ImageDec_dropMask(s->image);
    return reportRows(&s->src);
}

// Clean-up on every exit: a band still held goes to the store, the
// decompressor goes, the stream gets back what the library did not read.
void endState(JpegDecodeState *s)
{
    (void)putBand(s);
    PixelBuf_destroy(s->whole);
    s->whole = nullptr;
    jpeg_destroy_decompress(&s->cinfo);
    srcGiveBack(&s->src);
    Mem_free(s->table);
    s->table = nullptr;
}

} // namespace

int Jpeg_readHeader(EngineContext *, ByteStream *stream, ImageObject *image, ImageHook hook,
                    void *hookArg)
{
    JpegDecodeState s;
    beginState(&s, image, nullptr);
    s.hook = hook;
    s.hookArg = hookArg;
    int r = headerGuarded(&s, stream);
    endState(&s);
    return r;
}

int Jpeg_decode(EngineContext *, void *, ByteStream *stream, ImageObject *image,
                const ImageCodecParams *params)
{
    if (params->pixelFormat != Pixel_format565 && params->pixelFormat != Pixel_format565Alt)
        return Res_jpegNoConverter;
    JpegDecodeState s;
    beginState(&s, image, params);
    s.hook = params->hook;
    s.hookArg = params->hookArg;
    int r = params->hook ? readDecodeTable(&s, params->hook, params->hookArg) : Res_ok;
    if (r == Res_ok)
        r = decodeGuarded(&s, stream);
    endState(&s);
    return r;
}

namespace {

int32_t jpegTypeId()
{
    return Jpeg_typeId;
}

} // namespace

ImageCodec *Codec_jpegDescriptor()
{
    ImageCodec *codec = static_cast<ImageCodec *>(Mem_calloc(1, sizeof(ImageCodec)));
    if (!codec)
        return nullptr;
    codec->recognise = Jpeg_recognise;
    codec->readHeader = Jpeg_readHeader;
    codec->decode = Jpeg_decode;
    codec->typeId = jpegTypeId;
    return codec;
}
