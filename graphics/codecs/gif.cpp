// The GIF codec.
#include "graphics/codecs/gif.h"

#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "graphics/animframe.h"
#include "graphics/imagecodec.h"
#include "graphics/imageconv.h"
#include "graphics/pixelbuf.h"
#include "platform/api/engine.h"

namespace {

enum : int {
    Block_image = ',',
    Block_extension = '!',
    Block_trailer = ';',
    Label_control = 0xF9,
    Label_comment = 0xFE,
    Label_application = 0xFF,
};

// The LZW work block: the prefix and suffix tables, the output stack and one row.
constexpr size_t prefixBytes = Gif_tableSize * sizeof(uint16_t);
constexpr size_t stackSize = Gif_tableSize + 1;
constexpr size_t workBytes = prefixBytes + Gif_tableSize + stackSize; // 16385

const int32_t interlaceStart[4] = {0, 4, 2, 1};
const int32_t interlaceStep[4] = {8, 8, 4, 2};
const int32_t interlaceRepeat[4] = {8, 4, 2, 1};

const GifControl defaultControl = {0, 0, -1, 0};

// The next byte, or -1 at the end of the data.
int readByte(GifDecoder *d)
{
    ByteStream *s = d->stream;
    int b;
    if (s->readPtr < s->end)
        b = *s->readPtr++;
    else
        b = s->getByte(s);
    if (b < 0)
        return -1;
    d->position++;
    return b;
}

// The error for data that ended: the stream's own status, else 0x2205.
int endedError(GifDecoder *d)
{
    int status = ByteStream_takeStatus(d->stream);
    return status != Res_ok ? status : Res_byteStreamEnded;
}

int readBytes(GifDecoder *d, uint8_t *out, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        int b = readByte(d);
        if (b < 0)
            return endedError(d);
        if (out)
            out[i] = uint8_t(b);
    }
    return Res_ok;
}

// Skips sub-blocks up to and including the zero-length one.
int skipSubBlocks(GifDecoder *d)
{
    for (;;) {
        int n = readByte(d);
        if (n < 0)
            return endedError(d);
        if (n == 0)
            return Res_ok;
        int r = readBytes(d, nullptr, size_t(n));
        if (r != Res_ok)
            return r;
    }
}

// A colour table of 2^bits entries, 3 bytes each, in a new heap block.
int readColourTable(GifDecoder *d, int32_t bits, uint8_t **table)
{
    *table = static_cast<uint8_t *>(Mem_malloc(size_t(3) << bits));
    if (!*table)
        return Res_noMemory;
    int r = readBytes(d, *table, size_t(3) << bits);
    if (r != Res_ok) {
        Mem_free(*table);
        *table = nullptr;
    }
    return r;
}

int readScreen(GifDecoder *d)
{
    uint8_t h[13];
    int r = readBytes(d, h, sizeof h);
    if (r != Res_ok)
        return r;
    if (!Gif_isSignature(h, 6))
        return Res_gifBadSignature;
    d->is89a = h[4] == '9';
    d->screenWidth = Bytes_peekU16Le(h + 6);
    d->screenHeight = Bytes_peekU16Le(h + 8);
    d->screenPacked = h[10];
    d->background = -1;
    if (d->screenPacked & 0x80) {
        d->globalBits = (d->screenPacked & 7) + 1;
        r = readColourTable(d, d->globalBits, &d->globalTable);
        if (r != Res_ok)
            return r;
    }
    d->firstFrame = d->position;
    return Res_ok;
}

void readControl(GifDecoder *d, const uint8_t *bytes, int32_t count)
{
    d->control.present = 1;
    int32_t packed = count > 0 ? bytes[0] : 0;
    d->control.delay = count > 2 ? Bytes_peekU16Le(bytes + 1) : 0;
    d->control.transparent = (packed & 1) && count > 3 ? bytes[3] : -1;
    d->control.disposal = (packed >> 2) & 7;
    if (d->control.transparent >= 0 && d->image)
        ImageDec_setTransparency(d->image, 1);
}

// The extension whose label is next (or given, for a graphic control whose
// "!" is missing).
int readExtension(GifDecoder *d, int label)
{
    if (label < 0) {
        label = readByte(d);
        if (label < 0)
            return endedError(d);
    }
    uint8_t block[256];
    if (label == Label_control) {
        int n = readByte(d);
        if (n < 0)
            return endedError(d);
        int r = readBytes(d, block, size_t(n));
        if (r != Res_ok)
            return r;
        readControl(d, block, n);
        return skipSubBlocks(d);
    }
    if (label != Label_application)
        return skipSubBlocks(d);
    int n = readByte(d);
    if (n < 0)
        return endedError(d);
    int r = readBytes(d, block, size_t(n));
    if (r != Res_ok)
        return r;
    bool looping =
        n == 11 && (!memcmp(block, "NETSCAPE2.0", 11) || !memcmp(block, "ANIMEXTS1.0", 11));
    for (;;) {
        int len = readByte(d);
        if (len < 0)
            return endedError(d);
        if (len == 0)
            return Res_ok;
        r = readBytes(d, block, size_t(len));
        if (r != Res_ok)
            return r;
        if (looping && len >= 3 && (block[0] & 7) == 1) {
            int32_t count = Bytes_peekU16Le(block + 1);
            d->loopLimit = count == 0 ? 0 : count + 1;
            if (d->maxLoops > 0 && (d->loopLimit == 0 || d->loopLimit > d->maxLoops))
                d->loopLimit = d->maxLoops;
        }
    }
}

