// Fuzz target for the CCITT fax codec. The input starts with the
// parameters the image hook answers: columns and rows (16-bit
// little-endian each, kept to 1-4096 and 1-128), K, end-of-line,
// byte-align and end-of-block (a byte each), then a flags byte (bit 0:
// decode as a stencil mask, bits 1-3: damaged rows accepted); the fax data
// follow. It decodes in both formats alike (a stencil's mask too), with
// every byte of the mask 0 or 255, and nothing leaks.
#include "graphics/codecs/ccitt.h"
#include "tests/fuzz/codec_fuzz.h"

namespace {

struct Params {
    int32_t columns, rows, K, endOfLine, byteAlign, endOfBlock, stencil, damaged;
};

int answer(void *arg, int32_t op, void *buffer, int32_t *size)
{
    if (!size)
        return Res_ok;
    const Params *p = static_cast<const Params *>(arg);
    int32_t value = 0;
    switch (op) {
    case FaxImage_opColumns: value = p->columns; break;
    case FaxImage_opRows: value = p->rows; break;
    case FaxImage_opK: value = p->K; break;
    case FaxImage_opEndOfLine: value = p->endOfLine; break;
    case FaxImage_opByteAlign: value = p->byteAlign; break;
    case FaxImage_opEndOfBlock: value = p->endOfBlock; break;
    case FaxImage_opStencil: value = p->stencil; break;
    case FaxImage_opDamagedRows: value = p->damaged; break;
    case FaxImage_opPaint: value = 0x00336699; break;
    default: *size = -1; return Res_ok;
    }
    *size = 4;
    if (buffer)
        memcpy(buffer, &value, 4);
    return Res_ok;
}

// A stencil's mask bytes must be 0 or 255 (no decode list is given).
void checkMask(EngineContext *ctx, ImageCodec *codec, const uint8_t *data, size_t size, Params *p)
{
    codecfuzz::InputStream in;
    codecfuzz::inputInit(&in, data, size);
    codecfuzz::Target t;
    codecfuzz::targetInit(&t, ctx, answer, p);
    ImageCodecParams params{ImageDec_flagRecognise, Pixel_formatRGBA, 0, answer, p};
    int r = codec->decode(ctx, nullptr, &in.base, &t.image, &params);
    if (r == Res_ok && t.view.mask) {
        PixelBuf *m = t.view.mask;
        for (int32_t y = 0; y < m->height; y++)
            for (int32_t x = 0; x < m->width; x++) {
                uint8_t v = m->pixels[size_t(y) * m->stride + size_t(x)];
                codecfuzz::requireAt(v == 0 || v == 255, "fax_fuzz", __LINE__);
            }
    }
    codecfuzz::targetFree(&t);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 9 || size > 1 << 16)
        return 0;
    EngineContext *ctx = codecfuzz::world();
    Params p;
    int32_t columns = data[0] | (data[1] << 8), rows = data[2] | (data[3] << 8);
    p.columns = columns ? 1 + (columns - 1) % 4096 : 1;
    p.rows = rows ? 1 + (rows - 1) % 128 : 1;
    p.K = int8_t(data[4]);
    p.endOfLine = data[5] & 1;
    p.byteAlign = data[6] & 1;
    p.endOfBlock = data[7] & 1;
    p.stencil = data[8] & 1;
    p.damaged = (data[8] >> 1) & 7;
    ImageCodec *codec = FaxImage_createCodec();
    codecfuzz::requireAt(codec != nullptr, "fax_fuzz", __LINE__);
    codecfuzz::decodeBothFormats("fax_fuzz", codec, data + 9, size - 9, answer, &p);
    if (p.stencil)
        checkMask(ctx, codec, data + 9, size - 9, &p);
    Mem_free(codec);
    return 0;
}