// Reads the image descriptor and its colour table.
int readDescriptor(GifDecoder *d)
{
    uint8_t b[9];
    int r = readBytes(d, b, sizeof b);
    if (r != Res_ok)
        return r;
    d->prevLeft = d->left;
    d->prevTop = d->top;
    d->prevWidth = d->width;
    d->prevHeight = d->height;
    ByteCursor fields = ByteCursor_make(b, sizeof b, 0);
    d->left = ByteCursor_u16(&fields);
    d->top = ByteCursor_u16(&fields);
    d->width = ByteCursor_u16(&fields);
    d->height = ByteCursor_u16(&fields);
    d->packed = ByteCursor_u8(&fields);
    if (!d->is89a && d->state == GifState_new) {
        d->screenWidth = d->width;
        d->screenHeight = d->height;
    }
    if (d->width == 0 || d->height == 0)
        return Res_gifZeroSize;
    d->interlaced = (d->packed & 0x40) && d->height >= 4;
    Mem_free(d->localTable);
    d->localTable = nullptr;
    if (d->packed & 0x80) {
        d->tableBits = (d->packed & 7) + 1;
        r = readColourTable(d, d->tableBits, &d->localTable);
        if (r != Res_ok)
            return r;
        d->table = d->localTable;
    } else {
        if (!d->globalTable)
            return Res_gifNoColourTable;
        d->table = d->globalTable;
        d->tableBits = d->globalBits;
    }
    return Res_ok;
}

void convertPalette(GifDecoder *d)
{
    uint32_t black = d->converter->toPixel(0);
    int32_t n = 1 << d->tableBits;
    for (int32_t i = 0; i < 256; i++) {
        if (i < n) {
            const uint8_t *c = d->table + 3 * i;
            d->palette[i] = d->converter->toPixel(uint32_t(c[0]) | (uint32_t(c[1]) << 8) |
                                                  (uint32_t(c[2]) << 16));
        } else {
            d->palette[i] = black;
        }
    }
}

// Writes one row of indices at screen row y from the frame's left, cut to
// the screen and the buffers.
void writeRow(GifDecoder *d, const uint8_t *indices, int32_t y)
{
    PixelBuf *p = d->picture;
    PixelBuf *m = d->mask;
    int32_t right = d->screenWidth < p->width ? d->screenWidth : p->width;
    if (y < 0 || y >= p->height || d->left >= right)
        return;
    int32_t n = d->width < right - d->left ? d->width : right - d->left;
    uint8_t *mrow = m && y < m->height ? m->pixels + size_t(y) * m->stride + d->left : nullptr;
    int32_t t = d->control.transparent;
    bool keep = t >= 0 && d->hasKept;
    uint8_t *prow = p->pixels + size_t(y) * p->stride;
    if (t < 0) {
        // No transparent index: every pixel is shown.
        if (Pixel_bytesPerPixel(p->format) == 4) {
            uint32_t *out = reinterpret_cast<uint32_t *>(prow) + d->left;
            for (int32_t x = 0; x < n; x++)
                out[x] = d->palette[indices[x]];
        } else {
            uint16_t *out = reinterpret_cast<uint16_t *>(prow) + d->left;
            for (int32_t x = 0; x < n; x++)
                out[x] = uint16_t(d->palette[indices[x]]);
        }
        if (mrow && n > 0)
            memset(mrow, 255, size_t(n));
        return;
    }
    if (Pixel_bytesPerPixel(p->format) == 4) {
        uint32_t *out = reinterpret_cast<uint32_t *>(prow) + d->left;
        for (int32_t x = 0; x < n; x++) {
            int32_t v = indices[x];
            if (v == t) {
                if (keep)
                    continue;
                if (mrow)
                    mrow[x] = 0;
                out[x] = d->palette[v];
                continue;
            }
            out[x] = d->palette[v];
            if (mrow)
                mrow[x] = 255;
        }
    } else {
        uint16_t *out = reinterpret_cast<uint16_t *>(prow) + d->left;
        for (int32_t x = 0; x < n; x++) {
            int32_t v = indices[x];
            if (v == t) {
                if (keep)
                    continue;
                if (mrow)
                    mrow[x] = 0;
                out[x] = uint16_t(d->palette[v]);
                continue;
            }
            out[x] = uint16_t(d->palette[v]);
            if (mrow)
                mrow[x] = 255;
        }
    }
}

// Places the completed row at the current frame row and moves on. 48 when
// a row report asks the decode to stop.
int placeRow(GifDecoder *d, const uint8_t *indices)
{
    int32_t y = d->row;
    int32_t rows = 1;
    if (d->interlaced && d->firstFrameDecode)
        rows = interlaceRepeat[d->pass];
    int r = Res_ok;
    if (y < d->height && y < d->screenHeight - d->top) {
        int32_t limit = d->height < d->screenHeight - d->top ? d->height : d->screenHeight - d->top;
        if (y + rows > limit)
            rows = limit - y;
        for (int32_t i = 0; i < rows; i++)
            writeRow(d, indices, d->top + y + i);
        if (d->firstFrameDecode && d->image)
            r = ImageDec_rowsDone(d->image, 0, d->top + y, d->width, rows);
    }
    d->rowsPlaced++;
    if (!d->interlaced) {
        d->row++;
        if (d->row >= d->height)
            d->frameComplete = 1;
        return r;
    }
    d->row += interlaceStep[d->pass];
    while (d->row >= d->height) {
        if (++d->pass >= 4) {
            d->frameComplete = 1;
            break;
        }
        d->row = interlaceStart[d->pass];
    }
    return r;
}

// The next code, least significant bit first across the data sub-blocks;
// the end code when they end. *error gets a read error.
int32_t readCode(GifDecoder *d, int *error)
{
    while (d->bitCount < d->codeWidth) {
        if (d->blockLeft == 0) {
            if (d->blocksEnded)
                return d->endCode;
            int n = readByte(d);
            if (n < 0) {
                *error = endedError(d);
                return d->endCode;
            }
            if (n == 0) {
                d->blocksEnded = 1;
                return d->endCode;
            }
            d->blockLeft = n;
        }
        int b = readByte(d);
        if (b < 0) {
            *error = endedError(d);
            return d->endCode;
        }
        d->blockLeft--;
        d->bitBuffer |= uint32_t(b) << d->bitCount;
        d->bitCount += 8;
    }
    int32_t code = int32_t(d->bitBuffer & ((1u << d->codeWidth) - 1));
    d->bitBuffer >>= d->codeWidth;
    d->bitCount -= d->codeWidth;
    return code;
}

// Decodes the frame's image data into its rows. A code above the next
// free one is corrupt: the frame keeps the rows decoded before it.
int lzwDecode(GifDecoder *d, uint8_t *work)
{
    int size = readByte(d);
    if (size < 0)
        return endedError(d);
    if (size < 1 || size > 9)
        return Res_gifBadCodeSize;
    if (size == 1)
        size = 2;
    uint16_t *prefix = reinterpret_cast<uint16_t *>(work);
    uint8_t *suffix = work + prefixBytes;
    uint8_t *stack = suffix + Gif_tableSize;
    uint8_t *row = stack + stackSize;
    d->codeSize = size;
    d->clearCode = 1 << size;
    d->endCode = d->clearCode + 1;
    d->codeWidth = size + 1;
    d->bitBuffer = 0;
    d->bitCount = 0;
    d->blockLeft = 0;
    d->blocksEnded = 0;
    for (int32_t i = 0; i < d->clearCode; i++) {
        prefix[i] = 0;
        suffix[i] = uint8_t(i);
    }
    int32_t next = d->clearCode + 2;
    int32_t old = -1;
    uint8_t first = 0;
    int32_t x = 0;
    int error = Res_ok;
    int result = Res_ok;
    for (;;) {
        int32_t code = readCode(d, &error);
        if (error != Res_ok)
            return error;
        if (code == d->endCode)
            break;
        if (code == d->clearCode) {
            d->codeWidth = size + 1;
            next = d->clearCode + 2;
            old = -1;
            continue;
        }
        size_t sp = 0;
        if (old < 0) {
            if (code > d->clearCode)
                break; // no string to repeat yet: corrupt
            stack[sp++] = uint8_t(code);
            first = uint8_t(code);
        } else {
            if (code > next)
                break; // corrupt: the frame ends here
            int32_t in = code;
            if (code == next) {
                stack[sp++] = first;
                code = old;
            }
            while (code >= d->clearCode && sp < stackSize - 1) {
                stack[sp++] = suffix[code];
                code = prefix[code];
            }
            first = uint8_t(code);
            stack[sp++] = first;
            if (next < Gif_tableSize) {
                prefix[next] = uint16_t(old);
                suffix[next] = first;
                next++;
                if (next == (1 << d->codeWidth) && d->codeWidth < 12)
                    d->codeWidth++;
            }
            code = in;
        }
        old = code;
        if (d->frameComplete)
            continue;
        // The whole string fits the row: copied out in one go.
        if (size_t(d->width - x) > sp) {
            while (sp > 0)
                row[x++] = stack[--sp];
            continue;
        }
        while (sp > 0) {
            row[x++] = stack[--sp];
            if (x == d->width) {
                x = 0;
                result = placeRow(d, row);
                if (result != Res_ok)
                    return result;
                if (d->frameComplete)
                    break;
            }
        }
    }
    // The rest of the data, up to the zero-length sub-block.
    if (!d->blocksEnded) {
        int r = readBytes(d, nullptr, size_t(d->blockLeft));
        if (r == Res_ok)
            r = skipSubBlocks(d);
        if (r != Res_ok)
            return r;
    }
    return Res_ok;
}

// Clears the mask where nothing is shown before the frame is drawn: all of
// it without a kept frame, the previous frame's rectangle when that frame
// is restored to the background.
void prepareMask(GifDecoder *d)
{
    PixelBuf *m = d->mask;
    if (!m)
        return;
    if (!d->hasKept) {
        for (int32_t y = 0; y < m->height; y++)
            memset(m->pixels + size_t(y) * m->stride, 0, size_t(m->width));
        return;
    }
    if (d->previous.disposal != 2)
        return;
    int32_t x0 = d->prevLeft, y0 = d->prevTop;
    int32_t x1 = std::min(x0 + d->prevWidth, std::min(d->screenWidth, m->width));
    int32_t y1 = std::min(y0 + d->prevHeight, std::min(d->screenHeight, m->height));
    for (int32_t y = y0; y < y1; y++)
        if (x1 > x0)
            memset(m->pixels + size_t(y) * m->stride + x0, 0, size_t(x1 - x0));
}

// Decodes the frame whose descriptor was read into d->picture and d->mask.
int decodeFrame(GifDecoder *d)
{
    uint32_t bytes = Pixel_bytesPerPixel(d->picture->format);
    if (bytes != 2 && bytes != 4)
        return Res_gifNoConverter;
    prepareMask(d);
    convertPalette(d);
    d->row = 0;
    d->pass = 0;
    d->rowsPlaced = 0;
    d->frameComplete = 0;
    uint8_t *work = static_cast<uint8_t *>(Mem_malloc(workBytes + size_t(d->width)));
    if (!work)
        return Res_noMemory;
    int r = lzwDecode(d, work);
    Mem_free(work);
    return r;
}

// The bookkeeping after a frame: the frame table on a low-memory first
// pass, the mask-needed flag (a frame cut short by corrupt data needs the
// mask too: its missing rows are not shown), the graphic control records.
int endFrame(GifDecoder *d)
{
    if ((d->flags & ImageDec_flagLowMemAnim) && !(d->flags & ImageDec_flagManyFrames)) {
        if (d->frameCount == d->frameCapacity) {
            int32_t cap = d->frameCapacity ? d->frameCapacity * 2 : 4;
            GifFrameEntry *grown =
                static_cast<GifFrameEntry *>(Mem_realloc(d->frames, size_t(cap) * sizeof *grown));
            if (!grown)
                return Res_noMemory;
            d->frames = grown;
            d->frameCapacity = cap;
        }
        d->frames[d->frameCount++] =
            GifFrameEntry{d->control.disposal, d->control.delay, d->position};
    }
    if (!d->frameComplete || d->control.transparent >= 0 || d->left != 0 || d->top != 0 ||
        d->width != d->screenWidth || d->height != d->screenHeight)
        d->maskNeeded = 1;
    Mem_free(d->localTable);
    d->localTable = nullptr;
    d->previous = d->control;
    d->control = defaultControl;
    return Res_ok;
}

// Copies src's pixels into dst (same size and format).
void copyPixels(const PixelBuf *src, PixelBuf *dst)
{
    size_t row = size_t(src->width) * Pixel_bytesPerPixel(src->format);
    for (int32_t y = 0; y < src->height && y < dst->height; y++)
        memcpy(dst->pixels + size_t(y) * dst->stride, src->pixels + size_t(y) * src->stride, row);
}

void dropKept(GifDecoder *d)
{
    PixelBuf_destroy(d->keptPicture);
    PixelBuf_destroy(d->keptMask);
    d->keptPicture = d->keptMask = nullptr;
    d->hasKept = 0;
    d->keptInBuffers = 0;
}

// Keeps a copy of the screen as the frame just drawn left it.
int keepFrame(GifDecoder *d)
{
    if (!d->keptPicture) {
        int r = PixelBuf_create(&d->keptPicture, d->picture->width, d->picture->height,
                                d->picture->format, 0x10000);
        if (r == Res_ok)
            r = PixelBuf_create(&d->keptMask, d->mask->width, d->mask->height, d->mask->format,
                                0x10000);
        if (r != Res_ok) {
            dropKept(d);
            return r;
        }
    }
    copyPixels(d->picture, d->keptPicture);
    copyPixels(d->mask, d->keptMask);
    d->hasKept = 1;
    return Res_ok;
}

// Reads blocks up to the next image descriptor (read, with its colour
// table): *found 1 there, 0 at the trailer, at the end of the data or at a
// stray byte. 0 or an error.
int nextImage(GifDecoder *d, int *found)
{
    *found = 0;
    for (;;) {
        int b = readByte(d);
        if (b < 0 || b == Block_trailer)
            return Res_ok;
        if (b == Block_extension) {
            int r = readExtension(d, -1);
            if (r != Res_ok)
                return r;
            continue;
        }
        if (b == Label_control) {
            int r = readExtension(d, Label_control);
            if (r != Res_ok)
                return r;
            continue;
        }
        if (b != Block_image)
            return Res_ok;
        int r = readDescriptor(d);
        *found = r == Res_ok;
        return r;
    }
}

// The first frame is decoded and a second one found: the image becomes a
// frame sequence whose frame 0 holds the first frame (the view's buffers),
// shown at time 0; the animation loop decodes the rest.
int startAnimation(GifDecoder *d, ImageObject *image, const ImageCodecParams *params)
{
    d->state = GifState_animating;
    d->pendingFrame = 1;
    int r = Anim_setupFrames(image, 1, params->pixelFormat, params->maskFormat, 3);
    if (r != Res_ok)
        return r;
    AnimFrame *first = image->freeFrames;
    image->freeFrames = first->next;
    first->next = nullptr;
    d->picture = first->picture;
    d->mask = first->mask;
    if (d->previous.disposal != 3 && d->mask) {
        r = keepFrame(d);
        if (r != Res_ok)
            return r;
    }
    Image_lockFields(image);
    Anim_queueFrame(image, first, 0, 0);
    image->moreFrames = 1;
    image->animated = 1;
    Image_unlockFields(image);
    d->timeMs = Gif_frameDuration(d->previous.delay);
    d->framesThisPass = 1;
    return Res_ok;
}

// Decodes the next frame of an animation into a free frame of the pool and
// queues it at its time: Res_imageFrameDone for a frame; 0 when the loop limit
// is reached (the image stays decoded, showing its last frame); 0x1C07 or
// 0x1C08 from the pool (the frame is decoded later); an error.
int animateNext(GifDecoder *d, ImageObject *image)
{
    for (;;) {
        if (!d->pendingFrame) {
            int found = 0;
            int r = nextImage(d, &found);
            if (r != Res_ok)
                return r;
            if (!found) {
                d->passes++;
                if (d->framesThisPass == 0 || (d->loopLimit != 0 && d->passes >= d->loopLimit)) {
                    d->state = GifState_finished;
                    Image_lockFields(image);
                    image->moreFrames = 0;
                    Image_unlockFields(image);
                    return Res_ok;
                }
                r = ByteStream_seek(d->stream, d->firstFrame);
                if (r != Res_ok)
                    return r;
                d->position = d->firstFrame;
                d->framesThisPass = 0;
                d->control = d->previous = defaultControl;
                dropKept(d);
                continue;
            }
            d->pendingFrame = 1;
        }
        AnimFrame *frame = nullptr;
        PixelBuf *picture = nullptr, *mask = nullptr;
        int r = Anim_takeFreeFrame(image, &frame, &picture, &mask);
        if (r != Res_ok)
            return r;
        d->pendingFrame = 0;
        if (d->hasKept) {
            copyPixels(d->keptPicture, picture);
            copyPixels(d->keptMask, mask);
        }
        d->picture = picture;
        d->mask = mask;
        r = decodeFrame(d);
        int32_t disposal = d->control.disposal;
        int32_t duration = Gif_frameDuration(d->control.delay);
        if (r == Res_ok)
            r = endFrame(d);
        if (r == Res_ok && disposal != 3)
            r = keepFrame(d);
        Image_lockFields(image);
        if (r == Res_ok)
            Anim_queueFrame(image, frame, int32_t(d->timeMs), d->passes);
        Anim_releaseFrame(image, frame);
        Image_unlockFields(image);
        if (r != Res_ok)
            return r;
        d->timeMs += duration;
        d->framesThisPass++;
        return Res_imageFrameDone;
    }
}

// Skips the data of the frame whose descriptor was read: the minimum code
// size byte and the data sub-blocks.
int skipFrameData(GifDecoder *d)
{
    int r = readBytes(d, nullptr, 1);
    return r == Res_ok ? skipSubBlocks(d) : r;
}

// Low-memory animation: the first frame is decoded and a second one
// found. The rest of the file is only read through to record where each
// frame ends (a frame cut short by the end of the data is left out); the
// image becomes a frame sequence showing the first frame, and each later
// frame is decoded again when it is shown (replayFrame).
int startLowMemory(GifDecoder *d, ImageObject *image, const ImageCodecParams *params)
{
    for (;;) {
        int r = skipFrameData(d);
        if (r == Res_noMemory)
            return r;
        if (r != Res_ok)
            break;
        d->frameComplete = 1;
        r = endFrame(d);
        if (r != Res_ok)
            return r;
        int found = 0;
        r = nextImage(d, &found);
        if (r == Res_noMemory)
            return r;
        if (r != Res_ok || !found)
            break;
    }
    Mem_free(d->localTable);
    d->localTable = nullptr;
    d->state = GifState_animating;
    if (d->frameCount < 2) {
        // Only the first frame is complete: a still picture.
        d->state = GifState_finished;
        return Res_ok;
    }
    int r = Anim_setupFrames(image, 1, params->pixelFormat, params->maskFormat, 3);
    if (r != Res_ok)
        return r;
    AnimFrame *first = image->freeFrames;
    image->freeFrames = first->next;
    first->next = nullptr;
    Image_lockFields(image);
    Anim_queueFrame(image, first, 0, 0);
    image->moreFrames = 1;
    image->animated = 1;
    Image_unlockFields(image);
    d->frameIndex = 0;
    d->passes = 0;
    d->timeMs = Gif_frameDuration(d->frames[0].delay);
    return Res_ok;
}

// Low-memory replay: decodes the current recorded frame into a new frame
// of the image and queues it. The frames before it are drawn first into
// the same buffers, from the first frame on; a frame restored to the
// previous one (disposal 3) leaves nothing behind, so it is skipped unless
// it is the one to show, and reading goes on from the end of the frame
// before it.
int replayFrame(GifDecoder *d, ImageObject *image)
{
    AnimFrame *frame = nullptr;
    PixelBuf *picture = nullptr, *mask = nullptr;
    int r = Anim_takeFreeFrame(image, &frame, &picture, &mask);
    if (r != Res_ok)
        return r;
    dropKept(d);
    Mem_free(d->localTable);
    d->localTable = nullptr;
    d->control = d->previous = defaultControl;
    d->picture = picture;
    d->mask = mask;
    int32_t current = std::clamp(d->frameIndex, 0, d->frameCount - 1);
    bool seek = true;
    for (int32_t i = 0; i <= current && r == Res_ok; i++) {
        if (d->frames[i].disposal == 3 && i != current) {
            seek = true;
            continue;
        }
        if (seek) {
            uint64_t position = i == 0 ? d->firstFrame : d->frames[i - 1].endPosition;
            r = ByteStream_seek(d->stream, position);
            if (r != Res_ok)
                break;
            d->position = position;
            seek = false;
        }
        int found = 0;
        r = nextImage(d, &found);
        if (r == Res_ok && !found)
            r = endedError(d);
        int32_t disposal = d->control.disposal;
        if (r == Res_ok)
            r = decodeFrame(d);
        if (r == Res_ok)
            r = endFrame(d);
        if (r == Res_ok && disposal != 3)
            d->hasKept = 1;
    }
    int32_t shownAt = int32_t(d->timeMs) - Gif_frameDuration(d->frames[current].delay);
    Image_lockFields(image);
    if (r == Res_ok)
        Anim_queueFrame(image, frame, shownAt < 0 ? 0 : shownAt, d->passes);
    Anim_releaseFrame(image, frame);
    Image_unlockFields(image);
    return r;
}

int32_t gifTypeId()
{
    return Gif_typeId;
}

} // namespace

int32_t Gif_frameDuration(int32_t delay)
{
    return delay >= 10 ? delay * 10 : Gif_shortDelayMs;
}

int Gif_isSignature(const uint8_t *bytes, uint32_t count)
{
    return count >= 6 && bytes[0] == 'G' && bytes[1] == 'I' && bytes[2] == 'F' && bytes[3] == '8' &&
           (bytes[4] == '7' || bytes[4] == '9') && bytes[5] == 'a';
}

int Gif_recognise(int32_t *score, ImageHook, void *, const uint8_t *bytes, uint32_t count,
                  uint32_t flags)
{
    *score = 0;
    if ((flags & ImageDec_flagRecognise) && bytes && Gif_isSignature(bytes, count))
        *score = 100;
    return Res_ok;
}

int Gif_createInstance(EngineContext *app, ImageObject *, uint32_t flags, void **instance)
{
    *instance = nullptr;
    GifDecoder *d = static_cast<GifDecoder *>(Mem_calloc(1, sizeof(GifDecoder)));
    if (!d)
        return Res_noMemory;
    d->state = GifState_new;
    d->loopLimit = 1;
    d->maxLoops = app && app->imageStore ? app->imageStore->maxAnimLoops : 0;
    d->control = defaultControl;
    d->previous = defaultControl;
    d->background = -1;
    d->flags = flags;
    *instance = d;
    return Res_ok;
}

void Gif_destroyInstance(ImageObject *, void *instance)
{
    GifDecoder *d = static_cast<GifDecoder *>(instance);
    if (!d)
        return;
    dropKept(d);
    Mem_free(d->globalTable);
    Mem_free(d->localTable);
    Mem_free(d->frames);
    Mem_free(d);
}

int Gif_readScreen(GifDecoder *d, ByteStream *stream, int32_t *width, int32_t *height)
{
    *width = *height = 0;
    d->stream = stream;
    if (d->firstFrame == 0) {
        int r = readScreen(d);
        if (r != Res_ok)
            return r;
    }
    *width = d->screenWidth;
    *height = d->screenHeight;
    return Res_ok;
}

int Gif_readHeader(EngineContext *app, ByteStream *stream, ImageObject *image, ImageHook, void *)
{
    void *instance = nullptr;
    int r = Gif_createInstance(app, image, 0, &instance);
    if (r != Res_ok)
        return r;
    GifDecoder *d = static_cast<GifDecoder *>(instance);
    d->stream = stream;
    r = readScreen(d);
    if (r == Res_ok && !d->is89a) {
        // The size of a GIF87a file is its first image's.
        r = Res_ok;
        for (;;) {
            int b = readByte(d);
            if (b < 0) {
                r = endedError(d);
                break;
            }
            if (b == Block_trailer) {
                Gif_destroyInstance(image, d);
                return Res_ok;
            }
            if (b == Block_extension) {
                r = readExtension(d, -1);
                if (r != Res_ok)
                    break;
                continue;
            }
            if (b != Block_image) {
                r = Res_gifBadIntroducer;
                break;
            }
            uint8_t desc[9];
            r = readBytes(d, desc, sizeof desc);
            if (r == Res_ok) {
                d->screenWidth = Bytes_peekU16Le(desc + 4);
                d->screenHeight = Bytes_peekU16Le(desc + 6);
            }
            break;
        }
    }
    if (r == Res_ok)
        r = ImageDec_setHeader(image, d->screenWidth, d->screenHeight, 0, 0, 3, nullptr);
    Gif_destroyInstance(image, d);
    return r;
}

int Gif_decode(EngineContext *app, void *instance, ByteStream *stream, ImageObject *image,
               const ImageCodecParams *params)
{
    GifDecoder *d = static_cast<GifDecoder *>(instance);
    d->converter = PalConv_forFormat(app, params->pixelFormat);
    if (!d->converter)
        return Res_gifNoConverter;
    d->stream = stream;
    d->image = image;
    d->flags = params->flags;
    if ((d->flags & ImageDec_flagLowMemAnim) && (d->flags & ImageDec_flagManyFrames) &&
        d->frameCount > 1)
        return replayFrame(d, image);
    if (d->state == GifState_animating)
        return animateNext(d, image);
    if (d->state == GifState_finished)
        return Res_ok;
    if (d->firstFrame == 0) {
        int r = readScreen(d);
        if (r != Res_ok)
            return r;
    }
    for (;;) {
        int found = 0;
        int r = nextImage(d, &found);
        if (r != Res_ok)
            return r;
        if (!found)
            break;
        if (d->state != GifState_new) {
            // A second frame: animated when animation is wanted (in
            // low-memory mode frames are decoded when shown), else this
            // pass shows the first frame only.
            if ((params->flags & ImageDec_flagAnimation) &&
                (params->flags & ImageDec_flagLowMemAnim))
                return startLowMemory(d, image, params);
            if (params->flags & ImageDec_flagAnimation)
                return startAnimation(d, image, params);
            d->state = GifState_finished;
            Image_lockFields(image);
            image->animated = 1;
            Image_unlockFields(image);
            return Res_ok;
        }
        d->state = GifState_firstFrame;
        r = ImageDec_setHeader(image, d->screenWidth, d->screenHeight, 0, 0, 3, nullptr);
        if (r != Res_ok)
            return r;
        PixelBuf *picture = nullptr, *mask = nullptr;
        r = ImageDec_getBuffers(image, &picture, params->pixelFormat, &mask, params->maskFormat,
                                d->control.transparent >= 0);
        if (r != Res_ok)
            return r;
        if (!picture)
            return Res_imageNoPicture;
        d->picture = picture;
        d->mask = mask;
        d->firstFrameDecode = 1;
        r = decodeFrame(d);
        d->firstFrameDecode = 0;
        if (r != Res_ok)
            return r;
        // Data corrupt before the first row leave nothing to show: a
        // picture of no pixels at all would pass for an empty one.
        if (d->rowsPlaced == 0)
            return Res_imageNoPicture;
        r = endFrame(d);
        if (r != Res_ok)
            return r;
    }
    if (d->state == GifState_firstFrame && d->previous.transparent < 0 && !d->maskNeeded)
        ImageDec_dropMask(image);
    return Res_ok;
}

int Gif_stepFrame(EngineContext *app, GifDecoder *d, ByteStream *stream, PixelBuf *picture,
                  PixelBuf *mask, int32_t *shown, int32_t *durationMs)
{
    *shown = 0;
    *durationMs = 0;
    d->stream = stream;
    d->converter = PalConv_forFormat(app, picture->format);
    if (!d->converter || !mask)
        return Res_gifNoConverter;
    if (d->state == GifState_finished)
        return Res_ok;
    if (d->firstFrame == 0) {
        int r = readScreen(d);
        if (r != Res_ok)
            return r;
    }
    d->picture = picture;
    d->mask = mask;
    for (;;) {
        int found = 0;
        int r = nextImage(d, &found);
        if (r != Res_ok)
            return r;
        if (!found) {
            // A pass over the frames is complete.
            if (d->framesThisPass == 0) {
                d->state = GifState_finished;
                return Res_ok;
            }
            d->passes++;
            if (d->loopLimit != 0 && d->passes >= d->loopLimit) {
                d->state = GifState_finished;
                return Res_ok;
            }
            r = ByteStream_seek(stream, d->firstFrame);
            if (r != Res_ok)
                return r;
            d->position = d->firstFrame;
            d->framesThisPass = 0;
            d->control = d->previous = defaultControl;
            dropKept(d);
            continue;
        }
        if (d->state == GifState_new)
            d->state = GifState_firstFrame;
        else
            d->state = GifState_animating;
        // The buffers show the kept frame unless a frame restored to the
        // previous one was drawn over it; only before such a frame is a
        // copy of the kept frame made.
        int32_t disposal = d->control.disposal;
        if (d->hasKept && !d->keptInBuffers) {
            copyPixels(d->keptPicture, picture);
            copyPixels(d->keptMask, mask);
            d->keptInBuffers = 1;
        }
        if (d->hasKept && disposal == 3) {
            r = keepFrame(d);
            if (r != Res_ok)
                return r;
        }
        r = decodeFrame(d);
        if (r != Res_ok)
            return r;
        *durationMs = Gif_frameDuration(d->control.delay);
        d->timeMs += *durationMs;
        d->framesThisPass++;
        r = endFrame(d);
        if (r != Res_ok)
            return r;
        if (disposal != 3)
            d->hasKept = 1;
        d->keptInBuffers = disposal != 3;
        *shown = 1;
        return Res_ok;
    }
}

int Gif_nextFrame(ImageObject *, void *instance, int32_t advance, int32_t *timeMs,
                  int32_t *loopCounter)
{
    GifDecoder *d = static_cast<GifDecoder *>(instance);
    int more = 1;
    if (advance && d->frameCount > 0) {
        d->frameIndex++;
        if (d->frameIndex >= d->frameCount) {
            d->frameIndex = 0;
            d->passes++;
            if (d->loopLimit != 0 && d->passes >= d->loopLimit) {
                d->passes--;
                d->frameIndex = d->frameCount - 1;
                more = 0;
            }
        }
        if (more)
            d->timeMs += Gif_frameDuration(d->frames[d->frameIndex].delay);
    }
    if (timeMs)
        *timeMs = int32_t(d->timeMs);
    if (loopCounter)
        *loopCounter = d->passes;
    return more;
}

int Gif_restart(EngineContext *, void *instance, ImageObject *, const ImageRestart *request)
{
    GifDecoder *d = static_cast<GifDecoder *>(instance);
    if (!(request->flags & 4) || request->frame != 0)
        return Res_ok;
    d->passes = 0;
    d->state = GifState_animating;
    d->timeMs = 0;
    d->frameIndex = 0;
    Mem_free(d->localTable);
    d->localTable = nullptr;
    if (d->stream && d->firstFrame) {
        int r = ByteStream_seek(d->stream, d->firstFrame);
        if (r != Res_ok)
            return r;
        d->position = d->firstFrame;
    }
    return Res_ok;
}

ImageCodec *Codec_gifDescriptor()
{
    ImageCodec *c = static_cast<ImageCodec *>(Mem_calloc(1, sizeof(ImageCodec)));
    if (!c)
        return nullptr;
    c->recognise = Gif_recognise;
    c->createInstance = Gif_createInstance;
    c->readHeader = Gif_readHeader;
    c->decode = Gif_decode;
    c->nextFrame = Gif_nextFrame;
    c->restart = Gif_restart;
    c->destroyInstance = Gif_destroyInstance;
    c->typeId = gifTypeId;
    return c;
}
